#include "settingsjson.h"

#include "common/nxfns.h"
#include "config/controlvalues.h"
#include "settingsview.h"
#include "strictjson.h"
#include "wire/wireformat.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace talixctl {

using brevion::ControlValues;
using brevion::FieldKind;
using brevion::SettingsField;
using brevion::SettingsLayout;
using nlohmann::json;
using nlohmann::ordered_json;

namespace {

std::string str(const QString& text) { return text.toStdString(); }

struct Failure {
    QString reason;
    std::string field; // the member's path, for its line
};

QString key(const std::string& name) { return QString::fromStdString(name); }

QString text(const json& value, const std::string& name, int maxChars)
{
    if (!value.is_string())
        throw Failure{QStringLiteral("\"%1\" must be a text").arg(key(name)), name};
    const QString t = QString::fromStdString(value.get<std::string>());
    if (t.size() > maxChars)
        throw Failure{QStringLiteral("\"%1\" is longer than %2 characters").arg(key(name)).arg(maxChars), name};
    return t;
}

qint64 integer(const json& value, const std::string& name, qint64 min, qint64 max)
{
    if (!value.is_number_integer())
        throw Failure{QStringLiteral("\"%1\" must be a whole number").arg(key(name)), name};
    const bool isUnsigned = value.is_number_unsigned();
    if (isUnsigned && value.get<quint64>() > quint64(std::numeric_limits<qint64>::max()))
        throw Failure{QStringLiteral("\"%1\" must be from %2 to %3").arg(key(name)).arg(min).arg(max), name};
    const qint64 v = value.get<qint64>();
    if (v < min || v > max)
        throw Failure{QStringLiteral("\"%1\" must be from %2 to %3").arg(key(name)).arg(min).arg(max), name};
    return v;
}

// A port goes to the check as the text a user would have typed; the check judges its range.
QString portText(const json& value, const std::string& name)
{
    return QString::number(integer(value, name, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()));
}

void applyRule(const json& object, int slot, brevion::OutCnctRule& rule)
{
    const std::string where = "OutRules[" + std::to_string(slot - 1) + "]";
    if (!object.is_object())
        throw Failure{QStringLiteral("\"%1\" must be an object").arg(key(where)), where};
    for (const auto& [name, value] : object.items()) {
        const std::string field = where + "." + name;
        if (name == "IPAddr") {
            const QString address = text(value, field, brevion::kAddressChars);
            if (!address.isEmpty() && !brevion::IsValidIP(address))
                throw Failure{QStringLiteral("\"%1\" must be a dotted address or empty").arg(key(field)), field};
            rule.IPAddr = address;
        } else if (name == "Port") {
            rule.Port = static_cast<qint32>(integer(value, field, 0, 65535));
        } else if (name == "Flags") {
            rule.Flags = static_cast<quint8>(integer(value, field, 0, 255));
        } else if (name == "IdleSecs") {
            rule.IdleSecs = static_cast<qint32>(
                integer(value, field, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()));
        } else {
            throw Failure{QStringLiteral("unknown key \"%1\"").arg(key(field)), field};
        }
    }
}

} // namespace

QString LayoutName(SettingsLayout layout)
{
    switch (layout) {
    case SettingsLayout::Basic:
        return QStringLiteral("Basic");
    case SettingsLayout::Rules:
        return QStringLiteral("Rules");
    case SettingsLayout::Login:
        return QStringLiteral("Login");
    }
    return {};
}

