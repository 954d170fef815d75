// Replies through the configuration exchange's receive path: the command's device link routes
// datagrams from the device and from strangers to the command's conversation, whose outcome
// the exchange turns into the window's boxes, GotAck and SettingsRead. Commands go to a loopback
// address where nothing listens; the replies are handed to the link as if read from its socket.
// Input: events of [control byte][length: 2 bytes, big-endian][bytes].
//   control % 3: 0 datagram from the device; 1 from the device's address but another port;
//   2 from a stranger. control / 3 % 6: the op to send when nothing is pending (0: none).

#include "fuzzcheck.h"

#include "gui/commandexchange.h"
#include "engine/devicelink.h"
#include "config/deviceversions.h"
#include "ui/networksettings.h"

#include <QCoreApplication>

using namespace brevion;

static constexpr quint16 kDevicePort = 24390;
static const QHostAddress kDevice(QStringLiteral("127.0.0.2")), kStranger(QStringLiteral("127.0.0.3"));

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    SetNetwork({kDevicePort, 0, QStringLiteral("127.0.0.1")}); // any free local port
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SharedVersions() = {};
    std::vector<Message> shown;
    int settingsRead = 0;
    CommandExchange exchange;
    exchange.SetDeviceIP(kDevice.toString());
    exchange.SetMessageSink([&](const Message& m) {
        shown.push_back(m);
        // "No" to the save confirmation: a "Yes" would send the restart command.
        return m.buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
    });
    QObject::connect(&exchange, &CommandExchange::SettingsRead, [&](const SettingsReply& reply) {
        FUZZ_CHECK(reply.checksumOk && SharedVersions() == reply.versions);
        ++settingsRead;
    });

    size_t at = 0;
    while (size - at >= 3) {
        const uint8_t control = data[at];
        const size_t length = std::min<size_t>((size_t(data[at + 1]) << 8) | data[at + 2], size - at - 3);
        const QByteArray datagram(reinterpret_cast<const char*>(data + at + 3), static_cast<qsizetype>(length));
        at += 3 + length;
        if (exchange.PendingOp() == CommandExchange::OpNone && control / 3 % 6 != 0) {
            const auto op = static_cast<qint16>(control / 3 % 6);
            exchange.Send(op == CommandExchange::OpRead ? ReadCommand() : RebootCommand(), op);
            QCoreApplication::processEvents(); // the command leaves
        }
        const qint16 pending = exchange.PendingOp();
        if (!exchange.Link())
            continue;
        const size_t shownBefore = shown.size();
        const int readBefore = settingsRead;
        const bool ackBefore = exchange.GotAck();
        const int from = control % 3;
        exchange.Link()->receive(datagram, from == 2 ? kStranger : kDevice, from == 1 ? kDevicePort + 1 : kDevicePort);
        QCoreApplication::processEvents(); // the outcome is taken

        const bool answers = from == 0 && datagram.size() >= 4 && datagram[0] == 'X' && pending != CommandExchange::OpNone;
        if (!answers) {
            // Ignored: nothing changes and nobody is told.
            FUZZ_CHECK(exchange.PendingOp() == pending && shown.size() == shownBefore && settingsRead == readBefore);
            continue;
        }
        FUZZ_CHECK(exchange.PendingOp() == CommandExchange::OpNone && shown.size() <= shownBefore + 1); // one box at most
        // Only a good settings reply to a pending read reaches the window.
        if (settingsRead != readBefore)
            FUZZ_CHECK(pending == CommandExchange::OpRead && datagram[1] == 'Q');
        if (exchange.GotAck() != ackBefore)
            FUZZ_CHECK(datagram[1] == 'A' &&
                       (pending == CommandExchange::OpMacAddress || pending == CommandExchange::OpMacRestart));
    }
    return 0;
}
