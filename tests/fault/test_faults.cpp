// Every operation against a simulated device that loses, duplicates, reorders and corrupts
// datagrams, answers "N" in bursts, restarts at the wrong moment, never comes back, or answers
// from a stranger's address. Each run ends in success with the device holding exactly what was
// sent, or in the operation's own failure message; a watchdog turns a hang into a failure.

#include "boxes.h"
#include "rig.h"
#include "watchdog.h"

#include "blockpacker.h"
#include "commandexchange.h"
#include "deviceprotocol.h"
#include "deviceversions.h"
#include "discoverysearch.h"
#include "flash.h"
#include "maccommand.h"
#include "settingsrecord.h"
#include "updateexchange.h"
#include "updatefile.h"
#include "updateimage.h"

#include <QElapsedTimer>
#include <QUdpSocket>
#include <QtTest>

#include <functional>

using namespace brevion;
using namespace support;
using namespace std::chrono_literals;

namespace {

using FaultSetup = std::function<void(talixsim::Faults&)>;

struct Scenario {
    const char* name;
    FaultSetup faults;
    int runs = 1;
};

const FaultSetup kLoss = [](talixsim::Faults& f) {
    f.dropRequestShare = 0.2;
    f.dropReplyShare = 0.2;
};
const FaultSetup kDuplicates = [](talixsim::Faults& f) { f.duplicateReplies = 2; };
const FaultSetup kCorrupt = [](talixsim::Faults& f) { f.corruptChecksum = true; };
const FaultSetup kNBurst = [](talixsim::Faults& f) { f.nackNext = 3; };
const FaultSetup kStranger = [](talixsim::Faults& f) { f.replyFrom = talixsim::ipFromText(QStringLiteral("127.0.0.250")); };
const FaultSetup kGone = [](talixsim::Faults& f) { f.silent = true; };

// What the user was told, for the log: "success" or the first line of the message.
QString told(const Boxes& rec, bool success)
{
    if (rec.shown.empty())
        return success ? QStringLiteral("success") : QStringLiteral("no message");
    QStringList lines;
    for (const Message& m : rec.shown)
        lines << m.title + QStringLiteral(": ") + m.text.section(kCrLf, 0, 0);
    return (success ? QStringLiteral("success after ") : QString()) + lines.join(QStringLiteral(" / "));
}

void report(const char* operation, const char* scenario, int run, const QString& outcome)
{
    qInfo("%-8s %-22s run %d: %s", operation, scenario, run + 1, qPrintable(outcome));
}

DeviceSettings newSettings(int variant)
{
    DeviceSettings s;
    s.DHCP = false;
    s.IPAddr = QStringLiteral("10.1.2.%1").arg(10 + variant);
    s.SubnetMask = QStringLiteral("255.255.0.0");
    s.Gateway = QStringLiteral("10.1.0.1");
    s.NetName = QStringLiteral("Line %1").arg(variant);
    s.IPPort = static_cast<quint16>(10001 + variant);
    s.BaudRate = 19200;
    s.Handshaking = 1;
    s.UDPPort = 40000;
    s.Rules.OutRules[1] = {QStringLiteral("192.168.1.20"), 23, 7, 30};
    s.Rules.OutCount = 1;
    s.UserPrompt = QStringLiteral("login:");
    s.PassPrompt = QStringLiteral("password:");
    s.Username = QStringLiteral("admin");
    s.Password = QStringLiteral("pw%1").arg(variant);
    return s;
}

bool holds(const talixsim::DeviceState& d, const DeviceSettings& s)
{
    const talixsim::Rule& r = d.rules[0];
    return d.ip == talixsim::ipFromText(s.IPAddr) && d.mask == talixsim::ipFromText(s.SubnetMask) &&
           d.gateway == talixsim::ipFromText(s.Gateway) && d.name == s.NetName && d.tcpPort == s.IPPort &&
           d.baud == quint32(s.BaudRate) && d.handshaking == s.Handshaking && d.udpPort == s.UDPPort &&
           r.ip == talixsim::ipFromText(s.Rules.OutRules[1].IPAddr) && r.port == s.Rules.OutRules[1].Port &&
           r.flags == s.Rules.OutRules[1].Flags && r.idleSecs == s.Rules.OutRules[1].IdleSecs &&
           d.username == s.Username && d.password == s.Password;
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    void init() { SharedVersions() = {}; }

    void search()
    {
        const Scenario scenarios[] = {
            {"none", {}, 1},     {"loss 20%", kLoss, 3},          {"duplicates", kDuplicates, 1},
            {"stranger", kStranger, 1}, {"truncated", [](talixsim::Faults& f) { f.truncateReplies = 20; }, 1},
            {"never answers", kGone, 1},
        };
        for (const Scenario& sc : scenarios) {
            Rig devices(3);
            for (int i = 0; i < 3; ++i)
                devices.faults(sc.faults ? sc.faults : FaultSetup([](talixsim::Faults&) {}), i);
            for (int run = 0; run < sc.runs; ++run) {
                DiscoverySearch search;
                DiscoverySearch::Outcome outcome;
                {
                    Watchdog dog(3s, QStringLiteral("search"));
                    outcome = search.Run();
                }
                QCOMPARE(outcome, DiscoverySearch::Outcome::Completed);
                // Whoever is listed is listed once and exactly as the device describes itself.
                const auto entries = search.Devices().Entries();
                QVERIFY(entries.size() <= 3);
                for (const DiscoveredDevice& e : entries) {
                    bool known = false;
                    for (int i = 0; i < 3; ++i) {
                        const talixsim::DeviceState d = devices.fleet.device(i);
                        known = known || (e.mac == talixsim::macToText(d.mac) && e.ip == devices.ip(i) && e.name == d.name);
                    }
                    QVERIFY2(known, qPrintable(e.mac + QLatin1Char(' ') + e.ip));
                }
                if (sc.faults == nullptr || std::string(sc.name) == "duplicates" || std::string(sc.name) == "stranger")
                    QCOMPARE(entries.size(), size_t(3));
                if (std::string(sc.name) == "truncated" || std::string(sc.name) == "never answers")
                    QCOMPARE(entries.size(), size_t(0));
                report("search", sc.name, run, QStringLiteral("%1 of 3 devices listed").arg(entries.size()));
            }
        }
    }

    void read()
    {
        const Scenario scenarios[] = {
            {"loss 20%", kLoss, 4}, {"duplicates", kDuplicates, 2}, {"corrupt checksum", kCorrupt, 1},
            {"burst of N", kNBurst, 4}, {"stranger", kStranger, 1}, {"never answers", kGone, 1},
        };
        for (const Scenario& sc : scenarios) {
            Rig devices(1, talixsim::Preset::Rules);
            devices.faults(sc.faults);
            for (int run = 0; run < sc.runs; ++run) {
                Boxes rec;
                CommandExchange exchange;
                exchange.SetDeviceIP(devices.ip());
                exchange.SetMessageSink(rec.sink());
                std::optional<SettingsReply> got;
                connect(&exchange, &CommandExchange::SettingsRead, [&](const SettingsReply& r) { got = r; });
                SharedVersions() = {};
                {
                    Watchdog dog(5s, QStringLiteral("read"));
                    exchange.RunAndWait(ReadCommand(), CommandExchange::OpRead);
                    // Late copies of the reply must find nothing pending.
                    QTest::qWait(30);
                }
                const talixsim::DeviceState d = devices.fleet.device(0);
                if (got) {
                    QVERIFY(rec.shown.empty());
                    QCOMPARE(got->IPAddr, talixsim::ipToText(d.ip));
                    QCOMPARE(got->NetName, d.name);
                    QCOMPARE(*got->UDPPort, d.udpPort);
                    QCOMPARE(SharedVersions().FirmVersion, qint32(talixsim::versionValue(d.firm)));
                } else {
                    QCOMPARE(int(rec.shown.size()), 1);
                    const Message& m = rec.shown.front();
                    QVERIFY(m == ExchangeMessages::TimedOut() || m == ExchangeMessages::DeviceError() ||
                            m == ExchangeMessages::DataError());
                    QCOMPARE(SharedVersions().FirmVersion, 0); // a bad reply chooses no layout
                }
                if (std::string(sc.name) == "corrupt checksum")
                    QCOMPARE(rec.count(ExchangeMessages::DataError()), 1);
                if (std::string(sc.name) == "stranger" || std::string(sc.name) == "never answers")
                    QCOMPARE(rec.count(ExchangeMessages::TimedOut()), 1);
                report("read", sc.name, run, told(rec, got.has_value()));
            }
        }
    }

    void readInterleavedWithSave()
    {
        // Replies held back so that the save's "A" arrives while a newer read waits: the read
        // ends without settings and the save is never reported as done.
        Rig devices(1, talixsim::Preset::Rules);
        devices.faults([](talixsim::Faults& f) { f.replyDelayMs = 150; });
        Boxes rec;
        CommandExchange exchange;
        exchange.SetDeviceIP(devices.ip());
        exchange.SetMessageSink(rec.sink());
        int reads = 0;
        connect(&exchange, &CommandExchange::SettingsRead, [&](const SettingsReply&) { ++reads; });
        Watchdog dog(5s, QStringLiteral("reordered"));
        QVERIFY(exchange.Save(BuildSaveCommand(newSettings(1), SettingsLayout::Rules)));
        QVERIFY(exchange.Read());
        QTRY_COMPARE_WITH_TIMEOUT(exchange.PendingOp(), qint16(CommandExchange::OpNone), 3000);
        QTest::qWait(300);
        QCOMPARE(rec.count(ExchangeMessages::SaveConfirmation()), 0);
        QCOMPARE(reads, 0);
        report("read", "reordered with save", 0, told(rec, false));
    }

    void save()
    {
        const Scenario scenarios[] = {
            {"loss 20%", kLoss, 4}, {"duplicates", kDuplicates, 1}, {"burst of N", kNBurst, 4},
            {"stranger", kStranger, 1}, {"never answers", kGone, 1},
        };
        int variant = 0;
        for (const Scenario& sc : scenarios) {
            Rig devices(1, talixsim::Preset::Login);
            devices.faults(sc.faults);
            for (int run = 0; run < sc.runs; ++run) {
                Boxes rec;
                CommandExchange exchange;
                exchange.SetDeviceIP(devices.ip());
                exchange.SetMessageSink(rec.sink());
                const DeviceSettings sent = newSettings(++variant);
                const talixsim::DeviceState before = devices.fleet.device(0);
                {
                    Watchdog dog(5s, QStringLiteral("save"));
                    exchange.RunAndWait(BuildSaveCommand(sent, SettingsLayout::Login), CommandExchange::OpSave);
                }
                const bool success = rec.count(ExchangeMessages::SaveConfirmation()) == 1;
                const talixsim::DeviceState after = devices.fleet.device(0);
                if (success) {
                    QCOMPARE(int(rec.shown.size()), 1);
                    QVERIFY2(holds(after, sent), "success reported but the device does not hold the settings");
                } else {
                    QCOMPARE(int(rec.shown.size()), 1);
                    QVERIFY(rec.shown.front() == ExchangeMessages::TimedOut() ||
                            rec.shown.front() == ExchangeMessages::DeviceError());
                    // Not told success: the device holds either the old or the new settings, whole.
                    QVERIFY(after == before || holds(after, sent));
                    if (rec.shown.front() == ExchangeMessages::DeviceError())
                        QCOMPARE(after, before);
                }
                report("save", sc.name, run, told(rec, success));
            }
        }
    }

    void reboot()
    {
        const Scenario scenarios[] = {
            {"loss 20%", kLoss, 4}, {"burst of N", kNBurst, 1}, {"never answers", kGone, 1},
        };
        for (const Scenario& sc : scenarios) {
            Rig devices;
            devices.faults(sc.faults);
            for (int run = 0; run < sc.runs; ++run) {
                Boxes rec;
                CommandExchange exchange;
                exchange.SetDeviceIP(devices.ip());
                exchange.SetMessageSink(rec.sink());
                devices.fleet.clearTraffic();
                {
                    Watchdog dog(5s, QStringLiteral("reboot"));
                    exchange.RunAndWait(RebootCommand(), CommandExchange::OpReboot);
                }
                const bool success = rec.count(ExchangeMessages::Rebooting()) == 1;
                QCOMPARE(int(rec.shown.size()), 1);
                if (success) {
                    bool reached = false;
                    for (const auto& e : devices.fleet.traffic())
                        reached = reached || (e.direction == talixsim::TrafficEntry::Direction::In && e.bytes == RebootCommand());
                    QVERIFY2(reached, "reboot reported but the device never got the command");
                } else {
                    QVERIFY(rec.shown.front() == ExchangeMessages::TimedOut() ||
                            rec.shown.front() == ExchangeMessages::DeviceError());
                }
                report("reboot", sc.name, run, told(rec, success));
                // Let a restart pass before the next run.
                QTRY_VERIFY_WITH_TIMEOUT(!devices.fleet.isRestarting(0), 2000);
            }
        }
    }

    void restartDuringRead()
    {
        // A device restarting after a save is silent for a while: the read times out, and the
        // next one succeeds.
        Rig devices;
        devices.faults([](talixsim::Faults& f) { f.restartSilentMs = 1500; });
        Boxes rec;
        CommandExchange exchange;
        exchange.SetDeviceIP(devices.ip());
        exchange.SetMessageSink(rec.sink());
        int reads = 0;
        connect(&exchange, &CommandExchange::SettingsRead, [&](const SettingsReply&) { ++reads; });
        Watchdog dog(10s, QStringLiteral("restart during read"));
        exchange.RunAndWait(RebootCommand(), CommandExchange::OpReboot);
        exchange.RunAndWait(ReadCommand(), CommandExchange::OpRead);
        QCOMPARE(reads, 0);
        QCOMPARE(rec.count(ExchangeMessages::TimedOut()), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!devices.fleet.isRestarting(0), 3000);
        exchange.RunAndWait(ReadCommand(), CommandExchange::OpRead);
        QCOMPARE(reads, 1);
        report("read", "device restarting", 0, told(rec, true));
    }

    void macProgramming()
    {
        // The programming loop as the configuration window runs it, bounded to a few attempts.
        const Scenario scenarios[] = {
            {"loss 20%", kLoss, 3}, {"burst of N", kNBurst, 1}, {"duplicates", kDuplicates, 1},
            {"stranger", kStranger, 1}, {"never answers", kGone, 1},
            {"restart in the middle", [](talixsim::Faults& f) { f.dropNextReplies = 0; }, 1},
        };
        int variant = 0;
        for (const Scenario& sc : scenarios) {
            talixsim::DeviceState fresh = talixsim::makeDevice(0, talixsim::Preset::Login);
            fresh.mac = talixsim::placeholderMac(0);
            Rig devices;
            devices.fleet.setDevice(0, fresh);
            devices.faults(sc.faults);
            const bool restartMidway = std::string(sc.name) == "restart in the middle";
            for (int run = 0; run < sc.runs; ++run) {
                Boxes rec;
                CommandExchange exchange;
                exchange.SetDeviceIP(devices.ip());
                exchange.SetMessageSink(rec.sink());
                const QString entry = QStringLiteral("5A3%1").arg(++variant, 3, 16, QLatin1Char('0')).toUpper();
                const MacBytes mac = *MacAddressFromEntry(entry);
                bool done = false;
                int attempts = 0;
                {
                    Watchdog dog(30s, QStringLiteral("MAC programming"));
                    while (!done && attempts < (std::string(sc.name) == "burst of N" ? 4 : 3)) {
                        ++attempts;
                        if (restartMidway && attempts == 1) {
                            // The device restarts right after taking the address: the restart
                            // command finds it silent.
                            devices.faults([](talixsim::Faults& f) { f.restartSilentMs = 2500; });
                            if (exchange.RunAndWait(MacCommand(mac), CommandExchange::OpMacAddress)) {
                                kick(devices.ip(), devices.fleet.port(), RebootCommand());
                                QTRY_VERIFY_WITH_TIMEOUT(devices.fleet.isRestarting(0), 1000);
                            }
                        } else if (!exchange.RunAndWait(MacCommand(mac), CommandExchange::OpMacAddress)) {
                            continue;
                        }
                        done = exchange.RunAndWait(talixsim::commandWithChecksum(QByteArray("XP\xBD", 3)),
                                                   CommandExchange::OpMacRestart);
                        if (!done && restartMidway)
                            QTRY_VERIFY_WITH_TIMEOUT(!devices.fleet.isRestarting(0), 4000);
                    }
                }
                const talixsim::DeviceState d = devices.fleet.device(0);
                talixsim::Mac expected;
                std::copy(mac.begin(), mac.end(), expected.begin());
                if (done)
                    QVERIFY2(d.mac == expected, "programming reported but the device holds another address");
                for (const Message& m : rec.shown)
                    QVERIFY(m == ExchangeMessages::TimedOut() || m == ExchangeMessages::DeviceError());
                if (std::string(sc.name) == "stranger" || std::string(sc.name) == "never answers")
                    QVERIFY(!done);
                if (std::string(sc.name) == "burst of N" || restartMidway || std::string(sc.name) == "duplicates")
                    QVERIFY(done);
                report("mac", sc.name, run,
                       told(rec, done) + QStringLiteral(" (%1 attempt%2)").arg(attempts).arg(attempts > 1 ? "s" : ""));
                QTRY_VERIFY_WITH_TIMEOUT(!devices.fleet.isRestarting(0), 4000);
            }
        }
    }

    void update()
    {
        enum class Ends { Any, Completed, NotErased, ProgrammedUnconfirmed };
        struct UpdateScenario {
            const char* name;
            FaultSetup faults;
            // Applied once the first block was accepted.
            FaultSetup midway;
            Ends ends = Ends::Any;
            bool fastClock = false;
            bool restartMidway = false;
        };
        const UpdateScenario scenarios[] = {
            {"none", {}, {}, Ends::Completed},
            {"loss 20%", kLoss, {}},
            {"loss 20% in programming", {}, kLoss},
            {"duplicates", kDuplicates, {}, Ends::Completed},
            {"burst of N in programming", {}, kNBurst, Ends::Completed},
            {"restart in programming", {}, {}, Ends::Completed, false, true},
            {"corrupt checksum", kCorrupt, {}, Ends::NotErased, true},
            {"never comes back", {}, [](talixsim::Faults& f) { f.restartSilentMs = 600000; },
             Ends::ProgrammedUnconfirmed, true},
            {"stranger", kStranger, {}, Ends::NotErased},
        };
        const talixsim::UpdateFileRecipe recipe{.version = {1, 0, 18}, .size = 256, .seed = 3};
        const UpdateFileResult parsed = ParseUpdateFile(talixsim::makeUpdateFile(recipe));
        QVERIFY(parsed.file);
        const QByteArray image = talixsim::updateImage(recipe);

        for (const UpdateScenario& sc : scenarios) {
            Rig devices(1, talixsim::Preset::Login, 11);
            if (sc.faults)
                devices.faults(sc.faults);
            Boxes rec;
            QStringList statuses;
            bool midwayDone = false;
            UpdateExchange exchange;
            exchange.SetDeviceIP(devices.ip());
            UpdateExchange::Sinks sinks;
            sinks.message = rec.sink();
            sinks.status = [&](const QString& s) { statuses << s; };
            sinks.progress = [&](double maximum, double position) {
                if (midwayDone || statuses.isEmpty() || statuses.back() != UpdateTexts::kProgramming || position <= 0 ||
                    position >= maximum)
                    return;
                midwayDone = true;
                if (sc.midway)
                    devices.faults(sc.midway);
                if (sc.restartMidway) {
                    devices.faults([](talixsim::Faults& f) { f.restartSilentMs = 1500; });
                    kick(devices.ip(), devices.fleet.port(), RebootCommand());
                }
            };
            exchange.SetSinks(sinks);
            if (sc.fastClock) {
                // Waits for the device measured ten times faster: 30 s pass in 3.
                QElapsedTimer clock;
                clock.start();
                exchange.SetClock([clock] { return clock.elapsed() / 100.0; });
            }

            bool erased = false, failed = false, completed = false;
            {
                Watchdog dog(120s, QStringLiteral("update"));
                exchange.EraseFirmware(false);
                erased = exchange.ReplyOK;
                if (erased) {
                    exchange.ProgramFile(*parsed.file, failed);
                    if (!failed) {
                        exchange.RebootDevice();
                        completed = statuses.back() == UpdateTexts::kCompleted;
                    }
                }
                exchange.Close();
            }
            QTRY_VERIFY_WITH_TIMEOUT(!devices.fleet.isErasing(0), 2000);
            const talixsim::DeviceState after = devices.fleet.device(0);
            const bool holdsImage = !after.flash.isEmpty() && after.flash.mid(talixsim::kFirmBase, image.size()) == image;
            for (const Message& m : rec.shown)
                QVERIFY(m == UpdateTexts::DeviceError() || m == UpdateTexts::EraseTimedOut() ||
                        m == UpdateTexts::NoAnswerAfterErase() || m == UpdateTexts::ProgramFailed() ||
                        m == UpdateTexts::RebootTimedOut());
            if (completed) {
                QVERIFY2(holdsImage, "update reported complete but the flash does not hold the file");
                QCOMPARE(after.firm, recipe.version);
                QCOMPARE(SharedVersions().FirmVersion, qint32(0x010012));
            }
            if (erased && !failed)
                QVERIFY2(holdsImage, "every block was acknowledged but the flash does not hold the file");
            if (!erased)
                QVERIFY(rec.count(UpdateTexts::EraseTimedOut()) + rec.count(UpdateTexts::NoAnswerAfterErase()) == 1);
            if (erased && failed)
                QCOMPARE(rec.count(UpdateTexts::ProgramFailed()), 1);
            if (erased && !failed && !completed)
                QCOMPARE(rec.count(UpdateTexts::RebootTimedOut()), 1);
            if (sc.ends == Ends::Completed)
                QVERIFY2(completed, qPrintable(told(rec, false)));
            QVERIFY(sc.ends != Ends::NotErased || !erased);
            QVERIFY(sc.ends != Ends::ProgrammedUnconfirmed || (!completed && holdsImage));
            report("update", sc.name, 0, told(rec, completed));
        }
    }

private:
    // A datagram from another program on loopback, straight to the device.
    static void kick(const QString& ip, quint16 port, const QByteArray& bytes)
    {
        QUdpSocket other;
        other.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0);
        other.writeDatagram(bytes, QHostAddress(ip), port);
    }
};

QTEST_GUILESS_MAIN(TestFaults)
#include "test_faults.moc"
