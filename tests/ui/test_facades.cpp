// The window-system facades: message boxes, dialogs shown modally, the window registry.

#include "ui/dialogs.h"
#include "ui/forms.h"
#include "ui/msgbox.h"

#include <QApplication>
#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <tuple>

using namespace brevion;

namespace {

int g_loads = 0, g_unloads = 0;

class Probe : public Form {
    Q_OBJECT
public:
    QString state;
    void Form_Load() override { ++g_loads, state = QStringLiteral("loaded"); }
    void Form_Unload() override { ++g_unloads; }
};

} // namespace

class TestFacades : public QObject {
    Q_OBJECT
private slots:
    // The real box: whole text, exact title, the buttons asked for (Escape: tests/ui/test_keyboard.cpp).
    void realMessageBox()
    {
        const std::tuple<MsgButtons, QMessageBox::StandardButton, MsgAnswer> rows[] = {
            {MsgButtons::Ok, QMessageBox::Ok, MsgAnswer::Ok}, {MsgButtons::YesNo, QMessageBox::No, MsgAnswer::No},
            {MsgButtons::RetryCancel, QMessageBox::Retry, MsgAnswer::Retry}};
        const QString text = QStringLiteral("Line one") + kCrLf + QStringLiteral("Line  two");
        for (const auto& [buttons, press, answer] : rows) {
            QString seen;
            QTimer::singleShot(0, this, [&seen, p = press] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                QVERIFY(box);
                seen = box->windowTitle() + '|' + box->text() + '|' + QString::number(box->buttons().size());
                box->button(p)->click();
            });
            QCOMPARE(MsgBox(text, buttons, QStringLiteral("Communications Error")), answer);
            QCOMPARE(seen, "Communications Error|" + text + (buttons == MsgButtons::Ok ? "|1" : "|2"));
        }
    }

    // ShowModal returns when the window hides and when it is destroyed while up.
    void showModalEndsWhenTheWindowGoes()
    {
        for (const bool destroy : {false, true}) {
            const QPointer<QWidget> dialog = new QWidget;
            QTimer::singleShot(20, dialog, destroy ? &QObject::deleteLater : &QWidget::hide);
            ShowModal(*dialog);
            QCOMPARE(dialog.isNull(), destroy);
            QVERIFY(destroy || (!dialog->isVisible() && dialog->windowModality() == Qt::NonModal));
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
    }
};

QTEST_MAIN(TestFacades)
#include "test_facades.moc"
