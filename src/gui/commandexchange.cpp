#include "gui/commandexchange.h"

#include "common/bridgelock.h"
#include "engine/devicelink.h"
#include "ui/networksettings.h"
#include "common/nxfns.h"
#include "ui/udpport.h"
#include "ui/waitloop.h"

#include <QCoreApplication>

namespace brevion {

namespace ExchangeMessages {

namespace {
const QString kCommsTitle = QStringLiteral("Communications Error");
}

Message SaveConfirmation()
{
    return {QStringLiteral("Save Settings"),
            QStringLiteral("Settings were successfully saved to the device.") + kCrLf +
                QStringLiteral("It must be rebooted for the new settings to take effect.") + kCrLf +
                QStringLiteral("Do you want to reboot now?"),
            MsgButtons::YesNo};
}

Message Rebooting()
{
    return {QStringLiteral("Reboot"),
            QStringLiteral("Device is rebooting.") + kCrLf +
                QStringLiteral("Please allow thirty seconds before trying to find or re-configure it again.")};
}

Message DeviceError()
{
    return {kCommsTitle, QStringLiteral("The device reported an error receiving the last command.") + kCrLf +
                             QStringLiteral("Please try the last operation again.")};
}

Message TimedOut()
{
    return {kCommsTitle, QStringLiteral("Timed out waiting for a response from the device.") + kCrLf +
                             QStringLiteral("Please try the last operation again.")};
}

Message DataError()
{
    return {QStringLiteral("Error Reading Settings"),
            QStringLiteral("A data error was detected reading the device's current settings.") + kCrLf +
                QStringLiteral("Please click \"Read Settings\" to read them again.")};
}

Message InUse(const QString& refusal) { return {kCommsTitle, refusal, MsgButtons::Ok, MsgIcon::Exclamation}; }

Message NotSent(const Outcome& outcome, quint16 localPort, bool heldHere, const QString& device)
{
    const QString again = QStringLiteral("Please try the last operation again.");
    if (outcome.code == Outcome::Code::PortInUse && heldHere)
        return {kCommsTitle, QStringLiteral("The command could not be sent: UDP port %1 is still in use by this "
                                            "program, which is waiting for a device's reply on it.")
                                     .arg(localPort) +
                                 kCrLf + QStringLiteral("Please try the last operation again in a few seconds.")};
    if (outcome.code == Outcome::Code::PortInUse)
        return {kCommsTitle,
                QStringLiteral("The command could not be sent: local UDP port %1 is in use by another program.")
                        .arg(localPort) +
                    kCrLf + QStringLiteral("Please close the program that uses this port and try again.")};
    // The link names the port before the system's words when it could not open it.
    const QString portPrefix = QStringLiteral("Local UDP port %1: ").arg(localPort);
    if (outcome.detail.startsWith(portPrefix))
        return {kCommsTitle, QStringLiteral("The command could not be sent: local UDP port %1 could not be opened (%2).")
                                     .arg(localPort)
                                     .arg(outcome.detail.mid(portPrefix.size())) +
                                 kCrLf + again};
    return {kCommsTitle,
            QStringLiteral("The command could not be sent to the device at %1 (%2).").arg(device, outcome.detail) +
                kCrLf + again};
}

} // namespace ExchangeMessages

CommandExchange::CommandExchange(QObject* parent) : QObject(parent) {}

CommandExchange::~CommandExchange()
{
    ++m_command;
    m_link.reset();
    delete m_conversation;
}

MsgAnswer CommandExchange::tell(const Message& message)
{
    if (m_sink)
        return m_sink(message);
    // Nobody to ask: take the answer that changes nothing.
    return message.buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
}

void CommandExchange::endCommand()
{
    ++m_command;
    // The conversation may be on the stack (a reply during its time-out box): it goes later.
    if (m_conversation)
        m_conversation->deleteLater();
    m_conversation = nullptr;
    m_link.reset();
    m_lock.reset();
}

bool CommandExchange::Send(const QByteArray& datagram, qint16 op)
{
    endCommand();
    m_pendingOp = op;
    m_link = std::make_unique<DeviceLink>();
    if (const Outcome opened = m_link->open(); !opened.ok()) {
        notSent(opened);
        return false;
    }
    // Read strictly: a lenient reading would send to an address the user never gave.
    const std::optional<quint32> device = ParseIPv4(m_deviceIP);
    if (!device) {
        notSent({Outcome::Code::SendFailed, QStringLiteral("Invalid remote host address \"%1\"").arg(m_deviceIP)});
        return false;
    }
    if (op == OpSave || op == OpMacAddress || op == OpMacRestart) {
        m_lock = std::make_unique<BridgeLock>(m_deviceIP, Network().devicePort);
        if (!m_lock->held()) {
            const QString refusal = m_lock->refusal();
            m_timer1.Enabled = false;
            m_pendingOp = OpNone;
            endCommand();
            tell(ExchangeMessages::InUse(refusal));
            return false;
        }
    }
    const auto kind = op == OpRead ? CommandConversation::Kind::Read : CommandConversation::Kind::Save;
    auto* conversation = CommandConversation::Command(*m_link, QHostAddress(*device), kind, datagram);
    conversation->setAnyReplyEnds(true);
    m_conversation = conversation;
    const quint64 command = m_command;
    // Queued: the outcome is taken once the link has finished with the reply, so that it may
    // close the port before a message box opens.
    connect(conversation, &Conversation::finished, this,
            [this, command](const Outcome& outcome) { finished(command, outcome); }, Qt::QueuedConnection);
    connect(conversation, &CommandConversation::waitRanOut, this, [this, command] {
        if (command == m_command)
            waitRanOut();
    });
    m_timer1 = {kReplyTimeoutMs, true};
    conversation->start();
    // The link sends on its next turn of the event loop; the command leaves now, before the
    // caller goes on (Init sends the read, then may open a dialog that replaces it).
    QCoreApplication::sendPostedEvents(m_link.get(), QEvent::MetaCall);
    return true;
}

bool CommandExchange::RunAndWait(const QByteArray& datagram, qint16 op)
{
    m_gotAck = false;
    if (Send(datagram, op))
        WaitUntil([this] { return m_pendingOp == OpNone; });
    return m_gotAck;
}

void CommandExchange::Close()
{
    endCommand();
    m_timer1.Enabled = false;
}

void CommandExchange::waitRanOut()
{
    // PendingOp is cleared once the box is closed: a reply that arrives meanwhile still counts.
    m_timer1.Enabled = false;
    if (m_bringToFront)
        m_bringToFront();
    tell(ExchangeMessages::TimedOut());
}

void CommandExchange::finished(quint64 command, const Outcome& outcome)
{
    if (command != m_command)
        return;
    m_lock.reset(); // the command is over, however it ended
    m_timer1.Enabled = false;
    using Code = Outcome::Code;
    if (outcome.code == Code::TimedOut) {
        // Its box has been shown; the port stays bound until the next command.
        m_pendingOp = OpNone;
        return;
    }
    if (outcome.code == Code::PortInUse || outcome.code == Code::SendFailed) {
        notSent(outcome);
        return;
    }
    m_timer1.Interval = 0;
    const std::optional<SettingsReply> reply = m_conversation ? m_conversation->reply() : std::nullopt;
    m_link.reset();
    switch (outcome.code) {
    case Code::Accepted:
        accepted();
        return;
    case Code::Refused:
        tell(ExchangeMessages::DeviceError());
        break;
    case Code::CorruptReply:
        // Only a reply long enough to be settings is a data error; the stored versions stay, so a
        // corrupted reply does not choose the layout of the next save.
        if (reply)
            tell(ExchangeMessages::DataError());
        break;
    default:
        break;
    }
    m_pendingOp = OpNone;
}

void CommandExchange::accepted()
{
    const qint16 op = m_pendingOp;
    if (op == OpRead && m_conversation && m_conversation->reply()) {
        const SettingsReply reply = *m_conversation->reply();
        SharedVersions() = reply.versions;
        emit SettingsRead(reply);
    }
    m_pendingOp = OpNone;
    if (op == OpSave) {
        if (tell(ExchangeMessages::SaveConfirmation()) == MsgAnswer::Yes)
            Reboot();
    } else if (op == OpReboot) {
        tell(ExchangeMessages::Rebooting());
    } else if (op == OpMacAddress || op == OpMacRestart) {
        m_gotAck = true;
    }
}

void CommandExchange::notSent(const Outcome& outcome)
{
    // Without a datagram on its way there is nothing to wait for: say why now rather than let
    // the user sit through a time-out that could never have been met.
    const quint16 port = Network().localPort;
    const bool heldHere = outcome.code == Outcome::Code::PortInUse && UdpPort::IsBoundHere(port);
    m_timer1.Enabled = false;
    m_pendingOp = OpNone;
    endCommand();
    tell(ExchangeMessages::NotSent(outcome, port, heldHere, m_deviceIP));
}

} // namespace brevion
