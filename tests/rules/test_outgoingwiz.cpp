#include "dialogs.h"
#include "forms.h"
#include "msgbox.h"
#include "outgoingwiz.h"

#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>

#include <functional>

using namespace brevion;

Q_DECLARE_METATYPE(brevion::OutCnctRule)

namespace {

// What a user does on one page before pressing a button.
struct Step {
    std::function<void(OutgoingWiz&)> act;
    enum { Next, Back, Cancel, Close } press = Next;
};

struct Run {
    std::vector<int> pages; // the page shown before each press, then the page at the end
    std::vector<Message> messages;
    QString sentence;
    QString spoken; // the sentence as a screen reader announces it
    bool cancelled = false;
    bool hidden = false;
};

OutgoingWiz& Wiz()
{
    return Forms::Get<OutgoingWiz>();
}

// A click on an option's round indicator.
void Select(QRadioButton* option)
{
    QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(6, option->height() / 2));
}

// One wizard run as the rule list starts it: EditRule set, Form_Init, modal show.
Run RunWizard(const OutCnctRule& start, const std::vector<Step>& steps)
{
    Run run;
    SetMessageResponder([&run](const Message& m) {
        run.messages.push_back(m);
        return MsgAnswer::Ok;
    });
    SetModalResponder([&](QWidget&) {
        OutgoingWiz& w = Wiz();
        for (const Step& step : steps) {
            run.pages.push_back(w.WizPage);
            if (step.act)
                step.act(w);
            switch (step.press) {
            case Step::Next:
                QTest::mouseClick(w.cmdNext, Qt::LeftButton);
                break;
            case Step::Back:
                QTest::mouseClick(w.cmdBack, Qt::LeftButton);
                break;
            case Step::Cancel:
                QTest::mouseClick(w.cmdCancel, Qt::LeftButton);
                break;
            case Step::Close:
                w.close();
                break;
            }
            if (!w.isVisible())
                return;
        }
        run.pages.push_back(w.WizPage);
        w.cmdCancel_Click(); // a script that did not finish leaves by Cancel
    });
    EditRule = start;
    Wiz().Form_Init();
    ShowModal(Wiz());
    SetModalResponder({});
    SetMessageResponder({});
    run.sentence = Wiz().OutgoingRule->text();
    run.spoken = QAccessible::queryAccessibleInterface(Wiz().OutgoingRule)->text(QAccessible::Name);
    run.cancelled = Wiz().Cancelled;
    run.hidden = !Wiz().isVisible();
    return run;
}

Step Page0(const QString& ip, const QString& port, bool tcp)
{
    return {[=](OutgoingWiz& w) {
        w.IPAddr->setText(ip);
        w.Port->setText(port);
        Select(tcp ? w.optTCP : w.optUDP);
    }};
}
Step Click(QRadioButton* OutgoingWiz::*option)
{
    return {[option](OutgoingWiz& w) { Select(w.*option); }};
}
Step Seconds(const QString& text)
{
    return {[text](OutgoingWiz& w) {
        Select(w.optForSeconds);
        w.ForSeconds->setText(text);
    }};
}
const Step kNext{};

const QString kUdpSentence = QStringLiteral(
    "Send to 10.0.0.5, Port 5000, using UDP when incoming data is detected on the serial port.");
const QString kLogin = QStringLiteral(" Login with the specified username/password when prompted.");

} // namespace

class TestOutgoingWiz : public QObject {
    Q_OBJECT
private slots:
    void flows_data();
    void flows();
    void invalidEntriesKeepThePage_data();
    void invalidEntriesKeepThePage();
    void backFromTheDonePage_data();
    void backFromTheDonePage();
    void modifyOfAStoredUdpRuleWithLogin();
    void cancelOnEveryPage();
    void onlyTheCurrentPageIsShown();
    void secondsBoxSelectsItsOption();
    void helpShowsThePagesText();
};

