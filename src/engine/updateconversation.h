#pragma once

#include "engine/conversation.h"
#include "config/deviceversions.h"
#include "update/blockpacker.h"
#include "update/updatefile.h"

#include <QElapsedTimer>

#include <functional>
#include <optional>
#include <vector>

namespace brevion {

// The whole update of one device, stop-and-wait:
//
//   Erase             "XP E7", up to 4 s for its "A"
//   WaitAfterErase    2 s pause, then "XQ" once every 2 s (a try ends at the first reply) until
//                     a settings reply with a good checksum, for 4 s (firmware erased before) or 30 s
//   Program           each block up to 4 sends, each up to 4 s for its "A"
//   Restart           "XP BD", up to 2 s; its answer does not matter
//   WaitAfterRestart  2 s pause, then "XQ" as above for 25 s
//
// then the version the device reports (firmware: FirmVersion; bootloader: BootVersion) is
// compared with the file's Version. Any reply ends a wait; "N" also emits refused() and counts as
// no answer. Outcomes, with phase() telling where the update ended:
//   Accepted         the device came back with the file's version
//   VersionMismatch  it came back with another one (versions() holds what it reports)
//   TimedOut         no acceptance in time: erase, a block, or the device not coming back
//   Refused          the erase, or a block's last send, was answered "N"
//   OtherReply       the erase was answered with something other than "A" or "N"
//   SendFailed, PortInUse, Cancelled
class UpdateConversation : public Conversation {
    Q_OBJECT
public:
    enum class Phase { Erase, WaitAfterErase, Program, Restart, WaitAfterRestart, Done };
    enum class Target { Firmware, Bootloader };

    // The waits of the update; the defaults are the device's. Tests and benchmarks shorten them.
    struct Timings {
        int eraseWaitMs = 4000;
        int blockWaitMs = 4000;
        int blockSends = 4;
        int restartWaitMs = 2000;
        int readWaitMs = 2000;
        int pauseMs = 2000;
        int afterEraseMs = 30000;       // firmware present before the erase
        int afterEraseErasedMs = 4000;  // firmware already erased
        int afterRestartMs = 25000;
    };

    // firmwareErased: the device reported no firmware before the update.
    UpdateConversation(DeviceLink& link, const QHostAddress& device, const UpdateFile& file, Target target,
                       bool firmwareErased, QObject* parent = nullptr);

    void setTimings(const Timings& timings) { m_timings = timings; }
    // Asked, on a turn of its own, when a block cannot leave (the system refused the send): true
    // sends the same block again, false ends the update SendFailed. Without it the update ends.
    void setRetryOnSendFailure(std::function<bool(const QString& detail)> ask) { m_askRetry = std::move(ask); }
    Phase phase() const { return m_phase; }
    // From the last settings reply accepted while waiting for the device.
    std::optional<DeviceVersions> versions() const { return m_versions; }
    qint64 bytesDone() const { return m_done; }
    qint64 totalBytes() const { return m_file.header.TotalBytes; }
    int blockCount() const { return static_cast<int>(m_blocks.size()); }

signals:
    void phaseChanged(brevion::UpdateConversation::Phase phase);
    // Data bytes the device has accepted, of totalBytes().
    void progress(qint64 done, qint64 total);
    void refused();

protected:
    void begin() override;
    void replied(const QByteArray& reply) override;
    void timedOut() override;
    void sendFailed(const QString& detail) override;

private:
    void enterPhase(Phase phase);
    void sendBlock();
    void blockUnanswered(bool refusedNow);
    void startWaiting(int forMs);
    void sendRead();
    void readUnanswered();
    void readReplied(const QByteArray& reply);
    void cameBack();

    UpdateFile m_file;
    Target m_target;
    bool m_firmwareErased;
    Timings m_timings;
    std::vector<Block> m_blocks;
    Phase m_phase = Phase::Erase;
    size_t m_block = 0;
    int m_sends = 0;
    qint64 m_done = 0;
    enum class WaitStep { Pausing, Asking, Spacing } m_step = WaitStep::Pausing;
    qint64 m_tryStartedMs = 0;
    QElapsedTimer m_clock;
    int m_waitForMs = 0;
    qint64 m_deadlineMs = 0;
    std::optional<DeviceVersions> m_versions;
    std::function<bool(const QString&)> m_askRetry;
    QString m_sendFailure; // of the block in flight, until asked about
};

} // namespace brevion

Q_DECLARE_METATYPE(brevion::UpdateConversation::Phase)
