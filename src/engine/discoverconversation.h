#pragma once

#include "engine/conversation.h"
#include "discovery/devicelist.h"
#include "discovery/searchtarget.h"

#include <QElapsedTimer>

#include <vector>

namespace brevion {

// One discovery search: "ZEVID" to the link's discovery address, again half a second later, and
// every reply taken into the device list until one second after the first request. Replies come
// from any address, but only from the device port (DeviceLink). Finishes Accepted (the list holds
// whoever answered, maybe nobody), or with the link's PortInUse / SendFailed, or Cancelled.
//
// Searched at targets instead, every address they cover gets the same two requests half a second
// apart, and the search ends one second after the last address's first request. Requests to a
// range leave kBatch at a time, kBatchMs apart (a /16 in about 2.6 s), never as one burst of
// thousands. A request that cannot leave (no route, no permission) costs only its address; the
// search fails SendFailed only when no request left at all (at once when every first request
// failed before any was repeated).
class DiscoverConversation : public Conversation {
    Q_OBJECT
public:
    static constexpr int kRepeatAfterMs = 500;
    static constexpr int kListenMs = 1000;
    static constexpr int kBatch = 128;
    static constexpr int kBatchMs = 5;

    explicit DiscoverConversation(DeviceLink& link, QObject* parent = nullptr);

    // Searches at these targets instead of the discovery address (before start; none: the
    // discovery address).
    void searchAt(const std::vector<SearchTarget>& targets);

    const DeviceList& devices() const { return m_devices; }
    // Requests handed to the link so far, those that could not leave, and the first of these
    // ("10.1.2.7: Network is unreachable").
    int requests() const { return int(m_handed.size()); }
    int unsent() const { return m_unsent; }
    QString firstUnsent() const { return m_firstUnsent; }

signals:
    // A device was inserted into the list at index.
    void deviceAdded(int index);

protected:
    void begin() override;
    void heard(const QByteArray& datagram) override;
    void replied(const QByteArray&) override {}
    void timedOut() override;
    void requestLeft() override { ++m_left; }
    void sendFailed(const QString& detail) override;

private:
    // Sends whatever is due, then waits for the next thing due (or finishes).
    void step();
    void sendBatch(int batch);
    Outcome noneLeft() const;
    int batchCount() const { return int((m_addresses.size() + kBatch - 1) / kBatch); }

    DeviceList m_devices;
    std::vector<SearchTarget> m_targets;
    std::vector<quint32> m_addresses;
    std::vector<quint32> m_handed; // in the order the link sends them
    std::vector<qint64> m_firstSent; // ms into the search, when each batch's first requests went
    int m_repeated = 0;               // batches sent the second time
    int m_left = 0;
    int m_unsent = 0;
    QString m_firstUnsent;
    QString m_firstDetail;
    QElapsedTimer m_clock;
};

} // namespace brevion
