#pragma once

#include <nlohmann/json.hpp>

#include <QByteArray>
#include <QString>

#include <map>
#include <optional>
#include <string>

namespace talixctl {

// Settings and plans nest at most five deep ({"devices": {MAC: {"OutRules": [{...}]}}}).
constexpr int kMaxJsonDepth = 8;

// Where a member of a document stands in its text. Members are named by their path:
// "NetName", "OutRules[1].Port", "devices.0050C25A3000".
struct JsonPlace {
    int line = 0;        // of its key; of the value itself in an array
    int valueLine = 0;   // of its value
    qsizetype begin = 0; // its value's bytes
    qsizetype end = 0;
};

struct StrictJson {
    nlohmann::json doc;
    std::optional<QString> error; // "line 3: ..." or the parser's own words, which give the line
    std::map<std::string, JsonPlace> places;
    // The line of a member, 0 when there is none of that path.
    int lineOf(const std::string& path) const;
    // "line N: " for a member, nothing when its line is unknown.
    QString at(const std::string& path) const;
};

// JSON as every input of talixctl is read (settings, plans; the Ansible modules write them too).
// Beyond what the JSON grammar refuses, the whole document is refused, naming the member and its
// line, for: a key given twice in one object at any level; a text or key that holds a control
// character (C0 U+0000 to U+001F, escaped or not, DEL, or C1 U+0080 to U+009F), which the device
// drops; nesting deeper than kMaxJsonDepth, found by a scan of the bytes before any tree is
// built, so that no depth costs stack. UTF-16 is refused; a UTF-8 byte-order mark is skipped.
// firstLine: the line of the file on which the bytes begin (a part of a plan).
StrictJson ParseStrictJson(const QByteArray& bytes, int firstLine = 1);

} // namespace talixctl
