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

// The text boxes of the addresses and the ports take this many characters.
inline constexpr int kAddressChars = 15; // "255.255.255.255"
inline constexpr int kPortChars = 5;     // "65535"

// How a settings field holds its value; this says how the window, a settings file, the command
// line tool's JSON form and its list of differences show it.
enum class FieldKind { Flag, Address, Text, Port, BaudRate, Handshaking, Rules };

// The bytes a field takes in the save command of a layout that carries it.
struct FieldBytes {
    int offset;
    int size;
};

// One field of the settings. Its name is the objectName of its control in the configuration
// window and its key in the command line tool's JSON form; its caption labels the control and
// names the field in messages and listings. The value controls (text boxes and drop-down lists)
// have text and fileText, or index and fileIndex: where the value is held in ControlValues and in
// a settings file. The address mode (two option buttons) and the rules (a grid) have neither:
// they are held in entry.DHCP and settings.Rules.
struct SettingsField {
    const char* name;
    const char* caption;
    FieldKind kind;
    SettingsLayout layout; // the first layout that carries it
    int width;             // the longest text its box takes, in characters; 0 for the others
    FieldBytes (*saved)(SettingsLayout);
    QString& (*text)(ControlValues&);
    QString SettingsFileValues::*fileText;
    int& (*index)(ControlValues&);
    qint32 SettingsFileValues::*fileIndex;
};

// In the record's order: DHCP, IPAddr, SubnetMask, Gateway, NetName, IPPort, BaudRate,
// Handshaking, UDPPort, OutRules, UserPrompt, PassPrompt, Username, Password.
std::span<const SettingsField> SettingsFields();
// The field of that name, or null.
const SettingsField* FindSettingsField(QStringView name);
// The caption of the field of that name.
QString CaptionOf(QStringView name);
bool Carries(SettingsLayout layout, const SettingsField& field);
QString TextOf(const SettingsField& field, const ControlValues& values);
int IndexOf(const SettingsField& field, const ControlValues& values);

// Shows an accepted reply: what the reply carries replaces the values, a baud rate the list does
// not offer and a handshaking value beyond it leave the choice, fields its layout lacks stay.
void ApplyReply(ControlValues& values, const SettingsReply& reply);

// The settings a save command is built from: the entry's texts become numbers.
DeviceSettings SettingsOf(const ControlValues& values);

// A settings file's values (sentences: the rule list's rows 1..12) and back.
SettingsFileValues FileValuesOf(const ControlValues& values, const std::array<QString, MaxOutRules + 1>& sentences);
ControlValues ControlValuesOf(const SettingsFileValues& file);

} // namespace brevion
