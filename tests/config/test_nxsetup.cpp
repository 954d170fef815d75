#include "nxsetup.h"

#include "byvant.h"
#include "deviceprotocol.h"
#include "fleet.h"
#include "forms.h"
#include "msgbox.h"
#include "networksettings.h"
#include "nxfns.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

#include <deque>

using namespace brevion;
using namespace std::chrono_literals;

namespace {

constexpr quint16 kFleetPort = 24330;
constexpr quint16 kLocalPort = 24331;

} // namespace

class TestNxSetup : public QObject {
    Q_OBJECT

private:
    std::vector<Message> shown;
    std::deque<MsgAnswer> answers;
    std::unique_ptr<talixsim::Fleet> fleet;

    NxSetup& window() { return Forms::Get<NxSetup>(); }

    // A simulated device 127.0.0.2 of the given preset, read into the window through Init.
    void openDevice(talixsim::Preset preset, talixsim::DeviceState* state = nullptr,
                    const talixsim::Faults& faults = {})
    {
        fleet = std::make_unique<talixsim::Fleet>(talixsim::FleetOptions{kFleetPort});
        talixsim::DeviceState device = state ? *state : talixsim::makeDevice(0, preset);
        fleet->addDevice(device);
        fleet->setFaults(0, faults);
        QVERIFY(fleet->start());
        NxSetup& w = window();
        w.NetName->setText(device.name);
        w.IPAddr->setText(talixsim::ipToText(device.address));
        w.Init();
        QVERIFY(QTest::qWaitFor([&] { return w.PendingOp() == 0; }, 3000));
    }

    void focus(QWidget* widget)
    {
        QFocusEvent event(QEvent::FocusIn, Qt::TabFocusReason);
        QCoreApplication::sendEvent(widget, &event);
    }

private slots:
    void init()
    {
        shown.clear();
        answers.clear();
        SharedVersions() = {};
        SetNetwork({kFleetPort, kLocalPort, QStringLiteral("127.0.0.1")});
        SetMessageResponder([this](const Message& m) {
            shown.push_back(m);
            if (answers.empty())
                return m.buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
            const MsgAnswer a = answers.front();
            answers.pop_front();
            return a;
        });
    }

    void cleanup()
    {
        Forms::Unload<ByVant>();
        Forms::Unload<NxSetup>();
        Forms::Flush();
        fleet.reset();
        SetMessageResponder({});
    }

    void addressModeSwitch()
    {
        NxSetup& w = window();
        w.Exchange().SetDeviceIP(QStringLiteral("127.0.0.2"));
        w.DhcpAddr->setText(QStringLiteral("10.0.0.1"));
        w.StaticIP->click();
        QVERIFY(w.IPAddr->isEnabled() && w.lblGateway->isEnabled());
        QVERIFY(!w.DhcpAddr->isEnabled());
        QCOMPARE(w.DhcpAddr->text(), QString());
        w.DHCP->click();
        QVERIFY(!w.IPAddr->isEnabled() && !w.lblGateway->isEnabled());
        QCOMPARE(w.DhcpAddr->text(), QStringLiteral("127.0.0.2"));
    }

    void focusSelectsTheFieldLength()
    {
        NxSetup& w = window();
        const struct {
            QLineEdit* box;
            int length;
        } cases[] = {{w.NetName, 16}, {w.IPPort, 5}, {w.UserPrompt, 32}, {w.Password, 64}};
        for (const auto& c : cases) {
            c.box->setText(QString(c.box->maxLength(), QLatin1Char('7')));
            c.box->deselect();
            focus(c.box);
            QTRY_COMPARE(c.box->selectionLength(), c.length);
            QCOMPARE(c.box->selectionStart(), 0);
        }
        w.NetName->setText(QStringLiteral("abc"));
        focus(w.NetName);
        QTRY_COMPARE(w.NetName->selectedText(), QStringLiteral("abc"));
    }

    void typedWordOpensTheCreditsOnce()
    {
        NxSetup& w = window();
        QTest::keyClicks(w.NetName, QStringLiteral("xxcReD"));
        QVERIFY(!Forms::IsLoaded<ByVant>());
        // Keys a button does not take travel on to the window: still one key each.
        QTest::keyClicks(w.cmdRead, QStringLiteral("iTs"));
        QVERIFY(Forms::IsVisible<ByVant>());
        QCOMPARE(w.TypedKeys, QStringLiteral("CREDITS"));
        QCOMPARE(w.NetName->text(), QStringLiteral("xxcReD")); // the keys reach the control unchanged
        Forms::Get<ByVant>().cmdOK->click();
        Forms::Flush();
        QVERIFY(!Forms::IsLoaded<ByVant>());
        QTest::keyClicks(w.UserPrompt, QStringLiteral("s"));
        QVERIFY(!Forms::IsLoaded<ByVant>());
    }

    void readFillsTheWindow_data()
    {
        QTest::addColumn<int>("preset");
        QTest::newRow("Basic") << int(talixsim::Preset::Basic);
        QTest::newRow("Rules") << int(talixsim::Preset::Rules);
        QTest::newRow("Login") << int(talixsim::Preset::Login);
    }

