#include "nxfind.h"

namespace brevion {

NxFind::NxFind(QWidget* parent) : Form(parent)
{
    setObjectName(QStringLiteral("NxFind"));
    setWindowTitle(QStringLiteral("Vant TALIX"));
}

void NxFind::Form_Load() {}
void NxFind::Form_Unload() {}

} // namespace brevion
