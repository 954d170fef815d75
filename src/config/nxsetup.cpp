#include "nxsetup.h"

#include "controls.h"
#include "byvant.h"
#include "forms.h"
#include "logo.h"
#include "msgbox.h"
#include "nxfns.h"
#include "platform.h"
#include "rowheight.h"
#include "settingscheck.h"
#include "twips.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace brevion {
namespace {

constexpr int kGridRows = MaxOutRules + 1;
constexpr int kSlotColumnTwips = 400;
constexpr int kRuleColumnTwips = 7880;
// Column 0: blank header, centred; column 1: left-aligned header text.
const QString kOutCnctFormat = QStringLiteral("^ |<When and how to initiate (and close) a connection");

// Masks with "*" instead of the platform's bullet.
class StarMaskStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

Qt::Alignment formatAlignment(QChar code)
{
    if (code == QLatin1Char('^'))
        return Qt::AlignHCenter | Qt::AlignVCenter;
    if (code == QLatin1Char('>'))
        return Qt::AlignRight | Qt::AlignVCenter;
    return Qt::AlignLeft | Qt::AlignVCenter;
}

QTableWidgetItem* fixedCell(const QString& text, Qt::Alignment alignment, const QPalette& palette)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled);
    item->setTextAlignment(alignment);
    item->setBackground(palette.brush(QPalette::Button));
    item->setForeground(palette.brush(QPalette::ButtonText));
    return item;
}

// The values the window's controls hold, as a user enters them.
SettingsEntry entryOf(const NxSetup& w)
{
    return {!w.StaticIP->isChecked(),   w.IPAddr->text(),
            w.SubnetMask->text(),       w.Gateway->text(),
            w.IPPort->text(),           w.BaudRate->currentIndex(),
            w.Handshaking->currentIndex(), w.UDPPort->text()};
}

} // namespace

NxSetup::NxSetup(QWidget* parent) : Form(parent)
{
    setObjectName(QStringLiteral("NxSetup"));
    setWindowTitle(QStringLiteral("Configure Vant TALIX"));
    setWindowIcon(AppIcon());
    buildControls();

    m_exchange.SetMessageSink([this](const Message& message) { return MsgBox(message, this); });
    m_exchange.SetBringToFront([this] { ZOrder(); });
    connect(&m_exchange, &CommandExchange::SettingsRead, this, &NxSetup::ShowReply);
}

NxSetup::~NxSetup() = default;

