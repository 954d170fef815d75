#include "gui/commandexchange.h"

#include "common/bridgelock.h"
#include "engine/devicelink.h"
#include "engine/outcomewords.h"
#include "common/nxfns.h"
#include "gui/windowlink.h"
#include "ui/networksettings.h"
#include "ui/waitloop.h"

#include <QCoreApplication>

namespace brevion {

CommandExchange::CommandExchange(QObject* parent) : QObject(parent) {}

CommandExchange::~CommandExchange()
{
    ++m_command;
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
    // It leaves the link now, so that the next command to the device need not wait for it; it may
    // be on the stack (a reply during its time-out box), so it is deleted later.
    if (m_conversation) {
        m_conversation->cancel();
        m_conversation->deleteLater();
    }
    m_conversation = nullptr;
    m_lock.reset();
}

std::optional<QHostAddress> CommandExchange::deviceAddress()
{
    // Read strictly: a lenient reading would send to an address the user never gave.
    const std::optional<quint32> device = ParseIPv4(m_deviceIP);
    if (!device) {
        notSent({Outcome::Code::SendFailed, QStringLiteral("Invalid remote host address \"%1\"").arg(m_deviceIP)});
        return std::nullopt;
    }
    return QHostAddress(*device);
}

bool CommandExchange::Send(const QByteArray& datagram, qint16 op)
{
    endCommand();
    const std::optional<QHostAddress> device = deviceAddress();
    if (!device)
        return false;
    const auto kind = op == OpRead ? CommandConversation::Kind::Read : CommandConversation::Kind::Save;
    return start(CommandConversation::Command(WindowLink(), *device, kind, datagram), op);
}

bool CommandExchange::start(CommandConversation* conversation, qint16 op)
{
    // A restart would cut short another program's update or save as surely as a save would.
    if (op == OpSave || op == OpReboot || op == OpMacAddress || op == OpMacRestart) {
        m_lock = std::make_unique<BridgeLock>(m_deviceIP, Network().devicePort);
        if (!m_lock->held()) {
            delete conversation; // never started: nothing was sent
            const QString refusal = m_lock->refusal();
            m_lock.reset();
            m_timer1.Enabled = false;
            m_pendingOp = OpNone;
            tell(InUseWords(refusal));
            return false;
        }
    }
    m_pendingOp = op;
    conversation->setAnyReplyEnds(true);
    m_conversation = conversation;
    const quint64 command = m_command;
    // Queued: the outcome is taken once the link has finished with the reply, so that it may
    // let the port go before a message box opens.
    connect(conversation, &Conversation::finished, this,
            [this, command](const Outcome& outcome) { finished(command, outcome); }, Qt::QueuedConnection);
    connect(conversation, &CommandConversation::waitRanOut, this, [this, command] {
        if (command == m_command)
            waitRanOut();
    });
    conversation->start();
    if (conversation->isFinished()) {
        // The local port could not be bound.
        notSent(conversation->outcome());
        return false;
    }
    m_timer1 = {kReplyTimeoutMs, true};
    // The link sends on its next turn of the event loop; the command leaves now, before the
    // caller goes on (Init sends the read, then may open a dialog that replaces it).
    QCoreApplication::sendPostedEvents(&WindowLink(), QEvent::MetaCall);
    return true;
}

bool CommandExchange::RunAndWait(const QByteArray& datagram, qint16 op)
{
    m_gotAck = false;
    if (Send(datagram, op))
        WaitUntil([this] { return m_pendingOp == OpNone; });
    return m_gotAck;
}

bool CommandExchange::ProgramMac(const MacBytes& address)
{
    m_gotAck = false;
    endCommand();
    const std::optional<QHostAddress> device = deviceAddress();
    if (device && start(CommandConversation::ProgramMac(WindowLink(), *device, address), OpMacAddress))
        WaitUntil([this] { return m_pendingOp == OpNone; });
    return m_gotAck;
}

void CommandExchange::followStep()
{
    // MAC programming goes on with the restart command once the address is taken.
    if (m_pendingOp == OpMacAddress && m_conversation && m_conversation->step() == 1)
        m_pendingOp = OpMacRestart;
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
    followStep();
    if (m_bringToFront)
        m_bringToFront();
    tell(CommandWords({Outcome::Code::TimedOut, {}}, m_deviceIP));
}

void CommandExchange::finished(quint64 command, const Outcome& outcome)
{
    if (command != m_command)
        return;
    m_lock.reset(); // the command is over, however it ended
    m_timer1.Enabled = false;
    followStep();
    using Code = Outcome::Code;
    if (outcome.code == Code::TimedOut) {
        // Its box has been shown.
        m_pendingOp = OpNone;
        return;
    }
    if (outcome.code == Code::PortInUse || outcome.code == Code::SendFailed) {
        notSent(outcome);
        return;
    }
    m_timer1.Interval = 0;
    const std::optional<SettingsReply> reply = m_conversation ? m_conversation->reply() : std::nullopt;
    switch (outcome.code) {
    case Code::Accepted:
        accepted();
        return;
    case Code::Refused:
        tell(CommandWords(outcome, m_deviceIP));
        break;
    case Code::CorruptReply:
        // Only a reply long enough to be settings is a data error; the stored versions stay, so a
        // corrupted reply does not choose the layout of the next save.
        if (reply)
            tell(CommandWords(outcome, m_deviceIP));
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
        if (tell(SavedWords()) == MsgAnswer::Yes)
            Reboot();
    } else if (op == OpReboot) {
        tell(RebootingWords());
    } else if (op == OpMacAddress || op == OpMacRestart) {
        m_gotAck = true;
    }
}

void CommandExchange::notSent(const Outcome& outcome)
{
    // Without a datagram on its way there is nothing to wait for: say why now rather than let
    // the user sit through a time-out that could never have been met.
    m_timer1.Enabled = false;
    m_pendingOp = OpNone;
    endCommand();
    tell(CommandWords(outcome, m_deviceIP));
}

} // namespace brevion
