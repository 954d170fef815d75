#include "updateexchange.h"

#include "blockpacker.h"
#include "clock.h"
#include "deviceversions.h"
#include "networksettings.h"
#include "settingsrecord.h"
#include "updatelist.h"
#include "waitloop.h"

#include <QCoreApplication>

namespace brevion {

namespace UpdateTexts {

namespace {
const QString kTitle = QStringLiteral("Communications Error");
}

Message DeviceError()
{
    return {kTitle, QStringLiteral("The device reported an error receiving the last command.") + kCrLf +
                        QStringLiteral("Please try the last operation again.")};
}

Message EraseTimedOut()
{
    return {kTitle, QStringLiteral("Timed out waiting for the device to erase.") + kCrLf +
                        QStringLiteral("Return to the previous window and click \"Read Settings\" to see if it was erased.")};
}

Message NoAnswerAfterErase()
{
    return {kTitle, QStringLiteral("Timed out waiting for a response from the device.") + kCrLf +
                        QStringLiteral("Return to the previous window and try again.")};
}

Message ProgramFailed()
{
    return {kTitle, QStringLiteral("Timed out waiting for a response from the device.") + kCrLf +
                        QStringLiteral("The device failed to program completely.") + kCrLf +
                        QStringLiteral("Return to the previous window and try again.")};
}

Message RebootTimedOut()
{
    return {kTitle, QStringLiteral("Timed out waiting for the device to reboot.") + kCrLf +
                        QStringLiteral("It may or may not have rebooted.") + kCrLf +
                        QStringLiteral("Allow several seconds for it to reboot and try to \"Find\" it again.")};
}

Message PortInUse(quint16 port)
{
    return {kTitle, QStringLiteral("The command could not be sent: local UDP port %1 is in use by another program.")
                            .arg(port) +
                        kCrLf + QStringLiteral("Please close the program that uses this port and try again.")};
}

Message FileError(const UpdateFileError& error)
{
    return {QStringLiteral("Update File Error"), QStringLiteral("%1 %2").arg(error.number).arg(error.description),
            MsgButtons::RetryCancel};
}

std::optional<Message> VersionNotTaken(bool bootloader, qint32 fileVersion, const DeviceVersions& reported)
{
    const qint32 expected = fileVersion & 0xFFFFFF;
    const qint32 now = bootloader ? reported.BootVersion : reported.FirmVersion;
    if (now == expected)
        return std::nullopt;
    const QString part = bootloader ? QStringLiteral("bootloader") : QStringLiteral("firmware");
    const QString shown = !bootloader && now == 0 ? QStringLiteral("no firmware (Erased)")
                                                  : QStringLiteral("%1 version %2").arg(part, VersionText(now));
    return Message{QStringLiteral("Update Firmware"),
                   QStringLiteral("After the restart the device reports %1, not version %2 of the update file.")
                           .arg(shown, VersionText(expected)) +
                       kCrLf + QStringLiteral("The update did not take effect: run it again, or use another update file."),
                   MsgButtons::Ok, MsgIcon::Exclamation};
}

} // namespace UpdateTexts

UpdateExchange::UpdateExchange(QObject* parent) : QObject(parent), m_clock(&MonotonicSeconds)
{
    m_timer2.setInterval(kAnimationMs);
    connect(&m_timer1, &Timer::Tick, this, &UpdateExchange::Timer1_Timer);
    connect(&m_timer2, &Timer::Tick, this, &UpdateExchange::Timer2_Timer);
    connect(&m_winsock1, &UdpPort::DataArrival, this, &UpdateExchange::Winsock1_DataArrival);
}

UpdateExchange::~UpdateExchange() { Close(); }

void UpdateExchange::SetDeviceIP(const QString& address)
{
    m_deviceIP = address;
}

void UpdateExchange::Close()
{
    m_timer1.setEnabled(false);
    m_timer2.setEnabled(false);
    m_winsock1.Close();
}

void UpdateExchange::Stop()
{
    m_stopped = true;
    UpdateOp = OpNone;
    ReplyOK = false;
    m_timer1.setEnabled(false); // ends the wait in progress
    m_timer2.setEnabled(false);
}

MsgAnswer UpdateExchange::tell(const Message& message)
{
    // Once stopped, the caller tells what state the device is in; no phase message follows.
    if (m_stopped)
        return message.buttons == MsgButtons::RetryCancel ? MsgAnswer::Cancel : MsgAnswer::Ok;
    return m_sinks.message ? m_sinks.message(message)
                           : (message.buttons == MsgButtons::RetryCancel ? MsgAnswer::Cancel : MsgAnswer::Ok);
}

void UpdateExchange::toFront()
{
    if (m_sinks.bringToFront)
        m_sinks.bringToFront();
}

void UpdateExchange::setStatus(const QString& text)
{
    if (m_sinks.status)
        m_sinks.status(text);
}

void UpdateExchange::setProgress(double maximum, double position)
{
    m_progressMax = maximum;
    m_progressValue = position;
    if (m_sinks.progress)
        m_sinks.progress(maximum, position);
}

bool UpdateExchange::sendCommand(const QByteArray& datagram, qint16 op)
{
    UpdateOp = op;
    // The port is bound once and held until Close: were it let go in the pauses after the erase
    // and the restart, another program could take it and leave the device erased.
    if (m_winsock1.IsBound())
        m_winsock1.DiscardPending();
    else if (!m_winsock1.Bind(Network().localPort))
        return false;
    m_winsock1.SetRemote(m_deviceIP, Network().devicePort);
    return m_winsock1.Send(datagram);
}

bool UpdateExchange::portInUse()
{
    // Another program holds the local port: say so now, once, instead of timing out.
    if (m_winsock1.LastError() != PortError::AddressInUse)
        return false;
    toFront();
    tell(UpdateTexts::PortInUse(Network().localPort));
    return true;
}

void UpdateExchange::timer1Wait(int ms)
{
    m_timer1.setEnabled(false);
    m_timer1.setInterval(ms);
    m_timer1.setEnabled(true);
    ReplyOK = false;
    WaitUntil([this] { return !m_timer1.Enabled() || ReplyOK; });
}

void UpdateExchange::Timer1_Timer() { m_timer1.setEnabled(false); }

void UpdateExchange::Timer2_Timer()
{
    ProgressCount += 0.1f;
    setProgress(m_progressMax, ProgressCount < m_progressMax ? ProgressCount : m_progressMax);
}

void UpdateExchange::EraseFirmware(bool firmwareErased)
{
    m_stopped = false;
    setStatus(UpdateTexts::kErasing);
    ProgressCount = 0;
    setProgress(EraseBarMaximum(firmwareErased), 0);
    m_timer2.setEnabled(true);

    if (!sendCommand(EraseCommand(), OpErase) && portInUse()) {
        // Nothing was sent: no time-out to sit through, and nothing was erased.
        UpdateOp = OpNone;
        ReplyOK = false;
        m_timer2.setEnabled(false);
        return;
    }
    timer1Wait(kEraseWaitMs); // any other refused send shows as the time-out below

    if (m_stopped)
        return;
    if (ReplyOK) {
        float seconds = EraseWaitSeconds(firmwareErased);
        WaitForDevice(seconds);
        if (!ReplyOK) {
            setProgress(m_progressMax, m_progressMax);
            toFront();
            tell(UpdateTexts::NoAnswerAfterErase());
        }
    } else {
        m_timer1.setEnabled(false);
        m_timer2.setEnabled(false);
        toFront();
        tell(UpdateTexts::EraseTimedOut());
    }
}

void UpdateExchange::WaitForDevice(float& seconds)
{
    // A pause in which the device is left alone while it starts.
    m_timer1.setEnabled(false);
    m_timer1.setInterval(kPauseMs);
    m_timer1.setEnabled(true);
    WaitUntil([this] { return !m_timer1.Enabled(); });

    const double deadline = m_clock() + seconds;
    while (!m_stopped) {
        if (!sendCommand(ReadCommand(), OpRead) && portInUse()) {
            UpdateOp = OpNone;
            ReplyOK = false;
            break;
        }
        timer1Wait(kReadWaitMs);
        if (ReplyOK || m_clock() > deadline)
            break;
    }

    m_timer1.setEnabled(false);
    m_timer2.setEnabled(false);
}

void UpdateExchange::ProgramFile(const UpdateFile& file, bool& failed)
{
    setStatus(UpdateTexts::kProgramming);
    const double total = file.header.TotalBytes;
    setProgress(total, 0);
    qint64 done = 0;

    for (const Block& block : PackBlocks(file)) {
        QCoreApplication::processEvents(); // keeps the window painted; never blocks
        const QByteArray body = BlockBody(block);
        int sends = 0;
        do {
            if (!SendBlock(body, static_cast<qint16>(body.size()))) {
                m_timer1.setEnabled(false);
                m_timer2.setEnabled(false);
                failed = true;
                return;
            }
        } while (!ReplyOK && !m_stopped && ++sends < kBlockSends);

        if (m_stopped) {
            failed = true;
            return;
        }
        if (!ReplyOK) {
            m_timer1.setEnabled(false);
            m_timer2.setEnabled(false);
            toFront();
            tell(UpdateTexts::ProgramFailed());
            failed = true;
            return;
        }
        done += block.data.size();
        setProgress(total, static_cast<double>(done));
    }

    m_timer1.setEnabled(false);
    m_timer2.setEnabled(false);
    setProgress(total, total);
    if (m_sinks.beep)
        m_sinks.beep();
}

bool UpdateExchange::SendBlock(const QByteArray& block, qint16 count)
{
    const QByteArray datagram = WithCommandChecksum(block.left(count));
    while (!sendCommand(datagram, OpBlock)) {
        UpdateOp = OpNone;
        const bool inUse = m_winsock1.LastError() == PortError::AddressInUse;
        const UpdateFileError error{static_cast<int>(m_winsock1.LastError()),
                                    inUse ? QStringLiteral("Local UDP port %1 is in use by another program.")
                                                .arg(Network().localPort)
                                          : m_winsock1.LastErrorString()};
        if (tell(UpdateTexts::FileError(error)) != MsgAnswer::Retry)
            return false;
    }
    timer1Wait(kBlockWaitMs);
    m_timer1.setEnabled(false);
    return true;
}

void UpdateExchange::RebootDevice()
{
    setStatus(UpdateTexts::kRebooting);
    ProgressCount = 0;
    setProgress(27, 0);
    m_timer2.setEnabled(true);

    // Accepted or not, the device restarts; the wait ends at the first reply or after 2 s.
    if (!sendCommand(RestartCommand(), OpRestart) && portInUse()) {
        UpdateOp = OpNone;
        ReplyOK = false;
        m_timer2.setEnabled(false);
        return;
    }
    m_timer1.setEnabled(false);
    m_timer1.setInterval(kRestartWaitMs);
    m_timer1.setEnabled(true);
    ReplyOK = false;
    WaitUntil([this] { return !m_timer1.Enabled(); });

    m_timer1.setEnabled(false);
    float seconds = 25;
    if (!m_stopped)
        WaitForDevice(seconds);

    m_timer1.setEnabled(false);
    m_timer2.setEnabled(false);
    if (m_stopped)
        return;
    setProgress(m_progressMax, m_progressMax);
    if (ReplyOK) {
        setStatus(UpdateTexts::kCompleted);
    } else {
        toFront();
        tell(UpdateTexts::RebootTimedOut());
    }
}

void UpdateExchange::Winsock1_DataArrival(const QByteArray& datagram, const QHostAddress& sender, quint16 senderPort)
{
    // Only the device being updated is listened to.
    if (!m_winsock1.IsFromRemote(sender, senderPort))
        return;
    if (datagram.size() < 4 || datagram[0] != 'X' || UpdateOp == OpNone)
        return;
    m_timer1.setEnabled(false);
    m_timer1.setInterval(0);

    switch (datagram[1]) {
    case 'Q': {
        if (UpdateOp != OpRead) {
            UpdateOp = OpNone;
            break;
        }
        UpdateOp = OpNone;
        // Accepted only at the full length of the layout its own versions select, with its
        // checksum; only then do its versions replace the shared ones.
        const std::optional<SettingsReply> reply = DecodeSettingsReply(datagram);
        if (reply && reply->checksumOk) {
            SharedVersions() = reply->versions;
            ReplyOK = true;
        }
        break;
    }
    case 'A':
        if (UpdateOp == OpErase || UpdateOp == OpBlock || UpdateOp == OpRestart)
            ReplyOK = true;
        UpdateOp = OpNone;
        break;
    case 'N':
        tell(UpdateTexts::DeviceError());
        UpdateOp = OpNone;
        break;
    default:
        UpdateOp = OpNone;
        break;
    }
}

} // namespace brevion
