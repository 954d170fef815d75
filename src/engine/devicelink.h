#pragma once

#include "ui/networksettings.h"
#include "engine/outcome.h"
#include "ui/udpport.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>

#include <deque>
#include <vector>

namespace brevion {

class Conversation;

// One UDP socket that any number of conversations with devices share. The link binds its local
// port once and holds it for as long as it lives. A reply is handed to the conversation whose
// device sent it, judged by the sender's address and port (the device port); a datagram from
// anyone else goes nowhere. A device speaks one conversation at a time: a second conversation
// with the same device waits its turn. Discovery conversations hear every datagram from the
// device port, whatever its address.
//
// Datagrams leave in bursts of at most kBurst per turn of the event loop, each burst after the
// replies that were waiting have been read, so that thousands of requests at once do not
// overflow the kernel's receive buffer with their answers. A reply that arrives before its
// conversation's request has left cannot answer it and is dropped.
class DeviceLink : public QObject {
    Q_OBJECT
public:
    static constexpr int kBurst = 32;

    explicit DeviceLink(QObject* parent = nullptr);
    explicit DeviceLink(const NetworkSettings& network, QObject* parent = nullptr);
    ~DeviceLink() override; // conversations still enlisted finish Cancelled

    // Binds the local port (done by the first conversation otherwise). Accepted, PortInUse, or
    // SendFailed with the system's words; the outcome of the last attempt is kept.
    Outcome open();
    bool isOpen() const { return m_port.IsBound(); }
    quint16 localPort() const { return m_port.LocalPort(); }
    const NetworkSettings& network() const { return m_network; }
    // Conversations enlisted: running, or waiting for their device.
    int conversationCount() const { return m_enlisted; }
    // Takes a datagram as if it had just been read from the socket (fuzzing the reply path).
    void receive(const QByteArray& datagram, const QHostAddress& sender, quint16 senderPort);

private:
    friend class Conversation;
    struct Outgoing {
        Conversation* conversation = nullptr; // null once it has left
        QByteArray datagram;
        QHostAddress destination;
    };

    // For Conversation: enlist starts it now or when its device is free; leave ends its turn.
    void enlist(Conversation* conversation);
    void leave(Conversation* conversation);
    void transmit(Conversation* conversation, const QByteArray& datagram, const QHostAddress& destination);

    void arrived(const QByteArray& datagram, const QHostAddress& sender, quint16 senderPort);
    void flush();
    void postFlush();

    NetworkSettings m_network;
    UdpPort m_port;
    Outcome m_openOutcome;
    QHash<quint64, std::deque<Conversation*>> m_byDevice; // front: the one speaking
    std::vector<Conversation*> m_listeners;               // discoveries
    std::vector<Outgoing> m_outbox;
    size_t m_outHead = 0;
    int m_enlisted = 0;
    bool m_draining = false;
    bool m_flushPosted = false;
};

// The routing key of a device: its IPv4 address and port.
quint64 DeviceKey(quint32 ipv4, quint16 port);

} // namespace brevion
