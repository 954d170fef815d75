// A fleet on loopback, driven over real sockets; timings are read from the traffic log.
#include "deviceprotocol.h"
#include "fleet.h"
#include "udpprobe.h"

#include <gtest/gtest.h>

#include <set>

using namespace talixsim;
using namespace std::chrono_literals;
using Dir = TrafficEntry::Direction;

namespace {

constexpr quint32 kLoopbackBroadcast = 0x7FFFFFFF; // 127.255.255.255

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

class FleetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FleetOptions o;
        o.port = 0;
        fleet = std::make_unique<Fleet>(o);
        for (int i = 0; i < 5; ++i)
            fleet->addDevice(makeDevice(i, i == 0 ? Preset::Basic : Preset::Login));
        QString error;
        ASSERT_TRUE(fleet->start(&error)) << error.toStdString();
    }

    quint32 at(int i) const { return loopbackAddress(i); }
    bool send(int i, const QByteArray& bytes) { return probe.send(at(i), fleet->port(), bytes); }
    std::optional<Datagram> reply(std::chrono::milliseconds wait = 2000ms)
    {
        return probe.receive(wait);
    }
    // Nothing more arrives within a short bound.
    bool quiet() { return !probe.receive(300ms).has_value(); }

    std::unique_ptr<Fleet> fleet;
    UdpProbe probe;
};

// The time between the last In entry with `in` bytes and the first Out entry after it.
std::chrono::milliseconds replyLatency(const std::vector<TrafficEntry>& log, const QByteArray& in)
{
    std::optional<std::chrono::steady_clock::time_point> sent;
    for (const auto& e : log) {
        if (e.direction == Dir::In && e.bytes == in)
            sent = e.time;
        else if (e.direction == Dir::Out && sent)
            return std::chrono::duration_cast<std::chrono::milliseconds>(e.time - *sent);
    }
    return -1ms;
}

} // namespace

TEST_F(FleetTest, DiscoveryBroadcastAnsweredByEveryDeviceFromItsOwnAddress)
{
    ASSERT_TRUE(probe.send(kLoopbackBroadcast, fleet->port(), "ZEVID"));
    std::set<quint32> from;
    for (int i = 0; i < 5; ++i) {
        auto r = reply();
        ASSERT_TRUE(r) << "reply " << i;
        const int device = fleet->deviceAt(r->from);
        ASSERT_GE(device, 0);
        EXPECT_EQ(r->bytes, discoveryReply(fleet->device(device)));
        from.insert(r->from);
    }
    EXPECT_EQ(from.size(), 5u);
    // A command to no device's address is nobody's.
    ASSERT_TRUE(probe.send(kLoopbackBroadcast, fleet->port(), "XQ"));
    EXPECT_TRUE(quiet());
}

TEST_F(FleetTest, CommandsGoToTheAddressedDeviceOnly)
{
    ASSERT_TRUE(send(2, "XQ"));
    auto r = reply();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->from, at(2));
    EXPECT_EQ(r->bytes, settingsReply(fleet->device(2)));
    EXPECT_EQ(r->bytes.size(), 432);

    const QByteArray save =
        hex("58 53 00 00 C0 A8 01 14 FF FF FF 00 C0 A8 01 01 42 72 69 64 67 65"
            "00 00 00 00 00 00 00 00 00 00 27 11 00 00 25 80 00 00 00 00 F6 47");
    ASSERT_TRUE(send(0, save));
    r = reply();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->from, at(0));
    EXPECT_EQ(r->bytes, hex("58 41 00 00"));
    EXPECT_EQ(fleet->device(0).name, "Bridge");
    EXPECT_EQ(fleet->device(1).name, "TALIX-2");
    EXPECT_TRUE(quiet());

    const auto log = fleet->traffic();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[2].direction, Dir::In);
    EXPECT_EQ(log[2].bytes, save);
    EXPECT_EQ(log[2].device, 0);
    EXPECT_EQ(log[3].direction, Dir::Out);
    EXPECT_EQ(log[3].local, at(0));
    EXPECT_EQ(log[3].peer, 0x7F000001u);
}

