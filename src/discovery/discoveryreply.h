#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace brevion {

// The discovery request: the five bytes "ZEVID", nothing else.
inline const QByteArray kDiscoveryRequest = QByteArrayLiteral("ZEVID");

// A discovery reply as the program reads it (at least 33 bytes; the tail is ignored):
//
//   offset size  content
//   0      5     product token "K9ZEV" (printable text, surrounding spaces trimmed)
//   5      6     MAC address, first byte first      -> "00:1A:2B-3C:4D:5E"
//   11     4     IPv4 address, first octet first    -> "192.168.1.5"
//   15     2     not read
//   17     16    device name, ASCII, padded         -> printable text, spaces trimmed
//   33..         not read
inline constexpr int kDiscoveryReplyMinSize = 33;

// One device as the list shows it: all three as display text.
struct DiscoveredDevice {
    QString name;
    QString mac;
    QString ip;
    bool operator==(const DiscoveredDevice&) const = default;
};

// The device described by a reply, or nothing when the datagram is too short or its token is
// not "K9ZEV".
std::optional<DiscoveredDevice> ParseDiscoveryReply(const QByteArray& datagram);

// One byte as two uppercase hexadecimal digits.
QString ByteToHex(quint8 value);

// Six bytes as MAC text, joined 1:2:3-4:5:6.
QString MacText(const quint8 (&bytes)[6]);

} // namespace brevion