void NxSetup::buildControls()
{
    auto label = [](const char* name, const QString& caption, QWidget* parent) {
        return MakeLabel(parent, name, caption);
    };
    auto edit = [](const char* name, int maxLength, QWidget* parent) {
        return MakeTextBox(parent, name, maxLength);
    };
    auto readOnly = [](const char* name, QWidget* parent) { return MakeReadOnlyBox(parent, name); };
    auto button = [](const char* name, const QString& caption, QWidget* parent) {
        return MakeButton(parent, name, caption);
    };
    auto frame = [this](const char* name, const QString& caption) {
        auto* f = new QGroupBox(caption, this);
        f->setObjectName(QLatin1String(name));
        return f;
    };
    auto line = [this](const char* name) {
        auto* l = new QFrame(this);
        l->setObjectName(QLatin1String(name));
        l->setFrameShape(QFrame::HLine);
        l->setFrameShadow(QFrame::Sunken);
        return l;
    };

    // Device identity and logo
    Label4 = label("Label4", QStringLiteral("Device Name"), this);
    NetName = edit("NetName", 16, this);
    NetName->setMinimumWidth(180);
    NameByLabel(Label4, NetName);
    Label9 = label("Label9",
                   QStringLiteral("(Useful for \"finding\" an TALIX when more than one is connected to the local network)"),
                   this);
    Label9->setWordWrap(true);
    Image1 = CreateLogo(this);
    Image1->setFixedSize(128, 64); // the logo's own proportions

    // Address mode
    Frame1 = frame("Frame1", QString());
    DHCP = new QRadioButton(QStringLiteral("Use DHCP to obtain an IP Address"), Frame1);
    DHCP->setObjectName(QStringLiteral("DHCP"));
    DHCP->setChecked(true);
    StaticIP = new QRadioButton(QStringLiteral("Use a Static IP Address"), Frame1);
    StaticIP->setObjectName(QStringLiteral("StaticIP"));
    lblIPAddr = label("lblIPAddr", QStringLiteral("IP Address"), Frame1);
    IPAddr = edit("IPAddr", 15, Frame1);
    lblSubnetMask = label("lblSubnetMask", QStringLiteral("Subnet Mask"), Frame1);
    SubnetMask = edit("SubnetMask", 15, Frame1);
    lblGateway = label("lblGateway", QStringLiteral("Default Gateway"), Frame1);
    Gateway = edit("Gateway", 15, Frame1);
    lblDhcpAddr = label("lblDhcpAddr", QStringLiteral("Current DHCP assigned address"), Frame1);
    DhcpAddr = readOnly("DhcpAddr", Frame1);
    for (QLineEdit* box : {IPAddr, SubnetMask, Gateway, DhcpAddr})
        box->setMinimumWidth(QFontMetrics(box->font()).horizontalAdvance(QStringLiteral("888.888.888.888")) + 16);
    NameByLabel(lblIPAddr, IPAddr);
    NameByLabel(lblSubnetMask, SubnetMask);
    NameByLabel(lblGateway, Gateway);
    NameByLabel(lblDhcpAddr, DhcpAddr);
    for (QWidget* w : std::initializer_list<QWidget*>{lblIPAddr, IPAddr, lblSubnetMask, SubnetMask, lblGateway, Gateway})
        w->setEnabled(false);
    {
        auto* g = new QGridLayout(Frame1);
        g->addWidget(DHCP, 0, 0, 1, 2);
        g->addWidget(StaticIP, 1, 0, 1, 2);
        g->addWidget(lblIPAddr, 2, 0);
        g->addWidget(IPAddr, 2, 1);
        g->addWidget(lblSubnetMask, 3, 0);
        g->addWidget(SubnetMask, 3, 1);
        g->addWidget(lblGateway, 4, 0);
        g->addWidget(Gateway, 4, 1);
        g->addWidget(lblDhcpAddr, 5, 0);
        g->addWidget(DhcpAddr, 5, 1);
        g->setColumnStretch(1, 1);
    }

    // Serial port
    Frame2 = frame("Frame2", QStringLiteral("Serial Port Settings"));
    Label6 = label("Label6", QStringLiteral("Baud rate"), Frame2);
    BaudRate = new QComboBox(Frame2);
    BaudRate->setObjectName(QStringLiteral("BaudRate"));
    for (qint32 rate : kBaudRates)
        BaudRate->addItem(QString::number(rate));
    BaudRate->setCurrentIndex(-1);
    Label7 = label("Label7", QStringLiteral("Handshaking"), Frame2);
    Handshaking = new QComboBox(Frame2);
    Handshaking->setObjectName(QStringLiteral("Handshaking"));
    Handshaking->addItems({QStringLiteral("None"), QStringLiteral("Hardware (CTS/RTS)"),
                           QStringLiteral("Software (XON/XOFF)")});
    Handshaking->setCurrentIndex(-1);
    NameByLabel(Label6, BaudRate);
    NameByLabel(Label7, Handshaking);
    {
        auto* g = new QGridLayout(Frame2);
        g->addWidget(Label6, 0, 0);
        g->addWidget(BaudRate, 0, 1);
        g->addWidget(Label7, 1, 0);
        g->addWidget(Handshaking, 1, 1);
        g->setColumnStretch(1, 1);
    }

    // Incoming TCP and UDP
    Frame3 = frame("Frame3", QStringLiteral("Incoming TCP Connections"));
    Label5 = label("Label5", QStringLiteral("TCP Port to accept connections"), Frame3);
    IPPort = edit("IPPort", 5, Frame3);
    IPPort->setFixedWidth(80);
    NameByLabel(Label5, IPPort);
    {
        auto* h = new QHBoxLayout(Frame3);
        h->addWidget(Label5);
        h->addStretch(1);
        h->addWidget(IPPort);
    }
    Frame4 = frame("Frame4", QStringLiteral("Incoming UDP Packet Data *"));
    Label11 = label("Label11", QStringLiteral("Port to listen for UDP packets"), Frame4);
    UDPPort = edit("UDPPort", 5, Frame4);
    UDPPort->setFixedWidth(80);
    NameByLabel(Label11, UDPPort);
    {
        auto* h = new QHBoxLayout(Frame4);
        h->addWidget(Label11);
        h->addStretch(1);
        h->addWidget(UDPPort);
    }

    // Versions
    Label1 = label("Label1", QStringLiteral("Bootloader version"), this);
    BootVer = readOnly("BootVer", this);
    Label2 = label("Label2", QStringLiteral("Firmware version"), this);
    FirmVer = readOnly("FirmVer", this);
    Label3 = label("Label3", QStringLiteral("Hardware version"), this);
    HdweVer = readOnly("HdweVer", this);
    NameByLabel(Label1, BootVer);
    NameByLabel(Label2, FirmVer);
    NameByLabel(Label3, HdweVer);

    // Outgoing rules
    Frame5 = frame("Frame5", QStringLiteral("Outgoing Connections *"));
    OutCnct = MakeGrid(Frame5, "OutCnct", kGridRows, 2);
    OutCnct->setAccessibleName(Frame5->title());
    OutCnct->horizontalHeader()->hide();
    OutCnct->verticalHeader()->hide();
    OutCnct->setSelectionMode(QAbstractItemView::NoSelection);
    OutCnct->setWordWrap(true);
    OutCnct->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    OutCnct->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    OutCnct->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    {
        const int width = TwipsToPixels(kSlotColumnTwips) + TwipsToPixels(kRuleColumnTwips) +
                          2 * OutCnct->frameWidth() + OutCnct->verticalScrollBar()->sizeHint().width();
        OutCnct->setFixedWidth(width);
        OutCnct->setMinimumHeight(400);
    }
    cmdAddNew = button("cmdAddNew", QStringLiteral("Add New"), Frame5);
    cmdModify = button("cmdModify", QStringLiteral("Modify"), Frame5);
    cmdRemove = button("cmdRemove", QStringLiteral("Remove"), Frame5);
    cmdModify->setEnabled(false);
    cmdRemove->setEnabled(false);
    TextH = new QPlainTextEdit(this);
    TextH->setObjectName(QStringLiteral("TextH"));
    TextH->hide();
    Label10 = label("Label10",
                    QStringLiteral("The Vant-TALIX is limited to twelve simultaneous TCP connections.  They may all be "
                                   "incoming connections, all outgoing, or any combination of both."),
                    Frame5);
    Label10->setWordWrap(true);
    {
        // The grid with its buttons beside it, the note below.
        auto* buttons = new QVBoxLayout;
        buttons->addWidget(cmdAddNew);
        buttons->addWidget(cmdModify);
        buttons->addWidget(cmdRemove);
        buttons->addStretch(1);
        auto* row = new QHBoxLayout;
        row->addWidget(OutCnct, 1);
        row->addLayout(buttons);
        auto* v = new QVBoxLayout(Frame5);
        v->addLayout(row, 1);
        v->addWidget(Label10);
    }

    // Login
    Frame6 = frame("Frame6", QStringLiteral("Login Prompt and Reply **"));
    Label17 = label("Label17",
                    QStringLiteral("If the remote system requires log-in, specify the prompts to look for and the "
                                   "credentials to reply with.  All characters are significant, and upper/lower-case "
                                   "does matter."),
                    Frame6);
    Label17->setWordWrap(true);
    Label12 = label("Label12", QStringLiteral("Prompt for User Name"), Frame6);
    UserPrompt = edit("UserPrompt", 32, Frame6);
    Label13 = label("Label13", QStringLiteral("Prompt for Password"), Frame6);
    PassPrompt = edit("PassPrompt", 32, Frame6);
    Label14 = label("Label14", QStringLiteral("User Name"), Frame6);
    Username = edit("Username", 64, Frame6);
    Label15 = label("Label15", QStringLiteral("Password"), Frame6);
    Password = edit("Password", 64, Frame6);
    Password->setEchoMode(QLineEdit::Password);
    auto* mask = new StarMaskStyle;
    mask->setParent(Password);
    Password->setStyle(mask);
    ShowPassword = new QCheckBox(QStringLiteral("Show"), Frame6);
    ShowPassword->setObjectName(QStringLiteral("ShowPassword"));
    NameByLabel(Label12, UserPrompt);
    NameByLabel(Label13, PassPrompt);
    NameByLabel(Label14, Username);
    NameByLabel(Label15, Password);
    {
        auto* g = new QGridLayout(Frame6);
        g->addWidget(Label17, 0, 0, 1, 4);
        g->addWidget(Label12, 1, 0);
        g->addWidget(UserPrompt, 1, 1);
        g->addWidget(Label13, 1, 2);
        g->addWidget(PassPrompt, 1, 3);
        g->addWidget(Label14, 2, 0);
        g->addWidget(Username, 2, 1);
        g->addWidget(Label15, 2, 2);
        g->addWidget(Password, 2, 3);
        g->addWidget(ShowPassword, 3, 3);
        g->setColumnStretch(1, 1);
        g->setColumnStretch(3, 1);
    }

    // Buttons and notes
    cmdRead = button("cmdRead", QStringLiteral("Read Settings (From TALIX)"), this);
    cmdSend = button("cmdSend", QStringLiteral("Send Settings (To TALIX)"), this);
    cmdReboot = button("cmdReboot", QStringLiteral("Restart Device"), this);
    cmdPgmProgram = button("cmdPgmProgram", QStringLiteral("Update Firmware"), this);
    cmdSave = button("cmdSave", QStringLiteral("Save Settings (To Disk)"), this);
    cmdLoad = button("cmdLoad", QStringLiteral("Load Settings (From Disk)"), this);
    cmdExit = button("cmdExit", QStringLiteral("Close"), this);
    Label8 = label("Label8",
                   QStringLiteral("* Items marked with an asterisk are available only in Firmware version  1.0.12 and later"),
                   this);
    Label16 = label("Label16",
                    QStringLiteral("** Items marked with a double asterisk are available in Firmware version 1.0.18 and later"),
                    this);
    Line1 = line("Line1");
    Line2 = line("Line2");

    // A window's minimum size ignores how many lines a wrapped label needs, so the wrapped
    // notes reserve the height they need at the narrowest width they can get: the grid's.
    for (QLabel* note : {Label9, Label10, Label17})
        note->setMinimumHeight(note->heightForWidth(OutCnct->width()));

    // Arrangement: identity on top, device settings left, rules and login right, then the notes
    // and the command buttons.
    auto* top = new QGridLayout;
    top->addWidget(Label4, 0, 0);
    top->addWidget(NetName, 0, 1);
    top->addWidget(Label9, 1, 0, 1, 3);
    top->setColumnStretch(2, 1);
    auto* header = new QHBoxLayout;
    header->addLayout(top, 1);
    header->addSpacing(24);
    header->addWidget(Image1, 0, Qt::AlignTop);

    auto* versions = new QGridLayout;
    versions->addWidget(Label1, 0, 0);
    versions->addWidget(BootVer, 0, 1);
    versions->addWidget(Label2, 1, 0);
    versions->addWidget(FirmVer, 1, 1);
    versions->addWidget(Label3, 2, 0);
    versions->addWidget(HdweVer, 2, 1);
    versions->setColumnStretch(1, 1);

    auto* left = new QVBoxLayout;
    left->addWidget(Frame1);
    left->addWidget(Frame2);
    left->addWidget(Frame3);
    left->addWidget(Frame4);
    left->addLayout(versions);
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(Frame5, 1);
    right->addWidget(Frame6);
    auto* middle = new QHBoxLayout;
    middle->addLayout(left, 0);
    middle->addLayout(right, 1);

    auto* commands = new QHBoxLayout;
    commands->addWidget(cmdRead);
    commands->addWidget(cmdSend);
    commands->addWidget(cmdReboot);
    commands->addWidget(cmdPgmProgram);
    commands->addStretch(1);
    commands->addWidget(cmdSave);
    commands->addWidget(cmdLoad);
    commands->addSpacing(16);
    commands->addWidget(cmdExit);

    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(12, 12, 12, 12);
    main->addLayout(header);
    main->addWidget(Line1);
    main->addLayout(middle, 1);
    main->addWidget(Line2);
    main->addWidget(Label8);
    main->addWidget(Label16);
    main->addSpacing(4);
    main->addLayout(commands);

    // Handlers
    connect(DHCP, &QRadioButton::clicked, this, &NxSetup::DHCP_Click);
    connect(StaticIP, &QRadioButton::clicked, this, &NxSetup::StaticIP_Click);
    connect(ShowPassword, &QCheckBox::toggled, this, &NxSetup::ShowPassword_Click);
    connect(cmdRead, &QPushButton::clicked, this, &NxSetup::cmdRead_Click);
    connect(cmdSend, &QPushButton::clicked, this, &NxSetup::cmdSend_Click);
    connect(cmdReboot, &QPushButton::clicked, this, &NxSetup::cmdReboot_Click);
    connect(cmdExit, &QPushButton::clicked, this, &NxSetup::cmdExit_Click);
    connect(cmdPgmProgram, &QPushButton::clicked, this, &NxSetup::cmdPgmProgram_Click);
    connect(cmdSave, &QPushButton::clicked, this, &NxSetup::cmdSave_Click);
    connect(cmdLoad, &QPushButton::clicked, this, &NxSetup::cmdLoad_Click);
    connect(cmdAddNew, &QPushButton::clicked, this, &NxSetup::cmdAddNew_Click);
    connect(cmdModify, &QPushButton::clicked, this, &NxSetup::cmdModify_Click);
    connect(cmdRemove, &QPushButton::clicked, this, &NxSetup::cmdRemove_Click);
    connect(OutCnct, &QTableWidget::cellClicked, this, [this](int row, int) { OutCnct_Click(row); });
    connect(OutCnct, &QTableWidget::currentCellChanged, this, [this](int, int, int previousRow, int previousColumn) {
        if (previousRow >= 0 && previousColumn >= 0)
            OutCnct_LeaveCell(previousRow, previousColumn);
        OutCnct_EnterCell();
    });

    watchKeys(this);
}

