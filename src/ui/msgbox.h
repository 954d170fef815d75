#pragma once

#include "ui/message.h"

class QWidget;

namespace brevion {

// Shows a message box (QMessageBox with the whole text and standard buttons) and returns the
// button pressed. With a responder installed (tests), the responder answers instead.
MsgAnswer MsgBox(const Message& message, QWidget* parent = nullptr);
MsgAnswer MsgBox(const QString& text, MsgButtons buttons, const QString& title,
                 QWidget* parent = nullptr, MsgIcon icon = MsgIcon::None);

// Installs (or, with an empty function, removes) the responder.
void SetMessageResponder(MessageSink responder);

} // namespace brevion
