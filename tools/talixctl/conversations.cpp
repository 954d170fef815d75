#include "conversations.h"

#include "discovery/discoverytexts.h"
#include "talixctl.h"

#include <QEventLoop>

namespace talixctl {

using namespace brevion;

Outcome RunToEnd(Conversation& conversation)
{
    QEventLoop loop;
    QObject::connect(&conversation, &Conversation::finished, &loop, &QEventLoop::quit);
    conversation.start();
    if (!conversation.isFinished())
        loop.exec();
    return conversation.outcome();
}

void Talk(Conversation* c, std::function<void(const Outcome&)> then)
{
    QObject::connect(c, &Conversation::finished, c, [c, then = std::move(then)](const Outcome& o) {
        c->deleteLater();
        then(o);
    });
    c->start();
}

UpdateConversation::Timings UpdateTimings(int speedup)
{
    UpdateConversation::Timings t;
    if (speedup <= 1)
        return t;
    for (int* ms : {&t.eraseWaitMs, &t.blockWaitMs, &t.restartWaitMs, &t.readWaitMs, &t.pauseMs, &t.afterEraseMs,
                    &t.afterEraseErasedMs, &t.afterRestartMs})
        *ms = std::max(1, *ms / speedup);
    return t;
}

int ExitCodeOf(const Outcome& outcome)
{
    switch (outcome.code) {
    case Outcome::Code::Accepted:
        return kSuccess;
    case Outcome::Code::VersionMismatch:
        return kRestartUnconfirmed;
    default:
        return kDeviceFailed;
    }
}

QString SearchTrouble(const Outcome& opened, quint16 localPort)
{
    return opened.code == Outcome::Code::PortInUse ? PortInUseText(localPort) : OutcomeText(opened);
}

QString UnsentNote(const DiscoverConversation& search)
{
    if (search.unsent() == 0)
        return {};
    return QStringLiteral("%1 of %2 search requests could not be sent; the first to %3")
        .arg(search.unsent())
        .arg(search.requests())
        .arg(search.firstUnsent());
}

QString CommandTrouble(const Outcome& outcome, const DeviceLink& link, const QString& ip)
{
    const QString communications = QStringLiteral("Communications Error: ");
    const QString again = QStringLiteral("\nPlease try the last operation again.");
    const quint16 port = link.network().localPort;
    switch (outcome.code) {
    case Outcome::Code::Refused:
        return communications + QStringLiteral("The device reported an error receiving the last command.") + again;
    case Outcome::Code::TimedOut:
        return communications + QStringLiteral("Timed out waiting for a response from the device.") + again;
    case Outcome::Code::CorruptReply:
        return QStringLiteral("Error Reading Settings: A data error was detected reading the device's current "
                              "settings.\nPlease click \"Read Settings\" to read them again.");
    case Outcome::Code::PortInUse:
        return communications +
               QStringLiteral("The command could not be sent: local UDP port %1 is in use by another program.\n"
                              "Please close the program that uses this port and try again.")
                   .arg(port);
    case Outcome::Code::SendFailed:
        if (!link.isOpen()) {
            // The link words it "Local UDP port N: <the system's words>".
            const QString why = outcome.detail.section(QStringLiteral(": "), 1);
            return communications +
                   QStringLiteral("The command could not be sent: local UDP port %1 could not be opened (%2).")
                       .arg(port)
                       .arg(why.isEmpty() ? outcome.detail : why) +
                   again;
        }
        return communications +
               QStringLiteral("The command could not be sent to the device at %1 (%2).").arg(ip, outcome.detail) + again;
    default:
        return OutcomeText(outcome);
    }
}

QString UpdateTrouble(const UpdateConversation& update, const DeviceLink& link, const QString& ip)
{
    const Outcome& outcome = update.outcome();
    if (outcome.code == Outcome::Code::PortInUse || outcome.code == Outcome::Code::SendFailed ||
        outcome.code == Outcome::Code::Cancelled)
        return CommandTrouble(outcome, link, ip);
    // Timed out, or (erase, last send of a block) answered "N" or out of turn: each told as a
    // time-out of its phase; an "N" was told when it came.
    QString text;
    switch (update.phase()) {
    case UpdateConversation::Phase::Erase:
        text = QStringLiteral("Timed out waiting for the device to erase.\nReturn to the previous window and click "
                              "\"Read Settings\" to see if it was erased.");
        break;
    case UpdateConversation::Phase::WaitAfterErase:
        text = QStringLiteral("Timed out waiting for a response from the device.\nReturn to the previous window and "
                              "try again.");
        break;
    case UpdateConversation::Phase::Program:
        text = QStringLiteral("Timed out waiting for a response from the device.\nThe device failed to program "
                              "completely.\nReturn to the previous window and try again.");
        break;
    default:
        text = QStringLiteral("Timed out waiting for the device to reboot.\nIt may or may not have rebooted.\nAllow "
                              "several seconds for it to reboot and try to \"Find\" it again.");
        break;
    }
    return QStringLiteral("Communications Error: ") + text;
}

} // namespace talixctl
