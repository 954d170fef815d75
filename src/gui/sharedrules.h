#pragma once

#include "rules/outcnctrule.h"

namespace brevion {

// The two rules the configuration window and the wizard share for one wizard run: EditRule is
// what the wizard starts from, WizRule what it hands back. Whole-record copies in and out.
extern OutCnctRule EditRule;
extern OutCnctRule WizRule;

} // namespace brevion
