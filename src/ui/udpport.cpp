#include "ui/udpport.h"

#include "ui/datagramreader.h"
#include "common/nxfns.h"

#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QPointer>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

namespace brevion {
namespace {

constexpr int kReceiveBufferBytes = 8 * 1024 * 1024;
constexpr qint64 kDeliverySliceNs = 5'000'000;
constexpr std::size_t kDeliveryBatch = 64;
const QHostAddress kLimitedBroadcast(QHostAddress::Broadcast);

// The ports this program's controls have bound, so a failed bind can tell the program itself
// from another one.
std::mutex g_boundMutex;
std::multiset<quint16> g_bound;

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

UdpPort::UdpPort(QObject* parent) : QObject(parent) {}

UdpPort::~UdpPort() { Close(); }

bool UdpPort::IsBoundHere(quint16 port)
{
    std::lock_guard lock(g_boundMutex);
    return g_bound.count(port) > 0;
}

void UdpPort::Close()
{
    ++m_generation;
    m_readable.reset();
    m_reader.reset();
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
        std::lock_guard lock(g_boundMutex);
        const auto it = g_bound.find(m_localPort);
        if (it != g_bound.end())
            g_bound.erase(it);
    }
    m_localPort = 0;
}

void UdpPort::fail(PortError error, const QString& text)
{
    m_lastError = error;
    m_lastErrorString = text;
}

bool UdpPort::Bind(quint16 localPort)
{
    Close();
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        fail(PortError::Other, errnoText(errno));
        return false;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(localPort);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        fail(error == EADDRINUSE ? PortError::AddressInUse : PortError::Other, errnoText(error));
        return false;
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    m_fd = fd;
    m_localPort = ntohs(address.sin_port);
    {
        std::lock_guard lock(g_boundMutex);
        g_bound.insert(m_localPort);
    }
    raiseReceiveBuffer();
    m_reader = std::make_unique<DatagramReader>(
        m_fd, m_datagramLimit, [this] { QMetaObject::invokeMethod(this, &UdpPort::deliver, Qt::QueuedConnection); },
        m_readerThread);
    m_readable = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    m_readable->setEnabled(!m_readerThread);
    connect(m_readable.get(), &QSocketNotifier::activated, this, &UdpPort::deliver);
    m_lastError = PortError::None;
    m_lastErrorString.clear();
    return true;
}

bool UdpPort::IsBound() const { return m_fd >= 0; }

void UdpPort::SetReaderThread(bool on)
{
    if (on == m_readerThread)
        return;
    m_readerThread = on;
    if (!m_reader)
        return;
    m_reader->setThreaded(on);
    m_readable->setEnabled(!on && m_deliveringFor == 0);
    // What the thread had read but not handed over goes out as it would have.
    if (!on)
        QMetaObject::invokeMethod(this, &UdpPort::deliver, Qt::QueuedConnection);
}

qsizetype UdpPort::QueuedBytes() const { return m_reader ? m_reader->queuedBytes() : 0; }

quint64 UdpPort::DroppedDatagrams() const { return m_reader ? m_reader->dropped() : 0; }

void UdpPort::SetRemote(const QString& host, quint16 port)
{
    m_remoteHost = host;
    const std::optional<quint32> address = ParseIPv4(host);
    m_remoteAddress = address ? QHostAddress(*address) : QHostAddress();
    m_remotePort = port;
}

bool UdpPort::Send(const QByteArray& datagram)
{
    const QHostAddress destination = m_remoteAddress;
    if (destination.isNull() || destination.protocol() != QAbstractSocket::IPv4Protocol) {
        fail(PortError::Other, QStringLiteral("Invalid remote host address \"%1\"").arg(m_remoteHost));
        return false;
    }
    return SendTo(datagram, destination, m_remotePort);
}

bool UdpPort::SendTo(const QByteArray& datagram, const QHostAddress& destination, quint16 port)
{
    bool isIPv4 = false;
    const quint32 address = destination.toIPv4Address(&isIPv4);
    if (!isIPv4) {
        fail(PortError::Other,
             QStringLiteral("Invalid remote host address \"%1\"").arg(destination.toString()));
        return false;
    }
    if (port == 0) {
        fail(PortError::Other, QStringLiteral("No remote port set"));
        return false;
    }
    // An unbound control binds an ephemeral port on its first send.
    if (m_fd < 0 && !Bind(0))
        return false;
    if (destination == kLimitedBroadcast)
        return sendLimitedBroadcast(datagram, port);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address);
    if (::sendto(m_fd, datagram.constData(), static_cast<size_t>(datagram.size()), 0,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to) != datagram.size()) {
        fail(PortError::Other, errnoText(errno));
        return false;
    }
    m_lastError = PortError::None;
    m_lastErrorString.clear();
    return true;
}

bool UdpPort::sendLimitedBroadcast(const QByteArray& datagram, quint16 port)
{
    // IP_PKTINFO with an interface index picks the outgoing interface of each copy; the
    // destination stays 255.255.255.255 on the wire.
    m_lastErrorString.clear();
    bool anySent = false;
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
        if (::sendmsg(m_fd, &msg, 0) == static_cast<ssize_t>(datagram.size())) {
            anySent = true;
        } else {
            m_lastErrorString = errnoText(errno);
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
    // SO_RCVBUFFORCE passes net.core.rmem_max when the process may; otherwise take what is
    // granted: the reader thread keeps the queue short.
    int size = kReceiveBufferBytes;
    if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof(size)) != 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
}

void UdpPort::deliver()
{
    // A handler that runs an event loop of its own does not get the next datagram of the same
    // socket inside it; the outer delivery goes on once it returns. Reading here, the socket
    // stays readable meanwhile, so its notifier rests until then.
    const quint64 generation = m_generation;
    if (m_deliveringFor == generation) {
        if (m_readable)
            m_readable->setEnabled(false);
        return;
    }
    const quint64 outer = m_deliveringFor;
    m_deliveringFor = generation;
    const QPointer<UdpPort> self(this);
    bool delivered = false;
    bool readHere = false;
    QElapsedTimer slice;
    slice.start();
    // A nested delivery (of a socket bound anew by a handler) brings its own batch.
    std::vector<ReceivedDatagram> local;
    std::vector<ReceivedDatagram>& batch = outer == 0 ? m_batch : local;
    while (m_reader && generation == m_generation) {
        m_reader->take(kDeliveryBatch, batch);
        // Drained promises that everything that had arrived has been handed over: the thread
        // may be waiting for a core, so the kernel's queue is read here as well. Without the
        // thread, the one read of this turn does it; what comes later wakes the notifier.
        if (batch.empty() && !(readHere && !m_readerThread)) {
            m_reader->readNow();
            readHere = true;
            m_reader->take(kDeliveryBatch, batch);
        }
        if (batch.empty())
            break;
        for (const ReceivedDatagram& datagram : batch) {
            delivered = true;
            emit DataArrival(datagram.bytes, QHostAddress(datagram.sender), datagram.senderPort);
            if (!self)
                return;
            if (generation != m_generation)
                break; // closed or bound anew by the handler: the rest belonged to the old socket
        }
        if (generation == m_generation && slice.nsecsElapsed() > kDeliverySliceNs) {
            // Let other events in, then go on.
            QMetaObject::invokeMethod(this, &UdpPort::deliver, Qt::QueuedConnection);
            break;
        }
    }
    m_deliveringFor = outer;
    if (outer == 0 && m_readable && generation == m_generation)
        m_readable->setEnabled(!m_readerThread);
    // Also between slices: whoever holds back sends while replies are read gets a turn.
    if (delivered)
        emit Drained();
}

} // namespace brevion
