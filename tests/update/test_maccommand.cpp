#include "maccommand.h"

#include <gtest/gtest.h>

using namespace brevion;

namespace {

TEST(MacCommand, ExactBytes)
{
    EXPECT_EQ(MacCommand({0x00, 0x50, 0xC2, 0x5A, 0x30, 0x00}), QByteArray::fromHex("584D0050C25A3000FDBF"));
    const auto abc = MacAddressFromEntry(QStringLiteral("5A3ABC"));
    ASSERT_TRUE(abc);
    EXPECT_EQ(MacCommand(*abc).mid(2, 6), QByteArray::fromHex("0050C25A3ABC"));
    EXPECT_EQ(MacAddressFromEntry(QStringLiteral("5a3abc")), abc);
}

TEST(CheckMacEntry, LengthThenRange)
{
    struct Case {
        const char* entry;
        MacEntryProblem problem;
    } cases[] = {
        {"5A3000", MacEntryProblem::None},   {"5A3FFF", MacEntryProblem::None},  {"5a3abc", MacEntryProblem::None},
        {"5A2FFF", MacEntryProblem::Range},  {"5A4000", MacEntryProblem::Range}, {"5A3G00", MacEntryProblem::Range},
        {" 5A300", MacEntryProblem::Range},  {"12345", MacEntryProblem::Length}, {"", MacEntryProblem::Length},
        {"5A30000", MacEntryProblem::Length},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckMacEntry(QString::fromLatin1(c.entry)), c.problem) << c.entry;
        EXPECT_EQ(MacAddressFromEntry(QString::fromLatin1(c.entry)).has_value(), c.problem == MacEntryProblem::None)
            << c.entry;
    }
    EXPECT_EQ(MacEntryMessage(MacEntryProblem::Length), QStringLiteral("MAC Address must be 12 hexadecimal digits long."));
    EXPECT_EQ(MacEntryMessage(MacEntryProblem::Range),
              QStringLiteral("Invalid MAC Address.  It must be in the range 5A3000 - 5A3FFF."));
}

} // namespace
