#include "commandexchange.h"

#include "deviceprotocol.h"
#include "fleet.h"
#include "networksettings.h"

#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

#include <deque>

using namespace brevion;
using namespace std::chrono_literals;

namespace {

// Ports of these tests only.
constexpr quint16 kFleetPort = 24310;
constexpr quint16 kFleetLocalPort = 24311;
constexpr quint16 kPeerPort = 24320;
constexpr quint16 kPeerLocalPort = 24321;
const QString kPeerAddress = QStringLiteral("127.0.0.9");

// One message box as the exchange asked for it, with what was pending while it was open.
struct Shown {
    Message message;
    qint16 pendingWhileOpen;
};

// A device played by the test: records commands and answers each with the next scripted reply.
class ScriptedDevice : public QObject {
public:
    ScriptedDevice()
    {
        QVERIFY(socket.bind(QHostAddress(kPeerAddress), kPeerPort));
        connect(&socket, &QUdpSocket::readyRead, this, [this] {
            while (socket.hasPendingDatagrams()) {
                QByteArray bytes(int(socket.pendingDatagramSize()), '\0');
                QHostAddress from;
                quint16 port = 0;
                socket.readDatagram(bytes.data(), bytes.size(), &from, &port);
                received.push_back(bytes);
                if (!replies.empty()) {
                    (replyVia ? replyVia : &socket)->writeDatagram(replies.front(), from, port);
                    replies.pop_front();
                }
            }
        });
    }
    QUdpSocket socket;
    QUdpSocket* replyVia = nullptr; // a forger that answers in the device's place
    std::vector<QByteArray> received;
    std::deque<QByteArray> replies;
};

QByteArray settingsReplyOf(talixsim::Preset preset)
{
    return talixsim::settingsReply(talixsim::makeDevice(7, preset));
}

} // namespace

class TestCommandExchange : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<CommandExchange> exchange;
    std::unique_ptr<talixsim::Fleet> fleet;
    std::vector<Shown> shown;
    std::deque<MsgAnswer> answers;

    void useFleet(talixsim::Preset preset = talixsim::Preset::Login, const talixsim::Faults& faults = {})
    {
        SetNetwork({kFleetPort, kFleetLocalPort, QStringLiteral("127.0.0.1")});
        fleet = std::make_unique<talixsim::Fleet>(talixsim::FleetOptions{kFleetPort});
        const int index = fleet->addDevice(talixsim::makeDevice(0, preset));
        fleet->setFaults(index, faults);
        QString error;
        QVERIFY2(fleet->start(&error), qPrintable(error));
        exchange->SetDeviceIP(talixsim::ipToText(talixsim::loopbackAddress(0)));
    }

    void usePeer()
    {
        SetNetwork({kPeerPort, kPeerLocalPort, QStringLiteral("127.0.0.1")});
        exchange->SetDeviceIP(kPeerAddress);
    }

    std::vector<QByteArray> commandsSeen() const
    {
        std::vector<QByteArray> out;
        for (const auto& entry : fleet->traffic())
            if (entry.direction == talixsim::TrafficEntry::Direction::In) {
                if (entry.peerPort == kFleetLocalPort)
                    out.push_back(entry.bytes);
            }
        return out;
    }

    bool idleWithin(int ms)
    {
        return QTest::qWaitFor([this] { return exchange->PendingOp() == CommandExchange::OpNone; }, ms);
    }

