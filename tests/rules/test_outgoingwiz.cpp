// The wizard's window: pages, messages, Back, Cancel and Help as a user meets them. What the
// rule and sentence hold on each page: test_rulewizard.
#include "outgoingwiz.h"

#include "boxes.h"
#include "msgbox.h"
#include "dialogs.h"
#include "windows.h"

#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <functional>

using namespace brevion;

namespace {

// What a user does on one page before pressing a button.
struct Step {
    std::function<void(OutgoingWiz&)> act;
    enum { Next, Back, Cancel, Close } press = Next;
};

struct Run {
    std::vector<int> pages; // the page shown before each press, then the page at the end
    support::Boxes boxes;
    QString sentence;
    QString spoken; // the sentence as a screen reader announces it
    bool cancelled = false;
    bool hidden = false;
};

OutgoingWiz& Wiz()
{
    return support::window<OutgoingWiz>();
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
    support::answerBoxes(run.boxes);
    SetModalResponder([&](QWidget&) {
        OutgoingWiz& w = Wiz();
        for (const Step& step : steps) {
            run.pages.push_back(w.WizPage);
            if (step.act)
                step.act(w);
            if (step.press == Step::Close)
                w.close();
            else
                QTest::mouseClick(step.press == Step::Next ? w.cmdNext : step.press == Step::Back ? w.cmdBack : w.cmdCancel,
                                  Qt::LeftButton);
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
    brevion::SetMessageResponder({});
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

} // namespace

class TestOutgoingWiz : public QObject {
    Q_OBJECT
private slots:
    void aRunThroughEveryPage();
    void invalidEntryKeepsThePage();
    void modifyOfAStoredUdpRuleWithLogin();
    void cancelOrCloseOnEveryPage();
    void secondsBoxSelectsItsOption();
    void helpShowsThePagesText();
};

void TestOutgoingWiz::aRunThroughEveryPage()
{
    const OutCnctRule start{QString(), 0, OUT_TCP | OUT_POWERUP, 77};
    QString doneCaption, nextCaption;
    bool onlyDonePage = false; // with the rule and the buttons
    const auto look = [&](OutgoingWiz& w) {
        doneCaption = w.cmdNext->text();
        onlyDonePage = w.WizFrame[4]->isVisible() && !w.WizFrame[3]->isVisible() && !w.WizFrame[0]->isVisible() &&
                       w.FrameRule->isVisible() && w.cmdHelp->isVisible() && w.cmdBack->isVisible();
    };
    const Run run = RunWizard(start, {Page0("10.0.0.8", "4000", true), Click(&OutgoingWiz::optWhenSerial),
                                      Click(&OutgoingWiz::LoginYes), Seconds("30"),
                                      {look, Step::Back},
                                      {[&](OutgoingWiz& w) { nextCaption = w.cmdNext->text(); }}, kNext});
    QCOMPARE(run.pages, (std::vector<int>{0, 1, 2, 3, 4, 3, 4}));
    QCOMPARE(doneCaption + " " + nextCaption, QStringLiteral("Done Next ->"));
    QVERIFY(onlyDonePage);
    QVERIFY(run.boxes.shown.empty());
    QVERIFY(run.hidden && !run.cancelled);
    QCOMPARE(run.sentence, QStringLiteral("Connect to 10.0.0.8, Port 4000, using TCP when incoming data is detected on "
                                          "the serial port. Login with the specified username/password when prompted. "
                                          "Remain connected until 30 seconds of inactivity."));
    QCOMPARE(run.spoken, run.sentence);
    QCOMPARE(WizRule, (OutCnctRule{"10.0.0.8", 4000, OUT_TCP | OUT_LOGIN, 30}));
    QCOMPARE(EditRule, start); // the starting rule is the caller's, untouched
}

void TestOutgoingWiz::invalidEntryKeepsThePage()
{
    const Run run = RunWizard(EmptyRule(), {Page0("10.0.0.5", "65536", true)});
    QCOMPARE(run.boxes.shown, (std::vector<Message>{{"Invalid Value",
                                                     "Invalid Port value.\r\nPlease choose a port between 1 and 65535.",
                                                     MsgButtons::Ok, MsgIcon::None}}));
    QCOMPARE(run.pages, (std::vector<int>{0, 0}));
}

void TestOutgoingWiz::modifyOfAStoredUdpRuleWithLogin()
{
    bool asStored = false;
    const OutCnctRule stored{"10.1.1.9", 6000, OUT_LOGIN, 0};
    const auto look = [&](OutgoingWiz& w) {
        asStored = w.optUDP->isChecked() && w.LoginYes->isChecked() && !w.cmdBack->isEnabled() && w.Port->text() == "6000";
    };
    const Run run = RunWizard(stored, {{look}, kNext});
    QVERIFY(asStored);
    QCOMPARE(run.pages, (std::vector<int>{0, 4}));
    QVERIFY(!run.cancelled);
    QCOMPARE(WizRule, stored);
}

void TestOutgoingWiz::cancelOrCloseOnEveryPage()
{
    // The first n steps lead to page n.
    const std::vector<Step> toPage{Page0("10.0.0.8", "4000", true), Click(&OutgoingWiz::optWhenSerial), kNext, kNext};
    OutgoingWiz* first = &Wiz();
    for (int page = 0; page <= 4; ++page) {
        for (auto press : {Step::Cancel, Step::Close}) {
            std::vector<Step> steps(toPage.begin(), toPage.begin() + page);
            steps.push_back({{}, press});
            const Run run = RunWizard(EmptyRule(), steps);
            QCOMPARE(run.pages.back(), page);
            QVERIFY(run.cancelled && run.hidden);
            QCOMPARE(&Wiz(), first); // hidden, not destroyed
        }
    }
    const Run again = RunWizard(EmptyRule(), {Page0("10.0.0.5", "5000", false), kNext, {}});
    QVERIFY(!again.cancelled); // the next run starts afresh
}

void TestOutgoingWiz::secondsBoxSelectsItsOption()
{
    bool readOnlyBefore = false, selected = false, readOnlyAfter = true;
    QString sentence;
    RunWizard(EmptyRule(), {Page0("10.0.0.8", "4000", true), Click(&OutgoingWiz::optWhenSerial), kNext,
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
                             }},
                            {[&](OutgoingWiz& w) { sentence = w.OutgoingRule->text(); }, Step::Cancel}});
    QVERIFY(readOnlyBefore && selected && !readOnlyAfter);
    QVERIFY2(sentence.endsWith("Remain connected until 45 seconds of inactivity."), qPrintable(sentence));
}

void TestOutgoingWiz::helpShowsThePagesText()
{
    const Run run =
        RunWizard(EmptyRule(), {{[](OutgoingWiz& w) { QTest::mouseClick(w.cmdHelp, Qt::LeftButton); }, Step::Cancel}});
    QCOMPARE(run.boxes.shown.size(), size_t(1));
    QCOMPARE(run.boxes.shown[0].title, QStringLiteral("Outgoing Connection Wizard"));
    QCOMPARE(run.boxes.shown[0].text,
             QStringLiteral("Enter the IP address and port to connect to. TCP connections may remain\r\n"
                            "connected for continuous flow of data back and forth. UDP is a connectionless\r\n"
                            "protocol. Use it when you simply want to send or broadcast data without\r\n"
                            "receiving a response."));
}

QTEST_MAIN(TestOutgoingWiz)
#include "test_outgoingwiz.moc"
