#include "udpport.h"

#include "nxfns.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QUdpSocket>

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

namespace brevion {
namespace {

constexpr int kReceiveBufferBytes = 8 * 1024 * 1024;
const QHostAddress kLimitedBroadcast(QHostAddress::Broadcast);

} // namespace

UdpPort::UdpPort(QObject* parent) : QObject(parent) {}

UdpPort::~UdpPort() { Close(); }

void UdpPort::Close()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->close();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    m_localPort = 0;
}

bool UdpPort::Bind(quint16 localPort)
{
    Close();
    m_socket = new QUdpSocket(this);
    // Datagrams go straight to the device. Without this, every bind asks the system's proxy
    // configuration (libproxy reads /etc/services each time), which costs more than a round trip.
    m_socket->setProxy(QNetworkProxy::NoProxy);
    if (!m_socket->bind(QHostAddress::AnyIPv4, localPort, QUdpSocket::DontShareAddress)) {
        m_lastError = m_socket->error() == QAbstractSocket::AddressInUseError ? PortError::AddressInUse
                                                                              : PortError::Other;
        m_lastErrorString = m_socket->errorString();
        delete m_socket;
        m_socket = nullptr;
        return false;
    }
    m_localPort = m_socket->localPort();
    raiseReceiveBuffer();
    connect(m_socket, &QUdpSocket::readyRead, this, &UdpPort::readPending);
    m_lastError = PortError::None;
    m_lastErrorString.clear();
    return true;
}

bool UdpPort::IsBound() const { return m_socket && m_socket->state() == QAbstractSocket::BoundState; }

void UdpPort::SetRemote(const QString& host, quint16 port)
{
    m_remoteHost = host;
    const std::optional<quint32> address = ParseIPv4(host);
    m_remoteAddress = address ? QHostAddress(*address) : QHostAddress();
    m_remotePort = port;
}

bool UdpPort::IsFromRemote(const QHostAddress& sender, quint16 senderPort) const
{
    return !m_remoteAddress.isNull() && sender == m_remoteAddress && senderPort == m_remotePort;
}

bool UdpPort::Send(const QByteArray& datagram)
{
    const QHostAddress destination = m_remoteAddress;
    if (destination.isNull()) {
        m_lastError = PortError::Other;
        m_lastErrorString = QStringLiteral("Invalid remote host address \"%1\"").arg(m_remoteHost);
        return false;
    }
    return SendTo(datagram, destination, m_remotePort);
}

bool UdpPort::SendTo(const QByteArray& datagram, const QHostAddress& destination, quint16 port)
{
    if (port == 0) {
        m_lastError = PortError::Other;
        m_lastErrorString = QStringLiteral("No remote port set");
        return false;
    }
    // An unbound control binds an ephemeral port on its first send.
    if (!m_socket && !Bind(0))
        return false;
    if (destination == kLimitedBroadcast)
        return sendLimitedBroadcast(datagram, port);
    if (m_socket->writeDatagram(datagram, destination, port) != datagram.size()) {
        m_lastError = PortError::Other;
        m_lastErrorString = m_socket->errorString();
        return false;
    }
    m_lastError = PortError::None;
    m_lastErrorString.clear();
    return true;
}

void UdpPort::DiscardPending()
{
    while (m_socket && m_socket->hasPendingDatagrams())
        if (m_socket->readDatagram(nullptr, 0) < 0)
            break;
}

bool UdpPort::sendLimitedBroadcast(const QByteArray& datagram, quint16 port)
{
    // IP_PKTINFO with an interface index picks the outgoing interface of each copy; the
    // destination stays 255.255.255.255 on the wire.
    m_lastBroadcastInterfaces = 0;
    m_lastErrorString.clear();
    bool anySent = false;
    const int fd = static_cast<int>(m_socket->socketDescriptor());
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
        const auto flags = iface.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::CanBroadcast) ||
            (flags & QNetworkInterface::IsLoopBack))
            continue;
        bool hasIPv4 = false;
        for (const QNetworkAddressEntry& entry : iface.addressEntries())
            hasIPv4 = hasIPv4 || entry.ip().protocol() == QAbstractSocket::IPv4Protocol;
        if (!hasIPv4)
            continue;

        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
        iovec iov{const_cast<char*>(datagram.constData()), static_cast<size_t>(datagram.size())};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        msghdr msg{};
        msg.msg_name = &to;
        msg.msg_namelen = sizeof(to);
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof(control);
        cmsghdr* cmsg = CMSG_FIRSTHDR(&msg);
        cmsg->cmsg_level = IPPROTO_IP;
        cmsg->cmsg_type = IP_PKTINFO;
        cmsg->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_ifindex = iface.index();
        std::memcpy(CMSG_DATA(cmsg), &info, sizeof(info));
        if (::sendmsg(fd, &msg, 0) == static_cast<ssize_t>(datagram.size())) {
            anySent = true;
            ++m_lastBroadcastInterfaces;
        } else {
            m_lastErrorString = QString::fromLocal8Bit(std::strerror(errno));
        }
    }
    if (anySent) {
        m_lastError = PortError::None;
        m_lastErrorString.clear();
    } else {
        m_lastError = PortError::Other;
        if (m_lastErrorString.isEmpty())
            m_lastErrorString = QStringLiteral("No network interface can send broadcasts");
    }
    return anySent;
}

void UdpPort::raiseReceiveBuffer()
{
    // SO_RCVBUFFORCE passes net.core.rmem_max when the process may; otherwise take what is granted.
    const int fd = static_cast<int>(m_socket->socketDescriptor());
    int size = kReceiveBufferBytes;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof(size)) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
}

void UdpPort::readPending()
{
    // Drain completely on every readiness signal so bursts do not overflow the kernel buffer.
    QUdpSocket* socket = m_socket;
    while (socket && socket == m_socket && socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket->receiveDatagram();
        if (!datagram.isValid())
            break;
        QHostAddress sender = datagram.senderAddress();
        bool ok = false;
        const quint32 v4 = sender.toIPv4Address(&ok);
        if (ok)
            sender = QHostAddress(v4);
        emit DataArrival(datagram.data(), sender, static_cast<quint16>(datagram.senderPort()));
    }
    emit Drained();
}

} // namespace brevion
