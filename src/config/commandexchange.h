#pragma once

#include "message.h"
#include "settingsrecord.h"
#include "timer.h"
#include "udpport.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <functional>

namespace brevion {

// The command-and-reply conversation with one device: one command at a time, each waiting up to
// two seconds for its reply. A command records what it awaits in PendingOp and starts Timer1; the
// first acceptable reply or the time-out ends the wait. Outcomes reach the user through the
// message sink; an accepted settings reply is reported by SettingsRead.
class CommandExchange : public QObject {
    Q_OBJECT
public:
    // What a command waits for.
    enum Op : qint16 { OpNone = 0, OpSave = 1, OpReboot = 2, OpRead = 3, OpMacAddress = 4, OpMacRestart = 5 };
    static constexpr int kReplyTimeoutMs = 2000;

    explicit CommandExchange(QObject* parent = nullptr);

    void SetMessageSink(MessageSink sink) { m_sink = std::move(sink); }
    // Called just before the time-out message, so that the user sees which window it is about.
    void SetBringToFront(std::function<void()> bringToFront) { m_bringToFront = std::move(bringToFront); }

    QString DeviceIP() const { return m_deviceIP; }
    void SetDeviceIP(const QString& address);
    qint16 PendingOp() const { return m_pendingOp; }
    // Puts the exchange into the waiting state without sending anything (tests and fuzzing of
    // the reply handling).
    void SetPendingOp(qint16 op) { m_pendingOp = op; }
    bool GotAck() const { return m_gotAck; }
    void SetGotAck(bool value) { m_gotAck = value; }
    Timer& Timer1() { return m_timer1; }
    UdpPort& Winsock1() { return m_winsock1; }

    // Sends a command and waits for its reply in the background: the reply or the time-out ends
    // the wait later. A command sent while another is pending replaces it. Returns false when the
    // datagram could not be sent (the user has been told; nothing is pending).
    bool Send(const QByteArray& datagram, qint16 op);
    bool Read() { return Send(ReadCommand(), OpRead); }
    bool Reboot() { return Send(RebootCommand(), OpReboot); }
    bool Save(const QByteArray& saveCommand) { return Send(saveCommand, OpSave); }

    // Sends a command and processes events until nothing is pending any more. Returns GotAck
    // (cleared before sending), which only "A" replies to the MAC programming commands set.
    bool RunAndWait(const QByteArray& datagram, qint16 op);

    // Ends the conversation: the timer stops and the socket closes; later replies are never seen.
    void Close();

    // The handlers of a received datagram and of the reply time-out.
    void Winsock1_DataArrival(const QByteArray& datagram, const QHostAddress& sender, quint16 senderPort);
    void Timer1_Timer();

signals:
    // A settings reply with a good checksum arrived for a pending read; SharedVersions() already
    // holds its versions.
    void SettingsRead(const brevion::SettingsReply& reply);

private:
    MsgAnswer tell(const Message& message);
    void decodeReply(const QByteArray& datagram);
    void reportPortProblem(bool bindFailed);

    MessageSink m_sink;
    std::function<void()> m_bringToFront;
    QString m_deviceIP;
    qint16 m_pendingOp = OpNone;
    bool m_gotAck = false;
    Timer m_timer1;
    UdpPort m_winsock1;
};

// The texts of the exchange's message boxes.
namespace ExchangeMessages {
Message SaveConfirmation();
Message Rebooting();
Message DeviceError();
Message TimedOut();
Message DataError();
} // namespace ExchangeMessages

} // namespace brevion
