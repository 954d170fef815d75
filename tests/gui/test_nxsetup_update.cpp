#include "gui/nxsetup.h"

#include "ui/dialogs.h"
#include "hex.h"
#include "gui/enteremacaddr.h"
#include "gui/nxupdate.h"
#include "engine/devicelink.h"
#include "gui/windowlink.h"
#include "rig.h"
#include "sim/updateimage.h"
#include "windows.h"

#include <QtTest>
#include <QtWidgets>

using namespace brevion;
using support::hex;

class TestNxSetupUpdate : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    support::Boxes m_boxes;

    NxSetup& openSetup(const support::Rig& dev, bool macUnset)
    {
        NxSetup& s = support::window<NxSetup>();
        s.IPAddr->setText(dev.ip()), s.MacUnset = macUnset, s.show(), s.Init();
        return s;
    }

private slots:
    void initTestCase()
    {
        qputenv("BREVION_SETTINGS_FILE", m_dir.filePath(QStringLiteral("store.ini")).toLocal8Bit());
        support::answerBoxes(m_boxes);
    }
    void cleanup()
    {
        SetModalResponder({}), SetFolderResponder({});
        Forms::Unload<NxUpdate>(), Forms::Unload<NxSetup>(), Forms::Unload<EnterMacAddr>(), Forms::Flush(), m_boxes.clear();
    }

    // Entries as typed, one per showing of the dialog: the refused ones get their box, a MAC
    // command the device rejects brings the dialog back as it was, then MAC and restart go out.
    // Cancel at the first showing sends nothing.
    void macProgrammingLoop()
    {
        talixsim::DeviceState state = talixsim::makeDevice(0, talixsim::Preset::Rules);
        state.mac = talixsim::placeholderMac(0);
        support::Rig dev({state});
        dev.faults([](talixsim::Faults& f) { f.restartSilentMs = 0; });
        const QStringList entries{"12345", "5A2FFF", "5a3abc"};
        QStringList seen;
        SetModalResponder([&](QWidget& w) {
            auto& d = static_cast<EnterMacAddr&>(w);
            seen << d.NewAddr->text();
            const QString entry = entries.value(seen.size() - 1, d.NewAddr->text());
            d.NewAddr->clear(), QTest::keyClicks(d.NewAddr, entry);
            // The first MAC command is rejected (the read of Init has had its answer).
            if (seen.size() == entries.size() && dev.fleet.waitForReplies(1, std::chrono::seconds(2)))
                dev.faults([](talixsim::Faults& f) { f.nackNext = 1; });
            d.OKButton->click();
        });
        openSetup(dev, true);
        QStringList texts;
        std::ranges::for_each(m_boxes.shown, [&](const Message& m) { texts << m.text; });
        QCOMPARE(texts, (QStringList{"MAC Address must be 12 hexadecimal digits long.",
                                     "Invalid MAC Address.  It must be in the range 5A3000 - 5A3FFF.",
                                     "The device reported an error receiving the last command.\r\n"
                                     "Please try the last operation again."}));
        QCOMPARE(seen.value(0) + '|' + seen.value(3), QStringLiteral("|5A3ABC")); // upper-cased, shown again as it was
        const QByteArray mac = hex("58 4D 00 50 C2 5A 3A BC FC F9");
        QCOMPARE(dev.datagrams().mid(dev.datagrams().size() - 3), (QList<QByteArray>{mac, mac, hex("58 50 BD FE 9B")})); // the same 10 bytes again

        cleanup(), dev.fleet.clearTraffic();
        SetModalResponder([](QWidget& w) { static_cast<EnterMacAddr&>(w).CancelButton->click(); });
        openSetup(dev, true);
        QVERIFY(dev.fleet.waitForReplies(1, std::chrono::seconds(2))); // the read of Init
        QCOMPARE(dev.datagrams(), QList<QByteArray>{"XQ"});
    }

    // The update window gets the device and a free port; the configuration window waits disabled,
    // and reads the device again only when an update window was shown.
    void handsOverThePortAndReturns()
    {
        support::Rig dev(1, talixsim::Preset::Rules);
        NxSetup& s = openSetup(dev, false);
        QTRY_COMPARE(s.FirmVer->text(), QStringLiteral("1.0.11"));
        dev.fleet.clearTraffic();
        QFile f(m_dir.filePath("FIRM.bin"));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(talixsim::makeUpdateFile(talixsim::Region::Firmware, {1, 0, 17}, 640)) &&
                f.flush());
        SetFolderResponder([&](const FolderRequest&) { return m_dir.path(); });
        QString seen; // port free, configuration window enabled, placement, hardware and address handed over
        QTimer::singleShot(50, [&] {
            NxUpdate& u = Forms::Get<NxUpdate>();
            seen = QStringLiteral("%1 %2 %3,%4 %5 %6").arg(!WindowLink().isOpen()).arg(s.isEnabled())
                       .arg(u.Left() - s.Left()).arg(u.Top() - s.Top()).arg(u.HdweVer->text(), u.DeviceIP());
            u.cmdCancel->click();
        });
        s.cmdPgmProgram->click();
        QCOMPARE(seen, "1 0 360,360 " + s.HdweVer->text() + ' ' + dev.ip());
        QVERIFY(!Forms::IsLoaded<NxUpdate>() && s.isEnabled() && m_boxes.shown.empty());
        QVERIFY(dev.fleet.waitForReplies(1, std::chrono::seconds(2)));
        QCOMPARE(dev.datagrams(), QList<QByteArray>{"XQ"});
    }
};

QTEST_MAIN(TestNxSetupUpdate)
#include "test_nxsetup_update.moc"
