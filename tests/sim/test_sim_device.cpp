// The simulated device's side of the protocol: what it accepts, refuses and ignores, and what
// its flash does. The byte layouts are the program's own and pinned by its codec tests; what
// the device stores and sends, and the versions its flash gives after an update, are checked by
// every test that reads, saves or updates against it (tests/engine, tests/gui/test_nxupdate).
#include "sim/deviceprotocol.h"
#include "hex.h"

#include <gtest/gtest.h>

using namespace talixsim;
using support::hex;

namespace {

const QByteArray kWorkedSave = hex("58 53 00 00 C0 A8 01 14 FF FF FF 00 C0 A8 01 01 42 72 69 64 67 65"
                                   "00 00 00 00 00 00 00 00 00 00 27 11 00 00 25 80 00 00 00 00 F6 47");

} // namespace

// Where the device keeps the parts of its reply, written out by hand: the UDP port, the rules,
// the last rule and the Login texts.
TEST(SimDevice, ReplyPartsByteExact)
{
    DeviceState d = makeDevice(0, Preset::Login);
    d.udpPort = 5000;
    d.rules[0] = {ipFromText("10.0.0.9"), 502, 3, 60};
    d.rules[11] = {ipFromText("192.168.0.1"), 0x8000, 4, -1};
    d.userPrompt = "User:", d.password = "secret";
    const QByteArray r = settingsReply(d);
    ASSERT_EQ(r.size(), 432);
    EXPECT_EQ(r.mid(90, 16), hex("13 88 00 00 0A 00 00 09 01 F6 03 00 00 00 00 3C"));
    EXPECT_EQ(r.mid(226, 12), hex("C0 A8 00 01 80 00 04 00 FF FF FF FF"));
    EXPECT_EQ(r.mid(238, 6) + r.mid(366, 7), QByteArray("User:\0secret\0", 13));
}

TEST(SimDevice, RequestsAnsweredAsADeviceWould)
{
    using A = Response::Action;
    const QByteArray accepted = hex("58 41 00 00"), refused = hex("58 4E 00 00");
    struct Case { const char* what; Preset preset; QByteArray request; A action; QByteArray reply; } cases[] = {
        {"reboot", Preset::Login, hex("58 42 FF 66"), A::ReplyThenRestart, accepted},
        {"erase", Preset::Login, hex("58 50 E7 FE 71"), A::EraseThenReply, accepted},
        {"save checksum off by one", Preset::Basic, QByteArray(kWorkedSave).replace(43, 1, "\x48"), A::Reply, refused},
        {"save one byte short", Preset::Basic, commandWithChecksum(kWorkedSave.left(41)), A::Reply, refused},
        {"Basic save to a Rules device", Preset::Rules, kWorkedSave, A::Reply, refused},
        {"block count larger than data", Preset::Login,
         commandWithChecksum(hex("58 50 C3 00 00 10 00 00 05 01 02 03 04")), A::Reply, refused},
        {"block over 64 bytes", Preset::Login,
         commandWithChecksum(hex("58 50 C3 00 00 10 00 00 41") + QByteArray(65, 'x')), A::Reply, refused},
        {"block past the end of flash", Preset::Login,
         commandWithChecksum(hex("58 50 C3 00 0F FF FE 00 04 01 02 03 04")), A::Reply, refused},
        {"discovery with a tail", Preset::Login, "ZEVID\n", A::Ignore, {}},
        {"a reply of another device", Preset::Login, accepted, A::Ignore, {}},
    };
    for (const Case& c : cases) {
        DeviceState d = makeDevice(0, c.preset);
        const DeviceState before = d;
        const Response r = handleRequest(d, c.request);
        EXPECT_EQ(r.action, c.action) << c.what;
        EXPECT_EQ(r.reply, c.reply) << c.what;
        if (r.reply == refused)
            EXPECT_EQ(d, before) << c.what;
    }
}
