#include "updateexchange.h"

#include "blockpacker.h"
#include "deviceversions.h"
#include "flash.h"
#include "updatefile.h"
#include "updatetestsupport.h"

#include <QtTest>

using namespace brevion;
using namespace updatetest;

namespace {

constexpr quint16 kLocalPort = 24501;

// Records what the conversation shows.
struct Recorder {
    QList<Message> messages;
    QStringList statuses;
    QList<double> maxima;
    int beeps = 0;
    MsgAnswer answer = MsgAnswer::Ok;

    UpdateExchange::Sinks sinks()
    {
        return {[this](double max, double) {
                    if (maxima.isEmpty() || maxima.last() != max)
                        maxima << max;
                },
                [this](const QString& s) { statuses << s; },
                [this](const Message& m) {
                    messages << m;
                    return answer;
                },
                [this] { ++beeps; }, [] {}};
    }
};

UpdateFile parsed(const QByteArray& bytes)
{
    const auto r = ParseUpdateFile(bytes);
    Q_ASSERT(r.file);
    return *r.file;
}

} // namespace

class TestUpdateExchange : public QObject {
    Q_OBJECT
private slots:
    void init() { SharedVersions() = {}; }

    void firmwareUpdateProgramsTheFlash()
    {
        SimDevice dev(kLocalPort);
        Recorder rec;
        UpdateExchange x;
        x.SetSinks(rec.sinks());
        x.SetDeviceIP(dev.ip);
        // Another program tries to take the local port all through the update, pauses included.
        int rivalTries = 0, rivalWins = 0;
        QTimer rival;
        QObject::connect(&rival, &QTimer::timeout, [&] {
            QUdpSocket other;
            ++rivalTries;
            rivalWins += other.bind(QHostAddress::AnyIPv4, kLocalPort, QUdpSocket::DontShareAddress);
        });
        rival.start(100);

        const UpdateFile firm = parsed(talixsim::makeUpdateFile(talixsim::Region::Firmware, {1, 0, 17}, 3000));
        x.EraseFirmware(false);
        QVERIFY(x.ReplyOK);
        bool failed = false;
        x.ProgramFile(firm, failed);
        QVERIFY(!failed);
        x.RebootDevice();
        QVERIFY(x.ReplyOK);
        rival.stop();
        QVERIFY(rivalTries > 20); // the two pauses of 2 s, and the waits after them
        QCOMPARE(rivalWins, 0);

        QVERIFY(rec.messages.isEmpty());
        QCOMPARE(rec.statuses, (QStringList{UpdateTexts::kErasing, UpdateTexts::kProgramming, UpdateTexts::kRebooting,
                                            UpdateTexts::kCompleted}));
        QCOMPARE(rec.maxima, (QList<double>{25, 3000, 27}));
        QCOMPARE(rec.beeps, 1);
        QCOMPARE(x.ProgressValue(), 27.0);

        const QList<QByteArray> in = dev.received();
        QCOMPARE(in.first(), QByteArray::fromHex("5850E7FE71"));
        QVERIFY(in.contains(QByteArray::fromHex("5850BDFE9B")));
        QVERIFY(dev.allFromLocalPort(kLocalPort));
        const QList<QByteArray> blocks = in.mid(in.indexOf(QByteArray("XQ")) + 1, PackBlocks(firm).size());
        QCOMPARE(blocks.size(), 47); // 3000 bytes in 64-byte records
        QCOMPARE(blocks.first(), BlockCommand(PackBlocks(firm).front()));

        const talixsim::DeviceState after = dev.fleet.device(dev.index);
        for (const DataRecord& r : firm.records)
            QCOMPARE(after.flash.mid(r.Address, r.data.size()), r.data);
        QCOMPARE(SharedVersions().FirmVersion, 0x010011);

        // A device shown as "Erased" gets the shorter erase bar (bootloader updates: the window's).
        x.EraseFirmware(true);
        QVERIFY(x.ReplyOK);
        QCOMPARE(rec.maxima.last(), 4.0);
    }

    void rejectedBlockIsShownAndSentAgain()
    {
        SimDevice dev(kLocalPort);
        dev.faults([](talixsim::Faults& f) { f.nackNext = 1; });
        Recorder rec;
        UpdateExchange x;
        x.SetSinks(rec.sinks());
        x.SetDeviceIP(dev.ip);
        bool failed = false;
        x.ProgramFile(parsed(talixsim::makeUpdateFile(talixsim::Region::Firmware, {1, 0, 17}, 64)), failed);
        QVERIFY(!failed);
        QCOMPARE(rec.messages, (QList<Message>{UpdateTexts::DeviceError()}));
        const QList<QByteArray> in = dev.received();
        QCOMPARE(in.size(), 2);
        QCOMPARE(in[0], in[1]);
    }