TEST_F(FleetTest, FaultSwitches)
{
    struct Case {
        const char* what;
        Faults faults;
        int requests; // "XQ" sent this many times to device 1
        int replies;  // expected replies
        std::function<void(const Datagram&)> check;
    };
    const QByteArray good = settingsReply(fleet->device(1));
    Faults f;
    std::vector<Case> cases;
    f = {};
    f.dropNextRequests = 2;
    cases.push_back({"drop next requests", f, 3, 1, nullptr});
    f = {};
    f.dropRequestShare = 1.0;
    cases.push_back({"drop all requests", f, 3, 0, nullptr});
    f = {};
    f.dropReplyShare = 1.0;
    cases.push_back({"drop all replies", f, 3, 0, nullptr});
    f = {};
    f.duplicateReplies = 2;
    cases.push_back({"duplicate", f, 1, 3, [&](const Datagram& d) { EXPECT_EQ(d.bytes, good); }});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fleet->setFaults(1, c.faults);
        for (int i = 0; i < c.requests; ++i)
            ASSERT_TRUE(send(1, "XQ"));
        for (int i = 0; i < c.replies; ++i) {
            auto r = reply();
            ASSERT_TRUE(r) << "reply " << i;
            if (c.check)
                c.check(*r);
        }
        EXPECT_TRUE(quiet());
    }
    EXPECT_EQ(fleet->faults(1).dropNextRequests, 0) << "counters count down";

    // A silent device is absent from discovery too; "N" leaves discovery alone.
    fleet->setFaults(1, {});
    Faults n;
    n.answerN = true;
    fleet->setFaults(2, n);
    Faults silent;
    silent.silent = true;
    fleet->setFaults(3, silent);
    ASSERT_TRUE(probe.send(kLoopbackBroadcast, fleet->port(), "ZEVID"));
    std::set<quint32> from;
    while (auto r = probe.receive(500ms))
        from.insert(r->from);
    EXPECT_EQ(from, (std::set<quint32>{at(0), at(1), at(2), at(4)}));
}

TEST_F(FleetTest, ShareOfDropsIsAShare)
{
    Faults f;
    f.dropRequestShare = 0.5;
    fleet->setFaults(4, f);
    constexpr int kSent = 200;
    for (int i = 0; i < kSent; ++i)
        ASSERT_TRUE(send(4, "XQ"));
    ASSERT_TRUE(fleet->waitForTraffic(
        [](const auto& log) {
            return std::count_if(log.begin(), log.end(),
                                 [](auto& e) { return e.direction == Dir::In; }) == kSent;
        },
        5000ms));
    EXPECT_FALSE(fleet->waitForReplies(kSent * 3 / 4, 200ms));
    const auto log = fleet->traffic();
    const auto out =
        std::count_if(log.begin(), log.end(), [](auto& e) { return e.direction == Dir::Out; });
    EXPECT_GT(out, kSent / 4);
    EXPECT_LT(out, kSent * 3 / 4);
}

TEST_F(FleetTest, DelayedRepliesLeaveLate)
{
    Faults f;
    f.replyDelayMs = 300;
    fleet->setFaults(1, f);
    ASSERT_TRUE(send(1, "XQ"));
    ASSERT_TRUE(reply());
    const auto latency = replyLatency(fleet->traffic(), "XQ");
    EXPECT_GE(latency, 295ms);
    EXPECT_LT(latency, 1000ms);

    fleet->setFaults(1, {});
    fleet->clearTraffic();
    ASSERT_TRUE(send(1, "XQ"));
    ASSERT_TRUE(reply());
    EXPECT_LT(replyLatency(fleet->traffic(), "XQ"), 250ms);
}

TEST_F(FleetTest, RestartIsSilentForTheConfiguredTime)
{
    Faults f;
    f.restartSilentMs = 400;
    fleet->setFaults(1, f);
    const QByteArray reboot = hex("58 42 FF 66");
    ASSERT_TRUE(send(1, reboot));
    auto r = reply();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->bytes, hex("58 41 00 00"));
    EXPECT_TRUE(fleet->isRestarting(1));
    const auto rebooted = fleet->traffic().front().time;
    // Ask every 50 ms until it answers; the first answered request tells when it came back.
    std::optional<Datagram> back;
    for (int i = 0; i < 40 && !back; ++i) {
        ASSERT_TRUE(send(1, "XQ"));
        back = probe.receive(50ms);
    }
    ASSERT_TRUE(back);
    EXPECT_EQ(back->bytes, settingsReply(fleet->device(1)));
    const auto log = fleet->traffic();
    const auto answered = std::find_if(log.begin(), log.end(), [](auto& e) {
        return e.direction == Dir::Out && e.bytes.startsWith("XQ");
    });
    ASSERT_NE(answered, log.end());
    const auto silentFor =
        std::chrono::duration_cast<std::chrono::milliseconds>(answered->time - rebooted);
    EXPECT_GE(silentFor, 395ms);
    EXPECT_LT(silentFor, 900ms);
    EXPECT_FALSE(fleet->isRestarting(1));
}

TEST(FleetLoad, ThousandDevicesAnswerOneBroadcast)
{
    FleetOptions o;
    o.port = 0;
    Fleet fleet(o);
    for (int i = 0; i < 1000; ++i)
        fleet.addDevice(makeDevice(i));
    ASSERT_TRUE(fleet.start());
    UdpProbe probe;
    ASSERT_TRUE(probe.send(kLoopbackBroadcast, fleet.port(), "ZEVID"));
    EXPECT_TRUE(fleet.waitForReplies(1000, 10s));
    const auto log = fleet.traffic();
    std::set<quint32> from;
    for (const auto& e : log)
        if (e.direction == Dir::Out)
            from.insert(e.local);
    EXPECT_EQ(from.size(), 1000u);
    EXPECT_TRUE(probe.receive(1000ms));
}
