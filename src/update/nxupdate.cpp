#include "nxupdate.h"

namespace brevion {

NxUpdate::NxUpdate(QWidget* parent) : Form(parent)
{
    setObjectName(QStringLiteral("NxUpdate"));
    setWindowTitle(QStringLiteral("Update Bootloader/Firmware"));
}

void NxUpdate::Form_Load() {}
void NxUpdate::Form_Unload() {}

} // namespace brevion
