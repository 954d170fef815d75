#include "nxconfig.h"

#include "forms.h"
#include "nxfind.h"
#include "nxsetup.h"
#include "nxupdate.h"

#include <QTest>
#include <QTimer>

using namespace brevion;

namespace {

bool anyLoaded()
{
    return Forms::IsLoaded<NxFind>() || Forms::IsLoaded<NxSetup>() || Forms::IsLoaded<NxUpdate>();
}

// Runs step after step, each on its own later event, so Show's loop turns between them.
void schedule(QObject* context, QList<std::function<void()>> steps)
{
    if (steps.isEmpty())
        return;
    QTimer::singleShot(20, context, [context, steps]() mutable {
        steps.takeFirst()();
        schedule(context, steps);
    });
}

} // namespace

class TestNxConfig : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // Nothing here may reach a real network.
        ConfigureNetwork(24030, 24031, "127.0.0.1");
    }

    void showReturnsWhenDiscoveryWindowCloses()
    {
        bool wasVisible = false;
        schedule(this, {[&] {
            wasVisible = Forms::IsVisible<NxFind>();
            Forms::Get<NxFind>().close(); // the title-bar close
        }});
        NxConfig component;
        component.Show();
        QVERIFY(wasVisible);
        QVERIFY(!anyLoaded());
    }

    // Closing the discovery window while the configuration window is up does not end Show; hiding
    // the configuration window does, and all three windows are unloaded.
    void showWaitsForEveryMainWindow()
    {
        QStringList steps;
        schedule(this, {[&] {
                            Forms::Get<NxSetup>().show();
                            steps << "setup shown";
                        },
                        [&] {
                            Forms::Unload<NxFind>();
                            steps << "find unloaded";
                        },
                        [&] {
                            Forms::Get<NxUpdate>().show();
                            Forms::Get<NxSetup>().hide();
                            steps << "update shown";
                        },
                        [&] {
                            Forms::Get<NxUpdate>().hide();
                            steps << "update hidden";
                        }});
        NxConfig component;
        component.Show();
        QCOMPARE(steps, QStringList({"setup shown", "find unloaded", "update shown", "update hidden"}));
        QVERIFY(!anyLoaded());
    }

    void secondShowOpensFreshDiscoveryWindow()
    {
        NxConfig component;
        QVariant markSeen = QStringLiteral("unset");
        schedule(this, {[&] {
            Forms::Get<NxFind>().setProperty("mark", 1);
            Forms::Get<NxFind>().close();
        }});
        component.Show();
        schedule(this, {[&] {
            markSeen = Forms::Get<NxFind>().property("mark");
            Forms::Get<NxFind>().close();
        }});
        component.Show();
        QVERIFY(!markSeen.isValid());
    }

    void classTerminateTwiceIsHarmless()
    {
        {
            NxConfig component;
            Forms::Get<NxFind>().show();
            Forms::Get<NxSetup>();
            component.Class_Terminate();
            QVERIFY(!anyLoaded());
            component.Class_Terminate();
            QVERIFY(!anyLoaded()); // and it loads nothing
        } // the destructor terminates a third time
        QVERIFY(!anyLoaded());
        Forms::Flush();
    }
};

QTEST_MAIN(TestNxConfig)
#include "test_nxconfig.moc"
