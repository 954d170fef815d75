// The device engine against simulated devices on loopback: routing by sender, every outcome,
// updates through faults, many devices over one socket.
#include "engine/commandconversation.h"
#include "engine/devicelink.h"
#include "engine/discoverconversation.h"
#include "engine/updateconversation.h"

#include "sim/deviceprotocol.h"
#include "rig.h"
#include "wait.h"
#include "update/updatefile.h"
#include "sim/updateimage.h"

#include <QtTest>
#include <QUdpSocket>

#include <algorithm>

using namespace brevion;
using Code = Outcome::Code;

namespace {

enum class Op { Read, Save, ReadThenSave, Reboot, Mac };
enum class Fault { None, Silent, AnswerN, Corrupt, Truncated, ReplyLost, RequestLost, Duplicates, Stranger,
                   ForgedPort, PortTaken, FifthLost, WrongVersion, RestartBack, RestartGone, Cancel };

// The rig's devices and a link to them from the given local port (0: the rig's free one).
struct Engine : support::Rig {
    explicit Engine(int devices, quint16 port = 0)
        : Rig(devices), link(std::make_unique<DeviceLink>(NetworkSettings{
                            fleet.port(), port ? port : localPort, QStringLiteral("127.255.255.255")}))
    {
    }
    std::unique_ptr<DeviceLink> link;
    QHostAddress at(int i = 0) const { return QHostAddress(ip(i)); }
    // Answers from the device's address but another port, once the device has heard `code`.
    void forge(char code)
    {
        auto forger = new QUdpSocket(link.get());
        forger->bind(at(), 0);
        const auto heard = [&](const talixsim::TrafficEntry& t) {
            return t.direction == talixsim::TrafficEntry::Direction::In && t.bytes.size() > 1 && t.bytes[1] == code;
        };
        QTRY_VERIFY_WITH_TIMEOUT(std::ranges::any_of(fleet.traffic(), heard), 1000);
        forger->writeDatagram(talixsim::settingsReply(fleet.device(0)), QHostAddress::LocalHost, link->localPort());
        forger->writeDatagram(talixsim::acceptReply(), QHostAddress::LocalHost, link->localPort());
    }
    void apply(Fault fault)
    {
        faults([fault](talixsim::Faults& f) {
            f.silent = fault == Fault::Silent || fault == Fault::ForgedPort;
            f.answerN = fault == Fault::AnswerN;
            f.corruptChecksum = fault == Fault::Corrupt;
            f.truncateReplies = fault == Fault::Truncated ? 40 : 0;
            f.dropNextReplies = fault == Fault::ReplyLost;
            f.dropNextRequests = fault == Fault::RequestLost;
            f.dropRequestShare = fault == Fault::FifthLost ? 0.2 : 0.0;
            f.duplicateReplies = fault == Fault::Duplicates ? 2 : 0;
            f.replyFrom = fault == Fault::Stranger ? talixsim::loopbackAddress(90) : 0;
            f.restartSilentMs = fault == Fault::RestartGone ? 5000 : 100;
        });
    }
};

Outcome run(Conversation* c, int boundMs = 10000)
{
    c->start();
    support::waitUntil([c] { return c->isFinished(); }, boundMs);
    return c->outcome();
}

UpdateConversation::Timings shortTimings()
{
    UpdateConversation::Timings t;
    t.eraseWaitMs = t.blockWaitMs = t.restartWaitMs = t.readWaitMs = 250;
    t.pauseMs = 50;
    t.afterEraseMs = t.afterEraseErasedMs = t.afterRestartMs = 1500;
    return t;
}

const talixsim::Mac kMac{0x00, 0x50, 0xC2, 0x5A, 0x3A, 0xBC};

} // namespace

Q_DECLARE_METATYPE(Op)
Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(brevion::Outcome::Code)

class TestEngine : public QObject {
    Q_OBJECT
private slots:
    void commandOutcomes_data()
    {
        QTest::addColumn<Op>("op");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<Code>("expected");
        const std::tuple<const char*, Op, Fault, Code> rows[] = {
            {"read", Op::Read, Fault::None, Code::Accepted},
            {"read, silence", Op::Read, Fault::Silent, Code::TimedOut},
            {"read, N", Op::Read, Fault::AnswerN, Code::Refused},
            {"read, bad checksum", Op::Read, Fault::Corrupt, Code::CorruptReply},
            {"read, cut short", Op::Read, Fault::Truncated, Code::CorruptReply},
            {"read, reply lost", Op::Read, Fault::ReplyLost, Code::TimedOut},
            {"read, request lost", Op::Read, Fault::RequestLost, Code::TimedOut},
            {"read, duplicates", Op::Read, Fault::Duplicates, Code::Accepted},
            {"read, a stranger answers", Op::Read, Fault::Stranger, Code::TimedOut},
            {"read, forged port", Op::Read, Fault::ForgedPort, Code::TimedOut},
            {"read, port taken", Op::Read, Fault::PortTaken, Code::PortInUse},
            {"save", Op::Save, Fault::None, Code::Accepted},
            {"save, N", Op::Save, Fault::AnswerN, Code::Refused},
            {"save, forged port", Op::Save, Fault::ForgedPort, Code::TimedOut},
            // A copy of the read's reply must not answer the save that follows it.
            {"read then save, duplicates", Op::ReadThenSave, Fault::Duplicates, Code::Accepted},
            {"reboot", Op::Reboot, Fault::None, Code::Accepted},
            {"mac", Op::Mac, Fault::None, Code::Accepted},
            {"mac, silence", Op::Mac, Fault::Silent, Code::TimedOut},
        };
        for (const auto& [name, op, fault, expected] : rows)
            QTest::newRow(name) << op << fault << expected;
    }

