#include "commandexchange.h"

#include "networksettings.h"
#include "waitloop.h"

namespace brevion {

namespace ExchangeMessages {

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
    return {QStringLiteral("Communications Error"),
            QStringLiteral("The device reported an error receiving the last command.") + kCrLf +
                QStringLiteral("Please try the last operation again.")};
}

Message TimedOut()
{
    return {QStringLiteral("Communications Error"),
            QStringLiteral("Timed out waiting for a response from the device.") + kCrLf +
                QStringLiteral("Please try the last operation again.")};
}

Message DataError()
{
    return {QStringLiteral("Error Reading Settings"),
            QStringLiteral("A data error was detected reading the device's current settings.") + kCrLf +
                QStringLiteral("Please click \"Read Settings\" to read them again.")};
}

} // namespace ExchangeMessages

CommandExchange::CommandExchange(QObject* parent) : QObject(parent)
{
    connect(&m_timer1, &Timer::Tick, this, &CommandExchange::Timer1_Timer);
    connect(&m_winsock1, &UdpPort::DataArrival, this, &CommandExchange::Winsock1_DataArrival);
}

void CommandExchange::SetDeviceIP(const QString& address)
{
    m_deviceIP = address;
}

MsgAnswer CommandExchange::tell(const Message& message)
{
    if (m_sink)
        return m_sink(message);
    // Nobody to ask: take the answer that changes nothing.
    return message.buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
}

bool CommandExchange::Send(const QByteArray& datagram, qint16 op)
{
    m_pendingOp = op;
    m_winsock1.Close();
    const NetworkSettings& network = Network();
    if (!m_winsock1.Bind(network.localPort)) {
        reportPortProblem(true);
        return false;
    }
    m_winsock1.SetRemote(m_deviceIP, network.devicePort);
    if (!m_winsock1.Send(datagram)) {
        reportPortProblem(false);
        return false;
    }
    m_timer1.setInterval(kReplyTimeoutMs);
    m_timer1.setEnabled(true);
    return true;
}

void CommandExchange::reportPortProblem(bool bindFailed)
{
    // Without a datagram on its way there is nothing to wait for: say why now rather than let
    // the user sit through a time-out that could never have been met.
    m_timer1.setEnabled(false);
    m_pendingOp = OpNone;
    const quint16 port = Network().localPort;
    QString text;
    if (bindFailed && m_winsock1.LastError() == PortError::AddressInUse) {
        text = QStringLiteral("The command could not be sent: local UDP port %1 is in use by another program.")
                   .arg(port) +
               kCrLf + QStringLiteral("Please close the program that uses this port and try again.");
    } else if (bindFailed) {
        text = QStringLiteral("The command could not be sent: local UDP port %1 could not be opened (%2).")
                   .arg(port)
                   .arg(m_winsock1.LastErrorString()) +
               kCrLf + QStringLiteral("Please try the last operation again.");
    } else {
        text = QStringLiteral("The command could not be sent to the device at %1 (%2).")
                   .arg(m_deviceIP, m_winsock1.LastErrorString()) +
               kCrLf + QStringLiteral("Please try the last operation again.");
    }
    m_winsock1.Close();
    tell(Message{QStringLiteral("Communications Error"), text});
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
    m_timer1.setEnabled(false);
    m_winsock1.Close();
}

void CommandExchange::Winsock1_DataArrival(const QByteArray& datagram, const QHostAddress& sender,
                                           quint16 senderPort)
{
    // Only the device being configured may answer; anything else is as if it never came.
    if (!m_winsock1.IsFromRemote(sender, senderPort))
        return;
    if (datagram.size() < 4 || datagram[0] != 'X' || m_pendingOp == OpNone)
        return;

    m_timer1.setEnabled(false);
    m_timer1.setInterval(0);
    m_winsock1.Close();

    switch (datagram[1]) {
    case 'Q':
        if (m_pendingOp == OpRead)
            decodeReply(datagram);
        m_pendingOp = OpNone;
        break;
    case 'A':
        switch (m_pendingOp) {
        case OpSave:
            m_pendingOp = OpNone;
            if (tell(ExchangeMessages::SaveConfirmation()) == MsgAnswer::Yes)
                Reboot();
            break;
        case OpReboot:
            m_pendingOp = OpNone;
            tell(ExchangeMessages::Rebooting());
            break;
        case OpMacAddress:
        case OpMacRestart:
            m_pendingOp = OpNone;
            m_gotAck = true;
            break;
        default:
            m_pendingOp = OpNone;
            break;
        }
        break;
    case 'N':
        // Cleared only once the box is closed: a reply delivered meanwhile still counts.
        tell(ExchangeMessages::DeviceError());
        m_pendingOp = OpNone;
        break;
    default:
        m_pendingOp = OpNone;
        break;
    }
}

void CommandExchange::decodeReply(const QByteArray& datagram)
{
    const std::optional<SettingsReply> reply = DecodeSettingsReply(datagram);
    if (!reply)
        return;
    if (!reply->checksumOk) {
        // The stored versions stay: a corrupted reply must not choose the layout of the next save.
        tell(ExchangeMessages::DataError());
        return;
    }
    SharedVersions() = reply->versions;
    emit SettingsRead(*reply);
}

void CommandExchange::Timer1_Timer()
{
    m_timer1.setEnabled(false);
    if (m_bringToFront)
        m_bringToFront();
    tell(ExchangeMessages::TimedOut());
    m_pendingOp = OpNone;
}

} // namespace brevion
