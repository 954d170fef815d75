#include "windows.h"

#include "ui/dialogs.h"
#include "ui/msgbox.h"
#include "gui/nxsetup.h"
#include "gui/outgoingwiz.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

using namespace brevion;

namespace support {

namespace {

void select(QRadioButton* option)
{
    QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(6, option->height() / 2));
}

} // namespace

void clickRow(QTableWidget* grid, int row, int column)
{
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(grid->item(row, column)).center());
}

void answerBoxes(Boxes& boxes)
{
    SetMessageResponder(boxes.sink());
}

void answerWizard(const RuleAnswer& a)
{
    using Kind = RuleAnswer::Kind;
    SetModalResponder([a](QWidget& shown) {
        OutgoingWiz& w = window<OutgoingWiz>();
        if (&shown != &w)
            return;
        const auto press = [](QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); };
        if (a.cancel)
            return press(w.cmdCancel);
        const auto next = [&] { press(w.cmdNext); };
        w.IPAddr->setText(a.ip);
        w.Port->setText(QString::number(a.port));
        select(a.kind == Kind::Udp ? w.optUDP : w.optTCP);
        if (a.kind != Kind::Udp) {
            next(); // to the page "when to connect"
            select(a.kind == Kind::TcpPowerup ? w.optWhenPowerup : w.optWhenSerial);
            next(); // to the login page
            select(a.login ? w.LoginYes : w.LoginNo);
            if (a.kind == Kind::TcpSerial) {
                next(); // to the page "how long"
                if (a.seconds > 0) {
                    select(w.optForSeconds);
                    w.ForSeconds->setText(QString::number(a.seconds));
                } else {
                    select(w.optIndefinite);
                }
            }
        }
        next(); // to the done page
        next(); // Done
    });
}

void addRule(const RuleAnswer& answer)
{
    answerWizard(answer);
    window<NxSetup>().cmdAddNew->click();
    SetModalResponder({});
}

} // namespace support
