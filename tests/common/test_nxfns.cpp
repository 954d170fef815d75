#include "nxfns.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <tuple>

using namespace brevion;

TEST(NxFns, BytesToTextKeepsPrintableLowSevenBits)
{
    const std::tuple<QByteArray, qint16, qint16, QString> cases[] = {
        {QByteArray("H\0\xE9\x7Fi", 5), 0, 5, "Hii"}, {"\xC1 ~\x1F", 0, 4, "A ~"},
        {QByteArray(32, 'a'), 16, 16, QString(16, 'a')}, {QByteArray(32, 'a'), 17, 16, ""}, // past the end
        {"A", 0, 0, ""}, {"A", -1, 2, ""},
    };
    for (const auto& [data, first, count, text] : cases)
        EXPECT_EQ(BytesToText(data, first, count), text) << first << "," << count;
}

// Only plain dotted decimal is an address: every other form the system's own reading accepts
// (octal, short forms, a trailing dot) names another device than the one the user meant.
TEST(NxFns, AddressesOnlyFourPlainDecimalParts)
{
    const std::pair<const char*, std::optional<quint32>> cases[] = {
        {"192.168.1.20", 0xC0A80114}, {"0.0.0.0", 0},       {"255.255.255.255", 0xFFFFFFFF}, {"127.0.0.010", {}},
        {"127.1", {}},                {"127.0.0.2.", {}},   {"127.00.0.1", {}},  {"127.0.0.0x1", {}},
        {"127.0.0.256", {}},          {"1270.0.0.1", {}},   {" 127.0.0.1", {}},  {"127.0.0.1 ", {}},
        {"+127.0.0.1", {}},           {"127.0.0.-1", {}},   {"127..0.1", {}},    {"", {}},
    };
    for (const auto& [text, address] : cases) {
        EXPECT_EQ(IsValidIP(text), address.has_value()) << text;
        quint8 b[4] = {9, 9, 9, 9};
        IPToBytes(text, b[0], b[1], b[2], b[3]);
        EXPECT_EQ(quint32(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3], address.value_or(0)) << text;
    }
    for (auto [in, out] : {std::pair{4.5, 4.0}, {5.5, 6.0}, {2.5001, 3.0}, {-1.5, -2.0}, {254.5, 254.0}})
        EXPECT_EQ(RoundHalfEven(in), out) << in;
    for (auto [value, bytes] : {std::pair{-1, 0xFFFFFFFFu}, {2362, 0x93Au}, {INT32_MIN, 0x80000000u}}) {
        quint8 b[4];
        LongToBytes(value, b[0], b[1], b[2], b[3]);
        EXPECT_EQ(quint32(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3], bytes) << value;
    }
}

TEST(NxFns, RuleSentences)
{
    const std::pair<OutCnctRule, QString> cases[] = {
        {{"192.168.1.20", 23, 7, 30},
         "Connect to 192.168.1.20, Port 23, using TCP upon powerup or reboot. Login with the specified username/password "
         "when prompted. Remain connected until 30 seconds of inactivity."},
        {{"192.168.1.20", 23, 3, 0},
         "Connect to 192.168.1.20, Port 23, using TCP upon powerup or reboot. Remain connected indefinitely."},
        {{"  10.0.0.1 ", 5000, 0xF8, 0},
         "Connect to 10.0.0.1, Port 5000, using UDP when incoming data is detected on the serial port. Remain connected "
         "indefinitely."},
        {{"10.0.0.1", 0, 7, 30}, ""}, {{"", 23, 7, 30}, ""},
    };
    for (const auto& [rule, sentence] : cases)
        EXPECT_EQ(RuleDescription(rule), sentence);
}

TEST(NxFns, RuleTableSlotsAndRemoval)
{
    OutRuleTable t;
    EXPECT_EQ(t.FirstFreeSlot(), 1);
    for (int n = 1; n <= MaxOutRules; ++n)
        t.OutRules[n] = {QStringLiteral("10.0.0.%1").arg(n), n, quint8(n % 8), n};
    EXPECT_EQ(t.FirstFreeSlot(), 0);
    t.RemoveSlot(3); // the slots above move down one; the last is freed
    EXPECT_EQ(std::tuple(t.OutRules[2].Port, t.OutRules[3].Port, t.OutRules[11].Port), std::tuple(2, 4, 12));
    EXPECT_EQ(t.OutRules[12], EmptyRule());
    EXPECT_EQ(EmptyRule(), (OutCnctRule{"", 0, 3, 0}));
    t.OutRules[5].Port = 0; // no port: not in use
    EXPECT_EQ(t.CountInUse(), 10);
    EXPECT_EQ(t.FirstFreeSlot(), 5);
    const OutRuleTable before = t;
    t.RemoveSlot(0);
    t.RemoveSlot(13);
    EXPECT_EQ(t, before);
}

TEST(NxFns, BrowseForFolderStartsAtAnExistingFolderAndCutsAtNul)
{
    QTemporaryDir dir;
    QString start;
    const FolderBrowser browser = [&](const QString&, const QString& s) {
        start = s;
        return QStringLiteral("/chosen") + QChar(0) + QStringLiteral("junk");
    };
    EXPECT_EQ(BrowseForFolder(browser, "t", dir.path()), "/chosen");
    EXPECT_EQ(start, dir.path());
    BrowseForFolder(browser, "t", dir.path() + "/missing");
    EXPECT_EQ(start, "");
}
