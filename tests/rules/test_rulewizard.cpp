// The wizard's rule building and checks, without its window (flows: test_rulelist).
#include "rules/rulewizard.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace brevion;

namespace {

// address, port, TCP, power-up, login, indefinite, seconds
WizChoices Tcp(const char* ip, const char* port, bool powerup, bool indefinite = true, const char* seconds = "")
{
    return {ip, port, true, powerup, false, indefinite, seconds};
}

const QString kSerial = " when incoming data is detected on the serial port.";

} // namespace

TEST(RuleWizard, SentenceAndRuleFollowThePages)
{
    const OutCnctRule empty = EmptyRule(), idle45{"1.1.1.1", 9, OUT_LOGIN, 45};
    const std::tuple<int, WizChoices, OutCnctRule, QString, OutCnctRule> cases[] = {
        {0, Tcp("10.0.0.5", "23", true), idle45, "", idle45}, // page 0 shows nothing, keeps the rule
        {4, {" 10.0.0.5 ", " 5000", false, true, true, true, {}}, idle45, // UDP: login, IdleSecs kept, no power-up
         "Send to 10.0.0.5, Port 5000, using UDP" + kSerial + " Login with the specified username/password when prompted.",
         {" 10.0.0.5 ", 5000, OUT_LOGIN, 45}},
        {2, {"10.0.0.7", "23", true, true, true, true, {}}, empty, // login comes on page 3
         "Connect to 10.0.0.7, Port 23, using TCP upon powerup or reboot.", {"10.0.0.7", 23, 3, 0}},
        {4, Tcp("10.0.0.7", "23", true, false, "99"), idle45,
         "Connect to 10.0.0.7, Port 23, using TCP upon powerup or reboot. Remain connected indefinitely.",
         {"10.0.0.7", 23, 3, 0}},
        {4, Tcp("10.0.0.8", "4000", false, true, "30"), idle45, // indefinite ignores the seconds
         "Connect to 10.0.0.8, Port 4000, using TCP" + kSerial + " Remain connected indefinitely.",
         {"10.0.0.8", 4000, OUT_TCP, 0}},
        {4, Tcp("10.0.0.8", "4000", false, false, " 30 "), empty,
         "Connect to 10.0.0.8, Port 4000, using TCP" + kSerial + " Remain connected until 30 seconds of inactivity.",
         {"10.0.0.8", 4000, OUT_TCP, 30}},
        {3, Tcp("10.0.0.8", "4000", false, false, "30"), idle45, // IdleSecs only on page 4
         "Connect to 10.0.0.8, Port 4000, using TCP" + kSerial, {"10.0.0.8", 4000, OUT_TCP, 45}},
        {1, Tcp("1.2.3.4", "80.5x", true), empty, "Connect to 1.2.3.4, Port 80.5x, using TCP", {"1.2.3.4", 80, OUT_TCP, 0}},
        {1, Tcp("1.2.3.4", "99999999999", true), empty, "Connect to 1.2.3.4, Port 99999999999, using TCP",
         {"1.2.3.4", 2147483647, OUT_TCP, 0}},
    };
    for (const auto& [page, choices, start, sentence, expected] : cases) {
        OutCnctRule rule = start;
        EXPECT_EQ(BuildRuleText(page, choices, rule), sentence) << page;
        EXPECT_EQ(rule, expected) << sentence.toStdString();
    }
    EXPECT_EQ(WizChoicesFor(EmptyRule()), (WizChoices{"", "", true, true, false, true, ""}));
    EXPECT_EQ(WizChoicesFor({"10.0.0.5", 5000, OUT_LOGIN, 12}),
              (WizChoices{"10.0.0.5", "5000", false, false, true, false, "12"}));
    EXPECT_EQ(WizChoicesFor({"10.0.0.5", 23, OUT_TCP, -4}), (WizChoices{"10.0.0.5", "23", true, false, false, true, ""}));
}

// The edges of the checks on Next; the window test shows one refusal of each kind.
TEST(RuleWizard, NextRefusesInvalidEntries)
{
    const QString ip = "Invalid IP Address.\r\nPlease enter an address of the form '192.168.1.1'.";
    const QString port = "Invalid Port value.\r\nPlease choose a port between 1 and 65535.";
    const QString time = "Invalid inactivity time.\r\nPlease enter a value between 1 and 3600.";
    const std::tuple<int, WizChoices, std::optional<QString>> cases[] = {
        {0, Tcp("10.0.0.5", "65535", true), {}},    {0, Tcp("10.0.0.5", " 1 ", true), {}},
        {0, Tcp("10.0.0.5", "80.5", true), {}},     {0, Tcp("300.1.1.1", "5000", true), ip},
        {0, Tcp("10.0.0.5", "12ab", true), port},   {0, {"10.0.0.5", "0", false, false, false, true, {}}, port},
        {0, Tcp("10.0.0.5", "", true), port},       {1, Tcp("", "", true), {}},
        {3, Tcp("1.2.3.4", "1", false, false, ""), time},    {3, Tcp("1.2.3.4", "1", false, false, "abc"), time},
        {3, Tcp("1.2.3.4", "1", false, false, "0"), time},   {3, Tcp("1.2.3.4", "1", false, false, "1"), {}},
        {3, Tcp("1.2.3.4", "1", false, false, "3600"), {}},  {3, Tcp("1.2.3.4", "1", false, false, "30s"), {}},
        {3, Tcp("1.2.3.4", "1", false, false, "3601"), time}, {0, Tcp("10.0.0.5", "65536", true), port},
        {3, Tcp("1.2.3.4", "1", false, true, ""), {}}, // indefinite: not examined
    };
    for (const auto& [page, choices, problem] : cases)
        EXPECT_EQ(WizPageProblem(page, choices), problem) << page << " " << (choices.Port + "|" + choices.ForSeconds).toStdString();
}

TEST(RuleWizard, PagesNextAndBack)
{
    const WizChoices udp{"", "", false, true, false, true, {}}, powerup = Tcp("", "", true), serial = Tcp("", "", false);
    const std::tuple<WizChoices, std::vector<int>, int> cases[] = {
        // choices, the pages Next leads through from page 0, the page Back leads to from page 4
        {udp, {0, 4, kWizDone}, 0}, {powerup, {0, 1, 2, 4, kWizDone}, 2}, {serial, {0, 1, 2, 3, 4, kWizDone}, 3}};
    for (const auto& [choices, pages, back] : cases) {
        for (size_t i = 0; i + 1 < pages.size(); ++i)
            EXPECT_EQ(WizNextPage(pages[i], choices), pages[i + 1]) << pages[i];
        const auto backs = std::tuple(WizBackPage(4, choices), WizBackPage(3, choices), WizBackPage(1, choices), WizBackPage(0, choices));
        EXPECT_EQ(backs, std::tuple(back, 2, 0, 0));
    }
}

TEST(OutCnctRule, RuleSentences)
{
    const std::pair<OutCnctRule, QString> cases[] = {
        {{"192.168.1.20", 23, 7, 30},
         "Connect to 192.168.1.20, Port 23, using TCP upon powerup or reboot. Login with the specified username/password "
         "when prompted. Remain connected until 30 seconds of inactivity."},
        {{"  10.0.0.1 ", 5000, 0xF8, 0},
         "Connect to 10.0.0.1, Port 5000, using UDP when incoming data is detected on the serial port. Remain connected "
         "indefinitely."},
        {{"10.0.0.1", 0, 7, 30}, ""}, {{"", 23, 7, 30}, ""},
    };
    for (const auto& [rule, sentence] : cases)
        EXPECT_EQ(RuleDescription(rule), sentence);
}
