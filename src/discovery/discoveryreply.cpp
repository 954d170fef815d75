#include "discovery/discoveryreply.h"

#include "common/nxfns.h"
#include "wire/wireformat.h"

#include <algorithm>

namespace brevion {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The token's bytes read as the name is read (printable 7-bit text, spaces trimmed) equal
// "K9ZEV", without building the text.
bool tokenMatches(const uchar* p)
{
    char text[wire::kTokenBytes];
    int length = 0;
    for (int i = 0; i < wire::kTokenBytes; ++i) {
        const int c = p[i] & 127;
        if (c >= 32 && c <= 126)
            text[length++] = char(c);
    }
    int first = 0;
    while (first < length && text[first] == ' ')
        ++first;
    while (length > first && text[length - 1] == ' ')
        --length;
    return length - first == wire::kTokenBytes &&
           std::equal(text + first, text + length, wire::kDiscoveryToken);
}

void assignMacText(QString& text, const uchar* bytes)
{
    static constexpr char kSeparators[] = "::-::";
    text.resize(17);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (int i = 0; i < 6; ++i) {
        if (i > 0)
            *out++ = char16_t(kSeparators[i - 1]);
        *out++ = char16_t(kHexDigits[bytes[i] >> 4]);
        *out++ = char16_t(kHexDigits[bytes[i] & 0x0F]);
    }
}

} // namespace

QString ByteToHex(quint8 value)
{
    const QChar text[2] = {QLatin1Char(kHexDigits[value >> 4]), QLatin1Char(kHexDigits[value & 0x0F])};
    return QString(text, 2);
}

QString MacText(const quint8 (&bytes)[6])
{
    QString text;
    assignMacText(text, bytes);
    return text;
}

std::optional<DiscoveredDevice> ParseDiscoveryReply(const QByteArray& datagram)
{
    DiscoveredDevice device;
    if (!ParseDiscoveryReply(datagram, device))
        return std::nullopt;
    return device;
}

bool ParseDiscoveryReply(const QByteArray& datagram, DiscoveredDevice& device)
{
    if (datagram.size() < wire::kDiscoveryReplyBytes)
        return false;
    const uchar* p = wire::U(datagram.constData());
    if (!tokenMatches(p))
        return false;
    assignMacText(device.mac, p + wire::kDiscoveryMac);
    AssignDottedText(device.ip, p + wire::kDiscoveryIp, 4);
    AssignPrintableText(device.name, p + wire::kDiscoveryName, wire::kNameBytes);
    return true;
}

} // namespace brevion
