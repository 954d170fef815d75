#pragma once

#include "common/regularfile.h"
#include "rules/outcnctrule.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

namespace brevion {

// A settings file (*.TALIX) holds the editable values of the configuration window, one value a
// line, in this order. Lines end with CR LF; text is ISO-8859-1.
//
//   line     kind     value
//   -------  -------  ------------------------------------------------------------------
//   1        boolean  DHCP selected (else static address)
//   2        text     IPAddr
//   3        text     SubnetMask
//   4        text     Gateway
//   5        text     NetName
//   6        text     IPPort
//   7        integer  BaudRate list index (-1 = none), -1 .. 8
//   8        integer  Handshaking list index (-1 = none), -1 .. 2
//   9        text     UDPPort
//   10       integer  OutCount, taken as written, 0 .. 12
//   11..70   five lines per rule slot n = 1..12, slot n at line 11 + 5 * (n - 1):
//     +0     text     the slot's sentence (grid row n)
//     +1     text     OutRules(n).IPAddr
//     +2     integer  OutRules(n).Port, 32-bit
//     +3     integer  OutRules(n).Flags; above 255 or below 0 the slot keeps its previous Flags
//     +4     integer  OutRules(n).IdleSecs, 32-bit
//   71       text     UserPrompt
//   72       text     PassPrompt
//   73       text     Username
//   74       text     Password (clear text)
//
// Texts are written and loaded whole, only the blanks (spaces) at their ends removed on loading,
// as the device trims: a value its field cannot hold is refused when it is sent, not cut into
// another value here.
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
// names (OwnerOnlyHere: is replaced). Returns the reason on failure.
std::optional<QString> SaveSettingsFile(const QString& path, const SettingsFileValues& values,
                                        ReplaceMode mode = ReplaceMode::FollowLinks);

// Reads and decodes a file; a missing or unreadable file, one that is not a regular file or one
// over kMaxSettingsFileBytes fails like a malformed one, with its reason.
SettingsFileDecode LoadSettingsFile(const QString& path, const SettingsFileValues& previous);

} // namespace brevion
