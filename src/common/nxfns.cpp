#include "common/nxfns.h"

#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace brevion {

QString BytesToText(const QByteArray& bytes, qint16 first, qint16 count)
{
    const int last = int(first) + int(count) - 1;
    if (last > bytes.size() - 1 || first < 0)
        return {};
    QString text(count > 0 ? count : 0, Qt::Uninitialized);
    QChar* out = text.data();
    const auto* in = reinterpret_cast<const quint8*>(bytes.constData());
    qsizetype length = 0;
    for (int k = first; k <= last; ++k) {
        const int c = in[k] & 127;
        if (c >= 32 && c <= 126)
            out[length++] = QChar(c);
    }
    text.resize(length);
    return text;
}

namespace {

// Replaces text by n characters, reusing its memory (and its length, when that fits already).
// Fields are short: a plain loop beats a call to memmove.
template <typename Char>
void assignChars(QString& text, const Char* chars, qsizetype n)
{
    if (text.size() != n)
        text.resize(n);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype i = 0; i < n; ++i)
        out[i] = char16_t(chars[i]);
}

bool allZero(const uchar* bytes, int count)
{
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        quint64 word;
        std::memcpy(&word, bytes + i, sizeof word);
        if (word != 0)
            return false;
    }
    for (; i < count; ++i)
        if (bytes[i] != 0)
            return false;
    return true;
}

} // namespace

void AssignPrintableText(QString& text, const uchar* bytes, int count)
{
    // The usual field: printable ASCII, then NUL padding. Nothing to drop, only spaces to trim.
    int end = 0;
    while (end < count && bytes[end] - 32u <= 126u - 32u)
        ++end;
    if (allZero(bytes + end, count - end)) {
        int first = 0;
        while (first < end && bytes[first] == ' ')
            ++first;
        while (end > first && bytes[end - 1] == ' ')
            --end;
        assignChars(text, bytes + first, end - first);
        return;
    }
    text = BytesToText(QByteArray::fromRawData(reinterpret_cast<const char*>(bytes), count), 0,
                       static_cast<qint16>(count)).trimmed();
}

namespace {

// Each byte value's decimal digits, left-aligned, and their count in the last place: a dotted
// text is then copied together without a branch on the number of digits.
struct Decimal {
    char text[4];
};
constexpr std::array<Decimal, 256> kDecimals = [] {
    std::array<Decimal, 256> table{};
    for (int v = 0; v < 256; ++v) {
        Decimal& d = table[v];
        int n = 0;
        if (v >= 100)
            d.text[n++] = char('0' + v / 100);
        if (v >= 10)
            d.text[n++] = char('0' + v / 10 % 10);
        d.text[n++] = char('0' + v % 10);
        d.text[3] = char(n);
    }
    return table;
}();

} // namespace

void AssignDottedText(QString& text, const uchar* bytes, int parts)
{
    // Room for three digits at every place, so that each part is written whole; the characters
    // past the end, the terminating NUL's place among them, are set right after.
    constexpr int kRoom = 4 * 4 + 2;
    text.data(); // detached first, so that the room reserved stays its own
    if (text.capacity() < kRoom)
        text.reserve(kRoom);
    char16_t* const first = reinterpret_cast<char16_t*>(text.data());
    char16_t* out = first;
    for (int i = 0; i < parts && i < 4; ++i) {
        const Decimal& d = kDecimals[bytes[i]];
        out[0] = char16_t(d.text[0]);
        out[1] = char16_t(d.text[1]);
        out[2] = char16_t(d.text[2]);
        out += d.text[3];
        *out++ = u'.';
    }
    const qsizetype length = out > first ? out - first - 1 : 0;
    if (text.size() != length)
        text.resize(length); // within the room: moves the end and writes the NUL
    else
        first[length] = u'\0';
}

namespace {

// Reads views, so that splitting an address copies no text.
std::optional<double> numericValue(QStringView text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first].isSpace())
        ++first;
    while (last > first && text[last - 1].isSpace())
        --last;
    const QStringView t = text.mid(first, last - first);
    int i = 0;
    const int n = t.size();
    bool negative = false;
    if (i < n && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) {
        negative = t[i] == QLatin1Char('-');
        ++i;
    }
    double value = 0;
    int digits = 0;
    while (i < n && t[i] >= QLatin1Char('0') && t[i] <= QLatin1Char('9')) {
        value = value * 10 + (t[i].unicode() - '0');
        ++i;
        ++digits;
    }
    if (i < n && t[i] == QLatin1Char('.')) {
        ++i;
        double scale = 0.1;
        while (i < n && t[i] >= QLatin1Char('0') && t[i] <= QLatin1Char('9')) {
            value += (t[i].unicode() - '0') * scale;
            scale /= 10;
            ++i;
            ++digits;
        }
    }
    if (digits == 0 || i != n)
        return std::nullopt;
    return negative ? -value : value;
}

} // namespace

std::optional<double> NumericValue(const QString& text)
{
    return numericValue(text);
}

double RoundHalfEven(double value)
{
    const double floor = std::floor(value);
    const double diff = value - floor;
    if (diff > 0.5)
        return floor + 1;
    if (diff < 0.5)
        return floor;
    return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

std::optional<quint32> ParseIPv4(QStringView text)
{
    // Unrolled over the one to three digits of a part: a save command reads fifteen addresses.
    const char16_t* s = text.utf16();
    const char16_t* const end = s + text.size();
    const auto digit = [&] { return s != end ? unsigned(*s - u'0') : 10u; };
    quint32 address = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && (s == end || *s++ != u'.'))
            return std::nullopt;
        unsigned value = digit();
        if (value > 9)
            return std::nullopt;
        ++s;
        if (unsigned d = digit(); d <= 9) {
            if (value == 0) // a leading zero
                return std::nullopt;
            value = value * 10 + d;
            ++s;
            if (d = digit(); d <= 9) {
                value = value * 10 + d;
                ++s;
            }
        }
        if (value > 255) // a fourth digit fails at the next dot or at the end
            return std::nullopt;
        address = address << 8 | value;
    }
    if (s != end)
        return std::nullopt;
    return address;
}

bool IsValidIP(const QString& text) { return ParseIPv4(text).has_value(); }

void IPToBytes(const QString& text, quint8& b1, quint8& b2, quint8& b3, quint8& b4)
{
    const quint32 a = ParseIPv4(text).value_or(0);
    b1 = quint8(a >> 24);
    b2 = quint8(a >> 16);
    b3 = quint8(a >> 8);
    b4 = quint8(a);
}

QString TrimBlanks(QStringView text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == u' ')
        ++first;
    while (last > first && text[last - 1] == u' ')
        --last;
    return text.mid(first, last - first).toString();
}

void LongToBytes(qint32 value, quint8& b1, quint8& b2, quint8& b3, quint8& b4)
{
    const auto u = static_cast<quint32>(value);
    b1 = static_cast<quint8>(u >> 24);
    b2 = static_cast<quint8>(u >> 16);
    b3 = static_cast<quint8>(u >> 8);
    b4 = static_cast<quint8>(u);
}

QString BrowseForFolder(const FolderBrowser& browser, const QString& title, const QString& startPath)
{
    const QString start = QFileInfo(startPath).isDir() ? startPath : QString();
    QString chosen = browser ? browser(title, start) : QString();
    const int nul = chosen.indexOf(QChar(0));
    if (nul >= 0)
        chosen.truncate(nul);
    return chosen;
}

} // namespace brevion
