#pragma once

#include "config/deviceversions.h"
#include "rules/outcnctrule.h"
#include "wire/wireformat.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

namespace brevion {

// The settings record of a device, as the "Q" reply to the read command brings it and as the
// "XS" save command sends it. Three generations of the record exist; which one a device speaks
// follows from its versions. The byte layouts, the thresholds and the checksums are drawn in
// wireformat.h; this is the record as the program holds it.
//
// Text fields go out as the first N characters, blanks trimmed, in ISO-8859-1 ('?' for anything
// outside it), padded with 00 to N bytes; they come back as the printable 7-bit characters of the
// field, trimmed.

using SettingsLayout = wire::SettingsLayout;
using wire::ChooseLayout;
using wire::ReplyLength;
using wire::SaveCommandLength;
constexpr int kMinReplyLength = wire::kMinSettingsReply;

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
    bool operator==(const SettingsReply&) const = default;
};

// Decodes a "Q" reply. Nothing for a reply shorter than 64 bytes. A reply shorter than its own
// layout's length, or whose checksum does not match, comes back with checksumOk false.
std::optional<SettingsReply> DecodeSettingsReply(const QByteArray& reply);
// The same into a reply kept from an earlier decode, reusing its strings' memory: false (and
// nothing changed) for a reply shorter than 64 bytes. When checksumOk comes back false only the
// versions, the layout and checksumOk are new.
bool DecodeSettingsReply(const QByteArray& reply, SettingsReply& into);

// Applies an accepted reply to settings: a baud rate that is not offered and a handshaking value
// above 2 leave the old choice; fields the layout does not carry stay as they were. The rule
// count becomes the number of slots in use.
void ApplyReply(DeviceSettings& settings, const SettingsReply& reply);

// The complete save command, checksum included, in the given layout.
QByteArray BuildSaveCommand(const DeviceSettings& settings, SettingsLayout layout);
// The same into out, reusing its memory.
void BuildSaveCommand(const DeviceSettings& settings, SettingsLayout layout, QByteArray& out);

// The read and restart commands.
QByteArray ReadCommand();
QByteArray RebootCommand();

// A text field of size bytes as the save command carries it.
QByteArray EncodeTextField(const QString& text, int size);

} // namespace brevion
