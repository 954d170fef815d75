// The window-system facades: message boxes, dialogs shown modally, the window registry, keys,
// twips and the settings store.

#include "dialogs.h"
#include "forms.h"
#include "msgbox.h"
#include "settingsstore.h"
#include "twips.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace brevion;

Q_DECLARE_METATYPE(brevion::MsgButtons)
Q_DECLARE_METATYPE(brevion::MsgAnswer)
Q_DECLARE_METATYPE(Qt::Key)

namespace {

int g_loads = 0, g_unloads = 0;

class Probe : public Form {
    Q_OBJECT
public:
    QString state;
    void Form_Load() override { ++g_loads, state = QStringLiteral("loaded"); }
    void Form_Unload() override { ++g_unloads; }
};

// Unloads itself from its own button handler and goes on touching its members afterwards.
class SelfCloser : public Form {
    Q_OBJECT
public:
    SelfCloser()
    {
        button = new QPushButton(QStringLiteral("Exit"), this);
        connect(button, &QPushButton::clicked, this, [this] {
            Forms::Unload<SelfCloser>();
            afterUnload = QStringLiteral("still here");
        });
    }
    QPushButton* button;
    QString afterUnload;
};

// A text box and two buttons; as a dialog, the first button is its default.
class Keys : public Form {
    Q_OBJECT
public:
    explicit Keys(bool dialog)
    {
        box = new QLineEdit(this);
        for (QPushButton*& b : buttons) {
            b = new QPushButton(QStringLiteral("B"), this);
            b->setAutoDefault(false);
            connect(b, &QPushButton::clicked, this, [this, b] { pressed << (b == buttons[0] ? 0 : 1); });
        }
        buttons[0]->setDefault(dialog);
    }
    QLineEdit* box;
    QPushButton* buttons[2];
    QList<int> pressed;
};

} // namespace

