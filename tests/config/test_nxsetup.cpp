#include "nxsetup.h"

#include "byvant.h"
#include "controls.h"
#include "devicelink.h"
#include "fleet.h"
#include "forms.h"
#include "msgbox.h"
#include "networksettings.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

using namespace brevion;

namespace {

constexpr quint16 kFleetPort = 24330;
constexpr quint16 kLocalPort = 24331;

NxSetup& window() { return Forms::Get<NxSetup>(); }

} // namespace

class TestNxSetup : public QObject {
    Q_OBJECT

    std::vector<Message> shown;
    std::unique_ptr<talixsim::Fleet> fleet;

    // A simulated device 127.0.0.2, read into the window through Init.
    void openDevice(const talixsim::DeviceState& device)
    {
        fleet = std::make_unique<talixsim::Fleet>(talixsim::FleetOptions{kFleetPort});
        fleet->addDevice(device);
        QVERIFY(fleet->start());
        window().IPAddr->setText(talixsim::ipToText(device.address));
        window().Init();
        QVERIFY(QTest::qWaitFor([] { return window().PendingOp() == 0; }, 3000));
    }

private slots:
    void init()
    {
        shown.clear();
        SharedVersions() = {};
        SetNetwork({kFleetPort, kLocalPort, QStringLiteral("127.0.0.1")});
        SetMessageResponder([this](const Message& m) {
            shown.push_back(m);
            return m.buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
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

    void addressModeSwitchRefillsTheDhcpAddress()
    {
        NxSetup& w = window();
        w.Exchange().SetDeviceIP(QStringLiteral("127.0.0.2"));
        w.DhcpAddr->setText(QStringLiteral("10.0.0.1"));
        w.StaticIP->click();
        QVERIFY(w.IPAddr->isEnabled() && w.lblGateway->isEnabled() && !w.DhcpAddr->isEnabled());
        QCOMPARE(w.DhcpAddr->text(), QString());
        w.DHCP->click();
        QVERIFY(!w.IPAddr->isEnabled() && !w.lblGateway->isEnabled());
        QCOMPARE(w.DhcpAddr->text(), QStringLiteral("127.0.0.2"));
    }

    void focusSelectsTheFieldLength()
    {
        NxSetup& w = window();
        const std::pair<QLineEdit*, int> cases[] = {{w.NetName, 16}, {w.IPAddr, 15}, {w.Gateway, 15}, {w.UDPPort, 5},
                                                    {w.PassPrompt, 32}, {w.Username, 64}};
        for (auto [box, length] : cases) {
            SetWholeText(box, QString(80, QLatin1Char('7')));
            QFocusEvent event(QEvent::FocusIn, Qt::TabFocusReason);
            QCoreApplication::sendEvent(box, &event);
            QTRY_COMPARE(box->selectionLength(), length);
            QCOMPARE(box->selectionStart(), 0);
        }
    }

    void typedWordOpensTheCreditsOnce()
    {
        NxSetup& w = window();
        QTest::keyClicks(w.NetName, QStringLiteral("xxcReD"));
        QVERIFY(!Forms::IsLoaded<ByVant>());
        QTest::keyClicks(w.cmdRead, QStringLiteral("iTs")); // keys a button does not take count once
        QVERIFY(Forms::IsVisible<ByVant>());
        QCOMPARE(w.NetName->text(), QStringLiteral("xxcReD")); // the keys reach the control unchanged
        Forms::Unload<ByVant>();
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

    // Fields the layout lacks, and a rate the list does not offer, leave the controls as they were.
    void readFillsTheWindow()
    {
        QFETCH(int, preset);
        const auto p = talixsim::Preset(preset);
        talixsim::DeviceState device = talixsim::makeDevice(0, p);
        device.dhcp = false;
        device.baud = 12345;
        device.handshaking = 2;
        device.rules[0] = {0xC0A80114, 23, 7, 60};
        device.username = QStringLiteral("operator");
        NxSetup& w = window();
        w.BaudRate->setCurrentIndex(3);
        w.UDPPort->setText(QStringLiteral("55"));
        w.Username->setText(QStringLiteral("before"));
        openDevice(device);
        QVERIFY(shown.empty());
        QVERIFY(w.StaticIP->isChecked() && w.IPAddr->isEnabled());
        QCOMPARE(w.IPAddr->text(), QStringLiteral("127.0.0.2"));
        QCOMPARE(w.NetName->text(), QStringLiteral("TALIX-1"));
        QCOMPARE(w.IPPort->text(), QStringLiteral("10001"));
        QCOMPARE(w.BaudRate->currentText(), QStringLiteral("4800"));
        QCOMPARE(w.Handshaking->currentIndex(), 2);
        QCOMPARE(w.HdweVer->text(), QStringLiteral("1.2"));
        const bool rules = p != talixsim::Preset::Basic;
        QCOMPARE(w.UDPPort->text(), rules ? QStringLiteral("10002") : QStringLiteral("55"));
        QCOMPARE(w.Username->text(), p == talixsim::Preset::Login ? QStringLiteral("operator") : QStringLiteral("before"));
        QCOMPARE(w.OutCount, qint16(rules ? 1 : 0));
        QCOMPARE(w.OutCnct->item(1, 1)->text().startsWith(QStringLiteral("Connect to 192.168.1.20, Port 23")), rules);
        QCOMPARE(w.OutCnct->rowHeight(1) > w.OutCnct->rowHeight(2), rules); // fitted to the wrapped sentence
    }

    // The window's values reach the device in the layout it speaks; an empty UDP port goes as 0.
    void sendSavesTheWindowsValues()
    {
        openDevice(talixsim::makeDevice(0, talixsim::Preset::Login));
        NxSetup& w = window();
        w.NetName->setText(QStringLiteral("Renamed"));
        w.Password->setText(QStringLiteral("s3cret"));
        w.UDPPort->clear();
        w.cmdSend->click();
        QCOMPARE(w.UDPPort->text(), QStringLiteral("0"));
        QVERIFY(QTest::qWaitFor([&] { return w.PendingOp() == 0; }, 3000));
        QCOMPARE(shown.size(), size_t(1));
        QCOMPARE(shown[0].title, QStringLiteral("Save Settings"));
        QCOMPARE(fleet->device(0).name, QStringLiteral("Renamed"));
        QCOMPARE(fleet->device(0).password, QStringLiteral("s3cret"));
        QCOMPARE(fleet->device(0).udpPort, quint16(0));
    }

    void sendRefusesValuesTheDeviceCannotHold_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("field");
        QTest::newRow("TCP port too large") << "IPPort" << "65536" << "TCP Port to accept connections";
        QTest::newRow("UDP port") << "UDPPort" << "7x" << "Port to listen for UDP packets";
        QTest::newRow("static address") << "IPAddr" << "10.0.0" << "IP Address";
        QTest::newRow("static gateway") << "Gateway" << "1.2.3.256" << "Default Gateway";
        QTest::newRow("no baud rate") << "BaudRate" << "" << "Baud rate";
        QTest::newRow("no handshaking") << "Handshaking" << "" << "Handshaking";
        QTest::newRow("name too long") << "NetName" << "seventeen chars!!" << "Device Name";
        QTest::newRow("password with a euro") << "Password" << "pw\u20ac" << "Password";
    }

    void sendRefusesValuesTheDeviceCannotHold()
    {
        QFETCH(QString, control);
        QFETCH(QString, value);
        QFETCH(QString, field);
        openDevice(talixsim::makeDevice(0, talixsim::Preset::Login));
        NxSetup& w = window();
        w.StaticIP->click();
        fleet->clearTraffic();
        if (auto* box = w.findChild<QLineEdit*>(control))
            SetWholeText(box, value);
        else
            w.findChild<QComboBox*>(control)->setCurrentIndex(-1);
        w.cmdSend->click();
        QCOMPARE(shown.size(), size_t(1));
        QCOMPARE(shown[0].title, QStringLiteral("Invalid Value"));
        QVERIFY2(shown[0].text.contains(QLatin1Char('"') + field + QLatin1Char('"')), qPrintable(shown[0].text));
        QCOMPARE(w.PendingOp(), qint16(0));
        QVERIFY(fleet->traffic().empty());
    }

    void closeHidesAndUnloadFreesThePort()
    {
        NxSetup& w = window();
        w.show();
        w.Exchange().SetDeviceIP(QStringLiteral("127.0.0.2"));
        w.cmdRead->click();
        QVERIFY(w.Exchange().Timer1().Enabled && w.Exchange().Link());
        w.cmdExit->click();
        QVERIFY(!w.isVisible() && Forms::IsLoaded<NxSetup>());
        w.Form_Unload();
        QVERIFY(!w.Exchange().Timer1().Enabled && !w.Exchange().Link());
    }
};

QTEST_MAIN(TestNxSetup)
#include "test_nxsetup.moc"
