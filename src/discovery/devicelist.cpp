#include "discovery/devicelist.h"

#include <QHash>

#include <algorithm>

namespace brevion {

int DeviceList::Add(const DiscoveredDevice& device)
{
    if (m_macs.contains(device.mac))
        return -1;
    // Entries stay in ascending IP text (marks are only added after the search), so the first
    // entry whose IP text is not less than the new one is the lower bound.
    const auto at = std::lower_bound(
        m_order.begin(), m_order.end(), device.ip, [this](quint32 entry, const QString& ip) {
            return QString::compare(m_arrivals[entry].ip, ip, Qt::CaseSensitive) < 0;
        });
    const auto inserted = m_order.insert(at, static_cast<quint32>(m_arrivals.size()));
    m_arrivals.push_back(device);
    m_macs.insert(device.mac);
    return static_cast<int>(inserted - m_order.begin());
}

void DeviceList::Clear()
{
    m_arrivals.clear();
    m_order.clear();
    m_macs.clear();
}

std::vector<DiscoveredDevice> DeviceList::Entries() const
{
    std::vector<DiscoveredDevice> entries;
    entries.reserve(m_order.size());
    for (quint32 i : m_order)
        entries.push_back(m_arrivals[i]);
    return entries;
}

bool DeviceList::MarkDuplicates()
{
    QHash<QString, int> occurrences;
    for (const DiscoveredDevice& entry : m_arrivals)
        ++occurrences[UnmarkedIP(entry.ip)];
    bool any = false;
    for (DiscoveredDevice& entry : m_arrivals) {
        const QString bare = UnmarkedIP(entry.ip);
        if (occurrences.value(bare) < 2)
            continue;
        any = true;
        if (!IsMarkedIP(entry.ip))
            entry.ip = MarkedIP(bare);
    }
    return any;
}

QString MarkedIP(const QString& ip)
{
    return QStringLiteral("* ") + ip + QStringLiteral(" *");
}

bool IsMarkedIP(const QString& ip)
{
    return ip.startsWith(QLatin1Char('*'));
}

QString UnmarkedIP(const QString& ip)
{
    if (!IsMarkedIP(ip))
        return ip;
    return ip.size() >= 4 ? ip.mid(2, ip.size() - 4) : QString();
}

} // namespace brevion
