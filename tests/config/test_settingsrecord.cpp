#include "config/settingsrecord.h"

#include "config/controlvalues.h"
#include "config/settingscheck.h"
#include "sim/deviceprotocol.h"

#include "hex.h"

#include <gtest/gtest.h>

using namespace brevion;
using support::hex;

namespace {

QByteArray reply(int length, const char* boot, const char* firm)
{
    QByteArray r(length, '\0');
    r.replace(0, 2, "XQ").replace(47, 3, hex(boot)).replace(59, 3, hex(firm));
    const quint16 c = ReplyChecksum(r, length - 2);
    r[length - 2] = char(c >> 8), r[length - 1] = char(c & 0xFF);
    return r;
}

DeviceSettings sample()
{
    return {false, "192.168.1.20", "255.255.255.0", "192.168.1.1", "Bridge", 10001, 9600, 0, 0, {}, {}, {}, {}, {}};
}

} // namespace

TEST(SaveCommand, WorkedExampleAndEveryFieldAtItsOffset)
{
    const QByteArray basic = BuildSaveCommand(sample(), SettingsLayout::Basic);
    EXPECT_EQ(basic, hex("58530000C0A80114FFFFFF00C0A801014272696467650000000000000000000027110000258000000000F647"));

    DeviceSettings s{true, "192.168.1.20", "255.255.255.0", "192.168.1.1", "Bridge", 10001, 115200, 2, 40000, {},
                     "login:", QString::fromUtf8("J\u00f8rn"), "  admin  ", QString(70, 'p')}; // Latin-1; cut to 64
    s.Rules.OutRules[1] = {"10.1.2.3", 23, 7, 60};
    s.Rules.OutRules[2] = EmptyRule();
    s.Rules.OutRules[12] = {"10.9.9.9", 65535, 1, -1};
    const struct {
        int rulesOffset, loginOffset; // -1: not in that layout
        QByteArray bytes;
    } fields[] = {
        {0, 0, "XS"}, {2, 2, hex("FFFF")}, {4, 6, hex("C0A80114FFFFFF00C0A80101")},
        {16, 18, QByteArray("Bridge").leftJustified(16, '\0')}, {32, 4, hex("2711")},
        {34, 34, hex("0001C20000000002")}, {42, 42, hex("9C400000")}, {46, 46, hex("0A010203001707000000003C")},
        {58, 58, hex("000000000000030000000000")}, {178, 178, hex("0A090909FFFF0100FFFFFFFF")},
        {-1, 190, QByteArray("login:").leftJustified(32, '\0')}, {-1, 222, QByteArray("J\xF8rn").leftJustified(32, '\0')},
        {-1, 254, QByteArray("admin").leftJustified(64, '\0')}, {-1, 318, QByteArray(64, 'p')},
    };
    const QByteArray rules = BuildSaveCommand(s, SettingsLayout::Rules);
    const QByteArray login = BuildSaveCommand(s, SettingsLayout::Login);
    ASSERT_EQ(std::pair(rules.size(), login.size()), std::pair(qsizetype(192), qsizetype(384)));
    for (const auto& f : fields) {
        if (f.rulesOffset >= 0) {
            EXPECT_EQ(rules.mid(f.rulesOffset, f.bytes.size()), f.bytes) << f.rulesOffset;
        }
        EXPECT_EQ(login.mid(f.loginOffset, f.bytes.size()), f.bytes) << f.loginOffset;
    }
    EXPECT_EQ(rules.right(2) + login.right(2), CommandChecksum(rules.left(190)) + CommandChecksum(login.left(382)));
}

// Each field's bytes in the save command, as the field table gives them to the diff: a new value
// of the field changes bytes there and nowhere else but the checksum.
TEST(SaveCommand, EachFieldChangesOnlyItsOwnBytes)
{
    const ControlValues base{{true, "192.168.1.20", "255.255.255.0", "192.168.1.1", "10001", 4, 0, "10002"},
                             {true, {}, {}, {}, "Bridge", 0, 0, 0, 0, {}, "login:", "password:", "admin", "pw"}};
    for (SettingsLayout layout : {SettingsLayout::Basic, SettingsLayout::Rules, SettingsLayout::Login}) {
        const QByteArray before = BuildSaveCommand(SettingsOf(base), layout);
        for (const SettingsField& f : SettingsFields()) {
            if (!Carries(layout, f))
                continue;
            ControlValues v = base;
            if (f.kind == FieldKind::Flag)
                v.entry.DHCP = false;
            else if (f.kind == FieldKind::Rules)
                v.settings.Rules.OutRules[12] = {"10.9.9.9", 1, 1, 1};
            else if (f.index)
                f.index(v) = 2;
            else
                f.text(v) = f.kind == FieldKind::Address ? "10.20.30.40" : f.kind == FieldKind::Port ? "4321" : "Zz";
            const QByteArray after = BuildSaveCommand(SettingsOf(v), layout);
            const FieldBytes at = f.saved(layout);
            int inside = 0, outside = 0;
            for (int i = 0; i < before.size() - 2; ++i)
                if (before[i] != after[i])
                    ++(i >= at.offset && i < at.offset + at.size ? inside : outside);
            EXPECT_TRUE(inside > 0 && outside == 0) << f.name << " in layout " << int(layout);
        }
    }
}

