// Show returns only when every main window is gone and unloads all three; so does terminating.
#include "entry/nxconfig.h"

#include "ui/forms.h"
#include "gui/nxfind.h"
#include "gui/nxsetup.h"
#include "gui/nxupdate.h"
#include "rig.h"

#include <QTest>
#include <QTimer>

using namespace brevion;

class TestNxConfig : public QObject {
    Q_OBJECT

    // Runs the steps one by one on later events while Show's loop turns.
    void schedule(QList<std::function<void()>> steps)
    {
        if (!steps.isEmpty())
            QTimer::singleShot(20, this, [this, steps]() mutable { steps.takeFirst()(), schedule(steps); });
    }
    static bool anyLoaded() { return Forms::IsLoaded<NxFind>() || Forms::IsLoaded<NxSetup>() || Forms::IsLoaded<NxUpdate>(); }

private slots:
    void showWaitsForEveryMainWindow()
    {
        ConfigureNetwork(support::freeUdpPort(), support::freeUdpPort(), "127.0.0.1");
        QStringList steps;
        schedule({[&] { Forms::Get<NxSetup>().show(); },
                  [&] { Forms::Get<NxFind>().close(), steps << "find closed"; },
                  [&] { Forms::Get<NxUpdate>().show(), Forms::Get<NxSetup>().hide(), steps << "setup hidden"; },
                  [&] { Forms::Get<NxUpdate>().hide(), steps << "update hidden"; }});
        NxConfig component;
        component.Show();
        QCOMPARE(steps, QStringList({"find closed", "setup hidden", "update hidden"}));
        QVERIFY(!anyLoaded());
        Forms::Get<NxSetup>();
        component.Class_Terminate(); // and the destructor a second time
        QVERIFY(!anyLoaded());
    }
};

QTEST_MAIN(TestNxConfig)
#include "test_nxconfig.moc"
