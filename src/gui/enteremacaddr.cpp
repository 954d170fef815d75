#include "gui/enteremacaddr.h"

#include "ui/logo.h"
#include "config/maccommand.h"
#include "ui/platform.h"
#include "ui/twips.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace brevion {

EnterMacAddr::EnterMacAddr(QWidget* parent) : Form(parent)
{
    setObjectName(QStringLiteral("EnterMacAddr"));
    setWindowTitle(QStringLiteral("Enter EUI48 (MAC) Address"));
    setWindowIcon(AppIcon());
    setWindowFlag(Qt::Dialog);
    setFixedSize(TwipsToPixels(5400), TwipsToPixels(1800));

    Label1 = new QLabel(QStringLiteral("Enter a new EUI48 (MAC) Address for this device:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(TwipsRect(240, 240, 4920, 255));
    NewAddrL = new QLineEdit(kMacPrefix, this);
    NewAddrL->setObjectName(QStringLiteral("NewAddrL"));
    NewAddrL->setReadOnly(true);
    NewAddrL->setFocusPolicy(Qt::NoFocus);
    NewAddrL->setGeometry(TwipsRect(240, 600, 1095, 315));
    NewAddrL->setAccessibleName(QStringLiteral("Organisation prefix"));
    NewAddr = new QLineEdit(this);
    NewAddr->setObjectName(QStringLiteral("NewAddr"));
    NewAddr->setMaxLength(6);
    NewAddr->setGeometry(TwipsRect(1335, 600, 1095, 315));
    NameByLabel(Label1, NewAddr);
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(TwipsRect(3960, 600, 1215, 375));
    OKButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(TwipsRect(3960, 1080, 1215, 375));
    SetEscapeButton(CancelButton);

    connect(NewAddr, &QLineEdit::textChanged, this, &EnterMacAddr::NewAddr_Change);
    connect(OKButton, &QPushButton::clicked, this, &EnterMacAddr::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &EnterMacAddr::CancelButton_Click);
}

void EnterMacAddr::NewAddr_Change()
{
    const QString upper = NewAddr->text().toUpper();
    if (upper != NewAddr->text())
        NewAddr->setText(upper); // comes back here once, unchanged
    NewAddr->setCursorPosition(static_cast<int>(NewAddr->text().size()));
}

void EnterMacAddr::OKButton_Click()
{
    Cancelled = false;
    hide();
}

void EnterMacAddr::CancelButton_Click()
{
    Cancelled = true;
    hide();
}

void EnterMacAddr::closeEvent(QCloseEvent* event)
{
    event->ignore();
    CancelButton_Click();
}

} // namespace brevion
