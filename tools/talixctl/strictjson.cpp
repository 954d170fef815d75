#include "strictjson.h"

#include <cstring>
#include <set>
#include <vector>

namespace talixctl {

namespace {

// C0, DEL and C1 controls: a bridge drops them when it gives a text back, so a text holding one
// never reads back as written (and an apply would never settle).
bool isControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// A text as it appears in a message: control characters written as \uXXXX.
QString shown(const std::string& text)
{
    QString out;
    for (const QChar c : QString::fromStdString(text))
        out += isControl(c.unicode()) ? QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0')) : QString(c);
    return out;
}

QString name(const std::string& path)
{
    return path.empty() ? QStringLiteral("the document") : QStringLiteral("\"%1\"").arg(shown(path));
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6)), out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12)), out += char(0x80 | ((c >> 6) & 0x3F)), out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18)), out += char(0x80 | ((c >> 12) & 0x3F)), out += char(0x80 | ((c >> 6) & 0x3F)),
            out += char(0x80 | (c & 0x3F));
    }
}

// One object or array not yet closed.
struct Open {
    bool object = false;
    std::string path;
    std::set<std::string> keys; // objects: the keys so far
    bool expectKey = true;      // objects: the next text is a key
    std::string member;         // objects: the path of the member whose value comes next
    int index = 0;              // arrays: the element that comes next
};

// A pass over the bytes that follows the structure of the document without building it: paths,
// lines, the keys of each object, the characters of each text, the depth. It never refuses the
// grammar (the parser does that, in its own words) and never recurses.
class Scan {
public:
    Scan(const QByteArray& bytes, int firstLine) : m_text(bytes.constData()), m_size(bytes.size()), m_line(firstLine) {}

    // Up to the end of the bytes, or up to nesting too deep, which it returns.
    std::optional<QString> run();
    // The first duplicate key or control character met.
    const std::optional<QString>& finding() const { return m_finding; }
    std::map<std::string, JsonPlace> places;

private:
    std::string valueBegins();
    void valueEnds(const std::string& path) { places[path].end = m_pos; }
    void text();
    bool readString(std::string& decoded, std::optional<char32_t>& control);
    char32_t hex4();
    void note(int line, const QString& what)
    {
        if (!m_finding)
            m_finding = QStringLiteral("line %1: %2").arg(line).arg(what);
    }

    const char* m_text;
    qsizetype m_size;
    qsizetype m_pos = 0;
    int m_line;
    std::vector<Open> m_open;
    std::optional<QString> m_finding;
};

std::optional<QString> Scan::run()
{
    if (m_size >= 3 && std::memcmp(m_text, "\xEF\xBB\xBF", 3) == 0)
        m_pos = 3;
    static constexpr char kEnds[] = {' ', '\t', '\r', '\n', ',', ':', '[', ']', '{', '}', '"'};
    while (m_pos < m_size) {
        const char c = m_text[m_pos];
        if (c == '\n')
            ++m_line;
        if (c == '\n' || c == ' ' || c == '\t' || c == '\r' || c == ':') {
            ++m_pos;
        } else if (c == ',') {
            ++m_pos;
            if (!m_open.empty())
                m_open.back().object ? void(m_open.back().expectKey = true) : void(++m_open.back().index);
        } else if (c == '}' || c == ']') {
            ++m_pos;
            if (!m_open.empty()) {
                const std::string path = m_open.back().path;
                m_open.pop_back();
                valueEnds(path);
            }
        } else if (c == '"') {
            text();
        } else if (c == '{' || c == '[') {
            const std::string path = valueBegins();
            if (int(m_open.size()) >= kMaxJsonDepth)
                return QStringLiteral("line %1: %2 is nested deeper than %3 levels").arg(m_line).arg(name(path)).arg(kMaxJsonDepth);
            Open& opened = m_open.emplace_back();
            opened.object = c == '{';
            opened.path = path;
            ++m_pos;
        } else { // a number, true, false, null, or a character the parser will refuse
            const std::string path = valueBegins();
            do
                ++m_pos;
            while (m_pos < m_size && !std::memchr(kEnds, m_text[m_pos], sizeof kEnds));
            valueEnds(path);
        }
    }
    return std::nullopt;
}

