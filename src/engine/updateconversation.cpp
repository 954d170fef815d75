#include "engine/updateconversation.h"

#include "config/settingsrecord.h"
#include "wire/wireformat.h"

#include <utility>

namespace brevion {

UpdateConversation::UpdateConversation(DeviceLink& link, const QHostAddress& device, const UpdateFile& file,
                                       Target target, bool firmwareErased, QObject* parent)
    : Conversation(link, device, parent), m_file(file), m_target(target), m_firmwareErased(firmwareErased),
      m_blocks(PackBlocks(file))
{
}

void UpdateConversation::enterPhase(Phase phase)
{
    m_phase = phase;
    emit phaseChanged(phase);
}

void UpdateConversation::begin()
{
    m_clock.start();
    enterPhase(Phase::Erase);
    request(EraseCommand(), m_timings.eraseWaitMs);
}

void UpdateConversation::replied(const QByteArray& reply)
{
    const char code = reply[1];
    if (code == wire::kRefused)
        emit refused();
    switch (m_phase) {
    case Phase::Erase:
        if (code == wire::kAccepted)
            startWaiting(m_firmwareErased ? m_timings.afterEraseErasedMs : m_timings.afterEraseMs);
        else
            finish({code == wire::kRefused ? Outcome::Code::Refused : Outcome::Code::OtherReply, {}});
        break;
    case Phase::Program:
        if (code == wire::kAccepted) {
            m_done += m_blocks[m_block].data.size();
            emit progress(m_done, totalBytes());
            ++m_block;
            m_sends = 0;
            sendBlock();
        } else {
            blockUnanswered(code == wire::kRefused);
        }
        break;
    case Phase::Restart:
        // Accepted or not, the device restarts.
        startWaiting(m_timings.afterRestartMs);
        break;
    case Phase::WaitAfterErase:
    case Phase::WaitAfterRestart:
        readReplied(reply);
        break;
    case Phase::Done:
        break;
    }
}

void UpdateConversation::timedOut()
{
    switch (m_phase) {
    case Phase::Erase:
        finish({Outcome::Code::TimedOut, QStringLiteral("The device did not confirm the erase.")});
        break;
    case Phase::Program:
        if (!m_sendFailure.isEmpty()) {
            const QString detail = std::exchange(m_sendFailure, QString());
            if (m_askRetry(detail))
                request(BlockCommand(m_blocks[m_block]), m_timings.blockWaitMs); // not counted as a send
            else
                finish({Outcome::Code::SendFailed, detail});
            break;
        }
        blockUnanswered(false);
        break;
    case Phase::Restart:
        startWaiting(m_timings.afterRestartMs);
        break;
    case Phase::WaitAfterErase:
    case Phase::WaitAfterRestart:
        if (m_step == WaitStep::Pausing) {
            m_deadlineMs = m_clock.elapsed() + m_waitForMs;
            sendRead();
        } else if (m_step == WaitStep::Spacing) {
            sendRead();
        } else {
            readUnanswered();
        }
        break;
    case Phase::Done:
        break;
    }
}

void UpdateConversation::sendFailed(const QString& detail)
{
    if (m_phase != Phase::Program || !m_askRetry) {
        Conversation::sendFailed(detail);
        return;
    }
    // Asked on the next turn, outside the link's sending.
    m_sendFailure = detail.isEmpty() ? QStringLiteral("The block could not be sent.") : detail;
    pause(0);
}

void UpdateConversation::sendBlock()
{
    if (m_block >= m_blocks.size()) {
        enterPhase(Phase::Restart);
        request(RestartCommand(), m_timings.restartWaitMs);
        return;
    }
    if (m_block == 0 && m_sends == 0)
        enterPhase(Phase::Program);
    ++m_sends;
    request(BlockCommand(m_blocks[m_block]), m_timings.blockWaitMs);
}

void UpdateConversation::blockUnanswered(bool refusedNow)
{
    if (m_sends < m_timings.blockSends) {
        sendBlock();
        return;
    }
    finish({refusedNow ? Outcome::Code::Refused : Outcome::Code::TimedOut,
            QStringLiteral("The block at 0x%1 was not accepted after %2 sends; the device failed to program "
                           "completely.")
                .arg(quint32(m_blocks[m_block].address), 0, 16)
                .arg(m_sends)});
}

void UpdateConversation::startWaiting(int forMs)
{
    // The device is left alone while it starts; then it is asked until it answers or the time
    // is up. The deadline counts from the end of the pause.
    enterPhase(m_phase == Phase::Erase ? Phase::WaitAfterErase : Phase::WaitAfterRestart);
    m_step = WaitStep::Pausing;
    m_waitForMs = forMs;
    pause(m_timings.pauseMs);
}

void UpdateConversation::sendRead()
{
    m_step = WaitStep::Asking;
    m_tryStartedMs = m_clock.elapsed();
    request(ReadCommand(), m_timings.readWaitMs);
}

void UpdateConversation::readUnanswered()
{
    // The device is asked once per try's length: a try that a wrong reply ended early waits
    // out the rest of it, so a device that answers garbage is not flooded with reads.
    const qint64 now = m_clock.elapsed();
    if (now <= m_deadlineMs) {
        const qint64 left = m_tryStartedMs + m_timings.readWaitMs - now;
        if (left > 0) {
            m_step = WaitStep::Spacing;
            pause(int(left));
        } else {
            sendRead();
        }
        return;
    }
    finish({Outcome::Code::TimedOut, m_phase == Phase::WaitAfterErase
                                         ? QStringLiteral("The device did not answer after the erase.")
                                         : QStringLiteral("The device did not answer after its restart.")});
}

void UpdateConversation::readReplied(const QByteArray& reply)
{
    if (reply[1] == wire::kRead) {
        const std::optional<SettingsReply> settings = DecodeSettingsReply(reply);
        if (settings && settings->checksumOk) {
            m_versions = settings->versions;
            if (m_phase == Phase::WaitAfterErase) {
                m_sends = 0;
                sendBlock();
            } else {
                cameBack();
            }
            return;
        }
    }
    readUnanswered();
}

void UpdateConversation::cameBack()
{
    const qint32 reported = m_target == Target::Firmware ? m_versions->FirmVersion : m_versions->BootVersion;
    enterPhase(Phase::Done);
    // A device reports three version bytes; the file's bits above them are not part of the version.
    if (reported == VersionNumber(m_file.header.Version)) {
        finish({});
        return;
    }
    finish({Outcome::Code::VersionMismatch,
            QStringLiteral("The device reports %1 %2, the update file holds %3.")
                .arg(m_target == Target::Firmware ? QStringLiteral("firmware") : QStringLiteral("bootloader"),
                     reported == 0 && m_target == Target::Firmware ? QStringLiteral("Erased") : VersionText(reported),
                     VersionText(m_file.header.Version))});
}

} // namespace brevion
