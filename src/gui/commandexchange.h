#pragma once

#include "engine/commandconversation.h"
#include "ui/message.h"
#include "config/settingsrecord.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

namespace brevion {

class BridgeLock;
class DeviceLink;

// The configuration window's side of the command-and-reply conversation with one device: one
// command at a time, each a CommandConversation over a DeviceLink of its own that holds the
// local port only while the command needs it. The command records what it awaits in PendingOp;
// its outcome becomes the window's message boxes, GotAck and SettingsRead. An accepted reply
// closes the port at once; after a time-out it stays bound until the next command or Close. A
// save or MAC command keeps every other program away from the device until its outcome.
class CommandExchange : public QObject {
    Q_OBJECT
public:
    // What a command waits for.
    enum Op : qint16 { OpNone = 0, OpSave = 1, OpReboot = 2, OpRead = 3, OpMacAddress = 4, OpMacRestart = 5 };
    static constexpr int kReplyTimeoutMs = CommandConversation::kReplyWaitMs;

    // The reply wait as a window timer shows it: interval 2000 and enabled while a command waits;
    // disabled after its end, interval 0 after a reply and 2000 after a time-out.
    struct ReplyTimer {
        int Interval = 0;
        bool Enabled = false;
    };

    explicit CommandExchange(QObject* parent = nullptr);
    ~CommandExchange() override;

    void SetMessageSink(MessageSink sink) { m_sink = std::move(sink); }
    // Called just before the time-out message, so that the user sees which window it is about.
    void SetBringToFront(std::function<void()> bringToFront) { m_bringToFront = std::move(bringToFront); }

    QString DeviceIP() const { return m_deviceIP; }
    void SetDeviceIP(const QString& address) { m_deviceIP = address; }
    qint16 PendingOp() const { return m_pendingOp; }
    bool GotAck() const { return m_gotAck; }
    const ReplyTimer& Timer1() const { return m_timer1; }
    // The link of the last command while it holds the local port, else null.
    DeviceLink* Link() const { return m_link.get(); }

    // Sends a command and returns at once; its outcome arrives later. A command sent while
    // another is pending replaces it. op says how the reply is judged: OpRead wants a settings
    // reply, every other op an "A". Returns false when the local port could not be opened (the
    // user has been told; nothing is pending).
    bool Send(const QByteArray& datagram, qint16 op);
    bool Read() { return Send(ReadCommand(), OpRead); }
    bool Reboot() { return Send(RebootCommand(), OpReboot); }
    bool Save(const QByteArray& saveCommand) { return Send(saveCommand, OpSave); }

    // Sends a command and processes events until nothing is pending any more. Returns GotAck
    // (cleared before sending), which only "A" replies to the MAC programming commands set.
    bool RunAndWait(const QByteArray& datagram, qint16 op);

    // Ends the conversation and frees the local port; later replies are never seen.
    void Close();

signals:
    // A settings reply with a good checksum arrived for a pending read; SharedVersions() already
    // holds its versions.
    void SettingsRead(const brevion::SettingsReply& reply);

private:
    MsgAnswer tell(const Message& message);
    void finished(quint64 command, const Outcome& outcome);
    void accepted();
    void waitRanOut();
    void notSent(const Outcome& outcome);
    void endCommand();

    MessageSink m_sink;
    std::function<void()> m_bringToFront;
    QString m_deviceIP;
    qint16 m_pendingOp = OpNone;
    bool m_gotAck = false;
    ReplyTimer m_timer1;
    std::unique_ptr<DeviceLink> m_link;
    std::unique_ptr<BridgeLock> m_lock; // while a save or MAC command is under way
    QPointer<CommandConversation> m_conversation;
    quint64 m_command = 0; // counts commands: outcomes of replaced ones are not heard
};

// The texts of the exchange's message boxes.
namespace ExchangeMessages {
Message SaveConfirmation();
Message Rebooting();
Message DeviceError();
Message TimedOut();
Message DataError();
// Another program updates or configures the device (refusal: the lock's words).
Message InUse(const QString& refusal);
// Why a command could not leave: the local port held by another program or by this one (a
// command still waiting for its reply), the port not opened, or the datagram not sent.
Message NotSent(const Outcome& outcome, quint16 localPort, bool heldHere, const QString& device);
} // namespace ExchangeMessages

} // namespace brevion
