#include "settingsview.h"

#include "common/nxfns.h"
#include "settingsjson.h"

namespace talixctl {

using namespace brevion;

DeviceView ViewOfReply(const SettingsReply& reply)
{
    DeviceView view;
    view.settings.Handshaking = -1;
    ApplyReply(view, reply);
    return view;
}

SettingsFileValues FileValuesOf(const DeviceView& view)
{
    std::array<QString, MaxOutRules + 1> sentences;
    for (int n = 1; n <= MaxOutRules; ++n)
        sentences[n] = RuleDescription(view.settings.Rules.OutRules[n]);
    return FileValuesOf(view, sentences);
}

DeviceView ViewOfFileValues(const SettingsFileValues& values) { return ControlValuesOf(values); }

DeviceSettings SettingsToSend(const DeviceView& view) { return SettingsOf(view); }

namespace {

QString line(const QString& caption, const QString& value)
{
    return (caption + QLatin1Char(':')).leftJustified(32) + value + QLatin1Char('\n');
}

QString handshakingText(int index)
{
    switch (index) {
    case 0:
        return QStringLiteral("None");
    case 1:
        return QStringLiteral("Hardware (CTS/RTS)");
    case 2:
        return QStringLiteral("Software (XON/XOFF)");
    }
    return QStringLiteral("%1 (not one of the entries of the list)").arg(index);
}

} // namespace

QString SettingsListing(const SettingsReply& r)
{
    QString out;
    out += line(QStringLiteral("Layout"), LayoutName(r.layout));
    out += line(QStringLiteral("Hardware version"), r.HdweVer);
    out += line(QStringLiteral("Bootloader version"), r.BootVer);
    out += line(QStringLiteral("Firmware version"), r.FirmVer);
    out += line(QStringLiteral("Device Name"), r.NetName);
    out += line(QStringLiteral("Address mode"), r.DHCP ? QStringLiteral("Use DHCP to obtain an IP Address")
                                                       : QStringLiteral("Use a Static IP Address"));
    out += line(QStringLiteral("IP Address"), r.IPAddr);
    out += line(QStringLiteral("Subnet Mask"), r.SubnetMask);
    out += line(QStringLiteral("Default Gateway"), r.Gateway);
    out += line(QStringLiteral("TCP Port to accept connections"), QString::number(r.IPPort));
    out += line(QStringLiteral("Baud rate"),
                BaudRateIndex(r.BaudRate) >= 0
                    ? QString::number(r.BaudRate)
                    : QStringLiteral("%1 (not one of the rates of the list)").arg(r.BaudRate));
    out += line(QStringLiteral("Handshaking"), handshakingText(r.Handshaking));
    if (r.UDPPort)
        out += line(QStringLiteral("Port to listen for UDP packets"), QString::number(*r.UDPPort));
    if (r.OutRules) {
        QString rules;
        int inUse = 0;
        for (int n = 1; n <= MaxOutRules; ++n) {
            const OutCnctRule& rule = (*r.OutRules)[n];
            if (!rule.InUse())
                continue;
            ++inUse;
            rules += QStringLiteral("  %1. ").arg(n, 2) + RuleDescription(rule) + QLatin1Char('\n');
        }
        out += line(QStringLiteral("Outgoing Connections"),
                    inUse == 0 ? QStringLiteral("none") : QStringLiteral("%1 of %2").arg(inUse).arg(MaxOutRules));
        out += rules;
    }
    if (r.login) {
        out += line(QStringLiteral("Prompt for User Name"), r.login->UserPrompt);
        out += line(QStringLiteral("Prompt for Password"), r.login->PassPrompt);
        out += line(QStringLiteral("User Name"), r.login->Username);
        out += line(QStringLiteral("Password"), r.login->Password);
    }
    return out;
}

} // namespace talixctl
