#include "ui/msgbox.h"

#include "ui/dialogs.h"

#include <QApplication>
#include <QMessageBox>

namespace brevion {
namespace {

MessageSink& responder()
{
    static MessageSink r;
    return r;
}

} // namespace

void SetMessageResponder(MessageSink r) { responder() = std::move(r); }

MsgAnswer MsgBox(const QString& text, MsgButtons buttons, const QString& title, QWidget* parent,
                 MsgIcon icon)
{
    return MsgBox(Message{title, text, buttons, icon}, parent);
}

MsgAnswer MsgBox(const Message& message, QWidget* parent)
{
    if (responder())
        return responder()(message);

    const KeyboardReturn keyboard;
    QMessageBox box(parent);
    // A box without a title of its own shows the application's name, as the platform would.
    box.setWindowTitle(message.title.isEmpty() ? QApplication::applicationName() : message.title);
    box.setText(message.text);
    switch (message.icon) {
    case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MsgIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case MsgIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    }
    switch (message.buttons) {
    case MsgButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case MsgButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case MsgButtons::RetryCancel: box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel); break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes: return MsgAnswer::Yes;
    case QMessageBox::No: return MsgAnswer::No;
    case QMessageBox::Retry: return MsgAnswer::Retry;
    case QMessageBox::Cancel: return MsgAnswer::Cancel;
    default: break;
    }
    // Escape or the title-bar close picks the safe answer.
    switch (message.buttons) {
    case MsgButtons::YesNo: return MsgAnswer::No;
    case MsgButtons::RetryCancel: return MsgAnswer::Cancel;
    case MsgButtons::Ok: break;
    }
    return MsgAnswer::Ok;
}

} // namespace brevion
