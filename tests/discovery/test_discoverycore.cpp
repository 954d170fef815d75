// Reply parsing and the device list.
#include "devicelist.h"
#include "discoveryreply.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace brevion;

namespace {

// A well-formed reply of `size` bytes (at least 33).
QByteArray Reply(const QByteArray& mac, const QByteArray& ip, const QByteArray& name, int size = 33)
{
    QByteArray bytes = QByteArrayLiteral("K9ZEV") + mac + ip + QByteArray(2, '\x77');
    QByteArray field = name.left(16);
    field.append(QByteArray(16 - field.size(), '\0'));
    bytes += field;
    while (bytes.size() < size)
        bytes.append('\xEE');
    return bytes;
}

const QByteArray kMac = QByteArray::fromHex("001A2B3C4D5E");
const QByteArray kIp = QByteArray::fromHex("C0A80105");

DiscoveredDevice Device(const QString& mac, const QString& ip, const QString& name = QString())
{
    return {name, mac, ip};
}

std::vector<QString> Ips(const DeviceList& list)
{
    std::vector<QString> ips;
    for (const DiscoveredDevice& d : list.Entries())
        ips.push_back(d.ip);
    return ips;
}

} // namespace

TEST(DiscoveryReply, WorkedExample)
{
    const auto device = ParseDiscoveryReply(Reply(kMac, kIp, "Pump room"));
    ASSERT_TRUE(device);
    EXPECT_EQ(device->mac, "00:1A:2B-3C:4D:5E");
    EXPECT_EQ(device->ip, "192.168.1.5");
    EXPECT_EQ(device->name, "Pump room");
}

TEST(DiscoveryReply, AcceptsOrRejects)
{
    QByteArray lowerToken = Reply(kMac, kIp, "x");
    lowerToken.replace(0, 5, "k9zev");
    QByteArray controlInToken = Reply(kMac, kIp, "x");
    controlInToken[2] = '\x01'; // dropped by the text filter: "K9EV"
    QByteArray shiftedToken = " " + Reply(kMac, kIp, "x");
    QByteArray highBitToken = Reply(kMac, kIp, "x");
    highBitToken[0] = static_cast<char>('K' | 0x80); // low 7 bits still read "K"
    QByteArray paddedToken = Reply(kMac, kIp, "x");
    paddedToken.replace(0, 5, " K9ZE"); // trimmed "K9ZE"

    const struct {
        const char* what;
        QByteArray datagram;
        bool accepted;
    } cases[] = {
        {"exactly 33 bytes", Reply(kMac, kIp, "x", 33), true},
        {"32 bytes", Reply(kMac, kIp, "x", 33).left(32), false},
        {"longer, tail ignored", Reply(kMac, kIp, "x", 300), true},
        {"the request itself", QByteArrayLiteral("ZEVID"), false},
        {"empty", QByteArray(), false},
        {"token in lower case", lowerToken, false},
        {"non-printable byte in token", controlInToken, false},
        {"token behind a space", shiftedToken.left(33), false},
        {"token byte with high bit set", highBitToken, true},
        {"token of four letters", paddedToken, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseDiscoveryReply(c.datagram).has_value(), c.accepted) << c.what;
}

TEST(DiscoveryReply, Texts)
{
    const struct {
        const char* what;
        QByteArray mac, ip, name;
        const char *macText, *ipText, *nameText;
    } cases[] = {
        {"all zero", QByteArray(6, '\0'), QByteArray(4, '\0'), QByteArray(), "00:00:00-00:00:00",
         "0.0.0.0", ""},
        {"all ones", QByteArray(6, '\xFF'), QByteArray(4, '\xFF'), "ABCDEFGHIJKLMNOP",
         "FF:FF:FF-FF:FF:FF", "255.255.255.255", "ABCDEFGHIJKLMNOP"},
        {"small bytes padded", QByteArray::fromHex("0102030A0B0C"), QByteArray::fromHex("0A00000A"),
         "a", "01:02:03-0A:0B:0C", "10.0.0.10", "a"},
        {"spaces trimmed, inner kept", kMac, kIp, "  Line  2  ", "00:1A:2B-3C:4D:5E", "192.168.1.5",
         "Line  2"},
        {"high bit dropped", kMac, kIp, "\xC1\xE2", "00:1A:2B-3C:4D:5E", "192.168.1.5", "Ab"},
        {"controls dropped", kMac, kIp,
         "a\tb\x7F"
         "c",
         "00:1A:2B-3C:4D:5E", "192.168.1.5", "abc"},
    };
    DiscoveredDevice kept; // parsed into in turn: texts of every length, nothing left over
    for (const auto& c : cases) {
        // Bytes past the name field (0xEE reads as "n") must not reach the name.
        const auto device = ParseDiscoveryReply(Reply(c.mac, c.ip, c.name, 40));
        ASSERT_TRUE(device) << c.what;
        ASSERT_TRUE(ParseDiscoveryReply(Reply(c.mac, c.ip, c.name), kept));
        EXPECT_EQ(kept, *device) << c.what;
        EXPECT_EQ(device->mac, QString::fromLatin1(c.macText)) << c.what;
        EXPECT_EQ(device->ip, QString::fromLatin1(c.ipText)) << c.what;
        EXPECT_EQ(device->name, QString::fromLatin1(c.nameText)) << c.what;
    }
}

TEST(DeviceList, SortsByIpTextInAnyArrivalOrder)
{
    std::vector<QString> ips = {"192.168.1.5", "10.0.0.9", "10.0.0.10"};
    std::sort(ips.begin(), ips.end());
    do {
        DeviceList list;
        for (const QString& ip : ips)
            list.Add(Device("MAC-" + ip, ip));
        EXPECT_EQ(Ips(list), (std::vector<QString>{"10.0.0.10", "10.0.0.9", "192.168.1.5"}));
    } while (std::next_permutation(ips.begin(), ips.end()));
}

TEST(DeviceList, OneEntryPerMacExactly)
{
    DeviceList list;
    EXPECT_EQ(list.Add(Device("00:1A:2B-3C:4D:5E", "10.0.0.2", "first")), 0);
    EXPECT_EQ(list.Add(Device("00:1A:2B-3C:4D:5E", "10.0.0.1", "second answer")), -1);
    // Case matters: the comparison is exact.
    EXPECT_EQ(list.Add(Device("00:1a:2b-3c:4d:5e", "10.0.0.3")), 1);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.At(0).name, "first");

    list.Clear();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.Add(Device("00:1A:2B-3C:4D:5E", "10.0.0.2")), 0)
        << "a new search lists it again";
}

