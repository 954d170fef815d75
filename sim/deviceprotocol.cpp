#include "deviceprotocol.h"

#include "flash.h"

namespace talixsim {

namespace {

void put16(QByteArray& b, int at, quint32 v)
{
    b[at] = char((v >> 8) & 0xFF);
    b[at + 1] = char(v & 0xFF);
}

void put32(QByteArray& b, int at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (24 - 8 * i)) & 0xFF);
}

quint32 get16(const QByteArray& b, int at)
{
    return quint32(quint8(b[at])) << 8 | quint8(b[at + 1]);
}

quint32 get32(const QByteArray& b, int at)
{
    return get16(b, at) << 16 | get16(b, at + 2);
}

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

// Offsets of the fields that move between layouts.
struct AddressBlock {
    int tcpPort, ip, mask, gateway, name;
};

AddressBlock addressBlock(Layout layout)
{
    if (layout == Layout::Login)
        return {4, 6, 10, 14, 18};
    return {32, 4, 8, 12, 16};
}

quint32 byteSum(const QByteArray& bytes, int count)
{
    quint32 sum = 0;
    for (int i = 0; i < count && i < bytes.size(); ++i)
        sum += quint8(bytes[i]);
    return sum;
}

bool checksumOk(const QByteArray& command)
{
    const int n = int(command.size()) - 2;
    return n >= 2 && get16(command, n) == commandChecksum(command, n);
}

constexpr char kX = 0x58;

} // namespace

Layout layoutFor(const Version3& boot, const Version3& firm)
{
    const quint32 f = versionValue(firm);
    const quint32 b = versionValue(boot);
    if (f >= 0x010011 || (f == 0 && b >= 0x010007))
        return Layout::Login;
    if (f >= 0x01000B || (f == 0 && b >= 0x010005))
        return Layout::Rules;
    return Layout::Basic;
}

int replyLength(Layout layout)
{
    switch (layout) {
    case Layout::Basic:
        return 64;
    case Layout::Rules:
        return 240;
    case Layout::Login:
        break;
    }
    return 432;
}

int saveLength(Layout layout)
{
    switch (layout) {
    case Layout::Basic:
        return 44;
    case Layout::Rules:
        return 192;
    case Layout::Login:
        break;
    }
    return 384;
}

quint16 commandChecksum(const QByteArray& bytes, int count)
{
    return quint16((65536u - byteSum(bytes, count)) & 0xFFFF);
}

quint16 replyChecksum(const QByteArray& bytes, int count)
{
    return quint16(65535u - (byteSum(bytes, count) & 0xFFFF));
}

QByteArray commandWithChecksum(const QByteArray& body)
{
    QByteArray out = body;
    const quint16 sum = commandChecksum(body, int(body.size()));
    out.append(char(sum >> 8));
    out.append(char(sum & 0xFF));
    return out;
}

QByteArray discoveryRequest()
{
    return QByteArrayLiteral("ZEVID");
}

QByteArray discoveryReply(const DeviceState& d)
{
    QByteArray r(33, '\0');
    r.replace(0, 5, "K9ZEV");
    for (int i = 0; i < 6; ++i)
        r[5 + i] = char(d.mac[i]);
    put32(r, 11, d.address);
    put16(r, 15, d.tcpPort);
    putText(r, 17, d.name, 16);
    return r;
}

QByteArray settingsReply(const DeviceState& d)
{
    const Layout layout = layoutFor(d.boot, d.firm);
    const int length = replyLength(layout);
    QByteArray r(length, '\0');
    r[0] = kX;
    r[1] = 'Q';
    put16(r, 2, d.dhcp ? 0xFFFF : 0);
    const AddressBlock a = addressBlock(layout);
    put16(r, a.tcpPort, d.tcpPort);
    put32(r, a.ip, d.ip);
    put32(r, a.mask, d.mask);
    put32(r, a.gateway, d.gateway);
    putText(r, a.name, d.name, 16);
    put32(r, 34, d.baud);
    r[41] = char(d.handshaking);
    r[44] = char(d.hw[0]);
    r[45] = char(d.hw[1]);
    for (int i = 0; i < 3; ++i) {
        r[47 + i] = char(d.boot[i]);
        r[59 + i] = char(d.firm[i]);
    }
    if (layout != Layout::Basic) {
        put16(r, 90, d.udpPort);
        for (int n = 0; n < 12; ++n) {
            const int at = 94 + 12 * n;
            put32(r, at, d.rules[n].ip);
            put16(r, at + 4, d.rules[n].port);
            r[at + 6] = char(d.rules[n].flags);
            put32(r, at + 8, quint32(d.rules[n].idleSecs));
        }
    }
    if (layout == Layout::Login) {
        putText(r, 238, d.userPrompt, 32);
        putText(r, 270, d.passPrompt, 32);
        putText(r, 302, d.username, 64);
        putText(r, 366, d.password, 64);
    }
    put16(r, length - 2, replyChecksum(r, length - 2));
    return r;
}

