#include "outcnctrule.h"

namespace brevion {

int OutRuleTable::CountInUse() const
{
    int n = 0;
    for (int slot = 1; slot <= MaxOutRules; ++slot)
        n += OutRules[slot].InUse() ? 1 : 0;
    return n;
}

int OutRuleTable::FirstFreeSlot() const
{
    for (int slot = 1; slot <= MaxOutRules; ++slot)
        if (!OutRules[slot].InUse())
            return slot;
    return 0;
}

} // namespace brevion
