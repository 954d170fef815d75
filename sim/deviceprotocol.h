#pragma once

#include "sim/devicestate.h"
#include "wire/wireformat.h"

#include <QByteArray>

namespace talixsim {

// The device's side of the protocol, pure: requests in, replies and state changes out. The byte
// layouts, the thresholds and the checksums are the program's own (wireformat.h); what the
// device does with each request is the simulator's:
//
//   "ZEVID"                          -> the discovery reply (the TCP port at 15)
//   "XQ" (exactly 2 bytes)           -> the settings reply in the device's own layout
//   "XS" in the device's layout      -> stores the fields, "XA"
//   "XB" (4 bytes)                   -> "XA", then restart
//   "XM" b0..b5 (10 bytes)           -> new MAC, "XA"
//   "XP" E7 (5 bytes)                -> erase the firmware, "XA" when done
//   "XP" C3 addr(4) count(2) data    -> data into flash, "XA" (count <= 64, 11 + count bytes)
//   "XP" BD (5 bytes)                -> "XA", then restart
// A recognised command with a wrong length or checksum is answered "XN". Anything else is
// ignored. "XA" and "XN" are 4 bytes: the two letters and two zero bytes.

using Layout = brevion::wire::SettingsLayout;

Layout layoutFor(const Version3& boot, const Version3& firm);

QByteArray discoveryRequest(); // "ZEVID"
QByteArray discoveryReply(const DeviceState& device);
QByteArray settingsReply(const DeviceState& device);
QByteArray acceptReply(); // "XA" 00 00
QByteArray rejectReply(); // "XN" 00 00

// Stores the fields of a save command in the device's own layout; false (and nothing
// changed) when its length or checksum is wrong.
bool applySaveCommand(DeviceState& device, const QByteArray& command);

// What the device does with one request.
struct Response {
    enum class Action {
        Ignore,           // not for a device: no reply
        Reply,            // send `reply`
        ReplyThenRestart, // send `reply`, then restart (silent for a while)
        EraseThenReply,   // erase the firmware, send `reply` when the erase time has passed
    };
    Action action = Action::Ignore;
    QByteArray reply;
    bool discovery = false; // the request was "ZEVID"
};

// Handles a request addressed to the device: may change its state (save, MAC, flash writes).
// The erase itself is left to the caller (it takes time); see eraseFirmware() in flash.h.
Response handleRequest(DeviceState& device, const QByteArray& request);

// body followed by its CommandChecksum, for tests that send commands of their own.
QByteArray commandWithChecksum(const QByteArray& body);

} // namespace talixsim
