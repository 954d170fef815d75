#include "discovery/searchtarget.h"

#include "common/nxfns.h"

#include <algorithm>

namespace brevion {
namespace {

// A prefix length: one or two decimal digits without a leading zero, 0 to 32.
std::optional<int> parsePrefix(QStringView text)
{
    if (text.isEmpty() || text.size() > 2 || (text.size() == 2 && text[0] == u'0'))
        return std::nullopt;
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value > 32)
        return std::nullopt;
    return value;
}

std::optional<SearchTarget> refuse(QString* problem, const QString& why)
{
    if (problem)
        *problem = why;
    return std::nullopt;
}

} // namespace

std::optional<SearchTarget> ParseSearchTarget(const QString& text, QString* problem)
{
    const QString trimmed = TrimBlanks(text);
    const qsizetype slash = trimmed.indexOf(u'/');
    const std::optional<quint32> address = ParseIPv4(QStringView(trimmed).left(slash < 0 ? trimmed.size() : slash));
    const std::optional<int> prefix =
        slash < 0 ? std::optional<int>(32) : parsePrefix(QStringView(trimmed).mid(slash + 1));
    if (!address || !prefix)
        return refuse(problem, QStringLiteral("\"%1\" is not an address or a range: write an address such as "
                                              "10.1.2.30 (four numbers 0 to 255 without leading zeros), or a "
                                              "range such as 10.1.2.0/24.")
                                   .arg(trimmed));
    if (*prefix < kWidestSearchPrefix)
        return refuse(problem, QStringLiteral("\"%1\" is too large a range: a search covers at most /%2 "
                                              "(65,534 addresses) per range.")
                                   .arg(trimmed)
                                   .arg(kWidestSearchPrefix));
    const quint32 size = quint32(1) << (32 - *prefix);
    const quint32 network = *address & ~(size - 1);
    // A /31 has no network or broadcast address of its own (point-to-point links).
    if (size <= 2)
        return SearchTarget{network, size};
    return SearchTarget{network + 1, size - 2};
}

std::vector<quint32> SearchAddresses(const std::vector<SearchTarget>& targets)
{
    std::vector<quint32> addresses;
    for (const SearchTarget& t : targets)
        for (quint32 i = 0; i < t.count; ++i)
            addresses.push_back(t.first + i);
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    return addresses;
}

QStringList RememberTarget(const QStringList& recent, const QString& used)
{
    QStringList list{used};
    for (const QString& target : recent)
        if (target != used && list.size() < kRememberedTargets)
            list << target;
    return list;
}

} // namespace brevion
