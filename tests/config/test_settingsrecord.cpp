#include "settingsrecord.h"

#include "settingscheck.h"
#include "deviceprotocol.h"
#include "devicestate.h"
#include "nxfns.h"

#include <gtest/gtest.h>

#include <functional>

using namespace brevion;

namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

quint32 sum(const QByteArray& bytes, int count)
{
    quint32 s = 0;
    for (int i = 0; i < count; ++i)
        s += static_cast<quint8>(bytes[i]);
    return s;
}

// A reply of the given length with the versions at their places and its checksum in the last
// two bytes.
QByteArray reply(int length, const char* boot, const char* firm)
{
    QByteArray r(length, '\0');
    r[0] = 'X';
    r[1] = 'Q';
    r.replace(47, 3, hex(boot));
    r.replace(59, 3, hex(firm));
    const quint16 c = ReplyChecksum(r, length - 2);
    r[length - 2] = char(c >> 8);
    r[length - 1] = char(c & 0xFF);
    return r;
}

void fixChecksum(QByteArray& r)
{
    const quint16 c = ReplyChecksum(r, r.size() - 2);
    r[r.size() - 2] = char(c >> 8);
    r[r.size() - 1] = char(c & 0xFF);
}

DeviceSettings sample()
{
    DeviceSettings s;
    s.DHCP = false;
    s.IPAddr = QStringLiteral("192.168.1.20");
    s.SubnetMask = QStringLiteral("255.255.255.0");
    s.Gateway = QStringLiteral("192.168.1.1");
    s.NetName = QStringLiteral("Bridge");
    s.IPPort = 10001;
    s.BaudRate = 9600;
    s.Handshaking = 0;
    return s;
}

} // namespace

TEST(SaveCommand, BasicWorkedExampleIsByteExact)
{
    const QByteArray command = BuildSaveCommand(sample(), SettingsLayout::Basic);
    EXPECT_EQ(command, hex("58 53 00 00 C0 A8 01 14 FF FF FF 00 C0 A8 01 01 42 72 69 64 67 65 00 00 00 00 00 00 00 00 "
                           "00 00 27 11 00 00 25 80 00 00 00 00 F6 47"));
    EXPECT_EQ(sum(command, 42), 2489u);
}

TEST(SaveCommand, RulesAndLoginPutEveryFieldAtItsOffset)
{
    DeviceSettings s = sample();
    s.DHCP = true;
    s.Handshaking = 2;
    s.BaudRate = 115200;
    s.UDPPort = 40000;
    s.Rules.OutRules[1] = {QStringLiteral("10.1.2.3"), 23, 7, 60};
    s.Rules.OutRules[12] = {QStringLiteral("10.9.9.9"), 65535, 1, -1};
    s.UserPrompt = QStringLiteral("login:");
    s.PassPrompt = QStringLiteral("password:");
    s.Username = QStringLiteral("  admin  ");
    s.Password = QString(70, QLatin1Char('p')); // cut to 64

    struct Field {
        int rulesOffset; // -1: not in that layout
        int loginOffset;
        QByteArray bytes;
    };
    const Field fields[] = {
        {0, 0, "XS"},
        {2, 2, hex("FF FF")},
        {4, 6, hex("C0 A8 01 14 FF FF FF 00 C0 A8 01 01")},
        {16, 18, QByteArray("Bridge").leftJustified(16, '\0')},
        {32, 4, hex("27 11")},
        {34, 34, hex("00 01 C2 00 00 00 00 02")},
        {42, 42, hex("9C 40 00 00")},
        {46, 46, hex("0A 01 02 03 00 17 07 00 00 00 00 3C")},
        {58, 58, hex("00 00 00 00 00 00 03 00 00 00 00 00")}, // slot 2: the empty value
        {178, 178, hex("0A 09 09 09 FF FF 01 00 FF FF FF FF")},
        {-1, 190, QByteArray("login:").leftJustified(32, '\0')},
        {-1, 222, QByteArray("password:").leftJustified(32, '\0')},
        {-1, 254, QByteArray("admin").leftJustified(64, '\0')},
        {-1, 318, QByteArray(64, 'p')},
    };
    for (int slot = 2; slot <= 11; ++slot)
        s.Rules.OutRules[slot] = EmptyRule();

    const QByteArray rules = BuildSaveCommand(s, SettingsLayout::Rules);
    const QByteArray login = BuildSaveCommand(s, SettingsLayout::Login);
    ASSERT_EQ(rules.size(), 192);
    ASSERT_EQ(login.size(), 384);
    for (const Field& f : fields) {
        SCOPED_TRACE(f.bytes.toHex(' ').toStdString());
        if (f.rulesOffset >= 0) {
            EXPECT_EQ(rules.mid(f.rulesOffset, f.bytes.size()), f.bytes);
        }
        EXPECT_EQ(login.mid(f.loginOffset, f.bytes.size()), f.bytes);
    }
    EXPECT_EQ((sum(rules, 190) + quint8(rules[190]) * 256u + quint8(rules[191])) % 65536u, 0u);
    EXPECT_EQ((sum(login, 382) + quint8(login[382]) * 256u + quint8(login[383])) % 65536u, 0u);
}

