// talixctl's fleet commands against simulated bridges on loopback: results per bridge, exit
// status, and what reached each bridge.
#include "fleetplan.h"
#include "talixctl.h"

#include "fleet.h" // the simulator's
#include "updateimage.h"

#include <nlohmann/json.hpp>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sstream>

using namespace talixsim;
using json = nlohmann::ordered_json;

namespace {

constexpr quint16 kLocalPort = 24611;

struct Result {
    int code = -1;
    json out; // parsed when --json
    std::string text;
    std::string err;
};

// JSON values compared as their text, which also reads well when they differ.
#define JCOMPARE(actual, expected) \
    QCOMPARE(QString::fromStdString(json(actual).dump()), QString::fromStdString(json(expected).dump()))
#define JDUMP(actual, text) QCOMPARE(QString::fromStdString((actual).dump()), QString(text))

std::string ip(int n) { return ipToText(loopbackAddress(n)).toStdString(); }

} // namespace

class TestFleet : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Fleet> fleet;
    QTemporaryDir dir;

    // Bridges 0 Login, 1 Rules, 2 Basic, 3 Login; 4 shares 3's address.
    Result run(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--port", std::to_string(fleet->port()), "--local-port",
                                   std::to_string(kLocalPort), "--broadcast", "127.255.255.255"});
        std::ostringstream out, err;
        talixctl::RunOptions options;
        options.speedup = 20;
        Result r;
        r.code = talixctl::RunTalixctl(args, out, err, options);
        r.text = out.str();
        r.err = err.str();
        if (std::find(args.begin(), args.end(), "--json") != args.end() && !r.text.empty())
            r.out = json::parse(r.text);
        return r;
    }
    // Requests of one kind ("XS", "XP\xE7" the erase, ...) that reached bridge n.
    int heard(int n, const QByteArray& prefix) const
    {
        int count = 0;
        for (const TrafficEntry& e : fleet->traffic())
            count += e.direction == TrafficEntry::Direction::In && e.device == n && e.bytes.startsWith(prefix);
        return count;
    }
    int heardAll(const QByteArray& prefix) const
    {
        int count = 0;
        for (int n = 0; n < fleet->deviceCount(); ++n)
            count += heard(n, prefix);
        return count;
    }
    std::string file(const QString& name, const QByteArray& bytes)
    {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(name));
        return f.fileName().toStdString();
    }
    void fault(int n, const std::function<void(Faults&)>& change)
    {
        Faults f = fleet->faults(n);
        change(f);
        fleet->setFaults(n, f);
    }

