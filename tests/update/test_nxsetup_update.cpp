#include "nxsetup.h"

#include "deviceversions.h"
#include "dialogs.h"
#include "enteremacaddr.h"
#include "forms.h"
#include "msgbox.h"
#include "nxupdate.h"
#include "updatetestsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace brevion;
using namespace updatetest;

namespace {

constexpr quint16 kLocalPort = 24503;

bool isCommand(const QByteArray& d, const char* prefix) { return d.startsWith(prefix); }

int countOf(const QList<QByteArray>& in, const char* prefix)
{
    int n = 0;
    for (const auto& d : in)
        n += isCommand(d, prefix) ? 1 : 0;
    return n;
}

} // namespace

class TestNxSetupUpdate : public QObject {
    Q_OBJECT

    QTemporaryDir m_settings;
    QList<Message> m_messages;

    NxSetup& openSetup(const SimDevice& dev, bool macUnset)
    {
        NxSetup& s = Forms::Get<NxSetup>();
        s.IPAddr->setText(dev.ip);
        s.MacUnset = macUnset;
        s.show();
        s.Init();
        return s;
    }

private slots:
    void initTestCase()
    {
        qputenv("BREVION_SETTINGS_FILE", m_settings.filePath(QStringLiteral("store.ini")).toLocal8Bit());
        SetMessageResponder([this](const Message& m) {
            m_messages << m;
            return MsgAnswer::Ok;
        });
    }
    void init()
    {
        m_messages.clear();
        SharedVersions() = {};
    }
    void cleanup()
    {
        SetModalResponder({});
        SetFolderResponder({});
        Forms::Unload<NxUpdate>();
        Forms::Unload<NxSetup>();
        Forms::Unload<EnterMacAddr>();
        Forms::Flush();
    }

    void entryIsUpperCasedAsTyped()
    {
        EnterMacAddr& d = Forms::Get<EnterMacAddr>();
        QCOMPARE(d.windowTitle(), QStringLiteral("Enter EUI48 (MAC) Address"));
        QVERIFY(d.NewAddrL->isReadOnly());
        QCOMPARE(d.NewAddrL->text(), QStringLiteral("0050C2"));
        d.show();
        QTest::keyClicks(d.NewAddr, QStringLiteral("5a3abcd"));
        QCOMPARE(d.NewAddr->text(), QStringLiteral("5A3ABC"));
        QCOMPARE(d.NewAddr->cursorPosition(), 6);
        d.close(); // the window system's close is Cancel, and the dialog is only hidden
        QVERIFY(d.Cancelled && !d.isVisible() && Forms::IsLoaded<EnterMacAddr>());
        d.OKButton->click();
        QVERIFY(!d.Cancelled);
    }

    void macProgrammingLoop()
    {
        talixsim::DeviceState state = talixsim::makeDevice(0, talixsim::Preset::Rules);
        state.mac = talixsim::placeholderMac(0);
        SimDevice dev(kLocalPort, state);
        dev.faults([](talixsim::Faults& f) { f.restartSilentMs = 0; });
        // Entries as the user types them, one per showing of the dialog; afterwards OK as it is.
        const QStringList entries{"12345", "5A2FFF", "5A4000", "5A3G00", "5a3abc"};
        int shown = 0;
        QStringList seenInDialog;
        SetModalResponder([&](QWidget& w) {
            auto& d = static_cast<EnterMacAddr&>(w);
            seenInDialog << d.NewAddr->text();
            const QString next = entries.value(shown++);
            if (!next.isEmpty()) {
                d.NewAddr->clear();
                QTest::keyClicks(d.NewAddr, next);
            }
            if (next == "5a3abc") // the first MAC command is rejected
                dev.faults([](talixsim::Faults& f) { f.nackNext = 1; });
            d.OKButton->click();
        });

        openSetup(dev, true);
        const QString length = "MAC Address must be 12 hexadecimal digits long.";
        const QString range = "Invalid MAC Address.  It must be in the range 5A3000 - 5A3FFF.";
        QStringList texts;
        for (const auto& m : m_messages)
            texts << m.text;
        QCOMPARE(texts.mid(0, 4), (QStringList{length, range, range, range}));
        QCOMPARE(m_messages.value(4).title, QStringLiteral("Communications Error")); // the rejection
        QCOMPARE(m_messages.size(), 5);
        QCOMPARE(seenInDialog.mid(0, 1), QStringList{""});
        QCOMPARE(seenInDialog.value(5), QStringLiteral("5A3ABC")); // shown again as it was

        const QByteArray expected = QByteArray::fromHex("584D0050C25A3ABC");
        QList<QByteArray> macs;
        for (const auto& d : dev.received())
            if (isCommand(d, "XM"))
                macs << d;
        QCOMPARE(macs.size(), 2);
        QCOMPARE(macs[0], macs[1]);
        QVERIFY(macs[0].startsWith(expected));
        QCOMPARE(dev.received().last(), QByteArray::fromHex("5850BDFE9B"));
        QCOMPARE(dev.fleet.device(dev.index).mac, (talixsim::Mac{0x00, 0x50, 0xC2, 0x5A, 0x3A, 0xBC}));
    }