TEST(Reply, LayoutLengthAndChecksumFollowTheVersions)
{
    const struct {
        const char *boot, *firm;
        int length; // 64 Basic, 240 Rules, 432 Login
        const char* firmText;
    } cases[] = {
        {"000000", "010011", 432, "1.0.17"}, {"010007", "010010", 240, "1.0.16"}, {"000000", "01000B", 240, "1.0.11"},
        {"010009", "01000A", 64, "1.0.10"},  {"010007", "000000", 432, "Erased"}, {"010006", "000000", 240, "Erased"},
        {"010005", "000000", 240, "Erased"}, {"010004", "000000", 64, "Erased"},  {"000000", "000000", 64, "Erased"},
    };
    for (const auto& c : cases) {
        const QByteArray r = reply(c.length, c.boot, c.firm);
        const auto decoded = DecodeSettingsReply(r);
        ASSERT_TRUE(decoded && decoded->checksumOk) << c.boot << " " << c.firm;
        EXPECT_EQ(decoded->layout, c.length == 64    ? SettingsLayout::Basic
                                   : c.length == 240 ? SettingsLayout::Rules
                                                     : SettingsLayout::Login);
        EXPECT_EQ(decoded->FirmVer, c.firmText);
    }
    // The all-zero Basic reply: its checksum is FF 56.
    EXPECT_EQ(reply(64, "000000", "000000").right(2), hex("FF56"));
    EXPECT_EQ(DecodeSettingsReply(reply(64, "000000", "000000"))->BootVer, "0.0.0");
}

// What the window's read (tests/gui/test_nxsetup) does not show: a reply decoded over one of
// another layout keeps nothing of it, a rule with port 0 is not in use, and a Basic reply leaves
// the UDP port and the rules as they were.
TEST(Reply, FieldsOfEachLayoutReachTheSettings)
{
    SettingsReply kept;
    for (auto preset : {talixsim::Preset::Login, talixsim::Preset::Basic, talixsim::Preset::Rules}) {
        talixsim::DeviceState d = talixsim::makeDevice(4, preset);
        d.rules[0] = {0x0A000001, 0xFFFF, 3, 0};
        d.rules[1] = {0x0A000002, 0x8000, 1, -5};
        d.rules[2] = {0x0A000003, 0, 3, 0};
        d.password = "secret";
        const QByteArray bytes = talixsim::settingsReply(d);
        ASSERT_TRUE(DecodeSettingsReply(bytes, kept) && kept.checksumOk && kept == *DecodeSettingsReply(bytes));
        DeviceSettings s = sample();
        s.UDPPort = 77, s.Rules.OutRules[5] = {"9.9.9.9", 99, 1, 0}, s.Rules.OutCount = 1;
        ApplyReply(s, kept);
        const bool basic = preset == talixsim::Preset::Basic, login = preset == talixsim::Preset::Login;
        EXPECT_EQ(std::tuple(int(s.UDPPort), int(s.Rules.OutCount), s.Rules.OutRules[5].Port, s.Password),
                  std::tuple(basic ? 77 : int(d.udpPort), basic ? 1 : 2, basic ? 99 : 0, login ? d.password : QString()));
        EXPECT_EQ(s.Rules.OutRules[2], (basic ? OutCnctRule{} : OutCnctRule{"10.0.0.2", 32768, 1, -5}));
    }
}

