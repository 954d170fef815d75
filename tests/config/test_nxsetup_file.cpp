#include "nxsetup.h"

#include "dialogs.h"
#include "forms.h"
#include "msgbox.h"
#include "settingsfile.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace brevion;

namespace {

NxSetup& window() { return Forms::Get<NxSetup>(); }

} // namespace

class TestNxSetupFile : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QStringList shown;
    QList<MsgAnswer> answers;
    std::vector<FileDialogRequest> dialogs;
    std::optional<QString> chosen;

    void choose(const char* name) { chosen = dir.filePath(QLatin1String(name)); }

private slots:
    void init()
    {
        Forms::Unload<NxSetup>();
        Forms::Flush();
        shown.clear();
        dialogs.clear();
        SetMessageResponder([this](const Message& m) {
            shown << m.title + QLatin1Char('|') + m.text;
            return answers.isEmpty() ? MsgAnswer::Ok : answers.takeFirst();
        });
        SetFileResponder([this](const FileDialogRequest& r) {
            dialogs.push_back(r);
            return chosen;
        });
    }

    // Every control lands on its line of the file, and a fresh window loads them all back.
    void saveAndLoadIntoAnotherWindow()
    {
        NxSetup& w = window();
        w.StaticIP->click();
        const std::pair<const char*, const char*> texts[] = {
            {"IPAddr", "192.168.7.9"}, {"SubnetMask", "255.255.255.0"}, {"Gateway", "192.168.7.1"},
            {"NetName", "Boiler room"}, {"IPPort", "40000"},        {"UDPPort", "40001"},
            {"UserPrompt", "login:"},  {"PassPrompt", "password:"}, {"Username", "op"},
            {"Password", "pa\"ss"}};
        for (auto [name, text] : texts)
            w.findChild<QLineEdit*>(name)->setText(text);
        w.BaudRate->setCurrentIndex(8);
        w.Handshaking->setCurrentIndex(2);
        OutRuleTable rules;
        rules.OutRules[2] = {"10.0.0.6", 2101, OUT_TCP, 30};
        rules.OutCount = 1;
        std::array<QString, MaxOutRules + 1> sentences;
        sentences[2] = QStringLiteral("second");
        w.ShowRules(rules, sentences);
        choose("copy.TALIX");
        w.cmdSave->click();
        QCOMPARE(dialogs.at(0).title, QStringLiteral("Save TALIX Settings"));
        QCOMPARE(dialogs.at(0).filter, QStringLiteral("TALIX data files (*.TALIX)|*.TALIX|All Files (*.*)|*.*"));
        QCOMPARE(dialogs.at(0).initialFolder, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
        QCOMPARE(shown, QStringList{"Save Settings|Settings were successfully saved to:\r\n" + *chosen});
        QFile file(*chosen);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromLatin1(file.readAll()).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.mid(0, 10), (QStringList{"#FALSE#", "\"192.168.7.9\"", "\"255.255.255.0\"", "\"192.168.7.1\"",
                                               "\"Boiler room\"", "\"40000\"", "8", "2", "\"40001\"", "1"}));
        QCOMPARE(lines.mid(15, 5), (QStringList{"\"second\"", "\"10.0.0.6\"", "2101", "1", "30"}));
        QCOMPARE(lines.mid(70, 4), (QStringList{"\"login:\"", "\"password:\"", "\"op\"", "\"pa\"\"ss\""}));

        const SettingsFileValues saved = w.ToFileValues();
        Forms::Unload<NxSetup>();
        Forms::Flush();
        shown.clear();
        window().cmdLoad->click();
        QCOMPARE(dialogs.at(1).title, QStringLiteral("Load TALIX Settings"));
        QCOMPARE(shown, QStringList());
        QVERIFY(window().ToFileValues() == saved);
        QVERIFY(window().IPAddr->isEnabled()); // the option's click handler ran
        QVERIFY(window().cmdAddNew->isEnabled());
    }

    // A value longer than its box is shown whole, so that Send refuses it: nothing is sent.
    void longValuesAreShownWholeAndRefusedAtSend()
    {
        SettingsFileValues v;
        v.IPPort = "10001";
        v.BaudRate = 4;
        v.Handshaking = 0;
        v.UDPPort = "100000";
        choose("long.TALIX");
        QVERIFY(!SaveSettingsFile(*chosen, v));
        SharedVersions() = {0x010011, 0x010011}; // the layout with the UDP port
        window().cmdLoad->click();
        QCOMPARE(window().UDPPort->text(), QStringLiteral("100000"));
        window().cmdSend->click();
        SharedVersions() = {};
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].contains("\"Port to listen for UDP packets\""), qPrintable(shown[0]));
        QCOMPARE(window().PendingOp(), qint16(0));
    }

    // The file's faults are the core's; the window shows one box each and changes nothing.
    void failuresGetOneBoxEach()
    {
        window().NetName->setText(QStringLiteral("kept"));
        choose("existing.TALIX");
        QFile f(*chosen);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("#TRUE#\r\n") > 0);
        f.close();
        answers = {MsgAnswer::No};
        window().cmdSave->click(); // not replaced
        window().cmdLoad->click();
        choose("missing/folder/x.TALIX");
        window().cmdSave->click();
        QCOMPARE(window().NetName->text(), QStringLiteral("kept"));
        QCOMPARE(shown.size(), 3);
        QCOMPARE(shown[0], QStringLiteral("File Exists!|Overwrite existing file?"));
        QCOMPARE(shown[1], "Load Settings|" + dir.filePath("existing.TALIX") +
                               "\r\nis not a valid settings file. Nothing was loaded.\r\n"
                               "Line 2: the file ends after 1 of 74 lines.");
        QVERIFY(shown[2].startsWith("Save Settings|Settings could not be saved to:\r\n" + *chosen + "\r\n"));
    }
};

QTEST_MAIN(TestNxSetupFile)
#include "test_nxsetup_file.moc"
