// talixctl against simulated devices on loopback, run in this process from a local port the
// kernel chooses: output, exit status and the bytes on the wire, for the single-device commands
// and the fleet commands. The update's waits run 20 times faster.
#include "talixctl.h"

#include "common/bridgelock.h"
#include "rig.h"
#include "config/settingsfile.h"
#include "sim/deviceprotocol.h"
#include "sim/updateimage.h"
#include "watchdog.h"

#include <nlohmann/json.hpp>

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <csignal>
#include <sstream>
#include <unistd.h>

using namespace talixsim;
using json = nlohmann::ordered_json;
using Wire = std::vector<QByteArray>;
using namespace std::chrono_literals;

// JSON values compared as their text, which also reads well when they differ.
#define JCOMPARE(actual, expected) \
    QCOMPARE(QString::fromStdString(json(actual).dump()), QString::fromStdString(json(expected).dump()))

namespace {

QString ip(int n) { return ipToText(loopbackAddress(n)); }

// j: out parsed, with --json.
struct Result { int code = -1; std::string out, err; json j; };

// Devices 0 Login, 1 Rules, 2 Basic, 3 Login.
struct CtlRig : support::Rig {
    CtlRig() : Rig({makeDevice(0, Preset::Login), makeDevice(1, Preset::Rules), makeDevice(2, Preset::Basic),
                    makeDevice(3, Preset::Login)}) {}
    // Device 4 shares device 3's address; device 5, at 127.0.0.7, device n's MAC.
    void addTwins(int n)
    {
        DeviceState twin = makeDevice(4, Preset::Basic), clone = makeDevice(5, Preset::Basic);
        twin.address = twin.ip = loopbackAddress(3);
        clone.mac = fleet.device(n).mac;
        fleet.addDevice(twin), fleet.addDevice(clone);
    }
    // Every 20 ms, discovery replies to localPort from 127.0.0.9 but not the device port: one of
    // a bridge of its own (0050C25A3007), one with device 0's MAC.
    void forge(QUdpSocket& forger, QTimer& every)
    {
        QVERIFY(forger.bind(QHostAddress(ip(7)), 0));
        DeviceState copy = makeDevice(7);
        copy.mac = fleet.device(0).mac;
        QObject::connect(&every, &QTimer::timeout, [&forger, copy, port = localPort] {
            for (const DeviceState& d : {makeDevice(7), copy})
                forger.writeDatagram(discoveryReply(d), QHostAddress::LocalHost, port);
        });
        every.start(20);
    }
    // args separated by blanks ("=": an empty one).
    Result run(const QString& args, quint16 devicePort = 0, quint16 localPort = 0)
    {
        std::vector<std::string> list{"--port", std::to_string(devicePort ? devicePort : fleet.port()), "--local-port",
                                      std::to_string(localPort), "--broadcast", "127.255.255.255"};
        for (const QString& a : args.split(' ', Qt::SkipEmptyParts))
            list.push_back(a == "=" ? std::string() : a.toStdString());
        std::ostringstream out, err;
        Result r{talixctl::RunTalixctl(list, out, err, {.speedup = 20}), out.str(), err.str(), {}};
        if (args.contains("--json") && !args.contains("--csv") && !r.out.empty())
            r.j = json::parse(r.out);
        return r;
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
        edit(d), fleet.setDevice(n, d);
    }
    QString file(const QString& name, const QByteArray& bytes)
    {
        QDir(dir.path()).mkpath(QFileInfo(dir.filePath(name)).path());
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(name));
        return f.fileName();
    }
    // Runs then() once a datagram starting with prefix (by default an update's block) has reached device n.
    void onFirst(QTimer& poll, int n, const std::function<void()>& then, const QByteArray& prefix = "XP\xC3")
    {
        QObject::connect(&poll, &QTimer::timeout, [this, &poll, n, then, prefix] {
            if (poll.isActive() && heard(n, prefix) > 0)
                poll.stop(), then();
        });
        poll.start(5);
    }
    QTemporaryDir dir;
};

const QByteArray kRead("XQ"), kReboot("\x58\x42\xFF\x66", 4), kErase("\x58\x50\xE7\xFE\x71", 5),
    kRestart("\x58\x50\xBD\xFE\x9B", 5);

// A command the device does not carry out. sent: datagrams that reach it (-1: not counted);
// told: all of stderr when it ends in a line break, else a part of it.
struct Failure { QString args, fault; int code, sent; QString told; };

} // namespace


class TestTalixctl : public QObject {
    Q_OBJECT
    std::unique_ptr<CtlRig> rig;

private slots:
    void init() { rig = std::make_unique<CtlRig>(); }
    void cleanup() { rig.reset(); }

    // Each layout's keys; the rules as sentences in the listing.
    void readPerLayout()
    {
        const QStringList keys = QString("layout HdweVer BootVer FirmVer DHCP IPAddr SubnetMask Gateway NetName IPPort "
            "BaudRate Handshaking UDPPort OutCount OutRules UserPrompt PassPrompt Username Password").split(' ');
        for (int n : {0, 1, 2}) {
            // 1234: not a listed rate
            rig->change(n, [](DeviceState& d) { d.rules[2] = {0x0A000005, 40000, 3, 90}, d.baud = 1234, d.handshaking = 2, d.dhcp = true; });
            const json j = rig->run("--json read " + ip(n)).j;
            QStringList names;
            for (const auto& item : j.items())
                names << QString::fromStdString(item.key());
            QCOMPARE(names, keys.mid(0, std::array{19, 15, 12}[n]));
            JCOMPARE((json{j["HdweVer"], j["DHCP"], j["IPAddr"], j["SubnetMask"], j["IPPort"], j["BaudRate"], j["Handshaking"],
                           j.value("UDPPort", 0), j.value("OutCount", 0), j.value("OutRules", json{0, 0, 0})[2]}),
                     (json{"1.2", true, ip(n).toStdString(), "255.0.0.0", 10001, nullptr, 2, n < 2 ? 10002 : 0, n < 2 ? 1 : 0,
                           n < 2 ? json{{"IPAddr", "10.0.0.5"}, {"Port", 40000}, {"Flags", 3}, {"IdleSecs", 90}} : json(0)}));
            QCOMPARE(QString::fromStdString(rig->run("read " + ip(n)).out)
                         .contains("Connect to 10.0.0.5, Port 40000, using TCP upon powerup"), n < 2);
        }
        QCOMPARE(rig->received(0), (Wire{kRead, kRead}));
    }

