#include "fleetplan.h"

#include "common/nxfns.h"
#include "config/settingscheck.h"
#include "config/settingsfile.h"
#include "wire/wireformat.h"
#include "settingsjson.h"
#include "strictjson.h"

#include <QRegularExpression>
#include <QSet>

#include <cstring>

namespace talixctl {

using namespace brevion;
using nlohmann::json;
using nlohmann::ordered_json;

std::optional<QString> MacKey(const QString& text)
{
    static const QRegularExpression bare(QStringLiteral("^[0-9A-Fa-f]{12}$"));
    static const QRegularExpression pairs(QStringLiteral("^[0-9A-Fa-f]{2}([:-][0-9A-Fa-f]{2}){5}$"));
    const QString t = text.trimmed();
    if (bare.match(t).hasMatch())
        return t.toUpper();
    if (pairs.match(t).hasMatch())
        return QString(t).remove(QLatin1Char(':')).remove(QLatin1Char('-')).toUpper();
    return std::nullopt;
}

QString MacDisplay(const QString& key)
{
    QString out;
    for (int i = 0; i < 12; i += 2) {
        if (i > 0)
            out += i == 6 ? QLatin1Char('-') : QLatin1Char(':');
        out += key.mid(i, 2);
    }
    return out;
}

namespace {

// Settings the window sends as they are, in the layout that carries every key.
DeviceView sendableView()
{
    DeviceView valid;
    valid.entry = {true, QStringLiteral("192.168.1.20"), QStringLiteral("255.255.255.0"),
                   QStringLiteral("192.168.1.1"), QStringLiteral("10001"), 4, 0, QStringLiteral("0")};
    valid.settings = SettingsToSend(valid);
    return valid;
}

} // namespace

std::optional<QString> JudgeSettingsInput(const SettingsInput& input)
{
    return MergeSettings(sendableView(), SettingsLayout::Login, {input}).error;
}

namespace {

// A member's bytes as the plan writes them, with the line on which they begin.
SettingsInput planPart(const QByteArray& bytes, const StrictJson& parsed, const std::string& path)
{
    const JsonPlace& place = parsed.places.at(path);
    return {bytes.mid(place.begin, place.end - place.begin), true, place.valueLine};
}

std::optional<QString> readDevices(const QByteArray& bytes, const StrictJson& parsed, const json& devices,
                                   std::vector<PlanDevice>& out)
{
    if (!devices.is_object())
        return parsed.at("devices") + QStringLiteral("\"devices\" must be an object of MAC addresses");
    QSet<QString> seen;
    for (const auto& [mac, entry] : devices.items()) {
        const std::string path = "devices." + mac;
        const QString written = QString::fromStdString(mac);
        const std::optional<QString> key = MacKey(written);
        if (!key)
            return parsed.at(path) + QStringLiteral("\"%1\" is not a MAC address").arg(written);
        if (seen.contains(*key))
            return parsed.at(path) + QStringLiteral("the bridge %1 is named twice").arg(MacDisplay(*key));
        if (!entry.is_object())
            return parsed.at(path) + QStringLiteral("the entry of \"%1\" must be an object").arg(written);
        seen.insert(*key);
        const SettingsInput part = planPart(bytes, parsed, path);
        out.push_back({*key, part.bytes, part.firstLine});
    }
    return std::nullopt;
}

} // namespace

PlanParse ParsePlan(const QByteArray& bytes)
{
    PlanParse result;
    const StrictJson parsed = ParseStrictJson(bytes);
    if (parsed.error || !parsed.doc.is_object()) {
        result.error = parsed.error ? *parsed.error : QStringLiteral("not valid JSON: the plan must be one object");
        return result;
    }
    FleetPlan plan;
    for (const auto& [name, value] : parsed.doc.items()) {
        if (name == "defaults") {
            if (!value.is_object()) {
                result.error = parsed.at(name) + QStringLiteral("\"defaults\" must be an object");
                return result;
            }
            const SettingsInput part = planPart(bytes, parsed, name);
            plan.defaults = part.bytes, plan.defaultsLine = part.firstLine;
        } else if (name == "devices") {
            if (const std::optional<QString> error = readDevices(bytes, parsed, value, plan.devices)) {
                result.error = *error;
                return result;
            }
        } else {
            result.error = parsed.at(name) + QStringLiteral("unknown key \"%1\" (a plan holds \"defaults\" and \"devices\")")
                                                 .arg(QString::fromStdString(name));
            return result;
        }
    }

    // Values that no device could take are refused now, before any bridge is asked anything.
    const DeviceView valid = sendableView();
    std::vector<PlanDevice> trials = plan.devices;
    if (trials.empty())
        trials.push_back({QString(), "{}"});
    for (const PlanDevice& d : trials) {
        const Merged merged =
            MergeSettings(valid, SettingsLayout::Login, {{plan.defaults, true, plan.defaultsLine}, {d.settings, true, d.line}});
        if (merged.error) {
            result.error = d.key.isEmpty() ? *merged.error
                                           : QStringLiteral("%1: %2").arg(MacDisplay(d.key), *merged.error);
            return result;
        }
    }
    result.plan = std::move(plan);
    return result;
}

Merged MergeSettings(const DeviceView& current, SettingsLayout layout, const std::vector<SettingsInput>& inputs,
                     const SettingsReply* reported)
{
    Merged m{current, {}, std::nullopt, std::nullopt};
    for (const auto& [bytes, json, firstLine] : inputs) {
        if (json) {
            const JsonApplied applied =
                ApplySettingsJson(bytes, layout, m.view.entry, m.view.settings, reported, firstLine);
            if (applied.error) {
                m.error = *applied.error;
                return m;
            }
            for (const QString& key : applied.notCarried)
                if (!m.notCarried.contains(key))
                    m.notCarried << key;
        } else {
            const SettingsFileDecode decoded = DecodeSettingsFile(bytes, FileValuesOf(m.view));
            if (!decoded.values) {
                m.error = QStringLiteral("line %1: %2").arg(decoded.line).arg(decoded.reason);
                return m;
            }
            const DeviceView held = m.view;
            m.view = ViewOfFileValues(*decoded.values);
            // A file's "none chosen" leaves the device's own rate and handshaking as they are.
            m.view.settings.BaudRate = held.settings.BaudRate;
            m.view.settings.Handshaking = held.settings.Handshaking;
        }
    }
    if (layout != SettingsLayout::Basic && m.view.entry.UDPPort.isEmpty())
        m.view.entry.UDPPort = QStringLiteral("0");
    // A rate or handshaking the lists do not offer that the bridge holds and gets back unchanged
    // (SettingsToSend keeps it) is the bridge's own value, not one supplied: it is not judged.
    SettingsEntry judged = m.view.entry;
    if (reported && judged.BaudRate < 0 && quint32(m.view.settings.BaudRate) == reported->BaudRate)
        judged.BaudRate = 0;
    if (reported && judged.Handshaking < 0 && m.view.settings.Handshaking == reported->Handshaking)
        judged.Handshaking = 0;
    if (const std::optional<InvalidSetting> invalid =
            CheckSettings(judged, m.view.settings, layout, reported ? &current : nullptr)) {
        QString text = InvalidValueText(*invalid);
        text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        m.error = InvalidValueTitle() + QStringLiteral(": ") + text;
        m.invalid = invalid;
    }
    return m;
}

std::vector<FieldChange> SettingsChanges(const DeviceSettings& before, const DeviceSettings& after,
                                         SettingsLayout layout)
{
    const QByteArray a = BuildSaveCommand(before, layout);
    const QByteArray b = BuildSaveCommand(after, layout);
    std::vector<FieldChange> changes;
    const auto compare = [&](const std::string& field, FieldKind kind, int offset, int size) {
        if (std::memcmp(a.constData() + offset, b.constData() + offset, size_t(size)) != 0)
            changes.push_back({field, SavedValueJson(kind, a.constData() + offset, size),
                               SavedValueJson(kind, b.constData() + offset, size)});
    };
    for (const SettingsField& f : SettingsFields()) {
        if (!Carries(layout, f))
            continue;
        const FieldBytes at = f.saved(layout);
        if (f.kind != FieldKind::Rules) {
            compare(f.name, f.kind, at.offset, at.size);
            continue;
        }
        for (int n = 0; n < MaxOutRules; ++n)
            compare(std::string(f.name) + "[" + std::to_string(n) + "]", f.kind, at.offset + n * wire::kRuleBytes,
                    wire::kRuleBytes);
    }
    return changes;
}

ordered_json ChangesJson(const std::vector<FieldChange>& changes)
{
    ordered_json j = ordered_json::object();
    for (const FieldChange& c : changes)
        j[c.field] = ordered_json::array({c.before, c.after});
    return j;
}

std::string ChangesText(const std::vector<FieldChange>& changes, const std::string& indent)
{
    std::string out;
    for (const FieldChange& c : changes)
        out += indent + c.field + ": " + c.before.dump() + " -> " + c.after.dump() + "\n";
    return out;
}

} // namespace talixctl
