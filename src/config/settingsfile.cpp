#include "config/settingsfile.h"

#include "common/nxfns.h"
#include "common/regularfile.h"

#include <QList>

#include <limits>

namespace brevion {
namespace {

// ---- writing -------------------------------------------------------------------------------

class LineWriter {
public:
    void Text(const QString& value)
    {
        QString v = value;
        // One value a line: a line break inside would shift every following value.
        v.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        v.replace(QStringLiteral("\""), QStringLiteral("\"\""));
        Line(QLatin1Char('"') + v + QLatin1Char('"'));
    }
    void Number(qint64 value) { Line(QString::number(value)); }
    void Boolean(bool value) { Line(value ? QStringLiteral("#TRUE#") : QStringLiteral("#FALSE#")); }
    QByteArray Bytes() const { return m_bytes; }

private:
    void Line(const QString& text)
    {
        m_bytes += text.toLatin1();
        m_bytes += "\r\n";
    }
    QByteArray m_bytes;
};

// ---- reading -------------------------------------------------------------------------------

struct BadLine {
    QString reason;
};

// Optional sign, then decimal digits only.
bool IsWholeNumber(const QString& s)
{
    int i = 0;
    if (i < s.size() && (s[i] == QLatin1Char('-') || s[i] == QLatin1Char('+')))
        ++i;
    if (i == s.size())
        return false;
    for (; i < s.size(); ++i)
        if (s[i] < QLatin1Char('0') || s[i] > QLatin1Char('9'))
            return false;
    return true;
}

class LineReader {
public:
    explicit LineReader(const QByteArray& bytes)
    {
        QList<QByteArray> lines = bytes.split('\n');
        // A final line break leaves one empty piece behind it.
        if (!lines.isEmpty() && lines.constLast().isEmpty())
            lines.removeLast();
        for (QByteArray& line : lines) {
            if (line.endsWith('\r'))
                line.chop(1);
            // A carriage return inside a value cannot be written back (the writer turns it into
            // a blank); read it as that blank, so that a loaded file saves to the same values.
            line.replace('\r', ' ');
            m_lines << QString::fromLatin1(line);
        }
    }

    int Count() const { return int(m_lines.size()); }

    // Text of line n (1-based), unquoted, blanks at its ends removed; an unquoted line is taken
    // as it stands.
    std::optional<QString> Text(int n, BadLine& bad) const
    {
        const QString line = m_lines[n - 1].trimmed();
        if (!line.startsWith(QLatin1Char('"')))
            return TrimBlanks(m_lines[n - 1]);
        if (line.size() < 2 || !line.endsWith(QLatin1Char('"'))) {
            bad.reason = QStringLiteral("text without its closing quote");
            return std::nullopt;
        }
        return TrimBlanks(line.mid(1, line.size() - 2).replace(QStringLiteral("\"\""), QStringLiteral("\"")));
    }

    // A whole number: optional blanks and sign, decimal digits.
    std::optional<qint64> Number(int n, BadLine& bad) const
    {
        const QString line = m_lines[n - 1].trimmed();
        if (!IsWholeNumber(line)) {
            bad.reason = QStringLiteral("a whole number was expected");
            return std::nullopt;
        }
        bool ok = false;
        const qint64 value = line.toLongLong(&ok);
        if (!ok) {
            bad.reason = QStringLiteral("the number is too large");
            return std::nullopt;
        }
        return value;
    }

    std::optional<qint32> Number32(int n, BadLine& bad) const
    {
        const auto value = Number(n, bad);
        if (!value)
            return std::nullopt;
        if (*value < std::numeric_limits<qint32>::min() ||
            *value > std::numeric_limits<qint32>::max()) {
            bad.reason = QStringLiteral("the number is out of range");
            return std::nullopt;
        }
        return qint32(*value);
    }

