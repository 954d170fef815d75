#include "nxsetup.h"

#include "dialogs.h"
#include "enteremacaddr.h"
#include "nxupdate.h"
#include "updateimage.h"
#include "rig.h"
#include "udpport.h"
#include "wait.h"
#include "windows.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace brevion;

class TestNxSetupUpdate : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    support::Boxes m_boxes;

    // The commands the device received that begin with prefix ("" for all).
    static QList<QByteArray> commands(const support::Rig& rig, const char* prefix = "")
    {
        QList<QByteArray> out;
        for (const auto& t : rig.fleet.traffic())
            if (t.direction == talixsim::TrafficEntry::Direction::In && t.bytes.startsWith(prefix))
                out << t.bytes;
        return out;
    }

    NxSetup& openSetup(const support::Rig& rig, bool macUnset)
    {
        NxSetup& s = support::window<NxSetup>();
        s.IPAddr->setText(rig.ip());
        s.MacUnset = macUnset;
        s.show();
        s.Init();
        return s;
    }

private slots:
    void initTestCase()
    {
        qputenv("BREVION_SETTINGS_FILE", m_dir.filePath(QStringLiteral("store.ini")).toLocal8Bit());
        support::answerBoxes(m_boxes);
    }
    void init() { m_boxes.clear(); }
    void cleanup()
    {
        SetModalResponder({});
        SetFolderResponder({});
        Forms::Unload<NxUpdate>();
        Forms::Unload<NxSetup>();
        Forms::Unload<EnterMacAddr>();
        Forms::Flush();
    }

    // Entries as typed, one per showing of the dialog: the refused ones get their box, a MAC
    // command the device rejects brings the dialog back as it was, then MAC and restart go out.
    void macProgrammingLoop()
    {
        talixsim::DeviceState state = talixsim::makeDevice(0, talixsim::Preset::Rules);
        state.mac = talixsim::placeholderMac(0);
        support::Rig rig(std::vector{state});
        rig.faults([](talixsim::Faults& f) { f.restartSilentMs = 0; });
        const QStringList entries{"12345", "5A2FFF", "5A4000", "5A3G00", "5a3abc"};
        QStringList seen;
        SetModalResponder([&](QWidget& w) {
            auto& d = static_cast<EnterMacAddr&>(w);
            seen << d.NewAddr->text();
            const QString entry = entries.value(seen.size() - 1, d.NewAddr->text());
            d.NewAddr->clear();
            QTest::keyClicks(d.NewAddr, entry);
            // The first MAC command is rejected (the read of Init has had its answer).
            if (seen.size() == entries.size() && rig.fleet.waitForReplies(1, std::chrono::seconds(2)))
                rig.faults([](talixsim::Faults& f) { f.nackNext = 1; });
            d.OKButton->click();
        });
        openSetup(rig, true);
        QStringList texts;
        for (const Message& m : m_boxes.shown)
            texts << m.text;
        const QString length = "MAC Address must be 12 hexadecimal digits long.";
        const QString range = "Invalid MAC Address.  It must be in the range 5A3000 - 5A3FFF.";
        QCOMPARE(texts, (QStringList{length, range, range, range,
                                     "The device reported an error receiving the last command.\r\n"
                                     "Please try the last operation again."}));
        QCOMPARE(seen.value(0), QString());
        QCOMPARE(seen.value(5), QStringLiteral("5A3ABC")); // upper-cased, shown again as it was
        const QByteArray mac = commands(rig, "XM").value(0);
        QCOMPARE(commands(rig, "XM"), (QList<QByteArray>{mac, mac})); // the same 10 bytes again
        QCOMPARE(mac.left(8).toHex(), QByteArray("584d0050c25a3abc"));
        QCOMPARE(commands(rig).last().toHex(), QByteArray("5850bdfe9b"));
        QCOMPARE(rig.fleet.device(0).mac, (talixsim::Mac{0x00, 0x50, 0xC2, 0x5A, 0x3A, 0xBC}));
    }

    void cancelAtTheFirstDialogSendsNothing()
    {
        talixsim::DeviceState state = talixsim::makeDevice(0, talixsim::Preset::Rules);
        state.mac = talixsim::placeholderMac(0);
        support::Rig rig(std::vector{state});
        SetModalResponder([](QWidget& w) { static_cast<EnterMacAddr&>(w).CancelButton->click(); });
        openSetup(rig, true);
        QVERIFY(rig.fleet.waitForReplies(1, std::chrono::seconds(2))); // the read of Init
        QCOMPARE(commands(rig), QList<QByteArray>{"XQ"});
    }

    // The update window gets the device and a free port; the configuration window waits disabled,
    // and reads the device again only when an update window was shown.
    void handsOverThePortAndReturns()
    {
        support::Rig rig(1, talixsim::Preset::Rules);
        NxSetup& s = openSetup(rig, false);
        QTRY_COMPARE(s.FirmVer->text(), QStringLiteral("1.0.11"));
        rig.fleet.clearTraffic();
        SetFolderResponder([](const FolderRequest&) { return QString(); });
        s.cmdPgmProgram->click();
        QVERIFY(!Forms::IsLoaded<NxUpdate>() && s.isEnabled());

        QFile f(m_dir.filePath("FIRM.bin"));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(talixsim::makeUpdateFile(talixsim::Region::Firmware, {1, 0, 17}, 640)));
        f.close();
        SetFolderResponder([&](const FolderRequest&) { return m_dir.path(); });
        bool portFree = false, setupEnabled = true;
        QPoint placed;
        QTimer::singleShot(50, [&] {
            NxUpdate& u = Forms::Get<NxUpdate>();
            portFree = !UdpPort::IsBoundHere(rig.localPort);
            placed = QPoint(u.Left(), u.Top());
            setupEnabled = s.isEnabled();
            QCOMPARE(u.HdweVer->text(), s.HdweVer->text());
            QCOMPARE(u.DeviceIP(), rig.ip());
            u.cmdCancel->click();
        });
        s.cmdPgmProgram->click();
        QVERIFY(portFree && !setupEnabled && !Forms::IsLoaded<NxUpdate>() && s.isEnabled());
        QCOMPARE(placed, QPoint(s.Left(), s.Top()) + QPoint(360, 360));
        QVERIFY(rig.fleet.waitForReplies(1, std::chrono::seconds(2)));
        QCOMPARE(commands(rig), QList<QByteArray>{"XQ"});
        QVERIFY(m_boxes.shown.empty());
    }
};

QTEST_MAIN(TestNxSetupUpdate)
#include "test_nxsetup_update.moc"
