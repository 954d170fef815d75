#pragma once

#include "config/settingsrecord.h"

#include <QString>

#include <optional>

namespace brevion {

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
// dotted addresses; the TCP port, and the UDP port where the layout carries it, whole numbers
// 0..65535; a baud rate and a handshaking entry must be chosen. Then the texts of settings that
// the layout carries: no longer than their field (blanks at the ends do not count) and only
// characters of ISO-8859-1, the device's character set. Then, where the layout carries rules,
// every slot: an address that is empty or dotted, a port 0..65535, and, in a slot in use, an
// inactivity time of 0..3600 seconds.
std::optional<InvalidSetting> CheckSettings(const SettingsEntry& entry, const DeviceSettings& settings,
                                            SettingsLayout layout);

// The message that refuses the send: title "Invalid Value" and its text.
QString InvalidValueTitle();
QString InvalidValueText(const InvalidSetting& invalid);

// The entry's values in settings: texts that are not ports give 0, no baud rate gives 0.
void ApplyEntry(DeviceSettings& settings, const SettingsEntry& entry);

} // namespace brevion
