#include "config/settingsrecord.h"

#include "common/nxfns.h"

#include <QStringView>

#include <algorithm>
#include <cstring>

namespace brevion {
namespace {

using wire::Get16;
using wire::Get32;
using wire::Put16;
using wire::Put32;

const QString& erasedText()
{
    static const QString text = QStringLiteral("Erased");
    return text;
}

void decodeRule(OutCnctRule& rule, const uchar* p)
{
    AssignDottedText(rule.IPAddr, p + wire::kRuleAddress, 4);
    rule.Port = Get16(p + wire::kRulePort);
    rule.Flags = p[wire::kRuleFlags];
    rule.IdleSecs = static_cast<qint32>(Get32(p + wire::kRuleIdle));
}

// The fields every layout carries, at the places the layout puts them.
void decodeCommon(const uchar* p, SettingsReply& reply)
{
    const wire::AddressBlock a = wire::AddressBlockOf(reply.layout);
    reply.DHCP = p[wire::kDhcp] != 0 || p[wire::kDhcp + 1] != 0;
    reply.IPPort = Get16(p + a.tcpPort);
    AssignDottedText(reply.IPAddr, p + a.ip, 4);
    AssignDottedText(reply.SubnetMask, p + a.mask, 4);
    AssignDottedText(reply.Gateway, p + a.gateway, 4);
    AssignPrintableText(reply.NetName, p + a.name, wire::kNameBytes);
    reply.BaudRate = Get32(p + wire::kBaud);
    reply.Handshaking = p[wire::kHandshaking];
    AssignDottedText(reply.HdweVer, p + wire::kHardwareVersion, 2);
    AssignDottedText(reply.BootVer, p + wire::kBootVersion, 3);
    if (reply.versions.FirmVersion == 0)
        reply.FirmVer = erasedText();
    else
        AssignDottedText(reply.FirmVer, p + wire::kFirmVersion, 3);
}

// Only spaces are trimmed: the device pads with NULs and a tab is kept as typed.
QStringView trimBlanks(QStringView text)
{
    int first = 0;
    int last = text.size();
    while (first < last && text[first] == QLatin1Char(' '))
        ++first;
    while (last > first && text[last - 1] == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

// Writes a text field into zeroed memory: what is not written stays the padding.
void putText(uchar* p, const QString& text, int size)
{
    const QStringView cut = trimBlanks(trimBlanks(text).left(size));
    for (QChar c : cut)
        *p++ = c.unicode() <= 0xFF ? uchar(c.unicode()) : uchar('?');
}

// An address the strict parser refuses goes out as 0.0.0.0, as IPToBytes has it.
void putAddress(uchar* p, const QString& text)
{
    Put32(p, ParseIPv4(text).value_or(0));
}

void putRule(uchar* p, const OutCnctRule& rule)
{
    putAddress(p + wire::kRuleAddress, rule.IPAddr);
    Put16(p + wire::kRulePort, static_cast<quint32>(rule.Port));
    p[wire::kRuleFlags] = rule.Flags;
    Put32(p + wire::kRuleIdle, static_cast<quint32>(rule.IdleSecs));
}

QByteArray twoBytes(quint16 value)
{
    QByteArray out(wire::kChecksumBytes, Qt::Uninitialized);
    Put16(wire::U(out.data()), value);
    return out;
}

} // namespace

QByteArray CommandChecksum(const QByteArray& bytes)
{
    return twoBytes(wire::CommandChecksum(wire::U(bytes.constData()), size_t(bytes.size())));
}

quint16 ReplyChecksum(const QByteArray& bytes, int count)
{
    const qsizetype end = std::clamp<qsizetype>(count, 0, bytes.size());
    return wire::ReplyChecksum(wire::U(bytes.constData()), size_t(end));
}

int BaudRateIndex(qint64 rate)
{
    for (int i = 0; i < int(kBaudRates.size()); ++i)
        if (kBaudRates[i] == rate)
            return i;
    return -1;
}

std::optional<quint16> ParsePort(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 5)
        return std::nullopt;
    for (QChar c : t)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    const int value = t.toInt();
    if (value > 65535)
        return std::nullopt;
    return static_cast<quint16>(value);
}

QByteArray EncodeTextField(const QString& text, int size)
{
    QByteArray out(std::max(size, 0), '\0');
    putText(wire::U(out.data()), text, size);
    return out;
}

std::optional<SettingsReply> DecodeSettingsReply(const QByteArray& bytes)
{
    SettingsReply reply;
    if (!DecodeSettingsReply(bytes, reply))
        return std::nullopt;
    return reply;
}

bool DecodeSettingsReply(const QByteArray& bytes, SettingsReply& reply)
{
    if (bytes.size() < wire::kMinSettingsReply)
        return false;
    const uchar* p = wire::U(bytes.constData());
    reply.versions.BootVersion = wire::VersionAt(p + wire::kBootVersion);
    reply.versions.FirmVersion = wire::VersionAt(p + wire::kFirmVersion);
    reply.layout = ChooseLayout(reply.versions);
    const int length = ReplyLength(reply.layout);
    // A reply shorter than its layout has no checksum to compare: treated as a mismatch.
    reply.checksumOk = bytes.size() >= length &&
                       Get16(p + length - wire::kChecksumBytes) ==
                           wire::ReplyChecksum(p, size_t(length - wire::kChecksumBytes));
    if (!reply.checksumOk)
        return true;

    decodeCommon(p, reply);
    if (reply.layout == SettingsLayout::Basic) {
        reply.UDPPort.reset();
        reply.OutRules.reset();
        reply.login.reset();
        return true;
    }
    const wire::RecordTail tail = wire::kReplyTail;
    reply.UDPPort = Get16(p + tail.udpPort);
    if (!reply.OutRules)
        reply.OutRules.emplace();
    for (int n = 1; n <= MaxOutRules; ++n)
        decodeRule((*reply.OutRules)[n], p + tail.rules + wire::kRuleBytes * (n - 1));
    if (reply.layout != SettingsLayout::Login) {
        reply.login.reset();
        return true;
    }
    if (!reply.login)
        reply.login.emplace();
    QString* texts[wire::kLoginTexts] = {&reply.login->UserPrompt, &reply.login->PassPrompt,
                                         &reply.login->Username, &reply.login->Password};
    for (int i = 0; i < wire::kLoginTexts; ++i)
        AssignPrintableText(*texts[i], p + tail.login + wire::kLoginTextOffset[i], wire::kLoginTextBytes[i]);
    return true;
}

void ApplyReply(DeviceSettings& settings, const SettingsReply& reply)
{
    if (!reply.checksumOk)
        return;
    settings.DHCP = reply.DHCP;
    settings.IPAddr = reply.IPAddr;
    settings.SubnetMask = reply.SubnetMask;
    settings.Gateway = reply.Gateway;
    settings.NetName = reply.NetName;
    settings.IPPort = reply.IPPort;
    if (BaudRateIndex(reply.BaudRate) >= 0)
        settings.BaudRate = static_cast<qint32>(reply.BaudRate);
    if (reply.Handshaking < kHandshakingEntries)
        settings.Handshaking = reply.Handshaking;
    if (reply.UDPPort)
        settings.UDPPort = *reply.UDPPort;
    if (reply.OutRules) {
        settings.Rules.OutRules = *reply.OutRules;
        settings.Rules.OutCount = static_cast<qint16>(settings.Rules.CountInUse());
    }
    if (reply.login) {
        settings.UserPrompt = reply.login->UserPrompt;
        settings.PassPrompt = reply.login->PassPrompt;
        settings.Username = reply.login->Username;
        settings.Password = reply.login->Password;
    }
}

QByteArray BuildSaveCommand(const DeviceSettings& settings, SettingsLayout layout)
{
    QByteArray out;
    BuildSaveCommand(settings, layout, out);
    return out;
}

void BuildSaveCommand(const DeviceSettings& settings, SettingsLayout layout, QByteArray& out)
{
    const int length = SaveCommandLength(layout);
    out.resize(length);
    uchar* p = wire::U(out.data());
    std::memset(p, 0, size_t(length)); // padding and reserved bytes
    p[0] = wire::kX;
    p[1] = wire::kSave;
    p[wire::kDhcp] = p[wire::kDhcp + 1] = settings.DHCP ? 0xFF : 0x00;
    const wire::AddressBlock a = wire::AddressBlockOf(layout);
    Put16(p + a.tcpPort, settings.IPPort);
    putAddress(p + a.ip, settings.IPAddr);
    putAddress(p + a.mask, settings.SubnetMask);
    putAddress(p + a.gateway, settings.Gateway);
    putText(p + a.name, settings.NetName, wire::kNameBytes);
    Put32(p + wire::kBaud, static_cast<quint32>(settings.BaudRate));
    p[wire::kHandshaking] = quint8(settings.Handshaking < 0 ? 0 : settings.Handshaking & 0xFF);
    const wire::RecordTail tail = wire::kSaveTail;
    if (layout != SettingsLayout::Basic) {
        Put16(p + tail.udpPort, settings.UDPPort);
        for (int n = 1; n <= MaxOutRules; ++n)
            putRule(p + tail.rules + wire::kRuleBytes * (n - 1), settings.Rules.OutRules[n]);
    }
    if (layout == SettingsLayout::Login) {
        const QString* texts[wire::kLoginTexts] = {&settings.UserPrompt, &settings.PassPrompt,
                                                   &settings.Username, &settings.Password};
        for (int i = 0; i < wire::kLoginTexts; ++i)
            putText(p + tail.login + wire::kLoginTextOffset[i], *texts[i], wire::kLoginTextBytes[i]);
    }
    const size_t body = size_t(length - wire::kChecksumBytes);
    Put16(p + body, wire::CommandChecksum(p, body));
}

QByteArray ReadCommand() { return QByteArrayLiteral("XQ"); }

QByteArray RebootCommand()
{
    QByteArray out("XB");
    out.append(CommandChecksum(out));
    return out;
}

} // namespace brevion