TEST(SaveCommand, TextFieldsAreCutTrimmedAndLatin1)
{
    const struct {
        QString text;
        QByteArray bytes;
    } cases[] = {
        {QStringLiteral("ABCDEFGHIJKLMNOPQRST"), "ABCDEFGHIJKLMNOP"},
        {QStringLiteral("  ab  "), QByteArray("ab").leftJustified(16, '\0')},
        {QString::fromUtf8("Caf\u00e9 \u20ac"), QByteArray("Caf\xE9 ?").leftJustified(16, '\0')},
        {QString(), QByteArray(16, '\0')},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncodeTextField(c.text, 16), c.bytes) << c.text.toStdString();
}

TEST(Checksums, CommandChecksumWrapsAndRebootIsFixed)
{
    EXPECT_EQ(RebootCommand(), hex("58 42 FF 66"));
    EXPECT_EQ(ReadCommand(), QByteArray("XQ"));
    EXPECT_EQ(CommandChecksum(QByteArray()), hex("00 00"));
    // A sum above 65536 still gives the two bytes that bring it to a multiple of 65536.
    const QByteArray big(300, '\xFF'); // 76500
    const QByteArray c = CommandChecksum(big);
    EXPECT_EQ((76500u + quint8(c[0]) * 256u + quint8(c[1])) % 65536u, 0u);
}

TEST(Layout, ChosenFromVersions)
{
    const struct {
        qint32 firm, boot;
        SettingsLayout layout;
    } cases[] = {
        {0x010011, 0, SettingsLayout::Login},     {0x010010, 0x010007, SettingsLayout::Rules},
        {0x01000B, 0, SettingsLayout::Rules},     {0x01000A, 0x010009, SettingsLayout::Basic},
        {0, 0x010007, SettingsLayout::Login},     {0, 0x010006, SettingsLayout::Rules},
        {0, 0x010005, SettingsLayout::Rules},     {0, 0x010004, SettingsLayout::Basic},
        {0, 0, SettingsLayout::Basic},            {0x020000, 0, SettingsLayout::Login},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseLayout(c.firm, c.boot), c.layout) << std::hex << c.firm << " " << c.boot;
}

TEST(Reply, LengthAndChecksumPlaceFollowTheVersions)
{
    const struct {
        const char* boot;
        const char* firm;
        int length;
        SettingsLayout layout;
        const char* firmText;
    } cases[] = {
        {"01 00 04", "01 00 11", 432, SettingsLayout::Login, "1.0.17"},
        {"01 00 04", "01 00 10", 240, SettingsLayout::Rules, "1.0.16"},
        {"01 00 07", "00 00 00", 432, SettingsLayout::Login, "Erased"},
        {"01 00 05", "00 00 00", 240, SettingsLayout::Rules, "Erased"},
        {"01 00 04", "00 00 00", 64, SettingsLayout::Basic, "Erased"},
    };
    for (const auto& c : cases) {
        const QByteArray r = reply(c.length, c.boot, c.firm);
        const auto decoded = DecodeSettingsReply(r);
        ASSERT_TRUE(decoded);
        EXPECT_TRUE(decoded->checksumOk) << c.firm;
        EXPECT_EQ(decoded->layout, c.layout);
        EXPECT_EQ(decoded->FirmVer, QString::fromLatin1(c.firmText));
        // One byte short of the layout: the checksum is out of reach, so the reply is refused.
        EXPECT_FALSE(DecodeSettingsReply(r.left(c.length - 1))->checksumOk);
    }
}

