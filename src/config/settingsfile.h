#pragma once

#include "outcnctrule.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

namespace brevion {

// A settings file (*.TALIX) holds the editable values of the configuration window, one value a
// line, in this order. Lines end with CR LF; text is ISO-8859-1.
//
//   line     kind     value                                     limit on loading
//   -------  -------  ----------------------------------------  ----------------------------
//   1        boolean  DHCP selected (else static address)
//   2        text     IPAddr                                    first 15 characters, trimmed
//   3        text     SubnetMask                                first 15, trimmed
//   4        text     Gateway                                   first 15, trimmed
//   5        text     NetName (first 16, trimmed, when saved)   first 16, trimmed
//   6        text     IPPort                                    first 5, trimmed
//   7        integer  BaudRate list index (-1 = none)           -1 .. 8
//   8        integer  Handshaking list index (-1 = none)        -1 .. 2
//   9        text     UDPPort                                   read as a number, kept as its text
//   10       integer  OutCount, taken as written                0 .. 12
//   11..70   five lines per rule slot n = 1..12, slot n at line 11 + 5 * (n - 1):
//     +0     text     the slot's sentence (grid row n)          trimmed
//     +1     text     OutRules(n).IPAddr                        first 15, trimmed
//     +2     integer  OutRules(n).Port                          32-bit
//     +3     integer  OutRules(n).Flags                         above 255 or below 0: the slot
//                                                               keeps its previous Flags
//     +4     integer  OutRules(n).IdleSecs                      32-bit
//   71       text     UserPrompt                                first 32, trimmed
//   72       text     PassPrompt                                first 32, trimmed
//   73       text     Username                                  first 64, trimmed
//   74       text     Password (clear text)                     first 64, trimmed
//
// Value forms: text "in double quotes" (a double quote inside is written doubled, ""; a lone
// quote inside, as older files may hold, is read as itself); integers plain decimal with a
// leading "-" when negative; booleans #TRUE# or #FALSE#. No header, version or checksum.

constexpr int kSettingsFileLines = 74;
constexpr int kBaudRateCount = 9;    // entries of the BaudRate list
constexpr int kHandshakingCount = 3; // entries of the Handshaking list

// Exactly the values a settings file carries.
struct SettingsFileValues {
    bool DHCP = true;
    QString IPAddr;
    QString SubnetMask;
    QString Gateway;
    QString NetName;
    QString IPPort;
    qint32 BaudRate = -1;
    qint32 Handshaking = -1;
    QString UDPPort;
    OutRuleTable Rules;                               // slots 1..12 and OutCount
    std::array<QString, MaxOutRules + 1> Sentences{}; // grid rows 1..12, column 1
    QString UserPrompt;
    QString PassPrompt;
    QString Username;
    QString Password;

    bool operator==(const SettingsFileValues&) const = default;
};

// The file's bytes for the values.
QByteArray EncodeSettingsFile(const SettingsFileValues& values);

struct SettingsFileDecode {
    std::optional<SettingsFileValues> values; // set when the whole file is valid
    int line = 0;                             // else the first bad line (1-based)
    QString reason;                           // and what is wrong with it
};

// Reads a whole file's bytes. Nothing is taken unless all 74 values are present and of their
// kind. A Flags value outside 0..255 keeps the slot's Flags of `previous`.
SettingsFileDecode DecodeSettingsFile(const QByteArray& bytes, const SettingsFileValues& previous);

// Writes the file so that it is never left half written (ReplaceRegularFile): a new file is
// readable by its owner only (it holds a password), a symbolic link keeps leading to the file it
// names. Returns the reason on failure.
std::optional<QString> SaveSettingsFile(const QString& path, const SettingsFileValues& values);

// Reads and decodes a file; a missing or unreadable file, one that is not a regular file or one
// over kMaxSettingsFileBytes fails like a malformed one, with its reason.
SettingsFileDecode LoadSettingsFile(const QString& path, const SettingsFileValues& previous);

} // namespace brevion
