#pragma once

#include <cstddef>
#include <cstdint>

// Every byte layout the program and the simulated devices exchange, drawn once: the datagrams on
// UDP port 2362, the settings record in its three generations, and the update file. Numbers on
// the wire are big-endian; numbers in update files little-endian. Pure C++, no Qt: the codecs in
// src/ and the simulator in sim/ both read their offsets, thresholds and checksums from here.
//
// Discovery. Request "ZEVID" (5A 45 56 49 44), nothing else. Reply, at least 33 bytes:
//
//   offset size  content
//     0      5   product token "K9ZEV"
//     5      6   MAC address, first byte first         -> "00:1A:2B-3C:4D:5E"
//    11      4   IPv4 address, first octet first       -> "192.168.1.5"
//    15      2   TCP port (the program does not read it)
//    17     16   device name, ISO-8859-1, NUL-padded   -> printable 7-bit text, spaces trimmed
//    33..        not read
//
// Commands and replies. Every datagram but discovery begins with 'X' and a letter. Commands end
// with CommandChecksum (all but "XQ"); a settings reply ends with ReplyChecksum. A reply is at
// least 4 bytes: "XA" accepted, "XN" refused, "XQ" the settings (device -> program: 'X' 'A' 00 00).
//
//   "XQ"                             read the settings (2 bytes, no checksum)
//   "XS" body checksum               save the settings (44, 192 or 384 bytes, below)
//   "XB" FF 66                       restart
//   "XM" b0..b5 checksum             program the MAC address (10 bytes);
//                                    0050C25A3000 gives 58 4D 00 50 C2 5A 30 00 FD BF
//   "XP" E7 FE 71                    erase the firmware
//   "XP" BD FE 9B                    restart after an update
//   "XP" C3 address(4) count(2) data checksum
//                                    program count (0..64) bytes at address: 11 + count bytes
//
// Checksums, high byte first, S the sum of every byte before them:
//   CommandChecksum = (65536 - S) mod 65536        ReplyChecksum = 65535 - (S mod 65536)
//
// Settings reply "XQ" (device -> program). Basic = 64 bytes, Rules = 240, Login = 432.
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
//    34     4    baud rate
//    38     3    -
//    41     1    handshaking 0 none, 1 CTS/RTS, 2 XON/XOFF
//    42     2    -
//    44     2    hardware version major, minor
//    46     1    -
//    47     3    bootloader version major, minor, build
//    50     9    -
//    59     3    firmware version major, minor, build (0.0.0 = erased)
//    62     2    Basic: ReplyChecksum over bytes 0..61
//    62    28    Rules/Login: -
//    90     2    UDP port
//    92     2    -
//    94   144    rules 1..12, 12 bytes each (rule n at 94 + 12 * (n - 1))
//   238     2    Rules: ReplyChecksum over bytes 0..237
//   238    32    Login: prompt for user name (text)
//   270    32    Login: prompt for password (text)
//   302    64    Login: user name (text)
//   366    64    Login: password (text)
//   430     2    Login: ReplyChecksum over bytes 0..429
//
// Save command "XS" (program -> device). Basic = 44 bytes, Rules = 192, Login = 384. Bytes 0 to
// 41 are laid out as in the reply ("XS" instead of "XQ"; the DHCP flag FF FF or 00 00; 38..40
// 00 00 00), then:
//
//    42     2    Basic: CommandChecksum over bytes 0..41
//    42     2    Rules/Login: UDP port
//    44     2    Rules/Login: 00 00
//    46   144    Rules/Login: rules 1..12 (rule n at 46 + 12 * (n - 1))
//   190     2    Rules: CommandChecksum over bytes 0..189
//   190    32    Login: prompt for user name
//   222    32    Login: prompt for password
//   254    64    Login: user name
//   318    64    Login: password
//   382     2    Login: CommandChecksum over bytes 0..381
//
// Rule (12 bytes, both directions):
//
//     0     4    remote IPv4 address
//     4     2    remote port
//     6     1    flags: 1 TCP, 2 connect on power-up, 4 log in
//     7     1    00 when sent, not read
//     8     4    seconds of inactivity before closing, signed; 0 = stay connected
//
// Text fields are ISO-8859-1, NUL-padded to their size. Addresses are one byte per dotted part.
// A version is three bytes major, minor, build and counts as major * 65536 + minor * 256 + build.
//
// Update file (*.bin), every number little-endian and signed:
//
//   offset  size    field
//      0      1     Marker       100 (0x64) in every update file
//      1      1     (not interpreted)
//      2      4     Version      contents' version: major bits 16-23, minor 8-15, build 0-7
//      6      4     HwMin        lowest hardware version that fits, major * 256 + minor
//     10      4     HwMax        highest hardware version that fits
//     14      4     BootMin      lowest bootloader a firmware file needs, like Version
//     18      4     BootMax      highest bootloader a firmware file accepts
//     22      4     TotalBytes   number of data bytes carried by the records
//     26    rest    data records, one after another up to the end of the file:
//                     0   4       Address   device address of the record's first byte
//                     4   2       Length    0 to 64
//                     6   Length  data      the bytes to program, in address order