TEST(Reply, AllZeroBasicReply)
{
    QByteArray r(64, '\0');
    r[0] = 'X';
    r[1] = 'Q';
    r[62] = '\xFF';
    r[63] = '\x56';
    const auto decoded = DecodeSettingsReply(r);
    ASSERT_TRUE(decoded && decoded->checksumOk);
    EXPECT_EQ(decoded->layout, SettingsLayout::Basic);
    EXPECT_FALSE(decoded->DHCP);
    EXPECT_EQ(decoded->IPAddr, QStringLiteral("0.0.0.0"));
    EXPECT_EQ(decoded->SubnetMask, QStringLiteral("0.0.0.0"));
    EXPECT_EQ(decoded->Gateway, QStringLiteral("0.0.0.0"));
    EXPECT_EQ(decoded->NetName, QString());
    EXPECT_EQ(decoded->IPPort, 0);
    EXPECT_EQ(decoded->HdweVer, QStringLiteral("0.0"));
    EXPECT_EQ(decoded->BootVer, QStringLiteral("0.0.0"));
    EXPECT_EQ(decoded->FirmVer, QStringLiteral("Erased"));
}

TEST(Reply, RefusedChecksums)
{
    QByteArray good(64, '\0');
    good[0] = 'X';
    good[1] = 'Q';
    fixChecksum(good);
    QByteArray offByOne = good;
    offByOne[63] = char(quint8(offByOne[63]) + 1); // sum + checksum = 65536
    QByteArray highByte = good;
    highByte[62] = char(quint8(highByte[62]) ^ 1);
    // 64 bytes whose firmware bytes select Login: the checksum at 430 does not exist.
    QByteArray loginShort = good;
    loginShort.replace(59, 3, hex("01 00 11"));
    fixChecksum(loginShort);

    EXPECT_TRUE(DecodeSettingsReply(good)->checksumOk);
    for (const QByteArray& r : {offByOne, highByte, loginShort}) {
        const auto decoded = DecodeSettingsReply(r);
        ASSERT_TRUE(decoded);
        EXPECT_FALSE(decoded->checksumOk);
        DeviceSettings s = sample();
        ApplyReply(s, *decoded);
        EXPECT_EQ(s, sample());
    }
    EXPECT_EQ(DecodeSettingsReply(good.left(63)), std::nullopt);
}

