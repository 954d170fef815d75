// The simulated device's side of the protocol, pinned by hand-written byte vectors. The layout
// choice and the checksums are the program's own and pinned by its codec tests; these pin what the
// device builds with them and what it does with each request.
#include "deviceprotocol.h"
#include "flash.h"
#include "updateimage.h"

#include <gtest/gtest.h>

using namespace talixsim;

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// A zero buffer with the given bytes written at the given offsets.
QByteArray patched(int size, std::initializer_list<std::pair<int, QByteArray>> parts)
{
    QByteArray b(size, '\0');
    for (const auto& [at, bytes] : parts)
        b.replace(at, bytes.size(), bytes);
    return b;
}

DeviceState pump(bool login)
{
    DeviceState d;
    d.name = "Pump";
    d.ip = ipFromText("10.0.0.5");
    d.mask = ipFromText("255.255.0.0");
    d.gateway = ipFromText("10.0.0.1");
    d.tcpPort = 4001;
    d.baud = 115200;
    d.handshaking = 1;
    d.hw = {1, 2};
    d.boot = login ? Version3{1, 0, 7} : Version3{1, 0, 5};
    d.firm = login ? Version3{1, 0, 17} : Version3{1, 0, 11};
    d.udpPort = 5000;
    d.rules[0] = {ipFromText("10.0.0.9"), 502, 3, 60};
    d.rules[11] = {ipFromText("192.168.0.1"), 0x8000, 4, -1};
    d.dhcp = login;
    if (login) {
        d.userPrompt = "User:";
        d.passPrompt = "Pass:";
        d.username = "admin";
        d.password = "secret";
    }
    return d;
}

const QByteArray kWorkedSave =
    hex("58 53 00 00 C0 A8 01 14 FF FF FF 00 C0 A8 01 01 42 72 69 64 67 65"
        "00 00 00 00 00 00 00 00 00 00 27 11 00 00 25 80 00 00 00 00 F6 47");

} // namespace

TEST(SimDevice, RulesAndLoginRepliesByteExact)
{
    const QByteArray rulesPart = hex("0A 00 00 09 01 F6 03 00 00 00 00 3C");
    const QByteArray lastRule = hex("C0 A8 00 01 80 00 04 00 FF FF FF FF");
    const QByteArray common34 = hex("00 01 C2 00 00 00 00 01 00 00 01 02 00 01 00");
    const QByteArray rules = patched(240, {{0, "XQ"},
                                           {4, hex("0A 00 00 05 FF FF 00 00 0A 00 00 01")},
                                           {16, "Pump"},
                                           {32, hex("0F A1")},
                                           {34, common34},
                                           {49, hex("05")},
                                           {59, hex("01 00 0B")},
                                           {90, hex("13 88")},
                                           {94, rulesPart},
                                           {226, lastRule},
                                           {238, hex("F2 46")}});
    EXPECT_EQ(settingsReply(pump(false)).toHex(' '), rules.toHex(' '));

    const QByteArray login =
        patched(432, {{0, "XQ"},
                      {2, hex("FF FF 0F A1 0A 00 00 05 FF FF 00 00 0A 00 00 01")},
                      {18, "Pump"},
                      {34, common34},
                      {49, hex("07")},
                      {59, hex("01 00 11")},
                      {90, hex("13 88")},
                      {94, rulesPart},
                      {226, lastRule},
                      {238, "User:"},
                      {270, "Pass:"},
                      {302, "admin"},
                      {366, "secret"},
                      {430, hex("E8 07")}});
    EXPECT_EQ(settingsReply(pump(true)).toHex(' '), login.toHex(' '));
}

TEST(SimDevice, DiscoveryReply)
{
    DeviceState d;
    d.mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    d.address = ipFromText("192.168.1.5");
    d.tcpPort = 10001;
    d.name = QString::fromLatin1("Caf\xe9 \xc1");
    EXPECT_EQ(discoveryReply(d), hex("4B 39 5A 45 56 00 1A 2B 3C 4D 5E C0 A8 01 05 27 11"
                                     "43 61 66 E9 20 C1 00 00 00 00 00 00 00 00 00 00"));
    d.name = "ABCDEFGHIJKLMNOPQRST"; // cut to 16
    EXPECT_EQ(discoveryReply(d).mid(17), QByteArray("ABCDEFGHIJKLMNOP"));
}

TEST(SimDevice, WorkedSaveCommandStoredByBasicDevice)
{
    DeviceState d = makeDevice(0, Preset::Basic);
    d.udpPort = 777;
    const Response r = handleRequest(d, kWorkedSave);
    EXPECT_EQ(r.action, Response::Action::Reply);
    EXPECT_EQ(r.reply, hex("58 41 00 00"));
    EXPECT_EQ(ipToText(d.ip), "192.168.1.20");
    EXPECT_EQ(ipToText(d.mask), "255.255.255.0");
    EXPECT_EQ(ipToText(d.gateway), "192.168.1.1");
    EXPECT_EQ(d.name, "Bridge");
    EXPECT_EQ(d.tcpPort, 10001);
    EXPECT_EQ(d.baud, 9600u);
    EXPECT_EQ(d.handshaking, 0);
    EXPECT_FALSE(d.dhcp);
    EXPECT_EQ(d.udpPort, 777) << "a Basic save carries no UDP port";
    EXPECT_EQ(d.address, loopbackAddress(0)) << "the device stays where it lives";
    // What it stored comes back in its reply.
    EXPECT_EQ(settingsReply(d).mid(2, 40), kWorkedSave.mid(2, 40));
}

