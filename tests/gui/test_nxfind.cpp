// The discovery window against simulated bridges on loopback.
#include "boxes.h"
#include "ui/dialogs.h"
#include "ui/forms.h"
#include "ui/msgbox.h"
#include "gui/nxfind.h"
#include "gui/nxsetup.h"
#include "rig.h"
#include "ui/twips.h"

#include <QtTest>
#include <QtWidgets>
#include <QUdpSocket>

using namespace brevion;
using talixsim::DeviceState;

namespace {

// count bridges, TALIX-1 at 127.0.0.2 onwards, changed as told; the window searches them.
std::unique_ptr<support::Rig> rigOf(int count, const std::function<void(DeviceState&, int)>& change = {})
{
    std::vector<DeviceState> devices = support::Rig::devices(count, talixsim::Preset::Login);
    for (int i = 0; change && i < count; ++i)
        change(devices[i], i);
    return std::make_unique<support::Rig>(devices);
}

NxFind& searched()
{
    NxFind& w = Forms::Get<NxFind>();
    w.show();
    QTest::mouseClick(w.cmdSearch, Qt::LeftButton);
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
    support::Boxes m_boxes;

private slots:
    void init() { SetMessageResponder(m_boxes.sink()); }
    void cleanup() { Forms::UnloadAll(), Forms::Flush(), SetModalResponder({}), m_boxes.clear(); }

    void searches()
    {
        // at: device i answers from 127.0.0.(2 + at[i]); ips: as listed, by text, shared addresses
        // marked; width: of column 0, twips: narrow above 4 devices until the window is loaded again;
        // hold: the port held by another program.
        const struct { std::vector<int> at; bool hold; QString status; QStringList ips; int width; } steps[] = {
            {{}, false, "No Vant Ethernet to Serial Bridge devices were found.", {}, 2550},
            {{7}, false, "1 Bridge found", {"127.0.0.9"}, 2550},
            {{7, 8, 2, 3}, false, "4 Bridges found", {"127.0.0.10", "127.0.0.4", "127.0.0.5", "127.0.0.9"}, 2550},
            {{0, 1, 1, 3, 4}, false, "5 Bridges found", {"127.0.0.2", "* 127.0.0.3 *", "* 127.0.0.3 *", "127.0.0.5", "127.0.0.6"}, 2355},
            {{0, 1, 1, 1}, false, "4 Bridges found", {"127.0.0.2", "* 127.0.0.3 *", "* 127.0.0.3 *", "* 127.0.0.3 *"}, 2355},
            {{0, 1}, true, "UDP port %1 is in use by another program. Close it and search again.", {}, 2355},
        };
        for (const auto& s : steps) {
            const auto rig = rigOf(int(s.at.size()), [&](DeviceState& d, int i) { d.address = talixsim::loopbackAddress(s.at[i]); });
            QUdpSocket other;
            QVERIFY(!s.hold || other.bind(QHostAddress::AnyIPv4, rig->localPort, QUdpSocket::DontShareAddress));
            NxFind& w = Forms::Get<NxFind>();
            bool searching = false;
            QObject step; // a search that ends at once must not leave the look to a later step
            QTimer::singleShot(200, &step, [&] {
                searching = w.lblStatus->text() == "Searching, please wait ..." && !w.cmdSearch->isEnabled() &&
                            !w.cmdConfig->isEnabled() && !w.lblDuplicates->isVisible();
            });
            searched();
            QVERIFY(searching || s.hold);
            QCOMPARE(w.lblStatus->text(), QString(s.status).replace("%1", QString::number(rig->localPort)));
            QCOMPARE(column(w, 2), s.ips);
            QCOMPARE(w.lblDuplicates->isVisible(), s.ips.filter("*").size() > 0);
            QVERIFY(!s.hold || rig->fleet.traffic().empty());
            QCOMPARE(w.MSFlexGrid1->columnWidth(0), TwipsToPixels(s.width));
            QVERIFY(w.cmdSearch->isEnabled() && w.cmdConfig->isEnabled() == !s.ips.isEmpty());
            QVERIFY(s.ips.isEmpty() || w.MSFlexGrid1->selectionModel()->isRowSelected(0, {}));
        }
        Forms::Unload<NxFind>();
        QCOMPARE(searched().MSFlexGrid1->columnWidth(0), TwipsToPixels(2550));
    }

    void configureHandsOverAndReturns()
    {
        // The pair shares 127.0.0.4, the third has the placeholder MAC; addresses as stored.
        const auto rig = rigOf(3, [](DeviceState& d, int i) {
            if (i == 1)
                d.address = d.ip = talixsim::loopbackAddress(2);
            if (i == 0)
                d.mac = talixsim::placeholderMac(7);
            d.name = i ? QStringLiteral("Boiler") : d.name;
        });
        NxFind& w = searched();
        w.move(40, 60);
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
            setup.hide();
        });
        poll.start(10);
        QTest::mouseClick(w.cmdConfig, Qt::LeftButton);
        QCOMPARE(seen, QStringLiteral("Boiler 127.0.0.4 0 40,60 00")); // the marks do not travel
        QVERIFY(!Forms::IsLoaded<NxSetup>() && w.isVisible() && w.isEnabled());
        QCOMPARE(w.pos(), QPoint(40, 60));
        QCOMPARE(column(w, 2), before);
        QVERIFY(m_boxes.shown.empty());

