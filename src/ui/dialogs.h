#pragma once

#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace brevion {

// File dialogs, the folder browser and modal show, behind one facade that tests can answer.

struct FileDialogRequest {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    QString title;
    // In the pipe-separated form: "Description|pattern|Description|pattern"; the first one is chosen.
    QString filter;
    QString initialFolder;
};

// The chosen path, or nothing when the user cancelled.
std::optional<QString> ChooseFile(const FileDialogRequest& request, QWidget* parent = nullptr);

struct FolderRequest {
    QString title;
    QString startFolder; // opened at when it exists
};
// The chosen folder, or the empty text when the user cancelled.
QString ChooseFolder(const FolderRequest& request, QWidget* parent = nullptr);

// Shows a window modally and waits until it hides itself.
void ShowModal(QWidget& window);

// Held while a box or dialog is up: when it has closed and no window is active, the window that
// was active before it is activated again, so the keyboard comes back to the control that had it.
// Window managers do this for a closed dialog's parent; without one, X hands the focus to no one.
class KeyboardReturn {
public:
    KeyboardReturn();
    ~KeyboardReturn();
    KeyboardReturn(const KeyboardReturn&) = delete;
    KeyboardReturn& operator=(const KeyboardReturn&) = delete;

private:
    QPointer<QWidget> m_window;
};

// Test hooks: each, when set, answers instead of the real dialog. The modal responder is called
// with the shown window and must make it hide (by clicking its buttons).
using FileResponder = std::function<std::optional<QString>(const FileDialogRequest&)>;
using FolderResponder = std::function<QString(const FolderRequest&)>;
using ModalResponder = std::function<void(QWidget&)>;
void SetFileResponder(FileResponder responder);
void SetFolderResponder(FolderResponder responder);
void SetModalResponder(ModalResponder responder);

// Converts the pipe-separated filter form to Qt's: "A (*.x)|*.x|B|*.*" -> "A (*.x);;B (*.*)".
QString QtFilter(const QString& pipeFilter);

} // namespace brevion
