#include "nxsetup.h"

#include "../rules/wizardscript.h"
#include "msgbox.h"
#include "settingsfile.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>

#include <deque>

using namespace brevion;
using wizardscript::Kind;

namespace {

NxSetup& window()
{
    return Forms::Get<NxSetup>();
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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

} // namespace

class TestNxSetupFile : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::vector<Message> shown;
    std::deque<MsgAnswer> answers;
    std::vector<FileDialogRequest> dialogs;
    std::optional<QString> chosen;

    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }

    // A window with settings in every control and three rules; slot 4 freed by a Remove.
    void fillWindow()
    {
        NxSetup& w = window();
        w.StaticIP->click();
        w.IPAddr->setText("192.168.7.9");
        w.SubnetMask->setText("255.255.255.0");
        w.Gateway->setText("192.168.7.1");
        w.NetName->setText("Boiler room");
        w.IPPort->setText("40000");
        w.BaudRate->setCurrentIndex(8);
        w.Handshaking->setCurrentIndex(2);
        w.UDPPort->setText("40000");
        addRule({"10.0.0.5", 5000, Kind::Udp});
        addRule({"10.0.0.6", 40000, Kind::TcpPowerup, 0, true});
        addRule({"10.0.0.99", 99, Kind::Udp});
        addRule({"10.0.0.7", 2101, Kind::TcpSerial, 30});
        clickRow(3);
        w.cmdRemove->click();
        w.UserPrompt->setText("login:");
        w.PassPrompt->setText("password:");
        w.Username->setText("op");
        w.Password->setText("pa\"ss");
    }

