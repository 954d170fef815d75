#pragma once

#include "config/controlvalues.h"

#include <QString>

namespace talixctl {

// What a configuration window opened on the device holds once its settings reply is shown:
// the settings, and the values a user would see in its text boxes and lists. Controls a reply
// does not fill keep the window's opening values (no baud rate or handshaking chosen, an empty
// UDP port, empty rules and login texts); settings keep the rate and handshaking the device holds.
using DeviceView = brevion::ControlValues;
DeviceView ViewOfReply(const brevion::SettingsReply& reply);

// The window's values as a settings file holds them (its Save Settings), and back (Load).
brevion::SettingsFileValues FileValuesOf(const DeviceView& view);
DeviceView ViewOfFileValues(const brevion::SettingsFileValues& values);

// The settings in the form a save command is built from: the entry's texts become numbers; with no
// baud rate or handshaking chosen, the value the device holds (ViewOfReply) is kept, so that
// comparing save commands finds a choice that differs from a value the lists do not offer.
brevion::DeviceSettings SettingsToSend(const DeviceView& view);

// A readable listing of a settings reply, the rules as sentences, one line ending in "\n" each.
QString SettingsListing(const brevion::SettingsReply& reply);

} // namespace talixctl
