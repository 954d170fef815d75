#include "discoveryreply.h"

#include "nxfns.h"

namespace brevion {
namespace {

constexpr int kTokenOffset = 0;
constexpr int kTokenSize = 5;
constexpr int kMacOffset = 5;
constexpr int kIpOffset = 11;
constexpr int kNameOffset = 17;
constexpr int kNameSize = 16;

} // namespace

QString ByteToHex(quint8 value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const QChar text[2] = {QLatin1Char(kDigits[value >> 4]), QLatin1Char(kDigits[value & 0x0F])};
    return QString(text, 2);
}

QString MacText(const quint8 (&bytes)[6])
{
    static constexpr char kSeparators[] = "::-::";
    QString text;
    text.reserve(17);
    for (int i = 0; i < 6; ++i) {
        if (i > 0)
            text += QLatin1Char(kSeparators[i - 1]);
        text += ByteToHex(bytes[i]);
    }
    return text;
}

std::optional<DiscoveredDevice> ParseDiscoveryReply(const QByteArray& datagram)
{
    if (datagram.size() < kDiscoveryReplyMinSize)
        return std::nullopt;
    if (BytesToText(datagram, kTokenOffset, kTokenSize).trimmed() != QLatin1String("K9ZEV"))
        return std::nullopt;

    const auto byteAt = [&](int offset) { return static_cast<quint8>(datagram[offset]); };
    quint8 mac[6];
    for (int i = 0; i < 6; ++i)
        mac[i] = byteAt(kMacOffset + i);

    DiscoveredDevice device;
    device.mac = MacText(mac);
    device.ip = QStringLiteral("%1.%2.%3.%4")
                    .arg(byteAt(kIpOffset))
                    .arg(byteAt(kIpOffset + 1))
                    .arg(byteAt(kIpOffset + 2))
                    .arg(byteAt(kIpOffset + 3));
    device.name = BytesToText(datagram, kNameOffset, kNameSize).trimmed();
    return device;
}

} // namespace brevion