private slots:
    void init()
    {
        Forms::Unload<NxSetup>();
        Forms::Flush();
        shown.clear();
        answers.clear();
        dialogs.clear();
        chosen.reset();
        SetMessageResponder([this](const Message& m) {
            shown.push_back(m);
            if (answers.empty())
                return m.buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
            const MsgAnswer a = answers.front();
            answers.pop_front();
            return a;
        });
        SetFileResponder([this](const FileDialogRequest& r) {
            dialogs.push_back(r);
            return chosen;
        });
    }
    void cleanup()
    {
        SetMessageResponder({});
        SetFileResponder({});
        SetModalResponder({});
    }

    void saveWritesTheWindowsValues()
    {
        fillWindow();
        NxSetup& w = window();
        chosen = path("three.TALIX");
        w.cmdSave->click();

        QCOMPARE(dialogs.size(), size_t(1));
        QCOMPARE(dialogs[0].kind, FileDialogRequest::Kind::Save);
        QCOMPARE(dialogs[0].title, QStringLiteral("Save TALIX Settings"));
        QCOMPARE(dialogs[0].filter,
                 QStringLiteral("TALIX data files (*.TALIX)|*.TALIX|All Files (*.*)|*.*"));
        QCOMPARE(dialogs[0].initialFolder,
                 QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
        QCOMPARE(shown.size(), size_t(1));
        QCOMPARE(shown[0],
                 (Message{"Save Settings", "Settings were successfully saved to:\r\n" + *chosen,
                          MsgButtons::Ok, MsgIcon::None}));

        const QStringList lines = QString::fromLatin1(readAll(*chosen)).split("\r\n");
        QCOMPARE(lines.size(), 75); // 74 lines, each ending in CR LF
        QCOMPARE(lines[0], "#FALSE#");
        QCOMPARE(lines[4], "\"Boiler room\"");
        QCOMPARE(lines[6], "8");
        QCOMPARE(lines[9], "3");
        QCOMPARE(lines.mid(10, 5),
                 (QStringList{"\"Send to 10.0.0.5, Port 5000, using UDP when incoming data is "
                              "detected on the serial port.\"",
                              "\"10.0.0.5\"", "5000", "0", "0"}));
        QCOMPARE(lines.mid(15, 5).mid(1), (QStringList{"\"10.0.0.6\"", "40000", "7", "0"}));
        QCOMPARE(lines.mid(20, 5).mid(1), (QStringList{"\"10.0.0.7\"", "2101", "1", "30"}));
        // Slots 4..11 moved down from never-used slots; slot 12 was freed by the Remove.
        QCOMPARE(lines.mid(25, 5), (QStringList{"\"\"", "\"\"", "0", "0", "0"}));
        QCOMPARE(lines.mid(65, 5), (QStringList{"\"\"", "\"\"", "0", "3", "0"}));
        QCOMPARE(lines[73], "\"pa\"\"ss\"");
    }

    void saveAsksBeforeReplacing()
    {
        fillWindow();
        chosen = path("existing.TALIX");
        const QByteArray old = "keep me\r\n";
        {
            QFile f(*chosen);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(old);
        }
        answers = {MsgAnswer::No};
        window().cmdSave->click();
        QCOMPARE(shown.size(), size_t(1));
        QCOMPARE(shown[0], (Message{"File Exists!", "Overwrite existing file?", MsgButtons::YesNo,
                                    MsgIcon::None}));
        QCOMPARE(readAll(*chosen), old);

        shown.clear();
        answers = {MsgAnswer::Yes, MsgAnswer::Ok};
        window().cmdSave->click();
        QCOMPARE(shown.size(), size_t(2));
        QCOMPARE(shown[1].title, QStringLiteral("Save Settings"));
        QVERIFY(readAll(*chosen) != old);
    }

    void failedSaveIsReported()
    {
        chosen = path("missing/folder/x.TALIX");
        window().cmdSave->click();
        QCOMPARE(shown.size(), size_t(1));
        QCOMPARE(shown[0].title, QStringLiteral("Save Settings"));
        QVERIFY(shown[0].text.startsWith("Settings could not be saved to:\r\n" + *chosen + "\r\n"));
        QVERIFY(!shown[0].text.contains("successfully"));
    }

    void cancelledDialogsDoNothing()
    {
        fillWindow();
        const SettingsFileValues before = window().ToFileValues();
        const QStringList files = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden);
        window().cmdSave->click();
        window().cmdLoad->click();
        QCOMPARE(dialogs.size(), size_t(2));
        QCOMPARE(dialogs[1].kind, FileDialogRequest::Kind::Open);
        QCOMPARE(dialogs[1].title, QStringLiteral("Load TALIX Settings"));
        QVERIFY(shown.empty());
        QVERIFY(window().ToFileValues() == before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden), files);
    }

    void loadFillsAnotherWindow()
    {
        fillWindow();
        const SettingsFileValues saved = window().ToFileValues();
        chosen = path("copy.TALIX");
        window().cmdSave->click();

        Forms::Unload<NxSetup>();
        Forms::Flush();
        NxSetup& w = window();
        QVERIFY(w.DHCP->isChecked());
        QVERIFY(!w.IPAddr->isEnabled());
        shown.clear();
        w.cmdLoad->click();
        QVERIFY(shown.empty());
        QVERIFY(w.ToFileValues() == saved);
        QVERIFY(w.StaticIP->isChecked());
        QVERIFY(w.IPAddr->isEnabled()); // the option's click handler ran
        QCOMPARE(w.IPPort->text(), QStringLiteral("40000"));
        QCOMPARE(w.UDPPort->text(), QStringLiteral("40000"));
        QCOMPARE(w.OutRules[2].Port, 40000);
        QCOMPARE(w.Password->text(), QStringLiteral("pa\"ss"));
        QCOMPARE(w.OutCount, qint16(3));
        QVERIFY(w.cmdAddNew->isEnabled());
    }

    void loadTakesOutCountAsWritten()
    {
        SettingsFileValues v;
        v.Rules.OutRules[1] = {"10.0.0.1", 1, 0, 0};
        v.Rules.OutRules[5] = {"10.0.0.5", 5, OUT_TCP, 0};
        v.Sentences[5] = "fifth";
        v.Rules.OutCount = 1;
        chosen = path("count.TALIX");
        QVERIFY(!SaveSettingsFile(*chosen, v));
        NxSetup& w = window();
        w.cmdLoad->click();
        QCOMPARE(w.OutCount, qint16(1));
        QCOMPARE(w.OutCnct->item(5, 1)->text(), QStringLiteral("fifth"));
        QCOMPARE(w.OutCnct->item(1, 1)->text(), QString());
        clickRow(5);
        QVERIFY(w.cmdModify->isEnabled()); // a rule, wherever it is
    }

    // A value longer than its box is shown whole, so that Send refuses it: nothing is sent.
    void longValuesAreShownWholeAndRefusedAtSend()
    {
        SettingsFileValues v;
        v.IPPort = "10001";
        v.BaudRate = 4;
        v.Handshaking = 0;
        v.UDPPort = "100000";
        chosen = path("long.TALIX");
        QVERIFY(!SaveSettingsFile(*chosen, v));
        SharedVersions() = {0x010011, 0x010011}; // the layout with the UDP port
        NxSetup& w = window();
        w.cmdLoad->click();
        QCOMPARE(w.UDPPort->text(), QStringLiteral("100000"));
        w.cmdSend->click();
        SharedVersions() = {};
        QCOMPARE(shown.size(), size_t(1));
        QVERIFY2(shown[0].text.contains("\"Port to listen for UDP packets\""), qPrintable(shown[0].text));
        QCOMPARE(w.PendingOp(), qint16(0));
    }

    // The file's faults are the core's; the window shows one box and changes nothing.
    void malformedFileChangesNothing()
    {
        fillWindow();
        chosen = path("bad.TALIX");
        QFile f(*chosen);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("#TRUE#\r\n") > 0);
        f.close();
        const SettingsFileValues before = window().ToFileValues();
        window().cmdLoad->click();
        QVERIFY(window().ToFileValues() == before);
        QCOMPARE(shown.size(), size_t(1));
        QCOMPARE(shown[0].title, QStringLiteral("Load Settings"));
        QCOMPARE(shown[0].text, *chosen + "\r\nis not a valid settings file. Nothing was loaded.\r\n"
                                          "Line 2: the file ends after 1 of 74 lines.");
    }
};

QTEST_MAIN(TestNxSetupFile)
#include "test_nxsetup_file.moc"
