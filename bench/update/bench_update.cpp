// Programming a 256 KiB image into a simulated device on loopback that answers at once: blocks
// per second (stop-and-wait, so one round trip per block) and the CPU time this thread spends per
// block (the simulated device runs on its own thread and is not counted).
//   bench_update [runs]     default: 3
#include "blockpacker.h"
#include "networksettings.h"
#include "updateexchange.h"
#include "updatefile.h"

#include "updateimage.h"
#include "fleet.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace brevion;

namespace {

constexpr quint16 kLocalPort = 24590;
constexpr int kImageBytes = 256 * 1024;

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;

    talixsim::Fleet fleet(talixsim::FleetOptions{0, 0, 1, 16});
    const int device = fleet.addDevice(talixsim::makeDevice(0, talixsim::Preset::Login));
    QString error;
    if (!fleet.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
        return 1;
    }
    SetNetwork({fleet.port(), kLocalPort, QStringLiteral("127.255.255.255")});

    const auto parsed = ParseUpdateFile(talixsim::makeUpdateFile(talixsim::Region::Firmware, {1, 0, 17}, kImageBytes));
    if (!parsed.file) {
        std::fprintf(stderr, "update file: %s\n", qPrintable(parsed.error.description));
        return 1;
    }
    const size_t blocks = PackBlocks(*parsed.file).size();

    UpdateExchange exchange;
    int messages = 0;
    exchange.SetSinks({{}, {}, [&](const Message&) {
                           ++messages;
                           return MsgAnswer::Cancel;
                       },
                       {}, {}});
    exchange.SetDeviceIP(talixsim::ipToText(fleet.device(device).address));

    std::vector<double> rates, cpuPerBlock;
    for (int run = 0; run < runs; ++run) {
        bool failed = false;
        const double cpu0 = threadCpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        exchange.ProgramFile(*parsed.file, failed);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double cpu = threadCpuSeconds() - cpu0;
        if (failed || messages) {
            std::fprintf(stderr, "programming failed (%d messages)\n", messages);
            return 1;
        }
        rates.push_back(double(blocks) / wall);
        cpuPerBlock.push_back(cpu / double(blocks) * 1e6);
        std::printf("run %d: %zu blocks in %.3f s: %.0f blocks/s, %.1f us CPU per block (this thread)\n", run + 1,
                    blocks, wall, rates.back(), cpuPerBlock.back());
    }
    std::sort(rates.begin(), rates.end());
    std::sort(cpuPerBlock.begin(), cpuPerBlock.end());
    std::printf("median: %.0f blocks/s (goal >= 5000), %.1f us CPU per block\n", rates[rates.size() / 2],
                cpuPerBlock[cpuPerBlock.size() / 2]);

    const QByteArray flash = fleet.device(device).flash;
    for (const DataRecord& r : parsed.file->records)
        if (flash.mid(r.Address, r.data.size()) != r.data) {
            std::fprintf(stderr, "flash differs at 0x%X\n", unsigned(r.Address));
            return 1;
        }
    return 0;
}
