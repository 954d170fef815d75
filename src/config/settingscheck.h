#pragma once

#include "config/settingsrecord.h"

#include <QString>

#include <optional>

namespace brevion {

struct ControlValues;

// The values of the settings as a user enters them (texts and list choices), before they become
// DeviceSettings: what the configuration window's controls hold and what a settings file or the
// command line tool gives.
struct SettingsEntry {
    bool DHCP = true;
    QString IPAddr;
    QString SubnetMask;
    QString Gateway;
    QString IPPort;
    int BaudRate = -1;    // list index into kBaudRates; -1 when none is chosen
    int Handshaking = -1; // list index; -1 when none is chosen
    QString UDPPort;
    bool operator==(const SettingsEntry&) const = default;
};

// A value that cannot be sent: the caption of its field and what it must be.
struct InvalidSetting {
    QString field;
    QString rule;
    bool operator==(const InvalidSetting&) const = default;
};

// The first value that cannot be sent in the layout, or nothing; nothing is ever cut or replaced
// on its way to the device. The entry's: with a static address the three addresses must be
// dotted addresses, the IP address one a device can take (not 0.0.0.0, not 224.0.0.0 or above:
// multicast, reserved, broadcast), the subnet mask's ones contiguous from the left, the gateway
// 0.0.0.0 (none) or below 224.0.0.0; the TCP port, and the UDP port where the layout carries it,
// whole numbers 0..65535; a baud rate and a handshaking entry must be chosen. Then the texts of
// settings that the layout carries: no longer than their field (blanks at the ends do not count)
// and only characters of ISO-8859-1, the device's character set. Then, where the layout carries
// rules, every slot: an address that is empty or dotted, a port 0..65535, and, in a slot in use,
// an inactivity time of 0..3600 seconds.
//
// held: the values read from the device. Only what the user, a file or a plan supplies is judged:
// a static address the device already has and a rule equal to its slot on the device are sent
// back as they are, whatever another tool once wrote there. A baud rate or handshaking value that
// the lists do not offer cannot be sent back unchanged, so it is judged all the same.
std::optional<InvalidSetting> CheckSettings(const SettingsEntry& entry, const DeviceSettings& settings,
                                            SettingsLayout layout, const ControlValues* held = nullptr);

// The message that refuses the send: title "Invalid Value" and its text.
QString InvalidValueTitle();
QString InvalidValueText(const InvalidSetting& invalid);

// The entry's values in settings: texts that are not ports give 0, no baud rate gives 0.
void ApplyEntry(DeviceSettings& settings, const SettingsEntry& entry);

} // namespace brevion
