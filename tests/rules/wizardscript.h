#pragma once

// The wizard's answers now come from the shared test support (windows.h); these names remain
// for the window tests that still use them.
#include "dialogs.h"
#include "windows.h"

#include <QPushButton>
#include <QTest>

namespace wizardscript {
using Answer = support::RuleAnswer;
using Kind = support::RuleAnswer::Kind;
inline void answerWith(const Answer& answer) { support::answerWizard(answer); }
} // namespace wizardscript
