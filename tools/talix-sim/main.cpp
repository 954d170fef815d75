// talix-sim: simulated TALIX devices on one UDP port until SIGINT/SIGTERM or --duration.
#include "sim/deviceprotocol.h"
#include "sim/fleet.h"
#include "fleetfile.h"
#include "sim/updateimage.h"

#include <CLI/CLI.hpp>

#include <QStringList>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <iostream>

using namespace talixsim;

namespace {

const char* layoutName(Layout l)
{
    switch (l) {
    case Layout::Basic:
        return "Basic";
    case Layout::Rules:
        return "Rules";
    case Layout::Login:
        break;
    }
    return "Login";
}

QString versionText(const Version3& v)
{
    return QStringLiteral("%1.%2.%3").arg(v[0]).arg(v[1]).arg(v[2]);
}

void printTable(const Fleet& fleet, std::size_t limit)
{
    std::printf("%-5s %-16s %-17s %-15s %-8s %-8s %s\n", "#", "Name", "MAC", "Address", "Firmware",
                "Boot", "Layout");
    const int n = fleet.deviceCount();
    for (int i = 0; i < n; ++i) {
        if (std::size_t(i) == limit && n > int(limit) + 1) {
            std::printf("... %d more\n", n - i - 1);
            i = n - 1;
        }
        const DeviceState d = fleet.device(i);
        const bool erased = versionValue(d.firm) == 0;
        std::printf("%-5d %-16s %-17s %-15s %-8s %-8s %s\n", i + 1, qPrintable(d.name),
                    qPrintable(macToText(d.mac)), qPrintable(ipToText(d.address)),
                    erased ? "Erased" : qPrintable(versionText(d.firm)),
                    qPrintable(versionText(d.boot)), layoutName(layoutFor(d.boot, d.firm)));
    }
    std::fflush(stdout);
}

void printTraffic(const std::vector<TrafficEntry>& log, std::size_t from)
{
    for (std::size_t i = from; i < log.size(); ++i) {
        const TrafficEntry& e = log[i];
        const bool in = e.direction == TrafficEntry::Direction::In;
        std::printf("%s %s %s %s:%u %s\n", in ? "<-" : "->", qPrintable(ipToText(e.local)),
                    in ? "from" : "to", qPrintable(ipToText(e.peer)), e.peerPort,
                    e.bytes.toHex(' ').constData());
    }
    std::fflush(stdout);
}

// Everything the command line sets.
struct Options {
    int devices = 5;
    int port = 2362;
    std::string bindAddress = "0.0.0.0";
    std::string firstAddress = "127.0.0.2";
    std::string presetName = "mixed";
    std::string fleetPath;
    double duration = 0;
    bool verbose = false;
    bool placeholder = false;
    Faults faults;
    std::string replyFrom;
    std::string updatePath;
    std::string updateVersion = "1.0.18";
    int updateSize = 4096;
};

void addFleetOptions(CLI::App& app, Options& o)
{
    app.add_option("-n,--devices", o.devices, "Number of devices (without --fleet)")
        ->check(CLI::Range(0, 1000000));
    app.add_option("-p,--port", o.port, "UDP port of every device (0: any free port)")
        ->check(CLI::Range(0, 65535));
    app.add_option("--address", o.bindAddress, "Local address to bind (0.0.0.0: all)");
    app.add_option("--first-address", o.firstAddress,
                   "Address of the first device; the others follow");
    app.add_option("--preset", o.presetName, "basic, rules, login, or mixed (in turn)")
        ->check(CLI::IsMember({"basic", "rules", "login", "mixed"}));
    app.add_flag("--placeholder-mac", o.placeholder, "Devices carry the factory placeholder MAC");
    app.add_option("--fleet", o.fleetPath, "Fleet description (JSON)")->check(CLI::ExistingFile);
    app.add_option("--duration", o.duration, "Stop after this many seconds (0: on SIGINT/SIGTERM)");
    app.add_flag("-v,--verbose", o.verbose, "Print every datagram in and out");
}

void addFaultOptions(CLI::App& app, Options& o)
{
    Faults& faults = o.faults;
    app.add_option("--drop-requests", faults.dropRequestShare, "Share of requests lost (0..1)")
        ->check(CLI::Range(0.0, 1.0));
    app.add_option("--drop-replies", faults.dropReplyShare, "Share of replies lost (0..1)")
        ->check(CLI::Range(0.0, 1.0));
    app.add_option("--duplicate", faults.duplicateReplies, "Extra copies of each reply");
    app.add_option("--delay", faults.replyDelayMs, "Delay of each reply (ms)");
    app.add_flag("--corrupt-checksum", faults.corruptChecksum,
                 "Settings replies carry a wrong checksum");
    app.add_option("--truncate", faults.truncateReplies, "Cut replies to this many bytes");
    app.add_flag("--answer-n", faults.answerN, "Answer every command with N");
    app.add_flag("--silent", faults.silent, "Answer nothing");
    app.add_option("--reply-from", o.replyFrom, "Answer from this address instead");
    app.add_option("--restart-time", faults.restartSilentMs, "Silence after a restart (ms)");
    app.add_option("--erase-time", faults.eraseMs, "Time an erase takes (ms)");
}

void addUpdateOptions(CLI::App& app, Options& o)
{
    app.add_option("--write-update", o.updatePath,
                   "Write a firmware update file for these devices to this path, and exit");
    app.add_option("--update-version", o.updateVersion, "Its version, major.minor.build (default 1.0.18)");
    app.add_option("--update-size", o.updateSize, "Bytes of its image (default 4096)")->check(CLI::Range(32, 0xFC000));
}

// --write-update: the file, and the exit code.
int writeUpdateFile(const Options& o)
{
    const QStringList parts = QString::fromStdString(o.updateVersion).split(QLatin1Char('.'));
    bool ok = parts.size() == 3;
    Version3 version{};
    for (int i = 0; ok && i < 3; ++i)
        version[i] = quint8(parts[i].toUInt(&ok));
    if (!ok) {
        std::cerr << "talix-sim: --update-version: not major.minor.build\n";
        return 2;
    }
    std::ofstream out(o.updatePath, std::ios::binary);
    const QByteArray bytes = makeUpdateFile(Region::Firmware, version, o.updateSize);
    out.write(bytes.constData(), bytes.size());
    return out.good() ? 0 : 1;
}

// The devices of --fleet; its port and address count unless given on the command line.
bool readFleet(Options& o, const CLI::App& app, quint32 first, FleetFile& file)
{
    std::ifstream in(o.fleetPath);
    std::stringstream text;
    text << in.rdbuf();
    std::string error;
    if (!readFleetFile(text.str(), first, o.faults, file, error)) {
        std::cerr << "talix-sim: " << o.fleetPath << ": " << error << "\n";
        return false;
    }
    if (file.port >= 0 && app.count("--port") == 0)
        o.port = file.port;
    if (!file.address.isEmpty() && app.count("--address") == 0)
        o.bindAddress = file.address.toStdString();
    return true;
}

// --devices of the chosen preset (mixed: in turn), on consecutive addresses from `first`.
void generateDevices(const Options& o, quint32 first, FleetFile& file)
{
    const Preset cycle[] = {Preset::Login, Preset::Rules, Preset::Basic};
    for (int i = 0; i < o.devices; ++i) {
        Preset p = cycle[i % 3];
        if (o.presetName == "basic")
            p = Preset::Basic;
        else if (o.presetName == "rules")
            p = Preset::Rules;
        else if (o.presetName == "login")
            p = Preset::Login;
        FleetDevice d{makeDevice(i, p), o.faults};
        d.state.address = d.state.ip = first + quint32(i);
        if (o.placeholder)
            d.state.mac = placeholderMac(i);
        file.devices.push_back(d);
    }
}

// Answers until SIGINT/SIGTERM or the end of --duration; the exit code.
int serve(Fleet& fleet, const Options& o)
{
    // Signals are taken synchronously by the main thread; the fleet's thread never sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QString error;
    if (!fleet.start(&error)) {
        std::cerr << "talix-sim: " << o.bindAddress << ":" << o.port << ": " << error.toStdString()
                  << "\n";
        return 1;
    }
    printTable(fleet, o.verbose ? 1000000 : 50);
    std::printf("Listening on %s:%u with %d devices\n", o.bindAddress.c_str(), fleet.port(),
                fleet.deviceCount());
    std::fflush(stdout);

    const auto start = std::chrono::steady_clock::now();
    int signal = 0;
    while (signal <= 0) {
        timespec tick{0, 100 * 1000 * 1000};
        signal = sigtimedwait(&stopSignals, nullptr, &tick);
        if (o.verbose) {
            printTraffic(fleet.traffic(), 0);
            fleet.clearTraffic();
        }
        if (o.duration > 0 &&
            std::chrono::steady_clock::now() - start >= std::chrono::duration<double>(o.duration))
            break;
    }
    fleet.stop();
    std::printf("Stopped%s\n", signal > 0 ? " on signal" : "");
    return 0;
}

// The devices the command line describes; nothing (and the reason on stderr) when it is wrong.
std::optional<FleetFile> describedFleet(Options& o, const CLI::App& app)
{
    if (!o.replyFrom.empty() &&
        (o.faults.replyFrom = ipFromText(QString::fromStdString(o.replyFrom))) == 0) {
        std::cerr << "talix-sim: --reply-from: not a dotted address\n";
        return std::nullopt;
    }
    const quint32 first = ipFromText(QString::fromStdString(o.firstAddress));
    if (first == 0) {
        std::cerr << "talix-sim: --first-address: not a dotted address\n";
        return std::nullopt;
    }
    FleetFile file;
    if (!o.fleetPath.empty()) {
        if (!readFleet(o, app, first, file))
            return std::nullopt;
    } else {
        generateDevices(o, first, file);
    }
    return file;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Simulated TALIX devices answering on one UDP port"};
    Options o;
    addFleetOptions(app, o);
    addFaultOptions(app, o);
    addUpdateOptions(app, o);
    CLI11_PARSE(app, argc, argv);

    if (!o.updatePath.empty())
        return writeUpdateFile(o);
    const std::optional<FleetFile> file = describedFleet(o, app);
    if (!file)
        return 2;

    FleetOptions options;
    options.port = quint16(o.port);
    options.bindAddress = ipFromText(QString::fromStdString(o.bindAddress));
    if (options.bindAddress == 0 && o.bindAddress != "0.0.0.0") {
        std::cerr << "talix-sim: --address: not a dotted address\n";
        return 2;
    }
    options.trafficLimit = o.verbose ? 100000 : 1;
    Fleet fleet(options);
    for (std::size_t i = 0; i < file->devices.size(); ++i) {
        fleet.addDevice(file->devices[i].state);
        fleet.setFaults(int(i), file->devices[i].faults);
    }
    return serve(fleet, o);
}
