#include "nxupdate.h"

#include "controls.h"
#include "dialogs.h"
#include "logo.h"
#include "msgbox.h"
#include "nxfns.h"
#include "platform.h"
#include "settingsstore.h"
#include "twips.h"
#include "updatefile.h"
#include "updatelist.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <cmath>
#include <vector>

namespace brevion {
namespace {

const QString kErased = QStringLiteral("Erased");
const QString kUpdateCaption = QStringLiteral("Update");
const QString kCloseCaption = QStringLiteral("Close");
const QString kFolderTitle = QStringLiteral("Select the folder containing the update (bin) files for the device.");

// The progress bar counts in tenths, so the one-second units of the animation move smoothly.
constexpr double kBarScale = 10;

} // namespace

const QString NxUpdate::kBootPrompt = QStringLiteral("To update the Bootloader, select the bootloader update file:");
const QString NxUpdate::kFirmPrompt = QStringLiteral("To update the Firmware, select the firmware update file:");
const QString NxUpdate::kProgrammingError = QStringLiteral("Programming Error.  Close this window and try again.");

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

    lblHdweVer = MakeLabel(this, "lblHdweVer", QStringLiteral("Hardware ver"), TwipsRect(240, 240, 1215, 255));
    HdweVer = MakeReadOnlyBox(this, "HdweVer", TwipsRect(1560, 240, 975, 285));
    lblBootVer = MakeLabel(this, "lblBootVer", QStringLiteral("Bootloader ver"), TwipsRect(2760, 240, 1335, 255));
    BootVer = MakeReadOnlyBox(this, "BootVer", TwipsRect(4200, 240, 975, 285));
    lblFirmVer = MakeLabel(this, "lblFirmVer", QStringLiteral("Firmware ver"), TwipsRect(5400, 240, 1215, 255));
    FirmVer = MakeReadOnlyBox(this, "FirmVer", TwipsRect(6720, 240, 975, 285));
    NameByLabel(lblHdweVer, HdweVer);
    NameByLabel(lblBootVer, BootVer);
    NameByLabel(lblFirmVer, FirmVer);

    optBoot = new QRadioButton(this);
    optBoot->setObjectName(QStringLiteral("optBoot"));
    optBoot->setGeometry(TwipsRect(240, 720, 255, 255));
    optBoot->setAccessibleName(QStringLiteral("Update the Bootloader"));
    lblBoot = MakeLabel(this, "lblBoot", kBootPrompt, TwipsRect(600, 720, 5295, 255));
    BootUpdateFile = new QComboBox(this);
    BootUpdateFile->setObjectName(QStringLiteral("BootUpdateFile"));
    BootUpdateFile->setEditable(false);
    BootUpdateFile->setGeometry(TwipsRect(600, 960, 5175, 315));
    NameByLabel(lblBoot, BootUpdateFile);

    optFirm = new QRadioButton(this);
    optFirm->setObjectName(QStringLiteral("optFirm"));
    optFirm->setGeometry(TwipsRect(240, 1440, 255, 255));
    optFirm->setAccessibleName(QStringLiteral("Update the Firmware"));
    optFirm->setChecked(true);
    lblFirm = MakeLabel(this, "lblFirm", kFirmPrompt, TwipsRect(600, 1440, 5295, 255));
    FirmUpdateFile = new QComboBox(this);
    FirmUpdateFile->setObjectName(QStringLiteral("FirmUpdateFile"));
    FirmUpdateFile->setEditable(false);
    FirmUpdateFile->setGeometry(TwipsRect(600, 1680, 5175, 315));
    NameByLabel(lblFirm, FirmUpdateFile);

    cmdUpdate = MakeButton(this, "cmdUpdate", kUpdateCaption, TwipsRect(8040, 960, 1095, 375));
    cmdCancel = MakeButton(this, "cmdCancel", QStringLiteral("Cancel"), TwipsRect(8040, 1440, 1095, 375));

