#include "fleetfile.h"

#include <QStringList>

#include <nlohmann/json.hpp>

using json = nlohmann::json;
using namespace talixsim;

namespace {

quint32 address(const json& j, const char* key)
{
    const std::string text = j.at(key).get<std::string>();
    const quint32 a = ipFromText(QString::fromStdString(text));
    if (a == 0 && text != "0.0.0.0")
        throw std::runtime_error(std::string(key) + ": not a dotted address: " + text);
    return a;
}

Version3 version(const std::string& text, const char* key)
{
    const QStringList parts = QString::fromStdString(text).split(u'.');
    if (parts.size() != 3)
        throw std::runtime_error(std::string(key) + ": not major.minor.build: " + text);
    Version3 v;
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const uint n = parts[i].toUInt(&ok);
        if (!ok || n > 255)
            throw std::runtime_error(std::string(key) + ": not major.minor.build: " + text);
        v[size_t(i)] = quint8(n);
    }
    return v;
}

Mac mac(const std::string& text, int n)
{
    if (text == "placeholder")
        return placeholderMac(n);
    QString hex = QString::fromStdString(text);
    hex.remove(u':').remove(u'-');
    const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
    if (hex.size() != 12 || bytes.size() != 6)
        throw std::runtime_error("mac: not six bytes: " + text);
    Mac m;
    for (int i = 0; i < 6; ++i)
        m[size_t(i)] = quint8(bytes[i]);
    return m;
}

QString text(const json& j, const char* key)
{
    return QString::fromStdString(j.at(key).get<std::string>());
}

void readFaults(const json& j, Faults& f)
{
    if (!j.is_object())
        throw std::runtime_error("faults: not an object");
    for (const auto& [key, value] : j.items()) {
        if (key == "dropRequestShare")
            f.dropRequestShare = value.get<double>();
        else if (key == "dropNextRequests")
            f.dropNextRequests = value.get<int>();
        else if (key == "dropReplyShare")
            f.dropReplyShare = value.get<double>();
        else if (key == "dropNextReplies")
            f.dropNextReplies = value.get<int>();
        else if (key == "duplicateReplies")
            f.duplicateReplies = value.get<int>();
        else if (key == "replyDelayMs")
            f.replyDelayMs = value.get<int>();
        else if (key == "corruptChecksum")
            f.corruptChecksum = value.get<bool>();
        else if (key == "truncateReplies")
            f.truncateReplies = value.get<int>();
        else if (key == "answerN")
            f.answerN = value.get<bool>();
        else if (key == "nackNext")
            f.nackNext = value.get<int>();
        else if (key == "silent")
            f.silent = value.get<bool>();
        else if (key == "replyFrom")
            f.replyFrom = address(j, "replyFrom");
        else if (key == "restartSilentMs")
            f.restartSilentMs = value.get<int>();
        else if (key == "eraseMs")
            f.eraseMs = value.get<int>();
        else
            throw std::runtime_error("faults: unknown switch " + key);
    }
}

Preset preset(const std::string& name)
{
    if (name == "basic")
        return Preset::Basic;
    if (name == "rules")
        return Preset::Rules;
    if (name == "login")
        return Preset::Login;
    throw std::runtime_error("preset: basic, rules or login, not " + name);
}

} // namespace

bool readFleetFile(const std::string& content, quint32 firstAddress, const Faults& base,
                   FleetFile& out, std::string& error)
{
    try {
        const json root = json::parse(content);
        if (root.contains("port"))
            out.port = root.at("port").get<int>();
        if (root.contains("address"))
            out.address = text(root, "address");
        Faults defaults = base;
        if (root.contains("faults"))
            readFaults(root.at("faults"), defaults);
        for (const json& e : root.at("devices")) {
            const int count = e.value("count", 1);
            for (int c = 0; c < count; ++c) {
                const int n = int(out.devices.size());
                FleetDevice d{makeDevice(n, preset(e.value("preset", std::string("login")))),
                              defaults};
                DeviceState& s = d.state;
                s.address = s.ip = firstAddress + quint32(n);
                if (e.contains("address"))
                    s.address = s.ip = address(e, "address") + quint32(c);
                if (e.contains("ip"))
                    s.ip = address(e, "ip");
                if (e.contains("name"))
                    s.name = text(e, "name") + (count > 1 ? QString::number(c + 1) : QString());
                if (e.contains("mac"))
                    s.mac = mac(e.at("mac").get<std::string>(), n);
                if (e.contains("mask"))
                    s.mask = address(e, "mask");
                if (e.contains("gateway"))
                    s.gateway = address(e, "gateway");
                if (e.contains("dhcp"))
                    s.dhcp = e.at("dhcp").get<bool>();
                if (e.contains("tcpPort"))
                    s.tcpPort = e.at("tcpPort").get<quint16>();
                if (e.contains("udpPort"))
                    s.udpPort = e.at("udpPort").get<quint16>();
                if (e.contains("baud"))
                    s.baud = e.at("baud").get<quint32>();
                if (e.contains("handshaking"))
                    s.handshaking = e.at("handshaking").get<quint8>();
                if (e.contains("firmware"))
                    s.firm = version(e.at("firmware").get<std::string>(), "firmware");
                if (e.contains("boot"))
                    s.boot = version(e.at("boot").get<std::string>(), "boot");
                if (e.contains("hardware")) {
                    const Version3 v =
                        version(e.at("hardware").get<std::string>() + ".0", "hardware");
                    s.hw = {v[0], v[1]};
                }
                const std::pair<const char*, QString*> texts[] = {{"userPrompt", &s.userPrompt},
                                                                  {"passPrompt", &s.passPrompt},
                                                                  {"username", &s.username},
                                                                  {"password", &s.password}};
                for (const auto& [key, field] : texts)
                    if (e.contains(key))
                        *field = text(e, key);
                if (e.contains("rules")) {
                    const json& rules = e.at("rules");
                    if (rules.size() > 12)
                        throw std::runtime_error("rules: at most 12");
                    for (size_t i = 0; i < rules.size(); ++i)
                        s.rules[i] = {address(rules[i], "ip"), rules[i].value("port", quint16(0)),
                                      rules[i].value("flags", quint8(0)),
                                      rules[i].value("idleSecs", 0)};
                }
                if (e.contains("faults"))
                    readFaults(e.at("faults"), d.faults);
                out.devices.push_back(d);
            }
        }
        return true;
    } catch (const std::exception& ex) {
        error = ex.what();
        return false;
    }
}
