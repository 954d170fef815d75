#pragma once

#include "config/settingscheck.h"
#include "config/settingsfile.h"
#include "config/settingsrecord.h"

#include <QString>

#include <array>
#include <span>

namespace brevion {

// What the configuration window's value controls hold: the entry (addresses, ports and list
// choices as typed or chosen) and the settings whose controls hold them as they are (the device
// name, the login texts, the rules). The window, the settings file and the command line tool's
// view of a device all go through this one mapping.
struct ControlValues {
    SettingsEntry entry;
    DeviceSettings settings;
    bool operator==(const ControlValues&) const = default;
};

// One value control of the configuration window besides the address mode and the rule list:
// its objectName, the longest text it takes, and the value it holds in ControlValues and in a
// settings file. A text box has text and fileText; a drop-down list index and fileIndex.
struct ValueControl {
    const char* name;
    int width; // characters; 0 for a list
    QString& (*text)(ControlValues&);
    QString SettingsFileValues::*fileText;
    int& (*index)(ControlValues&);
    qint32 SettingsFileValues::*fileIndex;
};

// In the window's order: NetName, IPAddr, SubnetMask, Gateway, IPPort, BaudRate, Handshaking,
// UDPPort, UserPrompt, PassPrompt, Username, Password.
std::span<const ValueControl> ValueControls();
// The control of that name, or null.
const ValueControl* FindValueControl(QStringView name);
QString TextOf(const ValueControl& control, const ControlValues& values);
int IndexOf(const ValueControl& control, const ControlValues& values);

// Shows an accepted reply: what the reply carries replaces the values, a baud rate the list does
// not offer and a handshaking value beyond it leave the choice, fields its layout lacks stay.
void ApplyReply(ControlValues& values, const SettingsReply& reply);

// The settings a save command is built from: the entry's texts become numbers.
DeviceSettings SettingsOf(const ControlValues& values);

// A settings file's values (sentences: the rule list's rows 1..12) and back.
SettingsFileValues FileValuesOf(const ControlValues& values, const std::array<QString, MaxOutRules + 1>& sentences);
ControlValues ControlValuesOf(const SettingsFileValues& file);

} // namespace brevion