// Nothing the device cannot hold is sent: no value is cut to its low bits or to its field, no
// static address leaves the device unreachable. held: what the device reported, when not the
// row's own values; a value equal to it is the device's own and sent back unjudged.
#define EDIT(...) [](SettingsEntry& e, DeviceSettings& s) { (void)e, (void)s, __VA_ARGS__; }
#define STATIC(ip, mask, gateway) EDIT(e = {false, ip, mask, gateway, "1", 4, 0, "2"})
TEST(Check, RefusesWhatTheDeviceCannotHold)
{
    const QString rule1 = "Outgoing Connections, rule 1", udp = "Port to listen for UDP packets", tcp = "TCP Port to accept connections";
    using L = SettingsLayout;
    const struct {
        void (*edit)(SettingsEntry&, DeviceSettings&);
        SettingsLayout layout;
        QString field; // empty: sent
        void (*held)(SettingsEntry&, DeviceSettings&) = nullptr;
    } cases[] = {
        {EDIT((void)e), L::Login, {}},  {EDIT(e.IPPort = "65536"), L::Basic, tcp},
        {EDIT(e.IPPort = " 65535 "), L::Basic, {}},  {EDIT(e.IPPort = "80.5"), L::Basic, tcp},
        {EDIT(e.UDPPort = "-1"), L::Rules, udp},  {EDIT(e.UDPPort = "abc"), L::Basic, {}}, // not carried
        {EDIT(e.Gateway = "none"), L::Basic, {}}, // DHCP: not judged
        {EDIT(e = {false, "10.0.0.2", "255.255.255.0.", "10.0.0.1", "1", 4, 0, "2"}), L::Basic, "Subnet Mask"},
        {EDIT(s.Rules.OutRules[1].Port = 65536), L::Rules, rule1}, {EDIT(s.Rules.OutRules[1].Port = -1), L::Rules, rule1},
        {EDIT(s.Rules.OutRules[1].Port = 70000), L::Basic, {}},
        {EDIT(s.Rules.OutRules[12].IPAddr = "127.0.0.010"), L::Rules, "Outgoing Connections, rule 12"},
        {EDIT(s.Rules.OutRules[1].IdleSecs = 3601), L::Rules, rule1}, {EDIT(s.Rules.OutRules[1].IdleSecs = 3600), L::Rules, {}},
        {EDIT(s.Rules.OutRules[1].IdleSecs = -1), L::Login, rule1}, {EDIT(s.Rules.OutRules[2].IdleSecs = -1), L::Login, {}},
        {EDIT(s.Username = QString::fromUtf8("J\u00f8rn")), L::Login, {}}, {EDIT(s.NetName = QString(17, u'n')), L::Basic, "Device Name"},
        {EDIT(s.NetName = QString(16, u'n') + "  "), L::Basic, {}}, {EDIT(s.Password = QString::fromUtf8("pw\u20ac")), L::Login, "Password"},
        {EDIT(s.UserPrompt = QString(33, u'u')), L::Login, "Prompt for User Name"},
        {STATIC("0.0.0.0", "255.255.255.0", "0.0.0.0"), L::Basic, "IP Address"},
        {STATIC("224.0.0.1", "255.255.255.0", "10.0.0.1"), L::Basic, "IP Address"},
        {STATIC("255.255.255.255", "255.255.255.0", "10.0.0.1"), L::Basic, "IP Address"},
        {STATIC("223.255.255.254", "255.255.255.255", "0.0.0.0"), L::Basic, {}}, // no gateway; a mask of one address
        {STATIC("10.0.0.2", "255.0.255.0", "10.0.0.1"), L::Basic, "Subnet Mask"},
        {STATIC("10.0.0.2", "0.0.0.0", "255.255.255.255"), L::Basic, "Default Gateway"},
        // What the device holds is sent back unjudged; what differs from it, and a rate the list
        // cannot show, are judged.
        {EDIT(s.NetName = "Renamed", s.Rules.OutRules[1].IdleSecs = -1), L::Login, {}, EDIT(s.Rules.OutRules[1].IdleSecs = -1)},
        {EDIT(s.Rules.OutRules[1].IdleSecs = 70000), L::Login, rule1, EDIT(s.Rules.OutRules[1].IdleSecs = -1)},
        {STATIC("10.0.0.2", "255.0.255.0", "0.0.0.0"), L::Basic, {}, STATIC("10.0.0.2", "255.0.255.0", "0.0.0.0")},
        {STATIC("10.0.0.2", "255.0.255.0", "0.0.0.0"), L::Basic, "Subnet Mask", EDIT(e.SubnetMask = "255.0.255.0")}, // DHCP
        {EDIT(e.BaudRate = -1), L::Basic, "Baud rate", EDIT(e.BaudRate = -1)},
    };
    int row = 0;
    for (const auto& c : cases) {
        SettingsEntry entry{true, {}, {}, {}, "10001", 4, 0, "10002"};
        DeviceSettings settings = sample();
        settings.Rules.OutRules[1] = {"10.0.0.1", 23, OUT_TCP, 60};
        ControlValues held{entry, settings};
        c.edit(entry, settings);
        if (c.held)
            c.held(held.entry, held.settings);
        const std::optional<InvalidSetting> invalid = CheckSettings(entry, settings, c.layout, c.held ? &held : nullptr);
        EXPECT_EQ(invalid ? invalid->field : QString(), c.field) << "row " << row++;
    }
}
