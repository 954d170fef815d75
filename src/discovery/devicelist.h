#pragma once

#include "discovery/discoveryreply.h"

#include <QSet>
#include <QString>

#include <vector>

namespace brevion {

// The devices found by one search: one entry per MAC text (exact, case-sensitive), ordered by
// IP text in ordinal comparison, so "10.0.0.10" sorts before "10.0.0.9". Devices sharing an IP
// text are all kept, the newest first.
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

private:
    // Devices in arrival order, and their positions in list order: a burst of thousands of
    // replies then moves small indices rather than whole entries.
    std::vector<DiscoveredDevice> m_arrivals;
    std::vector<quint32> m_order;
    QSet<QString> m_macs;
};

// "* 10.0.0.5 *" for a duplicated address.
QString MarkedIP(const QString& ip);
bool IsMarkedIP(const QString& ip);
// The address without its duplicate marks: a text that begins with "*" loses two characters at
// each end; any other text is returned as it is.
QString UnmarkedIP(const QString& ip);

} // namespace brevion
