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

void OutRuleTable::RemoveSlot(int r)
{
    if (r < 1 || r > MaxOutRules)
        return;
    for (int i = r; i < MaxOutRules; ++i)
        OutRules[i] = OutRules[i + 1];
    OutRules[MaxOutRules] = EmptyRule();
}

} // namespace brevion
