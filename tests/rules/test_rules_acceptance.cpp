// Rules and settings files end to end: the wizard, the rule list, Send and Read against simulated
// devices on loopback, and a settings file carried from one device to another.

#include "nxfns.h"
#include "nxsetup.h"
#include "wizardscript.h"

#include "deviceversions.h"
#include "fleet.h"
#include "msgbox.h"
#include "networksettings.h"

#include <QLineEdit>
#include <QTableWidget>
#include <QTemporaryDir>

#include <deque>

using namespace brevion;
using wizardscript::Kind;

namespace {

constexpr quint16 kFleetPort = 24400;
constexpr quint16 kLocalPort = 24401;

NxSetup& window()
{
    return Forms::Get<NxSetup>();
}

void addRule(const wizardscript::Answer& answer)
{
    wizardscript::answerWith(answer);
    window().cmdAddNew->click();
    SetModalResponder({});
}

void clickRow(int row)
{
    QTableWidget* grid = window().OutCnct;
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualItemRect(grid->item(row, 1)).center());
}

// The settings a device holds that a user edits (not its identity or versions).
struct Edited {
    talixsim::DeviceState s;
    bool operator==(const Edited& o) const
    {
        return s.name == o.s.name && s.ip == o.s.ip && s.dhcp == o.s.dhcp && s.mask == o.s.mask &&
               s.gateway == o.s.gateway && s.tcpPort == o.s.tcpPort && s.baud == o.s.baud &&
               s.handshaking == o.s.handshaking && s.udpPort == o.s.udpPort &&
               s.rules == o.s.rules && s.userPrompt == o.s.userPrompt &&
               s.passPrompt == o.s.passPrompt && s.username == o.s.username &&
               s.password == o.s.password;
    }
};

} // namespace

class TestRulesAcceptance : public QObject {
    Q_OBJECT

    std::unique_ptr<talixsim::Fleet> fleet;
    std::vector<Message> shown;
    std::deque<MsgAnswer> answers;
    QTemporaryDir dir;

    // Opens device n in a fresh configuration window, as the discovery window does.
    void open(int n)
    {
        Forms::Unload<NxSetup>();
        Forms::Flush();
        const talixsim::DeviceState device = fleet->device(n);
        NxSetup& w = window();
        w.NetName->setText(device.name);
        w.IPAddr->setText(talixsim::ipToText(device.address));
        w.Init();
        QVERIFY(QTest::qWaitFor([&] { return w.PendingOp() == 0; }, 3000));
        QCOMPARE(w.NetName->text(), device.name);
    }

    void send()
    {
        NxSetup& w = window();
        shown.clear();
        answers = {MsgAnswer::No}; // no restart
        w.cmdSend->click();
        QVERIFY(QTest::qWaitFor([&] { return w.PendingOp() == 0; }, 3000));
        QCOMPARE(shown.size(), size_t(1));
        QCOMPARE(shown[0].title, QStringLiteral("Save Settings"));
    }

private slots:
    void initTestCase()
    {
        SetNetwork({kFleetPort, kLocalPort, QStringLiteral("127.0.0.1")});
        fleet = std::make_unique<talixsim::Fleet>(talixsim::FleetOptions{kFleetPort});
        fleet->addDevice(talixsim::makeDevice(0, talixsim::Preset::Login));
        talixsim::DeviceState other = talixsim::makeDevice(1, talixsim::Preset::Login);
        other.name = QStringLiteral("Other");
        other.udpPort = 5;
        fleet->addDevice(other);
        QVERIFY(fleet->start());
        SetMessageResponder([this](const Message& m) {
            shown.push_back(m);
            if (answers.empty())
                return MsgAnswer::Ok;
            const MsgAnswer a = answers.front();
            answers.pop_front();
            return a;
        });
    }
    void cleanupTestCase()
    {
        Forms::Unload<NxSetup>();
        Forms::Flush();
        SetMessageResponder({});
        SetModalResponder({});
        SetFileResponder({});
        fleet.reset();
        SetNetwork({});
    }

    void rulesBuiltInTheWizardReachTheDevice()
    {
        open(0);
        NxSetup& w = window();
        addRule({"10.0.0.5", 5000, Kind::Udp});
        addRule({"10.0.0.6", 23, Kind::TcpPowerup, 0, true});
        addRule({"10.0.0.7", 4000, Kind::TcpSerial, 30});
        clickRow(2);
        w.cmdRemove->click();
        send();

        const talixsim::DeviceState device = fleet->device(0);
        QCOMPARE(device.rules[0], (talixsim::Rule{talixsim::ipFromText("10.0.0.5"), 5000, 0, 0}));
        QCOMPARE(device.rules[1],
                 (talixsim::Rule{talixsim::ipFromText("10.0.0.7"), 4000, OUT_TCP, 30}));
        for (int n = 2; n < 12; ++n)
            QCOMPARE(device.rules[n].port, quint16(0));

        // Read back into a fresh window.
        open(0);
        QCOMPARE(window().OutCount, qint16(2));
        QCOMPARE(window().OutCnct->item(1, 1)->text(), RuleDescription({"10.0.0.5", 5000, 0, 0}));
        QCOMPARE(
            window().OutCnct->item(2, 1)->text(),
            QStringLiteral(
                "Connect to 10.0.0.7, Port 4000, using TCP when incoming data is detected on the "
                "serial port. Remain connected until 30 seconds of inactivity."));
        QCOMPARE(window().OutCnct->item(3, 1)->text(), QString());
    }

    void aSettingsFileCopiesOneDeviceToAnother()
    {
        const QString path = dir.filePath("copy.TALIX");
        SetFileResponder([path](const FileDialogRequest&) { return std::optional<QString>(path); });
        open(0);
        window().Username->setText(QStringLiteral("op"));
        window().Password->setText(QStringLiteral("secret"));
        send();
        shown.clear();
        window().cmdSave->click();
        QCOMPARE(shown.size(), size_t(1));
        QCOMPARE(shown[0].text, "Settings were successfully saved to:\r\n" + path);

        open(1);
        QCOMPARE(window().NetName->text(), QStringLiteral("Other"));
        shown.clear();
        window().cmdLoad->click();
        QVERIFY(shown.empty());
        QCOMPARE(window().NetName->text(), fleet->device(0).name);
        send();
        QVERIFY(Edited{fleet->device(1)} == Edited{fleet->device(0)});
        QCOMPARE(fleet->device(1).rules[1].idleSecs, 30);
        QCOMPARE(fleet->device(1).password, QStringLiteral("secret"));
        QVERIFY(fleet->device(1).address != fleet->device(0).address);
    }
};

QTEST_MAIN(TestRulesAcceptance)
#include "test_rules_acceptance.moc"
