#include "engine/commandconversation.h"

#include "update/blockpacker.h"
#include "wire/wireformat.h"

namespace brevion {

CommandConversation::CommandConversation(DeviceLink& link, const QHostAddress& device, Kind kind,
                                         QByteArray datagram, QObject* parent)
    : Conversation(link, device, parent), m_kind(kind), m_datagram(std::move(datagram))
{
}

CommandConversation* CommandConversation::Read(DeviceLink& link, const QHostAddress& device, QObject* parent)
{
    return new CommandConversation(link, device, Kind::Read, ReadCommand(), parent);
}

CommandConversation* CommandConversation::Save(DeviceLink& link, const QHostAddress& device,
                                               const QByteArray& saveCommand, QObject* parent)
{
    return new CommandConversation(link, device, Kind::Save, saveCommand, parent);
}

CommandConversation* CommandConversation::Reboot(DeviceLink& link, const QHostAddress& device, QObject* parent)
{
    return new CommandConversation(link, device, Kind::Reboot, RebootCommand(), parent);
}

CommandConversation* CommandConversation::ProgramMac(DeviceLink& link, const QHostAddress& device,
                                                     const MacBytes& address, QObject* parent)
{
    return new CommandConversation(link, device, Kind::MacAddress, MacCommand(address), parent);
}

CommandConversation* CommandConversation::Command(DeviceLink& link, const QHostAddress& device, Kind kind,
                                                  const QByteArray& datagram, QObject* parent)
{
    return new CommandConversation(link, device, kind, datagram, parent);
}

void CommandConversation::begin() { request(m_datagram, kReplyWaitMs); }

void CommandConversation::replied(const QByteArray& reply)
{
    const char code = reply[1];
    if (code == wire::kRefused) {
        finish({Outcome::Code::Refused, {}});
    } else if (m_kind == Kind::Read) {
        readReplied(reply);
    } else if (code != wire::kAccepted) {
        finish({Outcome::Code::OtherReply, QStringLiteral("reply \"X%1\"").arg(QLatin1Char(code))});
    } else if (m_kind == Kind::MacAddress && m_step == 0) {
        // The address is taken; the restart makes it the device's own.
        m_step = 1;
        request(RestartCommand(), kReplyWaitMs);
    } else {
        finish({});
    }
}

bool CommandConversation::answers(const QByteArray& reply) const
{
    if (m_anyReplyEnds)
        return true;
    const char code = reply[1];
    return code == wire::kRefused || code == (m_kind == Kind::Read ? wire::kRead : wire::kAccepted);
}

void CommandConversation::readReplied(const QByteArray& reply)
{
    if (reply[1] != wire::kRead) {
        finish({Outcome::Code::OtherReply, QStringLiteral("reply \"X%1\"").arg(QLatin1Char(reply[1]))});
        return;
    }
    m_reply = DecodeSettingsReply(reply);
    if (!m_reply)
        finish({Outcome::Code::CorruptReply, QStringLiteral("The settings reply has %1 bytes.").arg(reply.size())});
    else if (!m_reply->checksumOk)
        finish({Outcome::Code::CorruptReply, {}});
    else
        finish({});
}

void CommandConversation::timedOut()
{
    const QPointer<CommandConversation> self(this);
    listenOn();
    emit waitRanOut();
    if (self && !isFinished())
        finish({Outcome::Code::TimedOut, {}});
}

} // namespace brevion