    void readFillsTheWindow()
    {
        QFETCH(int, preset);
        const auto p = talixsim::Preset(preset);
        talixsim::DeviceState device = talixsim::makeDevice(0, p);
        device.dhcp = false;
        device.baud = 38400;
        device.rules[0] = {0xC0A80114, 23, 7, 60};
        device.rules[1] = {0xC0A80115, 0, 3, 0};
        device.username = QStringLiteral("operator");
        NxSetup& w = window();
        w.UDPPort->setText(QStringLiteral("55"));
        w.Username->setText(QStringLiteral("before"));
        openDevice(p, &device);
        QVERIFY(shown.empty());
        QVERIFY(w.StaticIP->isChecked() && w.IPAddr->isEnabled());
        QCOMPARE(w.IPAddr->text(), QStringLiteral("127.0.0.2"));
        QCOMPARE(w.NetName->text(), QStringLiteral("TALIX-1"));
        QCOMPARE(w.IPPort->text(), QStringLiteral("10001"));
        QCOMPARE(w.BaudRate->currentText(), QStringLiteral("38400"));
        QCOMPARE(w.HdweVer->text(), QStringLiteral("1.2"));
        QCOMPARE(SharedVersions().FirmVersion, qint32(talixsim::versionValue(device.firm)));
        const bool rules = p != talixsim::Preset::Basic;
        QCOMPARE(w.UDPPort->text(), rules ? QStringLiteral("10002") : QStringLiteral("55"));
        QCOMPARE(w.Username->text(), p == talixsim::Preset::Login ? QStringLiteral("operator") : QStringLiteral("before"));
        QCOMPARE(w.OutCount, qint16(rules ? 1 : 0));
        const QString sentence = w.OutCnct->item(1, 1)->text();
        QCOMPARE(sentence.startsWith(QStringLiteral("Connect to 192.168.1.20, Port 23")), rules);
        QCOMPARE(w.OutCnct->item(2, 1)->text(), QString());
        QCOMPARE(w.OutCnct->rowHeight(1) > w.OutCnct->rowHeight(2), rules); // fitted to the wrapped sentence
    }

    void sendSavesAndRestartsTheDevice()
    {
        talixsim::Faults faults;
        faults.restartSilentMs = 50;
        openDevice(talixsim::Preset::Login, nullptr, faults);
        NxSetup& w = window();
        w.NetName->setText(QStringLiteral("Renamed"));
        w.IPPort->setText(QStringLiteral("2101"));
        answers = {MsgAnswer::Yes, MsgAnswer::Ok};
        w.cmdSend->click();
        QTRY_COMPARE_WITH_TIMEOUT(shown.size(), size_t(2), 4000);
        QCOMPARE(shown[0].title, QStringLiteral("Save Settings"));
        QCOMPARE(shown[1].title, QStringLiteral("Reboot"));
        QVERIFY(QTest::qWaitFor([&] { return !fleet->isRestarting(0); }, 2000));
        w.NetName->clear();
        w.IPPort->clear();
        w.cmdRead->click();
        QTRY_COMPARE_WITH_TIMEOUT(w.NetName->text(), QStringLiteral("Renamed"), 3000);
        QCOMPARE(w.IPPort->text(), QStringLiteral("2101"));
    }

    void sendRefusesValuesTheDeviceCannotHold_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("field");
        QTest::newRow("TCP port too large") << "IPPort" << "65536" << "TCP Port to accept connections";
        QTest::newRow("UDP port") << "UDPPort" << "7x" << "Port to listen for UDP packets";
        QTest::newRow("static address") << "IPAddr" << "10.0.0" << "IP Address";
        QTest::newRow("static mask") << "SubnetMask" << "" << "Subnet Mask";
        QTest::newRow("static gateway") << "Gateway" << "1.2.3.256" << "Default Gateway";
        QTest::newRow("no baud rate") << "BaudRate" << "" << "Baud rate";
        QTest::newRow("no handshaking") << "Handshaking" << "" << "Handshaking";
        QTest::newRow("password with a euro") << "Password" << "pw\u20ac" << "Password";
    }

    void sendRefusesValuesTheDeviceCannotHold()
    {
        QFETCH(QString, control);
        QFETCH(QString, value);
        QFETCH(QString, field);
        openDevice(talixsim::Preset::Login);
        NxSetup& w = window();
        w.StaticIP->click();
        fleet->clearTraffic();
        if (auto* box = w.findChild<QLineEdit*>(control))
            box->setText(value);
        else
            w.findChild<QComboBox*>(control)->setCurrentIndex(-1);
        w.cmdSend->click();
        QCOMPARE(shown.size(), size_t(1));
        QCOMPARE(shown[0].title, QStringLiteral("Invalid Value"));
        QVERIFY2(shown[0].text.contains(QLatin1Char('"') + field + QLatin1Char('"')), qPrintable(shown[0].text));
        QCOMPARE(w.PendingOp(), qint16(0));
        QVERIFY(fleet->traffic().empty());
    }

    void emptyUdpPortIsSentAsZero()
    {
        openDevice(talixsim::Preset::Rules);
        NxSetup& w = window();
        w.UDPPort->clear();
        w.cmdSend->click();
        QCOMPARE(w.UDPPort->text(), QStringLiteral("0"));
        QVERIFY(QTest::qWaitFor([&] { return w.PendingOp() == 0; }, 3000));
        QCOMPARE(shown.size(), size_t(1));
        QCOMPARE(shown[0].title, QStringLiteral("Save Settings"));
        QCOMPARE(fleet->device(0).udpPort, quint16(0));
    }

    void closeHidesAndUnloadEndsTheExchange()
    {
        NxSetup& w = window();
        w.show();
        w.Exchange().SetDeviceIP(QStringLiteral("127.0.0.2"));
        w.cmdRead_Click();
        QVERIFY(w.Exchange().Timer1().Enabled());
        w.cmdExit->click();
        QVERIFY(!w.isVisible());
        QVERIFY(Forms::IsLoaded<NxSetup>());
        w.Form_Unload();
        QVERIFY(!w.Exchange().Timer1().Enabled());
        QVERIFY(!w.Exchange().Winsock1().IsBound());
    }
};

QTEST_MAIN(TestNxSetup)
#include "test_nxsetup.moc"
