// The discovery window against simulated bridges on loopback.
#include "discoverysearch.h"
#include "discoverytexts.h"
#include "forms.h"
#include "msgbox.h"
#include "dialogs.h"
#include "networksettings.h"
#include "nxfind.h"
#include "nxsetup.h"
#include "twips.h"
#include "udpport.h"

#include "fleet.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QElapsedTimer>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>

using namespace brevion;
using talixsim::DeviceState;
using talixsim::Fleet;
using talixsim::FleetOptions;

namespace {

// Ports of this test: fleets on 24200.., the program's local ports from 24240 on, each test
// its own so a late reply of one test never reaches the next.
constexpr quint16 kFleetPortBase = 24200;
constexpr quint16 kLocalPortBase = 24240;
int g_nextPort = 0;

struct Rig {
    std::unique_ptr<Fleet> fleet;
    quint16 localPort = 0;
};

Rig startFleet(const std::vector<DeviceState>& devices)
{
    Rig rig;
    const int k = g_nextPort++;
    FleetOptions options;
    options.port = static_cast<quint16>(kFleetPortBase + k);
    rig.fleet = std::make_unique<Fleet>(options);
    for (const DeviceState& d : devices)
        rig.fleet->addDevice(d);
    QString error;
    if (!rig.fleet->start(&error))
        qFatal("fleet did not start: %s", qPrintable(error));
    rig.localPort = static_cast<quint16>(kLocalPortBase + k);
    NetworkSettings net;
    net.devicePort = rig.fleet->port();
    net.localPort = rig.localPort;
    net.discoveryAddress = QStringLiteral("127.255.255.255");
    SetNetwork(net);
    return rig;
}

std::vector<DeviceState> devices(int count)
{
    std::vector<DeviceState> list;
    for (int i = 0; i < count; ++i)
        list.push_back(talixsim::makeDevice(i));
    return list;
}

NxFind& shownWindow()
{
    NxFind& w = Forms::Get<NxFind>();
    w.show();
    return w;
}

void clickSearch(NxFind& w)
{
    QTest::mouseClick(w.cmdSearch, Qt::LeftButton);
}

QStringList column(const NxFind& w, int col)
{
    QStringList texts;
    for (int row = 0; row < w.MSFlexGrid1->rowCount(); ++row)
        texts << w.MSFlexGrid1->item(row, col)->text();
    return texts;
}

int px(int twips)
{
    return TwipsToPixels(twips);
}

} // namespace

