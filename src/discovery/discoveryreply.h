#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include "wire/wireformat.h"

namespace brevion {

// The discovery request: the five bytes "ZEVID", nothing else.
inline const QByteArray kDiscoveryRequest(wire::kDiscoveryRequest, wire::kDiscoveryRequestBytes);

// A discovery reply: at least 33 bytes beginning "K9ZEV", then the MAC address, the IPv4 address
// and the name (the layout is drawn in wireformat.h).
inline constexpr int kDiscoveryReplyMinSize = wire::kDiscoveryReplyBytes;

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
// The same into a device kept from an earlier reply, reusing its strings' memory; false (and
// nothing changed) when the reply is refused.
bool ParseDiscoveryReply(const QByteArray& datagram, DiscoveredDevice& device);

// One byte as two uppercase hexadecimal digits.
QString ByteToHex(quint8 value);

// Six bytes as MAC text, joined 1:2:3-4:5:6.
QString MacText(const quint8 (&bytes)[6]);

} // namespace brevion
