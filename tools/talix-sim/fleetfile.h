#pragma once

#include "sim/devicestate.h"
#include "sim/faults.h"

#include <QString>

#include <string>
#include <vector>

// The fleet description file of talix-sim (JSON):
//
// { "port": 2362, "address": "0.0.0.0",
//   "faults": { ...defaults for every device... },
//   "devices": [ { "preset": "basic|rules|login", "count": 1, "name": "Pump",
//                  "mac": "00:50:C2:5A:30:00" | "placeholder", "address": "127.0.0.2",
//                  "ip", "mask", "gateway": "a.b.c.d", "dhcp": false,
//                  "tcpPort", "udpPort", "baud", "handshaking": numbers,
//                  "firmware", "boot": "1.0.17", "hardware": "1.2",
//                  "rules": [ { "ip": "10.0.0.9", "port": 502, "flags": 3, "idleSecs": 60 } ],
//                  "userPrompt", "passPrompt", "username", "password": text,
//                  "faults": { "dropRequestShare", "dropNextRequests", "dropReplyShare",
//                              "dropNextReplies", "duplicateReplies", "replyDelayMs",
//                              "corruptChecksum", "truncateReplies", "answerN", "nackNext",
//                              "silent", "replyFrom", "restartSilentMs", "eraseMs" } } ] }
//
// A device entry starts from the plausible device of its position (makeDevice) and its preset;
// "count" repeats an entry at consecutive addresses.

struct FleetDevice {
    talixsim::DeviceState state;
    talixsim::Faults faults;
};

struct FleetFile {
    int port = -1;   // -1: not given
    QString address; // empty: not given
    std::vector<FleetDevice> devices;
};

// Reads a description; on failure returns false with the reason in error.
bool readFleetFile(const std::string& text, quint32 firstAddress, const talixsim::Faults& base,
                   FleetFile& out, std::string& error);
