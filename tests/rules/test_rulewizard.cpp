#include "rulewizard.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace brevion;

void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

WizChoices Tcp(const char* ip, const char* port, bool powerup, bool login, bool indefinite,
               const char* seconds = "")
{
    return WizChoices{
        QString::fromLatin1(ip),     QString::fromLatin1(port), true, powerup, login, indefinite,
        QString::fromLatin1(seconds)};
}
WizChoices Udp(const char* ip, const char* port, bool login)
{
    return WizChoices{
        QString::fromLatin1(ip), QString::fromLatin1(port), false, false, login, true, {}};
}

const QString kInvalidIP =
    QStringLiteral("Invalid IP Address.\r\nPlease enter an address of the form '192.168.1.1'.");
const QString kInvalidPort =
    QStringLiteral("Invalid Port value.\r\nPlease choose a port between 1 and 65535.");
const QString kInvalidTime =
    QStringLiteral("Invalid inactivity time.\r\nPlease enter a value between 1 and 3600.");

} // namespace

TEST(RuleWizard, SentenceAndRuleFollowThePages)
{
    struct Case {
        const char* name;
        int page;
        WizChoices choices;
        OutCnctRule start;
        QString sentence;
        OutCnctRule rule;
    };
    const OutCnctRule empty = EmptyRule();
    const OutCnctRule idle45{QStringLiteral("1.1.1.1"), 9, OUT_LOGIN, 45};
    const Case cases[] = {
        {"page 0 shows nothing and keeps the rule", 0, Tcp("10.0.0.5", "23", true, false, true),
         idle45, QString(), idle45},
        {"UDP on the done page",
         4,
         Udp(" 10.0.0.5 ", " 5000", false),
         idle45,
         "Send to 10.0.0.5, Port 5000, using UDP when incoming data is detected on the serial "
         "port.",
         {" 10.0.0.5 ", 5000, 0, 45}},
        {"UDP with login keeps IdleSecs",
         4,
         Udp("10.0.0.5", "5000", true),
         idle45,
         "Send to 10.0.0.5, Port 5000, using UDP when incoming data is detected on the serial "
         "port. "
         "Login with the specified username/password when prompted.",
         {"10.0.0.5", 5000, OUT_LOGIN, 45}},
        {"UDP ignores a power-up choice",
         4,
         WizChoices{"10.0.0.5", "5000", false, true, false, true, {}},
         empty,
         "Send to 10.0.0.5, Port 5000, using UDP when incoming data is detected on the serial "
         "port.",
         {"10.0.0.5", 5000, 0, 0}},
        {"TCP on page 1",
         1,
         Tcp("10.0.0.7", "23", true, true, true),
         empty,
         "Connect to 10.0.0.7, Port 23, using TCP",
         {"10.0.0.7", 23, OUT_TCP, 0}},
        {"TCP power-up on page 2 leaves out login",
         2,
         Tcp("10.0.0.7", "23", true, true, true),
         empty,
         "Connect to 10.0.0.7, Port 23, using TCP upon powerup or reboot.",
         {"10.0.0.7", 23, 3, 0}},
        {"TCP power-up done",
         4,
         Tcp("10.0.0.7", "23", true, false, false, "99"),
         idle45,
         "Connect to 10.0.0.7, Port 23, using TCP upon powerup or reboot. Remain connected "
         "indefinitely.",
         {"10.0.0.7", 23, 3, 0}},
        {"TCP power-up with login",
         4,
         Tcp("10.0.0.7", "23", true, true, true),
         empty,
         "Connect to 10.0.0.7, Port 23, using TCP upon powerup or reboot. Login with the specified "
         "username/password when prompted. Remain connected indefinitely.",
         {"10.0.0.7", 23, 7, 0}},
        {"TCP serial for 30 seconds",
         4,
         Tcp("10.0.0.8", "4000", false, false, false, " 30 "),
         empty,
         "Connect to 10.0.0.8, Port 4000, using TCP when incoming data is detected on the serial "
         "port. "
         "Remain connected until 30 seconds of inactivity.",
         {"10.0.0.8", 4000, OUT_TCP, 30}},
        {"TCP serial, indefinite ignores the seconds",
         4,
         Tcp("10.0.0.8", "4000", false, false, true, "30"),
         idle45,
         "Connect to 10.0.0.8, Port 4000, using TCP when incoming data is detected on the serial "
         "port. "
         "Remain connected indefinitely.",
         {"10.0.0.8", 4000, OUT_TCP, 0}},
        {"TCP serial on page 3 leaves IdleSecs",
         3,
         Tcp("10.0.0.8", "4000", false, false, false, "30"),
         idle45,
         "Connect to 10.0.0.8, Port 4000, using TCP when incoming data is detected on the serial "
         "port.",
         {"10.0.0.8", 4000, OUT_TCP, 45}},
        {"port text converts by its leading number, halves to even",
         1,
         Tcp("1.2.3.4", "80.5x", true, false, true),
         empty,
         "Connect to 1.2.3.4, Port 80.5x, using TCP",
         {"1.2.3.4", 80, OUT_TCP, 0}},
        {"non-numeric port is 0",
         1,
         Tcp("1.2.3.4", "abc", true, false, true),
         empty,
         "Connect to 1.2.3.4, Port abc, using TCP",
         {"1.2.3.4", 0, OUT_TCP, 0}},
        {"huge port saturates",
         1,
         Tcp("1.2.3.4", "99999999999", true, false, true),
         empty,
         "Connect to 1.2.3.4, Port 99999999999, using TCP",
         {"1.2.3.4", 2147483647, OUT_TCP, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OutCnctRule rule = c.start;
        EXPECT_EQ(BuildRuleText(c.page, c.choices, rule), c.sentence);
        EXPECT_EQ(rule, c.rule);
    }
}

TEST(RuleWizard, ControlsStartFromTheRule)
{
    EXPECT_EQ(WizChoicesFor(EmptyRule()), (WizChoices{"", "", true, true, false, true, ""}));
    EXPECT_EQ(WizChoicesFor({"10.0.0.5", 5000, OUT_LOGIN, 12}),
              (WizChoices{"10.0.0.5", "5000", false, false, true, false, "12"}));
    EXPECT_EQ(WizChoicesFor({"10.0.0.5", 23, OUT_TCP, -4}),
              (WizChoices{"10.0.0.5", "23", true, false, false, true, ""}));
}

// The cases a user meets are exercised through the window; these are the edges.
TEST(RuleWizard, NextRefusesInvalidEntries)
{
    struct Case {
        int page;
        WizChoices choices;
        std::optional<QString> problem;
    };
    const Case cases[] = {
        {0, Tcp("10.0.0.5", "5000", true, false, true), std::nullopt},
        {0, Tcp("", "5000", true, false, true), kInvalidIP},
        {0, Tcp("10.0.0.5", "12ab", true, false, true), kInvalidPort},
        {0, Tcp("10.0.0.5", "65535", true, false, true), std::nullopt},
        {0, Tcp("10.0.0.5", " 1 ", true, false, true), std::nullopt},
        {0, Tcp("10.0.0.5", "80.5", true, false, true), std::nullopt},
        {0, Udp("10.0.0.5", "0", false), kInvalidPort},
        {1, Tcp("", "", true, false, true), std::nullopt},
        {3, Tcp("1.2.3.4", "1", false, false, false, ""), kInvalidTime},
        {3, Tcp("1.2.3.4", "1", false, false, false, "abc"), kInvalidTime},
        {3, Tcp("1.2.3.4", "1", false, false, false, "1"), std::nullopt},
        {3, Tcp("1.2.3.4", "1", false, false, false, "3600"), std::nullopt},
        {3, Tcp("1.2.3.4", "1", false, false, false, "30s"), std::nullopt},
        {3, Tcp("1.2.3.4", "1", false, false, true, ""), std::nullopt}, // indefinite: not examined
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QStringLiteral("page %1 ip '%2' port '%3' seconds '%4'")
                         .arg(c.page)
                         .arg(c.choices.IPAddr, c.choices.Port, c.choices.ForSeconds)
                         .toStdString());
        EXPECT_EQ(WizPageProblem(c.page, c.choices), c.problem);
    }
}

TEST(RuleWizard, HelpTexts)
{
    const int lineCounts[kWizPages] = {4, 6, 7, 6, 5};
    for (int page = 0; page < kWizPages; ++page)
        EXPECT_EQ(WizHelpText(page).split("\r\n").size(), lineCounts[page]) << page;
    EXPECT_TRUE(WizHelpText(2).contains("in the\r\n\"Login Prompt and Reply\" section of the main "
                                        "configuration screen (below the\r\n"));
    EXPECT_TRUE(WizHelpText(2).endsWith(
        "EXACTLTY as they are expected.  Upper and lower case is significant."));
    EXPECT_EQ(WizHelpText(4),
              "You have completed the Outgoing Connection Wizard.\r\n\r\nClick Done to accept "
              "the rule you just created.\r\nClick Back to change it.\r\nClick Cancel to quit "
              "without saving it.");
}

TEST(RuleTable, RemoveSlotShiftsTheSlotsAbove)
{
    OutRuleTable t;
    for (int n = 1; n <= MaxOutRules; ++n)
        t.OutRules[n] = {QStringLiteral("10.0.0.%1").arg(n), n, quint8(n % 8), n};
    t.RemoveSlot(3);
    for (int n = 1; n <= 2; ++n)
        EXPECT_EQ(t.OutRules[n].Port, n);
    for (int n = 3; n <= 11; ++n)
        EXPECT_EQ(t.OutRules[n].Port, n + 1);
    EXPECT_EQ(t.OutRules[12], EmptyRule());
    EXPECT_EQ(t.CountInUse(), 11);
    EXPECT_EQ(t.FirstFreeSlot(), 12);

    const OutRuleTable before = t;
    t.RemoveSlot(0);
    t.RemoveSlot(13);
    EXPECT_EQ(t, before);
    t.RemoveSlot(12);
    EXPECT_EQ(t, before); // slot 12 was already empty
}
