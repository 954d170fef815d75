#include "nxsetup.h"

// The rule list of the configuration window: adding, changing and removing rules.

namespace brevion {

void NxSetup::cmdAddNew_Click() {}
void NxSetup::cmdModify_Click() {}
void NxSetup::cmdRemove_Click() {}
void NxSetup::OutCnct_Click(int row) { Q_UNUSED(row); }
void NxSetup::OutCnct_EnterCell() {}
void NxSetup::OutCnct_LeaveCell(int row, int column)
{
    Q_UNUSED(row);
    Q_UNUSED(column);
}

} // namespace brevion