void TestOutgoingWiz::flows_data()
{
    QTest::addColumn<OutCnctRule>("start");
    QTest::addColumn<std::vector<Step>>("steps");
    QTest::addColumn<std::vector<int>>("pages");
    QTest::addColumn<QString>("sentence");
    QTest::addColumn<OutCnctRule>("rule");

    const OutCnctRule empty = EmptyRule();
    const OutCnctRule kept{QString(), 0, OUT_TCP | OUT_POWERUP, 77};
    QTest::newRow("UDP goes straight to the done page, IdleSecs kept")
        << kept << std::vector<Step>{Page0("10.0.0.5", "5000", false)} << std::vector<int>{0, 4}
        << kUdpSentence << OutCnctRule{"10.0.0.5", 5000, 0, 77};
    QTest::newRow("UDP after choosing login")
        << (OutCnctRule{"10.0.0.5", 5000, OUT_LOGIN, 0})
        << std::vector<Step>{Page0("10.0.0.5", "5000", false)} << std::vector<int>{0, 4}
        << kUdpSentence + kLogin << OutCnctRule{"10.0.0.5", 5000, OUT_LOGIN, 0};
    QTest::newRow("TCP power-up") << kept
                                  << std::vector<Step>{Page0("10.0.0.7", "23", true), kNext, kNext}
                                  << std::vector<int>{0, 1, 2, 4}
                                  << "Connect to 10.0.0.7, Port 23, using TCP upon powerup or "
                                     "reboot. Remain connected indefinitely."
                                  << OutCnctRule{"10.0.0.7", 23, 3, 0};
    QTest::newRow("TCP power-up with login")
        << empty
        << std::vector<Step>{Page0("10.0.0.7", "23", true), kNext, Click(&OutgoingWiz::LoginYes)}
        << std::vector<int>{0, 1, 2, 4}
        << "Connect to 10.0.0.7, Port 23, using TCP upon powerup or reboot." + kLogin +
               " Remain connected indefinitely."
        << OutCnctRule{"10.0.0.7", 23, 7, 0};
    QTest::newRow("TCP on serial data for 30 seconds")
        << empty
        << std::vector<Step>{Page0("10.0.0.8", "4000", true), Click(&OutgoingWiz::optWhenSerial),
                             kNext, Seconds("30")}
        << std::vector<int>{0, 1, 2, 3, 4}
        << "Connect to 10.0.0.8, Port 4000, using TCP when incoming data is detected on the serial "
           "port. "
           "Remain connected until 30 seconds of inactivity."
        << OutCnctRule{"10.0.0.8", 4000, OUT_TCP, 30};
    QTest::newRow("TCP on serial data, indefinite")
        << OutCnctRule{"10.0.0.8", 4000, OUT_TCP, 30}
        << std::vector<Step>{kNext, kNext, kNext, Click(&OutgoingWiz::optIndefinite)}
        << std::vector<int>{0, 1, 2, 3, 4}
        << "Connect to 10.0.0.8, Port 4000, using TCP when incoming data is detected on the serial "
           "port. "
           "Remain connected indefinitely."
        << OutCnctRule{"10.0.0.8", 4000, OUT_TCP, 0};
}

void TestOutgoingWiz::flows()
{
    QFETCH(OutCnctRule, start);
    QFETCH(std::vector<Step>, steps);
    QFETCH(std::vector<int>, pages);
    QFETCH(QString, sentence);
    QFETCH(OutCnctRule, rule);

    steps.push_back({{}, Step::Next}); // Done
    const Run run = RunWizard(start, steps);
    QCOMPARE(run.pages, pages);
    QVERIFY(run.messages.empty());
    QVERIFY(run.hidden);
    QVERIFY(!run.cancelled);
    QCOMPARE(run.sentence, sentence);
    QCOMPARE(run.spoken, sentence);
    QCOMPARE(WizRule, rule);
    QCOMPARE(EditRule, start); // the starting rule is the caller's, untouched
}

