#include "settingscheck.h"

#include "nxfns.h"

namespace brevion {

std::optional<InvalidSetting> CheckSettingsEntry(const SettingsEntry& entry, SettingsLayout layout)
{
    if (!entry.DHCP) {
        if (!IsValidIP(entry.IPAddr))
            return InvalidSetting{
                QStringLiteral("IP Address"),
                QStringLiteral("It must be a dotted address such as 192.168.1.20.")};
        if (!IsValidIP(entry.SubnetMask))
            return InvalidSetting{
                QStringLiteral("Subnet Mask"),
                QStringLiteral("It must be a dotted address such as 255.255.255.0.")};
        if (!IsValidIP(entry.Gateway))
            return InvalidSetting{
                QStringLiteral("Default Gateway"),
                QStringLiteral("It must be a dotted address such as 192.168.1.1.")};
    }
    const QString port = QStringLiteral("It must be a whole number from 0 to 65535.");
    if (!ParsePort(entry.IPPort))
        return InvalidSetting{QStringLiteral("TCP Port to accept connections"), port};
    if (entry.BaudRate < 0 || entry.BaudRate >= int(kBaudRates.size()))
        return InvalidSetting{QStringLiteral("Baud rate"),
                              QStringLiteral("Please choose one of the rates in the list.")};
    if (entry.Handshaking < 0 || entry.Handshaking >= kHandshakingEntries)
        return InvalidSetting{QStringLiteral("Handshaking"),
                              QStringLiteral("Please choose one of the entries in the list.")};
    if (layout != SettingsLayout::Basic && !ParsePort(entry.UDPPort))
        return InvalidSetting{QStringLiteral("Port to listen for UDP packets"), port};
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