TEST(SimDevice, SaveRoundTripsInEveryLayout)
{
    for (bool login : {false, true}) {
        const DeviceState source = pump(login);
        const QByteArray reply = settingsReply(source);
        // Turn the reply into the save command of the same layout: same fields up to 41, then
        // the UDP port and rules moved forward, then the texts.
        QByteArray save = "XS" + reply.mid(2, 40);
        save += reply.mid(90, 2) + QByteArray(2, '\0') + reply.mid(94, 144);
        if (login)
            save += reply.mid(238, 192);
        save = commandWithChecksum(save);
        ASSERT_EQ(save.size(), login ? 384 : 192);
        DeviceState target = makeDevice(3, login ? Preset::Login : Preset::Rules);
        ASSERT_TRUE(applySaveCommand(target, save));
        EXPECT_EQ(settingsReply(target), reply) << (login ? "Login" : "Rules");
    }
}

TEST(SimDevice, MalformedCommandsAnsweredN)
{
    const QByteArray badSum = QByteArray(kWorkedSave).replace(43, 1, "\x48");
    struct Case {
        const char* what;
        Preset preset;
        QByteArray command;
    } cases[] = {
        {"save checksum off by one", Preset::Basic, badSum},
        {"save one byte short", Preset::Basic, commandWithChecksum(kWorkedSave.left(41))},
        {"Basic save to a Rules device", Preset::Rules, kWorkedSave},
        {"Rules-length save to a Basic device", Preset::Basic,
         commandWithChecksum("XS" + QByteArray(188, '\0'))},
        {"reboot bad checksum", Preset::Login, hex("58 42 FF 67")},
        {"reboot too long", Preset::Login, commandWithChecksum(hex("58 42 00"))},
        {"MAC bad checksum", Preset::Login, hex("58 4D 00 50 C2 5A 30 00 FD BE")},
        {"MAC short", Preset::Login, commandWithChecksum(hex("58 4D 00 50 C2 5A 30"))},
        {"erase bad checksum", Preset::Login, hex("58 50 E7 FE 72")},
        {"restart bad checksum", Preset::Login, hex("58 50 BD FE 9C")},
        {"block bad checksum", Preset::Login, hex("58 50 C3 00 00 10 00 00 04 01 02 03 04 FE 78")},
        {"block count larger than data", Preset::Login,
         commandWithChecksum(hex("58 50 C3 00 00 10 00 00 05 01 02 03 04"))},
        {"block over 64 bytes", Preset::Login,
         commandWithChecksum(hex("58 50 C3 00 00 10 00 00 41") + QByteArray(65, 'x'))},
        {"block past the end of flash", Preset::Login,
         commandWithChecksum(hex("58 50 C3 00 0F FF FE 00 04 01 02 03 04"))},
    };
    for (const Case& c : cases) {
        DeviceState d = makeDevice(0, c.preset);
        const DeviceState before = d;
        const Response r = handleRequest(d, c.command);
        EXPECT_EQ(r.action, Response::Action::Reply) << c.what;
        EXPECT_EQ(r.reply, hex("58 4E 00 00")) << c.what;
        EXPECT_EQ(d, before) << c.what;
    }
}

TEST(SimDevice, CommandsAndStrangers)
{
    using A = Response::Action;
    struct Case {
        const char* what;
        QByteArray request;
        A action;
        QByteArray reply;
    } cases[] = {
        {"reboot", hex("58 42 FF 66"), A::ReplyThenRestart, hex("58 41 00 00")},
        {"restart", hex("58 50 BD FE 9B"), A::ReplyThenRestart, hex("58 41 00 00")},
        {"erase", hex("58 50 E7 FE 71"), A::EraseThenReply, hex("58 41 00 00")},
        {"block", hex("58 50 C3 00 00 10 00 00 04 01 02 03 04 FE 77"), A::Reply,
         hex("58 41 00 00")},
        {"MAC", hex("58 4D 00 50 C2 5A 30 00 FD BF"), A::Reply, hex("58 41 00 00")},
        {"lower-case discovery", "zevid", A::Ignore, {}},
        {"discovery with a tail", "ZEVID\n", A::Ignore, {}},
        {"read with a tail", QByteArray("XQ\0", 3), A::Ignore, {}},
        {"unknown letter", hex("58 5A 00 00"), A::Ignore, {}},
        {"unknown sub-command", commandWithChecksum(hex("58 50 AA")), A::Ignore, {}},
        {"a reply of another device", hex("58 41 00 00"), A::Ignore, {}},
        {"empty", {}, A::Ignore, {}},
    };
    for (const Case& c : cases) {
        DeviceState d = makeDevice(0);
        const Response r = handleRequest(d, c.request);
        EXPECT_EQ(r.action, c.action) << c.what;
        EXPECT_EQ(r.reply, c.reply) << c.what;
    }
}

