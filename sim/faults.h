#pragma once

#include <QtGlobal>

namespace talixsim {

// Fault switches and timings of one device. Counters ("next k") count down as they act, so
// Fleet::faults() shows what is left of them.
struct Faults {
    double dropRequestShare = 0.0; // 0..1, drawn from the fleet's seeded generator
    int dropNextRequests = 0;      // the next k requests to the device are lost
    double dropReplyShare = 0.0;
    int dropNextReplies = 0;
    int duplicateReplies = 0;     // extra copies sent after each reply
    int replyDelayMs = 0;         // every reply (and its copies) leaves this much later
    bool corruptChecksum = false; // settings replies carry checksum + 1
    int truncateReplies = 0;      // > 0: replies are cut to this many bytes
    bool answerN = false;         // every command but discovery is answered "XN"
    int nackNext = 0;             // the next k commands are answered "XN"
    bool silent = false;          // no replies at all
    quint32 replyFrom = 0;        // != 0: replies leave from this address instead
    int restartSilentMs = 3000;   // a restart keeps the device silent this long
    int eraseMs = 1000;           // an erase is answered after this long
    bool operator==(const Faults&) const = default;
};

} // namespace talixsim
