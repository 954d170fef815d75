#include "nxsetup.h"

#include "byvant.h"
#include "controls.h"
#include "dialogs.h"
#include "rig.h"
#include "settingsfile.h"
#include "wait.h"
#include "windows.h"

#include <QComboBox>
#include <QFile>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace brevion;
using support::window;

class TestNxSetup : public QObject {
    Q_OBJECT

    support::Boxes boxes;
    std::unique_ptr<support::Rig> rig;
    QTemporaryDir dir;
    std::vector<FileDialogRequest> dialogs;
    std::optional<QString> chosen;

    // A simulated device, read into the window through Init.
    NxSetup& openDevice(const talixsim::DeviceState& device)
    {
        rig = std::make_unique<support::Rig>(std::vector{device});
        NxSetup& w = window<NxSetup>();
        w.IPAddr->setText(rig->ip());
        w.Init();
        [[maybe_unused]] const bool read = support::waitUntil([&] { return w.PendingOp() == 0; }, 3000);
        return w;
    }

    QStringList texts() const
    {
        QStringList out;
        for (const Message& m : boxes.shown)
            out << m.title + '|' + m.text;
        return out;
    }

private slots:
    void initTestCase() { SetNetwork({support::freeUdpPort(), support::freeUdpPort(), QStringLiteral("127.0.0.1")}); }

    void init()
    {
        boxes.clear();
        dialogs.clear();
        SharedVersions() = {};
        support::answerBoxes(boxes);
        SetFileResponder([this](const FileDialogRequest& r) {
            dialogs.push_back(r);
            return chosen;
        });
    }

    void cleanup()
    {
        Forms::Unload<ByVant>();
        Forms::Unload<NxSetup>();
        Forms::Flush();
        rig.reset();
    }

    void addressModeSwitchRefillsTheDhcpAddress()
    {
        NxSetup& w = window<NxSetup>();
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
        NxSetup& w = window<NxSetup>();
        for (auto [box, length] : {std::pair{w.NetName, 16}, {w.IPAddr, 15}, {w.UDPPort, 5}, {w.PassPrompt, 32},
                                   {w.Username, 64}}) {
            SetWholeText(box, QString(80, QLatin1Char('7')));
            QFocusEvent event(QEvent::FocusIn, Qt::TabFocusReason);
            QCoreApplication::sendEvent(box, &event);
            QTRY_COMPARE(box->selectionLength(), length);
        }
    }

    void typedWordOpensTheCredits()
    {
        NxSetup& w = window<NxSetup>();
        QTest::keyClicks(w.NetName, QStringLiteral("xxcReD"));
        QVERIFY(!Forms::IsLoaded<ByVant>());
        QTest::keyClicks(w.cmdRead, QStringLiteral("iTs")); // keys a button does not take count once
        QVERIFY(Forms::IsVisible<ByVant>());
        QCOMPARE(w.NetName->text(), QStringLiteral("xxcReD")); // the keys reach the control unchanged
    }

    void readFillsTheWindow_data()
    {
        QTest::addColumn<talixsim::Preset>("preset");
        QTest::newRow("Basic") << talixsim::Preset::Basic;
        QTest::newRow("Rules") << talixsim::Preset::Rules;
        QTest::newRow("Login") << talixsim::Preset::Login;
    }

