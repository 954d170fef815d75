// A fleet on loopback, driven over a real socket; timings are read from its traffic log.
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

TEST(SimFleet, FaultSwitches)
{
    Fleet fleet(FleetOptions{0});
    fleet.addDevice(makeDevice(0));
    ASSERT_TRUE(fleet.start());
    Probe probe;
    const QHostAddress device(loopbackAddress(0));
    const auto ask = [&](const QByteArray& bytes, const Faults& f, int quietMs = 600) {
        fleet.setFaults(0, f);
        fleet.clearTraffic();
        probe.socket.writeDatagram(bytes, device, fleet.port());
        return probe.senders(quietMs).size();
    };
    Faults f;
    f.dropNextRequests = 1;
    EXPECT_EQ(ask("XQ", f), 0u);
    EXPECT_EQ(fleet.faults(0).dropNextRequests, 0) << "counters count down";
    f = {};
    f.duplicateReplies = 2;
    EXPECT_EQ(ask("XQ", f), 3u);
    f = {};
    f.restartSilentMs = 800;
    EXPECT_EQ(ask(commandWithChecksum("XB"), f, 100), 1u);
    EXPECT_TRUE(fleet.isRestarting(0));
    for (int i = 0; i < 40; ++i) { // ask until it answers again
        probe.socket.writeDatagram("XQ", device, fleet.port());
        if (!probe.senders(50).empty())
            break;
    }
    const auto log = fleet.traffic();
    const auto back = std::find_if(log.begin(), log.end(), [](auto& e) { return e.bytes.startsWith("XQ") && e.direction == Dir::Out; });
    ASSERT_NE(back, log.end());
    const auto silent = std::chrono::duration_cast<std::chrono::milliseconds>(back->time - log.front().time);
    EXPECT_TRUE(silent >= 795ms && silent < 1300ms) << silent.count();

}
