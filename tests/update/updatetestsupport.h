#pragma once

// Helpers shared by the update tests: a simulated device on loopback and a scripted peer.

#include "deviceprotocol.h"
#include "fleet.h"
#include "networksettings.h"
#include "updatefile.h"
#include "updateimage.h"

#include <QHostAddress>
#include <QList>
#include <QUdpSocket>

#include <functional>
#include <memory>

namespace updatetest {

// One simulated device at 127.0.0.2 that erases and restarts quickly; the component talks from
// localPort to the fleet's port.
struct SimDevice {
    talixsim::Fleet fleet{talixsim::FleetOptions{0, 0, 1, 200000}};
    int index = -1;
    QString ip;

    explicit SimDevice(quint16 localPort, const talixsim::DeviceState& state = talixsim::makeDevice(0, talixsim::Preset::Rules))
    {
        index = fleet.addDevice(state);
        talixsim::Faults f;
        f.eraseMs = 20;
        f.restartSilentMs = 100;
        fleet.setFaults(index, f);
        fleet.start();
        ip = talixsim::ipToText(fleet.device(index).address);
        brevion::SetNetwork({fleet.port(), localPort, QStringLiteral("127.255.255.255")});
    }
    void faults(const std::function<void(talixsim::Faults&)>& change)
    {
        talixsim::Faults f = fleet.faults(index);
        change(f);
        fleet.setFaults(index, f);
    }
    // The datagrams the device received, in order.
    QList<QByteArray> received() const
    {
        QList<QByteArray> out;
        for (const auto& e : fleet.traffic())
            if (e.direction == talixsim::TrafficEntry::Direction::In && e.device == index)
                out << e.bytes;
        return out;
    }
    bool allFromLocalPort(quint16 port) const
    {
        for (const auto& e : fleet.traffic())
            if (e.direction == talixsim::TrafficEntry::Direction::In && e.peerPort != port)
                return false;
        return true;
    }
};

// A peer on the event loop of the test that answers each datagram as told.
struct ScriptedPeer {
    QUdpSocket socket;
    QUdpSocket stranger; // answers from another address
    QList<QByteArray> received;
    std::function<QList<std::pair<bool, QByteArray>>(const QByteArray&)> answer; // (from stranger?, bytes)

    ScriptedPeer(const QString& address, const QString& strangerAddress)
    {
        socket.bind(QHostAddress(address), 0);
        stranger.bind(QHostAddress(strangerAddress), 0);
        QObject::connect(&socket, &QUdpSocket::readyRead, [this] {
            while (socket.hasPendingDatagrams()) {
                QHostAddress from;
                quint16 port = 0;
                QByteArray d(int(socket.pendingDatagramSize()), '\0');
                socket.readDatagram(d.data(), d.size(), &from, &port);
                received << d;
                if (answer)
                    for (const auto& [fromStranger, bytes] : answer(d))
                        (fromStranger ? stranger : socket).writeDatagram(bytes, from, port);
            }
        });
    }
    quint16 port() const { return socket.localPort(); }
};

// The settings reply a device with these versions sends, good checksum (Basic layout: 64 bytes).
inline QByteArray basicReply()
{
    talixsim::DeviceState d = talixsim::makeDevice(0, talixsim::Preset::Basic);
    return talixsim::settingsReply(d);
}

} // namespace updatetest
