#include "gui/outgoingwiz.h"

#include "ui/controls.h"
#include "ui/logo.h"
#include "ui/msgbox.h"
#include "ui/platform.h"
#include "ui/twips.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

namespace brevion {

OutCnctRule EditRule = EmptyRule();
OutCnctRule WizRule = EmptyRule();

namespace {

// Geometry in twips: the pages on top, the rule frame below them, the buttons at the bottom.
constexpr int kClientWidth = 7200;
constexpr int kClientHeight = 5040;
constexpr int kPageLeft = 120, kPageTop = 120, kPageWidth = 6960, kPageHeight = 2760;
constexpr int kButtonTop = 4500, kButtonWidth = 1215, kButtonHeight = 375;

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QRect& rect,
                  bool wrap = false)
{
    auto* label = MakeLabel(parent, name, text, rect);
    label->setWordWrap(wrap);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QFrame* makePage(QStackedWidget* pages, int index)
{
    auto* page = new QFrame;
    page->setObjectName(QStringLiteral("WizFrame"));
    page->setProperty("Index", index);
    page->setFrameShape(QFrame::StyledPanel);
    pages->addWidget(page);
    return page;
}

} // namespace

OutgoingWiz::OutgoingWiz(QWidget* parent) : Form(parent)
{
    setObjectName(QStringLiteral("OutgoingWiz"));
    setWindowTitle(kWizTitle);
    setWindowIcon(AppIcon());
    setFixedSize(TwipsToPixels(kClientWidth), TwipsToPixels(kClientHeight));

    Pages = new QStackedWidget(this);
    Pages->setObjectName(QStringLiteral("Pages"));
    Pages->setGeometry(TwipsRect(kPageLeft, kPageTop, kPageWidth, kPageHeight));
    for (int i = 0; i < kWizPages; ++i)
        WizFrame[i] = makePage(Pages, i);
    buildAddressPage(WizFrame[0]);
    buildWhenPage(WizFrame[1]);
    buildLoginPage(WizFrame[2]);
    buildDurationPage(WizFrame[3]);
    buildDonePage(WizFrame[4]);
    buildRuleAndButtons();
    connectHandlers();
    ShowWizPage();
}

// Page 0: address and protocol.
void OutgoingWiz::buildAddressPage(QFrame* p)
{
    lblConnectTo =
        makeLabel(p, "lblConnectTo", QStringLiteral("Connect to:"), TwipsRect(240, 240, 3000, 255));
    lblIPAddr =
        makeLabel(p, "lblIPAddr", QStringLiteral("IP Address"), TwipsRect(480, 780, 1200, 255));
    IPAddr = MakeTextBox(p, "IPAddr", 16, TwipsRect(1800, 720, 2400, 330));
    lblPort = makeLabel(p, "lblPort", QStringLiteral("Port"), TwipsRect(480, 1260, 1200, 255));
    Port = MakeTextBox(p, "Port", 5, TwipsRect(1800, 1200, 1000, 330));
    lblUsing = makeLabel(p, "lblUsing", QStringLiteral("Using"), TwipsRect(480, 1740, 1200, 255));
    optTCP = MakeOption(p, "optTCP", QStringLiteral("TCP"), TwipsRect(1800, 1710, 1000, 315));
    optUDP = MakeOption(p, "optUDP", QStringLiteral("UDP"), TwipsRect(2880, 1710, 1000, 315));
    NameByLabel(lblIPAddr, IPAddr);
    NameByLabel(lblPort, Port);
    optTCP->setChecked(true);
}

// Page 1: when to connect.
void OutgoingWiz::buildWhenPage(QFrame* p)
{
    lblWhen = makeLabel(p, "lblWhen", QStringLiteral("When should the unit make this connection?"),
                        TwipsRect(240, 240, 6480, 255));
    optWhenPowerup =
        MakeOption(p, "optWhenPowerup",
                   QStringLiteral("Following power-up or reboot (stays connected indefinitely)."),
                   TwipsRect(480, 780, 6240, 315));
    optWhenSerial = MakeOption(p, "optWhenSerial",
                               QStringLiteral("When incoming data is detected on the serial port."),
                               TwipsRect(480, 1260, 6240, 315));
    optWhenPowerup->setChecked(true);
}

// Page 2: login.
void OutgoingWiz::buildLoginPage(QFrame* p)
{
    lblLogin = makeLabel(
        p, "lblLogin", QStringLiteral("Does the remote system require login (username/password)?"),
        TwipsRect(240, 240, 6480, 255));
    LoginYes = MakeOption(p, "LoginYes", QStringLiteral("YES"), TwipsRect(480, 780, 1500, 315));
    LoginNo = MakeOption(p, "LoginNo", QStringLiteral("NO"), TwipsRect(480, 1200, 1500, 315));
    lblLoginNote = makeLabel(
        p, "lblLoginNote",
        QStringLiteral("You may enter the prompts to look for from the remote system and the "
                       "corresponding username and password to reply with in the "
                       "\"Login Prompt and Reply\" area later."),
        TwipsRect(240, 1800, 6480, 720), true);
    LoginNo->setChecked(true);
}

// Page 3: how long to stay connected.
void OutgoingWiz::buildDurationPage(QFrame* p)
{
    lblKeepOpen = makeLabel(p, "lblKeepOpen", QStringLiteral("Keep the connection open ..."),
                            TwipsRect(240, 240, 6480, 255));
    optIndefinite = MakeOption(p, "optIndefinite", QStringLiteral("Indefinitely"),
                               TwipsRect(480, 780, 3600, 315));
    optForSeconds =
        MakeOption(p, "optForSeconds", QStringLiteral("Until it has been idle (no data) for"),
                   TwipsRect(480, 1260, 3600, 315));
    ForSeconds = MakeTextBox(p, "ForSeconds", 4, TwipsRect(4140, 1230, 720, 330));
    lblSeconds =
        makeLabel(p, "lblSeconds", QStringLiteral("second(s)"), TwipsRect(4980, 1290, 1200, 255));
    lblRange =
        makeLabel(p, "lblRange", QStringLiteral("(1 - 3600)"), TwipsRect(4140, 1680, 1200, 255));
    NameByLabel(lblSeconds, ForSeconds);
    optIndefinite->setChecked(true);
    ForSeconds->setReadOnly(true);
}

// Page 4: done.
void OutgoingWiz::buildDonePage(QFrame* p)
{
    lblDone = makeLabel(
        p, "lblDone",
        QStringLiteral("You have completed the Outgoing Connection Wizard.  Review the connection "
                       "rule below and click \"Done\" to accept it."),
        TwipsRect(240, 240, 6480, 960), true);
}

// The rule as built so far, and the buttons.
void OutgoingWiz::buildRuleAndButtons()
{
    FrameRule = new QGroupBox(QStringLiteral("Outgoing Connection Rule"), this);
    FrameRule->setObjectName(QStringLiteral("FrameRule"));
    FrameRule->setGeometry(TwipsRect(kPageLeft, 3000, kPageWidth, 1380));
    OutgoingRule =
        makeLabel(FrameRule, "OutgoingRule", QString(), TwipsRect(180, 300, 6600, 960), true);

    cmdHelp = MakeButton(this, "cmdHelp", QStringLiteral("Help"),
                         TwipsRect(120, kButtonTop, kButtonWidth, kButtonHeight));
    cmdBack = MakeButton(this, "cmdBack", QStringLiteral("<- Back"),
                         TwipsRect(3000, kButtonTop, kButtonWidth, kButtonHeight));
    cmdNext = MakeButton(this, "cmdNext", QStringLiteral("Next ->"),
                         TwipsRect(4320, kButtonTop, kButtonWidth, kButtonHeight));
    cmdCancel = MakeButton(this, "cmdCancel", QStringLiteral("Cancel"),
                           TwipsRect(5865, kButtonTop, kButtonWidth, kButtonHeight));
}

void OutgoingWiz::connectHandlers()
{
    connect(cmdNext, &QPushButton::clicked, this, &OutgoingWiz::cmdNext_Click);
    connect(cmdBack, &QPushButton::clicked, this, &OutgoingWiz::cmdBack_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &OutgoingWiz::cmdCancel_Click);
    SetEscapeButton(cmdCancel);
    connect(cmdHelp, &QPushButton::clicked, this, &OutgoingWiz::cmdHelp_Click);
    // Selecting an option, by the user or by the program, runs its handler.
    auto onSelect = [this](QRadioButton* option, void (OutgoingWiz::*handler)()) {
        connect(option, &QRadioButton::toggled, this, [this, handler](bool on) {
            if (on)
                (this->*handler)();
        });
    };
    onSelect(optWhenPowerup, &OutgoingWiz::optWhenPowerup_Click);
    onSelect(optWhenSerial, &OutgoingWiz::optWhenSerial_Click);
    onSelect(LoginYes, &OutgoingWiz::LoginYes_Click);
    onSelect(LoginNo, &OutgoingWiz::LoginNo_Click);
    onSelect(optIndefinite, &OutgoingWiz::optIndefinite_Click);
    onSelect(optForSeconds, &OutgoingWiz::optForSeconds_Click);
    IPAddr->installEventFilter(this);
    Port->installEventFilter(this);
    ForSeconds->installEventFilter(this);
}

WizChoices OutgoingWiz::Choices() const
{
    WizChoices c;
    c.IPAddr = IPAddr->text();
    c.Port = Port->text();
    c.TCP = optTCP->isChecked();
    c.WhenPowerup = optWhenPowerup->isChecked();
    c.LoginYes = LoginYes->isChecked();
    c.Indefinite = optIndefinite->isChecked();
    c.ForSeconds = ForSeconds->text();
    return c;
}

void OutgoingWiz::Form_Init()
{
    const WizChoices c = WizChoicesFor(EditRule);
    SetWholeText(IPAddr, c.IPAddr);
    SetWholeText(Port, c.Port);
    (c.TCP ? optTCP : optUDP)->setChecked(true);
    if (c.WhenPowerup) {
        optWhenPowerup->setChecked(true);
        optWhenPowerup_Click();
    } else {
        optWhenSerial->setChecked(true);
        optWhenSerial_Click();
    }
    (c.LoginYes ? LoginYes : LoginNo)->setChecked(true);
    if (c.Indefinite) {
        optIndefinite->setChecked(true);
        optIndefinite_Click();
    } else {
        optForSeconds->setChecked(true);
        optForSeconds_Click();
    }
    SetWholeText(ForSeconds, c.ForSeconds);
    WizPage = 0;
    ShowWizPage();
    Cancelled = false;
    WizRule = EditRule;
}

void OutgoingWiz::ShowWizPage()
{
    Pages->setCurrentIndex(WizPage);
    cmdBack->setEnabled(WizPage != 0);
    cmdNext->setText(WizPage == 4 ? QStringLiteral("Done") : QStringLiteral("Next ->"));
    BuildRuleText();
    if (WizPage == 0 && isVisible())
        IPAddr->setFocus();
}

void OutgoingWiz::BuildRuleText()
{
    OutgoingRule->setText(brevion::BuildRuleText(WizPage, Choices(), WizRule));
}

void OutgoingWiz::cmdNext_Click()
{
    if (const auto problem = WizPageProblem(WizPage, Choices())) {
        MsgBox(*problem, MsgButtons::Ok, kWizInvalidTitle, this);
        return;
    }
    const int next = WizNextPage(WizPage, Choices());
    if (next == kWizDone) {
        hide();
        return;
    }
    WizPage = qint16(next);
    ShowWizPage();
}

void OutgoingWiz::cmdBack_Click()
{
    WizPage = qint16(WizBackPage(WizPage, Choices()));
    ShowWizPage();
}

void OutgoingWiz::cmdCancel_Click()
{
    Cancelled = true;
    hide();
}

void OutgoingWiz::cmdHelp_Click()
{
    MsgBox(WizHelpText(WizPage), MsgButtons::Ok, kWizTitle, this);
}

void OutgoingWiz::optWhenPowerup_Click()
{
    BuildRuleText();
}
void OutgoingWiz::optWhenSerial_Click()
{
    BuildRuleText();
}
void OutgoingWiz::LoginYes_Click()
{
    BuildRuleText();
}
void OutgoingWiz::LoginNo_Click()
{
    BuildRuleText();
}

void OutgoingWiz::optIndefinite_Click()
{
    ForSeconds->setReadOnly(true);
    BuildRuleText();
}

void OutgoingWiz::optForSeconds_Click()
{
    ForSeconds->setReadOnly(false);
    BuildRuleText();
}

void OutgoingWiz::ForSeconds_GotFocus()
{
    optForSeconds->setChecked(true);
    optForSeconds_Click();
    BuildRuleText();
}

void OutgoingWiz::IPAddr_LostFocus()
{
    BuildRuleText();
}
void OutgoingWiz::Port_LostFocus()
{
    BuildRuleText();
}
void OutgoingWiz::ForSeconds_LostFocus()
{
    BuildRuleText();
}

void OutgoingWiz::closeEvent(QCloseEvent* event)
{
    event->ignore();
    if (isVisible())
        cmdCancel_Click();
}

bool OutgoingWiz::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn && watched == ForSeconds) {
        ForSeconds_GotFocus();
    } else if (event->type() == QEvent::FocusOut) {
        if (watched == IPAddr)
            IPAddr_LostFocus();
        else if (watched == Port)
            Port_LostFocus();
        else if (watched == ForSeconds)
            ForSeconds_LostFocus();
    }
    return Form::eventFilter(watched, event);
}

} // namespace brevion
