// The discovery window against simulated bridges on loopback.
#include "dialogs.h"
#include "forms.h"
#include "msgbox.h"
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
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>

using namespace brevion;
using talixsim::DeviceState;

namespace {

constexpr quint16 kFleetPort = 24200;
constexpr quint16 kLocalPort = 24240;

// count simulated bridges, TALIX-1 at 127.0.0.2 onwards; the window searches them.
std::unique_ptr<talixsim::Fleet> fleetOf(int count, const std::function<void(DeviceState&, int)>& change = {})
{
    auto fleet = std::make_unique<talixsim::Fleet>(talixsim::FleetOptions{kFleetPort});
    for (int i = 0; i < count; ++i) {
        DeviceState d = talixsim::makeDevice(i);
        if (change)
            change(d, i);
        fleet->addDevice(d);
    }
    if (!fleet->start())
        qFatal("fleet did not start");
    SetNetwork({kFleetPort, kLocalPort, QStringLiteral("127.255.255.255")});
    return fleet;
}

NxFind& shownWindow()
{
    NxFind& w = Forms::Get<NxFind>();
    w.show();
    return w;
}

QStringList column(const NxFind& w, int col)
{
    QStringList texts;
    for (int row = 0; row < w.MSFlexGrid1->rowCount(); ++row)
        texts << w.MSFlexGrid1->item(row, col)->text();
    return texts;
}

} // namespace

class TestNxFind : public QObject {
    Q_OBJECT
    QList<Message> m_boxes;

private slots:
    void init()
    {
        m_boxes.clear();
        SetMessageResponder([this](const Message& m) {
            m_boxes << m;
            return m.buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Cancel;
        });
    }
    void cleanup()
    {
        Forms::UnloadAll();
        Forms::Flush();
        SetModalResponder({});
    }

    void searchListsSortedCountsAndNarrowsTheFirstColumn()
    {
        NxFind& w = shownWindow();
        const struct {
            int devices;
            QString status;
            int width; // of column 0, twips: narrow above 4 devices until the window is loaded again
        } steps[] = {{0, "No Vant Ethernet to Serial Bridge devices were found.", 2550},
                     {1, "1 Bridge found", 2550}, {4, "4 Bridges found", 2550}, {5, "5 Bridges found", 2355},
                     {3, "3 Bridges found", 2355}};
        for (const auto& s : steps) {
            const auto fleet = fleetOf(s.devices, [](DeviceState& d, int i) {
                d.address = talixsim::loopbackAddress(i < 2 ? 7 + i : i); // .9, .10, .4, .5, .6
            });
            bool searching = false;
            QTimer::singleShot(200, &w, [&] {
                searching = w.lblStatus->text() == "Searching, please wait ..." && !w.cmdSearch->isEnabled() &&
                            !w.cmdConfig->isEnabled();
            });
            QTest::mouseClick(w.cmdSearch, Qt::LeftButton);
            QVERIFY(searching);
            QCOMPARE(w.lblStatus->text(), s.status);
            QCOMPARE(w.MSFlexGrid1->rowCount(), s.devices);
            QCOMPARE(w.MSFlexGrid1->columnWidth(0), TwipsToPixels(s.width));
            QVERIFY(w.cmdSearch->isEnabled() && w.cmdConfig->isEnabled() == (s.devices > 0));
            QStringList ips = column(w, 2);
            QVERIFY(std::is_sorted(ips.begin(), ips.end()) && ips.removeDuplicates() == 0); // each once
            if (s.devices >= 3) // by text: 127.0.0.10 before 127.0.0.4
                QCOMPARE(ips.mid(0, 2), (QStringList{"127.0.0.10", "127.0.0.4"}));
            QVERIFY(s.devices == 0 || w.MSFlexGrid1->selectionModel()->isRowSelected(0, {}));
        }
        Forms::Unload<NxFind>();
        QCOMPARE(shownWindow().MSFlexGrid1->columnWidth(0), TwipsToPixels(2550));
    }

