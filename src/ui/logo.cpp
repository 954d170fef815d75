#include "logo.h"

#include <QIcon>
#include <QSvgWidget>

namespace brevion {

QWidget* CreateLogo(QWidget* parent)
{
    auto* logo = new QSvgWidget(QStringLiteral(":/brevion/logo.svg"), parent);
    logo->setObjectName(QStringLiteral("Image1"));
    logo->setAccessibleName(QStringLiteral("Vant TALIX logo"));
    return logo;
}

QIcon AppIcon() { return QIcon(QStringLiteral(":/brevion/logo.svg")); }

} // namespace brevion
