#pragma once

#include "discovery/discoveryreply.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <vector>

namespace brevion {

// One address that answered a search, as the fleet commands see it: a bridge that shares its
// address or its MAC with another cannot be told apart from it and is never read or written.
struct DeviceAnswer {
    DiscoveredDevice device;    // its IP text without duplicate marks
    bool sharedAddress = false; // another MAC answered from the same IP text
    bool sharedMac = false;     // its MAC answered from another IP text too
    bool operator==(const DeviceAnswer&) const = default;
};

// The devices found by one search: one entry per MAC text (exact, case-sensitive), ordered by
// IP text in ordinal comparison, so "10.0.0.10" sorts before "10.0.0.9". Devices sharing an IP
// text are all kept, the newest first. A listed MAC that answers from another IP text too (a
// cloned MAC) is not listed again, but remembered for Answers().
class DeviceList {
public:
    // Inserts the device and returns its index (0-based), or -1 when its MAC is already listed.
    int Add(const DiscoveredDevice& device);
    void Clear();

    int Count() const { return static_cast<int>(m_order.size()); }
    bool IsEmpty() const { return m_order.empty(); }
    const DiscoveredDevice& At(int index) const
    {
        return m_arrivals[m_order[static_cast<size_t>(index)]];
    }
    // The entries in list order (a copy).
    std::vector<DiscoveredDevice> Entries() const;

    // Wraps the IP text of every entry whose address occurs more than once in duplicate marks,
    // each such entry once. Returns whether any address occurs more than once.
    bool MarkDuplicates();

    // Every address that answered, one per MAC and IP text, in list order: the entries and the
    // other addresses of their MACs.
    std::vector<DeviceAnswer> Answers() const;

private:
    // Devices in arrival order, and their positions in list order: a burst of thousands of
    // replies then moves small indices rather than whole entries.
    std::vector<DiscoveredDevice> m_arrivals;
    std::vector<quint32> m_order;
    QHash<QString, quint32> m_macs; // MAC text -> its entry in m_arrivals
    // Answers of a listed MAC from another IP text, each MAC and IP text once.
    std::vector<DiscoveredDevice> m_elsewhere;
    QSet<QString> m_elsewhereKeys;
};

// "* 10.0.0.5 *" for a duplicated address.
QString MarkedIP(const QString& ip);
bool IsMarkedIP(const QString& ip);
// The address without its duplicate marks: a text that begins with "*" loses two characters at
// each end; any other text is returned as it is.
QString UnmarkedIP(const QString& ip);

} // namespace brevion