void NxSetup::watchKeys(QWidget* widget)
{
    widget->installEventFilter(this);
    for (QWidget* child : widget->findChildren<QWidget*>())
        child->installEventFilter(this);
}

void NxSetup::Form_Load()
{
    // The grid: fixed header row and slot column, widths, slot numbers, fitted empty rows.
    const QStringList columns = kOutCnctFormat.split(QLatin1Char('|'));
    const QPalette pal = OutCnct->palette();
    for (int column = 0; column < 2 && column < columns.size(); ++column) {
        const QString format = columns[column];
        const Qt::Alignment alignment = formatAlignment(format.isEmpty() ? QChar() : format[0]);
        OutCnct->setItem(0, column, fixedCell(format.mid(1).trimmed(), alignment, pal));
    }
    OutCnct->setColumnWidth(0, TwipsToPixels(kSlotColumnTwips));
    OutCnct->setColumnWidth(1, TwipsToPixels(kRuleColumnTwips));
    const Qt::Alignment ruleAlignment = formatAlignment(columns.value(1).isEmpty() ? QChar() : columns[1][0]);
    for (int row = 1; row < kGridRows; ++row) {
        OutCnct->setItem(row, 0, fixedCell(QString::number(row), formatAlignment(columns[0][0]), pal));
        auto* rule = new QTableWidgetItem;
        rule->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        rule->setTextAlignment(ruleAlignment);
        OutCnct->setItem(row, 1, rule);
    }
    const int width = OutCnct->columnWidth(1) -
                      2 * (OutCnct->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, OutCnct) + 1);
    for (int row = 0; row < kGridRows; ++row)
        OutCnct->setRowHeight(row, TwipsToPixels(FittedRowHeightTwips(font(), OutCnct->item(row, 1)->text(), width)));
    OutCnct->setCurrentCell(1, 1);
}

