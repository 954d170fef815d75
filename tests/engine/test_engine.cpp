// The device engine against simulated devices on loopback: routing by sender, every outcome,
// updates through faults, many devices over one socket.
#include "commandconversation.h"
#include "devicelink.h"
#include "discoverconversation.h"
#include "updateconversation.h"

#include "deviceprotocol.h"
#include "fleet.h"
#include "updatefile.h"
#include "updateimage.h"

#include <QtTest>
#include <QUdpSocket>

#include <memory>

using namespace brevion;
using Code = Outcome::Code;

namespace {

// Simulated devices on 127.0.0.2 onward and a link to them from a free local port.
struct Bench {
    talixsim::Fleet fleet{talixsim::FleetOptions{0, 0, 7, 200000}};
    std::unique_ptr<DeviceLink> link;

    explicit Bench(int devices, quint16 localPort = 0)
    {
        for (int i = 0; i < devices; ++i) {
            const int index = fleet.addDevice(talixsim::makeDevice(i, talixsim::Preset::Login));
            talixsim::Faults f;
            f.eraseMs = 20;
            f.restartSilentMs = 100;
            fleet.setFaults(index, f);
        }
        fleet.start();
        link = std::make_unique<DeviceLink>(NetworkSettings{fleet.port(), localPort, QStringLiteral("127.255.255.255")});
    }
    QHostAddress ip(int i) const { return QHostAddress(fleet.device(i).address); }
    void faults(const std::function<void(talixsim::Faults&)>& change, int i = 0)
    {
        talixsim::Faults f = fleet.faults(i);
        change(f);
        fleet.setFaults(i, f);
    }
    // A request has reached device i.
    bool heard(int i, char code)
    {
        for (const auto& e : fleet.traffic())
            if (e.direction == talixsim::TrafficEntry::Direction::In && e.device == i && e.bytes.size() > 1 &&
                e.bytes[1] == code)
                return true;
        return false;
    }
};

Outcome run(Conversation* c, int boundMs = 10000)
{
    QSignalSpy done(c, &Conversation::finished);
    c->start();
    if (!c->isFinished())
        done.wait(boundMs);
    return c->outcome();
}

// A datagram from the device's address but another port, once the device has heard a request.
void forgeAnswer(Bench& b, char code)
{
    auto forger = new QUdpSocket(b.link.get());
    forger->bind(b.ip(0), 0);
    QTRY_VERIFY_WITH_TIMEOUT(b.heard(0, code), 1000);
    forger->writeDatagram(talixsim::settingsReply(b.fleet.device(0)), QHostAddress::LocalHost, b.link->localPort());
    forger->writeDatagram(talixsim::acceptReply(), QHostAddress::LocalHost, b.link->localPort());
}

enum class Fault { None, Silent, AnswerN, Corrupt, Truncated, ReplyLost, RequestLost, Duplicates, OtherAddress,
                   OtherPort, PortTaken };

} // namespace

Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(brevion::Outcome::Code)

namespace {

void apply(Bench& b, Fault fault)
{
    b.faults([fault](talixsim::Faults& f) {
        f.silent = fault == Fault::Silent || fault == Fault::OtherPort;
        f.answerN = fault == Fault::AnswerN;
        f.corruptChecksum = fault == Fault::Corrupt;
        f.truncateReplies = fault == Fault::Truncated ? 40 : 0;
        f.dropNextReplies = fault == Fault::ReplyLost;
        f.dropNextRequests = fault == Fault::RequestLost;
        f.duplicateReplies = fault == Fault::Duplicates ? 2 : 0;
        f.replyFrom = fault == Fault::OtherAddress ? talixsim::loopbackAddress(90) : 0;
    });
}

UpdateFile parsed(const QByteArray& bytes)
{
    const UpdateFileResult r = ParseUpdateFile(bytes);
    Q_ASSERT(r.file);
    return *r.file;
}

UpdateConversation::Timings shortTimings()
{
    UpdateConversation::Timings t;
    t.eraseWaitMs = t.blockWaitMs = t.restartWaitMs = t.readWaitMs = 250;
    t.pauseMs = 50;
    t.afterEraseMs = t.afterEraseErasedMs = t.afterRestartMs = 1500;
    return t;
}

} // namespace