    void unansweredBlockGoesFourTimesThenFails()
    {
        SimDevice dev(kLocalPort);
        dev.faults([](talixsim::Faults& f) { f.silent = true; });
        Recorder rec;
        UpdateExchange x;
        x.SetSinks(rec.sinks());
        x.SetDeviceIP(dev.ip);
        bool failed = false;
        x.ProgramFile(parsed(talixsim::makeUpdateFile(talixsim::Region::Firmware, {1, 0, 17}, 100)), failed);
        QVERIFY(failed);
        QCOMPARE(rec.messages, (QList<Message>{UpdateTexts::ProgramFailed()}));
        QCOMPARE(rec.messages[0].text, QStringLiteral("Timed out waiting for a response from the device.\r\n"
                                                      "The device failed to program completely.\r\n"
                                                      "Return to the previous window and try again."));
        const QList<QByteArray> in = dev.received();
        QCOMPARE(in.size(), 4);
        QVERIFY(in.count(in[0]) == 4);
        QCOMPARE(rec.beeps, 0);
    }

    void waitForDeviceAcceptsOnlyWholeCheckedReplies()
    {
        SimDevice dev(kLocalPort, talixsim::makeDevice(0, talixsim::Preset::Login));
        UpdateExchange x;
        x.SetDeviceIP(dev.ip);
        struct Case {
            const char* name;
            std::function<void(talixsim::Faults&)> fault;
            bool accepted;
        } cases[] = {
            {"64 bytes of a Login device", [](talixsim::Faults& f) { f.truncateReplies = 64; }, false},
            {"432 bytes, checksum off by one", [](talixsim::Faults& f) { f.corruptChecksum = true; }, false},
            {"whole and checked", [](talixsim::Faults&) {}, true},
        };
        for (const auto& c : cases) {
            dev.faults([&](talixsim::Faults& f) {
                f = talixsim::Faults{};
                c.fault(f);
            });
            dev.fleet.clearTraffic();
            SharedVersions() = {};
            float seconds = 0; // one try after the pause
            x.WaitForDevice(seconds);
            QVERIFY2(x.ReplyOK == c.accepted, c.name);
            QVERIFY2(dev.received().contains(QByteArray("XQ")), c.name);
            QVERIFY2((SharedVersions().FirmVersion == 0x010011) == c.accepted, c.name);
        }
    }

    void settingsReplyDuringEraseEndsItUnaccepted()
    {
        SetNetwork({0, kLocalPort, QStringLiteral("127.255.255.255")});
        ScriptedPeer peer(QStringLiteral("127.0.0.3"), QStringLiteral("127.0.0.4"));
        SetNetwork({peer.port(), kLocalPort, QStringLiteral("127.255.255.255")});
        // An "A" from a stranger is not heard; the device's own "Q" ends the erase wait.
        peer.answer = [](const QByteArray&) {
            return QList<std::pair<bool, QByteArray>>{{true, QByteArray("XA\0\0", 4)}, {false, basicReply()}};
        };
        Recorder rec;
        UpdateExchange x;
        x.SetSinks(rec.sinks());
        x.SetDeviceIP(QStringLiteral("127.0.0.3"));
        x.EraseFirmware(true);
        QVERIFY(!x.ReplyOK);
        QCOMPARE(peer.received, (QList<QByteArray>{QByteArray::fromHex("5850E7FE71")}));
        QCOMPARE(rec.messages, (QList<Message>{UpdateTexts::EraseTimedOut()}));
        QCOMPARE(rec.messages[0].text,
                 QStringLiteral("Timed out waiting for the device to erase.\r\n"
                                "Return to the previous window and click \"Read Settings\" to see if it was erased."));
    }

    void restartConfirmedBySettingsReplyAlone()
    {
        SetNetwork({0, kLocalPort, QStringLiteral("127.255.255.255")});
        ScriptedPeer peer(QStringLiteral("127.0.0.3"), QStringLiteral("127.0.0.4"));
        SetNetwork({peer.port(), kLocalPort, QStringLiteral("127.255.255.255")});
        peer.answer = [](const QByteArray& d) {
            QList<std::pair<bool, QByteArray>> out;
            if (d == "XQ")
                out.append({false, basicReply()});
            return out; // the restart itself is never acknowledged
        };
        Recorder rec;
        UpdateExchange x;
        x.SetSinks(rec.sinks());
        x.SetDeviceIP(QStringLiteral("127.0.0.3"));
        x.RebootDevice();
        QVERIFY(x.ReplyOK);
        QVERIFY(rec.messages.isEmpty());
        QCOMPARE(rec.statuses.last(), QStringLiteral("Update was completed successfully."));
        QCOMPARE(peer.received, (QList<QByteArray>{QByteArray::fromHex("5850BDFE9B"), QByteArray("XQ")}));
    }
};

QTEST_GUILESS_MAIN(TestUpdateExchange)
#include "test_update_exchange.moc"
