#include "gui/nxsetup.h"

// Saving the window's settings to a settings file and loading them back.

#include "ui/controls.h"
#include "config/controlvalues.h"
#include "ui/dialogs.h"
#include "ui/msgbox.h"
#include "config/settingsfile.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTableWidget>

namespace brevion {
namespace {

const QString kFilter = QStringLiteral("TALIX data files (*.TALIX)|*.TALIX|All Files (*.*)|*.*");

std::optional<QString> chooseSettingsFile(FileDialogRequest::Kind kind, const QString& title,
                                          QWidget* parent)
{
    FileDialogRequest request;
    request.kind = kind;
    request.title = title;
    request.filter = kFilter;
    request.initialFolder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (request.initialFolder.isEmpty())
        request.initialFolder = QCoreApplication::applicationDirPath();
    return ChooseFile(request, parent);
}

// A reason ("it is a folder") as a line of its own.
QString sentence(QString reason)
{
    if (!reason.isEmpty())
        reason[0] = reason[0].toUpper();
    return reason.endsWith(QLatin1Char('.')) ? reason : reason + QLatin1Char('.');
}

} // namespace

SettingsFileValues NxSetup::ToFileValues() const
{
    std::array<QString, MaxOutRules + 1> sentences;
    for (int n = 1; n <= MaxOutRules; ++n)
        sentences[n] = OutCnct->item(n, 1) ? OutCnct->item(n, 1)->text() : QString();
    return FileValuesOf(Values(), sentences);
}

void NxSetup::FromFileValues(const SettingsFileValues& values)
{
    ShowValues(ControlValuesOf(values));
    ShowRules(values.Rules, values.Sentences);
}

void NxSetup::cmdSave_Click()
{
    const std::optional<QString> path = chooseSettingsFile(
        FileDialogRequest::Kind::Save, QStringLiteral("Save TALIX Settings"), this);
    if (!path)
        return;
    if (QFileInfo::exists(*path) &&
        MsgBox(QStringLiteral("Overwrite existing file?"), MsgButtons::YesNo,
               QStringLiteral("File Exists!"), this) == MsgAnswer::No)
        return;
    if (const std::optional<QString> failure = SaveSettingsFile(*path, ToFileValues())) {
        MsgBox(QStringLiteral("Settings could not be saved to:") + kCrLf + *path + kCrLf + sentence(*failure),
               MsgButtons::Ok, QStringLiteral("Save Settings"), this, MsgIcon::Exclamation);
        return;
    }
    MsgBox(QStringLiteral("Settings were successfully saved to:") + kCrLf + *path, MsgButtons::Ok,
           QStringLiteral("Save Settings"), this);
}

// The whole file is checked before anything is taken from it: half a file sent to a device would
// leave it misconfigured.
void NxSetup::cmdLoad_Click()
{
    const std::optional<QString> path = chooseSettingsFile(
        FileDialogRequest::Kind::Open, QStringLiteral("Load TALIX Settings"), this);
    if (!path)
        return;
    const SettingsFileDecode file = LoadSettingsFile(*path, ToFileValues());
    if (!file.values) {
        const QString detail = file.line > 0
                                   ? QStringLiteral("Line %1: %2.").arg(file.line).arg(file.reason)
                                   : sentence(file.reason);
        MsgBox(*path + kCrLf + QStringLiteral("is not a valid settings file. Nothing was loaded.") +
                   kCrLf + detail,
               MsgButtons::Ok, QStringLiteral("Load Settings"), this, MsgIcon::Exclamation);
        return;
    }
    FromFileValues(*file.values);
}

} // namespace brevion
