#include "commandexchange.h"

#include "blockpacker.h"
#include "deviceprotocol.h"
#include "maccommand.h"
#include "networksettings.h"
#include "rig.h"
#include "udpport.h"

#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

using namespace brevion;

namespace {

const QString kPeer = QStringLiteral("127.0.0.9");

// The design's boxes, as "title|text".
const QString kAgain = QStringLiteral("\r\nPlease try the last operation again.");
const QString kSaved = QStringLiteral("Save Settings|Settings were successfully saved to the device.\r\nIt must be "
                                      "rebooted for the new settings to take effect.\r\nDo you want to reboot now?");
const QString kRebooting = QStringLiteral("Reboot|Device is rebooting.\r\nPlease allow thirty seconds before trying "
                                          "to find or re-configure it again.");
const QString kRefused =
    QStringLiteral("Communications Error|The device reported an error receiving the last command.") + kAgain;
const QString kTimedOut =
    QStringLiteral("Communications Error|Timed out waiting for a response from the device.") + kAgain;
const QString kDataError = QStringLiteral("Error Reading Settings|A data error was detected reading the device's "
                                          "current settings.\r\nPlease click \"Read Settings\" to read them again.");

const QByteArray kGood = talixsim::settingsReply(talixsim::makeDevice(7, talixsim::Preset::Login));
const QByteArray kA("XA\0\0", 4);

} // namespace

class TestCommandExchange : public QObject {
    Q_OBJECT

    std::unique_ptr<CommandExchange> exchange;
    QUdpSocket peer; // the device: answers each command with the next scripted reply
    QList<QByteArray> received, replies;
    QStringList shown; // "title|text#PendingOp while open"
    quint16 localPort = support::freeUdpPort();
    std::function<void()> onBox;

private slots:
    void initTestCase()
    {
        QVERIFY(peer.bind(QHostAddress(kPeer), 0));
        SetNetwork({peer.localPort(), localPort, QStringLiteral("127.0.0.1")});
        connect(&peer, &QUdpSocket::readyRead, this, [this] {
            while (peer.hasPendingDatagrams()) {
                const auto d = peer.receiveDatagram();
                received << d.data();
                if (!replies.isEmpty())
                    peer.writeDatagram(replies.takeFirst(), d.senderAddress(), d.senderPort());
            }
        });
    }

    void init()
    {
        received.clear();
        shown.clear();
        onBox = {};
        SharedVersions() = {0x010004, 0x010004};
        exchange = std::make_unique<CommandExchange>();
        exchange->SetDeviceIP(kPeer);
        exchange->SetMessageSink([this](const Message& m) {
            shown << QStringLiteral("%1|%2#%3").arg(m.title, m.text).arg(exchange->PendingOp());
            if (onBox)
                std::exchange(onBox, {})();
            return MsgAnswer::Yes; // a save confirmation's Yes; every other box has OK alone
        });
    }

    // Each outcome of a command as the window shows it, and what stays pending while a box is open.
    void outcomesBecomeTheDesignsBoxes_data()
    {
        QTest::addColumn<int>("op");
        QTest::addColumn<QList<QByteArray>>("script");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<bool>("ack");
        QTest::newRow("read, settings") << 3 << QList{kGood} << QStringList{} << false;
        QTest::newRow("read, bad checksum") << 3 << QList{kGood.chopped(1) + '\x01'} << QStringList{kDataError + "#3"} << false;
        QTest::newRow("read answered A") << 3 << QList{kA} << QStringList{} << false;
        QTest::newRow("save answered Q") << 1 << QList{kGood} << QStringList{} << false;
        QTest::newRow("unknown code") << 2 << QList{QByteArray("XZ\0\0", 4)} << QStringList{} << false;
        QTest::newRow("reboot accepted") << 2 << QList{kA} << QStringList{kRebooting + "#0"} << false;
        QTest::newRow("refused") << 2 << QList{QByteArray("XN\0\0", 4)} << QStringList{kRefused + "#2"} << false;
        QTest::newRow("save, Yes") << 1 << QList{kA, kA} << QStringList{kSaved + "#0", kRebooting + "#0"} << false;
        QTest::newRow("MAC command") << 4 << QList{kA} << QStringList{} << true;
        QTest::newRow("MAC restart") << 5 << QList{kA} << QStringList{} << true;
        QTest::newRow("3 bytes: time-out") << 2 << QList{QByteArray("XA\0", 3)} << QStringList{kTimedOut + "#2"} << false;
    }

    void outcomesBecomeTheDesignsBoxes()
    {
        QFETCH(int, op);
        QFETCH(QList<QByteArray>, script);
        QFETCH(QStringList, boxes);
        QFETCH(bool, ack);
        const QByteArray commands[] = {{}, BuildSaveCommand({}, SettingsLayout::Login), RebootCommand(), ReadCommand(),
                                       MacCommand({0, 0x50, 0xC2, 0x5A, 0x30, 0}), RestartCommand()};
        replies = script;
        int reads = 0;
        connect(exchange.get(), &CommandExchange::SettingsRead, this, [&] { ++reads; });
        QCOMPARE(exchange->RunAndWait(commands[op], qint16(op)), ack);
        QTRY_COMPARE(shown, boxes); // a reboot after Yes ends after RunAndWait
        QCOMPARE(reads, QTest::currentDataTag() == QLatin1String("read, settings") ? 1 : 0);
        QCOMPARE(SharedVersions().FirmVersion, reads ? 0x010011 : 0x010004); // a bad reply leaves them
        QCOMPARE(exchange->PendingOp(), qint16(0));
        const bool timedOut = boxes.value(0) == kTimedOut + "#2";
        QCOMPARE(exchange->Timer1().Interval, timedOut ? 2000 : 0);
        QVERIFY(!exchange->Timer1().Enabled);
        QCOMPARE(exchange->Link() != nullptr, timedOut); // the port stays bound after a time-out only
        if (op == 2 || boxes.size() == 2) // a reboot, on its own or after Yes
            QCOMPARE(received.last().toHex(), QByteArray("5842ff66"));
    }

    // A reply that arrives while the time-out box is open still answers the command.
    void replyDuringTheTimeOutBoxCounts()
    {
        onBox = [this] {
            peer.writeDatagram(kA, QHostAddress::LocalHost, localPort);
            QVERIFY(QTest::qWaitFor([this] { return shown.size() == 2; }, 2000));
        };
        exchange->RunAndWait(RebootCommand(), CommandExchange::OpReboot);
        QCOMPARE(shown, (QStringList{kTimedOut + "#2", kRebooting + "#0"}));
    }

    // The port held by this program (a command waiting elsewhere) or by another one.
    void portHeldSaysByWhom()
    {
        UdpPort ours;
        QUdpSocket theirs;
        for (const bool here : {true, false}) {
            shown.clear();
            QVERIFY(here ? ours.Bind(localPort) : theirs.bind(QHostAddress::AnyIPv4, localPort));
            QVERIFY(!exchange->Read());
            const QString words = here ? "UDP port %1 is still in use by this program, which is waiting for a "
                                         "device's reply on it."
                                       : "local UDP port %1 is in use by another program.";
            QVERIFY2(shown.value(0).contains(words.arg(localPort)), qPrintable(shown.value(0)));
            ours.Close();
        }
        QCOMPARE(exchange->PendingOp(), qint16(0));
        QVERIFY(received.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCommandExchange)
#include "test_commandexchange.moc"
