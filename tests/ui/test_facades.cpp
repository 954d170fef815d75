#include "dialogs.h"
#include "logo.h"
#include "msgbox.h"
#include "platform.h"
#include "settingsstore.h"
#include "twips.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSvgRenderer>
#include <QSvgWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace brevion;

Q_DECLARE_METATYPE(brevion::MsgButtons)
Q_DECLARE_METATYPE(brevion::MsgAnswer)

class TestFacades : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        SetMessageResponder({});
        SetFileResponder({});
        SetFolderResponder({});
        SetModalResponder({});
    }

    void responderRecordsAndAnswersEveryBox()
    {
        QList<Message> seen;
        SetMessageResponder([&](const Message& m) {
            seen << m;
            return seen.size() == 1 ? MsgAnswer::Yes : MsgAnswer::Cancel;
        });
        const QString text = QStringLiteral("Settings were saved.") + kCrLf + QStringLiteral("Reboot now?");
        QCOMPARE(MsgBox(text, MsgButtons::YesNo, QStringLiteral("Reboot")), MsgAnswer::Yes);
        QCOMPARE(MsgBox(Message{"Error", "File not found", MsgButtons::RetryCancel, MsgIcon::Critical}),
                 MsgAnswer::Cancel);
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen[0], (Message{"Reboot", text, MsgButtons::YesNo, MsgIcon::None}));
        QCOMPARE(seen[1].icon, MsgIcon::Critical);
    }

    // The real box: whole text, exact title, the standard buttons asked for; the pressed button
    // comes back, and closing the box without a button gives the safe answer.
    void realMessageBox_data()
    {
        QTest::addColumn<MsgButtons>("buttons");
        QTest::addColumn<int>("press"); // QMessageBox::StandardButton, or 0 for Escape
        QTest::addColumn<MsgAnswer>("answer");
        QTest::addColumn<int>("buttonCount");
        QTest::newRow("ok") << MsgButtons::Ok << int(QMessageBox::Ok) << MsgAnswer::Ok << 1;
        QTest::newRow("yes") << MsgButtons::YesNo << int(QMessageBox::Yes) << MsgAnswer::Yes << 2;
        QTest::newRow("no") << MsgButtons::YesNo << int(QMessageBox::No) << MsgAnswer::No << 2;
        QTest::newRow("retry") << MsgButtons::RetryCancel << int(QMessageBox::Retry) << MsgAnswer::Retry << 2;
        QTest::newRow("cancel") << MsgButtons::RetryCancel << int(QMessageBox::Cancel) << MsgAnswer::Cancel << 2;
        QTest::newRow("escape on yes/no") << MsgButtons::YesNo << 0 << MsgAnswer::No << 2;
        QTest::newRow("escape on retry/cancel") << MsgButtons::RetryCancel << 0 << MsgAnswer::Cancel << 2;
    }

    void realMessageBox()
    {
        QFETCH(MsgButtons, buttons);
        QFETCH(int, press);
        QFETCH(MsgAnswer, answer);
        QFETCH(int, buttonCount);
        const QString text = QStringLiteral("Line one") + kCrLf + QStringLiteral("Line  two");
        QString seenTitle, seenText;
        int seenButtons = -1;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            seenTitle = box->windowTitle();
            seenText = box->text();
            seenButtons = box->buttons().size();
            if (press)
                box->button(QMessageBox::StandardButton(press))->click();
            else
                box->reject();
        });
        QCOMPARE(MsgBox(text, buttons, QStringLiteral("Communications Error")), answer);
        QCOMPARE(seenTitle, QStringLiteral("Communications Error"));
        QCOMPARE(seenText, text);
        QCOMPARE(seenButtons, buttonCount);
    }

    void fileAndFolderRespondersAnswer()
    {
        FileDialogRequest asked;
        SetFileResponder([&](const FileDialogRequest& r) -> std::optional<QString> {
            asked = r;
            return r.kind == FileDialogRequest::Kind::Save ? std::optional<QString>("/tmp/a.TALIX")
                                                           : std::nullopt;
        });
        const FileDialogRequest save{FileDialogRequest::Kind::Save, "Save", "Settings|*.TALIX", "/tmp"};
        QCOMPARE(ChooseFile(save), std::optional<QString>("/tmp/a.TALIX"));
        QCOMPARE(asked.title, QStringLiteral("Save"));
        QCOMPARE(ChooseFile({FileDialogRequest::Kind::Open, "Open", "", ""}), std::nullopt);

        SetFolderResponder([](const FolderRequest& r) { return r.startFolder + "/bin"; });
        QCOMPARE(ChooseFolder({"Folder", "/srv"}), QStringLiteral("/srv/bin"));
    }

    void qtFilter_data()
    {
        QTest::addColumn<QString>("design");
        QTest::addColumn<QString>("qt");
        QTest::newRow("one") << "Settings Files (*.TALIX)|*.TALIX" << "Settings Files (*.TALIX)";
        QTest::newRow("pattern added") << "Update|*.bin|All|*.*" << "Update (*.bin);;All (*.*)";
        QTest::newRow("several patterns") << "Text|*.txt;*.log" << "Text (*.txt *.log)";
        QTest::newRow("dangling description") << "A|*.a|B" << "A (*.a)";
        QTest::newRow("empty") << "" << "";
    }

    void qtFilter()
    {
        QFETCH(QString, design);
        QFETCH(QString, qt);
        QCOMPARE(QtFilter(design), qt);
    }

    void showModalWaitsUntilWindowHides()
    {
        QWidget dialog;
        auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
        connect(ok, &QPushButton::clicked, &dialog, &QWidget::hide);
        int answered = 0;
        SetModalResponder([&](QWidget& w) {
            ++answered;
            QVERIFY(w.isVisible());
            QCOMPARE(w.windowModality(), Qt::ApplicationModal);
            w.findChild<QPushButton*>()->click();
        });
        ShowModal(dialog);
        QCOMPARE(answered, 1);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.windowModality(), Qt::NonModal);
    }

    void showModalWithoutResponderWaitsForEvents()
    {
        QWidget dialog;
        QTimer::singleShot(20, &dialog, &QWidget::hide);
        ShowModal(dialog);
        QVERIFY(!dialog.isVisible());
    }

    void showModalSurvivesWindowDestroyedWhileUp()
    {
        const QPointer<QWidget> dialog = new QWidget;
        QTimer::singleShot(20, dialog, &QObject::deleteLater);
        ShowModal(*dialog);
        QVERIFY(dialog.isNull());
    }

    void settingsStoreUsesOverrideFileAndSettingsGroup()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("store.ini");
        qputenv("BREVION_SETTINGS_FILE", file.toLocal8Bit());
        QCOMPARE(ReadSetting("UpdatesPath", "/home/u"), QStringLiteral("/home/u"));
        WriteSetting("UpdatesPath", "/srv/firmware files");
        QCOMPARE(ReadSetting("UpdatesPath", "/home/u"), QStringLiteral("/srv/firmware files"));
        QSettings raw(file, QSettings::IniFormat);
        QCOMPARE(raw.value("Settings/UpdatesPath").toString(), QStringLiteral("/srv/firmware files"));
        QCOMPARE(raw.childGroups(), QStringList{"Settings"});
        qunsetenv("BREVION_SETTINGS_FILE");
    }

    void twips_data()
    {
        QTest::addColumn<int>("twips");
        QTest::addColumn<int>("pixels");
        QTest::newRow("inch") << 1440 << 96;
        QTest::newRow("zero") << 0 << 0;
        QTest::newRow("rounds down below half") << 22 << 1;
        QTest::newRow("rounds up from half") << 23 << 2;
        QTest::newRow("negative") << -1440 << -96;
        QTest::newRow("negative rounds away") << -23 << -2;
    }

    void twips()
    {
        QFETCH(int, twips);
        QFETCH(int, pixels);
        QCOMPARE(TwipsToPixels(twips), pixels);
        QCOMPARE(TwipsToPixels(PixelsToTwips(pixels)), pixels);
    }

    // The logo is compiled into a static library; it must still be found at run time.
    void logoResourceIsLinkedIn()
    {
        QWidget w;
        auto* logo = qobject_cast<QSvgWidget*>(CreateLogo(&w));
        QVERIFY(logo);
        QVERIFY(logo->renderer()->isValid());
        QCOMPARE(logo->objectName(), QStringLiteral("Image1"));
    }

    void nameByLabelSetsBuddyAndAccessibleName()
    {
        QWidget w;
        auto* label = new QLabel(QStringLiteral("&IP Address:"), &w);
        auto* edit = new QLineEdit(&w);
        NameByLabel(label, edit);
        QCOMPARE(label->buddy(), edit);
        QCOMPARE(edit->accessibleName(), QStringLiteral("IP Address:"));
    }
};

QTEST_MAIN(TestFacades)
#include "test_facades.moc"