TEST(DeviceList, SharedAddressKeepsBothNewestFirst)
{
    DeviceList list;
    list.Add(Device("A", "10.0.0.5", "old"));
    list.Add(Device("Z", "10.0.0.4"));
    list.Add(Device("B", "10.0.0.5", "new"));
    list.Add(Device("Y", "10.0.0.6"));
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list.At(1).name, "new");
    EXPECT_EQ(list.At(2).name, "old");
}

TEST(DeviceList, ReturnsInsertionIndex)
{
    DeviceList list;
    const struct {
        const char* ip;
        int index;
    } steps[] = {{"10.0.0.5", 0}, {"10.0.0.7", 1}, {"10.0.0.1", 0}, {"10.0.0.6", 2}, {"9", 4}};
    int n = 0;
    for (const auto& s : steps)
        EXPECT_EQ(list.Add(Device(QString::number(n++), s.ip)), s.index) << s.ip;
}

TEST(DeviceList, MarkDuplicates)
{
    const struct {
        const char* what;
        std::vector<QString> ips;
        std::vector<QString> marked;
        bool any;
    } cases[] = {
        {"none shared", {"10.0.0.1", "10.0.0.2"}, {"10.0.0.1", "10.0.0.2"}, false},
        {"two on one address",
         {"10.0.0.5", "10.0.0.4", "10.0.0.5"},
         {"10.0.0.4", "* 10.0.0.5 *", "* 10.0.0.5 *"},
         true},
        {"three on one address",
         {"10.0.0.5", "10.0.0.5", "10.0.0.5", "10.0.0.6"},
         {"* 10.0.0.5 *", "* 10.0.0.5 *", "* 10.0.0.5 *", "10.0.0.6"},
         true},
        {"two pairs",
         {"1.1.1.1", "2.2.2.2", "1.1.1.1", "2.2.2.2", "3.3.3.3"},
         {"* 1.1.1.1 *", "* 1.1.1.1 *", "* 2.2.2.2 *", "* 2.2.2.2 *", "3.3.3.3"},
         true},
        {"prefix is not a duplicate", {"10.0.0.1", "10.0.0.10"}, {"10.0.0.1", "10.0.0.10"}, false},
    };
    for (const auto& c : cases) {
        DeviceList list;
        int mac = 0;
        for (const QString& ip : c.ips)
            list.Add(Device(QString::number(mac++), ip));
        EXPECT_EQ(list.MarkDuplicates(), c.any) << c.what;
        EXPECT_EQ(Ips(list), c.marked) << c.what;
        // Marking again changes nothing: every entry is marked once.
        EXPECT_EQ(list.MarkDuplicates(), c.any) << c.what;
        EXPECT_EQ(Ips(list), c.marked) << c.what;
    }
}

TEST(DeviceList, UnmarkedIP)
{
    const struct {
        const char *in, *out;
    } cases[] = {
        {"* 10.0.0.5 *", "10.0.0.5"},
        {"10.0.0.5", "10.0.0.5"},
        {"*", ""},
        {"* *", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UnmarkedIP(QString::fromLatin1(c.in)), QString::fromLatin1(c.out)) << c.in;
    EXPECT_EQ(UnmarkedIP(MarkedIP("10.0.0.10")), "10.0.0.10");
}
