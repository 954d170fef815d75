#include "gui/nxsetup.h"

#include "ui/controls.h"
#include "ui/dialogs.h"
#include "rig.h"
#include "config/settingsfile.h"
#include "engine/devicelink.h"
#include "gui/windowlink.h"
#include "wait.h"
#include "windows.h"

#include <QtTest>
#include <QtWidgets>

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
        w.IPAddr->setText(rig->ip()), w.Init();
        (void)support::waitUntil([&] { return w.PendingOp() == 0; }, 3000);
        return w;
    }

    QStringList texts() const
    {
        QStringList out;
        std::ranges::for_each(boxes.shown, [&](const Message& m) { out << m.title + '|' + m.text; });
        return out;
    }

private slots:
    void initTestCase() { SetNetwork({support::freeUdpPort(), support::freeUdpPort(), QStringLiteral("127.0.0.1")}); }

    void init()
    {
        boxes.clear(), dialogs.clear(), SharedVersions() = {};
        support::answerBoxes(boxes);
        SetFileResponder([this](const FileDialogRequest& r) { return dialogs.push_back(r), chosen; });
    }

    void cleanup() { Forms::Unload<NxSetup>(), Forms::Flush(), rig.reset(); }

    // Without a device: the address options, the field lengths, Close and Unload.
    void controlsWithoutADevice()
    {
        NxSetup& w = window<NxSetup>();
        w.show(), w.Exchange().SetDeviceIP(QStringLiteral("127.0.0.2"));
        w.DhcpAddr->setText(QStringLiteral("10.0.0.1")), w.StaticIP->click();
        QVERIFY(w.IPAddr->isEnabled() && w.lblGateway->isEnabled() && !w.DhcpAddr->isEnabled() && w.DhcpAddr->text().isEmpty());
        w.DHCP->click();
        QVERIFY(!w.IPAddr->isEnabled() && !w.lblGateway->isEnabled());
        QCOMPARE(w.DhcpAddr->text(), QStringLiteral("127.0.0.2"));
        for (auto [box, length] : {std::pair{w.NetName, 16}, {w.IPAddr, 15}, {w.UDPPort, 5}, {w.PassPrompt, 32},
                                   {w.Username, 64}}) {
            SetWholeText(box, QString(80, QLatin1Char('7')));
            QCoreApplication::sendEvent(box, std::make_unique<QFocusEvent>(QEvent::FocusIn, Qt::TabFocusReason).get());
            QTRY_COMPARE(box->selectionLength(), length);
        }
        w.cmdRead->click();
        QVERIFY(w.Exchange().Timer1().Enabled && WindowLink().isOpen());
        w.cmdExit->click();
        QVERIFY(!w.isVisible() && Forms::IsLoaded<NxSetup>());
        w.Form_Unload();
        QVERIFY(!w.Exchange().Timer1().Enabled && !WindowLink().isOpen());
    }

    // Fields the layout lacks, and a rate the list does not offer, leave the controls as they were.
    void readFillsTheWindow()
    {
        for (const auto preset : {talixsim::Preset::Basic, talixsim::Preset::Rules, talixsim::Preset::Login}) {
            talixsim::DeviceState device = talixsim::makeDevice(0, preset);
            device.dhcp = false, device.baud = 12345, device.handshaking = 2, device.username = QStringLiteral("operator");
            device.rules[0] = {0xC0A80114, 23, 7, 60};
            NxSetup& w = window<NxSetup>();
            w.BaudRate->setCurrentIndex(3), w.UDPPort->setText(QStringLiteral("55")), w.Username->setText(QStringLiteral("before"));
            openDevice(device);
            QVERIFY(boxes.shown.empty() && w.StaticIP->isChecked() && w.IPAddr->isEnabled());
            const bool rules = preset != talixsim::Preset::Basic;
            const QStringList shown{w.IPAddr->text(), w.NetName->text(), w.IPPort->text(), w.BaudRate->currentText(),
                                    w.Handshaking->currentText(), w.HdweVer->text(), w.UDPPort->text(),
                                    w.Username->text()};
            QCOMPARE(shown, (QStringList{"127.0.0.2", "TALIX-1", "10001", "4800", "Software (XON/XOFF)", "1.2",
                                         rules ? "10002" : "55",
                                         preset == talixsim::Preset::Login ? "operator" : "before"}));
            QCOMPARE(w.OutCount, qint16(rules ? 1 : 0));
            QCOMPARE(w.OutCnct->item(1, 1)->text().startsWith("Connect to 192.168.1.20, Port 23"), rules);
        }
    }

    // The window's values reach the device in the layout it speaks; an empty UDP port goes as 0; a
    // rule the device holds goes back as it is, whatever its values. Values the device cannot hold
    // are refused with a box, and nothing is sent.
    void sendSavesOrRefuses()
    {
        talixsim::DeviceState held = talixsim::makeDevice(0, talixsim::Preset::Login);
        held.rules[1] = {0x0A000005, 40000, 3, -1}; // written by another tool
        NxSetup& w = openDevice(held);
        w.NetName->setText(QStringLiteral("Renamed")), w.Password->setText(QStringLiteral("s3cret")), w.UDPPort->clear();
        w.cmdSend->click();
        QCOMPARE(w.UDPPort->text(), QStringLiteral("0"));
        QVERIFY(support::waitUntil([&] { return w.PendingOp() == 0; }, 3000));
        QCOMPARE(texts().value(0).section('|', 0, 0), QStringLiteral("Save Settings"));
        const talixsim::DeviceState& device = rig->fleet.device(0);
        QCOMPARE(QStringList({device.name, device.password, QString::number(device.udpPort)}), QStringList({"Renamed", "s3cret", "0"}));
        QCOMPARE(device.rules[1], held.rules[1]);
        for (auto [control, value, field] :
             {std::tuple{"IPPort", "65536", "TCP Port to accept connections"}, {"Handshaking", "", "Handshaking"},
              {"SubnetMask", "255.0.255.0", "Subnet Mask"}}) {
            openDevice(talixsim::makeDevice(0, talixsim::Preset::Login)).StaticIP->click();
            boxes.clear();
            const int before = rig->received();
            if (auto* box = w.findChild<QLineEdit*>(control))
                SetWholeText(box, QString::fromUtf8(value));
            else
                w.findChild<QComboBox*>(control)->setCurrentIndex(-1);
            w.cmdSend->click();
            QCOMPARE(texts().size(), 1);
            QVERIFY2(texts()[0].startsWith("Invalid Value|The value of \"" + QString(field) + "\""), qPrintable(texts()[0]));
            QCOMPARE(w.PendingOp(), qint16(0));
            QCOMPARE(rig->received(), before);
        }
    }

    // Every value control lands on its line of the file and a fresh window loads them all back. A
    // value longer than its box is shown whole, so that Send refuses it; each file fault gets its box.
    void saveLoadAndFileFaults()
    {
        NxSetup* w = &window<NxSetup>();
        w->StaticIP->click();
        for (auto [name, text] : {std::pair{"IPAddr", "1.2.3.4"}, {"SubnetMask", "255.0.0.0"}, {"Gateway", "1.2.3.1"},
                                  {"NetName", "Boiler"}, {"IPPort", "40000"}, {"UDPPort", "40001"},
                                  {"UserPrompt", "login:"}, {"PassPrompt", "pw:"}, {"Username", "op"},
                                  {"Password", "pa\"ss"}})
            w->findChild<QLineEdit*>(name)->setText(text);
        w->BaudRate->setCurrentIndex(8), w->Handshaking->setCurrentIndex(2);
        OutRuleTable rules;
        rules.OutRules[2] = {"10.0.0.6", 2101, OUT_TCP, 30}, rules.OutCount = 1;
        w->ShowRules(rules, {"", "", "second"});
        const QString copy = dir.filePath("copy.TALIX"), bad = dir.filePath("long.TALIX");
        chosen = copy;
        w->cmdSave->click();
        QFile file(copy);
        const QStringList lines = file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).split("\r\n") : QStringList();
        QCOMPARE(lines.mid(0, 10) + lines.mid(15, 5) + lines.mid(70, 4),
                 (QStringList{"#FALSE#", "\"1.2.3.4\"", "\"255.0.0.0\"", "\"1.2.3.1\"", "\"Boiler\"", "\"40000\"", "8", "2",
                              "\"40001\"", "1", "\"second\"", "\"10.0.0.6\"", "2101", "1", "30", "\"login:\"", "\"pw:\"",
                              "\"op\"", "\"pa\"\"ss\""}));
        const SettingsFileValues saved = w->ToFileValues();
        Forms::Unload<NxSetup>(), Forms::Flush();
        w = &window<NxSetup>();
        w->cmdLoad->click();
        QVERIFY(w->ToFileValues() == saved && w->IPAddr->isEnabled()); // the option's click handler ran

        SettingsFileValues v;
        v.NetName = "seventeen chars!!", v.IPPort = "10001", v.BaudRate = v.Handshaking = 0;
        chosen = bad;
        QVERIFY(!SaveSettingsFile(bad, v));
        w->cmdLoad->click();
        w->cmdSend->click();
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("#TRUE#\r\n") > 0 && f.flush());
        boxes.answers = {MsgAnswer::No};
        w->cmdSave->click(); // not replaced
        w->cmdLoad->click();
        QCOMPARE(w->NetName->text(), QStringLiteral("seventeen chars!!"));
        QCOMPARE(w->PendingOp(), qint16(0));
        QCOMPARE(dialogs.at(0).title + '|' + dialogs.at(1).title, "Save TALIX Settings|Load TALIX Settings");
        const QStringList shown = texts();
        QCOMPARE(shown.size(), 4);
        QCOMPARE(shown[0], "Save Settings|Settings were successfully saved to:\r\n" + copy);
        QVERIFY(shown[1].startsWith("Invalid Value|The value of \"Device Name\""));
        QCOMPARE(shown.mid(2, 2), (QStringList{"File Exists!|Overwrite existing file?",
                                               "Load Settings|" + bad + "\r\nis not a valid settings file. Nothing was "
                                               "loaded.\r\nLine 2: the file ends after 1 of 74 lines."}));
    }
};

QTEST_MAIN(TestNxSetup)
#include "test_nxsetup.moc"
