#include "nxsetup.h"

#include "deviceversions.h"
#include "dialogs.h"
#include "enteremacaddr.h"
#include "forms.h"
#include "msgbox.h"
#include "nxupdate.h"
#include "udpport.h"
#include "updatetestsupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace brevion;
using namespace updatetest;

namespace {

constexpr quint16 kLocalPort = 24503;

QList<QByteArray> commands(const SimDevice& dev, const char* prefix)
{
    QList<QByteArray> out;
    for (const auto& d : dev.received())
        if (d.startsWith(prefix))
            out << d;
    return out;
}

} // namespace

class TestNxSetupUpdate : public QObject {
    Q_OBJECT

    QTemporaryDir m_settings;
    QStringList m_messages;

    NxSetup& openSetup(const SimDevice& dev, bool macUnset)
    {
        NxSetup& s = Forms::Get<NxSetup>();
        s.IPAddr->setText(dev.ip);
        s.MacUnset = macUnset;
        s.show();
        s.Init();
        return s;
    }

    static talixsim::DeviceState placeholderDevice()
    {
        talixsim::DeviceState state = talixsim::makeDevice(0, talixsim::Preset::Rules);
        state.mac = talixsim::placeholderMac(0);
        return state;
    }

private slots:
    void initTestCase()
    {
        qputenv("BREVION_SETTINGS_FILE", m_settings.filePath(QStringLiteral("store.ini")).toLocal8Bit());
        SetMessageResponder([this](const Message& m) {
            m_messages << m.title + QLatin1Char('|') + m.text;
            return MsgAnswer::Ok;
        });
    }
    void init() { m_messages.clear(); }
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
        SimDevice dev(kLocalPort, placeholderDevice());
        dev.faults([](talixsim::Faults& f) { f.restartSilentMs = 0; });
        const QStringList entries{"12345", "5A2FFF", "5A4000", "5A3G00", "5a3abc"};
        QStringList seenInDialog;
        SetModalResponder([&](QWidget& w) {
            auto& d = static_cast<EnterMacAddr&>(w);
            seenInDialog << d.NewAddr->text();
            if (const QString next = entries.value(seenInDialog.size() - 1); !next.isEmpty()) {
                d.NewAddr->clear();
                QTest::keyClicks(d.NewAddr, next);
            }
            if (seenInDialog.size() == entries.size()) // the first MAC command is rejected
                dev.faults([](talixsim::Faults& f) { f.nackNext = 1; });
            d.OKButton->click();
        });
        openSetup(dev, true);
        const QString length = "|MAC Address must be 12 hexadecimal digits long.";
        const QString range = "|Invalid MAC Address.  It must be in the range 5A3000 - 5A3FFF.";
        const QString refused = "Communications Error|The device reported an error receiving the last command.\r\n"
                                "Please try the last operation again.";
        QCOMPARE(m_messages, (QStringList{length, range, range, range, refused}));
        QCOMPARE(seenInDialog.value(0), QString());
        QCOMPARE(seenInDialog.value(5), QStringLiteral("5A3ABC")); // upper-cased, shown again as it was
        const QList<QByteArray> macs = commands(dev, "XM");
        QCOMPARE(macs.size(), 2);
        QCOMPARE(macs[1].toHex(), macs[0].toHex());
        QCOMPARE(macs[0].left(8).toHex(), QByteArray("584d0050c25a3abc"));
        QCOMPARE(dev.received().last().toHex(), QByteArray("5850bdfe9b"));
        QCOMPARE(dev.fleet.device(dev.index).mac, (talixsim::Mac{0x00, 0x50, 0xC2, 0x5A, 0x3A, 0xBC}));
    }

    void cancelAtTheFirstDialogSendsNothing()
    {
        SimDevice dev(kLocalPort, placeholderDevice());
        SetModalResponder([](QWidget& w) { static_cast<EnterMacAddr&>(w).CancelButton->click(); });
        openSetup(dev, true);
        QVERIFY(dev.fleet.waitForReplies(1, std::chrono::seconds(2))); // the read of Init
        QCOMPARE(commands(dev, "XM").size() + commands(dev, "XP").size(), 0);
    }

    // The update window gets the device and a free port; the configuration window waits disabled,
    // and reads the device again only when an update window was shown.
    void handsOverThePortAndReturns()
    {
        SimDevice dev(kLocalPort);
        NxSetup& s = openSetup(dev, false);
        QTRY_COMPARE(s.FirmVer->text(), QStringLiteral("1.0.11"));
        dev.fleet.clearTraffic();
        SetFolderResponder([](const FolderRequest&) { return QString(); });
        s.cmdPgmProgram->click();
        QVERIFY(!Forms::IsLoaded<NxUpdate>() && s.isEnabled());

        QTemporaryDir dir;
        QFile f(dir.filePath("FIRM.bin"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(talixsim::makeUpdateFile(talixsim::Region::Firmware, {1, 0, 17}, 640));
        f.close();
        SetFolderResponder([&](const FolderRequest&) { return dir.path(); });
        bool portFree = false, setupEnabled = true;
        QPoint placed;
        QTimer::singleShot(50, [&] {
            NxUpdate& u = Forms::Get<NxUpdate>();
            portFree = !UdpPort::IsBoundHere(kLocalPort);
            placed = QPoint(u.Left(), u.Top());
            setupEnabled = s.isEnabled();
            QCOMPARE(u.HdweVer->text(), s.HdweVer->text());
            QCOMPARE(u.DeviceIP(), dev.ip);
            u.cmdCancel->click();
        });
        s.cmdPgmProgram->click();
        QVERIFY(portFree && !setupEnabled);
        QCOMPARE(placed, QPoint(s.Left(), s.Top()) + QPoint(360, 360));
        QVERIFY(!Forms::IsLoaded<NxUpdate>() && s.isEnabled());
        QVERIFY(dev.fleet.waitForReplies(1, std::chrono::seconds(2)));
        QCOMPARE(dev.received(), QList<QByteArray>{QByteArray("XQ")});
        QCOMPARE(m_messages, QStringList());
    }
};

QTEST_MAIN(TestNxSetupUpdate)
#include "test_nxsetup_update.moc"