QByteArray acceptReply()
{
    return QByteArray("XA\0\0", 4);
}

QByteArray rejectReply()
{
    return QByteArray("XN\0\0", 4);
}

bool applySaveCommand(DeviceState& d, const QByteArray& c)
{
    const Layout layout = layoutFor(d.boot, d.firm);
    if (c.size() != saveLength(layout) || !c.startsWith("XS") || !checksumOk(c))
        return false;
    d.dhcp = get16(c, 2) != 0;
    const AddressBlock a = addressBlock(layout);
    d.tcpPort = quint16(get16(c, a.tcpPort));
    d.ip = get32(c, a.ip);
    d.mask = get32(c, a.mask);
    d.gateway = get32(c, a.gateway);
    d.name = getText(c, a.name, 16);
    d.baud = get32(c, 34);
    d.handshaking = quint8(c[41]);
    if (layout == Layout::Basic)
        return true;
    d.udpPort = quint16(get16(c, 42));
    for (int n = 0; n < 12; ++n) {
        const int at = 46 + 12 * n;
        d.rules[n] = {get32(c, at), quint16(get16(c, at + 4)), quint8(c[at + 6]),
                      qint32(get32(c, at + 8))};
    }
    if (layout == Layout::Rules)
        return true;
    d.userPrompt = getText(c, 190, 32);
    d.passPrompt = getText(c, 222, 32);
    d.username = getText(c, 254, 64);
    d.password = getText(c, 318, 64);
    return true;
}

Response handleRequest(DeviceState& d, const QByteArray& q)
{
    using A = Response::Action;
    if (q == discoveryRequest())
        return {A::Reply, discoveryReply(d), true};
    if (q.size() < 2 || q[0] != kX)
        return {};
    const QByteArray nack = rejectReply();
    switch (q[1]) {
    case 'Q':
        if (q.size() == 2)
            return {A::Reply, settingsReply(d), false};
        return {};
    case 'S':
        return {A::Reply, applySaveCommand(d, q) ? acceptReply() : nack, false};
    case 'B':
        if (q.size() == 4 && checksumOk(q))
            return {A::ReplyThenRestart, acceptReply(), false};
        return {A::Reply, nack, false};
    case 'M':
        if (q.size() != 10 || !checksumOk(q))
            return {A::Reply, nack, false};
        for (int i = 0; i < 6; ++i)
            d.mac[i] = quint8(q[2 + i]);
        return {A::Reply, acceptReply(), false};
    case 'P': {
        if (q.size() < 3)
            return {};
        const quint8 sub = quint8(q[2]);
        if (sub == 0xE7 || sub == 0xBD) {
            if (q.size() != 5 || !checksumOk(q))
                return {A::Reply, nack, false};
            return {sub == 0xE7 ? A::EraseThenReply : A::ReplyThenRestart, acceptReply(), false};
        }
        if (sub != 0xC3)
            return {};
        if (q.size() < 11 || !checksumOk(q))
            return {A::Reply, nack, false};
        const quint32 count = get16(q, 7);
        if (count > 64 || q.size() != int(11 + count))
            return {A::Reply, nack, false};
        const bool written = writeFlash(d, get32(q, 3), q.mid(9, int(count)));
        return {A::Reply, written ? acceptReply() : nack, false};
    }
    default:
        return {};
    }
}

} // namespace talixsim
