#pragma once

#include "devicestate.h"

#include <QByteArray>

namespace talixsim {

// The device's side of the protocol, pure: requests in, replies and state changes out.
//
// Discovery reply (33 bytes), answer to "ZEVID" (5A 45 56 49 44):
//   0  5  "K9ZEV"
//   5  6  MAC address, first byte first
//  11  4  network address (DeviceState::address), first octet first
//  15  2  TCP port, big-endian
//  17 16  name, ISO-8859-1, NUL-padded
//
// Settings reply "XQ" -> "Q", big-endian; three layouts chosen by the device's versions:
//  off size  Basic/Rules          Login
//   0  2     "XQ"                 "XQ"
//   2  2     DHCP FF FF / 00 00   same
//   4  4     ip                   4 2 TCP port
//   8  4     mask                 6 4 ip, 10 4 mask, 14 4 gateway
//  12  4     gateway              18 16 name
//  16 16     name
//  32  2     TCP port
//  34  4 baud   38 3 zero   41 1 handshaking   42 2 zero   44 2 hardware major, minor
//  46  1 zero   47 3 bootloader version        50 9 zero   59 3 firmware version
//  Basic: 62 2 ReplyChecksum (64 bytes)
//  Rules, Login: 62 28 zero, 90 2 UDP port, 92 2 zero, 94 144 rules 1..12 (12 bytes each:
//      ip 4, port 2, flags 1, zero 1, idle seconds 4 signed)
//  Rules: 238 2 ReplyChecksum (240 bytes)
//  Login: 238 32 user prompt, 270 32 password prompt, 302 64 user name, 366 64 password,
//      430 2 ReplyChecksum (432 bytes)
//  ReplyChecksum = 65535 - (byte sum mod 65536), high byte first.
//
// Save "XS": the same fields up to byte 41 (Login moves the TCP port forward the same way),
// then Basic: 42 2 CommandChecksum (44 bytes); Rules/Login: 42 2 UDP port, 44 2 zero,
// 46 144 rules, Rules: 190 2 CommandChecksum (192 bytes); Login: 190 32, 222 32, 254 64,
// 318 64 the four texts, 382 2 CommandChecksum (384 bytes).
// CommandChecksum = (65536 - byte sum) mod 65536, high byte first.
//
// Other commands, each ending in CommandChecksum:
//   "XB" (4 bytes)                    -> "XA", then restart
//   "XM" b0..b5 (10 bytes)            -> new MAC, "XA"
//   "XP" E7 (5 bytes)                 -> erase the firmware, "XA" when done
//   "XP" C3 addr(4) count(2) data     -> data into flash, "XA" (count <= 64, 11 + count bytes)
//   "XP" BD (5 bytes)                 -> "XA", then restart
// A recognised command with a wrong length or checksum is answered "XN". Anything else is
// ignored. "XA" and "XN" are 4 bytes: the two letters and two zero bytes.

enum class Layout { Basic, Rules, Login };

Layout layoutFor(const Version3& boot, const Version3& firm);
int replyLength(Layout layout); // 64, 240, 432
int saveLength(Layout layout);  // 44, 192, 384

quint16 commandChecksum(const QByteArray& bytes, int count); // over bytes[0..count-1]
quint16 replyChecksum(const QByteArray& bytes, int count);

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

// Encoders shared by the reply builder and the tests.
QByteArray commandWithChecksum(const QByteArray& body); // body + CommandChecksum

} // namespace talixsim
