// Reply parsing, the device list and the targets of a search.
#include "discovery/devicelist.h"
#include "discovery/discoveryreply.h"
#include "discovery/searchtarget.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace brevion;

namespace {

// A well-formed reply: token, MAC, IP, two bytes, the 16-byte name, then filler to `size`.
QByteArray Reply(const QByteArray& name, int size = 33, const char* macIp = "001A2B3C4D5EC0A80105")
{
    return ("K9ZEV" + QByteArray::fromHex(macIp) + "ww" + name.leftJustified(16, '\0', true))
        .leftJustified(size, '\xEE');
}

QString Ips(const DeviceList& list)
{
    QStringList ips;
    for (const DiscoveredDevice& d : list.Entries())
        ips << d.ip;
    return ips.join(' ');
}

} // namespace

TEST(DiscoveryReply, AcceptedRepliesAndTheirTexts)
{
    QByteArray highBit = Reply("x"), lower = Reply("x"), control = Reply("x");
    highBit[0] = char('K' | 0x80); // low 7 bits still read "K"
    lower.replace(0, 5, "k9zev");
    control[2] = '\x01'; // dropped by the text filter: "K9EV"
    const std::pair<QByteArray, bool> cases[] = {
        {Reply("x", 33), true}, {Reply("x", 300), true}, {highBit, true}, {Reply("x").left(32), false},
        {"ZEVID", false},       {lower, false},         {control, false}, {" " + Reply("x").left(32), false},
    };
    for (const auto& [datagram, accepted] : cases)
        EXPECT_EQ(ParseDiscoveryReply(datagram).has_value(), accepted) << datagram.toHex().toStdString();

    const std::tuple<QByteArray, const char*, const char*, const char*> texts[] = {
        {"Pump room", "001A2B3C4D5EC0A80105", "00:1A:2B-3C:4D:5E 192.168.1.5", "Pump room"},
        {"ABCDEFGHIJKLMNOPQ", "FFFFFFFFFFFFFFFFFFFF", "FF:FF:FF-FF:FF:FF 255.255.255.255", "ABCDEFGHIJKLMNOP"},
        {"  Line  2  ", "0102030A0B0C0A00000A", "01:02:03-0A:0B:0C 10.0.0.10", "Line  2"},
        {"\xC1\xE2\t\x7F" "c", "001A2B3C4D5EC0A80105", "00:1A:2B-3C:4D:5E 192.168.1.5", "Abc"},
    };
    DiscoveredDevice kept; // parsed into in turn: nothing of a longer text left over
    for (const auto& [name, macIp, identity, text] : texts) {
        const auto device = ParseDiscoveryReply(Reply(name, 40, macIp)); // 0xEE past the name: "n"
        ASSERT_TRUE(device && ParseDiscoveryReply(Reply(name, 33, macIp), kept));
        EXPECT_EQ(kept, *device);
        EXPECT_EQ(device->mac + " " + device->ip, identity);
        EXPECT_EQ(device->name, text);
    }
}

