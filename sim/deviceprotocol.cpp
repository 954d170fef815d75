#include "sim/deviceprotocol.h"

#include "sim/flash.h"

#include <array>

namespace talixsim {

namespace {

namespace wire = brevion::wire;

void put16(QByteArray& b, int at, quint32 v) { wire::Put16(wire::U(b.data() + at), v); }
void put32(QByteArray& b, int at, quint32 v) { wire::Put32(wire::U(b.data() + at), v); }
quint32 get16(const QByteArray& b, int at) { return wire::Get16(wire::U(b.constData() + at)); }
quint32 get32(const QByteArray& b, int at) { return wire::Get32(wire::U(b.constData() + at)); }

// ISO-8859-1, '?' for anything outside it, cut or NUL-padded to n bytes.
void putText(QByteArray& b, int at, const QString& text, int n)
{
    for (int i = 0; i < n; ++i) {
        char c = 0;
        if (i < text.size()) {
            const char16_t u = text[i].unicode();
            c = u <= 0xFF ? char(u) : '?';
        }
        b[at + i] = c;
    }
}

QString getText(const QByteArray& b, int at, int n)
{
    QByteArray field = b.mid(at, n);
    const int nul = field.indexOf('\0');
    if (nul >= 0)
        field.truncate(nul);
    return QString::fromLatin1(field);
}

bool checksumOk(const QByteArray& command)
{
    const int n = int(command.size()) - wire::kChecksumBytes;
    return n >= 2 && get16(command, n) == wire::CommandChecksum(wire::U(command.constData()), size_t(n));
}

// The four texts of the Login part, in their order on the wire.
std::array<QString*, wire::kLoginTexts> loginTexts(DeviceState& d)
{
    return {&d.userPrompt, &d.passPrompt, &d.username, &d.password};
}

} // namespace

Layout layoutFor(const Version3& boot, const Version3& firm)
{
    return wire::ChooseLayout(qint32(versionValue(firm)), qint32(versionValue(boot)));
}

QByteArray commandWithChecksum(const QByteArray& body)
{
    QByteArray out = body;
    out.resize(body.size() + wire::kChecksumBytes);
    put16(out, int(body.size()), wire::CommandChecksum(wire::U(body.constData()), size_t(body.size())));
    return out;
}

QByteArray discoveryRequest()
{
    return QByteArray(wire::kDiscoveryRequest, wire::kDiscoveryRequestBytes);
}

QByteArray discoveryReply(const DeviceState& d)
{
    QByteArray r(wire::kDiscoveryReplyBytes, '\0');
    r.replace(0, wire::kTokenBytes, wire::kDiscoveryToken);
    for (int i = 0; i < wire::kMacBytes; ++i)
        r[wire::kDiscoveryMac + i] = char(d.mac[i]);
    put32(r, wire::kDiscoveryIp, d.address);
    put16(r, wire::kDiscoveryTcpPort, d.tcpPort);
    putText(r, wire::kDiscoveryName, d.name, wire::kNameBytes);
    return r;
}

QByteArray settingsReply(const DeviceState& d)
{
    const Layout layout = layoutFor(d.boot, d.firm);
    const int length = wire::ReplyLength(layout);
    QByteArray r(length, '\0');
    r[0] = wire::kX;
    r[1] = wire::kRead;
    put16(r, wire::kDhcp, d.dhcp ? 0xFFFF : 0);
    const wire::AddressBlock a = wire::AddressBlockOf(layout);
    put16(r, a.tcpPort, d.tcpPort);
    put32(r, a.ip, d.ip);
    put32(r, a.mask, d.mask);
    put32(r, a.gateway, d.gateway);
    putText(r, a.name, d.name, wire::kNameBytes);
    put32(r, wire::kBaud, d.baud);
    r[wire::kHandshaking] = char(d.handshaking);
    r[wire::kHardwareVersion] = char(d.hw[0]);
    r[wire::kHardwareVersion + 1] = char(d.hw[1]);
    for (int i = 0; i < 3; ++i) {
        r[wire::kBootVersion + i] = char(d.boot[i]);
        r[wire::kFirmVersion + i] = char(d.firm[i]);
    }
    const wire::RecordTail tail = wire::kReplyTail;
    if (layout != Layout::Basic) {
        put16(r, tail.udpPort, d.udpPort);
        for (int n = 0; n < wire::kRuleCount; ++n) {
            const int at = tail.rules + wire::kRuleBytes * n;
            put32(r, at + wire::kRuleAddress, d.rules[n].ip);
            put16(r, at + wire::kRulePort, d.rules[n].port);
            r[at + wire::kRuleFlags] = char(d.rules[n].flags);
            put32(r, at + wire::kRuleIdle, quint32(d.rules[n].idleSecs));
        }
    }
    if (layout == Layout::Login) {
        const QString* texts[] = {&d.userPrompt, &d.passPrompt, &d.username, &d.password};
        for (int i = 0; i < wire::kLoginTexts; ++i)
            putText(r, tail.login + wire::kLoginTextOffset[i], *texts[i], wire::kLoginTextBytes[i]);
    }
    const int body = length - wire::kChecksumBytes;
    put16(r, body, wire::ReplyChecksum(wire::U(r.constData()), size_t(body)));
    return r;
}

QByteArray acceptReply()
{
    static const QByteArray reply("XA\0\0", 4); // shared, not copied, by every answer
    return reply;
}

QByteArray rejectReply()
{
    static const QByteArray reply("XN\0\0", 4);
    return reply;
}

bool applySaveCommand(DeviceState& d, const QByteArray& c)
{
    const Layout layout = layoutFor(d.boot, d.firm);
    if (c.size() != wire::SaveCommandLength(layout) || !c.startsWith("XS") || !checksumOk(c))
        return false;
    d.dhcp = get16(c, wire::kDhcp) != 0;
    const wire::AddressBlock a = wire::AddressBlockOf(layout);
    d.tcpPort = quint16(get16(c, a.tcpPort));
    d.ip = get32(c, a.ip);
    d.mask = get32(c, a.mask);
    d.gateway = get32(c, a.gateway);
    d.name = getText(c, a.name, wire::kNameBytes);
    d.baud = get32(c, wire::kBaud);
    d.handshaking = quint8(c[wire::kHandshaking]);
    if (layout == Layout::Basic)
        return true;
    const wire::RecordTail tail = wire::kSaveTail;
    d.udpPort = quint16(get16(c, tail.udpPort));
    for (int n = 0; n < wire::kRuleCount; ++n) {
        const int at = tail.rules + wire::kRuleBytes * n;
        d.rules[n] = {get32(c, at + wire::kRuleAddress), quint16(get16(c, at + wire::kRulePort)),
                      quint8(c[at + wire::kRuleFlags]), qint32(get32(c, at + wire::kRuleIdle))};
    }
    if (layout == Layout::Rules)
        return true;
    const auto texts = loginTexts(d);
    for (int i = 0; i < wire::kLoginTexts; ++i)
        *texts[i] = getText(c, tail.login + wire::kLoginTextOffset[i], wire::kLoginTextBytes[i]);
    return true;
}

namespace {

// "XP": erase, restart, or a block into flash.
Response handleProgram(DeviceState& d, const QByteArray& q)
{
    using A = Response::Action;
    if (q.size() < 3)
        return {};
    const quint8 sub = quint8(q[2]);
    if (sub == wire::kErase || sub == wire::kRestart) {
        if (q.size() != wire::kShortCommandBytes || !checksumOk(q))
            return {A::Reply, rejectReply(), false};
        return {sub == wire::kErase ? A::EraseThenReply : A::ReplyThenRestart, acceptReply(), false};
    }
    if (sub != wire::kBlock)
        return {};
    const int header = wire::kBlockData + wire::kChecksumBytes;
    if (q.size() < header || !checksumOk(q))
        return {A::Reply, rejectReply(), false};
    const quint32 count = get16(q, wire::kBlockCount);
    if (count > quint32(wire::kMaxBlockBytes) || q.size() != int(header + count))
        return {A::Reply, rejectReply(), false};
    const bool written =
        writeFlash(d, get32(q, wire::kBlockAddress), QByteArray::fromRawData(q.constData() + wire::kBlockData, int(count)));
    return {A::Reply, written ? acceptReply() : rejectReply(), false};
}

} // namespace

Response handleRequest(DeviceState& d, const QByteArray& q)
{
    using A = Response::Action;
    if (QByteArrayView(q) == QByteArrayView(wire::kDiscoveryRequest, wire::kDiscoveryRequestBytes))
        return {A::Reply, discoveryReply(d), true};
    if (q.size() < 2 || q[0] != wire::kX)
        return {};
    const QByteArray nack = rejectReply();
    switch (q[1]) {
    case wire::kRead:
        if (q.size() == 2)
            return {A::Reply, settingsReply(d), false};
        return {};
    case wire::kSave:
        return {A::Reply, applySaveCommand(d, q) ? acceptReply() : nack, false};
    case wire::kReboot:
        if (q.size() == 2 + wire::kChecksumBytes && checksumOk(q))
            return {A::ReplyThenRestart, acceptReply(), false};
        return {A::Reply, nack, false};
    case wire::kMac:
        if (q.size() != wire::kMacCommandBytes || !checksumOk(q))
            return {A::Reply, nack, false};
        for (int i = 0; i < wire::kMacBytes; ++i)
            d.mac[i] = quint8(q[2 + i]);
        return {A::Reply, acceptReply(), false};
    case wire::kProgram:
        return handleProgram(d, q);
    default:
        return {};
    }
}

} // namespace talixsim
