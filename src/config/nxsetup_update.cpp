#include "nxsetup.h"

// The way to the update window, and MAC address programming of a new device.

namespace brevion {

void NxSetup::cmdPgmProgram_Click() {}

bool NxSetup::ProgramMacAddress() { return true; }

} // namespace brevion
