#include "ui/dialogs.h"

#include "ui/waitloop.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

namespace brevion {
namespace {

FileResponder& fileResponder()
{
    static FileResponder r;
    return r;
}
FolderResponder& folderResponder()
{
    static FolderResponder r;
    return r;
}
ModalResponder& modalResponder()
{
    static ModalResponder r;
    return r;
}

} // namespace

void SetFileResponder(FileResponder responder) { fileResponder() = std::move(responder); }
void SetFolderResponder(FolderResponder responder) { folderResponder() = std::move(responder); }
void SetModalResponder(ModalResponder responder) { modalResponder() = std::move(responder); }

QString QtFilter(const QString& pipeFilter)
{
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        const QString pattern = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        if (!description.contains(QLatin1Char('(')))
            description += QStringLiteral(" (%1)").arg(pattern);
        filters << description;
    }
    return filters.join(QStringLiteral(";;"));
}

std::optional<QString> ChooseFile(const FileDialogRequest& request, QWidget* parent)
{
    if (fileResponder())
        return fileResponder()(request);
    const KeyboardReturn keyboard;
    const QString filter = QtFilter(request.filter);
    const QString first = filter.section(QStringLiteral(";;"), 0, 0);
    QString selected = first;
    QString path;
    if (request.kind == FileDialogRequest::Kind::Save) {
        // The overwrite question is the caller's ("File Exists!"), not the dialog's.
        path = QFileDialog::getSaveFileName(parent, request.title, request.initialFolder, filter,
                                            &selected, QFileDialog::DontConfirmOverwrite);
    } else {
        path = QFileDialog::getOpenFileName(parent, request.title, request.initialFolder, filter,
                                            &selected);
    }
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

QString ChooseFolder(const FolderRequest& request, QWidget* parent)
{
    if (folderResponder())
        return folderResponder()(request);
    const KeyboardReturn keyboard;
    QFileDialog dialog(parent, request.title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (!request.startFolder.isEmpty() && QFileInfo(request.startFolder).isDir())
        dialog.setDirectory(request.startFolder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

KeyboardReturn::KeyboardReturn() : m_window(QApplication::activeWindow()) {}

KeyboardReturn::~KeyboardReturn()
{
    if (m_window && m_window->isVisible() && !QApplication::activeWindow())
        m_window->activateWindow();
}

void ShowModal(QWidget& window)
{
    // Modality takes effect when a window is shown, so a window already up is shown again.
    if (window.isVisible())
        window.hide();
    window.setWindowModality(Qt::ApplicationModal);
    window.show();
    window.raise();
    window.activateWindow();
    const KeyboardReturn keyboard;
    // The window may be unloaded (and destroyed) while it is up.
    const QPointer<QWidget> guard(&window);
    if (modalResponder())
        modalResponder()(window);
    WaitUntil([&guard] { return guard.isNull() || !guard->isVisible(); });
    if (guard)
        guard->setWindowModality(Qt::NonModal);
}

} // namespace brevion
