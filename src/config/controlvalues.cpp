#include "config/controlvalues.h"

#include "wire/wireformat.h"

namespace brevion {

namespace {

constexpr int kAddressChars = 15; // "255.255.255.255"
constexpr int kPortChars = 5;     // "65535"

template <QString SettingsEntry::*member>
QString& entryText(ControlValues& v)
{
    return v.entry.*member;
}

template <QString DeviceSettings::*member>
QString& settingsText(ControlValues& v)
{
    return v.settings.*member;
}

template <int SettingsEntry::*member>
int& entryIndex(ControlValues& v)
{
    return v.entry.*member;
}

using F = SettingsFileValues;
using E = SettingsEntry;
using S = DeviceSettings;

const ValueControl kControls[] = {
    {"NetName", wire::kNameBytes, &settingsText<&S::NetName>, &F::NetName, nullptr, nullptr},
    {"IPAddr", kAddressChars, &entryText<&E::IPAddr>, &F::IPAddr, nullptr, nullptr},
    {"SubnetMask", kAddressChars, &entryText<&E::SubnetMask>, &F::SubnetMask, nullptr, nullptr},
    {"Gateway", kAddressChars, &entryText<&E::Gateway>, &F::Gateway, nullptr, nullptr},
    {"IPPort", kPortChars, &entryText<&E::IPPort>, &F::IPPort, nullptr, nullptr},
    {"BaudRate", 0, nullptr, nullptr, &entryIndex<&E::BaudRate>, &F::BaudRate},
    {"Handshaking", 0, nullptr, nullptr, &entryIndex<&E::Handshaking>, &F::Handshaking},
    {"UDPPort", kPortChars, &entryText<&E::UDPPort>, &F::UDPPort, nullptr, nullptr},
    {"UserPrompt", wire::kLoginTextBytes[0], &settingsText<&S::UserPrompt>, &F::UserPrompt, nullptr, nullptr},
    {"PassPrompt", wire::kLoginTextBytes[1], &settingsText<&S::PassPrompt>, &F::PassPrompt, nullptr, nullptr},
    {"Username", wire::kLoginTextBytes[2], &settingsText<&S::Username>, &F::Username, nullptr, nullptr},
    {"Password", wire::kLoginTextBytes[3], &settingsText<&S::Password>, &F::Password, nullptr, nullptr},
};

} // namespace

std::span<const ValueControl> ValueControls() { return kControls; }

const ValueControl* FindValueControl(QStringView name)
{
    for (const ValueControl& c : kControls)
        if (name == QLatin1StringView(c.name))
            return &c;
    return nullptr;
}

QString TextOf(const ValueControl& control, const ControlValues& values)
{
    return control.text(const_cast<ControlValues&>(values));
}

int IndexOf(const ValueControl& control, const ControlValues& values)
{
    return control.index(const_cast<ControlValues&>(values));
}

void ApplyReply(ControlValues& values, const SettingsReply& reply)
{
    ApplyReply(values.settings, reply);
    const DeviceSettings& s = values.settings;
    values.entry = {s.DHCP,
                    s.IPAddr,
                    s.SubnetMask,
                    s.Gateway,
                    QString::number(s.IPPort),
                    BaudRateIndex(s.BaudRate),
                    s.Handshaking,
                    reply.UDPPort ? QString::number(*reply.UDPPort) : values.entry.UDPPort};
}

DeviceSettings SettingsOf(const ControlValues& values)
{
    DeviceSettings s = values.settings;
    ApplyEntry(s, values.entry);
    return s;
}

SettingsFileValues FileValuesOf(const ControlValues& values, const std::array<QString, MaxOutRules + 1>& sentences)
{
    SettingsFileValues file;
    file.DHCP = values.entry.DHCP;
    for (const ValueControl& c : kControls) {
        if (c.text)
            file.*c.fileText = TextOf(c, values);
        else
            file.*c.fileIndex = IndexOf(c, values);
    }
    file.Rules = values.settings.Rules;
    file.Sentences = sentences;
    return file;
}

ControlValues ControlValuesOf(const SettingsFileValues& file)
{
    ControlValues values;
    values.entry.DHCP = file.DHCP;
    for (const ValueControl& c : kControls) {
        if (c.text)
            c.text(values) = file.*c.fileText;
        else
            c.index(values) = file.*c.fileIndex;
    }
    values.settings.Rules = file.Rules;
    ApplyEntry(values.settings, values.entry);
    return values;
}

} // namespace brevion
