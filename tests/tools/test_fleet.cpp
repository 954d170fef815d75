// talixctl's discover and fleet commands against simulated bridges on loopback: results per
// bridge, exit status, and what reached each bridge.
#include "ctlrig.h"

#include "fleetplan.h"

#include <QDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <csignal>

#define JDUMP(actual, text) QCOMPARE(QString::fromStdString((actual).dump()), QString(text))

class TestFleet : public QObject {
    Q_OBJECT
    std::unique_ptr<CtlRig> rig;

    // "MAC result: error" of each bridge of a --json apply or update-all.
    static QStringList results(const Result& r)
    {
        QStringList list;
        for (const json& d : r.j["devices"])
            list << QString::fromStdString(d["mac"].get<std::string>() + " " + d["result"].get<std::string>() +
                                           (d["error"].is_null() ? "" : ": " + d["error"].get<std::string>()));
        return list;
    }

private slots:
    // Bridges 0 Login, 1 Rules, 2 Basic, 3 Login; 4 shares 3's address.
    void init()
    {
        rig = std::make_unique<CtlRig>(std::vector{Preset::Login, Preset::Rules, Preset::Basic, Preset::Login, Preset::Basic});
        rig->change(4, [](DeviceState& d) { d.address = d.ip = loopbackAddress(3); });
    }
    void cleanup() { rig.reset(); }

    void discoverMarksSharedAddresses()
    {
        const json j = rig->run("--json discover").j;
        JCOMPARE(j[0], (json{{"name", "TALIX-1"}, {"mac", "00:50:C2-5A:30:00"}, {"ip", ip(0)}, {"duplicate", false}}));
        JCOMPARE((json{j.size(), j[2]["duplicate"], j[3]["ip"], j[3]["duplicate"], j[4]["ip"], j[4]["duplicate"]}),
                 (json{5, false, ip(3), true, ip(3), true})); // the addresses without their marks
        QCOMPARE(rig->received(-2), (Wire{"ZEVID", "ZEVID"})); // to the broadcast address only
        const QString t = QString::fromStdString(rig->run("discover").out);
        QVERIFY(t.contains("* 127.0.0.5 *") && t.endsWith("\n* Duplicate IP addresses found!  You should unplug one and "
                                                          "connect to the other to change its IP Address.\n5 Bridges found\n"));
        QUdpSocket mute; // hears the search, answers nothing
        QVERIFY(mute.bind(QHostAddress::AnyIPv4, 0));
        QCOMPARE(rig->run("discover", "0", mute.localPort()).out, "No Vant Ethernet to Serial Bridge devices were found.\n");
        QCOMPARE(rig->run("--json discover", "0", mute.localPort()).out, "[]\n");
    }

    void macKeys()
    {
        for (const char* text : {"00:50:C2-5A:30:0A", "00:50:c2:5a:30:0a", " 00-50-C2-5A-30-0A ", "0050c25a300a"})
            QCOMPARE(talixctl::MacKey(text).value_or("?"), "0050C25A300A");
        for (const char* text : {"0050C25A300", "00:50:C2:5A:30", "00:50:C2-5A:30:0G", "0050:C2-5A:30:0A", "0050C25A300A:"})
            QVERIFY2(!talixctl::MacKey(text), text);
        QCOMPARE(talixctl::MacDisplay("0050C25A300A"), "00:50:C2-5A:30:0A");
    }

