// Rules and settings files end to end: the wizard, the rule list, Send and Read against simulated
// devices on loopback, and a settings file carried from one device to another.
#include "nxsetup.h"

#include "boxes.h"
#include "msgbox.h"
#include "dialogs.h"
#include "rig.h"
#include "wait.h"
#include "windows.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace brevion;
using support::window;
using Kind = support::RuleAnswer::Kind;

class TestRulesAcceptance : public QObject {
    Q_OBJECT
    std::unique_ptr<support::Rig> rig;
    support::Boxes boxes;
    QTemporaryDir dir;

    // Opens device n in a fresh configuration window, as the discovery window does.
    void open(int n)
    {
        Forms::Unload<NxSetup>();
        Forms::Flush();
        NxSetup& w = window<NxSetup>();
        w.IPAddr->setText(rig->ip(n));
        w.Init();
        QVERIFY(support::waitUntil([&] { return w.PendingOp() == 0; }));
        QCOMPARE(w.NetName->text(), rig->fleet.device(n).name);
    }
    void send()
    {
        boxes.clear(); // a Yes/No box (restart?) is answered No
        window<NxSetup>().cmdSend->click();
        QVERIFY(support::waitUntil([&] { return window<NxSetup>().PendingOp() == 0; }));
        QCOMPARE(boxes.shown.size(), size_t(1));
        QCOMPARE(boxes.shown[0].title, QStringLiteral("Save Settings"));
    }

private slots:
    void initTestCase()
    {
        talixsim::DeviceState other = talixsim::makeDevice(1, talixsim::Preset::Login);
        other.name = "Other";
        other.udpPort = 5;
        rig = std::make_unique<support::Rig>(std::vector{talixsim::makeDevice(0, talixsim::Preset::Login), other});
        support::answerBoxes(boxes);
    }
    void cleanupTestCase()
    {
        Forms::Unload<NxSetup>();
        Forms::Flush();
        brevion::SetMessageResponder({});
        SetFileResponder({});
        rig.reset();
    }

    void rulesBuiltInTheWizardReachTheDeviceAndComeBack()
    {
        open(0);
        support::addRule({"10.0.0.5", 5000, Kind::Udp});
        support::addRule({"10.0.0.6", 23, Kind::TcpPowerup, 0, true});
        support::addRule({"10.0.0.7", 4000, Kind::TcpSerial, 30});
        support::clickRow(window<NxSetup>().OutCnct, 2);
        window<NxSetup>().cmdRemove->click();
        send();
        const auto& rules = rig->fleet.device(0).rules;
        QCOMPARE(rules[0], (talixsim::Rule{talixsim::ipFromText("10.0.0.5"), 5000, 0, 0}));
        QCOMPARE(rules[1], (talixsim::Rule{talixsim::ipFromText("10.0.0.7"), 4000, OUT_TCP, 30}));
        QCOMPARE(rules[2].port, quint16(0));
        open(0);
        QCOMPARE(window<NxSetup>().OutCount, qint16(2));
        QCOMPARE(window<NxSetup>().OutCnct->item(2, 1)->text(),
                 "Connect to 10.0.0.7, Port 4000, using TCP when incoming data is detected on the serial port. Remain "
                 "connected until 30 seconds of inactivity.");
    }

    void aSettingsFileCopiesOneDeviceToAnother()
    {
        const QString path = dir.filePath("copy.TALIX");
        SetFileResponder([path](const FileDialogRequest&) { return std::optional<QString>(path); });
        open(0);
        window<NxSetup>().Password->setText("secret");
        window<NxSetup>().cmdSave->click();
        QCOMPARE(boxes.shown.back().text, "Settings were successfully saved to:\r\n" + path);
        open(1);
        boxes.clear();
        window<NxSetup>().cmdLoad->click();
        QVERIFY(boxes.shown.empty());
        send();
        talixsim::DeviceState copy = rig->fleet.device(1), original = rig->fleet.device(0);
        QVERIFY(copy.address != original.address);
        copy.address = original.address, copy.mac = original.mac; // its identity stays its own
        QCOMPARE(copy.password, QStringLiteral("secret"));
        original.password = copy.password;
        QVERIFY(copy == original);
    }
};

QTEST_MAIN(TestRulesAcceptance)
#include "test_rules_acceptance.moc"
