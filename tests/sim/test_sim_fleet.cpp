// A fleet on loopback, driven over a real socket. What each fault switch does to a conversation
// is in the engine's outcome table (tests/engine) and the fault tests' timings (tests/fault).
#include "deviceprotocol.h"
#include "fleet.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <set>

using namespace talixsim;
using namespace std::chrono_literals;
using Dir = TrafficEntry::Direction;

namespace {

const QHostAddress kBroadcast(QStringLiteral("127.255.255.255"));

struct Probe {
    QUdpSocket socket;
    Probe() { socket.bind(QHostAddress::LocalHost, 0); }
    // The senders of everything that arrives until nothing has for `quiet`.
    std::multiset<quint32> senders(int quietMs = 300)
    {
        std::multiset<quint32> from;
        while (socket.hasPendingDatagrams() || socket.waitForReadyRead(quietMs))
            from.insert(socket.receiveDatagram().senderAddress().toIPv4Address());
        return from;
    }
};

} // namespace

// Each device answers from its own address over the one socket, a thousand of them at once; a
// command to no device's address is nobody's; a silent device is absent from discovery.
TEST(SimFleet, DevicesAnswerFromTheirOwnAddresses)
{
    Fleet fleet(FleetOptions{0});
    for (int i = 0; i < 1000; ++i)
        fleet.addDevice(makeDevice(i));
    Faults silent;
    silent.silent = true;
    fleet.setFaults(3, silent);
    ASSERT_TRUE(fleet.start());
    Probe probe;
    probe.socket.writeDatagram("ZEVID", kBroadcast, fleet.port());
    EXPECT_TRUE(fleet.waitForReplies(999, 10s));
    std::multiset<quint32> from;
    for (const TrafficEntry& e : fleet.traffic())
        if (e.direction == Dir::Out)
            from.insert(e.local);
    EXPECT_EQ(std::set<quint32>(from.begin(), from.end()).size(), 999u);
    EXPECT_EQ(from.count(loopbackAddress(3)), 0u);
    probe.senders();
    probe.socket.writeDatagram("XQ", kBroadcast, fleet.port());
    EXPECT_TRUE(probe.senders().empty());
}
