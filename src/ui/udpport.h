#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <memory>
#include <vector>

namespace brevion {

class DatagramReader;
struct ReceivedDatagram;

enum class PortError { None, AddressInUse, Other };

// The socket control of a window: close, bind a local port, set the remote host and port, send
// a datagram, and one DataArrival per received datagram (whole, with its sender). Bind and send
// report failure to the caller, which decides whether to ignore it.
//
// A thread of the control's own reads the socket as fast as datagrams come (DatagramReader);
// DataArrival is emitted on the control's thread, in slices of a few milliseconds, so a burst
// of thousands keeps the windows responsive, and never re-entered from an event loop that a
// handler runs. Datagrams read but not yet delivered are lost when the control is closed.
// SetReaderThread(false) reads on the control's thread instead, whenever the socket is
// readable: one thread wake-up less per datagram, for owners that pace what they ask for and
// expect no burst they did not ask for.
//
// A send to the limited broadcast 255.255.255.255 goes out once on every up, broadcast-capable
// IPv4 interface (loopback excluded), since the kernel would use only the interface of the
// default route. Any other destination is used as it is.
//
// The remote host is dotted text read by ParseIPv4 alone: text in any other form is refused at
// Send, never read as some other address.
class UdpPort : public QObject {
    Q_OBJECT
public:
    explicit UdpPort(QObject* parent = nullptr);
    ~UdpPort() override;

    void Close();
    bool Bind(quint16 localPort);
    bool IsBound() const;
    quint16 LocalPort() const { return m_localPort; }
    void SetRemote(const QString& host, quint16 port);
    bool Send(const QByteArray& datagram);
    // Sends to the given IPv4 address and port, leaving the remote host as it was; binds an
    // ephemeral port first when unbound.
    bool SendTo(const QByteArray& datagram, const QHostAddress& destination, quint16 port);
    // Keeps only the first `bytes` bytes of each datagram from the next Bind on (the longest
    // reply the owner can use), so a flood of large datagrams costs no more than small ones.
    void SetDatagramLimit(int bytes) { m_datagramLimit = bytes; }
    // Whether a thread of the control's own reads the socket (the default), from now on.
    void SetReaderThread(bool on);
    // Bytes held for delivery (each datagram counted with a fixed cost) and datagrams dropped
    // because that queue was full (diagnostics, tests).
    qsizetype QueuedBytes() const;
    quint64 DroppedDatagrams() const;

    PortError LastError() const { return m_lastError; }
    QString LastErrorString() const { return m_lastErrorString; }
    // Whether a control of this program has the port bound.
    static bool IsBoundHere(quint16 port);

signals:
    void DataArrival(const QByteArray& datagram, const QHostAddress& sender, quint16 senderPort);
    // The datagrams read so far have been handed over: after each slice of DataArrivals.
    void Drained();

private:
    void deliver();
    bool sendLimitedBroadcast(const QByteArray& datagram, quint16 port);
    void raiseReceiveBuffer();
    void fail(PortError error, const QString& text);

    int m_fd = -1;
    std::unique_ptr<DatagramReader> m_reader;
    std::vector<ReceivedDatagram> m_batch; // the datagrams being delivered
    std::unique_ptr<QSocketNotifier> m_readable; // reading on this thread: the socket has data
    bool m_readerThread = true;
    int m_datagramLimit = 65535;
    quint64 m_generation = 0; // changes on every Close: deliveries of an older socket stop
    quint64 m_deliveringFor = 0; // the generation being delivered, 0 when none
    quint16 m_localPort = 0;
    QString m_remoteHost;
    QHostAddress m_remoteAddress; // null when m_remoteHost is not an address
    quint16 m_remotePort = 0;
    PortError m_lastError = PortError::None;
    QString m_lastErrorString;
};

} // namespace brevion
