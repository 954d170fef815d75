// A host without a QApplication, through the C interface: each Show makes an application for the
// length of the call and removes it; two components live at once; releasing NULL is ignored.
#include "brevion.h"
#include "forms.h"
#include "nxfind.h"
#include "rig.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>

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
    brevion_component* a = brevion_create();
    brevion_component* b = brevion_create();
    brevion_show(a);
    brevion_show(b);
    const bool ok = g_apps == 2 && QCoreApplication::instance() == nullptr && a && b && a != b &&
                    std::strcmp(brevion_progid(), "Brevion.NxConfig") == 0;
    brevion_release(b);
    brevion_release(a);
    brevion_release(nullptr);
    std::puts(ok ? "ok" : "FAIL: Show without an application, or the C interface");
    return ok ? 0 : 1;
}