TEST(Reply, FieldsOfEachLayoutMatchTheDeviceModel)
{
    for (auto preset : {talixsim::Preset::Basic, talixsim::Preset::Rules, talixsim::Preset::Login}) {
        talixsim::DeviceState device = talixsim::makeDevice(4, preset);
        device.name = QStringLiteral("ABC");
        device.dhcp = true;
        device.baud = 1234; // not an offered rate
        device.handshaking = 1;
        device.rules[0] = {0x0A000001, 0xFFFF, 3, 0};
        device.rules[1] = {0x0A000002, 0x8000, 1, -5};
        device.rules[2] = {0x0A000003, 0, 3, 0}; // port 0: not in use
        device.userPrompt = QStringLiteral("User:");
        device.password = QStringLiteral("secret");
        const auto decoded = DecodeSettingsReply(talixsim::settingsReply(device));
        ASSERT_TRUE(decoded && decoded->checksumOk);
        EXPECT_EQ(decoded->NetName, QStringLiteral("ABC"));
        EXPECT_EQ(decoded->IPAddr, talixsim::ipToText(device.ip));
        EXPECT_EQ(decoded->IPPort, device.tcpPort);
        EXPECT_TRUE(decoded->DHCP);
        EXPECT_EQ(decoded->HdweVer, QStringLiteral("1.2"));

        DeviceSettings s = sample();
        s.UDPPort = 77;
        s.Rules.OutRules[5] = {QStringLiteral("9.9.9.9"), 99, 1, 0};
        s.Rules.OutCount = 1;
        s.Username = QStringLiteral("kept");
        ApplyReply(s, *decoded);
        EXPECT_EQ(s.BaudRate, 9600); // 1234 leaves the old choice
        EXPECT_EQ(s.Handshaking, 1);
        if (preset == talixsim::Preset::Basic) {
            EXPECT_EQ(s.UDPPort, 77);
            EXPECT_EQ(s.Rules.OutRules[5].Port, 99);
            EXPECT_EQ(s.Rules.OutCount, 1);
            EXPECT_EQ(s.Username, QStringLiteral("kept"));
            continue;
        }
        EXPECT_EQ(s.UDPPort, device.udpPort);
        EXPECT_EQ(s.Rules.OutRules[1], (OutCnctRule{QStringLiteral("10.0.0.1"), 65535, 3, 0}));
        EXPECT_EQ(s.Rules.OutRules[2], (OutCnctRule{QStringLiteral("10.0.0.2"), 32768, 1, -5}));
        EXPECT_EQ(RuleDescription(s.Rules.OutRules[3]), QString());
        EXPECT_EQ(s.Rules.OutRules[5].Port, 0); // replaced by the device's slot
        EXPECT_EQ(s.Rules.OutCount, 2);
        if (preset == talixsim::Preset::Rules) {
            EXPECT_EQ(s.Username, QStringLiteral("kept"));
        } else {
            EXPECT_EQ(s.UserPrompt, QStringLiteral("User:"));
            EXPECT_EQ(s.Password, QStringLiteral("secret"));
        }
    }
}

TEST(Reply, DecodedIntoAKeptReplyAsIfFresh)
{
    // Layouts in turn into one reply: nothing of the one before may survive, and a copy taken
    // before (sharing its strings) keeps what it had.
    SettingsReply kept;
    SettingsReply previous;
    int n = 0;
    for (auto preset : {talixsim::Preset::Login, talixsim::Preset::Basic, talixsim::Preset::Rules,
                        talixsim::Preset::Login}) {
        talixsim::DeviceState device = talixsim::makeDevice(n * 100, preset);
        device.name = QString(16 - 5 * n++, QLatin1Char('n'));
        const QByteArray bytes = talixsim::settingsReply(device);
        const SettingsReply copy = kept;
        ASSERT_TRUE(DecodeSettingsReply(bytes, kept));
        EXPECT_EQ(kept, *DecodeSettingsReply(bytes)) << n;
        EXPECT_EQ(copy, previous) << n;
        previous = *DecodeSettingsReply(bytes);
    }
    EXPECT_FALSE(DecodeSettingsReply(QByteArray(63, 'X'), kept));
    EXPECT_EQ(kept, previous);
}

TEST(Fields, PortsAndBaudRates)
{
    const struct {
        QString text;
        std::optional<quint16> port;
    } ports[] = {
        {QStringLiteral("0"), 0},          {QStringLiteral(" 65535 "), 65535}, {QStringLiteral("65536"), std::nullopt},
        {QStringLiteral(""), std::nullopt}, {QStringLiteral("1.5"), std::nullopt}, {QStringLiteral("-1"), std::nullopt},
        {QStringLiteral("80a"), std::nullopt},
    };
    for (const auto& p : ports)
        EXPECT_EQ(ParsePort(p.text), p.port) << p.text.toStdString();
    EXPECT_EQ(BaudRateIndex(300), 0);
    EXPECT_EQ(BaudRateIndex(115200), 8);
    EXPECT_EQ(BaudRateIndex(1234), -1);
    EXPECT_EQ(BaudRateIndex(0), -1);
}