    std::optional<bool> Boolean(int n, BadLine& bad) const
    {
        const QString line = m_lines[n - 1].trimmed();
        if (line.compare(QStringLiteral("#TRUE#"), Qt::CaseInsensitive) == 0)
            return true;
        if (line.compare(QStringLiteral("#FALSE#"), Qt::CaseInsensitive) == 0)
            return false;
        bad.reason = QStringLiteral("#TRUE# or #FALSE# was expected");
        return std::nullopt;
    }

private:
    QStringList m_lines;
};

} // namespace

QByteArray EncodeSettingsFile(const SettingsFileValues& v)
{
    LineWriter w;
    w.Boolean(v.DHCP);
    w.Text(v.IPAddr);
    w.Text(v.SubnetMask);
    w.Text(v.Gateway);
    w.Text(v.NetName);
    w.Text(v.IPPort);
    w.Number(v.BaudRate);
    w.Number(v.Handshaking);
    w.Text(v.UDPPort);
    w.Number(v.Rules.OutCount);
    for (int n = 1; n <= MaxOutRules; ++n) {
        const OutCnctRule& rule = v.Rules.OutRules[n];
        w.Text(v.Sentences[n]);
        w.Text(rule.IPAddr);
        w.Number(rule.Port);
        w.Number(rule.Flags);
        w.Number(rule.IdleSecs);
    }
    w.Text(v.UserPrompt);
    w.Text(v.PassPrompt);
    w.Text(v.Username);
    w.Text(v.Password);
    return w.Bytes();
}

SettingsFileDecode DecodeSettingsFile(const QByteArray& bytes, const SettingsFileValues& previous)
{
    SettingsFileDecode result;
    const LineReader r(bytes);
    if (r.Count() < kSettingsFileLines) {
        result.line = r.Count() + 1;
        result.reason = QStringLiteral("the file ends after %1 of %2 lines")
                            .arg(r.Count())
                            .arg(kSettingsFileLines);
        return result;
    }

    SettingsFileValues v = previous;
    int line = 0;
    BadLine bad;
    auto fail = [&]() {
        result.line = line;
        result.reason = bad.reason;
        return result;
    };
    auto text = [&](QString& into) {
        const auto value = r.Text(++line, bad);
        if (value)
            into = *value;
        return value.has_value();
    };
    auto number = [&](qint32& into, qint64 low, qint64 high) {
        const auto value = r.Number32(++line, bad);
        if (!value)
            return false;
        if (*value < low || *value > high) {
            bad.reason = QStringLiteral("the value must lie between %1 and %2").arg(low).arg(high);
            return false;
        }
        into = *value;
        return true;
    };
    constexpr qint64 kMin32 = std::numeric_limits<qint32>::min();
    constexpr qint64 kMax32 = std::numeric_limits<qint32>::max();

    const auto dhcp = r.Boolean(++line, bad);
    if (!dhcp)
        return fail();
    v.DHCP = *dhcp;
    if (!text(v.IPAddr) || !text(v.SubnetMask) || !text(v.Gateway) || !text(v.NetName) ||
        !text(v.IPPort))
        return fail();
    if (!number(v.BaudRate, -1, kBaudRateCount - 1) ||
        !number(v.Handshaking, -1, kHandshakingCount - 1))
        return fail();
    if (!text(v.UDPPort))
        return fail();
    qint32 outCount = 0;
    if (!number(outCount, 0, MaxOutRules))
        return fail();
    v.Rules.OutCount = qint16(outCount);

    for (int n = 1; n <= MaxOutRules; ++n) {
        OutCnctRule& rule = v.Rules.OutRules[n];
        if (!text(v.Sentences[n]) || !text(rule.IPAddr) ||
            !number(rule.Port, kMin32, kMax32))
            return fail();
        const auto flags = r.Number(++line, bad);
        if (!flags)
            return fail();
        if (*flags >= 0 && *flags <= 255)
            rule.Flags = quint8(*flags);
        else
            rule.Flags = previous.Rules.OutRules[n].Flags;
        if (!number(rule.IdleSecs, kMin32, kMax32))
            return fail();
    }
    if (!text(v.UserPrompt) || !text(v.PassPrompt) || !text(v.Username) || !text(v.Password))
        return fail();
    Q_ASSERT(line == kSettingsFileLines);
    result.values = v;
    return result;
}

std::optional<QString> SaveSettingsFile(const QString& path, const SettingsFileValues& values, ReplaceMode mode)
{
    return ReplaceRegularFile(path, EncodeSettingsFile(values), mode);
}

SettingsFileDecode LoadSettingsFile(const QString& path, const SettingsFileValues& previous)
{
    const RegularFileRead file = ReadRegularFile(path, kMaxSettingsFileBytes);
    if (!file.bytes) {
        SettingsFileDecode result;
        result.reason = file.reason;
        return result;
    }
    return DecodeSettingsFile(*file.bytes, previous);
}

} // namespace brevion
