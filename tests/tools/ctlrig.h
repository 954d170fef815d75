#pragma once
// talixctl run in this process against simulated devices on a free port of loopback; talixctl
// binds a free local port too, and the update's waits run 20 times faster.
#include "talixctl.h"

#include "fleet.h"
#include "updateimage.h"

#include <nlohmann/json.hpp>

#include <QFile>
#include <QTemporaryDir>

#include <sstream>

using namespace talixsim;
using json = nlohmann::ordered_json;
using Wire = std::vector<QByteArray>;

// JSON values compared as their text, which also reads well when they differ.
#define JCOMPARE(actual, expected) \
    QCOMPARE(QString::fromStdString(json(actual).dump()), QString::fromStdString(json(expected).dump()))

inline std::string ip(int n) { return ipToText(loopbackAddress(n)).toStdString(); }

struct Result {
    int code = -1;
    std::string out, err;
    json j; // out parsed, with --json
};

// Devices 0, 1, ... of the presets given, each erasing and restarting within 50 ms.
struct CtlRig {
    explicit CtlRig(const std::vector<Preset>& presets)
    {
        for (Preset p : presets)
            fleet.addDevice(makeDevice(fleet.deviceCount(), p));
        fleet.setAllFaults({.restartSilentMs = 50, .eraseMs = 20});
        if (!fleet.start())
            qFatal("the simulator does not start");
    }
    Result run(std::vector<std::string> args, const std::string& localPort = "0", quint16 devicePort = 0)
    {
        args.insert(args.begin(), {"--port", std::to_string(devicePort ? devicePort : fleet.port()),
                                   "--local-port", localPort, "--broadcast", "127.255.255.255"});
        std::ostringstream out, err;
        Result r{talixctl::RunTalixctl(args, out, err, {.speedup = 20}), out.str(), err.str(), {}};
        if (std::ranges::find(args, "--json") != args.end() && !r.out.empty())
            r.j = json::parse(r.out);
        return r;
    }
    // args separated by blanks; "=" for an empty one.
    Result run(const QString& args, const std::string& localPort = "0", quint16 devicePort = 0)
    {
        std::vector<std::string> list;
        for (const QString& a : args.split(' ', Qt::SkipEmptyParts))
            list.push_back(a == "=" ? std::string() : a.toStdString());
        return run(list, localPort, devicePort);
    }
    // What reached device n (the broadcast address: -1; anyone: -2), in order.
    Wire received(int n) const
    {
        Wire list;
        for (const TrafficEntry& e : fleet.traffic())
            if (e.direction == TrafficEntry::Direction::In && (e.device == n || n == -2))
                list.push_back(e.bytes);
        return list;
    }
    int heard(int n, const QByteArray& prefix) const
    {
        return int(std::ranges::count_if(received(n), [&](const QByteArray& d) { return d.startsWith(prefix); }));
    }
    void change(int n, const std::function<void(DeviceState&)>& edit)
    {
        DeviceState d = fleet.device(n);
        edit(d);
        fleet.setDevice(n, d);
    }
    void fault(int n, const std::function<void(Faults&)>& edit)
    {
        Faults f = fleet.faults(n);
        edit(f);
        fleet.setFaults(n, f);
    }
    std::string file(const QString& name, const QByteArray& bytes)
    {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(name));
        return f.fileName().toStdString();
    }

    Fleet fleet{FleetOptions{.port = 0}};
    QTemporaryDir dir;
};
