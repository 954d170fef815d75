#include "nxsetup.h"

namespace brevion {

NxSetup::NxSetup(QWidget* parent) : Form(parent)
{
    setObjectName(QStringLiteral("NxSetup"));
    setWindowTitle(QStringLiteral("Configure Vant TALIX"));
}

void NxSetup::Form_Load() {}
void NxSetup::Form_Unload() {}

} // namespace brevion