namespace {

ordered_json ruleJson(const brevion::OutCnctRule& rule)
{
    return {{"IPAddr", str(rule.IPAddr)}, {"Port", rule.Port}, {"Flags", rule.Flags}, {"IdleSecs", rule.IdleSecs}};
}

ordered_json baudRateJson(qint64 rate)
{
    return brevion::BaudRateIndex(rate) >= 0 ? ordered_json(rate) : ordered_json(nullptr);
}

ordered_json handshakingJson(int index)
{
    return index >= 0 && index < brevion::kHandshakingEntries ? ordered_json(index) : ordered_json(nullptr);
}

// The field's keys and values as the window shows them.
void putField(ordered_json& j, const SettingsField& f, const ControlValues& v)
{
    switch (f.kind) {
    case FieldKind::Flag:
        j[f.name] = v.entry.DHCP;
        return;
    case FieldKind::Address:
    case FieldKind::Text:
        j[f.name] = str(TextOf(f, v));
        return;
    case FieldKind::Port:
        j[f.name] = brevion::ParsePort(TextOf(f, v)).value_or(0);
        return;
    case FieldKind::BaudRate: {
        const int index = IndexOf(f, v);
        j[f.name] = index >= 0 && index < int(brevion::kBaudRates.size()) ? baudRateJson(brevion::kBaudRates[index])
                                                                          : ordered_json(nullptr);
        return;
    }
    case FieldKind::Handshaking:
        j[f.name] = handshakingJson(IndexOf(f, v));
        return;
    case FieldKind::Rules: {
        ordered_json rules = ordered_json::array();
        for (int n = 1; n <= brevion::MaxOutRules; ++n)
            rules.push_back(ruleJson(v.settings.Rules.OutRules[n]));
        j["OutCount"] = v.settings.Rules.CountInUse();
        j[f.name] = rules;
        return;
    }
    }
}

} // namespace

ordered_json SettingsToJson(const brevion::SettingsReply& r)
{
    ordered_json j;
    j["layout"] = str(LayoutName(r.layout));
    j["HdweVer"] = str(r.HdweVer);
    j["BootVer"] = str(r.BootVer);
    j["FirmVer"] = str(r.FirmVer);
    const ControlValues view = ViewOfReply(r);
    for (const SettingsField& f : brevion::SettingsFields())
        if (Carries(r.layout, f))
            putField(j, f, view);
    return j;
}

ordered_json SavedValueJson(FieldKind kind, const char* bytes, int size)
{
    using brevion::wire::Get16;
    using brevion::wire::Get32;
    const uchar* p = brevion::wire::U(bytes);
    QString text;
    switch (kind) {
    case FieldKind::Flag:
        return std::any_of(p, p + size, [](uchar b) { return b != 0; });
    case FieldKind::Address:
        brevion::AssignDottedText(text, p, 4);
        return str(text);
    case FieldKind::Text:
        while (size > 0 && p[size - 1] == 0)
            --size; // the padding
        return str(QString::fromLatin1(bytes, size));
    case FieldKind::Port:
        return Get16(p);
    case FieldKind::BaudRate:
        return baudRateJson(Get32(p));
    case FieldKind::Handshaking:
        return handshakingJson(p[0]);
    case FieldKind::Rules:
        brevion::AssignDottedText(text, p + brevion::wire::kRuleAddress, 4);
        return ruleJson({text, Get16(p + brevion::wire::kRulePort), p[brevion::wire::kRuleFlags],
                         static_cast<qint32>(Get32(p + brevion::wire::kRuleIdle))});
    }
    return nullptr;
}

bool IsJsonSettings(const QString& path, const QByteArray& bytes)
{
    if (path.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive))
        return true;
    // Byte-order marks (UTF-8 EF BB BF, UTF-16 FF FE / FE FF), blanks and the zero bytes of UTF-16
    // come before the first character.
    static constexpr char kBeforeFirst[] = {' ', '\t', '\r', '\n', '\0', '\xEF', '\xBB', '\xBF', '\xFE', '\xFF'};
    for (const char c : bytes) {
        if (std::memchr(kBeforeFirst, c, sizeof kBeforeFirst))
            continue;
        return c == '{' || c == '[';
    }
    return false;
}

