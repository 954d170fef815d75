#pragma once

#include "config/settingscheck.h"
#include "config/settingsrecord.h"
#include "settingsview.h"

#include <nlohmann/json.hpp>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace talixctl {

// What the fleet commands decide without a socket: MAC keys, plans, merged settings and their
// differences.

// A MAC as the twelve hex digits of its key, upper case ("0050C25A3000"), from the discovery
// text ("00:50:C2-5A:30:00"), six pairs joined by ":" or "-", or twelve bare digits, any case.
std::optional<QString> MacKey(const QString& text);
// The key back as the discovery shows it: "00:50:C2-5A:30:00".
QString MacDisplay(const QString& key);

// A plan of settings for many bridges:
//   {"defaults": {<keys of read --json>}, "devices": {"<MAC>": {<keys of read --json>}, ...}}
// A bridge's settings are its current ones, then "defaults", then its own entry.
struct PlanDevice {
    QString key;         // MacKey of the name
    QByteArray settings; // its entry as a JSON object, as the plan writes it
    int line = 1;        // the plan's line on which the entry begins
};
struct FleetPlan {
    QByteArray defaults = "{}";
    int defaultsLine = 1;
    std::vector<PlanDevice> devices;
};
struct PlanParse {
    std::optional<FleetPlan> plan;
    QString error; // when there is no plan
};
// The whole plan is judged: strict JSON (ParseStrictJson), MAC keys (each bridge named once), keys and kinds of values,
// and the values of defaults and entry merged over settings the configuration window's Send
// takes (every layout). A plan that fails any of these is refused whole.
PlanParse ParsePlan(const QByteArray& bytes);

// Settings given over a device's current view, one input after another: JSON with the keys of
// read --json, or a .TALIX settings file (a rule's flags the file cannot give keep the device's).
// An empty UDP port is sent as 0, as the window's Send does; the window's check comes last.
// reported: the device's reply that current shows. With it, read-only keys must repeat what the
// device reports, and only values that differ from current are judged (CheckSettings' held);
// without it, every value is.
struct SettingsInput {
    QByteArray bytes;
    bool json = true;
    int firstLine = 1; // of the bytes in their file
};
struct Merged {
    DeviceView view;
    QStringList notCarried;      // JSON keys the layout does not carry (not sent)
    std::optional<QString> error; // the input is bad, or Send would refuse a value
    std::optional<brevion::InvalidSetting> invalid; // the value Send would refuse
};
Merged MergeSettings(const DeviceView& current, brevion::SettingsLayout layout,
                     const std::vector<SettingsInput>& inputs, const brevion::SettingsReply* reported = nullptr);

// Why settings input (JSON or a .TALIX file) could be sent to no device at all, or nothing.
std::optional<QString> JudgeSettingsInput(const SettingsInput& input);

// The fields whose values the save commands (BuildSaveCommand) of before and after carry in
// different bytes, in the keys of read --json (a rule as "OutRules[3]"), each with its value before
// and after as the command carries it.
struct FieldChange {
    std::string field;
    nlohmann::ordered_json before;
    nlohmann::ordered_json after;
};
std::vector<FieldChange> SettingsChanges(const brevion::DeviceSettings& before, const brevion::DeviceSettings& after,
                                         brevion::SettingsLayout layout);
// {"field": [before, after], ...}
nlohmann::ordered_json ChangesJson(const std::vector<FieldChange>& changes);
// "field: before -> after", one line each.
std::string ChangesText(const std::vector<FieldChange>& changes, const std::string& indent = {});

} // namespace talixctl
