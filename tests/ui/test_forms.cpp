#include "forms.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace brevion;

namespace {

// Counts loads and unloads across instances; each instance carries state of its own.
struct Counts {
    int loads = 0;
    int unloads = 0;
};
Counts g_counts;

class Probe : public Form {
    Q_OBJECT
public:
    QString state;
    void Form_Load() override
    {
        ++g_counts.loads;
        state = QStringLiteral("loaded");
    }
    void Form_Unload() override
    {
        ++g_counts.unloads;
        // Reaching the window by its class while it unloads finds this instance.
        unloadSawSelf = &Forms::Get<Probe>() == this;
    }
    bool unloadSawSelf = false;
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
            afterUnload = objectName() + QStringLiteral("-still-here");
        });
    }
    QPushButton* button;
    QString afterUnload;
};

// A window with a text box and two buttons; as a dialog, the first button is its default.
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

Q_DECLARE_METATYPE(Qt::Key)

class TestForms : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        Forms::Unload<Probe>();
        Forms::Unload<SelfCloser>();
        Forms::Flush();
        g_counts = {};
    }

    void loadsOnceOnFirstAccess()
    {
        QVERIFY(!Forms::IsLoaded<Probe>());
        Probe& first = Forms::Get<Probe>();
        Probe& again = Forms::Get<Probe>();
        QCOMPARE(&first, &again);
        QCOMPARE(g_counts.loads, 1);
        QCOMPARE(first.state, QStringLiteral("loaded"));
    }

    void unloadDiscardsStateAndNextAccessIsFresh()
    {
        QPointer<Probe> first = &Forms::Get<Probe>();
        first->state = QStringLiteral("changed");
        Forms::Unload<Probe>();
        QCOMPARE(g_counts.unloads, 1);
        QVERIFY(first->unloadSawSelf);
        QVERIFY(!Forms::IsLoaded<Probe>());
        Forms::Flush();
        QVERIFY(first.isNull());

        Probe& second = Forms::Get<Probe>();
        QCOMPARE(second.state, QStringLiteral("loaded"));
        QCOMPARE(g_counts.loads, 2);
        QCOMPARE(g_counts.unloads, 1); // the fresh instance did not unload anything
    }

    void unloadOfWindowNotLoadedDoesNothing()
    {
        Forms::Unload<Probe>();
        Forms::Unload<Probe>();
        QCOMPARE(g_counts.unloads, 0);
        QVERIFY(!Forms::IsLoaded<Probe>()); // and did not load it either
    }

    void visibility()
    {
        QVERIFY(!Forms::IsVisible<Probe>()); // never created
        QVERIFY(!Forms::IsLoaded<Probe>());  // asking does not create it
        Forms::Get<Probe>().show();
        QVERIFY(Forms::IsVisible<Probe>());
        Forms::Get<Probe>().hide();
        QVERIFY(!Forms::IsVisible<Probe>());
        QVERIFY(Forms::IsLoaded<Probe>());
        Forms::Get<Probe>().show();
        Forms::Unload<Probe>();
        QVERIFY(!Forms::IsVisible<Probe>()); // unloaded, even before its deletion ran
    }

    void titleBarCloseUnloadsOnce()
    {
        QPointer<Probe> form = &Forms::Get<Probe>();
        form->show();
        form->close();
        QCOMPARE(g_counts.unloads, 1);
        QVERIFY(!Forms::IsLoaded<Probe>());
        form->close(); // deletion still pending: no second unload
        QCOMPARE(g_counts.unloads, 1);
        Forms::Flush();
        QVERIFY(form.isNull());
    }

    // Enter and Space press the focused button; Enter elsewhere goes to a dialog's default button.
    void keysPressTheFocusedButton_data()
    {
        QTest::addColumn<bool>("dialog");
        QTest::addColumn<int>("focus"); // a button, or -1 for the text box
        QTest::addColumn<Qt::Key>("key");
        QTest::addColumn<QList<int>>("pressed");
        QTest::newRow("window, Enter") << false << 1 << Qt::Key_Return << QList<int>{1};
        QTest::newRow("window, keypad Enter") << false << 0 << Qt::Key_Enter << QList<int>{0};
        QTest::newRow("window, Space") << false << 1 << Qt::Key_Space << QList<int>{1};
        QTest::newRow("window, Enter in a text box") << false << -1 << Qt::Key_Return << QList<int>{};
        QTest::newRow("dialog, Enter on another button") << true << 1 << Qt::Key_Return << QList<int>{1};
        QTest::newRow("dialog, Enter on the default") << true << 0 << Qt::Key_Return << QList<int>{0};
        QTest::newRow("dialog, Enter in a text box") << true << -1 << Qt::Key_Return << QList<int>{0};
    }

    void keysPressTheFocusedButton()
    {
        QFETCH(bool, dialog);
        QFETCH(int, focus);
        QFETCH(Qt::Key, key);
        QFETCH(QList<int>, pressed);
        Keys w(dialog);
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QWidget* target = focus < 0 ? static_cast<QWidget*>(w.box) : w.buttons[focus];
        target->setFocus();
        QTest::keyClick(QApplication::focusWidget(), key);
        QCOMPARE(w.pressed, pressed);
    }

    void unloadFromInsideOwnHandlerIsSafe()
    {
        QPointer<SelfCloser> form = &Forms::Get<SelfCloser>();
        form->setObjectName(QStringLiteral("closer"));
        form->show();
        QTest::mouseClick(form->button, Qt::LeftButton);
        QVERIFY(!form.isNull()); // alive until its handler has returned
        QCOMPARE(form->afterUnload, QStringLiteral("closer-still-here"));
        QVERIFY(!Forms::IsVisible<SelfCloser>());
        QTRY_VERIFY_WITH_TIMEOUT(form.isNull(), 5000);
    }
};

QTEST_MAIN(TestForms)
#include "test_forms.moc"
