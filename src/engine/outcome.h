#pragma once

#include <QMetaType>
#include <QString>

namespace brevion {

// How a conversation with a device ended. The code is what callers branch on; the detail names
// the particulars (the operating system's words for a failed send, the versions that differ);
// localPort names the local port when it was that port that could not be bound. Words for a user
// come from one table (outcomewords.h), at the edge.
struct Outcome {
    enum class Code {
        Accepted,        // the device did what was asked (for a read: a settings reply, checksum good)
        Refused,         // the device answered "N"
        TimedOut,        // no answer within the waits and retries
        CorruptReply,    // a settings reply whose checksum or length is wrong
        OtherReply,      // an answer that does not belong to the command ("Q" to a save, "A" to a read)
        PortInUse,       // another program holds the local port
        SendFailed,      // the port could not be opened for another reason, or a datagram could not leave
        Cancelled,       // the caller stopped the conversation
        VersionMismatch, // after an update the device reports another version than the file's
    };
    Code code = Code::Accepted;
    QString detail;
    quint16 localPort = 0; // PortInUse, or SendFailed because the port could not be bound; else 0

    bool ok() const { return code == Code::Accepted; }
    bool operator==(const Outcome&) const = default;
};

// The code's name ("accepted", "timed-out", ...), for logs and JSON.
QString OutcomeName(Outcome::Code code);

} // namespace brevion

Q_DECLARE_METATYPE(brevion::Outcome)
