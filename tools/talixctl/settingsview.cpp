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
    // A rate or handshaking value the lists do not offer (none chosen) is kept as the device holds
    // it, so that a save command built from the view carries what the device has.
    view.settings.BaudRate = static_cast<qint32>(reply.BaudRate);
    view.settings.Handshaking = reply.Handshaking;
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

DeviceSettings SettingsToSend(const DeviceView& view)
{
    DeviceSettings s = SettingsOf(view);
    if (view.entry.BaudRate < 0)
        s.BaudRate = view.settings.BaudRate;
    if (view.entry.Handshaking < 0)
        s.Handshaking = view.settings.Handshaking;
    return s;
}

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
    out += line(CaptionOf(u"NetName"), r.NetName);
    out += line(CaptionOf(u"DHCP"), r.DHCP ? QStringLiteral("Use DHCP to obtain an IP Address")
                                                       : QStringLiteral("Use a Static IP Address"));
    out += line(CaptionOf(u"IPAddr"), r.IPAddr);
    out += line(CaptionOf(u"SubnetMask"), r.SubnetMask);
    out += line(CaptionOf(u"Gateway"), r.Gateway);
    out += line(CaptionOf(u"IPPort"), QString::number(r.IPPort));
    out += line(CaptionOf(u"BaudRate"),
                BaudRateIndex(r.BaudRate) >= 0
                    ? QString::number(r.BaudRate)
                    : QStringLiteral("%1 (not one of the rates of the list)").arg(r.BaudRate));
    out += line(CaptionOf(u"Handshaking"), handshakingText(r.Handshaking));
    if (r.UDPPort)
        out += line(CaptionOf(u"UDPPort"), QString::number(*r.UDPPort));
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
        out += line(CaptionOf(u"OutRules"),
                    inUse == 0 ? QStringLiteral("none") : QStringLiteral("%1 of %2").arg(inUse).arg(MaxOutRules));
        out += rules;
    }
    if (r.login) {
        out += line(CaptionOf(u"UserPrompt"), r.login->UserPrompt);
        out += line(CaptionOf(u"PassPrompt"), r.login->PassPrompt);
        out += line(CaptionOf(u"Username"), r.login->Username);
        out += line(CaptionOf(u"Password"), r.login->Password);
    }
    return out;
}

} // namespace talixctl
