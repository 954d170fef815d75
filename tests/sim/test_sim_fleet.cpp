// A fleet on loopback, driven over a real socket. What each fault switch does to a conversation
// is in the engine's outcome table (tests/engine) and the fault tests' timings (tests/fault).
#include "deviceprotocol.h"
#include "fleet.h"

#include <QUdpSocket>

#include <gtest/gtest.h>

#include <set>

using namespace talixsim;
using namespace std::chrono_literals;
using Dir = TrafficEntry::Direction;

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
    const QHostAddress kBroadcast(QStringLiteral("127.255.255.255"));
    QUdpSocket probe;
    probe.writeDatagram("ZEVID", kBroadcast, fleet.port());
    EXPECT_TRUE(fleet.waitForReplies(999, 10s));
    std::set<quint32> from;
    for (const TrafficEntry& e : fleet.traffic())
        if (e.direction == Dir::Out)
            from.insert(e.local);
    EXPECT_EQ(from.size(), 999u);
    EXPECT_EQ(from.count(loopbackAddress(3)), 0u);
    probe.writeDatagram("XQ", kBroadcast, fleet.port());
    EXPECT_FALSE(fleet.waitForReplies(1000, 300ms));
}
