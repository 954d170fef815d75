#include "gui/nxupdate.h"

#include "common/bridgelock.h"
#include "ui/controls.h"
#include "config/deviceversions.h"
#include "engine/devicelink.h"
#include "ui/dialogs.h"
#include "ui/logo.h"
#include "ui/msgbox.h"
#include "ui/networksettings.h"
#include "common/nxfns.h"
#include "ui/platform.h"
#include "ui/settingsstore.h"
#include "ui/twips.h"
#include "ui/udpport.h"
#include "update/updatefile.h"
#include "ui/waitloop.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <cmath>
#include <vector>

namespace brevion {
namespace {

using Phase = UpdateConversation::Phase;
using Code = Outcome::Code;

const QString kErased = QStringLiteral("Erased");
const QString kUpdateCaption = QStringLiteral("Update");
const QString kCloseCaption = QStringLiteral("Close");
const QString kBootPrompt = QStringLiteral("To update the Bootloader, select the bootloader update file:");
const QString kFirmPrompt = QStringLiteral("To update the Firmware, select the firmware update file:");
const QString kProgrammingError = QStringLiteral("Programming Error.  Close this window and try again.");
const QString kCompleted = QStringLiteral("Update was completed successfully.");
const QString kCommsTitle = QStringLiteral("Communications Error");

// The progress bar counts in tenths, so the one-second units of the animation move smoothly.
constexpr double kBarScale = 10;
constexpr int kAnimationMs = 100;

Message comms(const QStringList& lines) { return {kCommsTitle, lines.join(kCrLf)}; }

Message fileError(const UpdateFileError& error)
{
    return {QStringLiteral("Update File Error"), QStringLiteral("%1 %2").arg(error.number).arg(error.description),
            MsgButtons::RetryCancel};
}

Message portInUse(quint16 port)
{
    // The port may be held by this program itself (a window still waiting for a device's reply).
    if (UdpPort::IsBoundHere(port))
        return comms({QStringLiteral("The command could not be sent: local UDP port %1 is still in use by this "
                                     "program, which is waiting for a device's reply on it.")
                          .arg(port),
                      QStringLiteral("Wait a few seconds and try again.")});
    return comms({QStringLiteral("The command could not be sent: local UDP port %1 is in use by another program.")
                      .arg(port),
                  QStringLiteral("Please close the program that uses this port and try again.")});
}

// What the window shows when the update ends otherwise than with the device back on the file's
// version: the box (if any), whether the device was programmed (the version texts change and the
// status is not the programming error), and whether the bar is filled.
struct Ending {
    std::optional<Message> box;
    bool programmed = false;
    bool barFull = false;
};

Ending endingFor(Phase phase, const Outcome& outcome)
{
    const Message timedOut = comms({QStringLiteral("Timed out waiting for a response from the device.")});
    const Message notSent = comms({QStringLiteral("The command could not be sent: %1").arg(outcome.detail),
                                   QStringLiteral("Return to the previous window and try again.")});
    const bool sendFailed = outcome.code == Code::SendFailed;
    if (outcome.code == Code::PortInUse)
        return {portInUse(Network().localPort)};
    if (outcome.code == Code::Cancelled)
        return {};
    switch (phase) {
    case Phase::Erase:
        return {sendFailed ? notSent
                           : comms({QStringLiteral("Timed out waiting for the device to erase."),
                                    QStringLiteral("Return to the previous window and click \"Read Settings\" to see "
                                                   "if it was erased.")})};
    case Phase::WaitAfterErase:
        return {sendFailed ? notSent
                           : comms({timedOut.text, QStringLiteral("Return to the previous window and try again.")}),
                false, true};
    case Phase::Program:
        // A block that could not leave was asked about already; the user chose Cancel.
        if (sendFailed)
            return {};
        return {comms({timedOut.text, QStringLiteral("The device failed to program completely."),
                       QStringLiteral("Return to the previous window and try again.")})};
    case Phase::Restart:
    case Phase::WaitAfterRestart:
    case Phase::Done:
        break;
    }
    return {sendFailed ? notSent
                       : comms({QStringLiteral("Timed out waiting for the device to reboot."),
                                QStringLiteral("It may or may not have rebooted."),
                                QStringLiteral("Allow several seconds for it to reboot and try to \"Find\" it again.")}),
            true, true};
}

// After a confirmed restart the device reports another version of the part that was updated
// than the update file carries.
Message versionNotTaken(bool bootloader, qint32 fileVersion, const DeviceVersions& reported)
{
    const qint32 now = bootloader ? reported.BootVersion : reported.FirmVersion;
    const QString part = bootloader ? QStringLiteral("bootloader") : QStringLiteral("firmware");
    const QString shown = !bootloader && now == 0 ? QStringLiteral("no firmware (Erased)")
                                                  : QStringLiteral("%1 version %2").arg(part, VersionText(now));
    return {QStringLiteral("Update Firmware"),
            QStringLiteral("After the restart the device reports %1, not version %2 of the update file.")
                    .arg(shown, VersionText(fileVersion)) +
                kCrLf + QStringLiteral("The update did not take effect: run it again, or use another update file."),
            MsgButtons::Ok, MsgIcon::Exclamation};
}

QComboBox* makeList(QWidget* parent, const char* name, const QRect& rect)
{
    auto* list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    list->setEditable(false);
    list->setGeometry(rect);
    return list;
}

} // namespace

NxUpdate::NxUpdate(QWidget* parent) : Form(parent)
{
    setObjectName(QStringLiteral("NxUpdate"));
    setWindowTitle(QStringLiteral("Update Bootloader/Firmware"));
    setWindowIcon(AppIcon());
    setFixedSize(TwipsToPixels(9375), TwipsToPixels(3735));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(255, 255, 192));
    setPalette(pal);
    setAutoFillBackground(true);
    // The positions are laid out for an 8-point font; a larger default would clip the prompts.
    QFont small = font();
    small.setPointSizeF(8);
    setFont(small);