class TestEngine : public QObject {
    Q_OBJECT
private slots:
    void commandOutcomes_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<Code>("expected");
        QTest::newRow("read") << "read" << Fault::None << Code::Accepted;
        QTest::newRow("read, silence") << "read" << Fault::Silent << Code::TimedOut;
        QTest::newRow("read, N") << "read" << Fault::AnswerN << Code::Refused;
        QTest::newRow("read, bad checksum") << "read" << Fault::Corrupt << Code::CorruptReply;
        QTest::newRow("read, cut short") << "read" << Fault::Truncated << Code::CorruptReply;
        QTest::newRow("read, reply lost") << "read" << Fault::ReplyLost << Code::TimedOut;
        QTest::newRow("read, request lost") << "read" << Fault::RequestLost << Code::TimedOut;
        QTest::newRow("read, duplicates") << "read" << Fault::Duplicates << Code::Accepted;
        QTest::newRow("read, stranger's address") << "read" << Fault::OtherAddress << Code::TimedOut;
        QTest::newRow("read, device address, other port") << "read" << Fault::OtherPort << Code::TimedOut;
        QTest::newRow("read, port taken") << "read" << Fault::PortTaken << Code::PortInUse;
        QTest::newRow("save") << "save" << Fault::None << Code::Accepted;
        QTest::newRow("save, N") << "save" << Fault::AnswerN << Code::Refused;
        QTest::newRow("save, device address, other port") << "save" << Fault::OtherPort << Code::TimedOut;
        QTest::newRow("reboot") << "reboot" << Fault::None << Code::Accepted;
        QTest::newRow("mac") << "mac" << Fault::None << Code::Accepted;
        QTest::newRow("mac, silence") << "mac" << Fault::Silent << Code::TimedOut;
        // A copy of the read's reply must not answer the save that follows it.
        QTest::newRow("read and save at once, duplicates") << "read+save" << Fault::Duplicates << Code::Accepted;
    }

    void commandOutcomes()
    {
        QFETCH(QString, command);
        QFETCH(Fault, fault);
        QFETCH(Code, expected);
        QUdpSocket holder;
        if (fault == Fault::PortTaken)
            QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0));
        Bench b(1, holder.localPort());
        apply(b, fault);
        CommandConversation* c = nullptr;
        CommandConversation* first = nullptr;
        if (command == "read") {
            c = CommandConversation::Read(*b.link, b.ip(0), b.link.get());
        } else if (command == "save" || command == "read+save") {
            DeviceSettings s;
            s.NetName = QStringLiteral("Renamed");
            c = CommandConversation::Save(*b.link, b.ip(0), BuildSaveCommand(s, SettingsLayout::Login), b.link.get());
            if (command == "read+save") {
                first = CommandConversation::Read(*b.link, b.ip(0), b.link.get());
                first->start();
            }
        } else if (command == "reboot") {
            c = CommandConversation::Reboot(*b.link, b.ip(0), b.link.get());
        } else {
            c = CommandConversation::ProgramMac(*b.link, b.ip(0), {0x00, 0x50, 0xC2, 0x5A, 0x3A, 0xBC}, b.link.get());
        }
        QSignalSpy done(c, &Conversation::finished);
        c->start();
        if (fault == Fault::OtherPort)
            forgeAnswer(b, command == "read" ? 'Q' : 'S');
        QVERIFY(c->isFinished() || done.wait(5000));
        QCOMPARE(c->outcome().code, expected);
        if (first)
            QCOMPARE(first->outcome().code, Code::Accepted);
        if (expected == Code::Accepted && command == "read")
            QCOMPARE(c->reply()->IPAddr, b.ip(0).toString());
        if (expected == Code::Accepted && command.endsWith("save"))
            QCOMPARE(b.fleet.device(0).name, QStringLiteral("Renamed"));
        if (expected == Code::Accepted && command == "mac")
            QCOMPARE(b.fleet.device(0).mac, (talixsim::Mac{0x00, 0x50, 0xC2, 0x5A, 0x3A, 0xBC}));
        QCOMPARE(b.link->conversationCount(), 0);
    }

    void updateOutcomes_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<Code>("expected");
        QTest::addColumn<UpdateConversation::Phase>("phase");
        using P = UpdateConversation::Phase;
        QTest::newRow("clean") << 0 << Code::Accepted << P::Done;
        QTest::newRow("a fifth of the requests lost") << 1 << Code::Accepted << P::Done;
        QTest::newRow("every reply twice") << 2 << Code::Accepted << P::Done;
        QTest::newRow("silence") << 3 << Code::TimedOut << P::Erase;
        QTest::newRow("erase refused") << 4 << Code::Refused << P::Erase;
        QTest::newRow("settings replies corrupt") << 5 << Code::TimedOut << P::WaitAfterErase;
        QTest::newRow("image tagged with another version") << 6 << Code::VersionMismatch << P::Done;
        QTest::newRow("restarts mid-update, back soon") << 7 << Code::Accepted << P::Done;
        QTest::newRow("restarts mid-update, gone too long") << 8 << Code::TimedOut << P::Program;
        QTest::newRow("cancelled while programming") << 9 << Code::Cancelled << P::Program;
    }

    void updateOutcomes()
    {
        QFETCH(int, fault);
        QFETCH(Code, expected);
        QFETCH(UpdateConversation::Phase, phase);
        Bench b(1);
        b.faults([fault](talixsim::Faults& f) {
            f.dropRequestShare = fault == 1 ? 0.2 : 0.0;
            f.duplicateReplies = fault == 2;
            f.silent = fault == 3;
            f.answerN = fault == 4;
            f.corruptChecksum = fault == 5;
            f.restartSilentMs = fault == 8 ? 5000 : 100;
        });
        QByteArray bytes = talixsim::makeUpdateFile(talixsim::Region::Firmware, {1, 0, 18}, 8192);
        if (fault == 6)
            bytes[2] = 19; // the header says 1.0.19, the image's tag 1.0.18
        const UpdateFile file = parsed(bytes);
        UpdateConversation u(*b.link, b.ip(0), file, UpdateConversation::Target::Firmware, false);
        u.setTimings(shortTimings());
        QUdpSocket restarter;
        restarter.bind(QHostAddress::LocalHost, 0);
        connect(&u, &UpdateConversation::progress, &u, [&](qint64 done) {
            if (done == 2048 && (fault == 7 || fault == 8))
                restarter.writeDatagram(talixsim::commandWithChecksum("XB"), b.ip(0), b.fleet.port());
            if (done == 2048 && fault == 9)
                u.cancel();
        });
        QCOMPARE(run(&u, 20000).code, expected);
        QCOMPARE(u.phase(), phase);
        if (expected == Code::Accepted) {
            const QByteArray flash = b.fleet.device(0).flash;
            for (const DataRecord& r : file.records)
                QCOMPARE(flash.mid(r.Address, r.data.size()), r.data);
            QCOMPARE(u.bytesDone(), u.totalBytes());
            QCOMPARE(u.versions()->FirmVersion, file.header.Version);
        }
    }

    // Fifty devices answering in scrambled order over one socket: each reply reaches the
    // conversation of the device that sent it; discovery lists them all meanwhile.
    void manyDevicesOverOneSocket()
    {
        constexpr int kDevices = 50;
        Bench b(kDevices);
        for (int i = 0; i < kDevices; ++i)
            b.faults([i](talixsim::Faults& f) { f.replyDelayMs = (i * 37) % 100; }, i);
        DiscoverConversation search(*b.link);
        search.start();
        std::vector<CommandConversation*> reads;
        for (int i = 0; i < kDevices; ++i) {
            reads.push_back(CommandConversation::Read(*b.link, b.ip(i), b.link.get()));
            reads.back()->start();
        }
        QTRY_VERIFY_WITH_TIMEOUT(search.isFinished() && b.link->conversationCount() == 0, 5000);
        for (int i = 0; i < kDevices; ++i) {
            QCOMPARE(reads[i]->outcome().code, Code::Accepted);
            QCOMPARE(reads[i]->reply()->IPAddr, b.ip(i).toString());
        }
        QCOMPARE(search.outcome().code, Code::Accepted);
        QCOMPARE(search.devices().Count(), kDevices);
    }

    // brevion.wire shows every datagram both ways as hex.
    void wireLog()
    {
        static QStringList lines;
        lines.clear();
        QLoggingCategory::setFilterRules(QStringLiteral("brevion.wire=true"));
        const auto previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) {
            lines << m;
        });
        Bench b(1);
        const Outcome o = run(CommandConversation::Reboot(*b.link, b.ip(0), b.link.get()));
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
        QCOMPARE(o.code, Code::Accepted);
        const QString device = QStringLiteral("127.0.0.2:%1").arg(b.fleet.port());
        QCOMPARE(lines, (QStringList{"out " + device + " 58 42 ff 66", "in " + device + " 58 41 00 00"}));
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "test_engine.moc"
