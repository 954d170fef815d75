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

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Simulated TALIX devices answering on one UDP port"};
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
    app.add_option("-n,--devices", devices, "Number of devices (without --fleet)")
        ->check(CLI::Range(0, 1000000));
    app.add_option("-p,--port", port, "UDP port of every device (0: any free port)")
        ->check(CLI::Range(0, 65535));
    app.add_option("--address", bindAddress, "Local address to bind (0.0.0.0: all)");
    app.add_option("--first-address", firstAddress,
                   "Address of the first device; the others follow");
    app.add_option("--preset", presetName, "basic, rules, login, or mixed (in turn)")
        ->check(CLI::IsMember({"basic", "rules", "login", "mixed"}));
    app.add_flag("--placeholder-mac", placeholder, "Devices carry the factory placeholder MAC");
    app.add_option("--fleet", fleetPath, "Fleet description (JSON)")->check(CLI::ExistingFile);
    app.add_option("--duration", duration, "Stop after this many seconds (0: on SIGINT/SIGTERM)");
    app.add_flag("-v,--verbose", verbose, "Print every datagram in and out");
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
    app.add_option("--reply-from", replyFrom, "Answer from this address instead");
    app.add_option("--restart-time", faults.restartSilentMs, "Silence after a restart (ms)");
    app.add_option("--erase-time", faults.eraseMs, "Time an erase takes (ms)");
    std::string updatePath, updateVersion = "1.0.18";
    int updateSize = 4096;
    app.add_option("--write-update", updatePath,
                   "Write a firmware update file for these devices to this path, and exit");
    app.add_option("--update-version", updateVersion, "Its version, major.minor.build (default 1.0.18)");
    app.add_option("--update-size", updateSize, "Bytes of its image (default 4096)")->check(CLI::Range(32, 0xFC000));
    CLI11_PARSE(app, argc, argv);

    if (!updatePath.empty()) {
        const QStringList parts = QString::fromStdString(updateVersion).split(QLatin1Char('.'));
        bool ok = parts.size() == 3;
        Version3 version{};
        for (int i = 0; ok && i < 3; ++i)
            version[i] = quint8(parts[i].toUInt(&ok));
        if (!ok) {
            std::cerr << "talix-sim: --update-version: not major.minor.build\n";
            return 2;
        }
        std::ofstream out(updatePath, std::ios::binary);
        const QByteArray bytes = makeUpdateFile(Region::Firmware, version, updateSize);
        out.write(bytes.constData(), bytes.size());
        return out.good() ? 0 : 1;
    }

    if (!replyFrom.empty() &&
        (faults.replyFrom = ipFromText(QString::fromStdString(replyFrom))) == 0) {
        std::cerr << "talix-sim: --reply-from: not a dotted address\n";
        return 2;
    }
    const quint32 first = ipFromText(QString::fromStdString(firstAddress));
    if (first == 0) {
        std::cerr << "talix-sim: --first-address: not a dotted address\n";
        return 2;
    }

    FleetFile file;
    if (!fleetPath.empty()) {
        std::ifstream in(fleetPath);
        std::stringstream text;
        text << in.rdbuf();
        std::string error;
        if (!readFleetFile(text.str(), first, faults, file, error)) {
            std::cerr << "talix-sim: " << fleetPath << ": " << error << "\n";
            return 2;
        }
        if (file.port >= 0 && app.count("--port") == 0)
            port = file.port;
        if (!file.address.isEmpty() && app.count("--address") == 0)
            bindAddress = file.address.toStdString();
    } else {
        const Preset cycle[] = {Preset::Login, Preset::Rules, Preset::Basic};
        for (int i = 0; i < devices; ++i) {
            Preset p = cycle[i % 3];
            if (presetName == "basic")
                p = Preset::Basic;
            else if (presetName == "rules")
                p = Preset::Rules;
            else if (presetName == "login")
                p = Preset::Login;
            FleetDevice d{makeDevice(i, p), faults};
            d.state.address = d.state.ip = first + quint32(i);
            if (placeholder)
                d.state.mac = placeholderMac(i);
            file.devices.push_back(d);
        }
    }

    FleetOptions options;
    options.port = quint16(port);
    options.bindAddress = ipFromText(QString::fromStdString(bindAddress));
    if (options.bindAddress == 0 && bindAddress != "0.0.0.0") {
        std::cerr << "talix-sim: --address: not a dotted address\n";
        return 2;
    }
    options.trafficLimit = verbose ? 100000 : 1;
    Fleet fleet(options);
    for (std::size_t i = 0; i < file.devices.size(); ++i) {
        fleet.addDevice(file.devices[i].state);
        fleet.setFaults(int(i), file.devices[i].faults);
    }

    // Signals are taken synchronously by the main thread; the fleet's thread never sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QString error;
    if (!fleet.start(&error)) {
        std::cerr << "talix-sim: " << bindAddress << ":" << port << ": " << error.toStdString()
                  << "\n";
        return 1;
    }
    printTable(fleet, verbose ? 1000000 : 50);
    std::printf("Listening on %s:%u with %d devices\n", bindAddress.c_str(), fleet.port(),
                fleet.deviceCount());
    std::fflush(stdout);

    const auto start = std::chrono::steady_clock::now();
    int signal = 0;
    while (signal <= 0) {
        timespec tick{0, 100 * 1000 * 1000};
        signal = sigtimedwait(&stopSignals, nullptr, &tick);
        if (verbose) {
            printTraffic(fleet.traffic(), 0);
            fleet.clearTraffic();
        }
        if (duration > 0 &&
            std::chrono::steady_clock::now() - start >= std::chrono::duration<double>(duration))
            break;
    }
    fleet.stop();
    std::printf("Stopped%s\n", signal > 0 ? " on signal" : "");
    return 0;
}