TEST(SimDevice, MacCommandStoresAddress)
{
    DeviceState d = makeDevice(0);
    d.mac = placeholderMac(7);
    EXPECT_EQ(macToText(d.mac), "00:BA:DB-AD:00:07");
    handleRequest(d, commandWithChecksum(hex("58 4D 00 50 C2 5A 3A BC")));
    EXPECT_EQ(macToText(d.mac), "00:50:C2-5A:3A:BC");
}

TEST(SimDevice, FlashConventionDecidesVersionsAfterRestart)
{
    DeviceState d = makeDevice(0, Preset::Login);
    restartFromFlash(d);
    EXPECT_EQ(d.firm, (Version3{1, 0, 17})) << "factory images keep their versions";
    EXPECT_TRUE(d.flash.isEmpty());

    eraseFirmware(d);
    EXPECT_EQ(d.firm, (Version3{0, 0, 0}));
    ASSERT_EQ(d.flash.size(), int(kFlashSize));
    EXPECT_EQ(d.flash.mid(0x10, 7), hex("54 41 4C 58 01 00 07")) << "bootloader tag kept";
    EXPECT_EQ(d.flash.mid(0x4000), QByteArray(int(kFlashSize - 0x4000), char(0xFF)));

    // Programme a firmware image record by record, then restart.
    UpdateFileRecipe recipe;
    recipe.version = {1, 0, 20};
    recipe.size = 300;
    const QByteArray image = updateImage(recipe);
    for (int at = 0; at < image.size(); at += 64)
        ASSERT_TRUE(writeFlash(d, kFirmBase + quint32(at), image.mid(at, 64)));
    EXPECT_EQ(d.firm, (Version3{0, 0, 0})) << "versions change only on restart";
    restartFromFlash(d);
    EXPECT_EQ(d.firm, (Version3{1, 0, 20}));
    EXPECT_EQ(d.boot, (Version3{1, 0, 7}));
    EXPECT_EQ(d.flash.mid(int(kFirmBase), image.size()), image);

    // A bootloader image sets the bootloader; a broken firmware tag means erased.
    recipe.region = Region::Bootloader;
    recipe.version = {1, 1, 0};
    ASSERT_TRUE(writeFlash(d, kBootBase, updateImage(recipe)));
    ASSERT_TRUE(writeFlash(d, kFirmBase + kTagOffset, "TALY"));
    restartFromFlash(d);
    EXPECT_EQ(d.boot, (Version3{1, 1, 0}));
    EXPECT_EQ(d.firm, (Version3{0, 0, 0}));
    EXPECT_FALSE(writeFlash(d, kFlashSize - 2, "abc"));
    EXPECT_TRUE(writeFlash(d, kFlashSize - 3, "abc"));
}

TEST(SimDevice, UpdateFileLayout)
{
    UpdateFileRecipe recipe;
    recipe.region = Region::Firmware;
    recipe.version = {1, 0, 17};
    recipe.size = 100;
    recipe.hwMin = 0x0100;
    recipe.hwMax = 0x0203;
    recipe.bootMin = 0x010004;
    recipe.bootMax = 0x010007;
    const QByteArray file = makeUpdateFile(recipe);
    EXPECT_EQ(file.left(26), hex("64 00 11 00 01 00 00 01 00 00 03 02 00 00 04 00 01 00"
                                 "07 00 01 00 64 00 00 00"));
    // Two records: 64 bytes at 0x4000, 36 at 0x4040.
    EXPECT_EQ(file.mid(26, 6), hex("00 40 00 00 40 00"));
    EXPECT_EQ(file.mid(26 + 6 + 64, 6), hex("40 40 00 00 24 00"));
    EXPECT_EQ(file.size(), 26 + 6 + 64 + 6 + 36);
    EXPECT_EQ(file.mid(32 + 0x10, 7), hex("54 41 4C 58 01 00 11"));
    EXPECT_EQ(makeUpdateFile(Region::Bootloader, {1, 0, 8}, 64).mid(26, 4), hex("00 00 00 00"));
}

TEST(SimDevice, EveryPrefixOfEveryCommandIsSafe)
{
    // Run under the sanitizers: no read past the end, and no state change without an "XA".
    const QByteArray commands[] = {kWorkedSave,
                                   hex("58 42 FF 66"),
                                   hex("58 50 E7 FE 71"),
                                   hex("58 50 C3 00 00 10 00 00 04 01 02 03 04 FE 77"),
                                   hex("58 4D 00 50 C2 5A 30 00 FD BF"),
                                   "ZEVID",
                                   "XQ"};
    for (const QByteArray& c : commands) {
        for (int n = 0; n < c.size(); ++n) {
            DeviceState d = makeDevice(0, Preset::Basic);
            const DeviceState before = d;
            const Response r = handleRequest(d, c.left(n));
            EXPECT_NE(r.reply, acceptReply()) << c.left(n).toHex(' ').constData();
            EXPECT_EQ(d, before);
        }
    }
}
