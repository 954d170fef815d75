// The rule list of the configuration window: Add New, Modify and Remove through the wizard.
#include "nxsetup.h"

#include "boxes.h"
#include "dialogs.h"
#include "outgoingwiz.h"
#include "nxfns.h"
#include "rowheight.h"
#include "twips.h"
#include "windows.h"

#include <QPushButton>
#include <QTableWidget>
#include <QTest>

using namespace brevion;
using support::window;

namespace {

QString rowText(int row) { return window<NxSetup>().OutCnct->item(row, 1)->text(); }
void clickRow(int row) { support::clickRow(window<NxSetup>().OutCnct, row); }
void addRule(int n) { support::addRule({QStringLiteral("10.0.0.%1").arg(n), 1000 + n}); }
QString udp(int n)
{
    return QStringLiteral("Send to 10.0.0.%1, Port %2, using UDP when incoming data is detected on the serial port.")
        .arg(n)
        .arg(1000 + n);
}
bool modifyAndRemove() { return window<NxSetup>().cmdModify->isEnabled() && window<NxSetup>().cmdRemove->isEnabled(); }

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
        QVERIFY(!modifyAndRemove() && window<NxSetup>().cmdAddNew->isEnabled());
    }
    void cleanup() { QVERIFY(boxes.shown.empty()); }

    void addingTwelveRemovingAndAddingAgain()
    {
        NxSetup& w = window<NxSetup>();
        for (int n = 1; n <= 12; ++n)
            addRule(n);
        QCOMPARE(w.OutCount, qint16(12));
        QCOMPARE(w.OutRules[12], (OutCnctRule{"10.0.0.12", 1012, 0, 0}));
        QVERIFY(!w.cmdAddNew->isEnabled() && !modifyAndRemove()); // Add New leaves them as they were
        clickRow(3);
        w.cmdRemove->click(); // the rows above move down, and their sentences with them
        QCOMPARE(w.OutCount, qint16(11));
        QCOMPARE(w.OutRules[3].Port, 1004);
        QCOMPARE(rowText(3) + rowText(11) + rowText(12), udp(4) + udp(12));
        QCOMPARE(w.OutRules[12], EmptyRule());
        QCOMPARE(w.OutCnct->currentRow(), 3);
        QVERIFY(modifyAndRemove() && w.cmdAddNew->isEnabled());
        addRule(40);
        QCOMPARE(w.OutRules[12].IPAddr, QStringLiteral("10.0.0.40"));
        QVERIFY(!w.cmdAddNew->isEnabled());
    }

    void modifyAndCancelledRuns()
    {
        NxSetup& w = window<NxSetup>();
        addRule(1);
        addRule(2);
        clickRow(2);
        support::answerWizard({"10.9.9.9", 23, support::RuleAnswer::Kind::TcpSerial, 30, true});
        w.cmdModify->click();
        QCOMPARE(w.OutRules[2], (OutCnctRule{"10.9.9.9", 23, OUT_TCP | OUT_LOGIN, 30}));
        QCOMPARE(rowText(2), RuleDescription(w.OutRules[2]));
        QCOMPARE(EditRule, (OutCnctRule{"10.0.0.2", 1002, 0, 0})); // what the wizard started from
        const auto rules = w.OutRules;
        support::RuleAnswer cancel;
        cancel.cancel = true;
        support::answerWizard(cancel);
        w.cmdModify->click();
        w.cmdAddNew->click();
        SetModalResponder({});
        QVERIFY(w.OutRules == rules);
        QCOMPARE(w.OutCount, qint16(2));
        QCOMPARE(rowText(2) + rowText(3), RuleDescription(rules[2]));
    }

    // A device may keep its rules in any slots; a read shows them as they are.
    void clicksAndRulesOutOfOrder()
    {
        NxSetup& w = window<NxSetup>();
        const OutCnctRule a{"10.1.1.1", 11, OUT_TCP, 0}, b{"10.1.1.3", 33, OUT_TCP | OUT_POWERUP, 0};
        w.OutRules[1] = a;
        w.OutRules[3] = b;
        w.SetRuleRow(1, RuleDescription(a));
        w.SetRuleRow(3, RuleDescription(b));
        w.OutCount = 2;
        const std::pair<int, bool> clicks[] = {{1, true}, {0, false}, {2, false}, {3, true}, {12, false}};
        for (const auto& [row, enabled] : clicks) {
            row ? clickRow(row) : w.OutCnct_Click(0); // row 0: the header
            QCOMPARE(w.OutCnct->currentRow(), row);
            QCOMPARE(modifyAndRemove(), enabled);
        }
        addRule(7); // into the free slot 2, not over slot 3
        QCOMPARE(w.OutRules[2].IPAddr + rowText(2), "10.0.0.7" + udp(7));
        QCOMPARE(w.OutRules[3], b);
        QCOMPARE(w.OutCount, qint16(3));
    }

    void rowHeightsAndColoursMoveWithTheirRows()
    {
        NxSetup& w = window<NxSetup>();
        for (int n = 1; n <= 3; ++n)
            addRule(n);
        const QString longText = QString("a rather long sentence ").repeated(40).trimmed();
        w.SetRuleRow(3, longText); // wraps to several lines
        const int tall = w.OutCnct->rowHeight(3), oneLine = TwipsToPixels(LineHeightTwips(w.font()) + 60);
        QVERIFY(tall >= 3 * (oneLine - 4));
        clickRow(2);
        w.cmdRemove->click();
        QCOMPARE(rowText(2), longText);
        QCOMPARE(w.OutCnct->rowHeight(2), tall);
        QCOMPARE(w.OutCnct->rowHeight(3), oneLine);
        clickRow(1);
        const QPalette pal = w.OutCnct->palette();
        QCOMPARE(w.OutCnct->item(1, 1)->background().color(), pal.color(QPalette::Active, QPalette::Highlight));
        QCOMPARE(w.OutCnct->item(1, 1)->foreground().color(), pal.color(QPalette::Active, QPalette::HighlightedText));
        QCOMPARE(w.OutCnct->item(2, 1)->background().color(), pal.color(QPalette::Base));
    }
};

QTEST_MAIN(TestRuleList)
#include "test_rulelist.moc"
