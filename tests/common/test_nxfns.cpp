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

TEST(IsValidIP, NumericRule)
{
    struct Case {
        const char* text;
        bool valid;
    } cases[] = {
        {"192.168.1.1", true},   {"192.168.1", false}, {".1.2.3", false},    {"1..2.3", false},
        {"256.1.1.1", false},    {"1.2.3.", false},    {"-0.1.2.3", true},   {"1.2.3.4.5", true},
        {" 10 . 0.0.1 ", true},  {"+1.2.3.4", true},   {"1.2.3.255.5", false}, {"1.2.3.-1", false},
        {"a.b.c.d", false},      {"", false},          {"0.0.0.0", true},    {"255.255.255.255", true},
        {"1.2.3.4 5", false},    {"1e2.1.1.1", false}, {"0x1.1.1.1", false}, {"1,5.1.1.1", false},
        {"10.0.0", false},       {"300.1.1.1", false}, {"1.2.3.4.", true},   {"1.2.3..5", true},
        {"001.02.3.0255", true}, {"1.2.3.256", false}, {"1.2.3.0256", false}, {"1.2.3.4\t", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsValidIP(QString::fromLatin1(c.text)), c.valid) << c.text;
}

TEST(IPToBytes, RoundsHalfToEvenAndZeroesInvalidText)
{
    struct Case {
        const char* text;
        std::array<int, 4> expected;
    } cases[] = {
        {"192.168.1.20", {192, 168, 1, 20}},
        {"1.2.3.4.5", {1, 2, 3, 4}},
        {"1.2.3.5.5", {1, 2, 3, 6}},
        {"0.5.1.5.2.5", {0, 0, 0, 0}}, // splits as 0 | 5 | 1 | 5.2.5, which is not numeric
        {"10.0.0.300", {0, 0, 0, 0}},
        {"-0.1.2.3", {0, 1, 2, 3}},
        {"garbage", {0, 0, 0, 0}},
        {"254.5.0.0", {254, 5, 0, 0}},
        {"001.02.3.0255", {1, 2, 3, 255}}, // leading zeros, short and long
    };
    for (const auto& c : cases) {
        quint8 b1 = 9, b2 = 9, b3 = 9, b4 = 9;
        IPToBytes(QString::fromLatin1(c.text), b1, b2, b3, b4);
        EXPECT_EQ((std::array<int, 4>{b1, b2, b3, b4}), c.expected) << c.text;
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
