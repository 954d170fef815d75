#pragma once

#include "engine/conversation.h"
#include "discovery/devicelist.h"

namespace brevion {

// One discovery search: "ZEVID" to the link's discovery address, again half a second later, and
// every reply taken into the device list until one second after the first request. Replies come
// from any address, but only from the device port (DeviceLink). Finishes Accepted (the list holds
// whoever answered, maybe nobody), or with the link's PortInUse / SendFailed, or Cancelled.
class DiscoverConversation : public Conversation {
    Q_OBJECT
public:
    static constexpr int kRepeatAfterMs = 500;

    explicit DiscoverConversation(DeviceLink& link, QObject* parent = nullptr);

    const DeviceList& devices() const { return m_devices; }

signals:
    // A device was inserted into the list at index.
    void deviceAdded(int index);

protected:
    void begin() override;
    void heard(const QByteArray& datagram) override;
    void replied(const QByteArray&) override {}
    void timedOut() override;

private:
    DeviceList m_devices;
    int m_requests = 0;
};

} // namespace brevion