TEST(DeviceList, OnePerMacSortedByIpTextDuplicatesMarked)
{
    DeviceList list;
    const std::tuple<const char*, const char*, int> adds[] = {
        {"A", "10.0.0.9", 0}, {"B", "192.168.1.5", 1}, {"C", "10.0.0.10", 0}, {"A", "10.0.0.1", -1},
        {"a", "10.0.0.9", 1}, {"D", "9", 4}, // case matters; a shared address: the newest first
    };
    for (const auto& [mac, ip, index] : adds)
        EXPECT_EQ(list.Add({mac, mac, ip}), index) << mac << " " << ip;
    EXPECT_EQ(list.At(1).mac, "a");
    EXPECT_EQ(Ips(list), "10.0.0.10 10.0.0.9 10.0.0.9 192.168.1.5 9");
    EXPECT_TRUE(list.MarkDuplicates());
    EXPECT_TRUE(list.MarkDuplicates()); // once marked, marked once
    EXPECT_EQ(Ips(list), "10.0.0.10 * 10.0.0.9 * * 10.0.0.9 * 192.168.1.5 9");
    EXPECT_EQ(UnmarkedIP(list.At(1).ip), "10.0.0.9");
    // The fleet's view: every address, a: shares its address, m: its MAC answered elsewhere too.
    for (const char* ip : {"10.0.0.1", "10.0.0.9", "9"}) // again, its own, a third
        EXPECT_EQ(list.Add({"A", "A", ip}), -1);
    QStringList answers;
    for (const DeviceAnswer& a : list.Answers())
        answers << a.device.mac + " " + a.device.ip + (a.sharedAddress ? " a" : "") + (a.sharedMac ? " m" : "");
    EXPECT_EQ(answers.join(", "), "A 10.0.0.1 m, C 10.0.0.10, a 10.0.0.9 a, A 10.0.0.9 a m, B 192.168.1.5, A 9 a m, D 9 a");
    list.Clear();
    EXPECT_EQ(list.Add({"A", "A", "10.0.0.1"}), 0); // a new search lists it again
    EXPECT_EQ(list.Add({"B", "B", "10.0.0.10"}), 1);
    EXPECT_FALSE(list.MarkDuplicates()); // a prefix is no duplicate
}

TEST(SearchTarget, ReadStrictlyAndExpandedToHostAddresses)
{
    // text -> "first count", or the start of the words that refuse it
    const std::pair<const char*, const char*> cases[] = {
        {"10.1.2.30", "10.1.2.30 1"},      {" 10.1.2.255 ", "10.1.2.255 1"}, {"10.1.2.0/24", "10.1.2.1 254"},
        {"10.1.2.77/24", "10.1.2.1 254"},  {"10.1.0.0/16", "10.1.0.1 65534"}, {"10.1.2.7/31", "10.1.2.6 2"},
        {"10.1.2.7/32", "10.1.2.7 1"},     {"127.0.0.010", "\"127.0.0.010\" is not"}, {"127.1", "\"127.1\" is not"},
        {"10.1.2.0/33", "\"10.1.2.0/33\" is not"}, {"10.1.2.0/024", "\"10.1.2.0/024\" is not"},
        {"10.1.2.0/", "\"10.1.2.0/\" is not"}, {"/24", "\"/24\" is not"}, {"10.1.2.0/2a", "\"10.1.2.0/2a\" is not"},
        {"10.0.0.0/15", "\"10.0.0.0/15\" is too large"}, {"127.0.0.0/8", "\"127.0.0.0/8\" is too large"},
        {"0.0.0.0/0", "\"0.0.0.0/0\" is too large"},
    };
    for (const auto& [text, expected] : cases) {
        QString problem;
        const std::optional<SearchTarget> t = ParseSearchTarget(text, &problem);
        const quint32 a = t ? t->first : 0;
        const QString got =
            t ? QStringLiteral("%1.%2.%3.%4 %5").arg(a >> 24).arg(a >> 16 & 255).arg(a >> 8 & 255).arg(a & 255).arg(t->count)
              : problem;
        EXPECT_TRUE(got.startsWith(expected)) << text << " -> " << got.toStdString();
    }
    // Overlapping targets: each address once, in order.
    const std::vector<quint32> addresses =
        SearchAddresses({*ParseSearchTarget("10.0.0.9"), *ParseSearchTarget("10.0.0.4/30"), *ParseSearchTarget("10.0.0.5")});
    EXPECT_EQ(addresses, (std::vector<quint32>{0x0A000005, 0x0A000006, 0x0A000009}));

    QStringList recent;
    for (int i = 0; i < 12; ++i)
        recent = RememberTarget(recent, QStringLiteral("10.0.0.%1").arg(i));
    recent = RememberTarget(recent, "10.0.0.5");
    EXPECT_EQ(recent.join(' '), "10.0.0.5 10.0.0.11 10.0.0.10 10.0.0.9 10.0.0.8 10.0.0.7 10.0.0.6 10.0.0.4 10.0.0.3 10.0.0.2");
}
