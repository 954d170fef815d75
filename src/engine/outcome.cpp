#include "engine/outcome.h"

namespace brevion {

QString OutcomeName(Outcome::Code code)
{
    switch (code) {
    case Outcome::Code::Accepted:
        return QStringLiteral("accepted");
    case Outcome::Code::Refused:
        return QStringLiteral("refused");
    case Outcome::Code::TimedOut:
        return QStringLiteral("timed-out");
    case Outcome::Code::CorruptReply:
        return QStringLiteral("corrupt-reply");
    case Outcome::Code::OtherReply:
        return QStringLiteral("other-reply");
    case Outcome::Code::PortInUse:
        return QStringLiteral("port-in-use");
    case Outcome::Code::SendFailed:
        return QStringLiteral("send-failed");
    case Outcome::Code::Cancelled:
        return QStringLiteral("cancelled");
    case Outcome::Code::VersionMismatch:
        return QStringLiteral("version-mismatch");
    }
    return QStringLiteral("unknown");
}

QString OutcomeText(const Outcome& outcome)
{
    QString text;
    switch (outcome.code) {
    case Outcome::Code::Accepted:
        text = QStringLiteral("The device accepted the command.");
        break;
    case Outcome::Code::Refused:
        text = QStringLiteral("The device reported an error receiving the last command.");
        break;
    case Outcome::Code::TimedOut:
        text = QStringLiteral("Timed out waiting for a response from the device.");
        break;
    case Outcome::Code::CorruptReply:
        text = QStringLiteral("A data error was detected reading the device's current settings.");
        break;
    case Outcome::Code::OtherReply:
        text = QStringLiteral("The device answered with a reply that does not belong to the command.");
        break;
    case Outcome::Code::PortInUse:
        text = QStringLiteral("The local UDP port is in use by another program.");
        break;
    case Outcome::Code::SendFailed:
        text = QStringLiteral("The command could not be sent.");
        break;
    case Outcome::Code::Cancelled:
        text = QStringLiteral("The operation was cancelled.");
        break;
    case Outcome::Code::VersionMismatch:
        text = QStringLiteral("After the update the device reports another version than the update file's.");
        break;
    }
    return outcome.detail.isEmpty() ? text : text + QLatin1Char(' ') + outcome.detail;
}

} // namespace brevion
