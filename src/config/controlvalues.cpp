#include "config/controlvalues.h"

#include "wire/wireformat.h"

namespace brevion {

namespace {

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
using L = SettingsLayout;

// Where the save command carries each field (drawn in wireformat.h).
template <int wire::AddressBlock::*member, int size>
FieldBytes addressBlock(L layout)
{
    return {wire::AddressBlockOf(layout).*member, size};
}
template <int offset, int size>
FieldBytes at(L)
{
    return {offset, size};
}
template <int i>
FieldBytes loginText(L)
{
    return {wire::kSaveTail.login + wire::kLoginTextOffset[i], wire::kLoginTextBytes[i]};
}

using A = wire::AddressBlock;
using wire::kLoginTextBytes;
constexpr int kRulesBytes = wire::kRuleCount * wire::kRuleBytes;

using K = FieldKind;
constexpr auto kNoText = nullptr;
constexpr auto kNoIndex = nullptr;

// Each row: name, caption, kind, the first layout that carries it, width, its bytes in the save
// command; then where ControlValues and a settings file hold it.
// clang-format off
const SettingsField kFields[] = {
    {"DHCP",        "Address mode",                   K::Flag,        L::Basic, 0,                   &at<wire::kDhcp, 2>,
     kNoText, nullptr, kNoIndex, nullptr},
    {"IPAddr",      "IP Address",                     K::Address,     L::Basic, kAddressChars,       &addressBlock<&A::ip, 4>,
     &entryText<&E::IPAddr>, &F::IPAddr, kNoIndex, nullptr},
    {"SubnetMask",  "Subnet Mask",                    K::Address,     L::Basic, kAddressChars,       &addressBlock<&A::mask, 4>,
     &entryText<&E::SubnetMask>, &F::SubnetMask, kNoIndex, nullptr},
    {"Gateway",     "Default Gateway",                K::Address,     L::Basic, kAddressChars,       &addressBlock<&A::gateway, 4>,
     &entryText<&E::Gateway>, &F::Gateway, kNoIndex, nullptr},
    {"NetName",     "Device Name",                    K::Text,        L::Basic, wire::kNameBytes,    &addressBlock<&A::name, wire::kNameBytes>,
     &settingsText<&S::NetName>, &F::NetName, kNoIndex, nullptr},
    {"IPPort",      "TCP Port to accept connections", K::Port,        L::Basic, kPortChars,          &addressBlock<&A::tcpPort, 2>,
     &entryText<&E::IPPort>, &F::IPPort, kNoIndex, nullptr},
    {"BaudRate",    "Baud rate",                      K::BaudRate,    L::Basic, 0,                   &at<wire::kBaud, 4>,
     kNoText, nullptr, &entryIndex<&E::BaudRate>, &F::BaudRate},
    {"Handshaking", "Handshaking",                    K::Handshaking, L::Basic, 0,                   &at<wire::kHandshaking, 1>,
     kNoText, nullptr, &entryIndex<&E::Handshaking>, &F::Handshaking},
    {"UDPPort",     "Port to listen for UDP packets", K::Port,        L::Rules, kPortChars,          &at<wire::kSaveTail.udpPort, 2>,
     &entryText<&E::UDPPort>, &F::UDPPort, kNoIndex, nullptr},
    {"OutRules",    "Outgoing Connections",           K::Rules,       L::Rules, 0,                   &at<wire::kSaveTail.rules, kRulesBytes>,
     kNoText, nullptr, kNoIndex, nullptr},
    {"UserPrompt",  "Prompt for User Name",           K::Text,        L::Login, kLoginTextBytes[0],  &loginText<0>,
     &settingsText<&S::UserPrompt>, &F::UserPrompt, kNoIndex, nullptr},
    {"PassPrompt",  "Prompt for Password",            K::Text,        L::Login, kLoginTextBytes[1],  &loginText<1>,
     &settingsText<&S::PassPrompt>, &F::PassPrompt, kNoIndex, nullptr},
    {"Username",    "User Name",                      K::Text,        L::Login, kLoginTextBytes[2],  &loginText<2>,
     &settingsText<&S::Username>, &F::Username, kNoIndex, nullptr},
    {"Password",    "Password",                       K::Text,        L::Login, kLoginTextBytes[3],  &loginText<3>,
     &settingsText<&S::Password>, &F::Password, kNoIndex, nullptr},
};
// clang-format on

} // namespace

std::span<const SettingsField> SettingsFields() { return kFields; }

const SettingsField* FindSettingsField(QStringView name)
{
    for (const SettingsField& f : kFields)
        if (name == QLatin1StringView(f.name))
            return &f;
    return nullptr;
}

bool Carries(SettingsLayout layout, const SettingsField& field) { return layout >= field.layout; }

QString CaptionOf(QStringView name)
{
    const SettingsField* f = FindSettingsField(name);
    return f ? QString::fromLatin1(f->caption) : QString();
}

QString TextOf(const SettingsField& field, const ControlValues& values)
{
    return field.text(const_cast<ControlValues&>(values));
}

int IndexOf(const SettingsField& field, const ControlValues& values)
{
    return field.index(const_cast<ControlValues&>(values));
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
    for (const SettingsField& f : kFields) {
        if (f.text)
            file.*f.fileText = TextOf(f, values);
        else if (f.index)
            file.*f.fileIndex = IndexOf(f, values);
    }
    file.Rules = values.settings.Rules;
    file.Sentences = sentences;
    return file;
}

ControlValues ControlValuesOf(const SettingsFileValues& file)
{
    ControlValues values;
    values.entry.DHCP = file.DHCP;
    for (const SettingsField& f : kFields) {
        if (f.text)
            f.text(values) = file.*f.fileText;
        else if (f.index)
            f.index(values) = file.*f.fileIndex;
    }
    values.settings.Rules = file.Rules;
    ApplyEntry(values.settings, values.entry);
    return values;
}

} // namespace brevion
