#include "discovery/devicelist.h"

#include <QHash>

#include <algorithm>

namespace brevion {

namespace {

bool IpTextBefore(const QString& a, const QString& b)
{
    return QString::compare(a, b, Qt::CaseSensitive) < 0;
}

} // namespace

int DeviceList::Add(const DiscoveredDevice& device)
{
    if (const auto listed = m_macs.constFind(device.mac); listed != m_macs.constEnd()) {
        // The usual repeat is the same device answering the second request: nothing to keep.
        if (UnmarkedIP(m_arrivals[*listed].ip) == device.ip)
            return -1;
        const QString key = device.mac + QLatin1Char('\t') + device.ip;
        if (!m_elsewhereKeys.contains(key)) {
            m_elsewhereKeys.insert(key);
            m_elsewhere.push_back(device);
        }
        return -1;
    }
    // Entries stay in ascending IP text (marks are only added after the search), so the first
    // entry whose IP text is not less than the new one is the lower bound.
    const auto at = std::lower_bound(
        m_order.begin(), m_order.end(), device.ip,
        [this](quint32 entry, const QString& ip) { return IpTextBefore(m_arrivals[entry].ip, ip); });
    const auto inserted = m_order.insert(at, static_cast<quint32>(m_arrivals.size()));
    m_macs.insert(device.mac, static_cast<quint32>(m_arrivals.size()));
    m_arrivals.push_back(device);
    return static_cast<int>(inserted - m_order.begin());
}

void DeviceList::Clear()
{
    m_arrivals.clear();
    m_order.clear();
    m_macs.clear();
    m_elsewhere.clear();
    m_elsewhereKeys.clear();
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

std::vector<DeviceAnswer> DeviceList::Answers() const
{
    std::vector<DeviceAnswer> answers;
    answers.reserve(m_order.size() + m_elsewhere.size());
    for (quint32 i : m_order) {
        DiscoveredDevice device = m_arrivals[i];
        device.ip = UnmarkedIP(device.ip);
        answers.push_back({device});
    }
    QSet<QString> cloned;
    for (const DiscoveredDevice& other : m_elsewhere) {
        const auto at = std::lower_bound(answers.begin(), answers.end(), other.ip, [](const DeviceAnswer& a, const QString& ip) {
            return IpTextBefore(a.device.ip, ip);
        });
        answers.insert(at, {other});
        cloned.insert(other.mac);
    }
    QHash<QString, int> atAddress;
    for (const DeviceAnswer& a : answers)
        ++atAddress[a.device.ip];
    for (DeviceAnswer& a : answers) {
        a.sharedAddress = atAddress.value(a.device.ip) > 1;
        a.sharedMac = cloned.contains(a.device.mac);
    }
    return answers;
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
