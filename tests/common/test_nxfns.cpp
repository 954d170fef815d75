#include "common/nxfns.h"

#include <gtest/gtest.h>

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
}
