// Show in a host without a QApplication: Show makes one for the length of the call.
#include "nxconfig.h"

#include "forms.h"
#include "nxfind.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

namespace {

int g_appsSeen = 0;

// Runs whenever a QApplication is constructed, i.e. inside Show: closes the window shortly.
void closeSoon()
{
    ++g_appsSeen;
    QTimer::singleShot(20, [] {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
            std::fprintf(stderr, "FAIL: Show made no QApplication\n");
        brevion::Forms::Get<brevion::NxFind>().close();
    });
}
Q_COREAPP_STARTUP_FUNCTION(closeSoon)

bool check(bool ok, const char* what)
{
    if (!ok)
        std::fprintf(stderr, "FAIL: %s\n", what);
    return ok;
}

} // namespace

int main()
{
    brevion::ConfigureNetwork(24032, 24033, "127.0.0.1");
    bool ok = check(QCoreApplication::instance() == nullptr, "no application before Show");
    {
        brevion::NxConfig component;
        component.Show();
        ok &= check(g_appsSeen == 1, "Show made an application");
        ok &= check(QCoreApplication::instance() == nullptr, "application gone after Show");
        component.Show();
        ok &= check(g_appsSeen == 2, "second Show made another application");
        ok &= check(QCoreApplication::instance() == nullptr, "application gone after second Show");
    } // releasing without an application must not touch Qt
    std::puts(ok ? "ok" : "failed");
    return ok ? 0 : 1;
}