namespace brevion::wire {

// ---- readers and writers; the caller has checked the bounds ----

inline std::uint16_t Get16(const unsigned char* p) { return std::uint16_t(p[0] << 8 | p[1]); }
inline std::uint32_t Get32(const unsigned char* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}
inline void Put16(unsigned char* p, std::uint32_t v)
{
    p[0] = static_cast<unsigned char>(v >> 8);
    p[1] = static_cast<unsigned char>(v);
}
inline void Put32(unsigned char* p, std::uint32_t v)
{
    Put16(p, v >> 16);
    Put16(p + 2, v);
}
inline std::uint16_t GetLe16(const unsigned char* p) { return std::uint16_t(p[1] << 8 | p[0]); }
inline std::uint32_t GetLe32(const unsigned char* p)
{
    return std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}
inline void PutLe16(unsigned char* p, std::uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
inline void PutLe32(unsigned char* p, std::uint32_t v)
{
    PutLe16(p, v);
    PutLe16(p + 2, v >> 16);
}
// The same over char, which is what byte arrays hand out.
inline const unsigned char* U(const char* p) { return reinterpret_cast<const unsigned char*>(p); }
inline unsigned char* U(char* p) { return reinterpret_cast<unsigned char*>(p); }

// ---- checksums ----

std::uint32_t ByteSum(const unsigned char* bytes, std::size_t count);
inline std::uint16_t CommandChecksumOfSum(std::uint32_t sum) { return std::uint16_t((65536u - sum % 65536u) % 65536u); }
inline std::uint16_t ReplyChecksumOfSum(std::uint32_t sum) { return std::uint16_t(65535u - sum % 65536u); }
std::uint16_t CommandChecksum(const unsigned char* bytes, std::size_t count);
std::uint16_t ReplyChecksum(const unsigned char* bytes, std::size_t count);
constexpr int kChecksumBytes = 2;

// ---- versions and the settings layout they choose ----

constexpr std::int32_t VersionValue(unsigned major, unsigned minor, unsigned build)
{
    return std::int32_t(major * 65536u + minor * 256u + build);
}
inline std::int32_t VersionAt(const unsigned char* p) { return VersionValue(p[0], p[1], p[2]); }

enum class SettingsLayout { Basic, Rules, Login };

// Firmware 1.0.17 (or, erased, bootloader 1.0.7) brings the login texts; firmware 1.0.11 (or,
// erased, bootloader 1.0.5) the UDP port and the rules.
constexpr std::int32_t kLoginFirmware = VersionValue(1, 0, 17);
constexpr std::int32_t kLoginBootloader = VersionValue(1, 0, 7);
constexpr std::int32_t kRulesFirmware = VersionValue(1, 0, 11);
constexpr std::int32_t kRulesBootloader = VersionValue(1, 0, 5);

SettingsLayout ChooseLayout(std::int32_t firmVersion, std::int32_t bootVersion);

constexpr int ReplyLength(SettingsLayout layout)
{
    return layout == SettingsLayout::Login ? 432 : layout == SettingsLayout::Rules ? 240 : 64;
}
constexpr int SaveCommandLength(SettingsLayout layout)
{
    return layout == SettingsLayout::Login ? 384 : layout == SettingsLayout::Rules ? 192 : 44;
}

// ---- framing ----

constexpr char kX = 'X';
constexpr int kMinAnswerBytes = 4; // the shortest reply a device sends
constexpr char kRead = 'Q', kSave = 'S', kReboot = 'B', kMac = 'M', kProgram = 'P';
constexpr char kAccepted = 'A', kRefused = 'N';
constexpr unsigned char kErase = 0xE7, kRestart = 0xBD, kBlock = 0xC3; // sub-codes of "XP"

// ---- the settings record ----

constexpr int kMinSettingsReply = 64; // shorter replies are not settings at all
constexpr int kDhcp = 2;

// The address block: Basic and Rules keep it where the first devices had it, Login moves the
// TCP port in front of the addresses. The same in the reply and the save command.
struct AddressBlock {
    int tcpPort, ip, mask, gateway, name;
};
constexpr AddressBlock AddressBlockOf(SettingsLayout layout)
{
    return layout == SettingsLayout::Login ? AddressBlock{4, 6, 10, 14, 18} : AddressBlock{32, 4, 8, 12, 16};
}
constexpr int kNameBytes = 16;
constexpr int kBaud = 34;
constexpr int kReserved = 38, kReservedBytes = 3;
constexpr int kHandshaking = 41;
constexpr int kHardwareVersion = 44; // reply only
constexpr int kBootVersion = 47;
constexpr int kFirmVersion = 59;

// Where the Rules and Login parts begin, in the reply and in the save command.
struct RecordTail {
    int udpPort, rules, login;
};
constexpr RecordTail kReplyTail{90, 94, 238};
constexpr RecordTail kSaveTail{42, 46, 190};

constexpr int kRuleCount = 12;
constexpr int kRuleBytes = 12;
constexpr int kRuleAddress = 0, kRulePort = 4, kRuleFlags = 6, kRuleIdle = 8;

// The four texts of the Login part, in order: user prompt, password prompt, user name, password.
constexpr int kLoginTexts = 4;
constexpr int kLoginTextOffset[kLoginTexts] = {0, 32, 64, 128};
constexpr int kLoginTextBytes[kLoginTexts] = {32, 32, 64, 64};

// ---- MAC address and update commands ----

constexpr int kMacBytes = 6;
constexpr int kMacCommandBytes = 2 + kMacBytes + kChecksumBytes;
constexpr int kShortCommandBytes = 3 + kChecksumBytes; // erase and restart
constexpr int kBlockAddress = 3, kBlockCount = 7, kBlockData = 9;
constexpr int kMaxBlockBytes = 64;

// ---- discovery ----

constexpr char kDiscoveryRequest[] = "ZEVID"; // 5 bytes, no terminator on the wire
constexpr int kDiscoveryRequestBytes = 5;
constexpr char kDiscoveryToken[] = "K9ZEV";
constexpr int kTokenBytes = 5;
constexpr int kDiscoveryMac = 5, kDiscoveryIp = 11, kDiscoveryTcpPort = 15, kDiscoveryName = 17;
constexpr int kDiscoveryReplyBytes = 33;

// ---- update files ----

constexpr int kUpdateMarker = 100;
constexpr int kFileVersion = 2, kFileHwMin = 6, kFileHwMax = 10, kFileBootMin = 14, kFileBootMax = 18,
              kFileTotalBytes = 22;
constexpr int kListingHeaderBytes = 22; // what the listing reads: up to BootMax
constexpr int kUpdateHeaderBytes = 26;
constexpr int kRecordAddress = 0, kRecordLength = 4, kRecordHeaderBytes = 6;
constexpr int kMaxRecordBytes = 64;

} // namespace brevion::wire
