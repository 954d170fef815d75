#include "engine/devicelink.h"

#include "engine/conversation.h"

#include <QLoggingCategory>

namespace brevion {

// Every datagram in and out as hex: QT_LOGGING_RULES="brevion.wire=true".
Q_LOGGING_CATEGORY(lcWire, "brevion.wire", QtWarningMsg)

namespace {

void logWire(const char* direction, const QHostAddress& peer, quint16 port, const QByteArray& bytes)
{
    qCDebug(lcWire).noquote() << direction << QStringLiteral("%1:%2").arg(peer.toString()).arg(port)
                              << bytes.toHex(' ');
}

} // namespace

quint64 DeviceKey(quint32 ipv4, quint16 port) { return (quint64(ipv4) << 16) | port; }

DeviceLink::DeviceLink(QObject* parent) : DeviceLink(Network(), parent) {}

DeviceLink::DeviceLink(const NetworkSettings& network, QObject* parent)
    : QObject(parent), m_network(network), m_openOutcome{Outcome::Code::SendFailed, {}}
{
    // Replies to what the link asked are read on this thread, as the socket becomes readable;
    // while a discovery listens, a burst of unasked answers may come, and a thread of the
    // port's own reads them however busy this one is.
    m_port.SetReaderThread(false);
    connect(&m_port, &UdpPort::DataArrival, this, &DeviceLink::arrived);
    connect(&m_port, &UdpPort::Drained, this, [this] {
        m_draining = false;
        flush();
    });
}

DeviceLink::~DeviceLink()
{
    // Everyone still enlisted learns that the link is gone; none touches it afterwards.
    std::vector<Conversation*> all = m_listeners;
    for (const auto& queue : std::as_const(m_byDevice))
        all.insert(all.end(), queue.begin(), queue.end());
    for (Conversation* c : all)
        c->linkGone();
    m_port.Close();
}

Outcome DeviceLink::open()
{
    if (isOpen())
        return m_openOutcome;
    if (m_port.Bind(m_network.localPort)) {
        m_openOutcome = {};
    } else {
        const bool inUse = m_port.LastError() == PortError::AddressInUse;
        m_openOutcome = {inUse ? Outcome::Code::PortInUse : Outcome::Code::SendFailed,
                         QStringLiteral("Local UDP port %1: %2").arg(m_network.localPort).arg(m_port.LastErrorString())};
    }
    return m_openOutcome;
}

void DeviceLink::enlist(Conversation* c)
{
    const Outcome opened = open();
    if (!opened.ok()) {
        c->finish(opened);
        return;
    }
    ++m_enlisted;
    if (c->m_device.isNull()) {
        m_listeners.push_back(c);
        m_port.SetReaderThread(true);
        c->turnCame();
        return;
    }
    auto& queue = m_byDevice[DeviceKey(c->m_ipv4, m_network.devicePort)];
    queue.push_back(c);
    if (queue.size() == 1)
        c->turnCame();
}

void DeviceLink::leave(Conversation* c)
{
    for (size_t i = m_outHead; i < m_outbox.size(); ++i)
        if (m_outbox[i].conversation == c)
            m_outbox[i].conversation = nullptr;
    if (c->m_device.isNull()) {
        const auto it = std::find(m_listeners.begin(), m_listeners.end(), c);
        if (it != m_listeners.end()) {
            m_listeners.erase(it);
            --m_enlisted;
            if (m_listeners.empty())
                m_port.SetReaderThread(false);
        }
        return;
    }
    const auto found = m_byDevice.find(DeviceKey(c->m_ipv4, m_network.devicePort));
    if (found == m_byDevice.end())
        return;
    auto& queue = found.value();
    const auto it = std::find(queue.begin(), queue.end(), c);
    if (it == queue.end())
        return;
    --m_enlisted;
    const bool wasSpeaking = it == queue.begin();
    queue.erase(it);
    if (queue.empty()) {
        m_byDevice.erase(found);
    } else if (wasSpeaking) {
        queue.front()->turnCame();
    }
}

void DeviceLink::transmit(Conversation* c, const QByteArray& datagram, const QHostAddress& destination)
{
    m_outbox.push_back({c, datagram, destination});
    // While replies are being read, the burst leaves once they all have been (Drained).
    if (!m_draining)
        postFlush();
}

void DeviceLink::postFlush()
{
    if (m_flushPosted)
        return;
    m_flushPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_flushPosted = false;
            flush();
        },
        Qt::QueuedConnection);
}

void DeviceLink::flush()
{
    int sent = 0;
    while (m_outHead < m_outbox.size() && sent < kBurst) {
        Outgoing out = std::move(m_outbox[m_outHead++]);
        if (!out.conversation)
            continue;
        ++sent;
        if (m_port.SendTo(out.datagram, out.destination, m_network.devicePort)) {
            logWire("out", out.destination, m_network.devicePort, out.datagram);
            out.conversation->left();
        } else {
            out.conversation->sendFailed(m_port.LastErrorString());
        }
    }
    if (m_outHead < m_outbox.size()) {
        postFlush();
    } else {
        m_outbox.clear();
        m_outHead = 0;
    }
}

void DeviceLink::receive(const QByteArray& datagram, const QHostAddress& sender, quint16 senderPort)
{
    arrived(datagram, sender, senderPort);
    m_draining = false;
    flush();
}

void DeviceLink::arrived(const QByteArray& datagram, const QHostAddress& sender, quint16 senderPort)
{
    m_draining = true;
    logWire("in", sender, senderPort, datagram);
    // Devices answer from the port they are asked on, searches included: a datagram from any
    // other port is nobody's answer, and a forged discovery reply must not name a bridge.
    if (senderPort != m_network.devicePort)
        return;
    if (!m_listeners.empty()) {
        const std::vector<Conversation*> listeners = m_listeners;
        for (Conversation* c : listeners)
            c->heard(datagram);
    }
    bool ok = false;
    const quint32 ipv4 = sender.toIPv4Address(&ok);
    if (!ok)
        return;
    const auto found = m_byDevice.constFind(DeviceKey(ipv4, senderPort));
    if (found != m_byDevice.constEnd())
        found.value().front()->heard(datagram);
}

} // namespace brevion
