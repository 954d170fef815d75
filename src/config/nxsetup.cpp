#include "nxsetup.h"

#include <QLineEdit>

namespace brevion {

NxSetup::NxSetup(QWidget* parent) : Form(parent)
{
    setObjectName(QStringLiteral("NxSetup"));
    setWindowTitle(QStringLiteral("Configure Vant TALIX"));
    NetName = new QLineEdit(this);
    NetName->setObjectName(QStringLiteral("NetName"));
    IPAddr = new QLineEdit(this);
    IPAddr->setObjectName(QStringLiteral("IPAddr"));
}

void NxSetup::Form_Load() {}
void NxSetup::Form_Unload() {}
void NxSetup::Init() {}

} // namespace brevion
