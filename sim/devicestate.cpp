#include "sim/devicestate.h"

#include "common/nxfns.h"

#include <QStringList>

#include "wire/wireformat.h"

namespace talixsim {

quint32 versionValue(const Version3& v)
{
    return quint32(brevion::wire::VersionValue(v[0], v[1], v[2]));
}

DeviceState makeDevice(int n, Preset preset)
{
    switch (preset) {
    case Preset::Basic:
        return makeDevice(n, {1, 0, 4}, {1, 0, 4});
    case Preset::Rules:
        return makeDevice(n, {1, 0, 11}, {1, 0, 5});
    case Preset::Login:
        break;
    }
    return makeDevice(n, {1, 0, 17}, {1, 0, 7});
}

DeviceState makeDevice(int n, const Version3& firmware, const Version3& boot)
{
    DeviceState d;
    d.name = QStringLiteral("TALIX-%1").arg(n + 1);
    const quint32 tail = 0x5A3000u + quint32(n);
    d.mac = {0x00, 0x50, 0xC2, quint8(tail >> 16), quint8(tail >> 8), quint8(tail)};
    d.address = d.ip = loopbackAddress(n);
    d.mask = 0xFF000000u;
    d.gateway = 0x7F000001u;
    d.tcpPort = 10001;
    d.baud = 9600;
    d.udpPort = 10002;
    d.hw = {1, 2};
    d.boot = boot;
    d.firm = firmware;
    d.userPrompt = QStringLiteral("login:");
    d.passPrompt = QStringLiteral("password:");
    return d;
}

Mac placeholderMac(int n)
{
    return {0x00, 0xBA, 0xDB, 0xAD, quint8(n >> 8), quint8(n)};
}

quint32 loopbackAddress(int n)
{
    return 0x7F000002u + quint32(n);
}

quint32 ipFromText(const QString& text) { return brevion::ParseIPv4(text).value_or(0); }

QString ipToText(quint32 a)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(a >> 24)
        .arg((a >> 16) & 255)
        .arg((a >> 8) & 255)
        .arg(a & 255);
}

QString macToText(const Mac& m)
{
    auto h = [](quint8 b) {
        return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    };
    return h(m[0]) + u':' + h(m[1]) + u':' + h(m[2]) + u'-' + h(m[3]) + u':' + h(m[4]) + u':' +
           h(m[5]);
}

} // namespace talixsim
