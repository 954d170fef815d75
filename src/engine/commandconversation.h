#pragma once

#include "engine/conversation.h"
#include "config/maccommand.h"
#include "config/settingsrecord.h"

#include <optional>

namespace brevion {

// One command of the configuration exchange: read the settings ("XQ"), save them ("XS"),
// restart ("XB"), or program a MAC address ("XM", then the restart command "XP BD"). Each
// datagram waits up to two seconds for its reply and is not repeated.
//
//   reply   Read                          Save, Reboot, MAC
//   "Q"     Accepted, or CorruptReply     OtherReply
//   "A"     OtherReply                    Accepted (MAC: after both commands)
//   "N"     Refused                       Refused
//   other   OtherReply                    OtherReply
//   none    TimedOut                      TimedOut
//
// A read that ends CorruptReply holds the decoded reply (checksumOk false) when it was at least
// 64 bytes long, and no reply when it was shorter.
class CommandConversation : public Conversation {
    Q_OBJECT
public:
    enum class Kind { Read, Save, Reboot, MacAddress };
    static constexpr int kReplyWaitMs = 2000;

    static CommandConversation* Read(DeviceLink& link, const QHostAddress& device, QObject* parent = nullptr);
    // saveCommand: the whole "XS" datagram (BuildSaveCommand).
    static CommandConversation* Save(DeviceLink& link, const QHostAddress& device, const QByteArray& saveCommand,
                                     QObject* parent = nullptr);
    static CommandConversation* Reboot(DeviceLink& link, const QHostAddress& device, QObject* parent = nullptr);
    static CommandConversation* ProgramMac(DeviceLink& link, const QHostAddress& device, const MacBytes& address,
                                           QObject* parent = nullptr);
    // Any other command datagram, its reply judged as for kind (Read: a settings reply, Save and
    // Reboot: "A"; MacAddress also sends the restart command after the first "A").
    static CommandConversation* Command(DeviceLink& link, const QHostAddress& device, Kind kind,
                                        const QByteArray& datagram, QObject* parent = nullptr);

    // Whether every reply ends the wait, also one that cannot answer the command ("Q" to a save,
    // "A" to a read): it then finishes OtherReply. The configuration window works so; off by
    // default.
    void setAnyReplyEnds(bool on) { m_anyReplyEnds = on; }

    Kind kind() const { return m_kind; }
    // The settings reply of a read (see above).
    const std::optional<SettingsReply>& reply() const { return m_reply; }
    // MAC programming: 0 while the MAC command is under way, 1 for the restart command.
    int step() const { return m_step; }

signals:
    // The reply wait ran out; the conversation finishes TimedOut when the handlers return. While
    // they run (a message box) a reply still answers the command, and the conversation finishes
    // with that reply's outcome instead.
    void waitRanOut();

protected:
    void begin() override;
    void replied(const QByteArray& reply) override;
    bool answers(const QByteArray& reply) const override;
    void timedOut() override;

private:
    CommandConversation(DeviceLink& link, const QHostAddress& device, Kind kind, QByteArray datagram,
                        QObject* parent);
    void readReplied(const QByteArray& reply);

    Kind m_kind;
    QByteArray m_datagram;
    int m_step = 0;
    bool m_anyReplyEnds = false;
    std::optional<SettingsReply> m_reply;
};

} // namespace brevion
