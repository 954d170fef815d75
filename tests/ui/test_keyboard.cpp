// Keyboard focus and Escape under a real X server (xcb, run by tests/support/xvfb.sh): the
// offscreen platform moves focus differently, so these cases are tried where a user meets them.
// No message responder is installed: the boxes are real and are answered with the keyboard.
#include "byvant.h"
#include "dialogs.h"
#include "enteremacaddr.h"
#include "forms.h"
#include "msgbox.h"
#include "nxfind.h"
#include "nxsetup.h"
#include "nxupdate.h"
#include "outgoingwiz.h"
#include "rig.h"
#include "updateimage.h"
#include "wait.h"
#include "watchdog.h"

#include <QtTest>
#include <QtWidgets>

using namespace brevion;
using namespace std::chrono_literals;

namespace {

bool activated(QWidget& w)
{
    w.show();
    w.raise();
    w.activateWindow();
    return QTest::qWaitForWindowActive(&w);
}

QString focusName()
{
    const QWidget* focused = QApplication::focusWidget();
    return focused ? focused->objectName() : QStringLiteral("(none)");
}

// Escape where the keyboard focus is, as the X server would deliver it.
void pressEscape()
{
    QWidget* target = QApplication::focusWidget();
    QTest::keyClick(target ? target : QApplication::activeWindow(), Qt::Key_Escape);
}

// Presses Escape once the window `shown` names is up and active.
void escapeWhenActive(const std::function<QWidget*()>& shown)
{
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, shown] {
        QWidget* window = shown();
        if (!window || QApplication::activeWindow() != window)
            return;
        poll->deleteLater();
        pressEscape();
        // One that Escape did not close is hidden a little later, so that the test goes on to
        // report it instead of waiting for it.
        QTimer::singleShot(2000, window, [window] { window->hide(); });
    });
    poll->start(20);
}

void escapeNextModal()
{
    escapeWhenActive([] { return QApplication::activeModalWidget(); });
}

// The part of a window manager that Xvfb lacks: a window that is shown gets the keyboard.
class ActivateShownWindows : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (event->type() == QEvent::Show && widget && widget->isWindow())
            QTimer::singleShot(0, widget, [widget] { widget->activateWindow(); });
        return false;
    }
};

QString answerName(MsgAnswer a)
{
    switch (a) {
    case MsgAnswer::Ok: return QStringLiteral("OK");
    case MsgAnswer::Yes: return QStringLiteral("Yes");
    case MsgAnswer::No: return QStringLiteral("No");
    case MsgAnswer::Retry: return QStringLiteral("Retry");
    case MsgAnswer::Cancel: return QStringLiteral("Cancel");
    }
    return {};
}

QString boxAnswer(MsgButtons buttons)
{
    escapeNextModal();
    return answerName(MsgBox(QStringLiteral("A question"), buttons, QStringLiteral("Brevion")));
}

QString cancelledOrNot(bool cancelled) { return cancelled ? QStringLiteral("cancelled") : QStringLiteral("answered"); }

} // namespace