namespace {

// The keys that say what the device is rather than how it is set: a file may repeat what the
// device reports (so the output of read --json writes back unchanged), never change it. Without a
// report only their kinds are judged.
bool readOnly(const std::string& name)
{
    return name == "layout" || name == "HdweVer" || name == "BootVer" || name == "FirmVer" || name == "OutCount";
}

void checkReadOnly(const std::string& name, const json& value, SettingsLayout layout, const brevion::SettingsReply* reported)
{
    if (name == "OutCount") {
        const qint64 given = integer(value, name, 0, brevion::MaxOutRules);
        if (!reported || !reported->OutRules)
            return;
        const auto& rules = *reported->OutRules;
        const qint64 inUse = std::count_if(rules.begin() + 1, rules.end(), [](const auto& r) { return r.InUse(); });
        if (given != inUse)
            throw Failure{QStringLiteral("\"OutCount\" cannot be written: the device reports %1, not %2").arg(inUse).arg(given), name};
        return;
    }
    const QString given = text(value, name, std::numeric_limits<int>::max());
    if (!reported)
        return;
    const QString held = name == "layout"    ? LayoutName(layout)
                         : name == "HdweVer" ? reported->HdweVer
                         : name == "BootVer" ? reported->BootVer
                                             : reported->FirmVer;
    if (given != held)
        throw Failure{QStringLiteral("\"%1\" cannot be written: the device reports \"%2\", not \"%3\"")
                          .arg(key(name), held, given),
                      name};
}

// One key of the top level; false when the layout does not carry it.
bool applyKey(const std::string& name, const json& value, SettingsLayout layout, ControlValues& v)
{
    const SettingsField* f = brevion::FindSettingsField(key(name));
    if (!f)
        throw Failure{QStringLiteral("unknown key \"%1\"").arg(key(name)), name};
    switch (f->kind) {
    case FieldKind::Flag:
        if (!value.is_boolean())
            throw Failure{QStringLiteral("\"%1\" must be true or false").arg(key(name)), name};
        v.entry.DHCP = value.get<bool>();
        break;
    case FieldKind::Address:
    case FieldKind::Text:
        f->text(v) = text(value, name, f->width);
        break;
    case FieldKind::Port:
        f->text(v) = portText(value, name);
        break;
    case FieldKind::BaudRate: {
        if (value.is_null()) {
            f->index(v) = -1;
            break;
        }
        const qint64 rate = integer(value, name, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
        f->index(v) = brevion::BaudRateIndex(rate);
        // A rate the list does not offer is kept as given: it is refused unless the bridge holds it.
        if (f->index(v) < 0)
            v.settings.BaudRate = static_cast<qint32>(rate);
        break;
    }
    case FieldKind::Handshaking:
        f->index(v) = value.is_null() ? -1 : static_cast<int>(integer(value, name, -1, 255));
        break;
    case FieldKind::Rules:
        if (!value.is_array() || value.size() > std::size_t(brevion::MaxOutRules))
            throw Failure{QStringLiteral("\"OutRules\" must be a list of at most 12 rules"), name};
        for (std::size_t i = 0; i < value.size(); ++i)
            applyRule(value[i], int(i) + 1, v.settings.Rules.OutRules[i + 1]);
        v.settings.Rules.OutCount = static_cast<qint16>(v.settings.Rules.CountInUse());
        break;
    }
    return Carries(layout, *f);
}

} // namespace

JsonApplied ApplySettingsJson(const QByteArray& bytes, SettingsLayout layout, brevion::SettingsEntry& entryOut,
                              brevion::DeviceSettings& settingsOut, const brevion::SettingsReply* reported, int firstLine)
{
    JsonApplied result;
    const StrictJson parsed = ParseStrictJson(bytes, firstLine);
    if (parsed.error) {
        result.error = parsed.error;
        return result;
    }
    const json& doc = parsed.doc;
    if (!doc.is_object()) {
        result.error = QStringLiteral("expected a JSON object { ... }, found %1")
                           .arg(doc.is_array() ? QStringLiteral("an array")
                                               : QStringLiteral("a ") + QString::fromUtf8(doc.type_name()));
        return result;
    }
    // Work on copies: a bad file changes nothing.
    ControlValues values{entryOut, settingsOut};
    try {
        for (const auto& [name, value] : doc.items()) {
            if (readOnly(name)) {
                checkReadOnly(name, value, layout, reported);
                if (name == "OutCount" && layout == SettingsLayout::Basic)
                    result.notCarried << key(name);
            } else if (!applyKey(name, value, layout, values)) {
                result.notCarried << key(name);
            }
        }
    } catch (const Failure& failure) {
        result.error = parsed.at(failure.field) + failure.reason;
        result.notCarried.clear();
        return result;
    }
    entryOut = values.entry;
    settingsOut = values.settings;
    return result;
}

} // namespace talixctl