// Nothing the device cannot hold is sent: no value is cut to its low bits, replaced by 0 or "?",
// or shortened to its field.
TEST(Check, RefusesWhatTheDeviceCannotHold)
{
    const QString rule1 = QStringLiteral("Outgoing Connections, rule 1");
    const QString udp = QStringLiteral("Port to listen for UDP packets");
    const struct {
        const char* name;
        std::function<void(SettingsEntry&, DeviceSettings&)> edit;
        SettingsLayout layout;
        QString field; // empty: sent
    } cases[] = {
        {"as read", [](auto&, auto&) {}, SettingsLayout::Login, {}},
        {"TCP port 65536", [](auto& e, auto&) { e.IPPort = "65536"; }, SettingsLayout::Basic, "TCP Port to accept connections"},
        {"TCP port 80.5", [](auto& e, auto&) { e.IPPort = "80.5"; }, SettingsLayout::Basic, "TCP Port to accept connections"},
        {"UDP port 100000", [](auto& e, auto&) { e.UDPPort = "100000"; }, SettingsLayout::Rules, udp},
        {"UDP port abc", [](auto& e, auto&) { e.UDPPort = "abc"; }, SettingsLayout::Rules, udp},
        {"UDP port, not carried", [](auto& e, auto&) { e.UDPPort = "abc"; }, SettingsLayout::Basic, {}},
        {"DHCP: addresses not judged", [](auto& e, auto&) { e.Gateway = "none"; }, SettingsLayout::Basic, {}},
        {"static mask", [](auto& e, auto&) { e = {false, "10.0.0.2", "255.255.255.0.", "10.0.0.1", "1", 4, 0, "2"}; },
         SettingsLayout::Basic, "Subnet Mask"},
        {"rule port 70000", [](auto&, auto& s) { s.Rules.OutRules[1].Port = 70000; }, SettingsLayout::Rules, rule1},
        {"rule port -1", [](auto&, auto& s) { s.Rules.OutRules[1].Port = -1; }, SettingsLayout::Rules, rule1},
        {"rule port, not carried", [](auto&, auto& s) { s.Rules.OutRules[1].Port = 70000; }, SettingsLayout::Basic, {}},
        {"rule address", [](auto&, auto& s) { s.Rules.OutRules[1].IPAddr = "not.an.ip"; }, SettingsLayout::Rules, rule1},
        {"rule 12 address", [](auto&, auto& s) { s.Rules.OutRules[12].IPAddr = "127.0.0.010"; }, SettingsLayout::Rules,
         "Outgoing Connections, rule 12"},
        {"rule inactivity 3601", [](auto&, auto& s) { s.Rules.OutRules[1].IdleSecs = 3601; }, SettingsLayout::Rules, rule1},
        {"rule inactivity -1", [](auto&, auto& s) { s.Rules.OutRules[1].IdleSecs = -1; }, SettingsLayout::Login, rule1},
        {"free slot's inactivity", [](auto&, auto& s) { s.Rules.OutRules[2].IdleSecs = -1; }, SettingsLayout::Login, {}},
        {"password with a euro", [](auto&, auto& s) { s.Password = QString::fromUtf8("pw\u20ac"); }, SettingsLayout::Login,
         "Password"},
        {"password, not carried", [](auto&, auto& s) { s.Password = QString::fromUtf8("pw\u20ac"); }, SettingsLayout::Rules, {}},
        {"Latin-1 user name", [](auto&, auto& s) { s.Username = QString::fromUtf8("J\u00f8rn"); }, SettingsLayout::Login, {}},
        {"name of 17", [](auto&, auto& s) { s.NetName = QString(17, u'n'); }, SettingsLayout::Basic, "Device Name"},
        {"name of 16 and blanks", [](auto&, auto& s) { s.NetName = QString(16, u'n') + "  "; }, SettingsLayout::Basic, {}},
        {"user prompt of 33", [](auto&, auto& s) { s.UserPrompt = QString(33, u'u'); }, SettingsLayout::Login,
         "Prompt for User Name"},
    };
    for (const auto& c : cases) {
        SettingsEntry entry{true, {}, {}, {}, "10001", 4, 0, "10002"};
        DeviceSettings settings = sample();
        settings.Rules.OutRules[1] = {"10.0.0.1", 23, OUT_TCP, 60};
        c.edit(entry, settings);
        const std::optional<InvalidSetting> invalid = CheckSettings(entry, settings, c.layout);
        EXPECT_EQ(invalid ? invalid->field : QString(), c.field) << c.name;
    }
}
