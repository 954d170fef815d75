#include "gui/nxsetup.h"

#include "ui/controls.h"
#include "gui/byvant.h"
#include "config/controlvalues.h"
#include "ui/forms.h"
#include "ui/logo.h"
#include "ui/msgbox.h"
#include "common/nxfns.h"
#include "ui/platform.h"
#include "gui/rowheight.h"
#include "config/settingscheck.h"
#include "ui/twips.h"

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

#include <tuple>

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
    buildIdentity();
    buildAddressFrame();
    buildSerialFrames();
    buildVersions();
    buildRulesFrame();
    buildLoginFrame();
    buildCommands();
    // A window's minimum size ignores how many lines a wrapped label needs, so the wrapped
    // notes reserve the height they need at the narrowest width they can get: the grid's.
    for (QLabel* note : {Label9, Label10, Label17})
        note->setMinimumHeight(note->heightForWidth(OutCnct->width()));
    arrangeControls();
    connectHandlers();
    watchKeys(this);
}

QGroupBox* NxSetup::makeFrame(const char* name, const QString& caption)
{
    auto* frame = new QGroupBox(caption, this);
    frame->setObjectName(QLatin1String(name));
    return frame;
}

QLineEdit* NxSetup::makeValueBox(QLabel* label, const char* name, QWidget* parent)
{
    QLineEdit* box = MakeTextBox(parent, name, FindSettingsField(QString::fromLatin1(name))->width);
    NameByLabel(label, box);
    return box;
}

void NxSetup::buildIdentity()
{
    Label4 = MakeLabel(this, "Label4", CaptionOf(u"NetName"));
    NetName = makeValueBox(Label4, "NetName", this);
    NetName->setMinimumWidth(180);
    Label9 = MakeLabel(this, "Label9",
                       QStringLiteral("(Useful for \"finding\" an TALIX when more than one is connected to the local network)"));
    Label9->setWordWrap(true);
    Image1 = CreateLogo(this);
    Image1->setFixedSize(128, 64); // the logo's own proportions
}

void NxSetup::buildAddressFrame()
{
    Frame1 = makeFrame("Frame1", QString());
    DHCP = MakeOption(Frame1, "DHCP", QStringLiteral("Use DHCP to obtain an IP Address"));
    DHCP->setChecked(true);
    StaticIP = MakeOption(Frame1, "StaticIP", QStringLiteral("Use a Static IP Address"));
    lblIPAddr = MakeLabel(Frame1, "lblIPAddr", CaptionOf(u"IPAddr"));
    IPAddr = makeValueBox(lblIPAddr, "IPAddr", Frame1);
    lblSubnetMask = MakeLabel(Frame1, "lblSubnetMask", CaptionOf(u"SubnetMask"));
    SubnetMask = makeValueBox(lblSubnetMask, "SubnetMask", Frame1);
    lblGateway = MakeLabel(Frame1, "lblGateway", CaptionOf(u"Gateway"));
    Gateway = makeValueBox(lblGateway, "Gateway", Frame1);
    lblDhcpAddr = MakeLabel(Frame1, "lblDhcpAddr", QStringLiteral("Current DHCP assigned address"));
    DhcpAddr = MakeReadOnlyBox(Frame1, "DhcpAddr");
    NameByLabel(lblDhcpAddr, DhcpAddr);
    auto* g = new QGridLayout(Frame1);
    g->addWidget(DHCP, 0, 0, 1, 2);
    g->addWidget(StaticIP, 1, 0, 1, 2);
    int row = 2;
    for (auto [label, box] : {std::pair<QLabel*, QLineEdit*>{lblIPAddr, IPAddr}, {lblSubnetMask, SubnetMask},
                              {lblGateway, Gateway}, {lblDhcpAddr, DhcpAddr}}) {
        box->setMinimumWidth(QFontMetrics(box->font()).horizontalAdvance(QStringLiteral("888.888.888.888")) + 16);
        g->addWidget(label, row, 0);
        g->addWidget(box, row++, 1);
    }
    g->setColumnStretch(1, 1);
    for (QWidget* w : std::initializer_list<QWidget*>{lblIPAddr, IPAddr, lblSubnetMask, SubnetMask, lblGateway, Gateway})
        w->setEnabled(false);
}

