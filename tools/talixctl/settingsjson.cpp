#include "settingsjson.h"

#include "common/nxfns.h"

#include <cstring>
#include <limits>

namespace talixctl {

using brevion::SettingsLayout;
using nlohmann::json;
using nlohmann::ordered_json;

namespace {

std::string str(const QString& text) { return text.toStdString(); }

// The text box lengths of the configuration window.
constexpr int kAddressChars = 15;
constexpr int kNameChars = 16;
constexpr int kPromptChars = 32;
constexpr int kCredentialChars = 64;

struct Failure {
    QString reason;
};

QString key(const std::string& name) { return QString::fromStdString(name); }

QString text(const json& value, const std::string& name, int maxChars)
{
    if (!value.is_string())
        throw Failure{QStringLiteral("\"%1\" must be a text").arg(key(name))};
    const QString t = QString::fromStdString(value.get<std::string>());
    if (t.size() > maxChars)
        throw Failure{QStringLiteral("\"%1\" is longer than %2 characters").arg(key(name)).arg(maxChars)};
    return t;
}

qint64 integer(const json& value, const std::string& name, qint64 min, qint64 max)
{
    if (!value.is_number_integer())
        throw Failure{QStringLiteral("\"%1\" must be a whole number").arg(key(name))};
    const bool isUnsigned = value.is_number_unsigned();
    if (isUnsigned && value.get<quint64>() > quint64(std::numeric_limits<qint64>::max()))
        throw Failure{QStringLiteral("\"%1\" must be from %2 to %3").arg(key(name)).arg(min).arg(max)};
    const qint64 v = value.get<qint64>();
    if (v < min || v > max)
        throw Failure{QStringLiteral("\"%1\" must be from %2 to %3").arg(key(name)).arg(min).arg(max)};
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
        throw Failure{QStringLiteral("\"%1\" must be an object").arg(key(where))};
    for (const auto& [name, value] : object.items()) {
        const std::string field = where + "." + name;
        if (name == "IPAddr") {
            const QString address = text(value, field, kAddressChars);
            if (!address.isEmpty() && !brevion::IsValidIP(address))
                throw Failure{QStringLiteral("\"%1\" must be a dotted address or empty").arg(key(field))};
            rule.IPAddr = address;
        } else if (name == "Port") {
            rule.Port = static_cast<qint32>(integer(value, field, 0, 65535));
        } else if (name == "Flags") {
            rule.Flags = static_cast<quint8>(integer(value, field, 0, 255));
        } else if (name == "IdleSecs") {
            rule.IdleSecs = static_cast<qint32>(
                integer(value, field, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()));
        } else {
            throw Failure{QStringLiteral("unknown key \"%1\"").arg(key(field))};
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

ordered_json SettingsToJson(const brevion::SettingsReply& r)
{
    ordered_json j;
    j["layout"] = str(LayoutName(r.layout));
    j["HdweVer"] = str(r.HdweVer);
    j["BootVer"] = str(r.BootVer);
    j["FirmVer"] = str(r.FirmVer);
    j["DHCP"] = r.DHCP;
    j["IPAddr"] = str(r.IPAddr);
    j["SubnetMask"] = str(r.SubnetMask);
    j["Gateway"] = str(r.Gateway);
    j["NetName"] = str(r.NetName);
    j["IPPort"] = r.IPPort;
    j["BaudRate"] = brevion::BaudRateIndex(r.BaudRate) >= 0 ? ordered_json(r.BaudRate) : ordered_json(nullptr);
    j["Handshaking"] = r.Handshaking < brevion::kHandshakingEntries ? ordered_json(r.Handshaking) : ordered_json(nullptr);
    if (r.UDPPort)
        j["UDPPort"] = *r.UDPPort;
    if (r.OutRules) {
        int inUse = 0;
        ordered_json rules = ordered_json::array();
        for (int n = 1; n <= brevion::MaxOutRules; ++n) {
            const brevion::OutCnctRule& rule = (*r.OutRules)[n];
            inUse += rule.InUse() ? 1 : 0;
            rules.push_back(ordered_json{{"IPAddr", str(rule.IPAddr)},
                                         {"Port", rule.Port},
                                         {"Flags", rule.Flags},
                                         {"IdleSecs", rule.IdleSecs}});
        }
        j["OutCount"] = inUse;
        j["OutRules"] = rules;
    }
    if (r.login) {
        j["UserPrompt"] = str(r.login->UserPrompt);
        j["PassPrompt"] = str(r.login->PassPrompt);
        j["Username"] = str(r.login->Username);
        j["Password"] = str(r.login->Password);
    }
    return j;
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

JsonApplied ApplySettingsJson(const QByteArray& bytes, SettingsLayout layout, brevion::SettingsEntry& entryOut,
                              brevion::DeviceSettings& settingsOut)
{
    JsonApplied result;
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF") || bytes.contains('\0')) {
        result.error = QStringLiteral("not UTF-8 text (it looks like UTF-16); save it as UTF-8");
        return result;
    }
    json doc;
    try {
        doc = json::parse(bytes.constData(), bytes.constData() + bytes.size()); // skips a UTF-8 BOM
    } catch (const json::parse_error& e) {
        // "[json.exception.parse_error.101] parse error at line 1, column 12: syntax error ..."
        const QString what = QString::fromUtf8(e.what());
        result.error = QStringLiteral("not valid JSON: %1").arg(what.mid(what.indexOf(QLatin1String("] ")) + 2));
        return result;
    }
    if (!doc.is_object()) {
        result.error = QStringLiteral("expected a JSON object { ... }, found %1")
                           .arg(doc.is_array() ? QStringLiteral("an array")
                                               : QStringLiteral("a ") + QString::fromUtf8(doc.type_name()));
        return result;
    }
    // Work on copies: a bad file changes nothing.
    brevion::SettingsEntry entry = entryOut;
    brevion::DeviceSettings settings = settingsOut;
    const bool rules = layout != SettingsLayout::Basic;
    const bool login = layout == SettingsLayout::Login;
    try {
        for (const auto& [name, value] : doc.items()) {
            bool carried = true;
            if (name == "layout" || name == "HdweVer" || name == "BootVer" || name == "FirmVer") {
                // What the device reports about itself; it cannot be written.
            } else if (name == "DHCP") {
                if (!value.is_boolean())
                    throw Failure{QStringLiteral("\"DHCP\" must be true or false")};
                entry.DHCP = value.get<bool>();
            } else if (name == "IPAddr") {
                entry.IPAddr = text(value, name, kAddressChars);
            } else if (name == "SubnetMask") {
                entry.SubnetMask = text(value, name, kAddressChars);
            } else if (name == "Gateway") {
                entry.Gateway = text(value, name, kAddressChars);
            } else if (name == "NetName") {
                settings.NetName = text(value, name, kNameChars);
            } else if (name == "IPPort") {
                entry.IPPort = portText(value, name);
            } else if (name == "BaudRate") {
                entry.BaudRate =
                    value.is_null() ? -1
                                    : brevion::BaudRateIndex(integer(value, name, std::numeric_limits<qint32>::min(),
                                                                     std::numeric_limits<qint32>::max()));
            } else if (name == "Handshaking") {
                entry.Handshaking = value.is_null() ? -1 : static_cast<int>(integer(value, name, -1, 255));
            } else if (name == "UDPPort") {
                entry.UDPPort = portText(value, name);
                carried = rules;
            } else if (name == "OutCount") {
                integer(value, name, 0, brevion::MaxOutRules); // recounted from the slots
                carried = rules;
            } else if (name == "OutRules") {
                if (!value.is_array() || value.size() > std::size_t(brevion::MaxOutRules))
                    throw Failure{QStringLiteral("\"OutRules\" must be a list of at most 12 rules")};
                for (std::size_t i = 0; i < value.size(); ++i)
                    applyRule(value[i], int(i) + 1, settings.Rules.OutRules[i + 1]);
                settings.Rules.OutCount = static_cast<qint16>(settings.Rules.CountInUse());
                carried = rules;
            } else if (name == "UserPrompt") {
                settings.UserPrompt = text(value, name, kPromptChars);
                carried = login;
            } else if (name == "PassPrompt") {
                settings.PassPrompt = text(value, name, kPromptChars);
                carried = login;
            } else if (name == "Username") {
                settings.Username = text(value, name, kCredentialChars);
                carried = login;
            } else if (name == "Password") {
                settings.Password = text(value, name, kCredentialChars);
                carried = login;
            } else {
                throw Failure{QStringLiteral("unknown key \"%1\"").arg(key(name))};
            }
            if (!carried)
                result.notCarried << key(name);
        }
    } catch (const Failure& failure) {
        result.error = failure.reason;
        result.notCarried.clear();
        return result;
    }
    entryOut = entry;
    settingsOut = settings;
    return result;
}

} // namespace talixctl
