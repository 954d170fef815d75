#include "gui/nxfind.h"

#include "ui/controls.h"
#include "engine/discoverconversation.h"
#include "engine/outcomewords.h"
#include "discovery/discoverytexts.h"
#include "ui/forms.h"
#include "ui/logo.h"
#include "ui/msgbox.h"
#include "common/nxfns.h"
#include "gui/nxsetup.h"
#include "gui/nxupdate.h"
#include "gui/windowlink.h"
#include "ui/platform.h"
#include "ui/settingsstore.h"
#include "ui/twips.h"
#include "common/version.h"
#include "ui/waitloop.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>

#include <algorithm>

namespace brevion {
namespace {

constexpr int kClientWidth = 8055;
constexpr int kClientHeight = 2895;
constexpr int kRowHeight = 240;
constexpr int kGridFlushMs = 40;
// The longest the grid is brought in line with the list at one go while a search runs.
constexpr qint64 kGridSliceNs = 8'000'000;
const QString kPlaceholderMac = QStringLiteral("00:BA:DB-AD");
// "<" left, "^" centred, ">" right; one column per "|"-separated part.
const QString kGridFormat = QStringLiteral("<Device Name|^MAC Address|^IP Address");
const QString kThisNetwork = QStringLiteral("This network");
// The targets searched before, most recent first, separated by spaces (a comma would make the
// value a list in the settings file).
const QString kSearchAtKey = QStringLiteral("SearchAt");

// Shrinks a label's font from the window's, if need be, until its text fits the label: on one
// line, or wrapped when the label wraps. Desktop fonts are wider than the fonts these positions were laid out for.
void fitFont(QLabel* label)
{
    QFont font = label->parentWidget()->font();
    if (font.pointSizeF() <= 0)
        return;
    const auto fits = [&] {
        const QFontMetrics metrics(font);
        if (!label->wordWrap())
            return metrics.horizontalAdvance(label->text()) <= label->width();
        const QRect room(0, 0, label->width(), 100000);
        return metrics.boundingRect(room, Qt::TextWordWrap, label->text()).height() <=
               label->height();
    };
    constexpr double kSmallest = 6.0;
    while (!fits() && font.pointSizeF() > kSmallest)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    label->setFont(font);
}

void applyFormat(QTableWidget* grid, const QString& format)
{
    const QStringList parts = format.split(QLatin1Char('|'));
    grid->setColumnCount(static_cast<int>(parts.size()));
    for (int col = 0; col < parts.size(); ++col) {
        QString caption = parts[col];
        Qt::Alignment align = Qt::AlignLeft;
        if (caption.startsWith(QLatin1Char('^')))
            align = Qt::AlignHCenter;
        else if (caption.startsWith(QLatin1Char('>')))
            align = Qt::AlignRight;
        if (!caption.isEmpty() && QStringLiteral("<^>").contains(caption.front()))
            caption.remove(0, 1);
        auto* header = new QTableWidgetItem(caption);
        header->setTextAlignment(align | Qt::AlignVCenter);
        grid->setHorizontalHeaderItem(col, header);
    }
}

} // namespace

NxFind::NxFind(QWidget* parent) : Form(parent)
{
    setObjectName(QStringLiteral("NxFind"));
    setWindowTitle(QStringLiteral("Vant TALIX"));
    setWindowIcon(AppIcon());
    setFixedSize(TwipsToPixels(kClientWidth), TwipsToPixels(kClientHeight));

    Label1 =
        MakeLabel(this, "Label1", QStringLiteral("Bridges found:"), TwipsRect(240, 120, 1455, 255));

    MSFlexGrid1 = MakeGrid(this, "MSFlexGrid1", 0, 0, TwipsRect(240, 360, 6135, 1455));
    MSFlexGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    MSFlexGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    MSFlexGrid1->setWordWrap(false);
    MSFlexGrid1->setCornerButtonEnabled(false);
    MSFlexGrid1->verticalHeader()->hide();
    MSFlexGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    MSFlexGrid1->verticalHeader()->setMinimumSectionSize(TwipsToPixels(kRowHeight));
    MSFlexGrid1->verticalHeader()->setDefaultSectionSize(TwipsToPixels(kRowHeight));
    MSFlexGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    MSFlexGrid1->horizontalHeader()->setSectionsClickable(false);
    MSFlexGrid1->horizontalHeader()->setHighlightSections(false);
    MSFlexGrid1->horizontalHeader()->setFixedHeight(TwipsToPixels(kRowHeight));
    MSFlexGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    NameByLabel(Label1, MSFlexGrid1);

    lblStatus = MakeLabel(this, "lblStatus", QString(), TwipsRect(240, 1920, 6015, 495));
    lblStatus->setWordWrap(true);
    lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    lblDuplicates =
        MakeLabel(this, "lblDuplicates", DuplicatesText(), TwipsRect(120, 2520, 7695, 255));
    QPalette red = lblDuplicates->palette();
    red.setColor(QPalette::WindowText, QColor(192, 0, 0));
    lblDuplicates->setPalette(red);
    fitFont(lblDuplicates);

    Image1 = CreateLogo(this);
    Image1->setGeometry(TwipsRect(6600, 90, 1200, 600));

    lblVer = MakeLabel(this, "lblVer", QStringLiteral("Ver. "), TwipsRect(6600, 720, 1215, 255));

    buildSearchAt();
    cmdSearch =
        MakeButton(this, "cmdSearch", QStringLiteral("Search"), TwipsRect(6600, 1080, 1215, 375));
    cmdConfig = MakeButton(this, "cmdConfig", QStringLiteral("Configure"),
                           TwipsRect(6600, 1560, 1215, 375));
    cmdExit = MakeButton(this, "cmdExit", QStringLiteral("Exit"), TwipsRect(6600, 2040, 1215, 375));
    connect(cmdSearch, &QPushButton::clicked, this, &NxFind::cmdSearch_Click);
    connect(cmdConfig, &QPushButton::clicked, this, &NxFind::cmdConfig_Click);
    connect(cmdExit, &QPushButton::clicked, this, &NxFind::cmdExit_Click);

    m_gridFlush.setSingleShot(true);
    m_gridFlush.setInterval(kGridFlushMs);
    connect(&m_gridFlush, &QTimer::timeout, this, [this] { flushGrid(); });
}

void NxFind::buildSearchAt()
{
    // Above the grid's right end, in the row of its caption: the rest of the window stays put.
    lblSearchAt = MakeLabel(this, "lblSearchAt", QStringLiteral("Search at:"), TwipsRect(3195, 15, 1000, 330));
    lblSearchAt->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    cboSearchAt = new QComboBox(this);
    cboSearchAt->setObjectName(QStringLiteral("cboSearchAt"));
    cboSearchAt->setGeometry(TwipsRect(4275, 15, 2100, 330));
    cboSearchAt->setEditable(true);
    cboSearchAt->setInsertPolicy(QComboBox::NoInsert);
    NameByLabel(lblSearchAt, cboSearchAt);
    cboSearchAt->installEventFilter(this);
    cboSearchAt->lineEdit()->installEventFilter(this);
}

bool NxFind::eventFilter(QObject* watched, QEvent* event)
{
    // Enter in Search at: searches, once: the box hands its key presses on to its line edit,
    // whose returnPressed would come twice.
    if (event->type() == QEvent::KeyPress && (watched == cboSearchAt || watched == cboSearchAt->lineEdit())) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (cmdSearch->isEnabled())
                cmdSearch_Click();
            return true;
        }
    }
    return Form::eventFilter(watched, event);
}

