#include "engine/discoverconversation.h"

#include "discovery/discoveryreply.h"
#include "common/nxfns.h"

#include <algorithm>

namespace brevion {

DiscoverConversation::DiscoverConversation(DeviceLink& link, QObject* parent)
    : Conversation(link, QHostAddress(), parent)
{
}

void DiscoverConversation::searchAt(const std::vector<SearchTarget>& targets) { m_targets = targets; }

void DiscoverConversation::begin()
{
    m_devices.Clear();
    if (m_targets.empty()) {
        // Read strictly: a lenient reading would turn "0127.0.0.2" into an address off this network.
        const QString& text = link()->network().discoveryAddress;
        const std::optional<quint32> address = ParseIPv4(text);
        if (!address) {
            finish({Outcome::Code::SendFailed, QStringLiteral("Invalid discovery address \"%1\"").arg(text)});
            return;
        }
        m_addresses = {*address};
    } else {
        m_addresses = SearchAddresses(m_targets);
    }
    m_handed.reserve(2 * m_addresses.size());
    m_clock.start();
    step();
}

void DiscoverConversation::timedOut() { step(); }

void DiscoverConversation::step()
{
    const qint64 now = m_clock.elapsed();
    const int batches = batchCount();
    // At most one batch of each round per turn: a late timer does not turn into a burst.
    if (int(m_firstSent.size()) < batches) {
        m_firstSent.push_back(now);
        sendBatch(int(m_firstSent.size()) - 1);
    }
    if (m_repeated < int(m_firstSent.size()) && now >= m_firstSent[m_repeated] + kRepeatAfterMs)
        sendBatch(m_repeated++);
    if (!running())
        return; // every request failed
    qint64 next = 0;
    if (m_repeated < batches) {
        next = m_firstSent[m_repeated] + kRepeatAfterMs;
        if (int(m_firstSent.size()) < batches)
            next = std::min(next, now + kBatchMs);
    } else {
        next = m_firstSent.back() + kListenMs;
        if (now >= next) {
            finish(m_left == 0 && m_unsent > 0 ? noneLeft() : Outcome{});
            return;
        }
    }
    pause(int(std::max<qint64>(next - now, 1)));
}

void DiscoverConversation::sendBatch(int batch)
{
    const size_t first = size_t(batch) * kBatch;
    const size_t end = std::min(first + kBatch, m_addresses.size());
    for (size_t i = first; i < end && running(); ++i) {
        m_handed.push_back(m_addresses[i]);
        sendTo(kDiscoveryRequest, QHostAddress(m_addresses[i]));
    }
}

void DiscoverConversation::sendFailed(const QString& detail)
{
    // The link reports on each request in the order they were handed to it.
    const size_t which = size_t(m_left + m_unsent);
    if (m_unsent++ == 0) {
        m_firstDetail = detail;
        if (which < m_handed.size())
            m_firstUnsent = QStringLiteral("%1: %2").arg(QHostAddress(m_handed[which]).toString(), detail);
    }
    // Every first request failed before any was repeated: the repeats would fare no better.
    if (m_left == 0 && m_repeated == 0 && size_t(m_unsent) == m_addresses.size())
        finish(noneLeft());
}

Outcome DiscoverConversation::noneLeft() const
{
    // One address: the system's words alone, as for the broadcast.
    return {Outcome::Code::SendFailed, m_addresses.size() == 1 ? m_firstDetail : m_firstUnsent};
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