    // Fields the layout lacks, and a rate the list does not offer, leave the controls as they were.
    void readFillsTheWindow()
    {
        QFETCH(talixsim::Preset, preset);
        talixsim::DeviceState device = talixsim::makeDevice(0, preset);
        device.dhcp = false;
        device.baud = 12345;
        device.handshaking = 2;
        device.rules[0] = {0xC0A80114, 23, 7, 60};
        device.username = QStringLiteral("operator");
        NxSetup& w = window<NxSetup>();
        w.BaudRate->setCurrentIndex(3);
        w.UDPPort->setText(QStringLiteral("55"));
        w.Username->setText(QStringLiteral("before"));
        openDevice(device);
        QVERIFY(boxes.shown.empty());
        QVERIFY(w.StaticIP->isChecked() && w.IPAddr->isEnabled());
        const QStringList shown{w.IPAddr->text(), w.NetName->text(), w.IPPort->text(), w.BaudRate->currentText(),
                                w.Handshaking->currentText(), w.HdweVer->text()};
        QCOMPARE(shown, (QStringList{"127.0.0.2", "TALIX-1", "10001", "4800", "Software (XON/XOFF)", "1.2"}));
        const bool rules = preset != talixsim::Preset::Basic;
        QCOMPARE(w.UDPPort->text(), rules ? QStringLiteral("10002") : QStringLiteral("55"));
        QCOMPARE(w.Username->text(), preset == talixsim::Preset::Login ? "operator" : "before");
        QCOMPARE(w.OutCount, qint16(rules ? 1 : 0));
        QCOMPARE(w.OutCnct->item(1, 1)->text().startsWith("Connect to 192.168.1.20, Port 23"), rules);
        QCOMPARE(w.OutCnct->rowHeight(1) > w.OutCnct->rowHeight(2), rules); // fitted to the wrapped sentence
    }

    // The window's values reach the device in the layout it speaks; an empty UDP port goes as 0.
    void sendSavesTheWindowsValues()
    {
        NxSetup& w = openDevice(talixsim::makeDevice(0, talixsim::Preset::Login));
        w.NetName->setText(QStringLiteral("Renamed"));
        w.Password->setText(QStringLiteral("s3cret"));
        w.UDPPort->clear();
        w.cmdSend->click();
        QCOMPARE(w.UDPPort->text(), QStringLiteral("0"));
        QVERIFY(support::waitUntil([&] { return w.PendingOp() == 0; }, 3000));
        QCOMPARE(boxes.shown.size(), size_t(1));
        QCOMPARE(boxes.shown[0].title, QStringLiteral("Save Settings"));
        const talixsim::DeviceState& device = rig->fleet.device(0);
        QCOMPARE(QStringList({device.name, device.password}), QStringList({"Renamed", "s3cret"}));
        QCOMPARE(device.udpPort, quint16(0));
    }