private slots:
    void init()
    {
        shown.clear();
        answers.clear();
        SharedVersions() = {};
        exchange = std::make_unique<CommandExchange>();
        exchange->SetMessageSink([this](const Message& m) {
            shown.push_back({m, exchange->PendingOp()});
            if (answers.empty())
                return m.buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
            const MsgAnswer a = answers.front();
            answers.pop_front();
            return a;
        });
    }

    void cleanup()
    {
        exchange.reset();
        fleet.reset();
    }

    void readSendsTwoBytesAndReportsTheSettings()
    {
        useFleet(talixsim::Preset::Rules);
        QSignalSpy read(exchange.get(), &CommandExchange::SettingsRead);
        QVERIFY(exchange->Read());
        QCOMPARE(exchange->PendingOp(), qint16(CommandExchange::OpRead));
        QCOMPARE(exchange->Timer1().Interval(), 2000);
        QVERIFY(read.wait(3000));
        QCOMPARE(commandsSeen(), std::vector<QByteArray>{QByteArray("XQ")});
        QCOMPARE(exchange->PendingOp(), qint16(0));
        QVERIFY(!exchange->Timer1().Enabled());
        QCOMPARE(exchange->Timer1().Interval(), 0);
        QVERIFY(!exchange->Winsock1().IsBound());
        QVERIFY(shown.empty());
        const auto reply = read.at(0).at(0).value<SettingsReply>();
        QCOMPARE(reply.layout, SettingsLayout::Rules);
        QCOMPARE(SharedVersions(), reply.versions);
    }

    void saveThenYesRebootsAtOnce()
    {
        useFleet(talixsim::Preset::Login);
        answers = {MsgAnswer::Yes, MsgAnswer::Ok};
        DeviceSettings s;
        s.NetName = QStringLiteral("Renamed");
        s.IPAddr = QStringLiteral("127.0.0.2");
        s.BaudRate = 9600;
        QVERIFY(exchange->Save(BuildSaveCommand(s, SettingsLayout::Login)));
        QTRY_COMPARE_WITH_TIMEOUT(shown.size(), size_t(2), 4000);
        QCOMPARE(shown[0].message, ExchangeMessages::SaveConfirmation());
        QCOMPARE(shown[0].pendingWhileOpen, qint16(0)); // cleared before the box opens
        QCOMPARE(shown[1].message, ExchangeMessages::Rebooting());
        QCOMPARE(shown[1].pendingWhileOpen, qint16(0));
        const auto commands = commandsSeen();
        QCOMPARE(commands.size(), size_t(2));
        QCOMPARE(commands[0].left(2), QByteArray("XS"));
        QCOMPARE(commands[1], QByteArray::fromHex("5842FF66"));
        QCOMPARE(fleet->device(0).name, QStringLiteral("Renamed"));
    }

    void rejectionShowsItsBoxWhileStillPending()
    {
        talixsim::Faults faults;
        faults.nackNext = 1;
        useFleet(talixsim::Preset::Login, faults);
        QVERIFY(exchange->Reboot());
        QVERIFY(idleWithin(3000));
        QCOMPARE(shown.size(), size_t(1));
        QCOMPARE(shown[0].message, ExchangeMessages::DeviceError());
        QCOMPARE(shown[0].pendingWhileOpen, qint16(CommandExchange::OpReboot));
    }

    void badChecksumKeepsTheStoredVersions()
    {
        talixsim::Faults faults;
        faults.corruptChecksum = true;
        useFleet(talixsim::Preset::Login, faults);
        SharedVersions() = {0x010004, 0x010004};
        QSignalSpy read(exchange.get(), &CommandExchange::SettingsRead);
        QVERIFY(exchange->Read());
        QVERIFY(idleWithin(3000));
        QCOMPARE(shown.size(), size_t(1));
        QCOMPARE(shown[0].message, ExchangeMessages::DataError());
        QCOMPARE(read.count(), 0);
        QCOMPARE(SharedVersions(), (DeviceVersions{0x010004, 0x010004}));
    }

    void shortDatagramIsIgnoredAndTheTimeOutStillFires()
    {
        talixsim::Faults faults;
        faults.truncateReplies = 3;
        useFleet(talixsim::Preset::Login, faults);
        QSignalSpy arrivals(&exchange->Winsock1(), &UdpPort::DataArrival);
        QVERIFY(exchange->Reboot());
        QVERIFY(arrivals.wait(1500));
        QCOMPARE(arrivals.at(0).at(0).toByteArray(), QByteArray("XA", 3));
        QCOMPARE(exchange->PendingOp(), qint16(CommandExchange::OpReboot));
        QVERIFY(idleWithin(3000));
        QCOMPARE(shown.size(), size_t(1));
        QCOMPARE(shown[0].message, ExchangeMessages::TimedOut());
        QCOMPARE(shown[0].pendingWhileOpen, qint16(CommandExchange::OpReboot));
        // After a time-out the socket stays bound and the timer keeps its interval.
        QVERIFY(exchange->Winsock1().IsBound());
        QCOMPARE(exchange->Timer1().Interval(), 2000);
        QVERIFY(!exchange->Timer1().Enabled());
    }

    void replyAfterTheTimeOutIsIgnored()
    {
        talixsim::Faults faults;
        faults.replyDelayMs = 2400;
        useFleet(talixsim::Preset::Login, faults);
        QSignalSpy arrivals(&exchange->Winsock1(), &UdpPort::DataArrival);
        QVERIFY(exchange->Reboot());
        QVERIFY(idleWithin(3000));
        QCOMPARE(shown.size(), size_t(1));
        QVERIFY(arrivals.wait(2000)); // the late "A" does arrive ...
        QCOMPARE(shown.size(), size_t(1)); // ... and changes nothing
        QCOMPARE(exchange->PendingOp(), qint16(0));
    }

    // Only the device's address and port are the device: a forger on its address but another
    // port, or on its port at another address, is not heard, and the wait runs into its time-out.
    void repliesCountOnlyFromTheDevicesAddressAndPort_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<int>("portOffset");
        QTest::addColumn<bool>("heard");
        QTest::newRow("the device") << kPeerAddress << 0 << true;
        QTest::newRow("its address, another port") << kPeerAddress << 7 << false;
        QTest::newRow("another address, its port") << QStringLiteral("127.0.0.10") << 0 << false;
    }

    void repliesCountOnlyFromTheDevicesAddressAndPort()
    {
        QFETCH(QString, from);
        QFETCH(int, portOffset);
        QFETCH(bool, heard);
        usePeer();
        ScriptedDevice device;
        QUdpSocket forger;
        if (!heard) {
            QVERIFY(forger.bind(QHostAddress(from), quint16(kPeerPort + portOffset)));
            device.replyVia = &forger;
        }
        device.replies = {QByteArray("XA\0\0", 4)};
        QCOMPARE(exchange->RunAndWait(QByteArray("XM"), CommandExchange::OpMacAddress), heard);
        QCOMPARE(shown.size(), size_t(heard ? 0 : 1));
        if (!heard)
            QCOMPARE(shown[0].message, ExchangeMessages::TimedOut());
    }

    void readTwiceLeavesOnePendingRead()
    {
        useFleet(talixsim::Preset::Basic);
        QSignalSpy read(exchange.get(), &CommandExchange::SettingsRead);
        QVERIFY(exchange->Read());
        QVERIFY(exchange->Read());
        QVERIFY(read.wait(3000));
        QVERIFY(fleet->waitForReplies(2, 2000ms));
        QCoreApplication::processEvents();
        QCOMPARE(read.count(), 1);
        QCOMPARE(commandsSeen(), (std::vector<QByteArray>{"XQ", "XQ"}));
        QVERIFY(shown.empty());
    }

    void unexpectedRepliesEndTheWaitSilently_data()
    {
        QTest::addColumn<qint16>("op");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("ack");
        QTest::newRow("Q while a save is pending") << qint16(CommandExchange::OpSave) << settingsReplyOf(talixsim::Preset::Login) << false;
        QTest::newRow("A while a read is pending") << qint16(CommandExchange::OpRead) << QByteArray("XA\0\0", 4) << false;
        QTest::newRow("unknown code") << qint16(CommandExchange::OpReboot) << QByteArray("XZ\0\0", 4) << false;
        QTest::newRow("A to the MAC command") << qint16(CommandExchange::OpMacAddress) << QByteArray("XA\0\0", 4) << true;
        QTest::newRow("A to the MAC restart") << qint16(CommandExchange::OpMacRestart) << QByteArray("XA\0\0", 4) << true;
    }

    void unexpectedRepliesEndTheWaitSilently()
    {
        QFETCH(qint16, op);
        QFETCH(QByteArray, reply);
        QFETCH(bool, ack);
        usePeer();
        ScriptedDevice device;
        device.replies = {reply};
        QSignalSpy read(exchange.get(), &CommandExchange::SettingsRead);
        const bool acked = exchange->RunAndWait(QByteArray("XQ"), op);
        QCOMPARE(acked, ack);
        QCOMPARE(exchange->PendingOp(), qint16(0));
        QVERIFY(!exchange->Timer1().Enabled());
        QVERIFY(shown.empty());
        QCOMPARE(read.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestCommandExchange)
#include "test_commandexchange.moc"
