// The outgoing connection wizard's window (pages, messages, Back, Cancel and Help as a user meets
// them; what the rule and sentence hold on each page: test_rulewizard) and the configuration
// window's rule list: Add New, Modify and Remove through the wizard. (The list's rules sent to a
// device: test_nxsetup.)
#include "gui/nxsetup.h"
#include "gui/outgoingwiz.h"

#include "boxes.h"
#include "ui/dialogs.h"
#include "ui/msgbox.h"
#include "gui/rowheight.h"
#include "ui/twips.h"
#include "windows.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>

using namespace brevion;
using Kind = support::RuleAnswer::Kind;

namespace {

NxSetup& w() { return support::window<NxSetup>(); }
QString rowText(int row) { return w().OutCnct->item(row, 1)->text(); }
void clickRow(int row) { support::clickRow(w().OutCnct, row); }
void addRule(int n) { support::addRule({QStringLiteral("10.0.0.%1").arg(n), 1000 + n}); }
QString udp(int n) // the row of the rule addRule(n) adds
{
    return QString("Send to 10.0.0.%1, Port %2, using UDP when incoming data is detected on the serial port.")
        .arg(n).arg(1000 + n);
}
bool modifyAndRemove() { return w().cmdModify->isEnabled() && w().cmdRemove->isEnabled(); }

// What a user does on one page before pressing a button.
struct Step {
    std::function<void(OutgoingWiz&)> act;
    enum { Next, Back, Cancel, Close } press = Next;
};

struct Run {
    std::vector<int> pages; // the page shown before each press, then the page at the end
    support::Boxes boxes;
    bool cancelled = false;
};

OutgoingWiz& Wiz() { return support::window<OutgoingWiz>(); }

// A click on an option's round indicator.
void Select(QRadioButton* option) { QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(6, option->height() / 2)); }

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
            QPushButton* const buttons[] = {w.cmdNext, w.cmdBack, w.cmdCancel};
            step.press == Step::Close ? void(w.close()) : QTest::mouseClick(buttons[step.press], Qt::LeftButton);
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
    run.cancelled = Wiz().Cancelled;
    return run;
}

Step Page0(const QString& ip, const QString& port, bool tcp)
{
    return {[=](OutgoingWiz& w) { w.IPAddr->setText(ip), w.Port->setText(port), Select(tcp ? w.optTCP : w.optUDP); }};
}
Step Click(QRadioButton* OutgoingWiz::*option) { return {[option](OutgoingWiz& w) { Select(w.*option); }}; }
const Step kNext{};

} // namespace

class TestRuleList : public QObject {
    Q_OBJECT
    support::Boxes boxes;
private slots:
    void init()
    {
        Forms::Unload<NxSetup>();
        Forms::Flush();
        boxes.clear();
        support::answerBoxes(boxes);
        QVERIFY(!modifyAndRemove() && w().cmdAddNew->isEnabled());
    }
    void cleanup() { QVERIFY(boxes.shown.empty()); }

    // Help, a refused port, every page of a TCP rule, a click into the seconds box, Back from the
    // done page and Done.
    void aRunThroughEveryPage()
    {
        const OutCnctRule start{QString(), 0, OUT_TCP | OUT_POWERUP, 77};
        QString captions;
        bool onlyDonePage = false, secondsBox = false; // the done page with the rule and the buttons
        const auto look = [&](OutgoingWiz& w) {
            captions = w.cmdNext->text();
            onlyDonePage = w.WizFrame[4]->isVisible() && !w.WizFrame[3]->isVisible() && !w.WizFrame[0]->isVisible() &&
                           w.FrameRule->isVisible() && w.cmdHelp->isVisible() && w.cmdBack->isVisible();
        };
        const Run run = RunWizard(
            start, {Page0("10.0.0.8", "65536", true),
                    {[](OutgoingWiz& w) { QTest::mouseClick(w.cmdHelp, Qt::LeftButton), w.Port->setText("4000"); }},
                    Click(&OutgoingWiz::optWhenSerial), Click(&OutgoingWiz::LoginYes),
                    {[&](OutgoingWiz& w) { // a click into the seconds box selects its option
                         Select(w.optIndefinite), secondsBox = w.ForSeconds->isReadOnly();
                         w.ForSeconds->setFocus(), QTest::mouseClick(w.ForSeconds, Qt::LeftButton);
                         QApplication::processEvents();
                         secondsBox = secondsBox && w.optForSeconds->isChecked() && !w.ForSeconds->isReadOnly();
                         w.ForSeconds->clear(), QTest::keyClicks(w.ForSeconds, "30");
                     }},
                    {look, Step::Back},
                    {[&](OutgoingWiz& w) { captions += " " + w.cmdNext->text(); }}, kNext});
        QCOMPARE(run.pages, (std::vector<int>{0, 0, 1, 2, 3, 4, 3, 4}));
        QCOMPARE(captions, QStringLiteral("Done Next ->"));
        QVERIFY(onlyDonePage && secondsBox && !run.cancelled);
        const std::vector<Message> boxes{
            {"Invalid Value", "Invalid Port value.\r\nPlease choose a port between 1 and 65535.", MsgButtons::Ok, MsgIcon::None},
            {"Outgoing Connection Wizard",
             "Enter the IP address and port to connect to. TCP connections may remain\r\nconnected for continuous flow of "
             "data back and forth. UDP is a connectionless\r\nprotocol. Use it when you simply want to send or broadcast "
             "data without\r\nreceiving a response.",
             MsgButtons::Ok, MsgIcon::None}};
        QCOMPARE(run.boxes.shown, boxes);
        const QString sentence = Wiz().OutgoingRule->text();
        QCOMPARE(sentence, QStringLiteral("Connect to 10.0.0.8, Port 4000, using TCP when incoming data is detected on "
                                          "the serial port. Login with the specified username/password when prompted. "
                                          "Remain connected until 30 seconds of inactivity."));
        QCOMPARE(QAccessible::queryAccessibleInterface(Wiz().OutgoingRule)->text(QAccessible::Name), sentence);
        QCOMPARE(WizRule, (OutCnctRule{"10.0.0.8", 4000, OUT_TCP | OUT_LOGIN, 30}));
        QCOMPARE(EditRule, start); // the starting rule is the caller's, untouched
    }

