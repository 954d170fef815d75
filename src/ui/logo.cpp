#include "ui/logo.h"

#include <QIcon>
#include <QSvgWidget>

// The resources live in a static library: nothing else references them, so the linker would drop
// them unless they are registered explicitly.
static void initResources() { Q_INIT_RESOURCE(resources); }

namespace brevion {
namespace {

QString logoPath()
{
    static const bool registered = (initResources(), true);
    Q_UNUSED(registered);
    return QStringLiteral(":/brevion/logo.svg");
}

} // namespace

QWidget* CreateLogo(QWidget* parent)
{
    auto* logo = new QSvgWidget(logoPath(), parent);
    logo->setObjectName(QStringLiteral("Image1"));
    logo->setAccessibleName(QStringLiteral("Vant TALIX logo"));
    return logo;
}

QIcon AppIcon() { return QIcon(logoPath()); }

} // namespace brevion