void TestOutgoingWiz::invalidEntriesKeepThePage_data()
{
    QTest::addColumn<std::vector<Step>>("steps");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("text");

    const QString ip =
        QStringLiteral("Invalid IP Address.\r\nPlease enter an address of the form '192.168.1.1'.");
    const QString port =
        QStringLiteral("Invalid Port value.\r\nPlease choose a port between 1 and 65535.");
    const QString idle =
        QStringLiteral("Invalid inactivity time.\r\nPlease enter a value between 1 and 3600.");
    struct Row {
        const char* name;
        std::vector<Step> steps;
        int page;
        QString text;
    };
    const auto toPage = [](const QString& seconds) {
        return std::vector<Step>{Page0("10.0.0.8", "4000", true),
                                 Click(&OutgoingWiz::optWhenSerial), kNext, Seconds(seconds)};
    };
    const Row rows[] = {
        {"three-part address", {Page0("10.0.0", "5000", true)}, 0, ip},
        {"address part above 255", {Page0("300.1.1.1", "5000", true)}, 0, ip},
        {"empty port", {Page0("10.0.0.5", "", true)}, 0, port},
        {"port 0", {Page0("10.0.0.5", "0", false)}, 0, port},
        {"port 65536", {Page0("10.0.0.5", "65536", true)}, 0, port},
        {"port abc", {Page0("10.0.0.5", "abc", true)}, 0, port},
        {"0 seconds", toPage("0"), 3, idle},
        {"3601 seconds", toPage("3601"), 3, idle},
        {"no seconds", toPage(""), 3, idle},
    };
    for (const Row& r : rows)
        QTest::newRow(r.name) << r.steps << r.page << r.text;
}

void TestOutgoingWiz::invalidEntriesKeepThePage()
{
    QFETCH(std::vector<Step>, steps);
    QFETCH(int, page);
    QFETCH(QString, text);

    const Run run = RunWizard(EmptyRule(), steps);
    QCOMPARE(run.messages.size(), size_t(1));
    QCOMPARE(run.messages[0],
             (Message{QStringLiteral("Invalid Value"), text, MsgButtons::Ok, MsgIcon::None}));
    QCOMPARE(run.pages.back(), page);
    QCOMPARE(run.pages[run.pages.size() - 2], page);
}

void TestOutgoingWiz::backFromTheDonePage_data()
{
    QTest::addColumn<std::vector<Step>>("toDone");
    QTest::addColumn<int>("back");
    QTest::newRow("UDP") << std::vector<Step>{Page0("10.0.0.5", "5000", false)} << 0;
    QTest::newRow("TCP power-up") << std::vector<Step>{Page0("10.0.0.5", "23", true), kNext, kNext}
                                  << 2;
    QTest::newRow("TCP serial") << std::vector<Step>{Page0("10.0.0.5", "23", true),
                                                     Click(&OutgoingWiz::optWhenSerial), kNext,
                                                     kNext}
                                << 3;
}

void TestOutgoingWiz::backFromTheDonePage()
{
    QFETCH(std::vector<Step>, toDone);
    QFETCH(int, back);
    QString nextCaption, backCaption;
    toDone.push_back({[&](OutgoingWiz& w) { nextCaption = w.cmdNext->text(); }, Step::Back});
    toDone.push_back({[&](OutgoingWiz& w) { backCaption = w.cmdNext->text(); }, Step::Cancel});
    const Run run = RunWizard(EmptyRule(), toDone);
    QCOMPARE(run.pages[run.pages.size() - 2], 4);
    QCOMPARE(run.pages.back(), back);
    QCOMPARE(nextCaption, QStringLiteral("Done"));
    QCOMPARE(backCaption, QStringLiteral("Next ->"));
    QVERIFY(run.cancelled);
}

void TestOutgoingWiz::modifyOfAStoredUdpRuleWithLogin()
{
    bool udp = false, login = false, backEnabled = true;
    const OutCnctRule stored{"10.1.1.9", 6000, OUT_LOGIN, 0};
    const Run run = RunWizard(stored, {{[&](OutgoingWiz& w) {
                                           udp = w.optUDP->isChecked();
                                           login = w.LoginYes->isChecked();
                                           backEnabled = w.cmdBack->isEnabled();
                                       }},
                                       {}});
    QVERIFY(udp && login);
    QVERIFY(!backEnabled);
    QCOMPARE(run.pages, (std::vector<int>{0, 4}));
    QVERIFY(!run.cancelled); // the last step pressed Done
    QCOMPARE(WizRule, stored);
    QCOMPARE(run.sentence,
             "Send to 10.1.1.9, Port 6000, using UDP when incoming data is detected on the serial "
             "port." +
                 kLogin);
}