    void sendRefusesValuesTheDeviceCannotHold_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("field");
        QTest::newRow("TCP port too large") << "IPPort" << "65536" << "TCP Port to accept connections";
        QTest::newRow("static gateway") << "Gateway" << "1.2.3.256" << "Default Gateway";
        QTest::newRow("no handshaking") << "Handshaking" << "" << "Handshaking";
        QTest::newRow("password with a euro") << "Password" << "pw\u20ac" << "Password";
    }

    void sendRefusesValuesTheDeviceCannotHold()
    {
        QFETCH(QString, control);
        QFETCH(QString, value);
        QFETCH(QString, field);
        NxSetup& w = openDevice(talixsim::makeDevice(0, talixsim::Preset::Login));
        w.StaticIP->click();
        const int before = rig->received();
        if (auto* box = w.findChild<QLineEdit*>(control))
            SetWholeText(box, value);
        else
            w.findChild<QComboBox*>(control)->setCurrentIndex(-1);
        w.cmdSend->click();
        QCOMPARE(texts().size(), 1);
        QVERIFY2(texts()[0].startsWith("Invalid Value|The value of \"" + field + "\""), qPrintable(texts()[0]));
        QCOMPARE(w.PendingOp(), qint16(0));
        QCOMPARE(rig->received(), before);
    }

    // Every value control lands on its line of the file, and a fresh window loads them all back.
    void saveAndLoadIntoAnotherWindow()
    {
        NxSetup& w = window<NxSetup>();
        w.StaticIP->click();
        for (auto [name, text] : {std::pair{"IPAddr", "1.2.3.4"}, {"SubnetMask", "255.0.0.0"}, {"Gateway", "1.2.3.1"},
                                  {"NetName", "Boiler"}, {"IPPort", "40000"}, {"UDPPort", "40001"},
                                  {"UserPrompt", "login:"}, {"PassPrompt", "pw:"}, {"Username", "op"},
                                  {"Password", "pa\"ss"}})
            w.findChild<QLineEdit*>(name)->setText(text);
        w.BaudRate->setCurrentIndex(8);
        w.Handshaking->setCurrentIndex(2);
        OutRuleTable rules;
        rules.OutRules[2] = {"10.0.0.6", 2101, OUT_TCP, 30};
        rules.OutCount = 1;
        w.ShowRules(rules, {"", "", "second"});
        chosen = dir.filePath("copy.TALIX");
        w.cmdSave->click();
        QCOMPARE(dialogs.at(0).title, QStringLiteral("Save TALIX Settings"));
        QCOMPARE(texts(), QStringList{"Save Settings|Settings were successfully saved to:\r\n" + *chosen});
        QFile file(*chosen);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromLatin1(file.readAll()).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.mid(0, 10), (QStringList{"#FALSE#", "\"1.2.3.4\"", "\"255.0.0.0\"", "\"1.2.3.1\"", "\"Boiler\"",
                                               "\"40000\"", "8", "2", "\"40001\"", "1"}));
        QCOMPARE(lines.mid(15, 5), (QStringList{"\"second\"", "\"10.0.0.6\"", "2101", "1", "30"}));
        QCOMPARE(lines.mid(70, 4), (QStringList{"\"login:\"", "\"pw:\"", "\"op\"", "\"pa\"\"ss\""}));

        const SettingsFileValues saved = w.ToFileValues();
        Forms::Unload<NxSetup>();
        Forms::Flush();
        window<NxSetup>().cmdLoad->click();
        QCOMPARE(dialogs.at(1).title, QStringLiteral("Load TALIX Settings"));
        QVERIFY(window<NxSetup>().ToFileValues() == saved);
        QVERIFY(window<NxSetup>().IPAddr->isEnabled()); // the option's click handler ran
        QCOMPARE(boxes.shown.size(), size_t(1));
    }

    // A value longer than its box is shown whole, so that Send refuses it; the file's faults are
    // the core's, and the window shows one box for each and changes nothing.
    void fileFailuresAndLongValues()
    {
        SettingsFileValues v;
        v.NetName = "seventeen chars!!";
        v.IPPort = "10001";
        v.BaudRate = v.Handshaking = 0;
        chosen = dir.filePath("long.TALIX");
        QVERIFY(!SaveSettingsFile(*chosen, v));
        NxSetup& w = window<NxSetup>();
        w.cmdLoad->click();
        w.cmdSend->click();
        QFile f(*chosen);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("#TRUE#\r\n") > 0);
        f.close();
        boxes.answers = {MsgAnswer::No};
        w.cmdSave->click(); // not replaced
        w.cmdLoad->click();
        chosen = dir.filePath("missing/x.TALIX");
        w.cmdSave->click();
        QCOMPARE(w.NetName->text(), QStringLiteral("seventeen chars!!"));
        QCOMPARE(w.PendingOp(), qint16(0));
        const QStringList shown = texts();
        QCOMPARE(shown.size(), 4);
        QVERIFY(shown[0].startsWith("Invalid Value|The value of \"Device Name\""));
        QCOMPARE(shown[1], QStringLiteral("File Exists!|Overwrite existing file?"));
        QCOMPARE(shown[2], "Load Settings|" + dir.filePath("long.TALIX") +
                               "\r\nis not a valid settings file. Nothing was loaded.\r\n"
                               "Line 2: the file ends after 1 of 74 lines.");
        QVERIFY(shown[3].startsWith("Save Settings|Settings could not be saved to:\r\n" + *chosen + "\r\n"));
    }

    void closeHidesAndUnloadFreesThePort()
    {
        NxSetup& w = window<NxSetup>();
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
