#include "nxfns.h"
#include "nxsetup.h"
#include "wizardscript.h"

#include "msgbox.h"
#include "rowheight.h"
#include "twips.h"

#include <QLabel>
#include <QTableWidget>

using namespace brevion;
using wizardscript::Answer;
using wizardscript::Kind;

Q_DECLARE_METATYPE(brevion::OutCnctRule)

namespace {

NxSetup& window()
{
    return Forms::Get<NxSetup>();
}

QString rowText(int row)
{
    return window().OutCnct->item(row, 1)->text();
}

void clickRow(int row)
{
    QTableWidget* grid = window().OutCnct;
    grid->scrollToItem(grid->item(row, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualItemRect(grid->item(row, 1)).center());
}

// Adds a UDP rule to 10.0.0.<n>, port 1000 + n, through the wizard.
void addRule(int n)
{
    wizardscript::answerWith({QStringLiteral("10.0.0.%1").arg(n), 1000 + n, Kind::Udp});
    window().cmdAddNew->click();
    SetModalResponder({});
}

QString udpSentence(int n)
{
    return QStringLiteral("Send to 10.0.0.%1, Port %2, using UDP when incoming data is detected on "
                          "the serial port.")
        .arg(n)
        .arg(1000 + n);
}

bool modifyAndRemoveEnabled()
{
    return window().cmdModify->isEnabled() && window().cmdRemove->isEnabled();
}
bool modifyAndRemoveDisabled()
{
    return !window().cmdModify->isEnabled() && !window().cmdRemove->isEnabled();
}

} // namespace

class TestRuleList : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        Forms::Unload<NxSetup>();
        Forms::Flush();
        SetMessageResponder([](const Message& m) {
            qWarning("unexpected message: %s / %s", qPrintable(m.title), qPrintable(m.text));
            return MsgAnswer::Ok;
        });
    }
    void cleanup()
    {
        SetModalResponder({});
        SetMessageResponder({});
    }

    void atLoadOnlyAddNewIsEnabled()
    {
        NxSetup& w = window();
        QVERIFY(w.cmdAddNew->isEnabled());
        QVERIFY(modifyAndRemoveDisabled());
        QCOMPARE(
            w.Label10->text(),
            QStringLiteral("The Vant-TALIX is limited to twelve simultaneous TCP connections.  "
                           "They may all be incoming connections, all outgoing, or any "
                           "combination of both."));
    }

    void addingFillsTheNextRowUntilTwelve()
    {
        NxSetup& w = window();
        for (int n = 1; n <= 12; ++n) {
            QVERIFY2(w.cmdAddNew->isEnabled(), qPrintable(QString::number(n)));
            addRule(n);
            QCOMPARE(w.OutCount, qint16(n));
            QCOMPARE(w.OutRules[n],
                     (OutCnctRule{QStringLiteral("10.0.0.%1").arg(n), 1000 + n, 0, 0}));
            QCOMPARE(rowText(n), udpSentence(n));
        }
        QVERIFY(!w.cmdAddNew->isEnabled());
        QVERIFY(modifyAndRemoveDisabled()); // Add New leaves them as they were

        // A slot freed by Remove can be filled again.
        clickRow(4);
        w.cmdRemove->click();
        QCOMPARE(w.OutCount, qint16(11));
        QVERIFY(w.cmdAddNew->isEnabled());
        addRule(40);
        QCOMPARE(w.OutRules[12].IPAddr, QStringLiteral("10.0.0.40"));
        QVERIFY(!w.cmdAddNew->isEnabled());
    }

    void cancelledAddLeavesEverything()
    {
        NxSetup& w = window();
        addRule(1);
        addRule(2);
        clickRow(1);
        const auto rules = w.OutRules;
        wizardscript::answerWith(wizardscript::Cancel());
        w.cmdAddNew->click();
        QCOMPARE(w.OutCount, qint16(2));
        QVERIFY(w.OutRules == rules);
        QCOMPARE(rowText(3), QString());
        QVERIFY(modifyAndRemoveEnabled());
    }

    void removingRowThreeOfFive()
    {
        NxSetup& w = window();
        for (int n = 1; n <= 5; ++n)
            addRule(n);
        clickRow(3);
        QVERIFY(modifyAndRemoveEnabled());
        w.cmdRemove->click();
        const int expected[] = {1, 2, 4, 5};
        for (int row = 1; row <= 4; ++row) {
            QCOMPARE(w.OutRules[row].Port, 1000 + expected[row - 1]);
            QCOMPARE(rowText(row), udpSentence(expected[row - 1]));
        }
        for (int row = 5; row <= 11; ++row) {
            QVERIFY(!w.OutRules[row].InUse());
            QCOMPARE(rowText(row), QString());
        }
        QCOMPARE(w.OutRules[12], EmptyRule());
        QCOMPARE(w.OutCnct->currentRow(), 3);
        QCOMPARE(w.OutCount, qint16(4));
        QVERIFY(modifyAndRemoveEnabled());
    }

    void removingTheOnlyRule()
    {
        NxSetup& w = window();
        addRule(1);
        clickRow(1);
        w.cmdRemove->click();
        QCOMPARE(w.OutCount, qint16(0));
        QCOMPARE(w.OutRules[1], OutCnctRule{}); // slot 2 moved down
        QCOMPARE(w.OutRules[12], EmptyRule());
        QCOMPARE(rowText(1), QString());
        QVERIFY(modifyAndRemoveDisabled());
        w.cmdRemove->click(); // nothing left to remove
        QCOMPARE(w.OutRules[1], OutCnctRule{});
    }

    void clicksOutsideTheRulesDisableModifyAndRemove()
    {
        NxSetup& w = window();
        addRule(1);
        addRule(2);
        const struct {
            int row;
            bool enabled;
        } clicks[] = {{2, true}, {0, false}, {1, true}, {3, false}, {12, false}, {2, true}};
        for (const auto& c : clicks) {
            if (c.row == 0)
                w.OutCnct_Click(0); // the header row
            else
                clickRow(c.row);
            QCOMPARE(w.OutCnct->currentRow(), c.row);
            QCOMPARE(modifyAndRemoveEnabled(), c.enabled);
            QCOMPARE(modifyAndRemoveDisabled(), !c.enabled);
        }
    }

    void modifyChangesTheCurrentRule()
    {
        NxSetup& w = window();
        addRule(1);
        addRule(2);
        clickRow(2);
        wizardscript::answerWith({QStringLiteral("10.9.9.9"), 23, Kind::TcpSerial, 30, true});
        w.cmdModify->click();
        QCOMPARE(w.OutRules[2],
                 (OutCnctRule{QStringLiteral("10.9.9.9"), 23, OUT_TCP | OUT_LOGIN, 30}));
        QCOMPARE(
            rowText(2),
            QStringLiteral("Connect to 10.9.9.9, Port 23, using TCP when incoming data is detected "
                           "on the serial port. Login with the specified username/password when "
                           "prompted. Remain connected until 30 seconds of inactivity."));
        QCOMPARE(EditRule, (OutCnctRule{QStringLiteral("10.0.0.2"), 1002, 0,
                                        0})); // what the wizard started from

        wizardscript::answerWith(wizardscript::Cancel());
        const auto rules = w.OutRules;
        const QString text = rowText(2);
        w.cmdModify->click();
        QVERIFY(w.OutRules == rules);
        QCOMPARE(rowText(2), text);
        QCOMPARE(w.OutRules[1].Port, 1001);
    }

    // A device may keep its rules in any slots; a read shows them as they are.
    void rulesOutOfOrderStayReachable()
    {
        NxSetup& w = window();
        const OutCnctRule a{QStringLiteral("10.1.1.1"), 11, OUT_TCP, 0};
        const OutCnctRule b{QStringLiteral("10.1.1.3"), 33, OUT_TCP | OUT_POWERUP, 0};
        w.OutRules[1] = a;
        w.OutRules[3] = b;
        w.SetRuleRow(1, RuleDescription(a));
        w.SetRuleRow(3, RuleDescription(b));
        w.OutCount = 2;

        clickRow(2);
        QVERIFY(modifyAndRemoveDisabled());
        clickRow(3); // beyond OutCount, yet a rule
        QVERIFY(modifyAndRemoveEnabled());

        addRule(7); // into the free slot 2, not over slot 3
        QCOMPARE(w.OutRules[2].IPAddr, QStringLiteral("10.0.0.7"));
        QCOMPARE(w.OutRules[3], b);
        QCOMPARE(rowText(2), udpSentence(7));
        QCOMPARE(w.OutCount, qint16(3));

        clickRow(3);
        w.cmdRemove->click();
        QVERIFY(!w.OutRules[3].InUse());
        QCOMPARE(w.OutRules[2].IPAddr, QStringLiteral("10.0.0.7"));
        QCOMPARE(w.OutCount, qint16(2));
        QVERIFY(modifyAndRemoveDisabled());
    }

    void rowHeightsMoveWithTheirSentences()
    {
        NxSetup& w = window();
        addRule(1);
        addRule(2);
        addRule(3);
        const QString longText =
            QString(QStringLiteral("a rather long sentence ")).repeated(40).trimmed();
        w.SetRuleRow(3, longText); // wraps to several lines
        const int tall = w.OutCnct->rowHeight(3);
        const int oneLine = TwipsToPixels(LineHeightTwips(w.font()) + 60);
        QVERIFY(tall >= 3 * (oneLine - 4));
        clickRow(2);
        w.cmdRemove->click();
        QCOMPARE(rowText(2), longText);
        QCOMPARE(w.OutCnct->rowHeight(2), tall);
        QCOMPARE(w.OutCnct->rowHeight(3), oneLine);
        QCOMPARE(w.OutCnct->rowHeight(12), oneLine);
    }

    void currentRuleKeepsItsColours()
    {
        NxSetup& w = window();
        addRule(1);
        addRule(2);
        clickRow(1);
        const QPalette pal = w.OutCnct->palette();
        QCOMPARE(w.OutCnct->item(1, 1)->background().color(),
                 pal.color(QPalette::Active, QPalette::Highlight));
        clickRow(2);
        QCOMPARE(w.OutCnct->item(1, 1)->background().color(), pal.color(QPalette::Base));
        QCOMPARE(w.OutCnct->item(2, 1)->background().color(),
                 pal.color(QPalette::Active, QPalette::Highlight));
        QCOMPARE(w.OutCnct->item(2, 1)->foreground().color(),
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    }
};

QTEST_MAIN(TestRuleList)
#include "test_rulelist.moc"