    void cancelAtTheFirstDialogSendsNothing()
    {
        talixsim::DeviceState state = talixsim::makeDevice(0, talixsim::Preset::Rules);
        state.mac = talixsim::placeholderMac(0);
        SimDevice dev(kLocalPort, state);
        SetModalResponder([](QWidget& w) { static_cast<EnterMacAddr&>(w).CancelButton->click(); });
        openSetup(dev, true);
        QTest::qWait(50);
        QCOMPARE(countOf(dev.received(), "XM") + countOf(dev.received(), "XP"), 0);
        QCOMPARE(dev.fleet.device(dev.index).mac, talixsim::placeholderMac(0));
    }

    void cancelledFolderChoiceAndCancelInTheUpdateWindow()
    {
        SimDevice dev(kLocalPort);
        NxSetup& s = openSetup(dev, false);
        QTRY_COMPARE(s.FirmVer->text(), QStringLiteral("1.0.11"));
        dev.fleet.clearTraffic();

        // No folder chosen: the update window goes, nothing is read.
        SetFolderResponder([](const FolderRequest&) { return QString(); });
        s.cmdPgmProgram->click();
        QVERIFY(!Forms::IsLoaded<NxUpdate>());
        QVERIFY(s.isEnabled());

        // Cancel in the update window: nothing goes to the device but the fresh read.
        QTemporaryDir dir;
        QFile f(dir.filePath("FIRM.bin"));
        f.open(QIODevice::WriteOnly);
        f.write(talixsim::makeUpdateFile(talixsim::Region::Firmware, {1, 0, 17}, 640));
        f.close();
        SetFolderResponder([&](const FolderRequest&) { return dir.path(); });
        QPoint placed, setupAt = QPoint(s.Left(), s.Top());
        bool setupEnabled = true;
        QTimer::singleShot(50, [&] {
            NxUpdate& u = Forms::Get<NxUpdate>();
            placed = QPoint(u.Left(), u.Top());
            setupEnabled = s.isEnabled();
            QCOMPARE(u.HdweVer->text(), s.HdweVer->text());
            QCOMPARE(u.DeviceIP(), dev.ip);
            u.cmdCancel->click();
        });
        s.cmdPgmProgram->click();
        QVERIFY(!setupEnabled);
        QCOMPARE(placed, setupAt + QPoint(360, 360));
        QVERIFY(!Forms::IsLoaded<NxUpdate>());
        QVERIFY(s.isEnabled());
        QVERIFY(dev.fleet.waitForReplies(1, std::chrono::seconds(2)));
        QCOMPARE(dev.received(), QList<QByteArray>{QByteArray("XQ")});
    }

    // A Rules device on firmware 1.0.11 gets 1.0.17 through the windows and is read again in the
    // Login layout.
    void firmwareUpdateThroughTheWindows()
    {
        talixsim::DeviceState state = talixsim::makeDevice(0, talixsim::Preset::Rules);
        state.userPrompt = QStringLiteral("login:");
        state.username = QStringLiteral("operator");
        SimDevice dev(kLocalPort, state);
        NxSetup& s = openSetup(dev, false);
        QTRY_COMPARE(s.FirmVer->text(), QStringLiteral("1.0.11"));
        QCOMPARE(s.UserPrompt->text(), QString());

        QTemporaryDir dir;
        QFile f(dir.filePath("FIRM.bin"));
        f.open(QIODevice::WriteOnly);
        f.write(talixsim::makeUpdateFile(talixsim::Region::Firmware, {1, 0, 17}, 2048));
        f.close();
        SetFolderResponder([&](const FolderRequest&) { return dir.path(); });
        QString finalStatus;
        QTimer::singleShot(50, [&] {
            NxUpdate& u = Forms::Get<NxUpdate>();
            u.cmdUpdate->click(); // runs the whole update
            finalStatus = u.lblStatus->text();
            u.cmdUpdate->click(); // Close
        });
        s.cmdPgmProgram->click();
        QCOMPARE(finalStatus, QStringLiteral("Update was completed successfully."));
        QTRY_COMPARE(s.FirmVer->text(), QStringLiteral("1.0.17"));
        QCOMPARE(s.UserPrompt->text(), QStringLiteral("login:"));
        QCOMPARE(s.Username->text(), QStringLiteral("operator"));
        QVERIFY(m_messages.isEmpty());
    }
};

QTEST_MAIN(TestNxSetupUpdate)
#include "test_nxsetup_update.moc"
