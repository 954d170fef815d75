#include "config/settingscheck.h"

#include "config/controlvalues.h"
#include "common/nxfns.h"
#include "wire/wireformat.h"

#include <QList>

namespace brevion {

namespace {

std::optional<InvalidSetting> checkText(const QString& field, const QString& text, int size)
{
    const QString sent = TrimBlanks(text);
    for (const char32_t c : sent.toUcs4())
        if (c > 0xFF)
            return InvalidSetting{
                field, QStringLiteral("The device cannot store the character \"%1\": only the characters of "
                                      "ISO-8859-1 (Western European) can be sent.")
                           .arg(QString::fromUcs4(&c, 1))};
    if (sent.size() > size)
        return InvalidSetting{field, QStringLiteral("It must be at most %1 characters long.").arg(size)};
    return std::nullopt;
}

std::optional<InvalidSetting> checkRule(int slot, const OutCnctRule& rule)
{
    const QString field = CaptionOf(u"OutRules") + QStringLiteral(", rule %1").arg(slot);
    if (!rule.IPAddr.isEmpty() && !IsValidIP(rule.IPAddr))
        return InvalidSetting{field, QStringLiteral("Its address must be a dotted address such as 192.168.1.20.")};
    if (rule.Port < 0 || rule.Port > 65535)
        return InvalidSetting{field, QStringLiteral("Its port must be a whole number from 0 to 65535.")};
    if (rule.InUse() && (rule.IdleSecs < 0 || rule.IdleSecs > kMaxIdleSecs))
        return InvalidSetting{field, QStringLiteral("Its inactivity time must be from 0 to %1 seconds.").arg(kMaxIdleSecs)};
    return std::nullopt;
}

// 224.0.0.0 and above: multicast, reserved and broadcast addresses, never one device's own.
constexpr quint32 kMulticastFirst = 0xE0000000u;

quint32 addressValue(const QString& text)
{
    quint8 b[4];
    IPToBytes(text, b[0], b[1], b[2], b[3]);
    return quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | b[3];
}

// The static addresses: after a restart the device is reachable only through them. held: the
// device's own entry when it already has a static address; what equals it is not judged. Masks
// of no bits and of all bits, and no gateway (0.0.0.0), are settings a device may have on purpose.
std::optional<InvalidSetting> checkAddresses(const SettingsEntry& entry, const SettingsEntry* held)
{
    const auto supplied = [held](const QString& text, QString SettingsEntry::*field) {
        return !held || held->DHCP || text != held->*field;
    };
    const QString ip = CaptionOf(u"IPAddr"), mask = CaptionOf(u"SubnetMask"), gateway = CaptionOf(u"Gateway");
    if (supplied(entry.IPAddr, &SettingsEntry::IPAddr)) {
        if (!IsValidIP(entry.IPAddr))
            return InvalidSetting{ip, QStringLiteral("It must be a dotted address such as 192.168.1.20.")};
        const quint32 a = addressValue(entry.IPAddr);
        if (a == 0 || a >= kMulticastFirst)
            return InvalidSetting{ip, QStringLiteral("It must be an address one device can have, such as 192.168.1.20: "
                                                     "not 0.0.0.0, and below 224.0.0.0 (multicast and broadcast).")};
    }
    if (supplied(entry.SubnetMask, &SettingsEntry::SubnetMask)) {
        if (!IsValidIP(entry.SubnetMask))
            return InvalidSetting{mask, QStringLiteral("It must be a dotted address such as 255.255.255.0.")};
        const quint32 hosts = ~addressValue(entry.SubnetMask);
        if ((hosts & (hosts + 1)) != 0)
            return InvalidSetting{mask, QStringLiteral("Its ones must be contiguous from the left, such as 255.255.255.0 "
                                                       "or 255.255.0.0.")};
    }
    if (supplied(entry.Gateway, &SettingsEntry::Gateway)) {
        if (!IsValidIP(entry.Gateway))
            return InvalidSetting{gateway, QStringLiteral("It must be a dotted address such as 192.168.1.1.")};
        if (addressValue(entry.Gateway) >= kMulticastFirst)
            return InvalidSetting{gateway, QStringLiteral("It must be a router's address below 224.0.0.0, such as "
                                                          "192.168.1.1, or 0.0.0.0 for none.")};
    }
    return std::nullopt;
}

std::optional<InvalidSetting> checkEntry(const SettingsEntry& entry, SettingsLayout layout, const SettingsEntry* held)
{
    if (!entry.DHCP)
        if (auto invalid = checkAddresses(entry, held))
            return invalid;
    const QString port = QStringLiteral("It must be a whole number from 0 to 65535.");
    if (!ParsePort(entry.IPPort))
        return InvalidSetting{CaptionOf(u"IPPort"), port};
    if (entry.BaudRate < 0 || entry.BaudRate >= int(kBaudRates.size()))
        return InvalidSetting{CaptionOf(u"BaudRate"),
                              QStringLiteral("Please choose one of the rates in the list.")};
    if (entry.Handshaking < 0 || entry.Handshaking >= kHandshakingEntries)
        return InvalidSetting{CaptionOf(u"Handshaking"),
                              QStringLiteral("Please choose one of the entries in the list.")};
    if (layout != SettingsLayout::Basic && !ParsePort(entry.UDPPort))
        return InvalidSetting{CaptionOf(u"UDPPort"), port};
    return std::nullopt;
}

} // namespace

std::optional<InvalidSetting> CheckSettings(const SettingsEntry& entry, const DeviceSettings& settings,
                                            SettingsLayout layout, const ControlValues* held)
{
    if (auto invalid = checkEntry(entry, layout, held ? &held->entry : nullptr))
        return invalid;
    // The texts: the device name, and the login texts where the layout carries them.
    const ControlValues values{entry, settings};
    for (const SettingsField& f : SettingsFields())
        if (f.kind == FieldKind::Text && Carries(layout, f))
            if (auto invalid = checkText(QString::fromLatin1(f.caption), TextOf(f, values), f.width))
                return invalid;
    if (layout != SettingsLayout::Basic)
        for (int n = 1; n <= MaxOutRules; ++n)
            if (!held || settings.Rules.OutRules[n] != held->settings.Rules.OutRules[n])
                if (auto invalid = checkRule(n, settings.Rules.OutRules[n]))
                    return invalid;
    return std::nullopt;
}

QString InvalidValueTitle()
{
    return QStringLiteral("Invalid Value");
}

QString InvalidValueText(const InvalidSetting& invalid)
{
    return QStringLiteral("The value of \"%1\" cannot be sent to the device.").arg(invalid.field) +
           QStringLiteral("\r\n") + invalid.rule;
}

void ApplyEntry(DeviceSettings& settings, const SettingsEntry& entry)
{
    settings.DHCP = entry.DHCP;
    settings.IPAddr = entry.IPAddr;
    settings.SubnetMask = entry.SubnetMask;
    settings.Gateway = entry.Gateway;
    settings.IPPort = ParsePort(entry.IPPort).value_or(0);
    settings.BaudRate = entry.BaudRate >= 0 && entry.BaudRate < int(kBaudRates.size())
                            ? kBaudRates[entry.BaudRate]
                            : 0;
    settings.Handshaking = entry.Handshaking;
    settings.UDPPort = ParsePort(entry.UDPPort).value_or(0);
}

} // namespace brevion
