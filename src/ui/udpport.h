#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

class QUdpSocket;

namespace brevion {

enum class PortError { None, AddressInUse, Other };

// The socket control of a window: close, bind a local port, set the remote host and port, send
// a datagram, and one DataArrival per received datagram (whole, with its sender). Bind and send
// report failure to the caller, which decides whether to ignore it.
//
// The remote host is dotted text read by ParseIPv4 alone: text in any other form is refused at
// Send, never read as some other address. A send to the limited broadcast 255.255.255.255 goes
// out once on every up, broadcast-capable IPv4 interface (loopback excluded), since the kernel
// would use only the interface of the default route. Any other destination is used as it is.
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
    QString RemoteHost() const { return m_remoteHost; }
    quint16 RemotePort() const { return m_remotePort; }
    bool Send(const QByteArray& datagram);
    // Sends to the given IPv4 address and port, leaving the remote host as it was; binds an
    // ephemeral port first when unbound.
    bool SendTo(const QByteArray& datagram, const QHostAddress& destination, quint16 port);
    // Reads every datagram waiting now (DataArrival for each, then Drained).
    void Drain() { readPending(); }
    // Drops the datagrams that arrived but were not yet delivered, as closing and binding again
    // would: a conversation that keeps its port uses it so that a late reply to the previous
    // command is not taken for the answer to the next.
    void DiscardPending();
    // Whether a datagram came from the remote host and port: a reply from the device's address
    // but another port is someone else's, and so is one from another address.
    bool IsFromRemote(const QHostAddress& sender, quint16 senderPort) const;

    PortError LastError() const { return m_lastError; }
    QString LastErrorString() const { return m_lastErrorString; }
    // Number of interfaces the last limited-broadcast send went out on (tests, diagnostics).
    int LastBroadcastInterfaces() const { return m_lastBroadcastInterfaces; }

signals:
    void DataArrival(const QByteArray& datagram, const QHostAddress& sender, quint16 senderPort);
    // Every datagram that was waiting has been handed over.
    void Drained();

private:
    void readPending();
    bool sendLimitedBroadcast(const QByteArray& datagram, quint16 port);
    void raiseReceiveBuffer();

    QUdpSocket* m_socket = nullptr;
    quint16 m_localPort = 0;
    QString m_remoteHost;
    QHostAddress m_remoteAddress; // null when m_remoteHost is not an address
    quint16 m_remotePort = 0;
    PortError m_lastError = PortError::None;
    QString m_lastErrorString;
    int m_lastBroadcastInterfaces = 0;
};

} // namespace brevion
