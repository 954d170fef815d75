#pragma once

#include "rules/outcnctrule.h"

#include <QString>

#include <optional>

namespace brevion {

// What the outgoing connection wizard builds a rule from: the state of its controls. Pages:
// 0 address and protocol, 1 when to connect, 2 login, 3 how long to stay connected, 4 done.
struct WizChoices {
    QString IPAddr;          // as typed
    QString Port;            // as typed
    bool TCP = true;         // optTCP, else optUDP
    bool WhenPowerup = true; // optWhenPowerup, else optWhenSerial
    bool LoginYes = false;   // LoginYes, else LoginNo
    bool Indefinite = true;  // optIndefinite, else optForSeconds
    QString ForSeconds;      // as typed

    bool operator==(const WizChoices&) const = default;
};

constexpr int kWizPages = 5;
constexpr int kWizDone = -1; // the page after the last: the wizard closes with the rule

// The controls a rule starts the wizard with (the starting page is 0).
WizChoices WizChoicesFor(const OutCnctRule& editRule);

// The sentence shown for the rule as far as the user has come (page), and wizRule brought in
// step with it. The sentence follows the stored rules' form, except that a UDP rule reads
// "Send to " and only a TCP rule says how long it stays connected. Fields the pages so far do
// not decide are left as they are in wizRule.
QString BuildRuleText(int wizPage, const WizChoices& choices, OutCnctRule& wizRule);

// The message (lines joined by CR LF) that Next shows on this page instead of moving on, or
// nothing when the page's entries are acceptable. Shown under kWizInvalidTitle.
std::optional<QString> WizPageProblem(int wizPage, const WizChoices& choices);
inline const QString kWizInvalidTitle = QStringLiteral("Invalid Value");

// The page Next leads to (kWizDone from the last page), and the page Back leads to.
int WizNextPage(int wizPage, const WizChoices& choices);
int WizBackPage(int wizPage, const WizChoices& choices);

// The help text of a page, lines joined by CR LF. Shown under kWizTitle.
QString WizHelpText(int wizPage);
inline const QString kWizTitle = QStringLiteral("Outgoing Connection Wizard");

// The number a text begins with (after blanks: sign, digits, decimal fraction), 0 when it
// begins with none.
double LeadingNumber(const QString& text);
// A number converted to the nearest 32-bit integer, halves to even, saturating at the ends.
qint32 ToInt32(double value);

} // namespace brevion