    void cancelOrCloseOnEveryPage()
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
                QVERIFY(run.cancelled && !Wiz().isVisible());
                QCOMPARE(&Wiz(), first); // hidden, not destroyed
            }
        }
        QVERIFY(!RunWizard(EmptyRule(), {Page0("10.0.0.5", "5000", false), kNext, {}}).cancelled); // afresh
    }

    // Removing a rule moves the rows above down, with their sentences and heights.
    void addingTwelveRemovingAndAddingAgain()
    {
        for (int n = 1; n <= 12; ++n)
            addRule(n);
        QCOMPARE(w().OutCount, qint16(12));
        QVERIFY(!w().cmdAddNew->isEnabled() && !modifyAndRemove()); // Add New leaves them as they were
        const QString longText = QString("a rather long sentence ").repeated(40).trimmed();
        w().SetRuleRow(4, longText); // wraps to several lines
        const int tall = w().OutCnct->rowHeight(4), oneLine = TwipsToPixels(LineHeightTwips(w().font()) + 60);
        QVERIFY(tall >= 3 * (oneLine - 4));
        clickRow(3);
        w().cmdRemove->click();
        QCOMPARE(rowText(3) + rowText(11) + rowText(12), longText + udp(12));
        QCOMPARE(std::pair(w().OutCnct->rowHeight(3), w().OutCnct->rowHeight(12)), std::pair(tall, oneLine));
        QCOMPARE(w().OutRules[4].Port, 1005);
        QCOMPARE(w().OutCnct->currentRow(), 3);
        QVERIFY(modifyAndRemove() && w().cmdAddNew->isEnabled());
        addRule(40);
        QCOMPARE(w().OutRules[12].IPAddr, QStringLiteral("10.0.0.40"));
    }

    void modifyAndCancelledRuns()
    {
        addRule(1);
        addRule(2);
        clickRow(2);
        support::answerWizard({"10.9.9.9", 23, Kind::TcpSerial, 30, true});
        w().cmdModify->click();
        QCOMPARE(w().OutRules[2], (OutCnctRule{"10.9.9.9", 23, OUT_TCP | OUT_LOGIN, 30}));
        QCOMPARE(rowText(2), RuleDescription(w().OutRules[2]));
        QCOMPARE(EditRule, (OutCnctRule{"10.0.0.2", 1002, 0, 0})); // what the wizard started from
        const auto rules = w().OutRules;
        support::answerWizard({.ip = {}, .cancel = true});
        w().cmdModify->click();
        w().cmdAddNew->click();
        SetModalResponder({});
        QVERIFY(w().OutRules == rules);
        QCOMPARE(rowText(2) + rowText(3), RuleDescription(rules[2]));
    }

    // A device may keep its rules in any slots; a read shows them as they are.
    void clicksAndRulesOutOfOrder()
    {
        const OutCnctRule a{"10.1.1.1", 11, OUT_TCP, 0}, b{"10.1.1.3", 33, OUT_TCP | OUT_POWERUP, 0};
        w().OutRules[1] = a;
        w().OutRules[3] = b;
        w().OutCount = 2;
        for (const auto& [row, enabled] : {std::pair{1, true}, {0, false}, {2, false}, {3, true}, {12, false}}) {
            row ? clickRow(row) : w().OutCnct_Click(0); // row 0: the header
            QCOMPARE(w().OutCnct->currentRow(), row);
            QCOMPARE(modifyAndRemove(), enabled);
        }
        addRule(7); // into the free slot 2, not over slot 3
        QCOMPARE(w().OutRules[2].IPAddr + rowText(2), "10.0.0.7" + udp(7));
        QCOMPARE(w().OutRules[3], b);
        QCOMPARE(w().OutCount, qint16(3));
    }
};

QTEST_MAIN(TestRuleList)
#include "test_rulelist.moc"