        // The placeholder MAC: Init runs (the user cancels the new MAC), the window never shows.
        SetModalResponder([](QWidget& dialog) { dialog.findChild<QPushButton*>("CancelButton")->click(); });
        seen.clear(), w.MSFlexGrid1->setCurrentCell(0, 0);
        QTest::mouseClick(w.cmdConfig, Qt::LeftButton);
        QVERIFY(seen.isEmpty() && Forms::Get<NxSetup>().MacUnset && w.isVisible() && w.isEnabled());
        QCOMPARE(Forms::Get<NxSetup>().IPAddr->text(), QStringLiteral("127.0.0.2"));
    }

    // "Search at:" finds the bridges at a typed address or range (Enter searches too) and
    // remembers it; a malformed entry gets a box naming it, and nothing is sent or changed.
    void searchesAtATarget()
    {
        QTemporaryDir dir;
        qputenv("BREVION_SETTINGS_FILE", dir.filePath("store.ini").toLocal8Bit());
        const auto rig = rigOf(4); // 127.0.0.2 to .5
        NxFind& w = Forms::Get<NxFind>();
        w.show();
        QCOMPARE(w.cboSearchAt->currentText(), QStringLiteral("This network"));
        const struct { QString typed; bool enter; QStringList ips; QString box; } rows[] = {
            {"127.0.0.4/31", true, {"127.0.0.4", "127.0.0.5"}, ""},
            {"127.0.0.010", false, {"127.0.0.4", "127.0.0.5"}, "\"127.0.0.010\" is not an address or a range"},
            {"127.0.0.0/8", true, {"127.0.0.4", "127.0.0.5"}, "\"127.0.0.0/8\" is too large a range"},
            {"127.0.0.3", false, {"127.0.0.3"}, ""},
            {"This network", false, {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"}, ""},
        };
        for (const auto& row : rows) {
            m_boxes.clear();
            const int heard = rig->received();
            w.cboSearchAt->setEditText(row.typed);
            if (row.enter)
                QTest::keyClick(w.cboSearchAt, Qt::Key_Return);
            else
                QTest::mouseClick(w.cmdSearch, Qt::LeftButton);
            QCOMPARE(column(w, 2), row.ips);
            QCOMPARE(int(m_boxes.shown.size()), row.box.isEmpty() ? 0 : 1);
            QVERIFY(row.box.isEmpty() ? rig->received() > heard : m_boxes.shown[0].text.startsWith(row.box));
            QVERIFY(row.box.isEmpty() || rig->received() == heard);
        }
        Forms::Unload<NxFind>();
        QComboBox* box = Forms::Get<NxFind>().cboSearchAt;
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        QCOMPARE(items, (QStringList{"This network", "127.0.0.3", "127.0.0.4/31"}));
        qunsetenv("BREVION_SETTINGS_FILE");
    }

    // A burst of replies, all listed, and the status announced. (Where the focus goes after a
    // search: tests/ui/test_keyboard.cpp, under a real X server.)
    void burstAndUnload()
    {
        const auto rig = rigOf(2000);
        NxFind& w = searched();
        QCOMPARE(QAccessible::queryAccessibleInterface(w.lblStatus)->text(QAccessible::Name),
                 QStringLiteral("2000 Bridges found"));
        QCOMPARE(w.MSFlexGrid1->rowCount(), 2000);
        // Unloaded while searching, the search stops at once.
        QTimer::singleShot(100, [] { Forms::Get<NxFind>().close(); });
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(w.cmdSearch, Qt::LeftButton);
        QVERIFY(!Forms::IsLoaded<NxFind>() && clock.elapsed() < 900);
        QTest::mouseClick(Forms::Get<NxFind>().cmdExit, Qt::LeftButton);
        QVERIFY(!Forms::IsLoaded<NxFind>());
    }
};

QTEST_MAIN(TestNxFind)
#include "test_nxfind.moc"
