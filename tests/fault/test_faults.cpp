// The engine's waits and retry counts, each against a device that answers just inside or just
// outside them: a time-out halved, a pause moved or a retry count changed fails here. Every
// fault's outcome (loss, duplicates, corrupt replies, "N", silence, strangers) is in tests/engine.
#include "engine/commandconversation.h"
#include "engine/devicelink.h"
#include "engine/discoverconversation.h"
#include "engine/updateconversation.h"

#include "sim/deviceprotocol.h"
#include "ui/networksettings.h"
#include "rig.h"
#include "update/updatefile.h"
#include "sim/updateimage.h"

#include <QSignalSpy>
#include <QtTest>

using namespace brevion;
using Code = Outcome::Code;

namespace {

Outcome run(Conversation& c, int boundMs)
{
    QSignalSpy done(&c, &Conversation::finished);
    c.start();
    if (!c.isFinished())
        done.wait(boundMs);
    return c.outcome();
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT
private slots:
    // A command waits two seconds for its reply.
    void replyWait()
    {
        for (const auto& [delayMs, expected] : {std::pair{1500, Code::Accepted}, {2500, Code::TimedOut}}) {
            support::Rig rig;
            rig.faults([ms = delayMs](talixsim::Faults& f) { f.replyDelayMs = ms; });
            DeviceLink link(Network());
            std::unique_ptr<CommandConversation> read(CommandConversation::Read(link, QHostAddress(rig.ip())));
            QCOMPARE(run(*read, 5000).code, expected);
        }
    }

    // A search asks twice, half a second apart, and lists what answers within one second.
    void searchListensOneSecond()
    {
        for (const auto& [delayMs, listed] : {std::pair{700, 1}, {1200, 0}}) {
            support::Rig rig;
            rig.faults([ms = delayMs](talixsim::Faults& f) { f.replyDelayMs = ms; });
            DeviceLink link(Network());
            DiscoverConversation search(link);
            run(search, 3000);
            QCOMPARE(search.devices().Count(), listed);
            QCOMPARE(rig.received(), 2);
            std::vector<std::chrono::steady_clock::time_point> asked;
            for (const talixsim::TrafficEntry& e : rig.fleet.traffic())
                if (e.direction == talixsim::TrafficEntry::Direction::In)
                    asked.push_back(e.time);
            QVERIFY(asked[1] - asked[0] >= std::chrono::milliseconds(400)); // timers never fire early
        }
    }

    // An erase is given four seconds; a block is sent four times before the update gives up.
    void updateWaitsAndRetries()
    {
        const std::tuple<int, int, Code> rows[] = { // erase ms, refusals of the second block
            {3000, 0, Code::Accepted}, {5000, 0, Code::TimedOut}, {50, 3, Code::Accepted}, {50, 4, Code::Refused}};
        for (const auto& [eraseMs, refusals, expected] : rows) {
            support::Rig rig(1, talixsim::Preset::Login, 11);
            rig.faults([ms = eraseMs](talixsim::Faults& f) { f.eraseMs = ms, f.restartSilentMs = 100; });
            const UpdateFile file = *ParseUpdateFile(talixsim::makeUpdateFile({.version = {1, 0, 18}, .size = 256})).file;
            DeviceLink link(Network());
            UpdateConversation update(link, QHostAddress(rig.ip()), file, UpdateConversation::Target::Firmware, false);
            UpdateConversation::Timings t; // the device's erase wait and block sends, shorter pauses
            t.pauseMs = 50;
            t.afterEraseMs = t.afterRestartMs = 3000;
            update.setTimings(t);
            connect(&update, &UpdateConversation::progress, &update, [&rig, n = refusals](qint64 done) {
                if (done == 64)
                    rig.faults([n](talixsim::Faults& f) { f.nackNext = n; });
            });
            QCOMPARE(run(update, 20000).code, expected);
        }
    }

    // After erasing its firmware a device may stay silent for up to 30 s. At a tenth of every
    // wait, a device silent for 2.2 s (22 s) after the erase is still waited for.
    void updateWaitsForTheDeviceAfterTheErase()
    {
        support::Rig rig(1, talixsim::Preset::Login, 11);
        rig.faults([](talixsim::Faults& f) { f.eraseMs = 50, f.restartSilentMs = 100; });
        const UpdateFile file = *ParseUpdateFile(talixsim::makeUpdateFile({.version = {1, 0, 18}, .size = 64})).file;
        DeviceLink link(Network());
        UpdateConversation update(link, QHostAddress(rig.ip()), file, UpdateConversation::Target::Firmware, false);
        UpdateConversation::Timings t;
        for (int* ms : {&t.eraseWaitMs, &t.blockWaitMs, &t.restartWaitMs, &t.readWaitMs, &t.pauseMs, &t.afterEraseMs,
                        &t.afterEraseErasedMs, &t.afterRestartMs})
            *ms /= 10;
        update.setTimings(t);
        connect(&update, &UpdateConversation::phaseChanged, &update, [&](UpdateConversation::Phase phase) {
            if (phase != UpdateConversation::Phase::WaitAfterErase)
                return;
            rig.faults([](talixsim::Faults& f) { f.silent = true; });
            QTimer::singleShot(2200, &update, [&] { rig.faults([](talixsim::Faults& f) { f.silent = false; }); });
        });
        QCOMPARE(run(update, 20000).code, Code::Accepted);
    }
};

QTEST_GUILESS_MAIN(TestFaults)
#include "test_faults.moc"
