// Replies through the configuration exchange's receive path: datagrams from the device and from
// strangers, and reply time-outs, while a command is pending. No socket is opened.
// Input: [first pending op] then events: [control byte] and, for datagrams, [length: 2 bytes,
// big-endian][bytes].
//   control bits 0-1: 0 datagram from the device; 1 from the device's address but another port;
//   2 from a stranger; 3 time-out
//   control bits 2-4: the op to put in place when nothing is pending (0..5)

#include "fuzzcheck.h"

#include "commandexchange.h"
#include "deviceversions.h"

#include <QCoreApplication>

#include <vector>

using namespace brevion;

namespace {

const QHostAddress kDevice(QStringLiteral("127.0.0.2"));
const QHostAddress kStranger(QStringLiteral("127.0.0.3"));

bool known(const Message& m)
{
    return m == ExchangeMessages::SaveConfirmation() || m == ExchangeMessages::Rebooting() ||
           m == ExchangeMessages::DeviceError() || m == ExchangeMessages::TimedOut() ||
           m == ExchangeMessages::DataError();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    SharedVersions() = {};
    std::vector<Message> shown;
    int settingsRead = 0;
    CommandExchange exchange;
    exchange.SetDeviceIP(kDevice.toString());
    exchange.Winsock1().SetRemote(kDevice.toString(), 2362); // where the command went
    exchange.SetMessageSink([&](const Message& m) {
        shown.push_back(m);
        // "No" to the save confirmation: a "Yes" would send the restart command.
        return m.buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
    });
    QObject::connect(&exchange, &CommandExchange::SettingsRead, [&](const SettingsReply& reply) {
        FUZZ_CHECK(reply.checksumOk);
        FUZZ_CHECK(SharedVersions() == reply.versions);
        ++settingsRead;
    });
    exchange.SetPendingOp(static_cast<qint16>(data[0] % 6));

    size_t at = 1;
    while (at < size) {
        const uint8_t control = data[at++];
        if (exchange.PendingOp() == CommandExchange::OpNone) {
            exchange.SetPendingOp(static_cast<qint16>(((control >> 2) & 7) % 6));
            exchange.SetGotAck(false);
        }
        const qint16 pending = exchange.PendingOp();
        const size_t shownBefore = shown.size();
        const int readBefore = settingsRead;

        if ((control & 3) == 3) {
            if (pending == CommandExchange::OpNone)
                continue;
            exchange.Timer1_Timer();
            FUZZ_CHECK(exchange.PendingOp() == CommandExchange::OpNone);
            FUZZ_CHECK(shown.size() == shownBefore + 1 && shown.back() == ExchangeMessages::TimedOut());
            continue;
        }
        if (size - at < 2)
            break;
        const size_t length = std::min<size_t>((size_t(data[at]) << 8) | data[at + 1], size - at - 2);
        const QByteArray datagram(reinterpret_cast<const char*>(data + at + 2), static_cast<qsizetype>(length));
        at += 2 + length;

        const bool stranger = (control & 3) != 0;
        exchange.Winsock1_DataArrival(datagram, (control & 3) == 2 ? kStranger : kDevice, (control & 3) == 1 ? 2363 : 2362);

        const bool accepted = !stranger && datagram.size() >= 4 && datagram[0] == 'X' &&
                              pending != CommandExchange::OpNone;
        if (!accepted) {
            // Ignored: nothing changes and nobody is told.
            FUZZ_CHECK(exchange.PendingOp() == pending);
            FUZZ_CHECK(shown.size() == shownBefore);
            FUZZ_CHECK(settingsRead == readBefore);
            continue;
        }
        FUZZ_CHECK(exchange.PendingOp() == CommandExchange::OpNone);
        FUZZ_CHECK(shown.size() <= shownBefore + 1);
        for (size_t i = shownBefore; i < shown.size(); ++i)
            FUZZ_CHECK(known(shown[i]));
        // Only a good settings reply to a pending read reaches the window.
        if (settingsRead != readBefore)
            FUZZ_CHECK(pending == CommandExchange::OpRead && datagram[1] == 'Q');
        if (exchange.GotAck())
            FUZZ_CHECK(datagram[1] == 'A' &&
                       (pending == CommandExchange::OpMacAddress || pending == CommandExchange::OpMacRestart));
    }
    exchange.Close();
    return 0;
}
