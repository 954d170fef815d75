#include "engine/discoverconversation.h"

#include "discovery/discoveryreply.h"

namespace brevion {

DiscoverConversation::DiscoverConversation(DeviceLink& link, QObject* parent)
    : Conversation(link, QHostAddress(), parent)
{
}

void DiscoverConversation::begin()
{
    m_devices.Clear();
    m_requests = 1;
    broadcast(kDiscoveryRequest);
    pause(kRepeatAfterMs);
}

void DiscoverConversation::timedOut()
{
    if (m_requests == 1) {
        m_requests = 2;
        broadcast(kDiscoveryRequest);
        pause(kRepeatAfterMs);
        return;
    }
    finish({});
}

void DiscoverConversation::heard(const QByteArray& datagram)
{
    if (!running())
        return;
    const std::optional<DiscoveredDevice> device = ParseDiscoveryReply(datagram);
    if (!device)
        return;
    const int index = m_devices.Add(*device);
    if (index >= 0)
        emit deviceAdded(index);
}

} // namespace brevion