    void duplicatesMarkedAndNoteFollowsEachSearch()
    {
        NxFind& w = shownWindow();
        const struct {
            int sharing; // devices 1.. moved onto one address
            QStringList ips;
        } steps[] = {{2, {"127.0.0.2", "* 127.0.0.3 *", "* 127.0.0.3 *", "127.0.0.5"}},
                     {0, {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"}},
                     {3, {"127.0.0.2", "* 127.0.0.3 *", "* 127.0.0.3 *", "* 127.0.0.3 *"}}};
        for (const auto& s : steps) {
            const auto fleet = fleetOf(4, [&](DeviceState& d, int i) {
                if (i > 0 && i <= s.sharing)
                    d.address = talixsim::loopbackAddress(1);
            });
            bool hiddenWhileSearching = false;
            QTimer::singleShot(200, &w, [&] { hiddenWhileSearching = !w.lblDuplicates->isVisible(); });
            QTest::mouseClick(w.cmdSearch, Qt::LeftButton);
            QVERIFY(hiddenWhileSearching);
            QCOMPARE(column(w, 2), s.ips);
            QCOMPARE(w.lblDuplicates->isVisible(), s.sharing > 0);
        }
    }

    void configureHandsOverAndReturns()
    {
        // The pair shares 127.0.0.4; their stored address agrees, as the window reads it back.
        const auto fleet = fleetOf(3, [](DeviceState& d, int i) {
            if (i == 1)
                d.address = d.ip = talixsim::loopbackAddress(2);
            d.name = i ? QStringLiteral("Boiler") : d.name;
        });
        NxFind& w = shownWindow();
        w.move(40, 60);
        QTest::mouseClick(w.cmdSearch, Qt::LeftButton);
        const QStringList before = column(w, 2);
        QCOMPARE(before, (QStringList{"127.0.0.2", "* 127.0.0.4 *", "* 127.0.0.4 *"}));
        w.MSFlexGrid1->setCurrentCell(1, 0);
        QString seen;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &w, [&] {
            if (!Forms::IsVisible<NxSetup>())
                return;
            NxSetup& setup = Forms::Get<NxSetup>();
            seen = QStringLiteral("%1 %2 %3 %4,%5 %6%7").arg(setup.NetName->text(), setup.IPAddr->text())
                       .arg(setup.MacUnset).arg(setup.x()).arg(setup.y()).arg(w.isVisible()).arg(w.isEnabled());
            poll.stop();
            setup.hide();
        });
        poll.start(20);
        QTest::mouseClick(w.cmdConfig, Qt::LeftButton);
        QCOMPARE(seen, QStringLiteral("Boiler 127.0.0.4 0 40,60 00")); // the marks do not travel
        QVERIFY(!Forms::IsLoaded<NxSetup>() && w.isVisible() && w.isEnabled());
        QCOMPARE(w.pos(), QPoint(40, 60));
        QCOMPARE(column(w, 2), before);
        QCOMPARE(m_boxes, QList<Message>{});
    }

    void placeholderMacRunsInitOnly()
    {
        const auto fleet = fleetOf(1, [](DeviceState& d, int) { d.mac = talixsim::placeholderMac(7); });
        SetModalResponder([](QWidget& dialog) { dialog.findChild<QPushButton*>("CancelButton")->click(); });
        NxFind& w = shownWindow();
        QTest::mouseClick(w.cmdSearch, Qt::LeftButton);
        QVERIFY(w.MSFlexGrid1->item(0, 1)->text().startsWith(QStringLiteral("00:BA:DB-AD")));
        bool setupShown = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &w, [&] { setupShown = setupShown || Forms::IsVisible<NxSetup>(); });
        poll.start(10);
        QTest::mouseClick(w.cmdConfig, Qt::LeftButton);
        QVERIFY(!setupShown && Forms::Get<NxSetup>().MacUnset && w.isVisible() && w.isEnabled());
        QCOMPARE(Forms::Get<NxSetup>().IPAddr->text(), QStringLiteral("127.0.0.2"));
    }

    void requestsHalfASecondApartAndLateRepliesLost()
    {
        const auto fleet = fleetOf(3);
        const int delays[] = {0, 700, 1250};
        for (int i = 0; i < 3; ++i)
            fleet->setFaults(i, talixsim::Faults{.replyDelayMs = delays[i]});
        NxFind& w = shownWindow();
        QTest::mouseClick(w.cmdSearch, Qt::LeftButton);
        QCOMPARE(column(w, 0), (QStringList{"TALIX-1", "TALIX-2"}));
        std::vector<std::chrono::steady_clock::time_point> requests;
        for (const auto& e : fleet->traffic())
            if (e.direction == talixsim::TrafficEntry::Direction::In && e.bytes == "ZEVID")
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
            << false << "UDP port 24240 is in use by another program. Close it and search again.";
        QTest::newRow("by this program") << true << "UDP port 24240 is still in use by this program, which is "
                                                    "waiting for a device's reply on it. Search again in a few seconds.";
    }
    void portHeld()
    {
        QFETCH(bool, here);
        QFETCH(QString, status);
        const auto fleet = fleetOf(2);
        QUdpSocket other;
        UdpPort own;
        QVERIFY(here ? own.Bind(kLocalPort) : other.bind(QHostAddress::AnyIPv4, kLocalPort, QUdpSocket::DontShareAddress));
        NxFind& w = shownWindow();
        QTest::mouseClick(w.cmdSearch, Qt::LeftButton);
        QCOMPARE(w.lblStatus->text(), status);
        QVERIFY(w.MSFlexGrid1->rowCount() == 0 && !w.cmdConfig->isEnabled() && w.cmdSearch->isEnabled());
        QVERIFY(fleet->traffic().empty());
        own.Close();
        other.close();
        QTest::mouseClick(w.cmdSearch, Qt::LeftButton);
        QCOMPARE(w.lblStatus->text(), QStringLiteral("2 Bridges found"));
    }

    // The keyboard: a search gives the focus back to Search (not to Exit, where the next Space
    // would end the program); the status line is announced as it reads.
    void keyboardBurstAndUnload()
    {
        const auto fleet = fleetOf(2000);
        NxFind& w = shownWindow();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.cmdSearch->setFocus();
        QTest::keyClick(w.cmdSearch, Qt::Key_Space);
        QCOMPARE(QApplication::focusWidget(), w.cmdSearch);
        QCOMPARE(QAccessible::queryAccessibleInterface(w.lblStatus)->text(QAccessible::Name),
                 QStringLiteral("2000 Bridges found"));
        QCOMPARE(w.MSFlexGrid1->rowCount(), 2000);
        // Unloaded while searching, the search stops at once.
        QTimer::singleShot(100, [] { Forms::Get<NxFind>().close(); });
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(w.cmdSearch, Qt::LeftButton);
        QVERIFY(!Forms::IsLoaded<NxFind>() && clock.elapsed() < 900);
        QTest::mouseClick(shownWindow().cmdExit, Qt::LeftButton);
        QVERIFY(!Forms::IsLoaded<NxFind>());
    }
};

QTEST_MAIN(TestNxFind)
#include "test_nxfind.moc"
