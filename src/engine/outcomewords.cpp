#include "engine/outcomewords.h"

#include "update/updatefile.h"

#include <QStringList>

namespace brevion {
namespace {

using Code = Outcome::Code;

const QString kCommsTitle = QStringLiteral("Communications Error");
const QString kTryAgain = QStringLiteral("Please try the last operation again.");
const QString kBackAndTryAgain = QStringLiteral("Return to the previous window and try again.");
const QString kTimedOut = QStringLiteral("Timed out waiting for a response from the device.");

Message box(const QString& title, const QStringList& lines) { return {title, lines.join(kCrLf)}; }

QString sentence(Code code)
{
    switch (code) {
    case Code::Accepted:
        return QStringLiteral("The device accepted the command.");
    case Code::Refused:
        return QStringLiteral("The device reported an error receiving the last command.");
    case Code::TimedOut:
        return kTimedOut;
    case Code::CorruptReply:
        return QStringLiteral("A data error was detected reading the device's current settings.");
    case Code::OtherReply:
        return QStringLiteral("The device answered with a reply that does not belong to the command.");
    case Code::PortInUse:
        return QStringLiteral("The local UDP port is in use by another program.");
    case Code::SendFailed:
        return QStringLiteral("The command could not be sent.");
    case Code::Cancelled:
        return QStringLiteral("The operation was cancelled.");
    case Code::VersionMismatch:
        return QStringLiteral("After the update the device reports another version than the update file's.");
    }
    return {};
}

// The system's words for a failed send, with the local port when it was the port that failed.
QString sendDetail(const Outcome& outcome)
{
    return outcome.localPort ? QStringLiteral("Local UDP port %1: %2").arg(outcome.localPort).arg(outcome.detail)
                             : outcome.detail;
}

} // namespace

QString OutcomeText(const Outcome& outcome)
{
    const QString detail = outcome.code == Code::SendFailed || outcome.code == Code::PortInUse ? sendDetail(outcome)
                                                                                               : outcome.detail;
    return detail.isEmpty() ? sentence(outcome.code) : sentence(outcome.code) + QLatin1Char(' ') + detail;
}

Message CommandWords(const Outcome& outcome, const QString& device)
{
    switch (outcome.code) {
    case Code::Refused:
    case Code::TimedOut:
        return box(kCommsTitle, {sentence(outcome.code), kTryAgain});
    case Code::CorruptReply:
        return box(QStringLiteral("Error Reading Settings"),
                   {sentence(outcome.code), QStringLiteral("Please click \"Read Settings\" to read them again.")});
    case Code::PortInUse:
        return box(kCommsTitle,
                   {QStringLiteral("The command could not be sent: local UDP port %1 is in use by another program.")
                        .arg(outcome.localPort),
                    QStringLiteral("Please close the program that uses this port and try again.")});
    case Code::SendFailed:
        if (outcome.localPort)
            return box(kCommsTitle,
                       {QStringLiteral("The command could not be sent: local UDP port %1 could not be opened (%2).")
                            .arg(outcome.localPort)
                            .arg(outcome.detail),
                        kTryAgain});
        return box(kCommsTitle,
                   {QStringLiteral("The command could not be sent to the device at %1 (%2).").arg(device, outcome.detail),
                    kTryAgain});
    default:
        return {QString(), OutcomeText(outcome)};
    }
}

Message InUseWords(const QString& refusal)
{
    Message words = box(kCommsTitle, {refusal});
    words.icon = MsgIcon::Exclamation;
    return words;
}

Message SavedWords()
{
    Message words = box(QStringLiteral("Save Settings"),
                        {QStringLiteral("Settings were successfully saved to the device."),
                         QStringLiteral("It must be rebooted for the new settings to take effect."),
                         QStringLiteral("Do you want to reboot now?")});
    words.buttons = MsgButtons::YesNo;
    return words;
}

Message RebootingWords()
{
    return box(QStringLiteral("Reboot"),
               {QStringLiteral("Device is rebooting."),
                QStringLiteral("Please allow thirty seconds before trying to find or re-configure it again.")});
}

std::optional<Message> UpdateWords(const Outcome& outcome, UpdateConversation::Phase phase)
{
    using Phase = UpdateConversation::Phase;
    if (outcome.code == Code::PortInUse)
        return CommandWords(outcome, QString());
    if (outcome.code == Code::Cancelled)
        return std::nullopt;
    if (outcome.code == Code::SendFailed)
        return box(kCommsTitle, {QStringLiteral("The command could not be sent: %1").arg(sendDetail(outcome)),
                                 kBackAndTryAgain});
    // Timed out, or (erase, last send of a block) answered "N" or out of turn: each told as a
    // time-out of its phase; an "N" was told when it came.
    switch (phase) {
    case Phase::Erase:
        return box(kCommsTitle, {QStringLiteral("Timed out waiting for the device to erase."),
                                 QStringLiteral("Return to the previous window and click \"Read Settings\" to see if it "
                                                "was erased.")});
    case Phase::WaitAfterErase:
        return box(kCommsTitle, {kTimedOut, kBackAndTryAgain});
    case Phase::Program:
        return box(kCommsTitle, {kTimedOut, QStringLiteral("The device failed to program completely."), kBackAndTryAgain});
    case Phase::Restart:
    case Phase::WaitAfterRestart:
    case Phase::Done:
        break;
    }
    return box(kCommsTitle,
               {QStringLiteral("Timed out waiting for the device to reboot."),
                QStringLiteral("It may or may not have rebooted."),
                QStringLiteral("Allow several seconds for it to reboot and try to \"Find\" it again.")});
}

Message VersionNotTakenWords(bool bootloader, qint32 fileVersion, const DeviceVersions& reported)
{
    const qint32 now = bootloader ? reported.BootVersion : reported.FirmVersion;
    const QString part = bootloader ? QStringLiteral("bootloader") : QStringLiteral("firmware");
    const QString shown = !bootloader && now == 0 ? QStringLiteral("no firmware (Erased)")
                                                  : QStringLiteral("%1 version %2").arg(part, VersionText(now));
    Message words = box(QStringLiteral("Update Firmware"),
                        {QStringLiteral("After the restart the device reports %1, not version %2 of the update file.")
                             .arg(shown, VersionText(fileVersion)),
                         QStringLiteral("The update did not take effect: run it again, or use another update file.")});
    words.icon = MsgIcon::Exclamation;
    return words;
}

QString SearchWords(const Outcome& outcome)
{
    if (outcome.code == Code::PortInUse)
        return QStringLiteral("UDP port %1 is in use by another program. Close it and search again.")
            .arg(outcome.localPort);
    return OutcomeText(outcome);
}

QString PlainText(const Message& message)
{
    QString text = message.text;
    text.replace(kCrLf, QStringLiteral("\n"));
    return message.title.isEmpty() ? text : message.title + QStringLiteral(": ") + text;
}

} // namespace brevion