void NxSetup::Form_Unload()
{
    m_exchange.Close();
    if (SettingsFile.isOpen())
        SettingsFile.close();
}

void NxSetup::Init()
{
    m_exchange.SetDeviceIP(IPAddr->text());
    DhcpAddr->setText(DeviceIP());
    cmdRead_Click();
    if (MacUnset && !ProgramMacAddress())
        return;
    OutCount = 0;
}

void NxSetup::DHCP_Click()
{
    for (QWidget* w : std::initializer_list<QWidget*>{lblIPAddr, lblSubnetMask, lblGateway, IPAddr, SubnetMask, Gateway})
        w->setEnabled(false);
    lblDhcpAddr->setEnabled(true);
    DhcpAddr->setEnabled(true);
    DhcpAddr->setText(DeviceIP());
}

void NxSetup::StaticIP_Click()
{
    for (QWidget* w : std::initializer_list<QWidget*>{lblIPAddr, lblSubnetMask, lblGateway, IPAddr, SubnetMask, Gateway})
        w->setEnabled(true);
    lblDhcpAddr->setEnabled(false);
    DhcpAddr->setEnabled(false);
    DhcpAddr->clear();
}

void NxSetup::SelectDHCP(bool dhcp)
{
    if (dhcp) {
        DHCP->setChecked(true);
        DHCP_Click();
    } else {
        StaticIP->setChecked(true);
        StaticIP_Click();
    }
}