    void commandOutcomes()
    {
        QFETCH(Op, op);
        QFETCH(Fault, fault);
        QFETCH(Code, expected);
        QUdpSocket holder;
        if (fault == Fault::PortTaken)
            QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0));
        Engine e(1, holder.localPort());
        e.apply(fault);
        if (op == Op::ReadThenSave) // a slow reply, so that a save sent alongside the read would show
            e.faults([](talixsim::Faults& f) { f.replyDelayMs = 100; });
        DeviceLink& link = *e.link;
        DeviceSettings s;
        s.NetName = QStringLiteral("Renamed");
        CommandConversation* c = op == Op::Read     ? CommandConversation::Read(link, e.at(), &link)
                                 : op == Op::Reboot ? CommandConversation::Reboot(link, e.at(), &link)
                                 : op == Op::Mac    ? CommandConversation::ProgramMac(link, e.at(), kMac, &link)
                                 : CommandConversation::Save(link, e.at(), BuildSaveCommand(s, SettingsLayout::Login), &link);
        CommandConversation* first = op == Op::ReadThenSave ? CommandConversation::Read(link, e.at(), &link) : nullptr;
        if (first)
            first->start();
        c->start();
        if (fault == Fault::ForgedPort)
            e.forge(op == Op::Read ? 'Q' : 'S');
        QVERIFY(support::waitUntil([c] { return c->isFinished(); }));
        QCOMPARE(c->outcome().code, expected);
        if (first) {
            QCOMPARE(first->outcome().code, Code::Accepted);
            // One conversation with a device at a time: the save leaves after the read's reply.
            const auto log = e.fleet.traffic();
            const auto is = [](talixsim::TrafficEntry::Direction d, const char* prefix) {
                return [=](const talixsim::TrafficEntry& t) { return t.direction == d && t.bytes.startsWith(prefix); };
            };
            QVERIFY(std::ranges::find_if(log, is(talixsim::TrafficEntry::Direction::Out, "XQ")) <
                    std::ranges::find_if(log, is(talixsim::TrafficEntry::Direction::In, "XS")));
        }
        if (expected == Code::Accepted && op == Op::Read)
            QCOMPARE(c->reply()->IPAddr, e.ip());
        if (expected == Code::Accepted && (op == Op::Save || op == Op::ReadThenSave))
            QCOMPARE(e.fleet.device(0).name, QStringLiteral("Renamed"));
        if (expected == Code::Accepted && op == Op::Mac)
            QCOMPARE(e.fleet.device(0).mac, kMac);
        QCOMPARE(link.conversationCount(), 0);
        QVERIFY(!link.isOpen()); // let go with the last conversation
        if (fault == Fault::PortTaken)
            QCOMPARE(c->outcome().localPort, holder.localPort());
    }

    void updateOutcomes_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<Code>("expected");
        QTest::addColumn<UpdateConversation::Phase>("phase");
        using P = UpdateConversation::Phase;
        const std::tuple<const char*, Fault, Code, P> rows[] = {
            {"clean", Fault::None, Code::Accepted, P::Done},
            {"a fifth of the requests lost", Fault::FifthLost, Code::Accepted, P::Done},
            {"every reply twice", Fault::Duplicates, Code::Accepted, P::Done},
            {"silence", Fault::Silent, Code::TimedOut, P::Erase},
            {"erase refused", Fault::AnswerN, Code::Refused, P::Erase},
            {"settings replies corrupt", Fault::Corrupt, Code::TimedOut, P::WaitAfterErase},
            {"image tagged with another version", Fault::WrongVersion, Code::VersionMismatch, P::Done},
            {"restarts mid-update, back soon", Fault::RestartBack, Code::Accepted, P::Done},
            {"restarts mid-update, gone too long", Fault::RestartGone, Code::TimedOut, P::Program},
            {"cancelled while programming", Fault::Cancel, Code::Cancelled, P::Program},
        };
        for (const auto& [name, fault, expected, phase] : rows)
            QTest::newRow(name) << fault << expected << phase;
    }

    void updateOutcomes()
    {
        QFETCH(Fault, fault);
        QFETCH(Code, expected);
        QFETCH(UpdateConversation::Phase, phase);
        Engine e(1);
        e.apply(fault);
        QByteArray bytes = talixsim::makeUpdateFile(talixsim::Region::Firmware, {1, 0, 18}, 8192);
        if (fault == Fault::WrongVersion)
            bytes[2] = 19; // the header says 1.0.19, the image's tag 1.0.18
        const UpdateFileResult parsed = ParseUpdateFile(bytes);
        QVERIFY(parsed.file);
        const UpdateFile& file = *parsed.file;
        UpdateConversation u(*e.link, e.at(), file, UpdateConversation::Target::Firmware, false);
        u.setTimings(shortTimings());
        QUdpSocket restarter;
        connect(&u, &UpdateConversation::progress, &u, [&](qint64 done) {
            if (done == 2048 && (fault == Fault::RestartBack || fault == Fault::RestartGone))
                restarter.writeDatagram(talixsim::commandWithChecksum("XB"), e.at(), e.fleet.port());
            if (done == 2048 && fault == Fault::Cancel)
                u.cancel();
        });
        QCOMPARE(run(&u, 20000).code, expected);
        QCOMPARE(u.phase(), phase);
        if (expected == Code::Accepted) {
            const QByteArray flash = e.fleet.device(0).flash;
            for (const DataRecord& r : file.records)
                QCOMPARE(flash.mid(r.Address, r.data.size()), r.data);
            QCOMPARE(u.bytesDone(), u.totalBytes());
            QCOMPARE(u.versions()->FirmVersion, file.header.Version);
        }
    }

    // Fifty devices answering in scrambled order over one socket: each reply reaches the
    // conversation of the device that sent it; discovery lists them all meanwhile, and nothing
    // that came from another port.
    void manyDevicesOverOneSocket()
    {
        constexpr int kDevices = 50;
        Engine e(kDevices);
        for (int i = 0; i < kDevices; ++i)
            e.faults([i](talixsim::Faults& f) { f.replyDelayMs = (i * 37) % 100; }, i);
        DiscoverConversation search(*e.link);
        search.start();
        // Replies from another port name no bridge, not even a listed one; any address will do.
        talixsim::DeviceState stranger = talixsim::makeDevice(kDevices), clone = stranger, other = talixsim::makeDevice(kDevices + 1);
        clone.mac = e.fleet.device(0).mac;
        const quint16 port = e.fleet.port();
        for (const auto& [forged, from] : {std::pair{stranger, port + 1}, {clone, port + 1}, {other, port}})
            e.link->receive(talixsim::discoveryReply(forged), QHostAddress(talixsim::ipToText(forged.address)), quint16(from));
        std::vector<CommandConversation*> reads;
        for (int i = 0; i < kDevices; ++i) {
            reads.push_back(CommandConversation::Read(*e.link, e.at(i), e.link.get()));
            reads.back()->start();
        }
        QTRY_VERIFY_WITH_TIMEOUT(search.isFinished() && e.link->conversationCount() == 0, 5000);
        for (int i = 0; i < kDevices; ++i) {
            QCOMPARE(reads[i]->outcome().code, Code::Accepted);
            QCOMPARE(reads[i]->reply()->IPAddr, e.ip(i));
        }
        QCOMPARE(search.outcome().code, Code::Accepted);
        QCOMPARE(search.devices().Count(), kDevices + 1); // and `other`
        QVERIFY(std::ranges::none_of(search.devices().Answers(), &DeviceAnswer::sharedMac));
    }

    // Held open, the link keeps its port between conversations until it is closed; brevion.wire
    // shows every datagram both ways as hex.
    void heldOpenAndLogged()
    {
        static QStringList lines;
        QLoggingCategory::setFilterRules(QStringLiteral("brevion.wire=true"));
        const auto previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) {
            lines << m;
        });
        Engine e(1);
        DeviceLink& link = *e.link;
        QVERIFY(link.open().ok());
        const quint16 port = link.localPort();
        const Outcome o = run(CommandConversation::Reboot(link, e.at(), &link));
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
        QCOMPARE(o.code, Code::Accepted);
        QVERIFY(link.isOpen() && link.localPort() == port);
        link.close();
        QVERIFY(!link.isOpen());
        const QString device = QStringLiteral("127.0.0.2:%1").arg(e.fleet.port());
        QCOMPARE(lines, (QStringList{"out " + device + " 58 42 ff 66", "in " + device + " 58 41 00 00"}));
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "test_engine.moc"