class TestNxFind : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        Forms::Unload<NxSetup>();
        Forms::Unload<NxFind>();
        Forms::UnloadAll();
        Forms::Flush();
        SetMessageResponder({});
        SetModalResponder({});
    }

    // The window from the keyboard: Space and Enter press the focused button, and a search gives
    // the focus back to Search (not to Exit, where the next Space would end the program); Tab and
    // Shift+Tab leave the grid. The status line is announced as it reads.
    void keyboardAndScreenReader()
    {
        Rig rig = startFleet(devices(6));
        NxFind& w = shownWindow();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.cmdSearch->setFocus();
        for (const Qt::Key key : {Qt::Key_Space, Qt::Key_Space, Qt::Key_Return}) {
            rig.fleet->clearTraffic();
            QTest::keyClick(QApplication::focusWidget(), key);
            QVERIFY(Forms::IsVisible<NxFind>());
            QVERIFY(!rig.fleet->traffic().empty()); // this key searched again
            QCOMPARE(QApplication::focusWidget(), w.cmdSearch);
        }
        QCOMPARE(QAccessible::queryAccessibleInterface(w.lblStatus)->text(QAccessible::Name),
                 QStringLiteral("6 Bridges found"));

        w.MSFlexGrid1->setFocus();
        QTest::keyClick(w.MSFlexGrid1, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.cmdSearch);
        QTest::keyClick(w.cmdSearch, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), w.MSFlexGrid1);
        QTest::keyClick(w.MSFlexGrid1, Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(QApplication::focusWidget() != w.MSFlexGrid1);
    }

    void statusAfterSearch_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("status");
        QTest::newRow("none") << 0 << "No Vant Ethernet to Serial Bridge devices were found.";
        QTest::newRow("one") << 1 << "1 Bridge found";
        QTest::newRow("three") << 3 << "3 Bridges found";
    }
    void statusAfterSearch()
    {
        QFETCH(int, count);
        QFETCH(QString, status);
        Rig rig = startFleet(devices(count));
        NxFind& w = shownWindow();

        // The texts while the search runs.
        bool searchingSeen = false;
        QTimer::singleShot(200, &w, [&] {
            searchingSeen = w.lblStatus->text() == SearchingText() && !w.cmdSearch->isEnabled() &&
                            !w.cmdConfig->isEnabled();
        });
        clickSearch(w);
        QVERIFY(searchingSeen);

        QCOMPARE(w.lblStatus->text(), status);
        QCOMPARE(w.MSFlexGrid1->rowCount(), count);
        QCOMPARE(w.cmdConfig->isEnabled(), count > 0);
        QVERIFY(w.cmdSearch->isEnabled());
        QVERIFY(!w.lblDuplicates->isVisible());
        if (count > 0) {
            // Every device answered both requests and is listed once.
            QCOMPARE(w.MSFlexGrid1->currentRow(), 0);
            QCOMPARE(w.MSFlexGrid1->currentColumn(), 0);
            QCOMPARE(w.MSFlexGrid1->selectionModel()->selectedRows().size(), 1);
            QCOMPARE(column(w, 0).first(), QStringLiteral("TALIX-1"));
            QCOMPARE(column(w, 1).first(), talixsim::macToText(talixsim::makeDevice(0).mac));
        }
    }

    void firstColumnNarrowsForScrollBar()
    {
        NxFind& w = shownWindow();
        const struct {
            int devices;
            int width;
        } steps[] = {{4, 2550}, {5, 2355}, {1, 2355}, {0, 2355}};
        for (const auto& s : steps) {
            Rig rig = startFleet(devices(s.devices));
            clickSearch(w);
            QCOMPARE(w.MSFlexGrid1->rowCount(), s.devices);
            QCOMPARE(w.MSFlexGrid1->columnWidth(0), px(s.width));
        }
        // Only a fresh load brings it back.
        Forms::Unload<NxFind>();
        QCOMPARE(shownWindow().MSFlexGrid1->columnWidth(0), px(2550));
    }

    void duplicatesMarkedAndNoteFollowsEachSearch()
    {
        std::vector<DeviceState> list = devices(4);
        const quint32 shared = talixsim::loopbackAddress(1);
        Rig rig = startFleet(list);
        NxFind& w = shownWindow();
        const struct {
            int sharing; // devices 1.. moved onto one address
            QStringList ips;
        } steps[] = {
            {2, {"127.0.0.2", "* 127.0.0.3 *", "* 127.0.0.3 *", "127.0.0.5"}},
            {0, {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"}},
            {3, {"127.0.0.2", "* 127.0.0.3 *", "* 127.0.0.3 *", "* 127.0.0.3 *"}},
        };
        for (const auto& s : steps) {
            for (int i = 1; i < 4; ++i) {
                DeviceState d = rig.fleet->device(i);
                d.address = i < 1 + s.sharing ? shared : talixsim::loopbackAddress(i);
                rig.fleet->setDevice(i, d);
            }
            bool noteHiddenWhileSearching = false;
            QTimer::singleShot(200, &w,
                               [&] { noteHiddenWhileSearching = !w.lblDuplicates->isVisible(); });
            clickSearch(w);
            QVERIFY(noteHiddenWhileSearching);
            QCOMPARE(column(w, 2), s.ips);
            QCOMPARE(w.lblDuplicates->isVisible(), s.sharing > 0);
        }
    }

    void configureHandsOverAndReturns()
    {
        std::vector<DeviceState> list = devices(3);
        // The pair shares 127.0.0.4; their stored address setting agrees, as the window reads it
        // back.
        list[1].address = list[1].ip = list[2].address;
        list[1].name = list[2].name = QStringLiteral("Boiler");
        Rig rig = startFleet(list);
        SetMessageResponder([](const Message&) { return MsgAnswer::Ok; });
        NxFind& w = shownWindow();
        w.move(40, 60);
        clickSearch(w);
        const QStringList before = column(w, 2);
        QCOMPARE(before, (QStringList{"127.0.0.2", "* 127.0.0.4 *", "* 127.0.0.4 *"}));
        const QString status = w.lblStatus->text();

        // Row 1 (0-based) is the newer of the pair; the marks do not travel.
        w.MSFlexGrid1->setCurrentCell(1, 0);
        struct {
            bool seen = false;
            QString name, ip;
            bool macUnset = true;
            QPoint pos;
            bool finderHidden = false, finderDisabled = false;
        } during;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &w, [&] {
            if (!Forms::IsVisible<NxSetup>())
                return;
            NxSetup& setup = Forms::Get<NxSetup>();
            during.seen = true;
            during.name = setup.NetName->text();
            during.ip = setup.IPAddr->text();
            during.macUnset = setup.MacUnset;
            during.pos = setup.pos();
            during.finderHidden = !w.isVisible();
            during.finderDisabled = !w.isEnabled();
            poll.stop();
            setup.hide();
        });
        poll.start(20);
        QTest::mouseClick(w.cmdConfig, Qt::LeftButton);

        QVERIFY(during.seen);
        QCOMPARE(during.ip, QStringLiteral("127.0.0.4"));
        QCOMPARE(during.name, QStringLiteral("Boiler"));
        QVERIFY(!during.macUnset);
        QCOMPARE(during.pos, QPoint(40, 60));
        QVERIFY(during.finderHidden);
        QVERIFY(during.finderDisabled);

        QVERIFY(!Forms::IsLoaded<NxSetup>());
        QVERIFY(w.isVisible());
        QVERIFY(w.isEnabled());
        QCOMPARE(w.pos(), QPoint(40, 60));
        QCOMPARE(column(w, 2), before);
        QCOMPARE(w.lblStatus->text(), status);
    }

    void placeholderMacRunsInitOnly()
    {
        std::vector<DeviceState> list = devices(1);
        list[0].mac = talixsim::placeholderMac(7);
        Rig rig = startFleet(list);
        // Whatever MAC programming asks, the user cancels.
        SetMessageResponder([](const Message& m) {
            return m.buttons == MsgButtons::YesNo         ? MsgAnswer::No
                   : m.buttons == MsgButtons::RetryCancel ? MsgAnswer::Cancel
                                                          : MsgAnswer::Ok;
        });
        SetModalResponder([](QWidget& dialog) {
            if (auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("CancelButton")))
                cancel->click();
            else
                dialog.hide();
        });
        NxFind& w = shownWindow();
        clickSearch(w);
        QVERIFY(w.MSFlexGrid1->item(0, 1)->text().startsWith(QStringLiteral("00:BA:DB-AD")));

        struct ShowWatch : QObject {
            bool setupShown = false;
            bool eventFilter(QObject* o, QEvent* e) override
            {
                if (e->type() == QEvent::Show && o->objectName() == QLatin1String("NxSetup"))
                    setupShown = true;
                return false;
            }
        } watch;
        qApp->installEventFilter(&watch);
        rig.fleet->clearTraffic();
        QTest::mouseClick(w.cmdConfig, Qt::LeftButton);
        qApp->removeEventFilter(&watch);

        QVERIFY(!watch.setupShown);
        QVERIFY(Forms::IsLoaded<NxSetup>());
        QVERIFY(Forms::Get<NxSetup>().MacUnset);
        QCOMPARE(Forms::Get<NxSetup>().IPAddr->text(), QStringLiteral("127.0.0.2"));
        QVERIFY(w.isVisible());
        QVERIFY(w.isEnabled());
        // Init talked to the device.
        QVERIFY(rig.fleet->waitForTraffic(
            [](const std::vector<talixsim::TrafficEntry>& log) {
                for (const auto& e : log)
                    if (e.direction == talixsim::TrafficEntry::Direction::In && e.device == 0)
                        return true;
                return false;
            },
            std::chrono::milliseconds(2000)));
    }

    void requestsHalfASecondApartAndLateRepliesLost()
    {
        std::vector<DeviceState> list = devices(3);
        Rig rig = startFleet(list);
        const struct {
            int device;
            int delayMs;
        } delays[] = {{0, 0}, {1, 700}, {2, 1250}};
        for (const auto& d : delays) {
            talixsim::Faults faults;
            faults.replyDelayMs = d.delayMs;
            rig.fleet->setFaults(d.device, faults);
        }
        NxFind& w = shownWindow();
        clickSearch(w);
        QCOMPARE(column(w, 0), (QStringList{"TALIX-1", "TALIX-2"}));

        std::vector<std::chrono::steady_clock::time_point> requests;
        for (const auto& e : rig.fleet->traffic())
            if (e.direction == talixsim::TrafficEntry::Direction::In &&
                e.bytes == QByteArrayLiteral("ZEVID"))
                requests.push_back(e.time);
        QCOMPARE(requests.size(), size_t(2));
        const double apart = std::chrono::duration<double>(requests[1] - requests[0]).count();
        QVERIFY2(apart > 0.45 && apart < 0.6, qPrintable(QString::number(apart)));
    }

    void portHeld_data()
    {
        QTest::addColumn<bool>("here");
        QTest::addColumn<QString>("status");
        QTest::newRow("by another program")
            << false << "UDP port %1 is in use by another program. Close it and search again.";
        QTest::newRow("by this program, waiting for a reply")
            << true
            << "UDP port %1 is still in use by this program, which is waiting for a device's "
               "reply on it. Search again in a few seconds.";
    }
    void portHeld()
    {
        QFETCH(bool, here);
        QFETCH(QString, status);
        Rig rig = startFleet(devices(2));
        QUdpSocket other;
        UdpPort own;
        QVERIFY(here ? own.Bind(rig.localPort)
                     : other.bind(QHostAddress::AnyIPv4, rig.localPort, QUdpSocket::DontShareAddress));
        NxFind& w = shownWindow();
        clickSearch(w);
        QCOMPARE(w.lblStatus->text(), status.arg(rig.localPort));
        QCOMPARE(w.MSFlexGrid1->rowCount(), 0);
        QVERIFY(!w.cmdConfig->isEnabled());
        QVERIFY(w.cmdSearch->isEnabled());
        QVERIFY(rig.fleet->traffic().empty());

        own.Close();
        other.close();
        clickSearch(w);
        QCOMPARE(w.lblStatus->text(), QStringLiteral("2 Bridges found"));
    }

    void burstOfTwoThousandAllListed()
    {
        Rig rig = startFleet(devices(2000));
        NxFind& w = shownWindow();
        clickSearch(w);
        QCOMPARE(w.lblStatus->text(), QStringLiteral("2000 Bridges found"));
        QCOMPARE(w.MSFlexGrid1->rowCount(), 2000);
        const QStringList ips = column(w, 2);
        QVERIFY(std::is_sorted(ips.begin(), ips.end()));
        QCOMPARE(w.Search().Devices().Count(), 2000);
    }

    void exitAndCloseUnload()
    {
        NxFind& w = shownWindow();
        QTest::mouseClick(w.cmdExit, Qt::LeftButton);
        QVERIFY(!Forms::IsLoaded<NxFind>());
        shownWindow().close();
        QVERIFY(!Forms::IsLoaded<NxFind>());
    }

    void unloadDuringSearchStopsIt()
    {
        Rig rig = startFleet(devices(1));
        NxFind& w = shownWindow();
        QTimer::singleShot(100, [] { Forms::Get<NxFind>().close(); });
        QElapsedTimer clock;
        clock.start();
        clickSearch(w);
        QVERIFY(!Forms::IsLoaded<NxFind>());
        QVERIFY(clock.elapsed() < 900);
    }
};

QTEST_MAIN(TestNxFind)
#include "test_nxfind.moc"
