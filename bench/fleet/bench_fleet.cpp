// talixctl's fleet commands against simulated bridges on loopback, in this process (the bridges
// on the simulator's own thread):
//   1. inventory of 1,000 bridges: wall time from the command's start to its last line, the
//      one-second search included;
//   2. update-all of 100 bridges with a 64 KiB image, and 100 single `update` runs of the same
//      bridges one after another, side by side in this run. The device's waits (the 2 s pauses
//      after the erase and the restart, and every time-out) are divided by `speedup` on both
//      sides alike.
//   bench_fleet [speedup] [parallel]     defaults: 1 (the device's waits), 16
#include "talixctl.h"

#include "quickfleet.h"
#include "sim/updateimage.h"

#include <nlohmann/json.hpp>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <sstream>

namespace {

using bench::verdict;

// Quick bridges, and talixctl run against them.
struct Bridges : bench::QuickFleet {
    using QuickFleet::QuickFleet;
    int run(std::vector<std::string> args, const talixctl::RunOptions& options, std::string* out = nullptr)
    {
        args.insert(args.begin(),
                    {"--port", std::to_string(fleet.port()), "--local-port", "0", "--broadcast", "127.255.255.255"});
        std::ostringstream o, e;
        const int code = talixctl::RunTalixctl(args, o, e, options);
        if (code != 0)
            std::fprintf(stderr, "talixctl %s: exit %d\n%s", args[6].c_str(), code, e.str().c_str());
        if (out)
            *out = o.str();
        return code;
    }
};

double since(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e9; }

bool inventory()
{
    constexpr int kBridges = 1000;
    Bridges b(kBridges);
    std::string out;
    QElapsedTimer wall;
    wall.start();
    const int code = b.run({"--json", "inventory"}, {}, &out);
    const double seconds = since(wall);
    size_t listed = 0;
    for (const auto& row : nlohmann::json::parse(out))
        listed += row["FirmVer"].is_string() ? 1 : 0;
    std::printf("inventory of %d bridges: %zu read, exit %d, %.2f s wall (1 s of it the search)\n", kBridges, listed,
                code, seconds);
    std::printf("goal (inventory of 1000 bridges under 3 s wall): %s\n",
                verdict(code == 0 && listed == kBridges && seconds < 3.0));
    return code == 0;
}

bool updateAll(int speedup, int parallel)
{
    constexpr int kBridges = 100;
    Bridges b(kBridges);
    QTemporaryDir dir;
    auto put = [&](const QString& name, const talixsim::Version3& version) {
        QFile f(dir.filePath(name));
        const QByteArray bytes = talixsim::makeUpdateFile(talixsim::Region::Firmware, version, 64 * 1024);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    };
    QDir(dir.path()).mkdir("fleet");
    if (!put("fleet/FIRM1018.bin", {1, 0, 18}) || !put("FIRM1019.bin", {1, 0, 19}))
        return false;

    talixctl::RunOptions options;
    options.speedup = speedup;
    QElapsedTimer wall;
    wall.start();
    const int code = b.run({"update-all", dir.filePath("fleet").toStdString(), "--parallel", std::to_string(parallel)},
                           options);
    const double together = since(wall);

    wall.restart();
    int failed = 0;
    for (int i = 0; i < kBridges; ++i)
        failed += b.run({"update", talixsim::ipToText(talixsim::loopbackAddress(i)).toStdString(),
                         dir.filePath("FIRM1019.bin").toStdString()},
                        options) != 0;
    const double apart = since(wall);
    bool allThere = true;
    for (int i = 0; i < kBridges; ++i)
        allThere = allThere && b.fleet.device(i).firm == talixsim::Version3{1, 0, 19};
    std::printf("update-all of %d bridges, 64 KiB each, --parallel %d, waits / %d: %.2f s (exit %d); %d single "
                "update runs: %.2f s (%d failed); ratio 1/%.1f\n",
                kBridges, parallel, speedup, together, code, kBridges, apart, failed, apart / together);
    std::printf("goal (update-all of 100 bridges under 1/10 of 100 single updates): %s\n",
                verdict(code == 0 && failed == 0 && allThere && together * 10 < apart));
    return code == 0 && failed == 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int speedup = argc > 1 ? std::max(1, atoi(argv[1])) : 1;
    const int parallel = argc > 2 ? std::max(1, atoi(argv[2])) : 16;
    const bool ok = inventory() & updateAll(speedup, parallel);
    return ok ? 0 : 1;
}
