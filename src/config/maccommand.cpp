#include "config/maccommand.h"

#include "wire/wireformat.h"

#include <algorithm>

namespace brevion {

QByteArray MacCommand(const MacBytes& address)
{
    QByteArray out(wire::kMacCommandBytes, Qt::Uninitialized);
    uchar* p = wire::U(out.data());
    p[0] = wire::kX;
    p[1] = wire::kMac;
    std::copy(address.begin(), address.end(), p + 2);
    const size_t body = size_t(wire::kMacCommandBytes - wire::kChecksumBytes);
    wire::Put16(p + body, wire::CommandChecksum(p, body));
    return out;
}

namespace {

// Reads hexadecimal digits up to the first character that is not one.
quint32 leadingHex(const QString& text)
{
    quint32 value = 0;
    for (QChar c : text) {
        const int digit = c.unicode() < 128 ? QByteArray("0123456789ABCDEF").indexOf(char(c.toUpper().unicode())) : -1;
        if (digit < 0)
            break;
        value = value * 16 + static_cast<quint32>(digit);
    }
    return value;
}

} // namespace

MacEntryProblem CheckMacEntry(const QString& entry)
{
    if (entry.size() != 6)
        return MacEntryProblem::Length;
    const quint32 value = leadingHex(entry);
    if (value < kMacBlockFirst || value > kMacBlockLast)
        return MacEntryProblem::Range;
    return MacEntryProblem::None;
}

QString MacEntryMessage(MacEntryProblem problem)
{
    switch (problem) {
    case MacEntryProblem::Length:
        return QStringLiteral("MAC Address must be 12 hexadecimal digits long.");
    case MacEntryProblem::Range:
        return QStringLiteral("Invalid MAC Address.  It must be in the range 5A3000 - 5A3FFF.");
    case MacEntryProblem::None:
        break;
    }
    return {};
}

std::optional<MacBytes> MacAddressFromEntry(const QString& entry)
{
    if (CheckMacEntry(entry) != MacEntryProblem::None)
        return std::nullopt;
    const QByteArray digits = (kMacPrefix + entry).toLatin1();
    const QByteArray bytes = QByteArray::fromHex(digits);
    if (bytes.size() != 6)
        return std::nullopt;
    MacBytes out{};
    for (int i = 0; i < 6; ++i)
        out[i] = static_cast<quint8>(bytes[i]);
    return out;
}

} // namespace brevion
