#include "settingsrecord.h"

#include "nxfns.h"

#include <QStringView>

#include <algorithm>

namespace brevion {
namespace {

constexpr qint32 kLoginFirmware = 0x010011;
constexpr qint32 kLoginBootloader = 0x010007;
constexpr qint32 kRulesFirmware = 0x01000B;
constexpr qint32 kRulesBootloader = 0x010005;

quint8 byteAt(const QByteArray& bytes, int offset) { return static_cast<quint8>(bytes[offset]); }

quint16 word(const QByteArray& bytes, int offset)
{
    return static_cast<quint16>(byteAt(bytes, offset) * 256 + byteAt(bytes, offset + 1));
}

quint32 dword(const QByteArray& bytes, int offset)
{
    return (quint32(byteAt(bytes, offset)) << 24) | (quint32(byteAt(bytes, offset + 1)) << 16) |
           (quint32(byteAt(bytes, offset + 2)) << 8) | quint32(byteAt(bytes, offset + 3));
}

qint32 version(const QByteArray& bytes, int offset)
{
    return qint32(byteAt(bytes, offset)) * 65536 + qint32(byteAt(bytes, offset + 1)) * 256 +
           qint32(byteAt(bytes, offset + 2));
}

// The bytes as decimal numbers joined by dots ("1.0.17", "192.168.1.5"), built in one go: a
// reply holds up to seventeen of these.
QString dotted(const QByteArray& bytes, int offset, int parts)
{
    QString text(4 * 4, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    int length = 0;
    for (int i = 0; i < parts && i < 4; ++i) {
        if (i > 0)
            out[length++] = u'.';
        const int value = byteAt(bytes, offset + i);
        if (value >= 100)
            out[length++] = char16_t(u'0' + value / 100);
        if (value >= 10)
            out[length++] = char16_t(u'0' + value / 10 % 10);
        out[length++] = char16_t(u'0' + value % 10);
    }
    text.truncate(length);
    return text;
}

QString textField(const QByteArray& bytes, int offset, int size)
{
    return BytesToText(bytes, static_cast<qint16>(offset), static_cast<qint16>(size)).trimmed();
}

// Writes a command into memory sized for it beforehand, so that building one allocates once.
// Bytes beyond the size are dropped rather than written past the end.
class Writer {
public:
    explicit Writer(int size)
        : m_bytes(size, Qt::Uninitialized), m_data(m_bytes.data()), m_capacity(size)
    {
    }
    void byte(quint8 value)
    {
        if (m_size < m_capacity)
            m_data[m_size++] = char(value);
    }
    void fill(int count, char value)
    {
        for (int i = 0; i < count; ++i)
            byte(quint8(value));
    }
    // The sum of the bytes written so far.
    quint32 sum() const
    {
        quint32 total = 0;
        for (int i = 0; i < m_size; ++i)
            total += static_cast<quint8>(m_data[i]);
        return total;
    }
    QByteArray take()
    {
        m_bytes.truncate(m_size);
        return std::move(m_bytes);
    }

private:
    QByteArray m_bytes;
    char* m_data;
    int m_capacity;
    int m_size = 0;
};

void appendWord(Writer& out, quint32 value)
{
    out.byte(quint8((value >> 8) & 0xFF));
    out.byte(quint8(value & 0xFF));
}

void appendLong(Writer& out, qint32 value)
{
    quint8 b[4];
    LongToBytes(value, b[0], b[1], b[2], b[3]);
    for (quint8 x : b)
        out.byte(x);
}

void appendAddress(Writer& out, const QString& text)
{
    quint8 b[4];
    IPToBytes(text, b[0], b[1], b[2], b[3]);
    for (quint8 x : b)
        out.byte(x);
}

void appendTextField(Writer& out, const QString& text, int size)
{
    // Only spaces are trimmed: the device pads with NULs and a tab is kept as typed.
    const QString cut = TrimBlanks(QStringView(TrimBlanks(text)).left(size));
    for (QChar c : cut)
        out.byte(c.unicode() <= 0xFF ? quint8(c.unicode()) : quint8('?'));
    out.fill(size - int(cut.size()), '\0');
}

void appendRule(Writer& out, const OutCnctRule& rule)
{
    appendAddress(out, rule.IPAddr);
    appendWord(out, static_cast<quint32>(rule.Port));
    out.byte(rule.Flags);
    out.byte(0);
    appendLong(out, rule.IdleSecs);
}

quint32 commandChecksumValue(quint32 sum)
{
    return (65536u - (sum % 65536u)) % 65536u;
}

} // namespace

SettingsLayout ChooseLayout(qint32 firmVersion, qint32 bootVersion)
{
    if (firmVersion >= kLoginFirmware || (firmVersion == 0 && bootVersion >= kLoginBootloader))
        return SettingsLayout::Login;
    if (firmVersion >= kRulesFirmware || (firmVersion == 0 && bootVersion >= kRulesBootloader))
        return SettingsLayout::Rules;
    return SettingsLayout::Basic;
}

QByteArray CommandChecksum(const QByteArray& bytes)
{
    quint32 sum = 0;
    for (char c : bytes)
        sum += static_cast<quint8>(c);
    Writer out(2);
    appendWord(out, commandChecksumValue(sum));
    return out.take();
}

quint16 ReplyChecksum(const QByteArray& bytes, int count)
{
    const auto* data = reinterpret_cast<const quint8*>(bytes.constData());
    const qsizetype end = std::min<qsizetype>(count, bytes.size());
    quint32 sum = 0;
    for (qsizetype i = 0; i < end; ++i)
        sum += data[i];
    return static_cast<quint16>(65535u - (sum % 65536u));
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

QString AddressText(const QByteArray& bytes, int offset) { return dotted(bytes, offset, 4); }

OutCnctRule DecodeRule(const QByteArray& bytes, int offset)
{
    OutCnctRule rule;
    if (offset < 0 || offset + 12 > bytes.size())
        return rule;
    rule.IPAddr = AddressText(bytes, offset);
    rule.Port = word(bytes, offset + 4);
    rule.Flags = byteAt(bytes, offset + 6);
    rule.IdleSecs = static_cast<qint32>(dword(bytes, offset + 8));
    return rule;
}

QByteArray EncodeRule(const OutCnctRule& rule)
{
    Writer out(12);
    appendRule(out, rule);
    return out.take();
}

QByteArray EncodeTextField(const QString& text, int size)
{
    Writer out(std::max(size, 0));
    appendTextField(out, text, size);
    return out.take();
}

std::optional<SettingsReply> DecodeSettingsReply(const QByteArray& bytes)
{
    if (bytes.size() < kMinReplyLength)
        return std::nullopt;
    SettingsReply reply;
    reply.versions.BootVersion = version(bytes, 47);
    reply.versions.FirmVersion = version(bytes, 59);
    reply.layout = ChooseLayout(reply.versions);
    const int length = ReplyLength(reply.layout);
    if (bytes.size() < length)
        return reply; // the checksum is beyond the end: treated as a mismatch
    reply.checksumOk = word(bytes, length - 2) == ReplyChecksum(bytes, length - 2);
    if (!reply.checksumOk)
        return reply;

    reply.DHCP = byteAt(bytes, 2) != 0 || byteAt(bytes, 3) != 0;
    const bool login = reply.layout == SettingsLayout::Login;
    const int addresses = login ? 6 : 4;
    reply.IPPort = word(bytes, login ? 4 : 32);
    reply.IPAddr = AddressText(bytes, addresses);
    reply.SubnetMask = AddressText(bytes, addresses + 4);
    reply.Gateway = AddressText(bytes, addresses + 8);
    reply.NetName = textField(bytes, addresses + 12, 16);
    reply.BaudRate = dword(bytes, 34);
    reply.Handshaking = byteAt(bytes, 41);
    reply.HdweVer = dotted(bytes, 44, 2);
    reply.BootVer = dotted(bytes, 47, 3);
    reply.FirmVer = reply.versions.FirmVersion == 0 ? QStringLiteral("Erased") : dotted(bytes, 59, 3);
    if (reply.layout == SettingsLayout::Basic)
        return reply;

    reply.UDPPort = word(bytes, 90);
    reply.OutRules.emplace();
    for (int n = 1; n <= MaxOutRules; ++n)
        (*reply.OutRules)[n] = DecodeRule(bytes, 94 + 12 * (n - 1));
    if (!login)
        return reply;

    reply.login = SettingsReply::Login{textField(bytes, 238, 32), textField(bytes, 270, 32),
                                       textField(bytes, 302, 64), textField(bytes, 366, 64)};
    return reply;
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
    const bool login = layout == SettingsLayout::Login;
    Writer out(SaveCommandLength(layout));
    out.byte('X');
    out.byte('S');
    out.fill(2, settings.DHCP ? '\xFF' : '\0');
    if (login)
        appendWord(out, settings.IPPort);
    appendAddress(out, settings.IPAddr);
    appendAddress(out, settings.SubnetMask);
    appendAddress(out, settings.Gateway);
    appendTextField(out, settings.NetName, 16);
    if (!login)
        appendWord(out, settings.IPPort);
    appendLong(out, settings.BaudRate);
    out.fill(3, '\0');
    out.byte(quint8(settings.Handshaking < 0 ? 0 : settings.Handshaking & 0xFF));
    if (layout != SettingsLayout::Basic) {
        appendWord(out, settings.UDPPort);
        out.fill(2, '\0');
        for (int n = 1; n <= MaxOutRules; ++n)
            appendRule(out, settings.Rules.OutRules[n]);
    }
    if (login) {
        appendTextField(out, settings.UserPrompt, 32);
        appendTextField(out, settings.PassPrompt, 32);
        appendTextField(out, settings.Username, 64);
        appendTextField(out, settings.Password, 64);
    }
    appendWord(out, commandChecksumValue(out.sum()));
    return out.take();
}

QByteArray ReadCommand() { return QByteArrayLiteral("XQ"); }

QByteArray RebootCommand()
{
    QByteArray out("XB");
    out.append(CommandChecksum(out));
    return out;
}

} // namespace brevion
