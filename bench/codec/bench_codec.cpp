// Throughput of the codecs a fleet tool runs once per device: settings replies decoded (each
// layout), save commands built (each layout) and discovery replies parsed, each into a value kept
// from the previous one, as a tool that handles many devices does. The bytes come from the
// simulator, which builds them with its own code from the shared wire layout.
//
//   bench_codec [Google Benchmark flags]     e.g. --benchmark_repetitions=5
//   --benchmark_min_time=0.1
#include "discovery/discoveryreply.h"
#include "config/settingsrecord.h"

#include "sim/deviceprotocol.h"
#include "sim/devicestate.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <map>
#include <string>
#include <vector>

using namespace brevion;

namespace {

constexpr double kGoalPerSecond = 5e6;

// A device of the preset with every field filled, rules included, so that no layout decodes
// or builds less than it can carry.
talixsim::DeviceState fullDevice(talixsim::Preset preset)
{
    talixsim::DeviceState device = talixsim::makeDevice(41, preset);
    device.gateway = talixsim::ipFromText(QStringLiteral("127.0.0.1"));
    for (int n = 0; n < 12; ++n) {
        talixsim::Rule& rule = device.rules[n];
        rule.ip = talixsim::loopbackAddress(100 + n);
        rule.port = quint16(20000 + n);
        rule.flags = 1 | 2;
        rule.idleSecs = 60 * (n + 1);
    }
    device.userPrompt = QStringLiteral("login:");
    device.passPrompt = QStringLiteral("password:");
    device.username = QStringLiteral("operator");
    device.password = QStringLiteral("s3cret-phrase");
    return device;
}

const talixsim::Preset kPresets[] = {talixsim::Preset::Basic, talixsim::Preset::Rules,
                                     talixsim::Preset::Login};
const char* const kLayoutNames[] = {"Basic", "Rules", "Login"};

void DecodeSettings(benchmark::State& state)
{
    const QByteArray reply = talixsim::settingsReply(fullDevice(kPresets[state.range(0)]));
    if (!DecodeSettingsReply(reply) || !DecodeSettingsReply(reply)->checksumOk) {
        state.SkipWithError("the simulator's reply does not decode");
        return;
    }
    SettingsReply decoded;
    for (auto _ : state) {
        DecodeSettingsReply(reply, decoded);
        benchmark::DoNotOptimize(decoded);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(kLayoutNames[state.range(0)]);
}

void BuildSave(benchmark::State& state)
{
    const auto reply =
        DecodeSettingsReply(talixsim::settingsReply(fullDevice(kPresets[state.range(0)])));
    DeviceSettings settings;
    ApplyReply(settings, *reply);
    const SettingsLayout layout = reply->layout;
    talixsim::DeviceState check = fullDevice(kPresets[state.range(0)]);
    if (!talixsim::applySaveCommand(check, BuildSaveCommand(settings, layout))) {
        state.SkipWithError("the simulator refuses the save command");
        return;
    }
    QByteArray command;
    for (auto _ : state) {
        BuildSaveCommand(settings, layout, command);
        benchmark::DoNotOptimize(command);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(kLayoutNames[state.range(0)]);
}

void ParseDiscovery(benchmark::State& state)
{
    const QByteArray reply = talixsim::discoveryReply(fullDevice(talixsim::Preset::Login));
    if (!ParseDiscoveryReply(reply)) {
        state.SkipWithError("the simulator's discovery reply does not parse");
        return;
    }
    DiscoveredDevice device;
    for (auto _ : state) {
        ParseDiscoveryReply(reply, device);
        benchmark::DoNotOptimize(device);
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(DecodeSettings)->DenseRange(0, 2);
BENCHMARK(BuildSave)->DenseRange(0, 2);
BENCHMARK(ParseDiscovery);

// The console table; then, for each benchmark, its best rate over the repetitions (the machine
// is shared, so the best run is the one least disturbed) and the slowest of those against the
// goal.
class GoalReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) {
                failed = true;
                continue;
            }
            if (run.run_type != Run::RT_Iteration)
                continue;
            const auto rate = run.counters.find("items_per_second");
            if (rate == run.counters.end())
                continue;
            const std::string name = run.benchmark_name() + " " + run.report_label;
            auto [entry, added] = best.try_emplace(name, 0.0);
            if (!added && entry->second >= double(rate->second))
                continue;
            entry->second = double(rate->second);
            if (added)
                order.push_back(name);
        }
    }
    std::map<std::string, double> best;
    std::vector<std::string> order;
    bool failed = false;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    double slowest = std::numeric_limits<double>::infinity();
    std::printf("\nbest of the repetitions:\n");
    for (const std::string& name : reporter.order) {
        const double rate = reporter.best[name];
        slowest = std::min(slowest, rate);
        std::printf("  %-28s %12.0f per second  %7.0f ns each\n", name.c_str(), rate, 1e9 / rate);
    }
    std::printf("slowest: %.0f per second; goal (every codec >= %.0f per second): %s\n", slowest,
                kGoalPerSecond, !reporter.failed && slowest >= kGoalPerSecond ? "met" : "NOT met");
    return reporter.failed ? 1 : 0;
}