    void failures()
    {
        const QString again = "\nPlease try the last operation again.\n";
        const Failure rows[] = {
            {"read --save never.TALIX", "checksum", 1, 1, "Error Reading Settings: A data error was detected reading the "
             "device's current settings.\nPlease click \"Read Settings\" to read them again.\n"},
            {"read", "short", 1, 1, "The device did not answer with its settings.\n"},
            {"read", "held", 1, 0, "Communications Error: The command could not be sent: local UDP port %1 is in use by "
             "another program.\nPlease close the program that uses this port and try again.\n"},
            {"set-mac 5a3000", "N", 1, 1, "Communications Error: The device reported an error receiving the last command." + again},
            {"update FIRM.bin", "slow erase", 1, 2, "Communications Error: Timed out waiting for the device to erase.\nReturn "
             "to the previous window and click \"Read Settings\" to see if it was erased.\n"},
            {"update FIRM.bin", "slow restart", 4, -1, "Communications Error: Timed out waiting for the device to reboot.\nIt "
             "may or may not have rebooted.\nAllow several seconds for it to reboot and try to \"Find\" it again.\n"},
            {"update FIRM.bin", "untagged", 4, -1, "Update Firmware: After the restart the device reports no firmware (Erased), "
             "not version 1.0.9 of the update file.\nThe update did not take effect: run it again, or use another update file.\n"},
            // Nothing is erased from a file that cannot be programmed whole or does not fit the device.
            {"update FIRM.bin", "damaged", 3, 0, "FIRM.bin: Update File Error: 1002 "},
            {"update FIRM.bin", "beyond", 3, 0, "FIRM.bin: Update File Error: 1002 "},
            {"update FIRM.bin --boot", "", 2, 0, "FIRM.bin is not a bootloader"},
            {"update FIRM.bin", "misfit", 3, 1, "FIRM.bin does not fit the device (hardware 1.2, bootloader 1.0.7); nothing was sent.\n"},
            {"update BOOT109.bin", "", 2, 0, "BOOT109.bin is a bootloader update file: add --boot to program the bootloader (this "
             "erases the firmware).\n"}};
        for (const Failure& row : rows) {
            init();
            rig->faults([&](Faults& f) {
                f.silent = row.fault == "silent";
                f.nackNext = row.fault == "N";
                f.corruptChecksum = row.fault == "checksum";
                f.truncateReplies = row.fault == "short" ? 40 : 0;
                f.eraseMs = row.fault == "slow erase" ? 60000 : f.eraseMs;
                f.restartSilentMs = row.fault == "slow restart" ? 60000 : f.restartSilentMs;
            });
            QByteArray image = makeUpdateFile({.region = row.args.contains("BOOT") ? Region::Bootloader : Region::Firmware,
                                               .version = {1, 0, 9}, .size = row.fault == "beyond" ? 0xFC001 : 128,
                                               .hwMin = row.fault == "misfit" ? 0x0300u : 0u, .tagged = row.fault != "untagged"});
            image.chop(row.fault == "damaged" ? 5 : 0);
            QStringList args = row.args.split(' ');
            for (QString& a : args)
                a = a.endsWith(".bin") ? rig->file(a, image) : a.endsWith(".TALIX") ? rig->dir.filePath(a) : a;
            args.insert(1, ip(0));
            QUdpSocket holder;
            QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0));
            const Result r = rig->run("--json " + args.join(' '), 0, row.fault == "held" ? holder.localPort() : 0);
            const QString told = row.told.contains("%1") ? row.told.arg(holder.localPort()) : row.told;
            QCOMPARE(r.code, row.code);
            QVERIFY2(told.endsWith('\n') ? r.err == told.toStdString() : QString::fromStdString(r.err).contains(told), r.err.c_str());
            QCOMPARE(int(rig->received(0).size()), row.sent < 0 ? int(rig->received(0).size()) : row.sent);
            QVERIFY(!QFile::exists(rig->dir.filePath("never.TALIX")));
            // Exit 4: programmed and restarted, but the device did not confirm the file's version.
            QCOMPARE(r.out.empty() ? "" : r.out.substr(r.out.find("\"versionConfirmed\"")),
                     row.code == 4 ? "\"versionConfirmed\": false\n}\n" : "");
        }
    }

    // read --save from one device and write to another copies the settings but the MAC, as the
    // window's Save and Load do.
    void saveThenWriteCopiesSettings()
    {
        rig->change(0, [](DeviceState& d) {
            d.name = "Pump 3", d.handshaking = 1, d.baud = 115200, d.password = "s3cret", d.rules[0] = {0x0A000009, 7000, 5, 0};
            d.rules[11] = Rule{0x0A00000A, 7001, 1, 30};
        });
        const QString path = rig->dir.filePath("pump.TALIX");
        QVERIFY(rig->run("read 127.0.0.2 --save " + path).out.ends_with("saved to:\n" + path.toStdString() + "\n"));
        QCOMPARE(rig->run("write 127.0.0.5 " + path).out,
                 "Settings were successfully saved to the device.\nIt must be rebooted for the new settings to take effect.\n");
        QCOMPARE(rig->received(3).size(), std::size_t(2)); // the read, the save
        DeviceState copied = rig->fleet.device(3), from = rig->fleet.device(0);
        QCOMPARE(copied.mac, makeDevice(3, Preset::Login).mac);
        copied.mac = from.mac, copied.address = from.address, copied.flash = from.flash = {};
        QCOMPARE(copied, from); // the file carries the address too
    }

    // Keys absent from the file keep the device's values; keys its layout does not carry are
    // named on stderr and not sent.
    void writeJsonKeepsAbsentKeys()
    {
        // Rules that no check lets a user write, written by another tool: they go back as they are.
        rig->change(0, [](DeviceState& d) { d.rules[2] = {0x0A000005, 40000, 3, -1}; });
        rig->change(1, [](DeviceState& d) { d.rules[2] = {0x0A000005, 40000, 3, 70000}; });
        QCOMPARE(rig->run("write 127.0.0.3 " + rig->file("same.json", QByteArray::fromStdString(rig->run("--json read 127.0.0.3").out))).code, 0);
        // Not carried, so not judged (JSON found past a byte-order mark); with DHCP the static addresses are not judged either.
        QCOMPARE(rig->run("write 127.0.0.4 " + rig->file("basic", "\xEF\xBB\xBF" R"({"UDPPort": -1, "NetName": "B"})")).code, 0);
        QCOMPARE(rig->run("write 127.0.0.2 " + rig->file("dhcp.json", R"({"DHCP": true, "Gateway": "none"})")).code, 0);
        QVERIFY(rig->fleet.device(2).name == "B" && rig->fleet.device(0).dhcp);
        const QString path = rig->file("edit.json", R"({"NetName": "Kiln", "BaudRate": 19200,
            "OutRules": [{}, {"IPAddr": "10.1.2.3", "Port": 502, "Flags": 1}], "Username": "op"})");
        rig->fleet.clearTraffic();
        for (int n : {0, 1, 2}) {
            DeviceState expected = rig->fleet.device(n), after;
            const Result r = rig->run(QString("--json write %1 %2 %3").arg(ip(n), path, n > 0 ? "--reboot" : ""));
            JCOMPARE((json{r.code, r.j["saved"], r.j["rebooting"]}), (json{0, true, n > 0}));
            const Wire wire = rig->received(n);
            QCOMPARE((std::vector{int(wire.size()), int(wire[1].size())}), (std::vector{n > 0 ? 3 : 2, std::array{384, 192, 44}[n]}));
            QCOMPARE(wire.back(), n > 0 ? kReboot : wire[1]);
            expected.name = "Kiln", expected.baud = 19200, expected.username = n == 0 ? "op" : expected.username;
            expected.rules[1] = n < 2 ? Rule{0x0A010203, 502, 1, 0} : expected.rules[1], expected.flash = {};
            after = rig->fleet.device(n), after.flash = {};
            QCOMPARE(after, expected);
            const QString notSent = "\"%1\" is not sent: the device's settings (layout %2) do not carry it.\n";
            QCOMPARE(QString::fromStdString(r.err), n == 0 ? QString() : n == 1 ? notSent.arg("Username", "Rules")
                                                                     : notSent.arg("OutRules", "Basic") + notSent.arg("Username", "Basic"));
        }
    }

    // A write refused with exit 3, the device unchanged; read: it was read (to learn its layout) first.
    void writeRefusesBadInput()
    {
        brevion::SettingsFileValues v;
        v.IPPort = "10001", v.BaudRate = 4, v.Handshaking = 0, v.UDPPort = "10002";
        v.Rules.OutRules[1] = {"10.0.0.9", 70000, 3, 0};
        const std::tuple<int, QByteArray, bool, QString> rows[] = {
            {0, R"({"DHCP": false, "IPAddr": "300.1.1.1"})", true, "Invalid Value: The value of \"IP Address\" cannot be sent "
                "to the device.\nIt must be a dotted address such as 192.168.1.20.\n"},
            {0, R"({"BaudRate": 1234})", true, "\"Baud rate\" cannot be sent"}, // not the bridge's own rate
            {0, brevion::EncodeSettingsFile(v), true, "\"Outgoing Connections, rule 1\""},
            {0, R"({"NetName": "seventeen chars!!"})", false, "\"NetName\" is longer than 16 characters"},
            {0, R"({"OutRules": [{"Port": 65536}]})", false, "\"OutRules[0].Port\" must be from 0 to 65535"},
            {0, "{\"OutRules\": [{},{},{},{},{},{},{},{},{},{},{},{},{}]}", false, "at most 12 rules"},
            {0, R"({"IPPort": )", false, "bad.json: not valid JSON: parse error at line 1, column 12"},
            {0, R"({"IPPort": 1e9200})", false, "bad.json: not valid JSON: number overflow"},
            {0, "{\"NetName\": \"A\",\n \"layout\": \"Rules\"}", true, "bad.json: line 2: \"layout\" cannot be written"},
            {0, QByteArray((1 << 20) + 1, ' '), false, "larger than 1 MiB"},
            {0, "#TRUE#\r\n\"1.2.3.4\"\r\n", false, "bad.TALIX, line 3: "},
            {0, {}, false, "absent.json cannot be read: No such file"}};
        for (const auto& [device, bytes, read, told] : rows) {
            rig->fleet.clearTraffic();
            const DeviceState before = rig->fleet.device(device);
            const QString name = bytes.isEmpty() ? "absent.json" : bytes.startsWith('#') ? "bad.TALIX" : "bad.json";
            if (!bytes.isEmpty())
                rig->file(name, bytes);
            const Result r = rig->run(QString("write %1 %2 --reboot").arg(ip(device), rig->dir.filePath(name)));
            QCOMPARE(r.code, 3);
            QVERIFY2(QString::fromStdString(r.err).contains(told), r.err.c_str());
            QCOMPARE(rig->received(device), read ? Wire{kRead} : Wire{});
            QCOMPARE(rig->fleet.device(device), before);
        }
    }

    void rebootAndSetMac()
    {
        QCOMPARE(rig->run("reboot 127.0.0.3").out,
                 "Device is rebooting.\nPlease allow thirty seconds before trying to find or re-configure it again.\n");
        JCOMPARE(rig->run("--json set-mac 127.0.0.2 5a3abc").j, (json{{"ip", "127.0.0.2"}, {"mac", "00:50:C2-5A:3A:BC"}, {"restarting", true}}));
        QCOMPARE(rig->received(0), (Wire{QByteArray("\x58\x4D\x00\x50\xC2\x5A\x3A\xBC\xFC\xF9", 10), kRestart}));
        QCOMPARE(rig->run("set-mac 127.0.0.5 5A3FFF").out, "The device's MAC address is now 00:50:C2-5A:3F:FF; it is restarting.\n");
    }

    // Exit 2, nothing sent; told: the start of stderr.
    void usageErrors()
    {
        // One MAC entry: the others are test_update_core's and fuzz_macentry's.
        std::vector<std::pair<QString, QString>> rows{{"read 127.0.0.2 --save =", "--save needs the name of the settings file to write."},
            {"set-mac 127.0.0.2 5a4000", "Invalid MAC Address.  It must be in the range 5A3000 - 5A3FFF."}};
        for (const char* args : {"", "flash 127.0.0.2", "read", "write 127.0.0.010 f.json", "read 127.1",
                                 "--port 0 reboot 127.0.0.2", "--local-port 70000 reboot 127.0.0.2", "--broadcast everyone discover",
                                 "write 127.0.0.2", "updates /tmp", "reboot 127.0.0.2 127.0.0.3", "update-all /tmp --only 0050C25A30"})
            rows.emplace_back(args, "");
        for (const auto& [args, told] : rows) {
            const Result r = rig->run(args);
            QCOMPARE(r.code, 2);
            QVERIFY2(!r.err.empty() && QString::fromStdString(r.err).startsWith(told), r.err.c_str());
        }
        QCOMPARE(rig->received(-2), Wire{});
    }

    void updatesListsWhatFits()
    {
        rig->file("up/FIRM1011.bin", makeUpdateFile(Region::Firmware, {1, 0, 11}, 256));
        rig->file("up/firm1017.BIN", makeUpdateFile(Region::Firmware, {1, 0, 17}, 256));
        rig->file("up/newboot.bin", makeUpdateFile(Region::Bootloader, {1, 0, 8}, 256));
        rig->file("up/junk.bin", QByteArray("\x65 not an update file"));
        const QString up = rig->dir.filePath("up");
        const json j = rig->run("--json updates " + up + " --device 127.0.0.2").j;
        JCOMPARE((json{j["HdweVer"], j["BootVer"], j["FirmVer"], j["firmware"].size(), j["firmware"][1]["file"], j["bootloader"]}),
                 (json{"1.2", "1.0.7", "1.0.17", 2, "FIRM1011.bin", {{{"file", "newboot.bin"}, {"version", "1.0.8"}, {"line", "Ver 1.0.8 (newboot.bin)"}}}}));
        QCOMPARE(rig->run("updates " + up + " --device 127.0.0.2").out,
                 "Firmware:\n  Ver 1.0.17 (firm1017.BIN)\n  Ver 1.0.11 (FIRM1011.bin)\nBootloader:\n  Ver 1.0.8 (newboot.bin)\n");
        QCOMPARE(rig->received(0), (Wire{kRead, kRead}));
    }

    // Once the first block reached the device: the first interrupt only warns and the update is
    // completed, a second stops it at once; hangups and broken pipes never stop it (the terminal
    // has gone, nobody is left to decide). A device that falls silent, or a second update (or reboot) of it,
    // leaves it erased once. Bounded: a signal pipe that blocks fails the row in seconds.
    void updateInterrupted()
    {
        struct Row { QList<int> sent; QString event; int code; QString told; };
        const QString erased = " bytes were programmed: the device is erased and only partly programmed, so it has no "
            "working firmware. To recover, run the same update again (talixctl update 127.0.0.2 %1).\n";
        const Row rows[] = {
            {{SIGINT}, "", 0, "An update of 127.0.0.2 is in progress: stopping now leaves the device without firmware. "
             "The update goes on; interrupt again to stop it anyway.\n"},
            {{SIGTERM, SIGINT}, "", 1, erased},
            {{SIGHUP, SIGPIPE, SIGHUP}, "", 0, "The terminal has gone: the update of 127.0.0.2 goes on to its end.\n"},
            {{}, "silent", 1, erased},
            {{}, "second update", 0, ""}};
        for (const Row& row : rows) {
            init();
            const support::Watchdog dog(20s, "update, " + row.event);
            const QString path = rig->file("FIRM.bin", makeUpdateFile(Region::Firmware, {1, 0, 18}, 65536));
            Result second, reboot;
            QTimer poll;
            rig->onFirst(poll, 0, [&] {
                std::ranges::for_each(row.sent, ::raise);
                if (row.event == "silent")
                    rig->faults([](Faults& f) { f.silent = true; });
                if (row.event == "second update")
                    second = rig->run("update 127.0.0.2 " + path), reboot = rig->run("reboot 127.0.0.2");
            });
            const Result r = rig->run("update 127.0.0.2 " + path);
            const bool stopped = row.code != 0;
            QCOMPARE(r.code, row.code);
            QVERIFY2(QString::fromStdString(r.err).endsWith(QString(row.told).replace("%1", path)), r.err.c_str());
            QCOMPARE(r.out, stopped ? "" : "Update was completed successfully.\n");
            QCOMPARE(rig->fleet.device(0).firm, (stopped ? Version3{0, 0, 0} : Version3{1, 0, 18}));
            QCOMPARE(rig->fleet.device(0).flash.mid(0x4000, 65536) == updateImage({.version = {1, 0, 18}, .size = 65536}), !stopped);
            // Read first (does the file fit?), then erase, once; restart, then read until it answers.
            const Wire wire = rig->received(0);
            QCOMPARE((Wire{wire[0], wire[1]}), (Wire{kRead, kErase}));
            QCOMPARE(std::ranges::count(wire, kErase), 1);
            QCOMPARE(std::ranges::count(wire, kRestart) == 1 && wire.back() == kRead, !stopped); // nothing sent once stopped
            QCOMPARE((std::tuple{second.code, reboot.code, second.err.find("in use by another program (process") != std::string::npos}),
                     (row.event == "second update" ? std::tuple{1, 1, true} : std::tuple{-1, -1, false}));
        }
    }

    // Fleet commands ---------------------------------------------------------------------------

    void discoverMarksSharedAddresses()
    {
        rig->addTwins(1);
        const json j = rig->run("--json discover").j;
        JCOMPARE(j[0], (json{{"name", "TALIX-1"}, {"mac", "00:50:C2-5A:30:00"}, {"ip", "127.0.0.2"}, {"duplicate", false},
                             {"error", nullptr}}));
        JCOMPARE((json{j.size(), j[2]["duplicate"], j[3]["ip"], j[3]["duplicate"], j[4]["ip"], j[4]["error"], j[1]["error"], j[5]["ip"],
                       j[5]["mac"]}), (json{6, false, "127.0.0.5", true, "127.0.0.5", "shares its address with another bridge",
                                            "shares its MAC address with another bridge", "127.0.0.7", "00:50:C2-5A:30:01"}));
        QCOMPARE(rig->received(-2), (Wire{"ZEVID", "ZEVID"})); // to the broadcast address only
        const QString t = QString::fromStdString(rig->run("discover").out);
        QVERIFY(t.contains("* 127.0.0.5 *") && t.contains("* 00:50:C2-5A:30:01 *  127.0.0.7\n") && t.endsWith("\n* Duplicate IP "
            "addresses found!  You should unplug one and connect to the other to change its IP Address.\n* Duplicate MAC addresses "
            "found!  Give each of those bridges its own (set-mac); until then the fleet commands leave them alone.\n6 Bridges found\n"));
        QUdpSocket mute; // hears the search, answers nothing
        QVERIFY(mute.bind(QHostAddress::AnyIPv4, 0));
        QCOMPARE(rig->run("discover", mute.localPort()).out, "No Vant Ethernet to Serial Bridge devices were found.\n");
    }

    // --at: the bridges at the targets and no others, each address asked twice (sent: datagrams
    // the simulator heard); a target that is malformed or too large: exit 2, nothing sent.
    void searchesAtTargets()
    {
        const struct { QString at; int code; QStringList ips; int sent; QString told; } rows[] = {
            {"127.0.0.3 --at 127.0.0.4", 0, {"127.0.0.3", "127.0.0.4"}, 4, ""},
            {"127.255.255.255", 0, {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"}, 2, ""}, // directed broadcast
            {"127.0.0.0/29", 0, {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"}, 12, ""},  // .1 to .6
            {"127.0.0.5/31 --at 127.0.0.4", 0, {"127.0.0.4", "127.0.0.5"}, 4, ""}, // overlapping: asked once each
            {"127.0.0.010", 2, {}, 0, "--at: \"127.0.0.010\" is not an address or a range"},
            {"127.1", 2, {}, 0, "--at: \"127.1\" is not"},
            {"127.0.0.0/33", 2, {}, 0, "--at: \"127.0.0.0/33\" is not"},
            {"127.0.0.3 --at 127.0.0.0/8", 2, {}, 0, "--at: \"127.0.0.0/8\" is too large a range"},
        };
        for (const auto& row : rows) {
            rig->fleet.clearTraffic();
            const Result r = rig->run("--json --at " + row.at + " discover");
            QStringList ips;
            for (const json& d : r.j)
                ips << QString::fromStdString(d["ip"]);
            QCOMPARE(r.code, row.code);
            QCOMPARE(ips, row.ips);
            QCOMPARE(int(rig->received(-2).size()), row.sent);
            QVERIFY2(QString::fromStdString(r.err).startsWith(row.told), r.err.c_str());
        }
        const Result inv = rig->run("--json --at 127.0.0.4 inventory"); // the fleet commands search the same way
        JCOMPARE((json{inv.code, inv.j.size(), inv.j[0]["ip"]}), (json{0, 1, "127.0.0.4"}));
    }

    // A bridge that refuses to be read, two that share an address and two that share a MAC are
    // listed with their errors; the others are listed and saved; the shared ones never hear a
    // request of their own. In the backup folder links give way to files, all owner-only.
    void inventoryAndBackupListEveryBridge()
    {
        rig->addTwins(1);
        rig->change(0, [](DeviceState& d) { d.name = "Pump, \"A\""; });
        rig->faults([](Faults& f) { f.answerN = true; }, 2);
        const Result inv = rig->run("--json inventory");
        JCOMPARE((json{inv.code, inv.j.size(), inv.j[2]["error"], inv.j[2]["layout"], inv.j[3]["duplicate"], inv.j[4]["error"],
                       inv.j[1]["error"], inv.j[5]["error"]}),
                 (json{1, 6, "The device reported an error receiving the last command.", nullptr, true,
                       "shares its address with another bridge", "shares its MAC address with another bridge",
                       "shares its MAC address with another bridge"}));
        JCOMPARE(inv.j[0], (json{{"name", "Pump, \"A\""}, {"mac", "00:50:C2-5A:30:00"}, {"ip", "127.0.0.2"}, {"duplicate", false},
                                 {"layout", "Login"}, {"HdweVer", "1.2"}, {"BootVer", "1.0.7"}, {"FirmVer", "1.0.17"}, {"error", nullptr}}));
        QVERIFY(rig->run("--json inventory --csv").out.starts_with(
            "name,mac,ip,duplicate,layout,HdweVer,BootVer,FirmVer,error\r\n\"Pump, \"\"A\"\"\",00:50:C2-5A:30:00,"));
        const QString folder = rig->dir.filePath("backup"), outside = rig->file("outside", "keep");
        QVERIFY(QFile::setPermissions(rig->file("backup/index.json", "{}"), QFile::Permissions(0x6644)));
        QVERIFY(QFile::link(outside, folder + "/0050C25A3000.TALIX"));
        const Result backup = rig->run("--json backup " + folder);
        JCOMPARE((json{backup.code, backup.j[0]["file"], backup.j[1]["file"], backup.j[4]["file"], backup.j[5]["file"]}),
                 (json{1, "0050C25A3000.TALIX", nullptr, nullptr, nullptr}));
        QCOMPARE(QDir(folder).entryList(QDir::Files), (QStringList{"0050C25A3000.TALIX", "index.json"}));
        for (const QFileInfo& f : QDir(folder).entryInfoList(QDir::Files))
            QVERIFY(!f.isSymLink() && f.permissions() == QFile::Permissions(0x6600)); // owner only
        QCOMPARE(QFileInfo(outside).size(), 4); // "keep": nothing written through the link
        const Result again = QDir(folder).mkpath("again/index.json") ? rig->run("--json backup " + folder + "/again") : Result{}; // no index: all told
        JCOMPARE((json{again.code, again.j[0]["file"], again.err.find("again/index.json: ") != std::string::npos}), (json{1, "0050C25A3000.TALIX", true}));
        QCOMPARE(rig->heard(3, "XQ") + rig->heard(4, "XQ") + rig->heard(1, "XQ") + rig->heard(5, "XQ"), 0);
    }

    // Applying a plan twice changes the bridges once; --check and the second run send no save;
    // a bridge that refuses, two that share an address and one that is not there fail alone.
    void applyIsIdempotentAndFailsBridgesAlone()
    {
        const QString plan = rig->file("plan.json", R"({"defaults": {"BaudRate": 19200},
            "devices": {"00:50:C2-5A:30:00": {"NetName": "Pump house"}, "0050c25a3001": {"IPPort": 4001},
                        "00:50:c2:5a:30:02": {}}})");
        const Result check = rig->run("--json apply --check " + plan);
        JCOMPARE(check.j["summary"], (json{{"changed", 3}, {"unchanged", 0}, {"failed", 0}}));
        JCOMPARE(check.j["devices"][0]["changes"], (json{{"NetName", {"TALIX-1", "Pump house"}}, {"BaudRate", {9600, 19200}}}));
        const Result first = rig->run("--json apply --reboot " + plan);
        JCOMPARE((json{check.code, first.code, first.j["devices"]}), (json{0, 0, check.j["devices"]}));
        QVERIFY(rig->fleet.device(0).name == "Pump house" && rig->fleet.device(1).tcpPort == 4001 && rig->fleet.device(2).baud == 19200);
        for (int n : {0, 1, 2})
            QCOMPARE(rig->heard(n, "XS") + rig->heard(n, "XB"), 2);
        rig->fleet.clearTraffic();
        JCOMPARE(rig->run("--json apply " + plan).j["summary"], (json{{"changed", 0}, {"unchanged", 3}, {"failed", 0}}));
        const Result diff = rig->run("diff 127.0.0.2 " + rig->file("edit.json", R"({"NetName": "Kiln"})"));
        JCOMPARE((json{diff.code, diff.out}), (json{5, "NetName: \"Pump house\" -> \"Kiln\"\n"}));
        QCOMPARE(rig->run("diff 127.0.0.3 " + rig->file("same.json", R"({"IPPort": 4001})")).code, 0);
        // A handshaking value the list does not offer is the device's, not "None": choosing None changes it.
        rig->change(1, [](DeviceState& d) { d.handshaking = 7; });
        const Result none = rig->run("diff 127.0.0.3 " + rig->file("none.json", R"({"Handshaking": 0})"));
        JCOMPARE((json{none.code, none.out}), (json{5, "Handshaking: null -> 0\n"}));
        QCOMPARE(rig->heard(-2, "XS"), 0);

        // Forged replies from another port name no bridge and draw nothing to their address.
        rig->addTwins(2);
        rig->faults([](Faults& f) { f.answerN = true; }, 1);
        QUdpSocket forger;
        QTimer every;
        rig->forge(forger, every);
        rig->fleet.clearTraffic();
        const Result r = rig->run("--json apply " + rig->file("plan.json", R"({"defaults": {"NetName": "Line 2"}, "devices":
            {"0050C25A3000": {}, "0050C25A3001": {}, "0050C25A3002": {}, "0050C25A3003": {}, "0050C25A3007": {}}})"), 0, rig->localPort);
        const json& d = r.j["devices"];
        JCOMPARE((json{r.code, d[0]["result"], d[1]["error"], d[2]["error"], d[3]["error"], d[4]["ip"], d[4]["error"], d[5]["mac"],
                       d[5]["error"]}),
                 (json{1, "changed", "The device reported an error receiving the last command.",
                       "shares its MAC address with another bridge", "shares its address with another bridge", "127.0.0.7",
                       "shares its MAC address with another bridge", "00:50:C2-5A:30:07", "not found"}));
        QCOMPARE(rig->heard(3, "XQ") + rig->heard(4, "XQ") + rig->heard(2, "XQ") + rig->heard(5, "XQ") + rig->heard(-2, "XS"), 1);
        QCOMPARE(rig->received(-1), (Wire{"ZEVID", "ZEVID"}));
    }

    // A plan that cannot be applied whole is refused (exit 3) before any bridge is saved, with and
    // without --check; a value a bridge holds outside the plan refuses only a change to that bridge.
    void applyRefusesBadPlans()
    {
        rig->change(1, [](DeviceState& d) { d.baud = 1234; }); // a rate the window does not offer
        const QByteArray deep = R"({"devices": {"0050C25A3000": {"OutRules": )" + QByteArray(100000, '[') + QByteArray(100000, ']') + "}}}";
        const std::tuple<QByteArray, int, QString> rows[] = { // plan, bridges read before the refusal (-1: applied), told
            {R"({"devices": {"0050C25A3000": {"IPPort": 70000}}})", 0, ""}, {R"({"devices": {"0050C25A300": {}}})", 0, ""},
            {R"({"devices": {"0050C25A3000": {"IPaddr": "10.0.0.1"}}})", 0, ""}, {R"({"device": {}})", 0, ""},
            {R"({"devices": {"0050C25A3000": {}, "00:50:c2:5a:30:00": {}}})", 0, ""}, {R"({"devices": {"0050C25A3000": {"NetName": "\u0085"}}})", 0, "(U+0085)"},
            {"{\"devices\": {\"0050C25A3000\": {},\n \"0050C25A3000\": {}}}", 0, "line 2: \"devices.0050C25A3000\" is given twice"},
            {R"({"devices": {"0050C25A3000": {"NetName": "A", "NetName": "B"}}})", 0, "\"devices.0050C25A3000.NetName\" is given twice"},
            {R"({"devices": {"0050C25A3000": {"NetName": "a\u0000b"}}})", 0, "holds a control character (U+0000)"},
            {"{\"devices\": {\"0050C25A3000\": {\"NetName\": \"a\x7F\"}}}", 0, "holds a control character (U+007F)"},
            {deep, 0, "line 1: \"devices.0050C25A3000.OutRules[0][0][0][0][0]\" is nested deeper than 8 levels"},
            {"{\"devices\": {\"0050C25A3000\":\n{\"NetName\": \"A\",\n \"FirmVer\": \"1.0.21\"}}}", 1,
             "line 3: \"FirmVer\" cannot be written: the device reports \"1.0.17\", not \"1.0.21\""},
            {R"({"devices": {"0050C25A3000": {"DHCP": false, "IPAddr": "255.255.255.255"}}})", 0, "\"IP Address\""},
            {R"({"defaults": {"DHCP": false, "SubnetMask": "255.0.255.0"}, "devices": {}})", 0, "\"Subnet Mask\""},
            {R"({"devices": {"0050C25A3000": {"NetName": "Renamed"}, "0050C25A3001": {}}})", -1, ""},
            {R"({"devices": {"0050C25A3000": {}, "0050C25A3001": {"NetName": "Renamed"}}})", -1, ""}};
        for (const auto& [plan, reached, told] : rows) {
            for (const QString mode : {"apply --check ", "apply "}) {
                rig->fleet.clearTraffic();
                const Result r = rig->run(mode + rig->file("bad.json", plan));
                QVERIFY2(reached < 0 ? r.code == 0 : r.code == 3 && !r.err.empty(), plan.left(100).constData());
                QVERIFY2(QString::fromStdString(r.err).contains(told), r.err.c_str());
                QCOMPARE(rig->heard(-2, "XQ"), reached < 0 ? 2 : reached);
                QCOMPARE(rig->heard(-2, "XS"), reached < 0 && !mode.contains("check") ? 1 : 0);
            }
        }
        QCOMPARE(rig->fleet.device(1).baud, 1234); // renamed, its own rate sent back unchanged
    }

    // Each bridge gets the newest firmware that fits it; bootloader files and misfits take no part.
    void updateAllBringsEveryBridgeUp()
    {
        rig->addTwins(3);
        rig->file("up/FIRM1018.bin", makeUpdateFile({.version = {1, 0, 18}, .size = 1024, .hwMax = 0x0104}));
        rig->file("up/FIRM1020.bin", makeUpdateFile({.version = {1, 0, 20}, .size = 1024, .hwMax = 0x0104, .bootMin = 0x010008}));
        rig->file("up/BOOT109.bin", makeUpdateFile(Region::Bootloader, {1, 0, 9}, 256));
        rig->change(2, [](DeviceState& d) { d.hw = {1, 5}; }); // beyond the files' hardware range
        const QString folder = rig->dir.filePath("up");
        const Result check = rig->run("--json update-all --check " + folder);
        QCOMPARE(check.code, 1); // the shared address and MAC
        JCOMPARE(check.j["summary"], (json{{"updated", 2}, {"unchanged", 0}, {"skipped", 1}, {"failed", 3}}));
        JCOMPARE(check.j["devices"][1], (json{{"mac", "00:50:C2-5A:30:01"}, {"ip", "127.0.0.3"}, {"from", "1.0.11"},
                                              {"to", "1.0.18"}, {"result", "updated"}, {"error", nullptr}}));
        const QString only = "--json update-all " + folder + " --only 00:50:C2-5A:30:00,0050c25a3001";
        JCOMPARE((json{rig->run(only).j["summary"], rig->run(only).j["summary"]}),
                 (json{{{"updated", 2}, {"unchanged", 0}, {"skipped", 0}, {"failed", 0}},
                       {{"updated", 0}, {"unchanged", 2}, {"skipped", 0}, {"failed", 0}}}));
        QVERIFY(rig->fleet.device(0).firm == (Version3{1, 0, 18}) && rig->fleet.device(1).firm == (Version3{1, 0, 18}));
        QCOMPARE(rig->heard(2, "XP\xE7"), 0);

        // --to: exactly that version, down as well as up; --force programs the same version again.
        rig->change(1, [](DeviceState& d) { d.firm = {1, 0, 30}; });
        json runs;
        for (const char* to : {"1.0.18", "1.0.18", "1.0.18 --force", "1.0.19", "1.0"}) {
            Result r = rig->run("--json update-all " + folder + " --only 0050C25A3000,0050C25A3001 --to " + to);
            runs.push_back({r.code, r.j["summary"]["updated"], r.j["summary"]["unchanged"], r.j["summary"]["skipped"]});
        }
        JCOMPARE(runs, (json{{0, 1, 1, 0}, {0, 0, 2, 0}, {0, 2, 0, 0}, {0, 0, 0, 2}, {2, nullptr, nullptr, nullptr}}));
        QCOMPARE(rig->fleet.device(1).firm, (Version3{1, 0, 18}));
    }

    // A version is bits 0-23 compared as a number: a file's upper byte never makes it newer (nor
    // fails the check after the update), 1.0.9 is older than 1.0.11, and a bridge already at the
    // file's version is left alone.
    void updateAllComparesVersions()
    {
        struct Row { Version3 firm; std::vector<quint32> files; bool check; const char *result, *to; };
        const Row rows[] = {
            {{1, 0, 21}, {0x7F010013}, true, "unchanged", "1.0.21"},
            {{1, 0, 18}, {0x7F010012}, true, "unchanged", "1.0.18"},
            {{1, 0, 9}, {0x01000B}, true, "updated", "1.0.11"},
            {{1, 0, 17}, {0x7F010013, 0x010014}, true, "updated", "1.0.20"},
            {{1, 0, 17}, {0x7F010013}, false, "updated", "1.0.19"}};
        for (const Row& row : rows) {
            init();
            rig->change(0, [&](DeviceState& d) { d.firm = row.firm; });
            for (const quint32 v : row.files) // the upper byte at offset 5
                rig->file(QString("up/%1.bin").arg(v), makeUpdateFile(Region::Firmware, {quint8(v >> 16), quint8(v >> 8),
                                                                                         quint8(v)}, 256).replace(5, 1, QByteArray(1, char(v >> 24))));
            const Result r = rig->run("--json update-all " + rig->dir.filePath("up") + " --only 0050C25A3000" + (row.check ? " --check" : ""));
            JCOMPARE((json{r.code, r.j["devices"][0]["result"], r.j["devices"][0]["to"], rig->heard(0, kErase)}),
                     (json{0, row.result, row.to, row.check ? 0 : 1}));
        }
    }

    // An interrupt or a hangup starts no further bridge; those under way finish (an apply's reboot
    // follows its save) and the run exits 1, also when every bridge had already started.
    void fleetInterrupted()
    {
        struct Row { QString args; QByteArray at; int sent; json summary; };
        const json updated = {{"updated", 3}, {"unchanged", 0}, {"skipped", 0}, {"failed", 0}};
        const json changed = {{"changed", 3}, {"unchanged", 0}, {"failed", 0}};
        const Row rows[] = {
            {"update-all UP --parallel 1", "XP\xC3", SIGINT, {{"updated", 1}, {"unchanged", 0}, {"skipped", 0}, {"failed", 2}}},
            {"update-all UP --parallel 4", "XP\xC3", SIGHUP, updated},
            {"apply PLAN --reboot --parallel 3", "XS", SIGINT, changed},
            {"apply PLAN --reboot --parallel 4", "XS", SIGHUP, changed}};
        for (const Row& row : rows) {
            init();
            const support::Watchdog dog(20s, row.args);
            rig->file("up/FIRM1018.bin", makeUpdateFile(Region::Firmware, {1, 0, 18}, 4096));
            const QString plan = rig->file("plan.json", R"({"defaults": {"NetName": "Line 2"},
                "devices": {"0050C25A3000": {}, "0050C25A3001": {}, "0050C25A3002": {}}})");
            for (int n : {0, 1, 2}) // the saves are still on their way when the signal comes
                rig->faults([&](Faults& f) { f.replyDelayMs = row.at == "XS" ? 100 : 0; }, n);
            QTimer poll;
            rig->onFirst(poll, 0, [&] { ::raise(row.sent); }, row.at);
            QString args = "--json " + row.args;
            args.replace("UP", rig->dir.filePath("up") + " --only 0050C25A3000,0050C25A3001,0050C25A3002").replace("PLAN", plan);
            const Result r = rig->run(args);
            JCOMPARE((json{r.code, r.j["summary"]}), (json{1, row.summary}));
            for (int n : {0, 1, 2}) // restarted once, or never asked anything (not started)
                QCOMPARE(rig->heard(n, row.at == "XS" ? kReboot : kRestart) + rig->heard(n, "XP\xE7"),
                         n == 0 || row.summary == updated || row.summary == changed ? (row.at == "XS" ? 1 : 2) : 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestTalixctl)
#include "test_talixctl.moc"