void NxSetup::ShowPassword_Click()
{
    Password->setEchoMode(ShowPassword->isChecked() ? QLineEdit::Normal : QLineEdit::Password);
}

void NxSetup::Form_KeyPress(QChar typed)
{
    TypedKeys = (TypedKeys + typed.toUpper()).right(7);
    if (TypedKeys == QLatin1String("CREDITS"))
        Forms::Get<ByVant>().show();
}

bool NxSetup::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        // A key a child does not take travels on to its parents; count it once, where it began.
        auto* widget = qobject_cast<QWidget*>(watched);
        auto* previous = qobject_cast<QWidget*>(m_lastKeyReceiver);
        const bool travelling = event == m_lastKeyEvent && widget && previous && widget != previous &&
                                widget->isAncestorOf(previous);
        if (!travelling) {
            m_lastKeyEvent = event;
            m_lastKeyReceiver = watched;
            const QString text = static_cast<QKeyEvent*>(event)->text();
            if (!text.isEmpty())
                Form_KeyPress(text[0]);
        }
        break;
    }
    case QEvent::KeyRelease:
        m_lastKeyEvent = nullptr;
        m_lastKeyReceiver = nullptr;
        break;
    case QEvent::FocusIn: {
        // Select the field's length once the control has finished taking the focus (a tab or a
        // click would otherwise undo the selection).
        auto* box = qobject_cast<QLineEdit*>(watched);
        int length = 0;
        if (box == IPAddr || box == SubnetMask || box == Gateway)
            length = 15;
        else if (box == NetName)
            length = 16;
        else if (box == IPPort || box == UDPPort)
            length = 5;
        else if (box == UserPrompt || box == PassPrompt)
            length = 32;
        else if (box == Username || box == Password)
            length = 64;
        if (length > 0)
            QTimer::singleShot(0, box, [box, length] { box->setSelection(0, std::min<int>(length, box->text().size())); });
        break;
    }
    default:
        break;
    }
    return Form::eventFilter(watched, event);
}