void NxFind::fillSearchAt(const QStringList& remembered)
{
    const QString shown = cboSearchAt->currentText();
    cboSearchAt->clear();
    cboSearchAt->addItem(kThisNetwork);
    cboSearchAt->addItems(remembered);
    cboSearchAt->setEditText(shown.isEmpty() ? kThisNetwork : shown);
}

std::optional<std::vector<SearchTarget>> NxFind::chosenTargets()
{
    const QString text = TrimBlanks(cboSearchAt->currentText());
    if (text.isEmpty() || text == kThisNetwork) {
        cboSearchAt->setEditText(kThisNetwork);
        return std::vector<SearchTarget>{};
    }
    QString problem;
    const std::optional<SearchTarget> target = ParseSearchTarget(text, &problem);
    if (!target) {
        MsgBox(problem, MsgButtons::Ok, QStringLiteral("Search at"), this, MsgIcon::Exclamation);
        return std::nullopt;
    }
    const QStringList before = ReadSetting(kSearchAtKey, QString()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QStringList remembered = RememberTarget(before, text);
    WriteSetting(kSearchAtKey, remembered.join(QLatin1Char(' ')));
    fillSearchAt(remembered);
    return std::vector<SearchTarget>{*target};
}

void NxFind::Form_Load()
{
    lblVer->setText(QStringLiteral("Ver. %1.%2.%3")
                        .arg(kVersionMajor)
                        .arg(kVersionMinor)
                        .arg(kVersionRevision));

    clearGrid();
    applyFormat(MSFlexGrid1, kGridFormat);
    for (int col = 0; col < 3; ++col)
        MSFlexGrid1->setColumnWidth(col, TwipsToPixels(kColumnWidths[col]));

    lblDuplicates->hide();
    setStatus(InstructionText());
    cmdSearch->setEnabled(true);
    cmdConfig->setEnabled(false);

    // Only what still reads as a target is offered again.
    QStringList remembered;
    for (const QString& text : ReadSetting(kSearchAtKey, QString()).split(QLatin1Char(' '), Qt::SkipEmptyParts))
        if (ParseSearchTarget(text) && remembered.size() < kRememberedTargets)
            remembered << text;
    cboSearchAt->setEditText(kThisNetwork);
    fillSearchAt(remembered);
}

void NxFind::Form_Unload()
{
    CloseDown();
}

void NxFind::cmdSearch_Click()
{
    const std::optional<std::vector<SearchTarget>> targets = chosenTargets();
    if (!targets)
        return; // nothing is sent, and the list stays
    const QPointer<NxFind> self(this);
    setStatus(SearchingText());
    clearGrid();
    lblDuplicates->hide();
    DisableControl(cmdSearch);
    DisableControl(cmdConfig);
    DisableControl(cboSearchAt);

    // The windows' link lets the port go as soon as the search ends (unless a command of the
    // configuration window still runs): replies that come later are lost.
    DiscoverConversation search(WindowLink());
    search.searchAt(*targets);
    connect(&search, &DiscoverConversation::deviceAdded, this, &NxFind::deviceAdded);
    m_devices.Clear();
    m_search = &search;
    search.start();
    WaitUntil([&search] { return search.isFinished(); });
    if (!self)
        return; // unloaded while searching
    m_search = nullptr;
    if (search.outcome().code == Outcome::Code::Cancelled)
        return;
    m_devices = search.devices();
    flushGrid(true);

    const int count = m_devices.Count();
    if (search.outcome().code == Outcome::Code::PortInUse) {
        setStatus(SearchWords(search.outcome()));
    } else if (count == 0) {
        setStatus(NoneFoundText());
    } else {
        MarkDuplicates();
        setStatus(CountText(count));
        MSFlexGrid1->setCurrentCell(0, 0);
        MSFlexGrid1->selectRow(0);
        EnableControl(cmdConfig);
    }
    EnableControl(cboSearchAt);
    EnableControl(cmdSearch);
}

void NxFind::cmdConfig_Click()
{
    const int row = MSFlexGrid1->currentRow();
    if (row < 0 || row >= MSFlexGrid1->rowCount())
        return;
    const QString name = MSFlexGrid1->item(row, 0)->text();
    const QString mac = MSFlexGrid1->item(row, 1)->text();
    const QString ip = MSFlexGrid1->item(row, 2)->text();
    const bool placeholder = mac.startsWith(kPlaceholderMac);

    NxSetup& setup = Forms::Get<NxSetup>();
    setup.NetName->setText(name);
    setup.MacUnset = placeholder;
    setup.IPAddr->setText(UnmarkedIP(ip));
    setup.Init();
    if (placeholder)
        return; // MAC programming ends with a restart; there is nothing to configure yet

    const QPointer<NxFind> self(this);
    // Init may have unloaded the window; reaching it by its class then gives a fresh one.
    NxSetup& shown = Forms::Get<NxSetup>();
    shown.show();
    shown.Move(Left(), Top());
    DisableControl(this);
    hide();
    WaitUntil([] { return !Forms::IsVisible<NxSetup>() && !Forms::IsVisible<NxUpdate>(); });
    Forms::Unload<NxSetup>();
    if (!self)
        return;
    EnableControl(this);
    show();
}

void NxFind::cmdExit_Click()
{
    Forms::UnloadWidget(this);
}

void NxFind::CloseDown()
{
    m_gridFlush.stop();
    if (m_search)
        m_search->cancel();
    // Settings and update files are opened and closed within one command, so none is open here.
}

void NxFind::deviceAdded(int index)
{
    m_syncFrom = std::min(m_syncFrom, index);
    if (!m_gridFlush.isActive())
        m_gridFlush.start(kGridFlushMs);
    // More than five grid rows (header included) bring the scroll bar: column 0 gives way to it
    // and stays narrow until the window is loaded again.
    if (devices().Count() + 1 > 5)
        MSFlexGrid1->setColumnWidth(0, TwipsToPixels(kNarrowColumn0));
}

const DeviceList& NxFind::devices() const { return m_search ? m_search->devices() : m_devices; }

void NxFind::flushGrid(bool whole)
{
    // Rows from m_syncFrom on may have moved: each new device shifts the rows after it. They
    // are rewritten a slice at a time, so a burst of thousands never holds the window long.
    m_gridFlush.stop();
    const DeviceList& devices = this->devices();
    if (m_syncFrom >= devices.Count() && MSFlexGrid1->rowCount() == devices.Count())
        return;
    QElapsedTimer slice;
    slice.start();
    MSFlexGrid1->setUpdatesEnabled(false);
    MSFlexGrid1->setRowCount(devices.Count());
    int row = m_syncFrom;
    while (row < devices.Count()) {
        setRowTexts(row, devices.At(row));
        ++row;
        if (!whole && row % 32 == 0 && slice.nsecsElapsed() > kGridSliceNs)
            break;
    }
    m_syncFrom = row;
    MSFlexGrid1->setUpdatesEnabled(true);
    if (row < devices.Count())
        m_gridFlush.start(0);
}

void NxFind::clearGrid()
{
    m_gridFlush.stop();
    m_syncFrom = 0;
    MSFlexGrid1->clearContents();
    MSFlexGrid1->setRowCount(0);
}

void NxFind::setRowTexts(int row, const DiscoveredDevice& device)
{
    const QString* texts[3] = {&device.name, &device.mac, &device.ip};
    for (int col = 0; col < 3; ++col) {
        QTableWidgetItem* item = MSFlexGrid1->item(row, col);
        if (!item) {
            // Text and alignment before the item joins the grid: one change signal, not three.
            item = new QTableWidgetItem(*texts[col]);
            const QTableWidgetItem* header = MSFlexGrid1->horizontalHeaderItem(col);
            item->setTextAlignment(header ? Qt::Alignment(header->textAlignment())
                                          : Qt::AlignLeft | Qt::AlignVCenter);
            MSFlexGrid1->setItem(row, col, item);
        } else if (item->text() != *texts[col]) {
            item->setText(*texts[col]);
        }
    }
}

void NxFind::setStatus(const QString& text)
{
    lblStatus->setText(text);
    fitFont(lblStatus);
}

void NxFind::MarkDuplicates()
{
    if (!m_devices.MarkDuplicates())
        return;
    for (int row = 0; row < m_devices.Count(); ++row)
        setRowTexts(row, m_devices.At(row));
    lblDuplicates->show();
}

} // namespace brevion
