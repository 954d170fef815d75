#include "gui/commandexchange.h"

#include "common/bridgelock.h"
#include "sim/deviceprotocol.h"
#include "config/maccommand.h"
#include "ui/networksettings.h"
#include "hex.h"
#include "rig.h"
#include "engine/devicelink.h"
#include "gui/windowlink.h"

#include <QtNetwork>
#include <QtTest>

#include <unistd.h>

using namespace brevion;
using support::hex;

namespace {

const QString kPeer = QStringLiteral("127.0.0.9");

// The message boxes the exchange shows, as "title|text".
const QString kAgain = "\r\nPlease try the last operation again.", kComms = "Communications Error|";
const QString kSaved = "Save Settings|Settings were successfully saved to the device.\r\nIt must be rebooted for the new "
                       "settings to take effect.\r\nDo you want to reboot now?";
const QString kRebooting = "Reboot|Device is rebooting.\r\nPlease allow thirty seconds before trying to find or re-configure it again.";
const QString kRefused = kComms + "The device reported an error receiving the last command." + kAgain;
const QString kTimedOut = kComms + "Timed out waiting for a response from the device." + kAgain;
const QString kDataError = "Error Reading Settings|A data error was detected reading the device's current settings.\r\nPlease "
                           "click \"Read Settings\" to read them again.";

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
        received.clear(), shown.clear(), onBox = {};
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
    void outcomesBecomeBoxes()
    {
        // Replies that answer nothing (an accept to a read, a settings reply to a save, a stranger's
        // code): fuzz_commandexchange.
        const QByteArray commands[] = {{}, BuildSaveCommand({}, SettingsLayout::Login), RebootCommand(), ReadCommand(),
                                       MacCommand({0, 0x50, 0xC2, 0x5A, 0x30, 0})};
        const struct { int op; QList<QByteArray> script; QStringList boxes; bool ack = false; } rows[] = {{3, {kGood}, {}},
            {3, {kGood.chopped(1) + '\x01'}, {kDataError + "#3"}}, {2, {kA}, {kRebooting + "#0"}},
            {2, {QByteArray("XN\0\0", 4)}, {kRefused + "#2"}}, {1, {kA, kA}, {kSaved + "#0", kRebooting + "#0"}},
            {4, {kA}, {}, true}, {2, {QByteArray("XA\0", 3)}, {kTimedOut + "#2"}}};
        for (const auto& row : rows) {
            init();
            replies = row.script;
            int reads = 0;
            connect(exchange.get(), &CommandExchange::SettingsRead, this, [&] { ++reads; });
            QCOMPARE(exchange->RunAndWait(commands[row.op], qint16(row.op)), row.ack);
            QTRY_COMPARE(shown, row.boxes); // a reboot after Yes ends after RunAndWait
            QCOMPARE(reads, &row == rows ? 1 : 0); // the first row alone is a good settings reply
            QCOMPARE(SharedVersions().FirmVersion, reads ? 0x010011 : 0x010004); // a bad reply leaves them
            QVERIFY(exchange->PendingOp() == 0 && !exchange->Timer1().Enabled);
            const bool timedOut = row.boxes.value(0) == kTimedOut + "#2";
            QCOMPARE(exchange->Timer1().Interval, timedOut ? 2000 : 0);
            QVERIFY(!WindowLink().isOpen()); // the port is let go after every command
            if (row.op == 2 || row.boxes.size() == 2) // a reboot, on its own or after Yes
                QCOMPARE(received.last(), hex("58 42 FF 66"));
        }
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

    // The port held by another program; the device held by another program's update or save (a
    // save, reboot or MAC command is not sent).
    void heldSaysByWhom()
    {
        QUdpSocket theirs;
        QVERIFY(theirs.bind(QHostAddress::AnyIPv4, localPort) && !exchange->Read());
        theirs.close();
        const BridgeLock update(kPeer, peer.localPort());
        QVERIFY(update.held() && !exchange->Save(BuildSaveCommand({}, SettingsLayout::Login)));
        QVERIFY(!exchange->RunAndWait(MacCommand({0, 0x50, 0xC2, 0x5A, 0x30, 0}), CommandExchange::OpMacAddress) && !exchange->Reboot());
        QVERIFY(shown.size() == 4 && shown[0].contains(QString("local UDP port %1 is in use by another program.").arg(localPort)));
        const QString inUse = kComms + QString("The device at %1 is in use by another program (process %2)").arg(kPeer).arg(::getpid());
        QVERIFY2(shown[1].startsWith(inUse) && shown[2].startsWith(inUse) && shown[3].startsWith(inUse), qPrintable(shown.join('\n')));
        QVERIFY(exchange->PendingOp() == 0 && received.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCommandExchange)
#include "test_commandexchange.moc"
