#include "discoverysearch.h"

#include "clock.h"
#include "waitloop.h"

#include <QTimer>

#include <cmath>

namespace brevion {

DiscoverySearch::DiscoverySearch(QObject* parent) : QObject(parent)
{
    m_port.setObjectName(QStringLiteral("Winsock1"));
    // Nothing beyond a reply's first bytes is read, so nothing more is kept.
    m_port.SetDatagramLimit(kDiscoveryReplyMinSize);
    connect(&m_port, &UdpPort::DataArrival, this,
            [this](const QByteArray& datagram, const QHostAddress&, quint16) {
                Winsock1_DataArrival(datagram);
            });
}

void DiscoverySearch::SetNetwork(const NetworkSettings& settings)
{
    m_settings = settings;
    m_ownSettings = true;
}

DiscoverySearch::Outcome DiscoverySearch::Run()
{
    if (m_running)
        return Outcome::Completed;
    if (!m_ownSettings)
        m_settings = Network();
    m_running = true;
    m_stopped = false;
    m_sentAt[0] = m_sentAt[1] = 0;
    m_devices.Clear();
    emit Cleared();

    m_port.Close();
    // Without the port nothing can be received: no request goes out (it would make the devices
    // answer the program that holds the port), but the search keeps its length.
    const bool bound = m_port.Bind(m_settings.localPort);
    const bool portInUse = !bound && m_port.LastError() == PortError::AddressInUse;
    m_portHeldHere = portInUse && m_port.LastBindHeldHere();

    if (bound)
        sendRequest(0);
    const double t0 = bound ? m_sentAt[0] : MonotonicSeconds();
    waitUntil(t0 + kRepeatAfter);
    if (bound && !m_stopped)
        sendRequest(1);
    waitUntil(t0 + 2 * kRepeatAfter);
    // Replies not handled by now are lost, however many arrive: the search ends on time.
    m_port.Close();

    m_running = false;
    if (m_stopped)
        return Outcome::Stopped;
    return portInUse ? Outcome::PortInUse : Outcome::Completed;
}

void DiscoverySearch::Close()
{
    m_port.Close();
    if (m_running)
        m_stopped = true;
}

void DiscoverySearch::sendRequest(int which)
{
    m_port.SetRemote(m_settings.discoveryAddress, m_settings.devicePort);
    m_port.Send(kDiscoveryRequest); // a failed send just finds nothing
    m_sentAt[which] = MonotonicSeconds();
}

void DiscoverySearch::waitUntil(double deadline)
{
    // The timer guarantees an event at the deadline, so the wait wakes; it re-arms itself should
    // it fire a little early on the millisecond grid.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    const auto arm = [&] {
        const double left = deadline - MonotonicSeconds();
        if (left > 0)
            wake.start(std::max(1, static_cast<int>(std::ceil(left * 1000.0))));
    };
    connect(&wake, &QTimer::timeout, this, arm);
    arm();
    WaitUntil([&] { return m_stopped || MonotonicSeconds() >= deadline; });
}

void DiscoverySearch::Winsock1_DataArrival(const QByteArray& datagram)
{
    if (!m_running)
        return;
    const std::optional<DiscoveredDevice> device = ParseDiscoveryReply(datagram);
    if (!device)
        return;
    const int index = m_devices.Add(*device);
    if (index >= 0)
        emit DeviceAdded(index);
}

} // namespace brevion