QComboBox* NxSetup::makeList(QLabel* label, const char* name, const QStringList& entries, QWidget* parent)
{
    auto* list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    list->addItems(entries);
    list->setCurrentIndex(-1);
    NameByLabel(label, list);
    return list;
}

// The serial port, and the incoming TCP and UDP ports.
void NxSetup::buildSerialFrames()
{
    Frame2 = makeFrame("Frame2", QStringLiteral("Serial Port Settings"));
    Label6 = MakeLabel(Frame2, "Label6", CaptionOf(u"BaudRate"));
    QStringList rates;
    for (qint32 rate : kBaudRates)
        rates << QString::number(rate);
    BaudRate = makeList(Label6, "BaudRate", rates, Frame2);
    Label7 = MakeLabel(Frame2, "Label7", CaptionOf(u"Handshaking"));
    Handshaking = makeList(Label7, "Handshaking",
                           {QStringLiteral("None"), QStringLiteral("Hardware (CTS/RTS)"),
                            QStringLiteral("Software (XON/XOFF)")},
                           Frame2);
    auto* g = new QGridLayout(Frame2);
    g->addWidget(Label6, 0, 0);
    g->addWidget(BaudRate, 0, 1);
    g->addWidget(Label7, 1, 0);
    g->addWidget(Handshaking, 1, 1);
    g->setColumnStretch(1, 1);

    const auto portFrame = [this](const char* frameName, const QString& caption, QLabel*& label,
                                  const char* labelName, const QString& labelCaption, const char* boxName) {
        QGroupBox* frame = makeFrame(frameName, caption);
        label = MakeLabel(frame, labelName, labelCaption);
        QLineEdit* box = makeValueBox(label, boxName, frame);
        box->setFixedWidth(80);
        auto* h = new QHBoxLayout(frame);
        h->addWidget(label);
        h->addStretch(1);
        h->addWidget(box);
        return std::pair{frame, box};
    };
    std::tie(Frame3, IPPort) = portFrame("Frame3", QStringLiteral("Incoming TCP Connections"), Label5, "Label5",
                                         CaptionOf(u"IPPort"), "IPPort");
    std::tie(Frame4, UDPPort) = portFrame("Frame4", QStringLiteral("Incoming UDP Packet Data *"), Label11, "Label11",
                                          CaptionOf(u"UDPPort"), "UDPPort");
}

void NxSetup::buildVersions()
{
    Label1 = MakeLabel(this, "Label1", QStringLiteral("Bootloader version"));
    BootVer = MakeReadOnlyBox(this, "BootVer");
    Label2 = MakeLabel(this, "Label2", QStringLiteral("Firmware version"));
    FirmVer = MakeReadOnlyBox(this, "FirmVer");
    Label3 = MakeLabel(this, "Label3", QStringLiteral("Hardware version"));
    HdweVer = MakeReadOnlyBox(this, "HdweVer");
    NameByLabel(Label1, BootVer);
    NameByLabel(Label2, FirmVer);
    NameByLabel(Label3, HdweVer);
}