    // A bridge that refuses to be read and two that share an address are listed with their errors;
    // the others are listed and saved; the shared ones never hear a request of their own.
    void inventoryAndBackupListEveryBridge()
    {
        rig->change(0, [](DeviceState& d) { d.name = "Pump, \"A\""; });
        rig->fault(2, [](Faults& f) { f.answerN = true; });
        const Result inv = rig->run("--json inventory");
        JCOMPARE((json{inv.code, inv.j.size(), inv.j[2]["error"], inv.j[2]["layout"], inv.j[3]["duplicate"], inv.j[4]["error"]}),
                 (json{1, 5, "The device reported an error receiving the last command.", nullptr, true,
                       "shares its address with another bridge"}));
        JCOMPARE(inv.j[0], (json{{"name", "Pump, \"A\""}, {"mac", "00:50:C2-5A:30:00"}, {"ip", ip(0)}, {"duplicate", false},
                                 {"layout", "Login"}, {"HdweVer", "1.2"}, {"BootVer", "1.0.7"}, {"FirmVer", "1.0.17"}, {"error", nullptr}}));
        QVERIFY(rig->run("inventory --csv").out.starts_with(
            "name,mac,ip,duplicate,layout,HdweVer,BootVer,FirmVer,error\r\n\"Pump, \"\"A\"\"\",00:50:C2-5A:30:00,"));
        const QString folder = rig->dir.filePath("backup");
        const Result backup = rig->run("--json backup " + folder);
        QFile index(folder + "/index.json");
        QVERIFY(index.open(QIODevice::ReadOnly));
        JCOMPARE(json::parse(index.readAll().toStdString()), backup.j);
        JCOMPARE((json{backup.code, backup.j[1]["file"], backup.j[2]["file"], backup.j[3]["file"], backup.j[4]["file"]}),
                 (json{1, "0050C25A3001.TALIX", nullptr, nullptr, nullptr}));
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 3); // two bridges and the index
        QCOMPARE(int(QFile::permissions(folder + "/0050C25A3000.TALIX")), 0x6600); // owner only
        QCOMPARE(rig->heard(3, "XQ") + rig->heard(4, "XQ"), 0);
    }

    // Applying a plan twice changes the bridges once; --check and the second run send no save;
    // a bridge that refuses, two that share an address and one that is not there fail alone.
    void applyIsIdempotentAndFailsBridgesAlone()
    {
        const std::string plan = rig->file("plan.json", R"({"defaults": {"BaudRate": 19200},
            "devices": {"00:50:C2-5A:30:00": {"NetName": "Pump house"}, "0050c25a3001": {"IPPort": 4001},
                        "00:50:c2:5a:30:02": {}}})");
        const Result check = rig->run({"--json", "apply", plan, "--check"});
        JDUMP(check.j["summary"], R"({"changed":3,"unchanged":0,"failed":0})");
        JDUMP(check.j["devices"][0]["changes"], R"({"NetName":["TALIX-1","Pump house"],"BaudRate":[9600,19200]})");
        const Result first = rig->run({"--json", "apply", plan, "--reboot"});
        JCOMPARE((json{check.code, first.code, first.j["devices"]}), (json{0, 0, check.j["devices"]}));
        QVERIFY(rig->fleet.device(0).name == "Pump house" && rig->fleet.device(1).tcpPort == 4001 && rig->fleet.device(2).baud == 19200);
        for (int n : {0, 1, 2})
            QCOMPARE(rig->heard(n, "XS") + rig->heard(n, "XB"), 2);
        rig->fleet.clearTraffic();
        JDUMP(rig->run({"--json", "apply", plan}).j["summary"], R"({"changed":0,"unchanged":3,"failed":0})");
        const Result diff = rig->run({"diff", ip(0), rig->file("edit.json", R"({"NetName": "Kiln"})")});
        JCOMPARE((json{diff.code, diff.out}), (json{5, "NetName: \"Pump house\" -> \"Kiln\"\n"}));
        QCOMPARE(rig->run({"diff", ip(1), rig->file("same.json", R"({"IPPort": 4001})")}).code, 0);
        QCOMPARE(rig->heard(-2, "XS"), 0);

        rig->fault(1, [](Faults& f) { f.answerN = true; });
        const Result r = rig->run({"--json", "apply", rig->file("plan.json", R"({"defaults": {"NetName": "Line 2"},
            "devices": {"0050C25A3000": {}, "0050C25A3001": {}, "0050C25A3003": {}, "0050C25A3FFF": {}}})")});
        QCOMPARE(r.code, 1);
        QCOMPARE(results(r), (QStringList{"00:50:C2-5A:30:00 changed",
                                          "00:50:C2-5A:30:01 failed: The device reported an error receiving the last command.",
                                          "00:50:C2-5A:30:03 failed: shares its address with another bridge",
                                          "00:50:C2-5A:3F:FF failed: not found"}));
        QCOMPARE(rig->heard(3, "XQ") + rig->heard(4, "XQ") + rig->heard(-2, "XS"), 1);
    }

    // A plan that cannot be applied whole is refused (exit 3) before any bridge is saved.
    void applyRefusesBadPlans()
    {
        rig->change(1, [](DeviceState& d) { d.baud = 1234; }); // a rate the window does not offer
        for (const char* plan : {R"({"devices": {"0050C25A3000": {"IPPort": 70000}}})", R"({"devices": {"0050C25A300": {}}})",
                                 R"({"devices": {"0050C25A3000": {"IPaddr": "10.0.0.1"}}})", R"({"device": {}})",
                                 R"({"devices": {"0050C25A3000": {}, "00:50:c2:5a:30:00": {}}})", R"({"devices": )",
                                 R"({"defaults": {"NetName": "X"}, "devices": {"0050C25A3000": {}, "0050C25A3001": {}}})"}) {
            rig->fleet.clearTraffic();
            const Result r = rig->run({"apply", rig->file("bad.json", plan)});
            QVERIFY2(r.code == 3 && !r.err.empty(), plan);
            QCOMPARE(int(rig->received(-2).size()), QByteArray(plan).contains("NetName") ? 4 : 0); // search, reads
        }
    }

    // Each bridge gets the newest firmware that fits it; bootloader files and misfits take no part.
    void updateAllBringsEveryBridgeUp()
    {
        QDir(rig->dir.path()).mkdir("up");
        const UpdateFileRecipe fits{.version = {1, 0, 18}, .size = 1024, .hwMax = 0x0104};
        rig->file("up/FIRM1018.bin", makeUpdateFile(fits));
        rig->file("up/FIRM1020.bin", makeUpdateFile({.version = {1, 0, 20}, .size = 1024, .hwMax = 0x0104, .bootMin = 0x010008}));
        rig->file("up/BOOT109.bin", makeUpdateFile(Region::Bootloader, {1, 0, 9}, 256));
        rig->change(2, [](DeviceState& d) { d.hw = {1, 5}; }); // beyond the files' hardware range
        const QString folder = rig->dir.filePath("up");
        const Result check = rig->run("--json update-all " + folder + " --check");
        QCOMPARE(check.code, 1); // the shared address
        JDUMP(check.j["summary"], R"({"updated":2,"unchanged":0,"skipped":1,"failed":2})");
        JCOMPARE(check.j["devices"][1], (json{{"mac", "00:50:C2-5A:30:01"}, {"ip", ip(1)}, {"from", "1.0.11"},
                                              {"to", "1.0.18"}, {"result", "updated"}, {"error", nullptr}}));
        const QString only = "--json update-all " + folder + " --only 00:50:C2-5A:30:00,0050c25a3001";
        const Result update = rig->run(only);
        QCOMPARE(update.code, 0);
        JDUMP(update.j["summary"], R"({"updated":2,"unchanged":0,"skipped":0,"failed":0})");
        QVERIFY(rig->fleet.device(0).firm == fits.version && rig->fleet.device(1).firm == fits.version);
        QCOMPARE(rig->heard(2, "XP\xE7"), 0);
        JDUMP(rig->run(only).j["summary"], R"({"updated":0,"unchanged":2,"skipped":0,"failed":0})");
        QCOMPARE(rig->run("update-all " + folder + " --only 0050C25A30").code, 2);
    }

    // SIGINT: the update under way is finished, no other bridge is started, the summary follows.
    void updateAllInterrupted()
    {
        QDir(rig->dir.path()).mkdir("up");
        rig->file("up/FIRM1018.bin", makeUpdateFile(Region::Firmware, {1, 0, 18}, 4096));
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (watch.isActive() && rig->heard(0, "XP\xC3") > 0) {
                watch.stop();
                std::raise(SIGINT);
            }
        });
        watch.start(5);
        const Result r = rig->run("--json update-all " + rig->dir.filePath("up") +
                                  " --parallel 1 --only 0050C25A3000,0050C25A3001,0050C25A3002");
        QCOMPARE(r.code, 1);
        QCOMPARE(results(r), (QStringList{"00:50:C2-5A:30:00 updated", "00:50:C2-5A:30:01 failed: not started: interrupted",
                                          "00:50:C2-5A:30:02 failed: not started: interrupted"}));
        QCOMPARE(rig->fleet.device(0).firm, (Version3{1, 0, 18}));
        QCOMPARE(rig->heard(1, "XP\xE7") + rig->heard(2, "XP\xE7"), 0);
    }
};

QTEST_GUILESS_MAIN(TestFleet)
#include "test_fleet.moc"
