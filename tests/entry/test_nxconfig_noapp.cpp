// A host without a QApplication, through the C interface: each Show makes an application for the
// length of the call and removes it; releasing NULL is ignored. Exit status 0 when all held.
#include "entry/brevion.h"
#include "ui/forms.h"
#include "gui/nxfind.h"
#include "rig.h"

#include <QApplication>
#include <QTimer>

namespace {

int g_apps = 0;

// Runs whenever a QApplication is constructed, i.e. inside Show: closes the window shortly.
void closeSoon()
{
    g_apps += qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    QTimer::singleShot(20, [] { brevion::Forms::Get<brevion::NxFind>().close(); });
}
Q_COREAPP_STARTUP_FUNCTION(closeSoon)

} // namespace

int main()
{
    brevion_set_network(support::freeUdpPort(), support::freeUdpPort(), "127.0.0.1");
    brevion_component* component = brevion_create();
    brevion_show(component), brevion_show(component);
    brevion_release(component), brevion_release(nullptr);
    return g_apps == 2 && QCoreApplication::instance() == nullptr ? 0 : 1;
}