class TestFacades : public QObject {
    Q_OBJECT
private slots:
    // The real box: whole text, exact title, the buttons asked for; Escape gives the safe answer.
    void realMessageBox_data()
    {
        QTest::addColumn<MsgButtons>("buttons");
        QTest::addColumn<int>("press"); // QMessageBox::StandardButton, or 0 for Escape
        QTest::addColumn<MsgAnswer>("answer");
        QTest::newRow("ok") << MsgButtons::Ok << int(QMessageBox::Ok) << MsgAnswer::Ok;
        QTest::newRow("yes") << MsgButtons::YesNo << int(QMessageBox::Yes) << MsgAnswer::Yes;
        QTest::newRow("no") << MsgButtons::YesNo << int(QMessageBox::No) << MsgAnswer::No;
        QTest::newRow("retry") << MsgButtons::RetryCancel << int(QMessageBox::Retry) << MsgAnswer::Retry;
        QTest::newRow("escape on yes/no") << MsgButtons::YesNo << 0 << MsgAnswer::No;
        QTest::newRow("escape on retry/cancel") << MsgButtons::RetryCancel << 0 << MsgAnswer::Cancel;
    }
    void realMessageBox()
    {
        QFETCH(MsgButtons, buttons);
        QFETCH(int, press);
        QFETCH(MsgAnswer, answer);
        const QString text = QStringLiteral("Line one") + kCrLf + QStringLiteral("Line  two");
        QString seen;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            seen = box->windowTitle() + '|' + box->text() + '|' + QString::number(box->buttons().size());
            press ? box->button(QMessageBox::StandardButton(press))->click() : box->reject();
        });
        QCOMPARE(MsgBox(text, buttons, QStringLiteral("Communications Error")), answer);
        QCOMPARE(seen, "Communications Error|" + text + (buttons == MsgButtons::Ok ? "|1" : "|2"));
    }

    void qtFilter()
    {
        QCOMPARE(QtFilter("Update|*.bin|All|*.*"), QStringLiteral("Update (*.bin);;All (*.*)"));
        QCOMPARE(QtFilter("Text|*.txt;*.log"), QStringLiteral("Text (*.txt *.log)"));
        QCOMPARE(QtFilter("A|*.a|B"), QStringLiteral("A (*.a)"));
    }

    // ShowModal returns when the window hides and when it is destroyed while up.
    void showModalEndsWhenTheWindowGoes_data()
    {
        QTest::addColumn<bool>("destroy");
        QTest::newRow("hidden") << false;
        QTest::newRow("destroyed") << true;
    }
    void showModalEndsWhenTheWindowGoes()
    {
        QFETCH(bool, destroy);
        const QPointer<QWidget> dialog = new QWidget;
        QTimer::singleShot(20, dialog, destroy ? &QObject::deleteLater : &QWidget::hide);
        ShowModal(*dialog);
        QCOMPARE(dialog.isNull(), destroy);
        if (!destroy) {
            QVERIFY(!dialog->isVisible());
            QCOMPARE(dialog->windowModality(), Qt::NonModal);
            delete dialog;
        }
    }

    // One instance per class, loaded on first access; unloading discards it, the next is fresh.
    void registry()
    {
        Probe& first = Forms::Get<Probe>();
        QCOMPARE(&Forms::Get<Probe>(), &first);
        first.state = QStringLiteral("changed");
        first.show();
        first.close(); // the title bar's close unloads once
        first.close();
        QCOMPARE(g_unloads, 1);
        QVERIFY(!Forms::IsVisible<Probe>() && !Forms::IsLoaded<Probe>());
        Forms::Flush();
        QCOMPARE(Forms::Get<Probe>().state, QStringLiteral("loaded"));
        QCOMPARE(g_loads, 2);

        QPointer<SelfCloser> closer = &Forms::Get<SelfCloser>();
        closer->show();
        QTest::mouseClick(closer->button, Qt::LeftButton);
        QCOMPARE(closer->afterUnload, QStringLiteral("still here")); // alive until its handler returned
        QTRY_VERIFY_WITH_TIMEOUT(closer.isNull(), 5000);
    }

    // Enter and Space press the focused button; Enter elsewhere goes to a dialog's default button.
    void keys_data()
    {
        QTest::addColumn<bool>("dialog");
        QTest::addColumn<int>("focus"); // a button, or -1 for the text box
        QTest::addColumn<Qt::Key>("key");
        QTest::addColumn<QList<int>>("pressed");
        QTest::newRow("window, Enter") << false << 1 << Qt::Key_Return << QList<int>{1};
        QTest::newRow("window, Space") << false << 1 << Qt::Key_Space << QList<int>{1};
        QTest::newRow("window, Enter in a text box") << false << -1 << Qt::Key_Return << QList<int>{};
        QTest::newRow("dialog, Enter on another button") << true << 1 << Qt::Key_Return << QList<int>{1};
        QTest::newRow("dialog, Enter in a text box") << true << -1 << Qt::Key_Return << QList<int>{0};
    }
    void keys()
    {
        QFETCH(bool, dialog);
        QFETCH(int, focus);
        QFETCH(Qt::Key, key);
        Keys w(dialog);
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        (focus < 0 ? static_cast<QWidget*>(w.box) : w.buttons[focus])->setFocus();
        QTest::keyClick(QApplication::focusWidget(), key);
        QTEST(w.pressed, "pressed");
    }

    void twipsRoundToTheNearestPixel()
    {
        for (auto [twips, pixels] : {std::pair{1440, 96}, {22, 1}, {23, 2}, {-23, -2}})
            QCOMPARE(TwipsToPixels(twips), pixels);
    }

    void settingsStoreKeepsTheSettingsGroup()
    {
        QTemporaryDir dir;
        qputenv("BREVION_SETTINGS_FILE", dir.filePath("store.ini").toLocal8Bit());
        QCOMPARE(ReadSetting("UpdatesPath", "/home/u"), QStringLiteral("/home/u"));
        WriteSetting("UpdatesPath", "/srv/firmware files");
        QCOMPARE(QSettings(dir.filePath("store.ini"), QSettings::IniFormat).value("Settings/UpdatesPath").toString(),
                 QStringLiteral("/srv/firmware files"));
        qunsetenv("BREVION_SETTINGS_FILE");
    }
};

QTEST_MAIN(TestFacades)
#include "test_facades.moc"
