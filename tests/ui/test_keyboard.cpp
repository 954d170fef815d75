// Keyboard focus and Escape under a real X server (xcb, run by tests/support/xvfb.sh), where focus
// moves as on a desktop. No message responder: the boxes are real and answered with the keyboard.
#include "gui/byvant.h"
#include "ui/dialogs.h"
#include "gui/enteremacaddr.h"
#include "ui/forms.h"
#include "ui/msgbox.h"
#include "gui/nxfind.h"
#include "gui/nxsetup.h"
#include "gui/nxupdate.h"
#include "gui/outgoingwiz.h"
#include "rig.h"
#include "sim/updateimage.h"
#include "wait.h"
#include "watchdog.h"

#include <QtTest>
#include <QtWidgets>

using namespace brevion;

class TestKeyboard : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir; // settings store and update files
    support::Rig m_rig{1, talixsim::Preset::Rules};

    static bool activated(QWidget& w) { return w.show(), w.activateWindow(), QTest::qWaitForWindowActive(&w); }
    static QString focusName() { return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(); }
    // Escape where the keyboard focus is, as the X server delivers it.
    static void pressEscape() { QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow(), Qt::Key_Escape); }

    // Presses Escape once the window `shown` names is up (activated, as a window manager would).
    // One that Escape leaves open holds the row until the watchdog ends the test.
    static bool escapeWhenUp(const std::function<QWidget*()>& shown = [] { return QApplication::activeModalWidget(); })
    {
        auto* poll = new QTimer(qApp);
        QObject::connect(poll, &QTimer::timeout, poll, [poll, shown] {
            QWidget* window = shown();
            if (window && window->isVisible() && (window->activateWindow(), QApplication::activeWindow() == window))
                poll->deleteLater(), pressEscape();
        });
        return poll->start(20), true;
    }
    static bool modalCancelled(Form& dialog, const bool& cancelled) { return escapeWhenUp(), ShowModal(dialog), cancelled && !dialog.isVisible(); }

    // The configuration window on the simulated device, its settings read.
    NxSetup& configured()
    {
        NxSetup& w = Forms::Get<NxSetup>();
        w.IPAddr->setText(m_rig.ip()), w.Init();
        return support::waitUntil([&] { return !w.FirmVer->text().isEmpty(); }) && activated(w), w;
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb")); // run by tests/support/xvfb.sh
        qputenv("BREVION_SETTINGS_FILE", m_dir.filePath(QStringLiteral("store.ini")).toLocal8Bit());
        QFile file(m_dir.filePath(QStringLiteral("FIRM.bin")));
        const QByteArray bytes = talixsim::makeUpdateFile(
            {.region = talixsim::Region::Firmware, .version = {1, 0, 17}, .size = 640, .hwMin = 0x0102, .hwMax = 0x0102});
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        SetFolderResponder([this](const FolderRequest&) { return m_dir.path(); });
    }

    // Escape answers every box and dialog as its Cancel (or only) button does; after an operation
    // started with the mouse, the focus is back on the control that started it.
    void escapeAndFocus()
    {
        // done: and ended the Cancel way; focus: afterwards, when it matters.
        const struct { const char* what; std::function<bool()> done; QString focus; } rows[] = {
            {"message box, Yes and No", [] { return escapeWhenUp() && MsgBox("?", MsgButtons::YesNo, "T") == MsgAnswer::No; }, {}},
            {"message box, Retry and Cancel", [] { return escapeWhenUp() && MsgBox("?", MsgButtons::RetryCancel, "T") == MsgAnswer::Cancel; }, {}},
            {"MAC address dialog, from its text box", [] { EnterMacAddr& d = Forms::Get<EnterMacAddr>(); return d.NewAddr->setFocus(), modalCancelled(d, d.Cancelled); }, {}},
            {"outgoing connection wizard", [] { OutgoingWiz& d = Forms::Get<OutgoingWiz>(); return d.Form_Init(), modalCancelled(d, d.Cancelled); }, {}},
            {"credits window", [] { return activated(Forms::Get<ByVant>()) && (pressEscape(), !Forms::IsLoaded<ByVant>()); }, {}},
            {"Search clicked in a window that the click activates while the search runs",
             [] {
                 NxFind& w = Forms::Get<NxFind>();
                 QWidget other;
                 w.show(), activated(other), QTimer::singleShot(200, &w, [&w] { w.activateWindow(); });
                 return QTest::mouseClick(w.cmdSearch, Qt::LeftButton), w.MSFlexGrid1->rowCount() == 1;
             }, "cmdSearch"},
            {"Send clicked, the restart question closed with Escape",
             [this] {
                 NxSetup& w = configured();
                 QTest::mouseClick(w.cmdSend, Qt::LeftButton);
                 return escapeWhenUp() && support::waitUntil([&] { return w.PendingOp() == 0 && QApplication::activeWindow() == &w; });
             }, "cmdSend"},
            {"Update Firmware clicked, the update window closed with Escape",
             [this] {
                 NxSetup& w = configured();
                 escapeWhenUp([]() -> QWidget* { return Forms::IsLoaded<NxUpdate>() ? &Forms::Get<NxUpdate>() : nullptr; });
                 QTest::mouseClick(w.cmdPgmProgram, Qt::LeftButton);
                 return support::waitUntil([&] { return QApplication::activeWindow() == &w; });
             }, "cmdPgmProgram"},
        };
        for (const auto& row : rows) {
            const support::Watchdog dog(std::chrono::seconds(20), row.what);
            QVERIFY2(row.done(), row.what);
            QVERIFY2(row.focus.isEmpty() || support::waitUntil([&] { return focusName() == row.focus; }, 1000), qPrintable(row.what + (": focus on " + focusName())));
            Forms::UnloadAll(), Forms::Flush();
        }
    }
};

QTEST_MAIN(TestKeyboard)
#include "test_keyboard.moc"