    buildVersionRow();
    buildFileChoice();
    buildLowerPart();

    Timer2 = new Timer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(kAnimationMs);
    connect(Timer2, &Timer::Tick, this, &NxUpdate::Timer2_Timer);
    connect(optBoot, &QRadioButton::clicked, this, &NxUpdate::optBoot_Click);
    connect(optFirm, &QRadioButton::clicked, this, &NxUpdate::optFirm_Click);
    connect(cmdUpdate, &QPushButton::clicked, this, &NxUpdate::cmdUpdate_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &NxUpdate::cmdCancel_Click);
    SetEscapeButton(cmdCancel);
}

void NxUpdate::buildVersionRow()
{
    lblHdweVer = MakeLabel(this, "lblHdweVer", QStringLiteral("Hardware ver"), TwipsRect(240, 240, 1215, 255));
    HdweVer = MakeReadOnlyBox(this, "HdweVer", TwipsRect(1560, 240, 975, 285));
    lblBootVer = MakeLabel(this, "lblBootVer", QStringLiteral("Bootloader ver"), TwipsRect(2760, 240, 1335, 255));
    BootVer = MakeReadOnlyBox(this, "BootVer", TwipsRect(4200, 240, 975, 285));
    lblFirmVer = MakeLabel(this, "lblFirmVer", QStringLiteral("Firmware ver"), TwipsRect(5400, 240, 1215, 255));
    FirmVer = MakeReadOnlyBox(this, "FirmVer", TwipsRect(6720, 240, 975, 285));
    NameByLabel(lblHdweVer, HdweVer);
    NameByLabel(lblBootVer, BootVer);
    NameByLabel(lblFirmVer, FirmVer);
    Image1 = CreateLogo(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(TwipsRect(7920, 120, 1215, 615));
}

void NxUpdate::buildFileChoice()
{
    optBoot = MakeOption(this, "optBoot", QString(), TwipsRect(240, 720, 255, 255));
    optBoot->setAccessibleName(QStringLiteral("Update the Bootloader"));
    lblBoot = MakeLabel(this, "lblBoot", kBootPrompt, TwipsRect(600, 720, 5295, 255));
    BootUpdateFile = makeList(this, "BootUpdateFile", TwipsRect(600, 960, 5175, 315));
    NameByLabel(lblBoot, BootUpdateFile);

    optFirm = MakeOption(this, "optFirm", QString(), TwipsRect(240, 1440, 255, 255));
    optFirm->setAccessibleName(QStringLiteral("Update the Firmware"));
    optFirm->setChecked(true);
    lblFirm = MakeLabel(this, "lblFirm", kFirmPrompt, TwipsRect(600, 1440, 5295, 255));
    FirmUpdateFile = makeList(this, "FirmUpdateFile", TwipsRect(600, 1680, 5175, 315));
    NameByLabel(lblFirm, FirmUpdateFile);

    cmdUpdate = MakeButton(this, "cmdUpdate", kUpdateCaption, TwipsRect(8040, 960, 1095, 375));
    cmdCancel = MakeButton(this, "cmdCancel", QStringLiteral("Cancel"), TwipsRect(8040, 1440, 1095, 375));
}

void NxUpdate::buildLowerPart()
{
    lbl1 = MakeLabel(this, "lbl1",
                     QStringLiteral("The \"Bootloader\" (BIOS) contains the startup routines for the device.  It is "
                                    "executed on power up or reset and loads and runs the Firmware.  The \"Firmware\" "
                                    "is the heart of the device.  "),
                     TwipsRect(240, 2160, 8895, 495));
    lbl1->setWordWrap(true);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(TwipsRect(240, 2400, 8895, 255));
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setAccessibleName(QStringLiteral("Progress"));
    lbl2 = MakeLabel(this, "lbl2",
                     QStringLiteral("If the Bootloader is updated, the Firmware will be automatically erased and will "
                                    "also need to be updated."),
                     TwipsRect(240, 2760, 8895, 255));
    lblStatus = MakeLabel(this, "lblStatus", QStringLiteral("STATUS"), TwipsRect(1680, 2760, 6015, 495));
    lblStatus->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lbl3 = MakeLabel(this, "lbl3",
                     QStringLiteral("Prior to any update, you should make note of the configuration settings on the "
                                    "previous window in case they need to be restored."),
                     TwipsRect(240, 3120, 8895, 495));
    lbl3->setWordWrap(true);
}

void NxUpdate::Form_Load()
{
    cmdUpdate->setText(kUpdateCaption);
    lblStatus->hide();
    ProgressBar1->hide();
    lbl1->show();
    lbl2->show();
    lbl3->show();
}

void NxUpdate::Form_Unload()
{
    Timer2->setEnabled(false);
    // Unloaded while an update runs (the program ends): it stops at once, nothing more is sent.
    if (m_running)
        m_running->cancel();
}

void NxUpdate::optBoot_Click()
{
    BootUpdateFile->setEnabled(true);
    FirmUpdateFile->setEnabled(false);
}

void NxUpdate::optFirm_Click()
{
    BootUpdateFile->setEnabled(false);
    FirmUpdateFile->setEnabled(true);
}

void NxUpdate::SelectBinFile(bool& cancelled)
{
    cancelled = true;
    const QString start = ReadSetting(QStringLiteral("UpdatesPath"), QDir::homePath());
    const QString folder = BrowseForFolder(
        [this](const QString& title, const QString& startFolder) { return ChooseFolder({title, startFolder}, this); },
        QStringLiteral("Select the folder containing the update (bin) files for the device."), start);
    if (folder.isEmpty())
        return;
    m_filesListPath = folder;
    const QDir dir(folder);
    if (!dir.exists() || !dir.isReadable())
        return;

    const UpdateListing listing =
        ListUpdateFiles(folder, HdweVer->text(), BootVer->text(), [this](const UpdateFileError& error) {
            return MsgBox(fileError(error), this) == MsgAnswer::Retry;
        });
    if (listing.abandoned)
        return;
    if (listing.files.empty()) {
        MsgBox(QStringLiteral("No update files were found."), MsgButtons::Ok, QStringLiteral("Update Firmware"), this,
               MsgIcon::Exclamation);
        return;
    }
    WriteSetting(QStringLiteral("UpdatesPath"), folder);
    fillLists(listing);
    cancelled = false;
}

void NxUpdate::fillLists(const UpdateListing& listing)
{
    const int firmCount = static_cast<int>(listing.files.size()) - listing.bootCount;
    BootUpdateFile->clear();
    FirmUpdateFile->clear();
    for (int i = 0; i < static_cast<int>(listing.files.size()); ++i)
        (i < firmCount ? FirmUpdateFile : BootUpdateFile)->addItem(UpdateListLine(listing.files[i]));
    optFirm->setChecked(true);
    optFirm_Click();
    // Each side: the first (newest) file chosen, or the side switched off when it has none.
    const struct {
        QRadioButton* option;
        QLabel* label;
        QComboBox* list;
        QString prompt, none;
    } sides[] = {{optBoot, lblBoot, BootUpdateFile, kBootPrompt, QStringLiteral("No Bootloader update files were found.")},
                 {optFirm, lblFirm, FirmUpdateFile, kFirmPrompt, QStringLiteral("No Firmware update files were found.")}};
    for (const auto& side : sides) {
        const bool any = side.list->count() > 0;
        if (any)
            side.list->setCurrentIndex(0);
        side.option->setEnabled(any);
        side.label->setEnabled(any);
        side.label->setText(any ? side.prompt : side.none);
        NameByLabel(side.label, side.list);
    }
}

void NxUpdate::cmdUpdate_Click()
{
    if (cmdUpdate->text() == kCloseCaption) {
        hide();
        return;
    }
    if (m_updating)
        return;
    const bool boot = optBoot->isChecked();
    const QComboBox* list = boot ? BootUpdateFile : FirmUpdateFile;
    // Nothing to update from an empty list (only the other kind of file was found).
    if (list->count() == 0 || list->currentIndex() < 0)
        return;
    const std::optional<ListLineParts> line = ParseUpdateListLine(list->currentText());
    if (!line)
        return;
    const std::optional<UpdateFile> file = loadChosen(*line);
    if (!file)
        return;
    // No other program may update or configure the device until this update has ended.
    const BridgeLock lock(m_deviceIP, Network().devicePort);
    if (!lock.held()) {
        MsgBox({QStringLiteral("Update Firmware"), lock.refusal(), MsgButtons::Ok, MsgIcon::Exclamation}, this);
        return;
    }

    const QPointer<NxUpdate> self(this);
    m_updating = true;
    lockControls();
    runUpdate(*file, boot, *line);
    if (!self)
        return;
    cmdUpdate->setText(kCloseCaption);
    EnableControl(cmdUpdate);
    SetEscapeButton(cmdUpdate); // Close, now the only button left
    ZOrder();
    m_updating = false;
}

std::optional<UpdateFile> NxUpdate::loadChosen(const ListLineParts& line)
{
    // The whole file is read and checked before the device is touched (records outside the
    // device's memory included): a device erased and then left half programmed has no firmware.
    for (;;) {
        UpdateFileResult loaded = LoadUpdateFile(JoinFolder(m_filesListPath, line.fileName));
        if (loaded.file)
            return std::move(loaded.file);
        if (MsgBox(fileError(loaded.error), this) != MsgAnswer::Retry)
            return std::nullopt;
    }
}

void NxUpdate::lockControls()
{
    lblStatus->show();
    ProgressBar1->show();
    lbl1->hide();
    lbl2->hide();
    lbl3->hide();
    for (QWidget* w : std::initializer_list<QWidget*>{lblHdweVer, HdweVer, lblBootVer, BootVer, lblFirmVer, FirmVer,
                                                      optBoot, optFirm, lblBoot, BootUpdateFile, lblFirm,
                                                      FirmUpdateFile, cmdUpdate, cmdCancel})
        DisableControl(w);
}

void NxUpdate::runUpdate(const UpdateFile& file, bool boot, const ListLineParts& line)
{
    // A link of its own: the local port is held from the erase to the last reply, so no other
    // program can take it while the device is erased, and it is let go when the update ends.
    DeviceLink link(Network());
    UpdateConversation update(link, QHostAddress(m_deviceIP), file,
                              boot ? UpdateConversation::Target::Bootloader : UpdateConversation::Target::Firmware,
                              FirmVer->text() == kErased);
    update.setTimings(m_timings);
    connect(&update, &UpdateConversation::phaseChanged, this,
            [this, total = file.header.TotalBytes](Phase phase) { phaseChanged(phase, total); });
    connect(&update, &UpdateConversation::progress, this,
            [this](qint64 done, qint64 total) { showProgress(double(total), double(done)); });
    // Each "N" is told at once; its box holds the update until it is closed.
    connect(&update, &UpdateConversation::refused, this, [this] {
        MsgBox(comms({QStringLiteral("The device reported an error receiving the last command."),
                      QStringLiteral("Please try the last operation again.")}),
               this);
    });
    update.setRetryOnSendFailure([this](const QString& detail) {
        return MsgBox(fileError({int(PortError::Other), detail}), this) == MsgAnswer::Retry;
    });
    const QPointer<NxUpdate> self(this);
    m_running = &update;
    update.start();
    WaitUntil([&update] { return update.isFinished(); });
    if (!self)
        return;
    m_running = nullptr;
    Timer2->setEnabled(false);
    ended(update, boot, line, file.header.Version);
}

void NxUpdate::phaseChanged(Phase phase, qint64 totalBytes)
{
    switch (phase) {
    case Phase::Erase:
        lblStatus->setText(QStringLiteral("Erasing Firmware . . ."));
        startAnimation(FirmVer->text() == kErased ? 4 : 25);
        break;
    case Phase::Program:
        Timer2->setEnabled(false);
        ZOrder();
        lblStatus->setText(QStringLiteral("Programming Firmware . . ."));
        showProgress(double(totalBytes), 0);
        break;
    case Phase::Restart:
        // Every block was accepted.
        showProgress(m_barMax, m_barMax);
        Beep();
        ZOrder();
        lblStatus->setText(QStringLiteral("Rebooting device . . ."));
        startAnimation(27);
        break;
    case Phase::WaitAfterErase:
    case Phase::WaitAfterRestart:
    case Phase::Done:
        break;
    }
}

void NxUpdate::ended(const UpdateConversation& update, bool boot, const ListLineParts& line, qint32 fileVersion)
{
    const Outcome& outcome = update.outcome();
    if (update.versions())
        SharedVersions() = *update.versions();
    const bool cameBack = outcome.ok() || outcome.code == Code::VersionMismatch;
    const Ending ending = cameBack ? Ending{std::nullopt, true, true} : endingFor(update.phase(), outcome);
    if (ending.barFull)
        showProgress(m_barMax, m_barMax);
    if (ending.programmed) {
        // Updating the bootloader erases the firmware.
        (boot ? BootVer : FirmVer)->setText(line.versionText);
        if (boot)
            FirmVer->setText(kErased);
    }
    if (outcome.ok())
        lblStatus->setText(kCompleted);
    if (outcome.code == Code::VersionMismatch) {
        // The device came back on another version: show what it reports.
        const DeviceVersions reported = *update.versions();
        const Message notTaken = versionNotTaken(boot, fileVersion, reported);
        BootVer->setText(VersionText(reported.BootVersion));
        FirmVer->setText(reported.FirmVersion == 0 ? kErased : VersionText(reported.FirmVersion));
        lblStatus->setText(notTaken.text.section(kCrLf, 0, 0));
        ZOrder();
        MsgBox(notTaken, this);
    } else if (ending.box) {
        ZOrder();
        MsgBox(*ending.box, this);
    }
    // A restart that was not confirmed keeps its phase text.
    if (!ending.programmed)
        lblStatus->setText(kProgrammingError);
}

void NxUpdate::startAnimation(double maximum)
{
    ProgressCount = 0;
    showProgress(maximum, 0);
    Timer2->setEnabled(true);
}

void NxUpdate::Timer2_Timer()
{
    ProgressCount += 0.1f;
    showProgress(m_barMax, ProgressCount < m_barMax ? ProgressCount : m_barMax);
}

void NxUpdate::showProgress(double maximum, double position)
{
    m_barMax = maximum;
    ProgressBar1->setRange(0, static_cast<int>(std::lround(maximum * kBarScale)));
    ProgressBar1->setValue(static_cast<int>(std::lround(position * kBarScale)));
}

void NxUpdate::cmdCancel_Click() { hide(); }

} // namespace brevion