private slots:
    void init()
    {
        fleet = std::make_unique<Fleet>(FleetOptions{.port = 0});
        for (Preset p : {Preset::Login, Preset::Rules, Preset::Basic, Preset::Login})
            fleet->addDevice(makeDevice(fleet->deviceCount(), p));
        DeviceState twin = makeDevice(4, Preset::Basic);
        twin.address = twin.ip = loopbackAddress(3);
        fleet->addDevice(twin);
        Faults quick;
        quick.eraseMs = 20;
        quick.restartSilentMs = 50;
        fleet->setAllFaults(quick);
        QVERIFY(fleet->start());
    }
    void cleanup() { fleet.reset(); }

    void macKeys_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("key");
        QTest::newRow("discovery text") << "00:50:C2-5A:30:0A" << "0050C25A300A";
        QTest::newRow("colons, lower case") << "00:50:c2:5a:30:0a" << "0050C25A300A";
        QTest::newRow("dashes, blanks around") << " 00-50-C2-5A-30-0A " << "0050C25A300A";
        QTest::newRow("bare digits") << "0050c25a300a" << "0050C25A300A";
        QTest::newRow("eleven digits") << "0050C25A300" << "";
        QTest::newRow("five pairs") << "00:50:C2:5A:30" << "";
        QTest::newRow("not hex") << "00:50:C2-5A:30:0G" << "";
        QTest::newRow("mixed grouping") << "0050:C2-5A:30:0A" << "";
        QTest::newRow("trailing colon") << "0050C25A300A:" << "";
    }
    void macKeys()
    {
        QFETCH(QString, text);
        QFETCH(QString, key);
        QCOMPARE(talixctl::MacKey(text).value_or(QString()), key);
        if (!key.isEmpty())
            QCOMPARE(talixctl::MacDisplay(key), "00:50:C2-5A:30:0A");
    }

    // A bridge that refuses to be read and two that share an address are listed with their errors;
    // the others are listed and saved; the shared ones never hear a request of their own.
    void inventoryAndBackupListEveryBridge()
    {
        DeviceState named = fleet->device(0);
        named.name = "Pump, \"A\"";
        fleet->setDevice(0, named);
        fault(2, [](Faults& f) { f.answerN = true; });

        const Result inv = run({"--json", "inventory"});
        QCOMPARE(inv.code, 1);
        QCOMPARE(inv.out.size(), std::size_t(5));
        JCOMPARE(inv.out[0], json({{"name", "Pump, \"A\""}, {"mac", "00:50:C2-5A:30:00"}, {"ip", ip(0)},
                                          {"duplicate", false}, {"layout", "Login"}, {"HdweVer", "1.2"},
                                          {"BootVer", "1.0.7"}, {"FirmVer", "1.0.17"}, {"error", nullptr}}));
        JCOMPARE(inv.out[2]["error"], "The device reported an error receiving the last command.");
        QVERIFY(inv.out[2]["layout"].is_null());
        for (int i : {3, 4}) {
            JCOMPARE(inv.out[i]["duplicate"], true);
            JCOMPARE(inv.out[i]["error"], "shares its address with another bridge");
        }
        const Result csv = run({"inventory", "--csv"});
        QVERIFY(csv.text.starts_with("name,mac,ip,duplicate,layout,HdweVer,BootVer,FirmVer,error\r\n"
                                     "\"Pump, \"\"A\"\"\",00:50:C2-5A:30:00,"));

        const QString folder = dir.filePath("backup");
        const Result backup = run({"--json", "backup", folder.toStdString()});
        QCOMPARE(backup.code, 1);
        QFile indexFile(folder + "/index.json");
        QVERIFY(indexFile.open(QIODevice::ReadOnly));
        const json index = json::parse(indexFile.readAll().toStdString());
        JCOMPARE(index, backup.out);
        JCOMPARE(index[1]["file"], "0050C25A3001.TALIX");
        for (int i : {2, 3, 4})
            QVERIFY(index[i]["file"].is_null());
        QCOMPARE(int(QDir(folder).entryList(QDir::Files).size()), 3); // two bridges and the index
        QCOMPARE(int(QFile::permissions(folder + "/0050C25A3000.TALIX")),
                 int(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser));
        QCOMPARE(heard(3, "XQ") + heard(4, "XQ"), 0);
    }

    // Applying the same plan twice changes the bridges once; --check and the second run send no save.
    void applyIsIdempotent()
    {
        const std::string plan = file("plan.json", R"({"defaults": {"BaudRate": 19200},
            "devices": {"00:50:C2-5A:30:00": {"NetName": "Pump house"}, "0050c25a3001": {"IPPort": 4001},
                        "00:50:c2:5a:30:02": {}}})");
        const Result check = run({"--json", "apply", plan, "--check"});
        QCOMPARE(check.code, 0);
        JDUMP(check.out["summary"], R"({"changed":3,"unchanged":0,"failed":0})");
        JDUMP(check.out["devices"][0]["changes"], R"({"NetName":["TALIX-1","Pump house"],"BaudRate":[9600,19200]})");
        QCOMPARE(heardAll("XS"), 0);

        const Result first = run({"--json", "apply", plan, "--reboot"});
        QCOMPARE(first.code, 0);
        JCOMPARE(first.out["devices"], check.out["devices"]);
        QCOMPARE(fleet->device(0).name, "Pump house");
        QCOMPARE(fleet->device(1).tcpPort, quint16(4001));
        QCOMPARE(fleet->device(2).baud, 19200u);
        for (int n : {0, 1, 2}) {
            QCOMPARE(heard(n, "XS"), 1);
            QCOMPARE(heard(n, "XB"), 1);
        }
        fleet->clearTraffic();
        const Result again = run({"--json", "apply", plan});
        QCOMPARE(again.code, 0);
        JDUMP(again.out["summary"], R"({"changed":0,"unchanged":3,"failed":0})");
        QCOMPARE(heardAll("XS"), 0);

        const std::string edit = file("edit.json", R"({"NetName": "Kiln"})");
        const Result diff = run({"diff", ip(0), edit});
        QCOMPARE(diff.code, 5);
        QCOMPARE(diff.text, "NetName: \"Pump house\" -> \"Kiln\"\n");
        QCOMPARE(run({"diff", ip(1), file("same.json", R"({"IPPort": 4001})")}).code, 0);
        QCOMPARE(heardAll("XS"), 0);
    }

    // A plan that cannot be applied whole is refused before any bridge is saved.
    void applyRefusesBadPlans_data()
    {
        QTest::addColumn<QByteArray>("plan");
        QTest::addColumn<bool>("oddBaud"); // bridge 1 runs a rate the window does not offer
        QTest::addColumn<bool>("nothingSent");
        QTest::newRow("value out of range") << QByteArray(R"({"devices": {"0050C25A3000": {"IPPort": 70000}}})")
                                            << false << true;
        QTest::newRow("unknown key") << QByteArray(R"({"devices": {"0050C25A3000": {"IPaddr": "10.0.0.1"}}})")
                                     << false << true;
        QTest::newRow("not a MAC") << QByteArray(R"({"devices": {"0050C25A300": {}}})") << false << true;
        QTest::newRow("bridge named twice")
            << QByteArray(R"({"devices": {"0050C25A3000": {}, "00:50:c2:5a:30:00": {}}})") << false << true;
        QTest::newRow("unknown top key") << QByteArray(R"({"device": {}})") << false << true;
        QTest::newRow("not JSON") << QByteArray(R"({"devices": )") << false << true;
        QTest::newRow("refused for one bridge's own values")
            << QByteArray(R"({"defaults": {"NetName": "X"}, "devices": {"0050C25A3000": {}, "0050C25A3001": {}}})")
            << true << false;
    }
    void applyRefusesBadPlans()
    {
        QFETCH(QByteArray, plan);
        QFETCH(bool, oddBaud);
        QFETCH(bool, nothingSent);
        if (oddBaud) {
            DeviceState d = fleet->device(1);
            d.baud = 1234;
            fleet->setDevice(1, d);
        }
        const Result r = run({"apply", file("bad.json", plan)});
        QCOMPARE(r.code, 3);
        QVERIFY(!r.err.empty());
        QCOMPARE(heardAll("XS"), 0);
        if (nothingSent)
            QVERIFY(fleet->traffic().empty());
    }

    // A bridge that refuses, two that share an address and one that is not there fail; the rest is done.
    void applyFailsOnlyTheFailingBridges()
    {
        fault(1, [](Faults& f) { f.answerN = true; });
        const Result r = run({"--json", "apply", file("plan.json", R"({"defaults": {"NetName": "Line 2"},
            "devices": {"0050C25A3000": {}, "0050C25A3001": {}, "0050C25A3003": {}, "0050C25A3FFF": {}}})")});
        QCOMPARE(r.code, 1);
        JDUMP(r.out["summary"], R"({"changed":1,"unchanged":0,"failed":3})");
        QStringList results;
        for (const json& d : r.out["devices"])
            results << QString::fromStdString(d["mac"].get<std::string>() + " " + d["result"].get<std::string>() +
                                              " " + (d["error"].is_null() ? "" : d["error"].get<std::string>()));
        QCOMPARE(results, (QStringList{"00:50:C2-5A:30:00 changed ",
                                       "00:50:C2-5A:30:01 failed The device reported an error receiving the last command.",
                                       "00:50:C2-5A:30:03 failed shares its address with another bridge",
                                       "00:50:C2-5A:3F:FF failed not found"}));
        QCOMPARE(fleet->device(0).name, "Line 2");
        QCOMPARE(heard(3, "XQ") + heard(4, "XQ") + heardAll("XS"), 1);
    }

    // Each bridge gets the newest firmware that fits it; bootloader files and misfits take no part.
    void updateAllBringsEveryBridgeUp()
    {
        QDir(dir.path()).mkdir("up");
        UpdateFileRecipe fits{.version = {1, 0, 18}, .size = 1024, .hwMax = 0x0104};
        file("up/FIRM1018.bin", makeUpdateFile(fits));
        UpdateFileRecipe needsBoot = fits;
        needsBoot.version = {1, 0, 20};
        needsBoot.bootMin = 0x010008;
        file("up/FIRM1020.bin", makeUpdateFile(needsBoot));
        file("up/BOOT109.bin", makeUpdateFile(Region::Bootloader, {1, 0, 9}, 256));
        DeviceState other = fleet->device(2);
        other.hw = {1, 5}; // beyond the files' hardware range
        fleet->setDevice(2, other);
        const std::string folder = dir.filePath("up").toStdString();

        const Result check = run({"--json", "update-all", folder, "--check"});
        QCOMPARE(check.code, 1); // the shared address
        JDUMP(check.out["summary"], R"({"updated":2,"unchanged":0,"skipped":1,"failed":2})");
        JCOMPARE(check.out["devices"][1], json({{"mac", "00:50:C2-5A:30:01"}, {"ip", ip(1)}, {"from", "1.0.11"},
                                                       {"to", "1.0.18"}, {"result", "updated"}, {"error", nullptr}}));
        QCOMPARE(heardAll(QByteArray("XP\xE7", 3)), 0);

        const std::vector<std::string> only{"--json", "update-all", folder, "--only", "00:50:C2-5A:30:00,0050c25a3001"};
        const Result update = run(only);
        QCOMPARE(update.code, 0);
        JDUMP(update.out["summary"], R"({"updated":2,"unchanged":0,"skipped":0,"failed":0})");
        for (int n : {0, 1})
            QCOMPARE(fleet->device(n).firm, (Version3{1, 0, 18}));
        QCOMPARE(heard(2, QByteArray("XP\xE7", 3)), 0);
        JDUMP(run(only).out["summary"], R"({"updated":0,"unchanged":2,"skipped":0,"failed":0})");
        QCOMPARE(run({"update-all", folder, "--only", "0050C25A30"}).code, 2);
    }

    // SIGINT: the update under way is finished, no other bridge is started, the summary follows.
    void updateAllInterrupted()
    {
        QDir(dir.path()).mkdir("up");
        file("up/FIRM1018.bin", makeUpdateFile(Region::Firmware, {1, 0, 18}, 4096));
        QTimer watch;
        bool raised = false;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (!raised && heard(0, QByteArray("XP\xC3", 3)) > 0) {
                raised = true;
                std::raise(SIGINT);
            }
        });
        watch.start(5);
        QElapsedTimer took;
        took.start();
        const Result r = run({"--json", "update-all", dir.filePath("up").toStdString(), "--parallel", "1", "--only",
                              "0050C25A3000,0050C25A3001,0050C25A3002"});
        QVERIFY(raised);
        QVERIFY(took.elapsed() < 15000);
        QCOMPARE(r.code, 1);
        JDUMP(r.out["summary"], R"({"updated":1,"unchanged":0,"skipped":0,"failed":2})");
        JCOMPARE(r.out["devices"][2]["error"], "not started: interrupted");
        QCOMPARE(fleet->device(0).firm, (Version3{1, 0, 18}));
        QCOMPARE(heard(1, QByteArray("XP\xE7", 3)) + heard(2, QByteArray("XP\xE7", 3)), 0);
    }
};

QTEST_GUILESS_MAIN(TestFleet)
#include "test_fleet.moc"