std::string Scan::valueBegins()
{
    std::string path;
    if (!m_open.empty() && m_open.back().object) {
        path = m_open.back().member;
    } else if (!m_open.empty()) {
        path = m_open.back().path + "[" + std::to_string(m_open.back().index) + "]";
        places[path].line = m_line;
    } else {
        places[path].line = m_line;
    }
    places[path].begin = m_pos;
    places[path].valueLine = m_line;
    return path;
}

void Scan::text()
{
    const int line = m_line;
    const bool key = !m_open.empty() && m_open.back().object && m_open.back().expectKey;
    const std::string path = key ? std::string() : valueBegins();
    std::string decoded;
    std::optional<char32_t> control;
    if (!readString(decoded, control))
        return;
    if (!key) {
        valueEnds(path);
        if (control)
            note(line, QStringLiteral("%1 holds a control character (U+%2), which the device cannot keep")
                           .arg(name(path))
                           .arg(QString::number(uint(*control), 16).toUpper().rightJustified(4, QLatin1Char('0'))));
        return;
    }
    Open& o = m_open.back();
    o.expectKey = false;
    o.member = o.path.empty() ? decoded : o.path + "." + decoded;
    places[o.member].line = line;
    if (!o.keys.insert(decoded).second)
        note(line, QStringLiteral("%1 is given twice").arg(name(o.member)));
    if (control)
        note(line, QStringLiteral("the key %1 holds a control character").arg(name(o.member)));
}

// At the opening quote; past the closing one after. False when the bytes end first.
bool Scan::readString(std::string& decoded, std::optional<char32_t>& control)
{
    ++m_pos;
    while (m_pos < m_size) {
        const uchar c = uchar(m_text[m_pos++]);
        if (c == '"')
            return true;
        char32_t u = c;
        if (c == '\n')
            ++m_line;
        if (c == '\\' && m_pos < m_size) {
            const char e = m_text[m_pos++];
            u = e == 'b' ? 8 : e == 'f' ? 12 : e == 'n' ? 10 : e == 'r' ? 13 : e == 't' ? 9 : e == 'u' ? hex4() : char32_t(e);
            if (u >= 0xD800 && u < 0xDC00 && m_pos + 1 < m_size && m_text[m_pos] == '\\' && m_text[m_pos + 1] == 'u') {
                m_pos += 2;
                const char32_t low = hex4();
                u = low >= 0xDC00 && low < 0xE000 ? 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00) : 0xFFFD;
            }
            appendUtf8(decoded, u);
        } else {
            decoded += char(c); // bytes of UTF-8 as they are
        }
        if (isControl(u) && !control)
            control = u;
    }
    return false;
}

char32_t Scan::hex4()
{
    char32_t value = 0;
    for (int i = 0; i < 4 && m_pos < m_size; ++i) {
        const char h = m_text[m_pos];
        const int digit = h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10 : h >= 'A' && h <= 'F' ? h - 'A' + 10 : -1;
        if (digit < 0)
            break; // the parser refuses it
        value = value * 16 + char32_t(digit);
        ++m_pos;
    }
    return value;
}

} // namespace

int StrictJson::lineOf(const std::string& path) const
{
    const auto it = places.find(path);
    return it == places.end() ? 0 : it->second.line;
}

QString StrictJson::at(const std::string& path) const
{
    const int line = lineOf(path);
    return line > 0 ? QStringLiteral("line %1: ").arg(line) : QString();
}

StrictJson ParseStrictJson(const QByteArray& bytes, int firstLine)
{
    StrictJson result;
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF") || bytes.contains('\0')) {
        result.error = QStringLiteral("not UTF-8 text (it looks like UTF-16); save it as UTF-8");
        return result;
    }
    Scan scan(bytes, firstLine);
    if (std::optional<QString> deep = scan.run()) {
        result.error = std::move(deep);
        return result;
    }
    try {
        result.doc = nlohmann::json::parse(bytes.constData(), bytes.constData() + bytes.size()); // skips a UTF-8 BOM
    } catch (const nlohmann::json::exception& e) {
        // "[json.exception.parse_error.101] parse error at line 1, column 12: syntax error ...";
        // also a number beyond a double ("[json.exception.out_of_range.406] number overflow ...")
        const QString what = QString::fromUtf8(e.what());
        result.error = QStringLiteral("not valid JSON: %1").arg(what.mid(what.indexOf(QLatin1String("] ")) + 2));
        return result;
    }
    if (scan.finding()) {
        result.error = scan.finding();
        result.doc = nullptr;
        return result;
    }
    result.places = std::move(scan.places);
    return result;
}

} // namespace talixctl