    lbl1 = MakeLabel(this, "lbl1",
                 QStringLiteral("The \"Bootloader\" (BIOS) contains the startup routines for the device.  It is executed "
                                "on power up or reset and loads and runs the Firmware.  The \"Firmware\" is the heart of "
                                "the device.  "),
                 TwipsRect(240, 2160, 8895, 495));
    lbl1->setWordWrap(true);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(TwipsRect(240, 2400, 8895, 255));
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setAccessibleName(QStringLiteral("Progress"));
    lbl2 = MakeLabel(this, "lbl2",
                 QStringLiteral("If the Bootloader is updated, the Firmware will be automatically erased and will also "
                                "need to be updated."),
                 TwipsRect(240, 2760, 8895, 255));
    lblStatus = MakeLabel(this, "lblStatus", QStringLiteral("STATUS"), TwipsRect(1680, 2760, 6015, 495));
    lblStatus->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lbl3 = MakeLabel(this, "lbl3",
                 QStringLiteral("Prior to any update, you should make note of the configuration settings on the previous "
                                "window in case they need to be restored."),
                 TwipsRect(240, 3120, 8895, 495));
    lbl3->setWordWrap(true);
    Image1 = CreateLogo(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(TwipsRect(7920, 120, 1215, 615));

    m_exchange = new UpdateExchange(this);
    m_exchange->SetSinks({[this](double maximum, double position) { showProgress(maximum, position); },
                          [this](const QString& text) { lblStatus->setText(text); },
                          [this](const Message& m) { return MsgBox(m, this); }, [] { Beep(); },
                          [this] { ZOrder(); }});

    connect(optBoot, &QRadioButton::clicked, this, &NxUpdate::optBoot_Click);
    connect(optFirm, &QRadioButton::clicked, this, &NxUpdate::optFirm_Click);
    connect(cmdUpdate, &QPushButton::clicked, this, &NxUpdate::cmdUpdate_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &NxUpdate::cmdCancel_Click);
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

void NxUpdate::Form_Unload() { m_exchange->Close(); }

void NxUpdate::showProgress(double maximum, double position)
{
    ProgressBar1->setRange(0, static_cast<int>(std::lround(maximum * kBarScale)));
    ProgressBar1->setValue(static_cast<int>(std::lround(position * kBarScale)));
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
    const QString start = ReadSetting(QStringLiteral("UpdatesPath"), QDir::homePath());
    const QString folder = BrowseForFolder(
        [this](const QString& title, const QString& startFolder) { return ChooseFolder({title, startFolder}, this); },
        kFolderTitle, start);
    if (folder.isEmpty()) {
        cancelled = true;
        return;
    }
    m_filesListPath = folder;
    const QDir dir(folder);
    if (!dir.exists() || !dir.isReadable()) {
        cancelled = true;
        return;
    }

    const UpdateListing listing =
        ListUpdateFiles(folder, HdweVer->text(), BootVer->text(), [this](const UpdateFileError& error) {
            return MsgBox(UpdateTexts::FileError(error), this) == MsgAnswer::Retry;
        });
    if (listing.abandoned) {
        cancelled = true;
        return;
    }
    const std::vector<UpdateFileInfo>& files = listing.files;
    const int bootCount = listing.bootCount;

    if (files.empty()) {
        MsgBox(QStringLiteral("No update files were found."), MsgButtons::Ok, QStringLiteral("Update Firmware"), this,
               MsgIcon::Exclamation);
        cancelled = true;
        return;
    }
    WriteSetting(QStringLiteral("UpdatesPath"), folder);

    const int firmCount = static_cast<int>(files.size()) - bootCount;
    BootUpdateFile->clear();
    FirmUpdateFile->clear();
    for (int i = firmCount; i < static_cast<int>(files.size()); ++i)
        BootUpdateFile->addItem(UpdateListLine(files[i]));
    for (int i = 0; i < firmCount; ++i)
        FirmUpdateFile->addItem(UpdateListLine(files[i]));
    if (BootUpdateFile->count() > 0)
        BootUpdateFile->setCurrentIndex(0);
    if (FirmUpdateFile->count() > 0)
        FirmUpdateFile->setCurrentIndex(0);

    optFirm->setChecked(true);
    optFirm_Click();
    for (QWidget* w : {static_cast<QWidget*>(optBoot), static_cast<QWidget*>(optFirm), static_cast<QWidget*>(lblBoot),
                       static_cast<QWidget*>(lblFirm)})
        w->setEnabled(true);
    lblBoot->setText(kBootPrompt);
    lblFirm->setText(kFirmPrompt);
    if (BootUpdateFile->count() == 0) {
        optBoot->setEnabled(false);
        lblBoot->setEnabled(false);
        lblBoot->setText(QStringLiteral("No Bootloader update files were found."));
    }
    NameByLabel(lblBoot, BootUpdateFile);
    if (FirmUpdateFile->count() == 0) {
        optFirm->setEnabled(false);
        lblFirm->setEnabled(false);
        lblFirm->setText(QStringLiteral("No Firmware update files were found."));
    }
    NameByLabel(lblFirm, FirmUpdateFile);
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

    // The whole file is read and checked before the device is touched: a device erased and then
    // left half programmed by a damaged file has no firmware.
    UpdateFileResult loaded;
    for (;;) {
        loaded = LoadUpdateFile(JoinFolder(m_filesListPath, line->fileName));
        if (loaded.file)
            break;
        if (MsgBox(UpdateTexts::FileError(loaded.error), this) != MsgAnswer::Retry)
            return;
    }

    m_updating = true;
    lblStatus->show();
    ProgressBar1->show();
    lbl1->hide();
    lbl2->hide();
    lbl3->hide();
    for (QWidget* w : std::initializer_list<QWidget*>{lblHdweVer, HdweVer, lblBootVer, BootVer, lblFirmVer, FirmVer,
                                                      optBoot, optFirm, lblBoot, BootUpdateFile, lblFirm,
                                                      FirmUpdateFile, cmdUpdate, cmdCancel})
        DisableControl(w);

    bool succeeded = false;
    m_exchange->EraseFirmware(FirmVer->text() == kErased);
    if (m_exchange->ReplyOK) {
        ZOrder();
        bool failed = false;
        m_exchange->ProgramFile(*loaded.file, failed);
        ZOrder();
        if (!failed) {
            m_exchange->RebootDevice();
            if (boot) {
                BootVer->setText(line->versionText);
                FirmVer->setText(kErased);
            } else {
                FirmVer->setText(line->versionText);
            }
            succeeded = true;
            // The device came back: it must report the file's version, or the update did not take.
            if (m_exchange->ReplyOK) {
                const DeviceVersions reported = SharedVersions();
                if (const auto notTaken = UpdateTexts::VersionNotTaken(boot, loaded.file->header.Version, reported)) {
                    BootVer->setText(VersionText(reported.BootVersion));
                    FirmVer->setText(reported.FirmVersion == 0 ? kErased : VersionText(reported.FirmVersion));
                    lblStatus->setText(notTaken->text.section(kCrLf, 0, 0));
                    ZOrder();
                    MsgBox(*notTaken, this);
                }
            }
        }
    }
    m_exchange->Close(); // the port was held from the erase to the last reply
    if (!succeeded)
        lblStatus->setText(kProgrammingError);

    cmdUpdate->setText(kCloseCaption);
    EnableControl(cmdUpdate);
    ZOrder();
    m_updating = false;
}

void NxUpdate::cmdCancel_Click() { hide(); }

} // namespace brevion
