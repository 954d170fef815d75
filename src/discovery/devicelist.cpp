#include "devicelist.h"

#include <QHash>

#include <algorithm>

namespace brevion {

int DeviceList::Add(const DiscoveredDevice& device)
{
    if (m_macs.contains(device.mac))
        return -1;
    // Entries stay in ascending IP text (marks are only added after the search), so the first
    // entry whose IP text is not less than the new one is the lower bound.
    const auto at = std::lower_bound(m_entries.begin(), m_entries.end(), device.ip,
                                     [](const DiscoveredDevice& entry, const QString& ip) {
                                         return QString::compare(entry.ip, ip, Qt::CaseSensitive) < 0;
                                     });
    const auto inserted = m_entries.insert(at, device);
    m_macs.insert(device.mac);
    return static_cast<int>(inserted - m_entries.begin());
}

void DeviceList::Clear()
{
    m_entries.clear();
    m_macs.clear();
}

bool DeviceList::MarkDuplicates()
{
    QHash<QString, int> occurrences;
    for (const DiscoveredDevice& entry : m_entries)
        ++occurrences[UnmarkedIP(entry.ip)];
    bool any = false;
    for (DiscoveredDevice& entry : m_entries) {
        const QString bare = UnmarkedIP(entry.ip);
        if (occurrences.value(bare) < 2)
            continue;
        any = true;
        if (!IsMarkedIP(entry.ip))
            entry.ip = MarkedIP(bare);
    }
    return any;
}

QString MarkedIP(const QString& ip) { return QStringLiteral("* ") + ip + QStringLiteral(" *"); }

bool IsMarkedIP(const QString& ip) { return ip.startsWith(QLatin1Char('*')); }

QString UnmarkedIP(const QString& ip)
{
    if (!IsMarkedIP(ip))
        return ip;
    return ip.size() >= 4 ? ip.mid(2, ip.size() - 4) : QString();
}

} // namespace brevion