void NxSetup::cmdRead_Click() { m_exchange.Read(); }

void NxSetup::cmdSend_Click()
{
    const SettingsLayout layout = ChooseLayout(SharedVersions());
    if (layout != SettingsLayout::Basic && UDPPort->text().isEmpty())
        UDPPort->setText(QStringLiteral("0"));
    if (const std::optional<Message> invalid = InvalidValueMessage(layout)) {
        MsgBox(*invalid, this);
        return;
    }
    m_exchange.Save(BuildSaveCommand(ToSettings(), layout));
}

void NxSetup::cmdReboot_Click() { m_exchange.Reboot(); }

void NxSetup::cmdExit_Click() { hide(); }

void NxSetup::Timer1_Timer() { m_exchange.Timer1_Timer(); }

void NxSetup::Winsock1_DataArrival(const QByteArray& datagram, const QHostAddress& sender, quint16 senderPort)
{
    m_exchange.Winsock1_DataArrival(datagram, sender, senderPort);
}

void NxSetup::FitRowHeight()
{
    const int row = OutCnct->currentRow();
    if (row < 0)
        return;
    const QTableWidgetItem* item = OutCnct->item(row, 1);
    const int width = OutCnct->columnWidth(1) -
                      2 * (OutCnct->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, OutCnct) + 1);
    const int twips = FittedRowHeightTwips(font(), item ? item->text() : QString(), width);
    OutCnct->setRowHeight(row, TwipsToPixels(twips));
}

