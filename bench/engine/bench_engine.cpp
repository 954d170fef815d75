// The device engine on loopback against simulated devices that answer at once:
//   1. one device's update: CPU of our thread per block and blocks per second while programming
//      (a 256 KiB image, 4096 blocks, stop-and-wait);
//   2. 100 devices updated at once over one socket, and the same 100 one after another, in this
//      run (an 8 KiB image each; the pauses after the erase and the restart shortened to 50 ms,
//      since at their real 2 s the one-after-another run alone would take seven minutes, and
//      longer pauses only favour the devices updated at once);
//   3. 2,000 devices read at once (one "XQ" each), all over one socket.
//   bench_engine [runs [parts]]   runs: of the first figure, default 3; parts: any of "1", "2",
//                                 "3" (default "123"), the figures to measure
#include "engine/commandconversation.h"
#include "engine/devicelink.h"
#include "engine/updateconversation.h"

#include "quickfleet.h"
#include "sim/updateimage.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

using namespace brevion;

namespace {

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

using bench::verdict;

// Quick devices and a link to them. Devices to be updated hold their flash image before the
// clock starts (see QuickFleet).
struct Devices : bench::QuickFleet {
    DeviceLink link;
    explicit Devices(int count, bool withFlash = false)
        : QuickFleet(count, withFlash), link(NetworkSettings{fleet.port(), 0, QStringLiteral("127.255.255.255")})
    {
    }
};

UpdateFile image(int bytes)
{
    const auto parsed = ParseUpdateFile(talixsim::makeUpdateFile(talixsim::Region::Firmware, {1, 0, 17}, bytes));
    if (!parsed.file) {
        std::fprintf(stderr, "update file: %s\n", qPrintable(parsed.error.description));
        std::exit(1);
    }
    return *parsed.file;
}

UpdateConversation::Timings quick()
{
    UpdateConversation::Timings t;
    t.pauseMs = 50;
    return t;
}

// Updates devices first..last-1, all started together; returns the wall time, or -1 on a failure.
double updateAll(Devices& d, const UpdateFile& file, int first, int last)
{
    std::vector<std::unique_ptr<UpdateConversation>> updates;
    int running = 0;
    bool failed = false;
    QElapsedTimer wall;
    wall.start();
    for (int i = first; i < last; ++i) {
        updates.push_back(std::make_unique<UpdateConversation>(d.link, QHostAddress(talixsim::loopbackAddress(i)), file,
                                                               UpdateConversation::Target::Firmware, false));
        updates.back()->setTimings(quick());
        QObject::connect(updates.back().get(), &Conversation::finished, [&](const Outcome& o) {
            --running;
            failed = failed || !o.ok();
            if (!o.ok())
                std::fprintf(stderr, "update: %s\n", qPrintable(OutcomeText(o)));
        });
        ++running;
        updates.back()->start();
    }
    while (running > 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return failed ? -1 : double(wall.nsecsElapsed()) / 1e9;
}

// The floor under the first figure: the same block commands to the same simulated device, each
// sent and its answer read with nothing but system calls on a socket of its own: the three that
// an event loop needs per block (sendto, poll, recv), or, blocking, the least any program can
// make (sendto, recv that sleeps until the answer; no event loop can wait that way). Returns our
// thread's CPU per block in microseconds, or -1.
double bareRoundTrips(const std::vector<QByteArray>& commands, quint32 device, quint16 port, bool blocking)
{
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    const timeval limit{1, 0}; // a blocking read gives up after a second, as the poll does
    if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0)
        return -1;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(device);
    to.sin_port = htons(port);
    const double cpu0 = threadCpuSeconds();
    bool answered = true;
    for (size_t i = 0; i < commands.size() && answered; ++i) {
        const QByteArray& c = commands[i];
        sendto(fd, c.constData(), size_t(c.size()), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        char reply[64];
        pollfd p{fd, POLLIN, 0};
        answered = (blocking || poll(&p, 1, 1000) == 1) && recv(fd, reply, sizeof reply, 0) > 0;
    }
    const double spent = threadCpuSeconds() - cpu0;
    close(fd);
    return answered ? spent / double(commands.size()) * 1e6 : -1;
}

bool oneDevice(int runs)
{
    Devices d(1, true);
    const UpdateFile file = image(256 * 1024);
    std::vector<QByteArray> commands;
    for (const Block& b : PackBlocks(file))
        commands.push_back(BlockCommand(b));
    std::vector<double> rates, cpu, floor, least;
    for (int run = 0; run < runs; ++run) {
        UpdateConversation u(d.link, QHostAddress(talixsim::loopbackAddress(0)), file,
                             UpdateConversation::Target::Firmware, false);
        u.setTimings(quick());
        double cpu0 = 0, cpuSpent = 0;
        QElapsedTimer wall;
        double seconds = 0;
        QObject::connect(&u, &UpdateConversation::phaseChanged, [&](UpdateConversation::Phase p) {
            if (p == UpdateConversation::Phase::Program) {
                cpu0 = threadCpuSeconds();
                wall.start();
            } else if (p == UpdateConversation::Phase::Restart) {
                cpuSpent = threadCpuSeconds() - cpu0;
                seconds = double(wall.nsecsElapsed()) / 1e9;
            }
        });
        u.start();
        while (!u.isFinished())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!u.outcome().ok()) {
            std::fprintf(stderr, "update: %s\n", qPrintable(OutcomeText(u.outcome())));
            return false;
        }
        rates.push_back(u.blockCount() / seconds);
        cpu.push_back(cpuSpent / u.blockCount() * 1e6);
        floor.push_back(bareRoundTrips(commands, talixsim::loopbackAddress(0), d.fleet.port(), false));
        least.push_back(bareRoundTrips(commands, talixsim::loopbackAddress(0), d.fleet.port(), true));
        std::printf("run %d: %d blocks in %.3f s: %.0f blocks/s, %.2f us CPU per block (this thread); "
                    "bare system calls: %.2f us, blocking: %.2f us\n",
                    run + 1, u.blockCount(), seconds, rates.back(), cpu.back(), floor.back(), least.back());
    }
    std::sort(rates.begin(), rates.end());
    std::sort(cpu.begin(), cpu.end());
    std::sort(floor.begin(), floor.end());
    std::sort(least.begin(), least.end());
    const double rate = rates[rates.size() / 2], perBlock = cpu[cpu.size() / 2], bare = floor[floor.size() / 2];
    std::printf("median: %.0f blocks/s, %.2f us CPU per block\n", rate, perBlock);
    std::printf("baseline (the same blocks to the same device, sendto/poll/recv alone): median %.2f us CPU per "
                "block; the engine costs %.2f times that\n",
                bare, perBlock / bare);
    std::printf("baseline (sendto and a blocking recv alone): median %.2f us CPU per block\n",
                least[least.size() / 2]);
    std::printf("goal (one device: <= 10 us CPU per block and >= 20000 blocks/s): %s\n",
                verdict(perBlock <= 10 && rate >= 20000));
    return true;
}

bool hundredDevices()
{
    constexpr int kDevices = 100;
    Devices d(kDevices, true);
    const UpdateFile file = image(8 * 1024);
    const double cpu0 = processCpuSeconds();
    const double together = updateAll(d, file, 0, kDevices);
    const double cpu1 = processCpuSeconds();
    double apart = 0;
    for (int i = 0; i < kDevices && apart >= 0; ++i) {
        const double one = updateAll(d, file, i, i + 1);
        apart = one < 0 ? -1 : apart + one;
    }
    const double cpu2 = processCpuSeconds();
    if (together < 0 || apart < 0)
        return false;
    std::printf("%d devices, %zu blocks each: at once %.2f s, one after another %.2f s, ratio 1/%.1f\n", kDevices,
                PackBlocks(file).size(), together, apart, apart / together);
    std::printf("CPU of the process (engine and simulator): at once %.2f s, one after another %.2f s\n", cpu1 - cpu0,
                cpu2 - cpu1);
    std::printf("goal (100 updates at once within 1/10 of one after another): %s\n", verdict(together * 10 <= apart));
    return true;
}

bool twoThousandReads()
{
    constexpr int kDevices = 2000;
    Devices d(kDevices);
    if (!d.link.open().ok())
        return false;
    std::vector<std::unique_ptr<CommandConversation>> reads;
    int running = 0, accepted = 0;
    QElapsedTimer wall;
    wall.start();
    for (int i = 0; i < kDevices; ++i) {
        reads.emplace_back(CommandConversation::Read(d.link, QHostAddress(talixsim::loopbackAddress(i))));
        QObject::connect(reads.back().get(), &Conversation::finished, [&](const Outcome& o) {
            --running;
            accepted += o.ok();
        });
        ++running;
        reads.back()->start();
    }
    while (running > 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    std::printf("%d devices read at once: %d accepted in %.3f s\n", kDevices, accepted, seconds);
    std::printf("goal (2000 reads at once, all within 2 s): %s\n", verdict(accepted == kDevices && seconds <= 2.0));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    const QByteArray parts = argc > 2 ? QByteArray(argv[2]) : QByteArray("123");
    const bool ok = (!parts.contains('1') || oneDevice(runs)) && (!parts.contains('2') || hundredDevices()) &&
                    (!parts.contains('3') || twoThousandReads());
    return ok ? 0 : 1;
}