void NxSetup::buildRulesFrame()
{
    Frame5 = makeFrame("Frame5", QStringLiteral("Outgoing Connections *"));
    OutCnct = MakeGrid(Frame5, "OutCnct", kGridRows, 2);
    OutCnct->setAccessibleName(Frame5->title());
    OutCnct->horizontalHeader()->hide();
    OutCnct->verticalHeader()->hide();
    OutCnct->setSelectionMode(QAbstractItemView::NoSelection);
    OutCnct->setWordWrap(true);
    OutCnct->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    OutCnct->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    OutCnct->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    OutCnct->setFixedWidth(TwipsToPixels(kSlotColumnTwips) + TwipsToPixels(kRuleColumnTwips) +
                           2 * OutCnct->frameWidth() + OutCnct->verticalScrollBar()->sizeHint().width());
    OutCnct->setMinimumHeight(400);
    cmdAddNew = MakeButton(Frame5, "cmdAddNew", QStringLiteral("Add New"));
    cmdModify = MakeButton(Frame5, "cmdModify", QStringLiteral("Modify"));
    cmdRemove = MakeButton(Frame5, "cmdRemove", QStringLiteral("Remove"));
    cmdModify->setEnabled(false);
    cmdRemove->setEnabled(false);
    TextH = new QPlainTextEdit(this);
    TextH->setObjectName(QStringLiteral("TextH"));
    TextH->hide();
    Label10 = MakeLabel(Frame5, "Label10",
                        QStringLiteral("The Vant-TALIX is limited to twelve simultaneous TCP connections.  They may all "
                                       "be incoming connections, all outgoing, or any combination of both."));
    Label10->setWordWrap(true);
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

void NxSetup::buildLoginFrame()
{
    Frame6 = makeFrame("Frame6", QStringLiteral("Login Prompt and Reply **"));
    Label17 = MakeLabel(Frame6, "Label17",
                        QStringLiteral("If the remote system requires log-in, specify the prompts to look for and the "
                                       "credentials to reply with.  All characters are significant, and "
                                       "upper/lower-case does matter."));
    Label17->setWordWrap(true);
    Label12 = MakeLabel(Frame6, "Label12", CaptionOf(u"UserPrompt"));
    UserPrompt = makeValueBox(Label12, "UserPrompt", Frame6);
    Label13 = MakeLabel(Frame6, "Label13", CaptionOf(u"PassPrompt"));
    PassPrompt = makeValueBox(Label13, "PassPrompt", Frame6);
    Label14 = MakeLabel(Frame6, "Label14", CaptionOf(u"Username"));
    Username = makeValueBox(Label14, "Username", Frame6);
    Label15 = MakeLabel(Frame6, "Label15", CaptionOf(u"Password"));
    Password = makeValueBox(Label15, "Password", Frame6);
    Password->setEchoMode(QLineEdit::Password);
    auto* mask = new StarMaskStyle;
    mask->setParent(Password);
    Password->setStyle(mask);
    ShowPassword = new QCheckBox(QStringLiteral("Show"), Frame6);
    ShowPassword->setObjectName(QStringLiteral("ShowPassword"));
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

void NxSetup::buildCommands()
{
    cmdRead = MakeButton(this, "cmdRead", QStringLiteral("Read Settings (From TALIX)"));
    cmdSend = MakeButton(this, "cmdSend", QStringLiteral("Send Settings (To TALIX)"));
    cmdReboot = MakeButton(this, "cmdReboot", QStringLiteral("Restart Device"));
    cmdPgmProgram = MakeButton(this, "cmdPgmProgram", QStringLiteral("Update Firmware"));
    cmdSave = MakeButton(this, "cmdSave", QStringLiteral("Save Settings (To Disk)"));
    cmdLoad = MakeButton(this, "cmdLoad", QStringLiteral("Load Settings (From Disk)"));
    cmdExit = MakeButton(this, "cmdExit", QStringLiteral("Close"));
    Label8 = MakeLabel(this, "Label8",
                       QStringLiteral("* Items marked with an asterisk are available only in Firmware version  1.0.12 "
                                      "and later"));
    Label16 = MakeLabel(this, "Label16",
                        QStringLiteral("** Items marked with a double asterisk are available in Firmware version "
                                       "1.0.18 and later"));
    const auto line = [this](const char* name) {
        auto* l = new QFrame(this);
        l->setObjectName(QLatin1String(name));
        l->setFrameShape(QFrame::HLine);
        l->setFrameShadow(QFrame::Sunken);
        return l;
    };
    Line1 = line("Line1");
    Line2 = line("Line2");
}

// Identity on top, device settings left, rules and login right, then the notes and the command
// buttons.
void NxSetup::arrangeControls()
{
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
    int row = 0;
    for (auto [label, box] : {std::pair<QLabel*, QLineEdit*>{Label1, BootVer}, {Label2, FirmVer}, {Label3, HdweVer}}) {
        versions->addWidget(label, row, 0);
        versions->addWidget(box, row++, 1);
    }
    versions->setColumnStretch(1, 1);
    auto* left = new QVBoxLayout;
    for (QWidget* frame : {Frame1, Frame2, Frame3, Frame4})
        left->addWidget(frame);
    left->addLayout(versions);
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(Frame5, 1);
    right->addWidget(Frame6);
    auto* middle = new QHBoxLayout;
    middle->addLayout(left, 0);
    middle->addLayout(right, 1);

    auto* commands = new QHBoxLayout;
    for (QWidget* button : {cmdRead, cmdSend, cmdReboot, cmdPgmProgram})
        commands->addWidget(button);
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
}

void NxSetup::connectHandlers()
{
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
    m_held.reset();
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
        const SettingsField* field = box ? FindSettingsField(box->objectName()) : nullptr;
        const int length = field ? field->width : 0;
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
    // Each value sent was judged or is the device's own: the next Send may take them as held.
    m_held = std::make_unique<ControlValues>(Values());
    m_exchange.Save(BuildSaveCommand(ToSettings(), layout));
}

void NxSetup::cmdReboot_Click() { m_exchange.Reboot(); }

void NxSetup::cmdExit_Click() { hide(); }

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

ControlValues NxSetup::Values() const
{
    ControlValues values;
    values.entry.DHCP = !StaticIP->isChecked();
    for (const SettingsField& field : SettingsFields()) {
        if (field.text)
            field.text(values) = findChild<QLineEdit*>(QLatin1String(field.name))->text();
        else if (field.index)
            field.index(values) = findChild<QComboBox*>(QLatin1String(field.name))->currentIndex();
    }
    values.settings.Rules.OutRules = OutRules;
    values.settings.Rules.OutCount = OutCount;
    ApplyEntry(values.settings, values.entry);
    return values;
}

void NxSetup::ShowValues(const ControlValues& values)
{
    SelectDHCP(values.entry.DHCP);
    // A text longer than its box takes (from a settings file) is kept whole.
    for (const SettingsField& field : SettingsFields()) {
        if (field.text)
            SetWholeText(findChild<QLineEdit*>(QLatin1String(field.name)), TextOf(field, values));
        else if (field.index)
            findChild<QComboBox*>(QLatin1String(field.name))->setCurrentIndex(IndexOf(field, values));
    }
}

void NxSetup::ShowRules(const OutRuleTable& rules, const std::array<QString, MaxOutRules + 1>& sentences)
{
    OutRules = rules.OutRules;
    for (int n = 1; n <= MaxOutRules; ++n)
        SetRuleRow(n, sentences[n]);
    OutCount = rules.OutCount;
    UpdateAddNew();
}

DeviceSettings NxSetup::ToSettings() const { return SettingsOf(Values()); }

std::optional<Message> NxSetup::InvalidValueMessage(SettingsLayout layout) const
{
    const ControlValues values = Values();
    if (const std::optional<InvalidSetting> invalid = CheckSettings(values.entry, SettingsOf(values), layout, m_held.get()))
        return Message{InvalidValueTitle(), InvalidValueText(*invalid)};
    return std::nullopt;
}

void NxSetup::ShowReply(const SettingsReply& reply)
{
    if (!reply.checksumOk)
        return;
    ControlValues values = Values();
    ApplyReply(values, reply);
    ShowValues(values);
    HdweVer->setText(reply.HdweVer);
    BootVer->setText(reply.BootVer);
    FirmVer->setText(reply.FirmVer);
    if (reply.OutRules) {
        std::array<QString, MaxOutRules + 1> sentences;
        for (int n = 1; n <= MaxOutRules; ++n)
            sentences[n] = RuleDescription(values.settings.Rules.OutRules[n]);
        ShowRules(values.settings.Rules, sentences);
    }
    m_held = std::make_unique<ControlValues>(Values());
}

} // namespace brevion
