#pragma once

#include <QString>

#include <functional>

namespace brevion {

// A message box as the system shows it: title, whole text (lines joined by CR LF), buttons, icon.
enum class MsgButtons { Ok, YesNo, RetryCancel };
enum class MsgIcon { None, Exclamation, Critical, Information };
enum class MsgAnswer { Ok, Yes, No, Retry, Cancel };

struct Message {
    QString title;
    QString text;
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::None;
    bool operator==(const Message&) const = default;
};

// Whoever shows messages for an exchange: the windows (message boxes) or the command line tool.
using MessageSink = std::function<MsgAnswer(const Message&)>;

inline const QString kCrLf = QStringLiteral("\r\n");

} // namespace brevion
