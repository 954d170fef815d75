#pragma once

#include "config/controlvalues.h"
#include "config/settingscheck.h"
#include "config/settingsrecord.h"

#include <nlohmann/json.hpp>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace talixctl {

// The settings of a device as JSON, keys in this order (a key the layout does not carry is
// absent; the settings' keys are the names of SettingsFields):
//
//   "layout"       "Basic", "Rules" or "Login"
//   "HdweVer", "BootVer", "FirmVer"            texts; FirmVer "Erased" without firmware
//   "DHCP"         boolean
//   "IPAddr", "SubnetMask", "Gateway", "NetName"   texts
//   "IPPort"       number
//   "BaudRate"     number, or null when the device's rate is not one of the nine offered
//   "Handshaking"  0 none, 1 hardware (CTS/RTS), 2 software (XON/XOFF); null beyond that
//   Rules, Login:  "UDPPort" number, "OutCount" number of rules in use,
//                  "OutRules" 12 objects {"IPAddr", "Port", "Flags", "IdleSecs"}, slots 1..12
//   Login:         "UserPrompt", "PassPrompt", "Username", "Password"   texts
nlohmann::ordered_json SettingsToJson(const brevion::SettingsReply& reply);

QString LayoutName(brevion::SettingsLayout layout);

// A field's value in the form SettingsToJson gives it, read from the bytes a save command carries
// it in (SettingsField::saved); for OutRules, one rule's bytes and its object.
nlohmann::ordered_json SavedValueJson(brevion::FieldKind kind, const char* bytes, int size);

// A JSON file of the same keys applied over a device's current values: keys that are absent keep
// what entry and settings hold. "layout", the three versions and "OutCount" are read-only: given,
// they must equal what the device reports (reported; without a report only their kinds are
// judged). "OutRules" may hold fewer than 12 objects (slots 1..n), and an object may leave keys
// out. The file is read by ParseStrictJson (firstLine: the line of its file the bytes begin on).
// Text that is not UTF-8, a top level other than an object, texts longer than the configuration
// window's boxes take, rule fields outside their ranges, rule addresses that are not dotted
// addresses, unknown keys and wrong kinds of value make the whole file bad: nothing is applied
// then, and the reason is returned, with the line of its key.
struct JsonApplied {
    std::optional<QString> error;
    QStringList notCarried; // keys given that the layout does not carry (not sent)
};
JsonApplied ApplySettingsJson(const QByteArray& bytes, brevion::SettingsLayout layout, brevion::SettingsEntry& entry,
                              brevion::DeviceSettings& settings, const brevion::SettingsReply* reported = nullptr,
                              int firstLine = 1);

// Whether a file holds JSON rather than a settings file: its name ends in ".json" (any case), or
// its first character, past a byte-order mark and blanks, opens an object or an array.
bool IsJsonSettings(const QString& path, const QByteArray& bytes);

} // namespace talixctl
