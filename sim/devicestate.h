#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

namespace talixsim {

using Version3 = std::array<quint8, 3>; // major, minor, build
using Mac = std::array<quint8, 6>;

// major * 65536 + minor * 256 + build
quint32 versionValue(const Version3& v);

// One outgoing connection rule slot as the device stores it.
struct Rule {
    quint32 ip = 0; // host order: 192.168.1.20 is 0xC0A80114
    quint16 port = 0;
    quint8 flags = 0;
    qint32 idleSecs = 0;
    bool operator==(const Rule&) const = default;
};

// Everything a simulated device holds. Addresses are IPv4 in host byte order.
struct DeviceState {
    QString name; // up to 16 characters, ISO-8859-1 on the wire
    Mac mac{};
    // Where the device lives on the network: the address it answers from, that its discovery
    // reply carries and that requests are addressed to. Saving settings changes `ip`, not this;
    // addDevice() fills it from `ip` when it is 0.
    quint32 address = 0;
    quint32 ip = 0; // the stored IP address setting
    bool dhcp = false;
    quint32 mask = 0;
    quint32 gateway = 0;
    quint16 tcpPort = 0;
    quint32 baud = 0;
    quint8 handshaking = 0; // 0 none, 1 hardware, 2 software
    quint16 udpPort = 0;
    std::array<Rule, 12> rules{};
    QString userPrompt, passPrompt, username, password;
    std::array<quint8, 2> hw{};
    Version3 boot{};
    Version3 firm{}; // 0.0.0: erased
    // 1 MiB flash image, or empty while the device still holds its factory images (see flash.h).
    QByteArray flash;
    bool operator==(const DeviceState&) const = default;
};

enum class Preset { Basic, Rules, Login };

// A plausible device number n (0-based): name "TALIX-<n+1>", MAC 00:50:C2 + (5A3000 + n),
// address and ip loopbackAddress(n), mask 255.0.0.0, TCP port 10001, 9600 baud, UDP port
// 10002, hardware 1.2. Versions by preset: Basic firmware 1.0.4 / boot 1.0.4, Rules firmware
// 1.0.11 / boot 1.0.5, Login firmware 1.0.17 / boot 1.0.7.
DeviceState makeDevice(int n, Preset preset = Preset::Login);
// The same with the given firmware and bootloader versions.
DeviceState makeDevice(int n, const Version3& firmware, const Version3& boot = {1, 0, 4});

// The factory placeholder MAC 00:BA:DB:AD:xx:xx, the last two bytes from n.
Mac placeholderMac(int n);

// 127.0.0.2 + n: every address of 127.0.0.0/8 is local, so none needs configuring.
quint32 loopbackAddress(int n);

// Dotted text <-> host-order address; ipFromText reads as the program does (ParseIPv4) and gives
// 0 for invalid text.
quint32 ipFromText(const QString& text);
QString ipToText(quint32 address);
QString macToText(const Mac& mac); // 00:50:C2-5A:30:00

} // namespace talixsim
