// talixctl against simulated devices on loopback: output, exit status and the bytes on the wire.
#include "talixctl.h"

#include "deviceprotocol.h"
#include "fleet.h"
#include "settingsfile.h"
#include "updateimage.h"

#include <nlohmann/json.hpp>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <QUdpSocket>

#include <csignal>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

using namespace talixsim;
using nlohmann::json;

namespace {

// The local port of these tests; the fleet takes any free port.
constexpr quint16 kLocalPort = 24601;
constexpr quint16 kNobodyPort = 24602;

const QByteArray kRead("XQ");
const QByteArray kReboot("\x58\x42\xFF\x66", 4);
const QByteArray kErase("\x58\x50\xE7\xFE\x71", 5);
const QByteArray kRestart("\x58\x50\xBD\xFE\x9B", 5);

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

// JSON values compared as their text, which also reads well when they differ.
#define JCOMPARE(actual, expected) \
    QCOMPARE(QString::fromStdString(json(actual).dump()), QString::fromStdString(json(expected).dump()))

std::string ip(int n) { return ipToText(loopbackAddress(n)).toStdString(); }

} // namespace

class TestTalixctl : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Fleet> fleet;
    QTemporaryDir dir;

    // Devices 0, 1, 2: the Login, Rules and Basic presets; quick to erase and restart.
    void startFleet(const std::vector<DeviceState>& extra = {})
    {
        fleet = std::make_unique<Fleet>(FleetOptions{.port = 0});
        for (Preset p : {Preset::Login, Preset::Rules, Preset::Basic})
            fleet->addDevice(makeDevice(fleet->deviceCount(), p));
        for (const DeviceState& d : extra)
            fleet->addDevice(d);
        Faults quick;
        quick.eraseMs = 20;
        quick.restartSilentMs = 50;
        fleet->setAllFaults(quick);
        QString error;
        QVERIFY2(fleet->start(&error), qPrintable(error));
    }

    Result run(std::vector<std::string> args, talixctl::RunOptions options = {}, quint16 devicePort = 0)
    {
        const std::string port = std::to_string(devicePort ? devicePort : fleet->port());
        args.insert(args.begin(), {"--port", port, "--local-port", std::to_string(kLocalPort), "--broadcast",
                                   "127.255.255.255"});
        std::ostringstream out, err;
        Result r;
        r.code = talixctl::RunTalixctl(args, out, err, options);
        r.out = out.str();
        r.err = err.str();
        return r;
    }

    // What reached device n (or a broadcast, n = -1), in order.
    std::vector<QByteArray> received(int n) const
    {
        std::vector<QByteArray> list;
        for (const TrafficEntry& e : fleet->traffic())
            if (e.direction == TrafficEntry::Direction::In && e.device == n)
                list.push_back(e.bytes);
        return list;
    }
    int inbound() const
    {
        int count = 0;
        for (const TrafficEntry& e : fleet->traffic())
            count += e.direction == TrafficEntry::Direction::In ? 1 : 0;
        return count;
    }

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void init() { startFleet(); }
    void cleanup() { fleet.reset(); }

    void discoverListsTheFleetWithDuplicates()
    {
        // A fourth device shares the Rules device's address.
        fleet.reset();
        DeviceState twin = makeDevice(9, Preset::Basic);
        twin.address = twin.ip = loopbackAddress(1);
        startFleet({twin});

        const Result j = run({"discover", "--json"});
        QCOMPARE(j.code, 0);
        const json list = json::parse(j.out);
        QCOMPARE(list.size(), std::size_t(4));
        JCOMPARE(list[0]["name"], "TALIX-1");
        JCOMPARE(list[0]["mac"], "00:50:C2-5A:30:00");
        JCOMPARE(list[0]["ip"], ip(0));
        JCOMPARE(list[0]["duplicate"], false);
        for (int i : {1, 2}) {
            JCOMPARE(list[i]["ip"], ip(1)); // without the marks
            JCOMPARE(list[i]["duplicate"], true);
        }
        JCOMPARE(list[3]["duplicate"], false);
        // Two requests, to the broadcast address only.
        QCOMPARE(received(-1), (std::vector<QByteArray>{"ZEVID", "ZEVID"}));
        QCOMPARE(inbound(), 2);

        const Result t = run({"discover"});
        QCOMPARE(t.code, 0);
        QVERIFY(QString::fromStdString(t.out).contains("* " + QString::fromStdString(ip(1)) + " *"));
        QVERIFY(QString::fromStdString(t.out).contains("* Duplicate IP addresses found!  You should unplug one"));
        QVERIFY(QString::fromStdString(t.out).endsWith("\n4 Bridges found\n"));
    }

    void discoverWithNobodyThere()
    {
        const Result t = run({"discover"}, {}, kNobodyPort);
        QCOMPARE(t.code, 0);
        QCOMPARE(t.out, "No Vant Ethernet to Serial Bridge devices were found.\n");
        const Result j = run({"--json", "discover"}, {}, kNobodyPort);
        QCOMPARE(j.code, 0);
        JCOMPARE(json::parse(j.out), json::array());
    }

    void readJsonPerLayout_data()
    {
        QTest::addColumn<int>("device");
        QTest::addColumn<QString>("layout");
        QTest::addColumn<bool>("rules");
        QTest::addColumn<bool>("login");
        QTest::newRow("Login") << 0 << "Login" << true << true;
        QTest::newRow("Rules") << 1 << "Rules" << true << false;
        QTest::newRow("Basic") << 2 << "Basic" << false << false;
    }
    void readJsonPerLayout()
    {
        QFETCH(int, device);
        QFETCH(QString, layout);
        QFETCH(bool, rules);
        QFETCH(bool, login);
        DeviceState d = fleet->device(device);
        d.rules[2] = Rule{0x0A000005, 40000, 3, 90};
        d.baud = 1234; // not a listed rate
        d.handshaking = 2;
        d.dhcp = true;
        d.username = "admin";
        fleet->setDevice(device, d);

        const Result r = run({"--json", "read", ip(device)});
        QCOMPARE(r.code, 0);
        QCOMPARE(received(device), std::vector<QByteArray>{kRead});
        const json j = json::parse(r.out);
        JCOMPARE(j["layout"], layout.toStdString());
        JCOMPARE(j["HdweVer"], "1.2");
        JCOMPARE(j["DHCP"], true);
        JCOMPARE(j["IPAddr"], ip(device));
        JCOMPARE(j["SubnetMask"], "255.0.0.0");
        JCOMPARE(j["NetName"], d.name.toStdString());
        JCOMPARE(j["IPPort"], 10001);
        QVERIFY(j["BaudRate"].is_null());
        JCOMPARE(j["Handshaking"], 2);
        QCOMPARE(j.contains("UDPPort"), rules);
        QCOMPARE(j.contains("OutRules"), rules);
        QCOMPARE(j.contains("OutCount"), rules);
        for (const char* key : {"UserPrompt", "PassPrompt", "Username", "Password"})
            QCOMPARE(j.contains(key), login);
        if (rules) {
            JCOMPARE(j["UDPPort"], 10002);
            JCOMPARE(j["OutCount"], 1);
            JCOMPARE(j["OutRules"].size(), std::size_t(12));
            JCOMPARE(j["OutRules"][2],
                     (json{{"IPAddr", "10.0.0.5"}, {"Port", 40000}, {"Flags", 3}, {"IdleSecs", 90}}));
        }
        if (login)
            JCOMPARE(j["Username"], "admin");

        // The listing names the rule in its sentence.
        const Result t = run({"read", ip(device)});
        QCOMPARE(t.code, 0);
        QCOMPARE(QString::fromStdString(t.out).contains("Connect to 10.0.0.5, Port 40000, using TCP upon powerup"),
                 rules);
    }

    void readFailures_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("message");
        QTest::newRow("silent") << 0 << "Timed out waiting for a response from the device.";
        QTest::newRow("N") << 1 << "The device reported an error receiving the last command.";
        QTest::newRow("bad checksum") << 2 << "A data error was detected reading the device's current settings.";
    }
    void readFailures()
    {
        QFETCH(int, fault);
        QFETCH(QString, message);
        Faults f = fleet->faults(0);
        f.silent = fault == 0;
        f.answerN = fault == 1;
        f.corruptChecksum = fault == 2;
        fleet->setFaults(0, f);
        const QString save = dir.filePath("never.TALIX");
        const Result r = run({"--json", "read", ip(0), "--save", save.toStdString()});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, "");
        QVERIFY2(QString::fromStdString(r.err).contains(message), r.err.c_str());
        QVERIFY(!QFile::exists(save));
    }

    // read --save from one device and write to another copies the settings, as the window's
    // Save and Load do.
    void saveThenWriteCopiesSettings()
    {
        DeviceState from = fleet->device(0);
        from.name = "Pump 3";
        from.rules[0] = Rule{0x0A000009, 7000, 5, 0};
        from.rules[11] = Rule{0x0A00000A, 7001, 1, 30};
        from.handshaking = 1;
        from.baud = 115200;
        from.password = "s3cret";
        fleet->setDevice(0, from);
        DeviceState to = makeDevice(3, Preset::Login);
        const int target = fleet->addDevice(to);

        const QString path = dir.filePath("pump.TALIX");
        QCOMPARE(run({"read", ip(0), "--save", path.toStdString()}).code, 0);
        const brevion::SettingsFileDecode file = brevion::LoadSettingsFile(path, {});
        QVERIFY(file.values);
        QCOMPARE(file.values->IPPort, "10001");
        QCOMPARE(file.values->BaudRate, 8);
        QCOMPARE(file.values->Rules.OutCount, 2);
        QCOMPARE(file.values->Password, "s3cret");

        const Result w = run({"write", ip(3), path.toStdString()});
        QCOMPARE(w.code, 0);
        QVERIFY(QString::fromStdString(w.out).startsWith("Settings were successfully saved to the device."));
        const std::vector<QByteArray> wire = received(target);
        QCOMPARE(wire.size(), std::size_t(2));
        QCOMPARE(wire[0], kRead);
        QCOMPARE(wire[1].left(2), "XS");
        QCOMPARE(wire[1].size(), 384);
        DeviceState copied = fleet->device(target);
        QCOMPARE(copied.rules, from.rules);
        QCOMPARE(copied.name, from.name);
        QCOMPARE(copied.ip, from.ip); // the file carries the address too
        QCOMPARE(copied.baud, 115200u);
        QCOMPARE(copied.handshaking, quint8(1));
        QCOMPARE(copied.password, "s3cret");
        QCOMPARE(copied.mac, to.mac);
    }

    void writeJsonKeepsAbsentKeys_data()
    {
        QTest::addColumn<int>("device");
        QTest::addColumn<bool>("reboot");
        QTest::addColumn<int>("commandLength");
        QTest::newRow("Login") << 0 << false << 384;
        QTest::newRow("Rules, reboot") << 1 << true << 192;
        QTest::newRow("Basic, reboot") << 2 << true << 44;
    }
    void writeJsonKeepsAbsentKeys()
    {
        QFETCH(int, device);
        QFETCH(bool, reboot);
        QFETCH(int, commandLength);
        const DeviceState before = fleet->device(device);
        const QString path = writeFile("edit.json", R"({"NetName": "Kiln", "BaudRate": 19200, "layout": "Login",
            "OutRules": [{}, {"IPAddr": "10.1.2.3", "Port": 502, "Flags": 1}], "Username": "op"})");
        std::vector<std::string> args{"--json", "write", ip(device), path.toStdString()};
        if (reboot)
            args.push_back("--reboot");
        const Result r = run(args);
        QCOMPARE(r.code, 0);
        const json j = json::parse(r.out);
        JCOMPARE(j["saved"], true);
        JCOMPARE(j["rebooting"], reboot);

        std::vector<QByteArray> wire = received(device);
        QCOMPARE(wire.size(), std::size_t(reboot ? 3 : 2));
        QCOMPARE(wire[0], kRead);
        QCOMPARE(wire[1].size(), commandLength);
        if (reboot)
            QCOMPARE(wire[2], kReboot);

        DeviceState expected = before;
        expected.name = "Kiln";
        expected.baud = 19200;
        if (commandLength > 44)
            expected.rules[1] = Rule{0x0A010203, 502, 1, 0};
        if (commandLength == 384)
            expected.username = "op";
        DeviceState after = fleet->device(device);
        after.flash = expected.flash = {};
        QCOMPARE(after, expected);
        // Keys the layout does not carry are named on stderr, and not sent.
        QCOMPARE(QString::fromStdString(r.err).contains("\"Username\" is not sent"), commandLength != 384);
    }

    void writeRefusesBadValues_data()
    {
        QTest::addColumn<int>("device");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("deviceRead");
        QTest::addColumn<QString>("message");
        // The window's check: the device is read, nothing is saved.
        QTest::newRow("static address") << 0 << QByteArray(R"({"DHCP": false, "IPAddr": "300.1.1.1"})") << 3 << true
                                        << "Invalid Value: The value of \"IP Address\" cannot be sent to the device.\n"
                                           "It must be a dotted address such as 192.168.1.20.";
        QTest::newRow("TCP port") << 0 << QByteArray(R"({"IPPort": 70000})") << 3 << true
                                  << "The value of \"TCP Port to accept connections\" cannot be sent";
        QTest::newRow("baud rate") << 0 << QByteArray(R"({"BaudRate": 1234})") << 3 << true
                                   << "The value of \"Baud rate\" cannot be sent";
        QTest::newRow("handshaking") << 1 << QByteArray(R"({"Handshaking": 3})") << 3 << true
                                     << "The value of \"Handshaking\" cannot be sent";
        QTest::newRow("UDP port") << 1 << QByteArray(R"({"UDPPort": -1})") << 3 << true
                                  << "The value of \"Port to listen for UDP packets\" cannot be sent";
        const auto talix = [](void (*edit)(brevion::SettingsFileValues&)) {
            brevion::SettingsFileValues v;
            v.IPPort = "10001", v.BaudRate = 4, v.Handshaking = 0, v.UDPPort = "10002";
            edit(v);
            return brevion::EncodeSettingsFile(v);
        };
        QTest::newRow("settings file, rule port")
            << 0 << talix([](auto& v) { v.Rules.OutRules[1] = {"10.0.0.9", 70000, 3, 0}; }) << 3 << true
            << "\"Outgoing Connections, rule 1\" cannot be sent";
        QTest::newRow("settings file, UDP port") << 0 << talix([](auto& v) { v.UDPPort = "100000"; }) << 3 << true
                                                 << "\"Port to listen for UDP packets\" cannot be sent";
        QTest::newRow("rule inactivity") << 0 << QByteArray(R"({"OutRules": [{"IPAddr": "10.0.0.1", "Port": 1, "IdleSecs": 36000}]})")
                                         << 3 << true << "\"Outgoing Connections, rule 1\" cannot be sent";
        QTest::newRow("password with a euro") << 0 << QByteArray(R"({"Password": "pw\u20ac"})") << 3 << true
                                              << "\"Password\" cannot be sent";
        // The file itself: the device hears nothing.
        QTest::newRow("text for a number") << 0 << QByteArray(R"({"IPPort": "10001"})") << 3 << false
                                           << "\"IPPort\" must be a whole number";
        QTest::newRow("unknown key") << 0 << QByteArray(R"({"IPaddr": "10.0.0.1"})") << 3 << false
                                     << "unknown key \"IPaddr\"";
        QTest::newRow("long name") << 0 << QByteArray(R"({"NetName": "seventeen chars!!"})") << 3 << false
                                   << "\"NetName\" is longer than 16 characters";
        QTest::newRow("rule address") << 0 << QByteArray(R"({"OutRules": [{"IPAddr": "10.0.0"}]})") << 3 << false
                                      << "\"OutRules[0].IPAddr\" must be a dotted address or empty";
        QTest::newRow("rule port") << 0 << QByteArray(R"({"OutRules": [{"Port": 65536}]})") << 3 << false
                                   << "\"OutRules[0].Port\" must be from 0 to 65535";
        QTest::newRow("13 rules") << 0 << QByteArray("{\"OutRules\": [{},{},{},{},{},{},{},{},{},{},{},{},{}]}") << 3
                                  << false << "at most 12 rules";
        QTest::newRow("broken JSON") << 0 << QByteArray(R"({"IPPort": )") << 3 << false
                                     << "not valid JSON: parse error at line 1, column 12";
        QTest::newRow("UTF-16") << 0 << QByteArray("\xFF\xFE{\0}\0", 6) << 3 << false << "not UTF-8 text";
        QTest::newRow("array") << 0 << QByteArray(R"([{"NetName": "A"}])") << 3 << false << "expected a JSON object";
        QTest::newRow("too large") << 0 << QByteArray((1 << 20) + 1, ' ') << 3 << false << "larger than 1 MiB";
        QTest::newRow("FIFO") << 0 << QByteArray("<fifo>") << 3 << false << "bad.json cannot be read: it is not a "
                                                                             "regular file.";
        QTest::newRow("short settings file") << 0 << QByteArray("#TRUE#\r\n\"1.2.3.4\"\r\n") << 3 << false << "line";
        QTest::newRow("missing file") << 0 << QByteArray() << 3 << false << "No such file";
    }
    void writeRefusesBadValues()
    {
        QFETCH(int, device);
        QFETCH(QByteArray, file);
        QFETCH(int, code);
        QFETCH(bool, deviceRead);
        QFETCH(QString, message);
        const DeviceState before = fleet->device(device);
        const QString name = file.isEmpty() ? "absent.json" : file.startsWith('#') ? "bad.TALIX" : "bad.json";
        const QString path = dir.filePath(name);
        QFile::remove(path);
        if (file == "<fifo>")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (!file.isEmpty())
            writeFile(name, file);
        ::alarm(60); // a read that waits for a writer ends the run instead of hanging it
        const Result r = run({"write", ip(device), path.toStdString(), "--reboot"});
        ::alarm(0);
        QCOMPARE(r.code, code);
        QVERIFY2(QString::fromStdString(r.err).contains(message), r.err.c_str());
        QCOMPARE(received(device), deviceRead ? std::vector<QByteArray>{kRead} : std::vector<QByteArray>{});
        QCOMPARE(fleet->device(device), before);
    }

    // A value the device's layout does not carry is not judged: it is never sent. With DHCP the
    // static addresses are not judged either, as in the window.
    void writeSkipsChecksThatDoNotApply()
    {
        // Found to be JSON past a byte-order mark.
        const Result basic = run({"write", ip(2), writeFile("basic", "\xEF\xBB\xBF" R"({"UDPPort": -1, "NetName": "B"})")
                                                      .toStdString()});
        QCOMPARE(basic.code, 0);
        QCOMPARE(fleet->device(2).name, "B");

        const Result dhcp = run({"write", ip(0), writeFile("dhcp.json", R"({"DHCP": true, "Gateway": "none"})")
                                                     .toStdString()});
        QCOMPARE(dhcp.code, 0);
        QVERIFY(fleet->device(0).dhcp);
        QCOMPARE(fleet->device(0).gateway, 0u);
    }

    void rebootSendsTheRestartCommand()
    {
        const Result r = run({"--json", "reboot", ip(1)});
        QCOMPARE(r.code, 0);
        JCOMPARE(json::parse(r.out), (json{{"ip", ip(1)}, {"rebooting", true}}));
        QCOMPARE(received(1), std::vector<QByteArray>{kReboot});
        QCOMPARE(inbound(), 1);

        Faults f = fleet->faults(2);
        f.nackNext = 1;
        fleet->setFaults(2, f);
        const Result n = run({"reboot", ip(2)});
        QCOMPARE(n.code, 1);
        QVERIFY(QString::fromStdString(n.err).startsWith(
            "Communications Error: The device reported an error receiving the last command.\n"));
    }

    void setMacProgramsAndRestarts()
    {
        DeviceState fresh = makeDevice(5, Preset::Login);
        fresh.mac = placeholderMac(5);
        const int n = fleet->addDevice(fresh);
        const Result r = run({"--json", "set-mac", ip(5), "5a3abc"});
        QCOMPARE(r.code, 0);
        JCOMPARE(json::parse(r.out), (json{{"ip", ip(5)}, {"mac", "00:50:C2-5A:3A:BC"}, {"restarting", true}}));
        QCOMPARE(received(n), (std::vector<QByteArray>{QByteArray("\x58\x4D\x00\x50\xC2\x5A\x3A\xBC\xFC\xF9", 10),
                                                        kRestart}));
        QCOMPARE(fleet->device(n).mac, (Mac{0x00, 0x50, 0xC2, 0x5A, 0x3A, 0xBC}));
    }

    void setMacRefusals_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("five digits") << "12345" << 2 << "MAC Address must be 12 hexadecimal digits long.";
        QTest::newRow("below") << "5A2FFF" << 2 << "Invalid MAC Address.  It must be in the range 5A3000 - 5A3FFF.";
        QTest::newRow("above") << "5a4000" << 2 << "Invalid MAC Address.  It must be in the range 5A3000 - 5A3FFF.";
        QTest::newRow("not hex") << "5A3G00" << 2 << "Invalid MAC Address.  It must be in the range 5A3000 - 5A3FFF.";
        QTest::newRow("rejected") << "5A3000" << 1 << "The device reported an error receiving the last command.";
    }
    void setMacRefusals()
    {
        QFETCH(QString, suffix);
        QFETCH(int, code);
        QFETCH(QString, message);
        Faults f = fleet->faults(0);
        f.nackNext = 1;
        fleet->setFaults(0, f);
        const Mac before = fleet->device(0).mac;
        const Result r = run({"set-mac", ip(0), suffix.toStdString()});
        QCOMPARE(r.code, code);
        QVERIFY2(QString::fromStdString(r.err).contains(message), r.err.c_str());
        QCOMPARE(received(0).size(), std::size_t(code == 1 ? 1 : 0)); // no restart after a refusal
        QCOMPARE(fleet->device(0).mac, before);
    }

    void usageErrorsSendNothing_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no command") << QStringList{};
        QTest::newRow("unknown command") << QStringList{"flash", "127.0.0.2"};
        QTest::newRow("read without address") << QStringList{"read"};
        QTest::newRow("octal-looking part") << QStringList{"write", "127.0.0.010", "f.json"};
        QTest::newRow("short form") << QStringList{"read", "127.1"};
        QTest::newRow("trailing dot") << QStringList{"reboot", "127.0.0.2."};
        QTest::newRow("device port 0") << QStringList{"--port", "0", "reboot", "127.0.0.2"};
        QTest::newRow("port too big") << QStringList{"--local-port", "70000", "reboot", "127.0.0.2"};
        QTest::newRow("bad broadcast") << QStringList{"--broadcast", "everyone", "discover"};
        QTest::newRow("write without file") << QStringList{"write", "127.0.0.2"};
        QTest::newRow("save to no file") << QStringList{"read", "127.0.0.2", "--save", ""};
        QTest::newRow("updates without device") << QStringList{"updates", "/tmp"};
        QTest::newRow("reboot twice") << QStringList{"reboot", "127.0.0.2", "127.0.0.3"};
    }
    void usageErrorsSendNothing()
    {
        QFETCH(QStringList, args);
        std::vector<std::string> list;
        for (const QString& a : args)
            list.push_back(a.toStdString());
        const Result r = run(list);
        QCOMPARE(r.code, 2);
        QVERIFY(!r.err.empty());
        QCOMPARE(inbound(), 0);
    }

    void helpExplainsEveryCommand()
    {
        std::ostringstream out, err;
        QCOMPARE(talixctl::RunTalixctl({"--help"}, out, err), 0);
        const QString help = QString::fromStdString(out.str());
        for (const char* command : {"discover", "read", "write", "reboot", "set-mac", "updates", "update", "inventory",
                                    "backup", "diff", "apply", "update-all"}) {
            QVERIFY2(help.contains(QStringLiteral("\n  talixctl ") + command) ||
                         help.contains(QStringLiteral("talixctl --json ") + command),
                     command);
            std::ostringstream sub, subErr;
            QCOMPARE(talixctl::RunTalixctl({command, "--help"}, sub, subErr), 0);
            QVERIFY2(QString::fromStdString(sub.str()).contains("Example"), command);
        }
        std::ostringstream version, versionErr;
        QCOMPARE(talixctl::RunTalixctl({"--version"}, version, versionErr), 0);
        QVERIFY(version.str().starts_with("talixctl "));
    }

    void localPortInUseIsNamed()
    {
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, kLocalPort));
        const Result r = run({"read", ip(0)});
        QCOMPARE(r.code, 1);
        QVERIFY2(QString::fromStdString(r.err).contains("local UDP port 24601 is in use"), r.err.c_str());
        const Result d = run({"discover"});
        QCOMPARE(d.code, 1);
        QVERIFY2(QString::fromStdString(d.err).contains("UDP port 24601 is in use"), d.err.c_str());
        QCOMPARE(inbound(), 0);
    }

    void updatesListsWhatFits()
    {
        QTemporaryDir folder;
        auto put = [&](const QString& name, const QByteArray& bytes) {
            QFile f(folder.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        };
        // Which files fit is the update core's; here the forms of the listing.
        put("FIRM1011.bin", makeUpdateFile(Region::Firmware, {1, 0, 11}, 256));
        put("firm1017.BIN", makeUpdateFile(Region::Firmware, {1, 0, 17}, 256));
        put("newboot.bin", makeUpdateFile(Region::Bootloader, {1, 0, 8}, 256));
        put("junk.bin", QByteArray("\x65 not an update file"));

        const Result r = run({"--json", "updates", folder.path().toStdString(), "--device", ip(0)});
        QCOMPARE(r.code, 0);
        QCOMPARE(received(0), std::vector<QByteArray>{kRead});
        const json j = json::parse(r.out);
        JCOMPARE(j["firmware"].size(), std::size_t(2));
        JCOMPARE(j["firmware"][0]["line"], "Ver 1.0.17 (firm1017.BIN)");
        JCOMPARE(j["firmware"][1]["file"], "FIRM1011.bin");
        JCOMPARE(j["bootloader"], (json::array({{{"file", "newboot.bin"}, {"version", "1.0.8"},
                                                 {"line", "Ver 1.0.8 (newboot.bin)"}}})));

        const Result t = run({"updates", folder.path().toStdString(), "--device", ip(0)});
        QCOMPARE(t.out, "Firmware:\n  Ver 1.0.17 (firm1017.BIN)\n  Ver 1.0.11 (FIRM1011.bin)\n"
                        "Bootloader:\n  Ver 1.0.8 (newboot.bin)\n");
    }

    void updateProgramsAndRestarts()
    {
        const QByteArray bytes = makeUpdateFile(Region::Firmware, {1, 0, 18}, 300);
        const QString path = writeFile("FIRM1018.bin", bytes);
        const Result r = run({"--json", "update", ip(0), path.toStdString()});
        QCOMPARE(r.code, 0);
        JCOMPARE(json::parse(r.out)["versionConfirmed"], true);
        QCOMPARE(fleet->device(0).firm, (Version3{1, 0, 18}));
        QCOMPARE(fleet->device(0).flash.mid(0x4000, 300), updateImage(UpdateFileRecipe{.version = {1, 0, 18}, .size = 300}));
        // Read first (does the file fit?), then erase; restart, then read until it answers.
        const std::vector<QByteArray> wire = received(0);
        QCOMPARE((std::vector<QByteArray>{wire[0], wire[1], wire[wire.size() - 2], wire.back()}),
                 (std::vector<QByteArray>{kRead, kErase, kRestart, kRead}));
    }

    void updateRefusals_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("boot");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("deviceRead");
        QByteArray truncated = makeUpdateFile(Region::Firmware, {1, 0, 18}, 300);
        truncated.chop(5);
        UpdateFileRecipe otherHardware;
        otherHardware.hwMin = otherHardware.hwMax = 0x0300;
        QTest::newRow("damaged file") << truncated << "FIRM.bin" << false << 3 << false;
        QTest::newRow("bootloader without --boot")
            << makeUpdateFile(Region::Bootloader, {1, 0, 9}) << "BOOT109.bin" << false << 2 << false;
        QTest::newRow("--boot for firmware")
            << makeUpdateFile(Region::Firmware, {1, 0, 18}) << "FIRM.bin" << true << 2 << false;
        QTest::newRow("other hardware") << makeUpdateFile(otherHardware) << "FIRM.bin" << false << 3 << true;
    }
    void updateRefusals()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, name);
        QFETCH(bool, boot);
        QFETCH(int, code);
        QFETCH(bool, deviceRead);
        std::vector<std::string> args{"update", ip(0), writeFile(name, file).toStdString()};
        if (boot)
            args.push_back("--boot");
        const Result r = run(args);
        QCOMPARE(r.code, code);
        QVERIFY(!r.err.empty());
        QCOMPARE(received(0), deviceRead ? std::vector<QByteArray>{kRead} : std::vector<QByteArray>{});
        QCOMPARE(fleet->device(0).firm, (Version3{1, 0, 17}));
    }

    // The device takes every block but does not come back, or comes back on no firmware (the image
    // lacks its version tag).
    void updateNotConfirmed_data()
    {
        QTest::addColumn<bool>("tagged");
        QTest::addColumn<QString>("told");
        QTest::newRow("never back") << true << "Timed out waiting for the device to reboot.";
        QTest::newRow("not taken") << false << "After the restart the device reports no firmware (Erased), not version "
                                               "1.0.9 of the update file.";
    }
    void updateNotConfirmed()
    {
        QFETCH(bool, tagged);
        QFETCH(QString, told);
        Faults f = fleet->faults(1);
        f.restartSilentMs = tagged ? 60000 : 50;
        fleet->setFaults(1, f);
        talixctl::RunOptions fast;
        fast.speedup = 20;
        const QByteArray file = makeUpdateFile({.version = {1, 0, 9}, .size = 128, .tagged = tagged});
        const Result r = run({"--json", "update", ip(1), writeFile("FIRM.bin", file).toStdString()}, fast);
        QCOMPARE(r.code, 4);
        QVERIFY2(QString::fromStdString(r.err).contains(told), r.err.c_str());
        JCOMPARE(json::parse(r.out)["versionConfirmed"], false);
    }

    // Interrupts once the first block reached the device: the first only warns, a second stops.
    void updateInterrupted_data()
    {
        QTest::addColumn<QList<int>>("sent");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("told");
        QTest::newRow("SIGINT once") << QList<int>{SIGINT} << 0
                                     << "in progress: stopping now leaves the device without firmware";
        QTest::newRow("SIGTERM, then SIGINT") << QList<int>{SIGTERM, SIGINT} << 1
                                              << "To recover, run the same update again (talixctl update";
    }
    void updateInterrupted()
    {
        QFETCH(QList<int>, sent);
        QFETCH(int, code);
        QFETCH(QString, told);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (std::ranges::any_of(received(0), [](const QByteArray& d) { return d.startsWith("XP\xC3"); })) {
                poll.stop();
                std::ranges::for_each(sent, ::raise);
            }
        });
        poll.start(5);
        const QString path = writeFile("FIRM.bin", makeUpdateFile(Region::Firmware, {1, 0, 18}, 65536));
        const Result r = run({"update", ip(0), path.toStdString()});
        QCOMPARE(r.code, code);
        QVERIFY2(QString::fromStdString(r.err).contains(told), r.err.c_str());
        QCOMPARE(fleet->device(0).firm, (code == 0 ? Version3{1, 0, 18} : Version3{0, 0, 0}));
        QCOMPARE(received(0).back() == kRead, code == 0); // once stopped, nothing more is sent
    }
};

QTEST_GUILESS_MAIN(TestTalixctl)
#include "test_talixctl.moc"
