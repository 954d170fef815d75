#include "nxfns.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

using namespace brevion;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(static_cast<char>(v));
    return b;
}

TEST(BytesToText, KeepsPrintableLowSevenBits)
{
    struct Case {
        QByteArray data;
        qint16 first, count;
        QString expected;
    } cases[] = {
        {bytes({0x48, 0x00, 0xE9, 0x7F, 0x69}), 0, 5, "Hii"},
        {QByteArray(32, 'a'), 17, 16, ""},         // last index 32 is past the end
        {QByteArray(32, 'a'), 16, 16, QString(16, 'a')},
        {bytes({0xC1, 0x20, 0x7E, 0x1F}), 0, 4, "A ~"},
        {bytes({0x41}), 0, 0, ""},
        {bytes({0x41}), -1, 2, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BytesToText(c.data, c.first, c.count), c.expected) << c.first << "," << c.count;
}

// Only plain dotted decimal is an address: every other form the system's own reading accepts
// (octal, short forms, a trailing dot) names another device than the one the user meant.
TEST(IsValidIP, OnlyFourPlainDecimalParts)
{
    const std::pair<const char*, std::optional<quint32>> cases[] = {
        {"192.168.1.20", 0xC0A80114}, {"0.0.0.0", 0},         {"255.255.255.255", 0xFFFFFFFF},
        {"127.0.0.010", {}},          {"127.1", {}},          {"127.0.0.2.", {}},
        {"127.00.0.1", {}},           {"127.0.0.0x1", {}},    {"127.0.0.256", {}},
        {"1270.0.0.1", {}},           {" 127.0.0.1", {}},     {"127.0.0.1\t", {}},
        {"+127.0.0.1", {}},           {"127.0.0.-1", {}},     {"127..0.1", {}},
        {"127.0.0.1.5", {}},          {"127.0.0.1 ", {}},    {"", {}},
    };
    for (const auto& [text, address] : cases) {
        const QString t = QString::fromLatin1(text);
        EXPECT_EQ(ParseIPv4(t), address) << text;
        EXPECT_EQ(IsValidIP(t), address.has_value()) << text;
        quint8 b[4] = {9, 9, 9, 9};
        IPToBytes(t, b[0], b[1], b[2], b[3]);
        EXPECT_EQ(quint32(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3], address.value_or(0)) << text;
    }
}

TEST(RoundHalfEven, Halves)
{
    const std::pair<double, double> cases[] = {{4.5, 4}, {5.5, 6}, {0.5, 0}, {1.5, 2}, {2.4999, 2},
                                               {2.5001, 3}, {-0.5, 0}, {-1.5, -2}, {254.5, 254}};
    for (const auto& [in, out] : cases)
        EXPECT_EQ(RoundHalfEven(in), out) << in;
}

TEST(LongToBytes, TwosComplementBigEndian)
{
    const std::pair<qint32, std::array<int, 4>> cases[] = {
        {-1, {0xFF, 0xFF, 0xFF, 0xFF}},
        {2362, {0x00, 0x00, 0x09, 0x3A}},
        {0, {0, 0, 0, 0}},
        {INT32_MIN, {0x80, 0, 0, 0}},
        {3600, {0, 0, 0x0E, 0x10}},
    };
    for (const auto& [value, expected] : cases) {
        quint8 b1, b2, b3, b4;
        LongToBytes(value, b1, b2, b3, b4);
        EXPECT_EQ((std::array<int, 4>{b1, b2, b3, b4}), expected) << value;
    }
}

TEST(RuleDescription, Sentences)
{
    struct Case {
        OutCnctRule rule;
        QString expected;
    } cases[] = {
        {{"192.168.1.20", 23, 7, 30},
         "Connect to 192.168.1.20, Port 23, using TCP upon powerup or reboot. Login with the "
         "specified username/password when prompted. Remain connected until 30 seconds of "
         "inactivity."},
        {{"192.168.1.20", 23, 3, 0},
         "Connect to 192.168.1.20, Port 23, using TCP upon powerup or reboot. Remain connected "
         "indefinitely."},
        {{"10.0.0.1", 5000, 0, 0},
         "Connect to 10.0.0.1, Port 5000, using UDP when incoming data is detected on the serial "
         "port. Remain connected indefinitely."},
        {{"  10.0.0.1 ", 1, 0xF8 | 1, -5},
         "Connect to 10.0.0.1, Port 1, using TCP when incoming data is detected on the serial "
         "port. Remain connected until -5 seconds of inactivity."},
        {{"10.0.0.1", 0, 7, 30}, ""},
        {{"", 23, 7, 30}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RuleDescription(c.rule), c.expected);
}

TEST(RuleTable, EmptyValueAndSlotsInUse)
{
    EXPECT_EQ(EmptyRule(), (OutCnctRule{"", 0, 3, 0}));
    OutRuleTable table;
    EXPECT_EQ(table.FirstFreeSlot(), 1);
    table.OutRules[2] = {"1.2.3.4", 80, 1, 0};
    table.OutRules[5] = {"1.2.3.4", 0, 1, 0}; // no port: not in use
    EXPECT_EQ(table.CountInUse(), 1);
    EXPECT_EQ(table.FirstFreeSlot(), 1);
    for (int s = 1; s <= MaxOutRules; ++s)
        table.OutRules[s] = {"1.2.3.4", s, 1, 0};
    EXPECT_EQ(table.FirstFreeSlot(), 0);
}

TEST(BrowseForFolder, StartsAtExistingFolderOnlyAndCutsAtNul)
{
    QTemporaryDir dir;
    QString seenStart;
    const FolderBrowser browser = [&](const QString&, const QString& start) {
        seenStart = start;
        return QStringLiteral("/chosen") + QChar(0) + QStringLiteral("junk");
    };
    EXPECT_EQ(BrowseForFolder(browser, "t", dir.path()), "/chosen");
    EXPECT_EQ(seenStart, dir.path());
    EXPECT_EQ(BrowseForFolder(browser, "t", dir.path() + "/missing"), "/chosen");
    EXPECT_EQ(seenStart, "");
    EXPECT_EQ(BrowseForFolder([](const QString&, const QString&) { return QString(); }, "t", "/"), "");
}

} // namespace