void TestOutgoingWiz::cancelOnEveryPage()
{
    // The first n steps lead to page n.
    const std::vector<Step> toPage{Page0("10.0.0.8", "4000", true),
                                   Click(&OutgoingWiz::optWhenSerial), kNext, kNext};
    OutgoingWiz* first = &Wiz();
    for (int page = 0; page <= 4; ++page) {
        for (auto press : {Step::Cancel, Step::Close}) {
            std::vector<Step> steps(toPage.begin(), toPage.begin() + page);
            steps.push_back({{}, press});
            const Run run = RunWizard(EmptyRule(), steps);
            QCOMPARE(run.pages.back(), page);
            QVERIFY(run.cancelled);
            QVERIFY(run.hidden);
            QCOMPARE(&Wiz(), first); // hidden, not destroyed
        }
    }
    // The next run starts afresh.
    const Run again = RunWizard(EmptyRule(), {Page0("10.0.0.5", "5000", false), kNext, {}});
    QVERIFY(!again.cancelled);
    QCOMPARE(again.pages, (std::vector<int>{0, 4}));
}

void TestOutgoingWiz::onlyTheCurrentPageIsShown()
{
    std::vector<std::vector<bool>> shown;
    auto look = [&](OutgoingWiz& w) {
        std::vector<bool> v;
        for (QFrame* f : w.WizFrame)
            v.push_back(f->isVisible());
        shown.push_back(v);
        QVERIFY(w.FrameRule->isVisible() && w.cmdHelp->isVisible() && w.cmdCancel->isVisible());
    };
    RunWizard(EmptyRule(), {{look},
                            {[&](OutgoingWiz& w) {
                                w.IPAddr->setText("1.2.3.4");
                                w.Port->setText("1");
                                look(w);
                            }},
                            {look, Step::Cancel}});
    QCOMPARE(shown.size(), size_t(3));
    QCOMPARE(shown[0], (std::vector<bool>{true, false, false, false, false}));
    QCOMPARE(shown[2], (std::vector<bool>{false, true, false, false, false}));
}

void TestOutgoingWiz::secondsBoxSelectsItsOption()
{
    bool readOnlyBefore = false, selected = false, readOnlyAfter = true;
    QString sentence;
    RunWizard(EmptyRule(),
              {Page0("10.0.0.8", "4000", true),
               Click(&OutgoingWiz::optWhenSerial),
               kNext,
               {[&](OutgoingWiz& w) {
                    readOnlyBefore = w.ForSeconds->isReadOnly();
                    w.ForSeconds->setFocus();
                    QTest::mouseClick(w.ForSeconds, Qt::LeftButton);
                    QApplication::processEvents();
                    selected = w.optForSeconds->isChecked();
                    readOnlyAfter = w.ForSeconds->isReadOnly();
                    QTest::keyClicks(w.ForSeconds, "45");
                    w.cmdNext->setFocus(); // leaving the box rebuilds the sentence
                    QApplication::processEvents();
                },
                Step::Next},
               {[&](OutgoingWiz& w) { sentence = w.OutgoingRule->text(); }, Step::Cancel}});
    QVERIFY(readOnlyBefore);
    QVERIFY(selected);
    QVERIFY(!readOnlyAfter);
    QVERIFY2(sentence.endsWith("Remain connected until 45 seconds of inactivity."),
             qPrintable(sentence));
}

void TestOutgoingWiz::helpShowsThePagesText()
{
    const Run run = RunWizard(
        EmptyRule(),
        {{[](OutgoingWiz& w) {
             w.IPAddr->setText("1.2.3.4");
             w.Port->setText("1");
             Select(w.optUDP);
             QTest::mouseClick(w.cmdHelp, Qt::LeftButton);
         }},
         {[](OutgoingWiz& w) { QTest::mouseClick(w.cmdHelp, Qt::LeftButton); }, Step::Cancel}});
    QCOMPARE(run.messages.size(), size_t(2));
    QCOMPARE(run.messages[0].title, QStringLiteral("Outgoing Connection Wizard"));
    QVERIFY(run.messages[0].text.startsWith(QStringLiteral("Enter the IP address and port to connect to.")));
    QVERIFY(run.messages[1].text.startsWith(QStringLiteral("You have completed the Outgoing Connection Wizard.")));
}

QTEST_MAIN(TestOutgoingWiz)
#include "test_outgoingwiz.moc"