void NxSetup::SetRuleRow(int row, const QString& sentence)
{
    if (row < 1 || row > MaxOutRules)
        return;
    OutCnct->setCurrentCell(row, 1);
    if (QTableWidgetItem* item = OutCnct->item(row, 1))
        item->setText(sentence);
    FitRowHeight();
}

DeviceSettings NxSetup::ToSettings() const
{
    DeviceSettings s;
    ApplyEntry(s, entryOf(*this));
    s.NetName = NetName->text();
    s.Rules.OutRules = OutRules;
    s.Rules.OutCount = OutCount;
    s.UserPrompt = UserPrompt->text();
    s.PassPrompt = PassPrompt->text();
    s.Username = Username->text();
    s.Password = Password->text();
    return s;
}

std::optional<Message> NxSetup::InvalidValueMessage(SettingsLayout layout) const
{
    if (const std::optional<InvalidSetting> invalid = CheckSettings(entryOf(*this), ToSettings(), layout))
        return Message{InvalidValueTitle(), InvalidValueText(*invalid)};
    return std::nullopt;
}

void NxSetup::ShowReply(const SettingsReply& reply)
{
    if (!reply.checksumOk)
        return;
    SelectDHCP(reply.DHCP);
    IPAddr->setText(reply.IPAddr);
    SubnetMask->setText(reply.SubnetMask);
    Gateway->setText(reply.Gateway);
    NetName->setText(reply.NetName);
    IPPort->setText(QString::number(reply.IPPort));
    // A rate the list does not offer, or a handshaking value beyond it, leaves the choice as it was.
    if (const int baud = BaudRateIndex(reply.BaudRate); baud >= 0)
        BaudRate->setCurrentIndex(baud);
    if (reply.Handshaking < kHandshakingEntries)
        Handshaking->setCurrentIndex(reply.Handshaking);
    HdweVer->setText(reply.HdweVer);
    BootVer->setText(reply.BootVer);
    FirmVer->setText(reply.FirmVer);
    if (reply.UDPPort)
        UDPPort->setText(QString::number(*reply.UDPPort));
    if (reply.OutRules) {
        OutCount = 0;
        for (int n = 1; n <= MaxOutRules; ++n) {
            OutRules[n] = (*reply.OutRules)[n];
            SetRuleRow(n, RuleDescription(OutRules[n]));
            if (OutRules[n].InUse())
                ++OutCount;
        }
        UpdateAddNew();
    }
    if (reply.login) {
        UserPrompt->setText(reply.login->UserPrompt);
        PassPrompt->setText(reply.login->PassPrompt);
        Username->setText(reply.login->Username);
        Password->setText(reply.login->Password);
    }
}

} // namespace brevion
