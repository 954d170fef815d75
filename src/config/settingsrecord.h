#pragma once

#include "deviceversions.h"
#include "outcnctrule.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

namespace brevion {

// The settings record of a device, as the "Q" reply to the read command brings it and as the
// "XS" save command sends it. Three generations of the record exist; which one a device speaks
// follows from its versions. Numbers are big-endian; offsets count from the "X".
//
// Settings reply (device -> us). Basic = 64 bytes, Rules = 240, Login = 432.
//
//   offset size  Basic/Rules                    Login
//   ------ ----  -----------------------------  ------------------------------
//     0     1    'X'                            'X'
//     1     1    'Q'                            'Q'
//     2     2    DHCP flag (either byte != 0)   DHCP flag
//     4     4    IP address                     4: TCP port (2)
//     8     4    subnet mask                    6: IP address, 10: subnet mask
//    12     4    gateway                        14: gateway
//    16    16    network name (text)            18: network name (16, text)
//    32     2    TCP port                       (34)
//    34     4    baud rate                      baud rate
//    38     3    -                              -
//    41     1    handshaking 0 none, 1 CTS/RTS, 2 XON/XOFF
//    42     2    -
//    44     2    hardware version major, minor
//    46     1    -
//    47     3    bootloader version major, minor, build
//    50     9    -
//    59     3    firmware version major, minor, build (0.0.0 = erased)
//    62     2    Basic: reply checksum over bytes 0..61
//    62    28    Rules/Login: -
//    90     2    UDP port
//    92     2    -
//    94   144    rules 1..12, 12 bytes each (rule n at 94 + 12 * (n - 1))
//   238     2    Rules: reply checksum over bytes 0..237
//   238    32    Login: prompt for user name (text)
//   270    32    Login: prompt for password (text)
//   302    64    Login: user name (text)
//   366    64    Login: password (text)
//   430     2    Login: reply checksum over bytes 0..429
//
// Save command (us -> device). Basic = 44 bytes, Rules = 192, Login = 384.
//
//   offset size  Basic/Rules                    Login
//   ------ ----  -----------------------------  ------------------------------
//     0     2    'X' 'S'                        'X' 'S'
//     2     2    FF FF = DHCP, 00 00 = static   same
//     4     4    IP address                     4: TCP port (2)
//     8     4    subnet mask                    6: IP address, 10: subnet mask
//    12     4    gateway                        14: gateway
//    16    16    network name (text)            18: network name (16, text)
//    32     2    TCP port                       (34)
//    34     4    baud rate
//    38     3    00 00 00
//    41     1    handshaking index
//    42     2    Basic: command checksum over bytes 0..41
//    42     2    Rules/Login: UDP port
//    44     2    Rules/Login: 00 00
//    46   144    Rules/Login: rules 1..12 (rule n at 46 + 12 * (n - 1))
//   190     2    Rules: command checksum over bytes 0..189
//   190    32    Login: prompt for user name
//   222    32    Login: prompt for password
//   254    64    Login: user name
//   318    64    Login: password
//   382     2    Login: command checksum over bytes 0..381
//
// Rule (12 bytes, both directions):
//
//   offset size
//     0     4    remote IPv4 address
//     4     2    remote port
//     6     1    flags: 1 TCP, 2 connect on power-up, 4 log in
//     7     1    00 when sent, not read
//     8     4    seconds of inactivity before closing, signed; 0 = stay connected
//
// Text fields go out as the first N characters, blanks trimmed, in ISO-8859-1 ('?' for anything
// outside it), padded with 00 to N bytes; they come back as the printable 7-bit characters of the
// field, trimmed. Addresses are one byte per dotted part.
//
// Checksums, high byte first: a command ends with 65536 - S (mod 65536) and a reply with
// 65535 - (S mod 65536), S being the sum of every byte before the checksum.

enum class SettingsLayout { Basic, Rules, Login };

constexpr int ReplyLength(SettingsLayout layout)
{
    return layout == SettingsLayout::Login ? 432 : layout == SettingsLayout::Rules ? 240 : 64;
}
constexpr int SaveCommandLength(SettingsLayout layout)
{
    return layout == SettingsLayout::Login ? 384 : layout == SettingsLayout::Rules ? 192 : 44;
}
constexpr int kMinReplyLength = 64;

// The layout a device speaks: firmware 1.0.17 (or, erased, bootloader 1.0.7) brings the login
// texts; firmware 1.0.11 (or, erased, bootloader 1.0.5) the UDP port and the rules.
SettingsLayout ChooseLayout(qint32 firmVersion, qint32 bootVersion);
inline SettingsLayout ChooseLayout(const DeviceVersions& v) { return ChooseLayout(v.FirmVersion, v.BootVersion); }

// The two checksum bytes a command ends with, over all of bytes.
QByteArray CommandChecksum(const QByteArray& bytes);
// The checksum value a reply carries over its first count bytes.
quint16 ReplyChecksum(const QByteArray& bytes, int count);

// The baud rates the serial port offers, in list order.
inline constexpr std::array<qint32, 9> kBaudRates{300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
// The list index of a rate, or -1 when the rate is not offered.
int BaudRateIndex(qint64 rate);
inline constexpr int kHandshakingEntries = 3; // none, hardware (CTS/RTS), software (XON/XOFF)

// A port typed by the user: a whole number 0..65535 between optional blanks, else nothing.
std::optional<quint16> ParsePort(const QString& text);

// Everything a user sets on a device.
struct DeviceSettings {
    bool DHCP = true;
    QString IPAddr;
    QString SubnetMask;
    QString Gateway;
    QString NetName;
    quint16 IPPort = 0;
    qint32 BaudRate = 0;  // the rate itself; 0 when none is chosen
    int Handshaking = 0;  // list index; -1 when none is chosen
    quint16 UDPPort = 0;
    OutRuleTable Rules;
    QString UserPrompt;
    QString PassPrompt;
    QString Username;
    QString Password;
    bool operator==(const DeviceSettings&) const = default;
};

// A decoded "Q" reply. The versions are always read (they give the layout and so the checksum's
// place); everything else only means something when checksumOk holds. Fields a layout does not
// carry are absent, so that applying the reply leaves them as they were.
struct SettingsReply {
    DeviceVersions versions;
    SettingsLayout layout = SettingsLayout::Basic;
    bool checksumOk = false;

    QString HdweVer; // "major.minor"
    QString BootVer; // "major.minor.build"
    QString FirmVer; // "major.minor.build", or "Erased"

    bool DHCP = false;
    QString IPAddr;
    QString SubnetMask;
    QString Gateway;
    QString NetName;
    quint16 IPPort = 0;
    quint32 BaudRate = 0;  // as received; not always an offered rate
    quint8 Handshaking = 0; // as received; not always a list index

    struct Login {
        QString UserPrompt;
        QString PassPrompt;
        QString Username;
        QString Password;
        bool operator==(const Login&) const = default;
    };
    std::optional<quint16> UDPPort;                               // Rules, Login
    std::optional<std::array<OutCnctRule, MaxOutRules + 1>> OutRules; // Rules, Login; slot 0 unused
    std::optional<Login> login;                                   // Login
};

// Decodes a "Q" reply. Nothing for a reply shorter than 64 bytes. A reply shorter than its own
// layout's length, or whose checksum does not match, comes back with checksumOk false.
std::optional<SettingsReply> DecodeSettingsReply(const QByteArray& reply);

// Applies an accepted reply to settings: a baud rate that is not offered and a handshaking value
// above 2 leave the old choice; fields the layout does not carry stay as they were. The rule
// count becomes the number of slots in use.
void ApplyReply(DeviceSettings& settings, const SettingsReply& reply);

// The complete save command, checksum included, in the given layout.
QByteArray BuildSaveCommand(const DeviceSettings& settings, SettingsLayout layout);

// The read and restart commands.
QByteArray ReadCommand();
QByteArray RebootCommand();

// Field encodings, shared with the other commands of the device.
QByteArray EncodeTextField(const QString& text, int size);
QByteArray EncodeRule(const OutCnctRule& rule);
// The rule at offset of bytes (which must hold 12 bytes from there).
OutCnctRule DecodeRule(const QByteArray& bytes, int offset);
// "a.b.c.d" from four bytes at offset.
QString AddressText(const QByteArray& bytes, int offset);

} // namespace brevion