class TestKeyboard : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    ActivateShownWindows m_windowManager;

    // The configuration window on a simulated device, its settings read.
    NxSetup& configured(const support::Rig& rig)
    {
        NxSetup& w = Forms::Get<NxSetup>();
        w.IPAddr->setText(rig.ip());
        w.Init();
        [&] { QVERIFY(support::waitUntil([&] { return w.PendingOp() == 0 && !w.FirmVer->text().isEmpty(); })); }();
        [&] { QVERIFY(activated(w)); }();
        return w;
    }

    // The update window as the configuration window hands it over, the firmware file listed.
    NxUpdate& prepared(const QString& ip)
    {
        SetFolderResponder([this](const FolderRequest&) { return m_dir.path(); });
        NxUpdate& w = Forms::Get<NxUpdate>();
        w.SetDeviceIP(ip);
        w.HdweVer->setText(QStringLiteral("1.2"));
        w.BootVer->setText(QStringLiteral("1.0.5"));
        w.FirmVer->setText(QStringLiteral("1.0.11"));
        bool cancelled = true;
        w.SelectBinFile(cancelled);
        SetFolderResponder({});
        [&] { QVERIFY(!cancelled && activated(w)); }();
        return w;
    }

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X server: run by tests/support/xvfb.sh");
        qApp->installEventFilter(&m_windowManager);
        qputenv("BREVION_SETTINGS_FILE", m_dir.filePath(QStringLiteral("store.ini")).toLocal8Bit());
        // The folder of update files: one firmware file for the simulated device's hardware.
        QFile file(m_dir.filePath(QStringLiteral("FIRM.bin")));
        const QByteArray bytes = talixsim::makeUpdateFile(
            {.region = talixsim::Region::Firmware, .version = {1, 0, 17}, .size = 640, .hwMin = 0x0102, .hwMax = 0x0102});
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    void cleanup() { Forms::UnloadAll(), Forms::Flush(); }

    // After an operation started by mouse or key, the focus is back on the control that started
    // it (not on the grid, not on the next button where the next Space would do something else).
    void focusAfterOperations()
    {
        const struct {
            const char* what;
            std::function<void(const support::Rig&)> act;
            QString focus;
        } rows[] = {
            {"Search clicked in a window that the click activates while the search runs",
             [](const support::Rig&) {
                 NxFind& w = Forms::Get<NxFind>();
                 w.show();
                 QWidget other;
                 QVERIFY(activated(other));
                 QTimer::singleShot(200, &w, [&w] { w.activateWindow(); });
                 QTest::mouseClick(w.cmdSearch, Qt::LeftButton);
                 QCOMPARE(w.MSFlexGrid1->rowCount(), 1);
             },
             "cmdSearch"},
            {"Search pressed with Space",
             [](const support::Rig&) {
                 NxFind& w = Forms::Get<NxFind>();
                 QVERIFY(activated(w));
                 w.cmdSearch->setFocus();
                 QTest::keyClick(w.cmdSearch, Qt::Key_Space);
                 QCOMPARE(w.MSFlexGrid1->rowCount(), 1);
             },
             "cmdSearch"},
            {"Send clicked, the restart question closed with Escape",
             [this](const support::Rig& rig) {
                 NxSetup& w = configured(rig);
                 escapeNextModal();
                 QTest::mouseClick(w.cmdSend, Qt::LeftButton);
                 QVERIFY(support::waitUntil([&] { return w.PendingOp() == 0 && QApplication::activeWindow() == &w; }));
             },
             "cmdSend"},
            {"Update clicked, the update ends",
             [this](const support::Rig& rig) {
                 NxUpdate& w = prepared(rig.ip());
                 QTest::mouseClick(w.cmdUpdate, Qt::LeftButton);
                 QCOMPARE(w.cmdUpdate->text(), QStringLiteral("Close"));
             },
             "cmdUpdate"},
            {"Update Firmware clicked, the update window closed with Escape",
             [this](const support::Rig& rig) {
                 NxSetup& w = configured(rig);
                 SetFolderResponder([this](const FolderRequest&) { return m_dir.path(); });
                 escapeWhenActive([]() -> QWidget* { return Forms::IsLoaded<NxUpdate>() ? &Forms::Get<NxUpdate>() : nullptr; });
                 QTest::mouseClick(w.cmdPgmProgram, Qt::LeftButton);
                 SetFolderResponder({});
                 QVERIFY(!Forms::IsLoaded<NxUpdate>() && support::waitUntil([&] { return QApplication::activeWindow() == &w; }));
             },
             "cmdPgmProgram"},
        };
        for (const auto& row : rows) {
            const support::Rig rig(1, talixsim::Preset::Rules);
            support::Watchdog dog(30s, row.what);
            row.act(rig);
            QVERIFY2(!QTest::currentTestFailed(), row.what);
            QVERIFY2(support::waitUntil([&] { return focusName() == row.focus; }, 1000),
                     qPrintable(QStringLiteral("%1: focus on %2").arg(row.what, focusName())));
            cleanup();
        }
    }

    // Escape answers every box and dialog as its Cancel (or only) button does.
    void escapeCancels()
    {
        const struct {
            const char* what;
            std::function<QString()> open;
            QString outcome;
        } rows[] = {
            {"message box, OK", [] { return boxAnswer(MsgButtons::Ok); }, "OK"},
            {"message box, Yes and No", [] { return boxAnswer(MsgButtons::YesNo); }, "No"},
            {"message box, Retry and Cancel", [] { return boxAnswer(MsgButtons::RetryCancel); }, "Cancel"},
            {"open file dialog",
             [] { return escapeNextModal(), cancelledOrNot(!ChooseFile({FileDialogRequest::Kind::Open, "Open", "Settings|*.cfg", {}})); },
             "cancelled"},
            {"save file dialog",
             [] { return escapeNextModal(), cancelledOrNot(!ChooseFile({FileDialogRequest::Kind::Save, "Save", "Settings|*.cfg", {}})); },
             "cancelled"},
            {"folder browser", [] { return escapeNextModal(), cancelledOrNot(ChooseFolder({"Folder", {}}).isEmpty()); }, "cancelled"},
            {"MAC address dialog, typing in its box",
             [] {
                 EnterMacAddr& d = Forms::Get<EnterMacAddr>();
                 d.NewAddr->setText(QStringLiteral("12"));
                 d.NewAddr->setFocus();
                 escapeNextModal();
                 ShowModal(d);
                 return cancelledOrNot(d.Cancelled && !d.isVisible());
             },
             "cancelled"},
            {"outgoing connection wizard",
             [] {
                 OutgoingWiz& d = Forms::Get<OutgoingWiz>();
                 d.Form_Init();
                 escapeNextModal();
                 ShowModal(d);
                 return cancelledOrNot(d.Cancelled && !d.isVisible());
             },
             "cancelled"},
            {"credits window",
             [] {
                 if (!activated(Forms::Get<ByVant>()))
                     return QStringLiteral("not shown");
                 pressEscape();
                 return cancelledOrNot(!Forms::IsLoaded<ByVant>());
             },
             "cancelled"},
            {"update window before an update",
             [this] {
                 NxUpdate& w = prepared(QStringLiteral("127.0.0.2"));
                 pressEscape();
                 return cancelledOrNot(!w.isVisible());
             },
             "cancelled"},
        };
        for (const auto& row : rows) {
            support::Watchdog dog(20s, row.what);
            const QString outcome = row.open();
            QVERIFY2(outcome == row.outcome, qPrintable(QStringLiteral("%1: %2").arg(row.what, outcome)));
            QVERIFY2(!QTest::currentTestFailed(), row.what);
            cleanup();
        }
    }
};

QTEST_MAIN(TestKeyboard)
#include "test_keyboard.moc"
