#pragma once

#include "deviceversions.h"
#include "message.h"
#include "timer.h"
#include "udpport.h"
#include "updatefile.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace brevion {

// The update conversation with one device: erase the firmware, program the update file block by
// block, restart, and after the erase and the restart wait until the device answers the read
// command again. Every command waits for its reply (stop-and-wait); the reply, or Timer1's
// one-shot time-out, ends each wait. Progress, status texts, message boxes and the beep leave
// through the sinks, so the conversation holds no widgets.
class UpdateExchange : public QObject {
    Q_OBJECT
public:
    // What UpdateOp awaits.
    enum Op : qint16 { OpNone = 0, OpRead = 3, OpErase = 4, OpBlock = 5, OpRestart = 6 };
    static constexpr int kEraseWaitMs = 4000;
    static constexpr int kBlockWaitMs = 4000;
    static constexpr int kBlockSends = 4;
    static constexpr int kRestartWaitMs = 2000;
    static constexpr int kReadWaitMs = 2000;
    static constexpr int kPauseMs = 2000;
    static constexpr int kAnimationMs = 100;

    struct Sinks {
        std::function<void(double maximum, double position)> progress;
        std::function<void(const QString&)> status;
        MessageSink message;
        std::function<void()> beep;
        std::function<void()> bringToFront;
    };

    explicit UpdateExchange(QObject* parent = nullptr);
    ~UpdateExchange() override;

    void SetSinks(Sinks sinks) { m_sinks = std::move(sinks); }
    // Seconds on a monotonic clock; tests may put a faster one in its place.
    void SetClock(std::function<double()> clock) { m_clock = std::move(clock); }

    QString DeviceIP() const { return m_deviceIP; }
    void SetDeviceIP(const QString& address);

    qint16 UpdateOp = OpNone;
    bool ReplyOK = false;
    float ProgressCount = 0;

    Timer& Timer1() { return m_timer1; }
    Timer& Timer2() { return m_timer2; }
    UdpPort& Winsock1() { return m_winsock1; }
    double ProgressMax() const { return m_progressMax; }
    double ProgressValue() const { return m_progressValue; }

    // The erase phase's bar maximum and wait for the device, by whether it has firmware now.
    static double EraseBarMaximum(bool firmwareErased) { return firmwareErased ? 4 : 25; }
    static float EraseWaitSeconds(bool firmwareErased) { return firmwareErased ? 4.0f : 30.0f; }

    // The three phases. EraseFirmware leaves ReplyOK true only when the erase was accepted and the
    // device answered again; ProgramFile sets failed when the phase was abandoned; RebootDevice
    // ends with the success text or a message.
    void EraseFirmware(bool firmwareErased);
    void WaitForDevice(float& seconds);
    void ProgramFile(const UpdateFile& file, bool& failed);
    // Sends the first count bytes of block with their checksum and waits for the acceptance.
    // False when a socket failure was reported and the user chose Cancel.
    bool SendBlock(const QByteArray& block, qint16 count);
    void RebootDevice();

    // Ends the conversation: timers off, socket closed. The local port, bound by the erase, is
    // held until then.
    void Close();

    // Abandons the update at once, from an event handler (the user insists on stopping): the wait
    // in progress ends, nothing more is sent and no phase message is shown; the phase returns
    // with ReplyOK false (ProgramFile: failed). The next EraseFirmware starts afresh.
    void Stop();
    bool Stopped() const { return m_stopped; }

    void Winsock1_DataArrival(const QByteArray& datagram, const QHostAddress& sender, quint16 senderPort);
    void Timer1_Timer();
    void Timer2_Timer();

private:
    bool sendCommand(const QByteArray& datagram, qint16 op);
    bool portInUse();
    void timer1Wait(int ms);
    void setProgress(double maximum, double position);
    void setStatus(const QString& text);
    MsgAnswer tell(const Message& message);
    void toFront();

    Sinks m_sinks;
    std::function<double()> m_clock;
    QString m_deviceIP;
    bool m_stopped = false;
    double m_progressMax = 100;
    double m_progressValue = 0;
    Timer m_timer1;
    Timer m_timer2;
    UdpPort m_winsock1;
};

// The texts the conversation shows.
namespace UpdateTexts {
inline const QString kErasing = QStringLiteral("Erasing Firmware . . .");
inline const QString kProgramming = QStringLiteral("Programming Firmware . . .");
inline const QString kRebooting = QStringLiteral("Rebooting device . . .");
inline const QString kCompleted = QStringLiteral("Update was completed successfully.");
Message DeviceError();
Message EraseTimedOut();
Message NoAnswerAfterErase();
Message ProgramFailed();
Message RebootTimedOut();
Message PortInUse(quint16 port);
Message FileError(const UpdateFileError& error);
// After a confirmed restart: the device reports another version of the part that was updated
// than the update file carries. Nothing when they agree.
std::optional<Message> VersionNotTaken(bool bootloader, qint32 fileVersion, const DeviceVersions& reported);
} // namespace UpdateTexts

} // namespace brevion
