// talixctl's single-device commands against simulated devices on loopback: output, exit status
// and the bytes on the wire.
#include "ctlrig.h"

#include "settingsfile.h"

#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <csignal>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kRead("XQ"), kReboot("\x58\x42\xFF\x66", 4), kErase("\x58\x50\xE7\xFE\x71", 5),
    kRestart("\x58\x50\xBD\xFE\x9B", 5);
const QString kRefused = "Communications Error: The device reported an error receiving the last command.\n"
                         "Please try the last operation again.\n";
const char* const kLayouts[] = {"Login", "Rules", "Basic"};

// A command the device does not carry out. sent: datagrams that reach it (-1: not counted);
// told: all of stderr when it ends in a line break, else a part of it.
struct Failure {
    QString args, fault;
    int code, sent;
    QString told;
};
// A file write refuses; read: the device was read (to learn its layout) first.
struct BadFile {
    int device;
    QByteArray bytes;
    bool read;
    QString told;
};

} // namespace

Q_DECLARE_METATYPE(Failure)
Q_DECLARE_METATYPE(BadFile)

class TestTalixctl : public QObject {
    Q_OBJECT
    std::unique_ptr<CtlRig> rig;

private slots:
    // Devices 0, 1, 2: the Login, Rules and Basic layouts.
    void init() { rig = std::make_unique<CtlRig>(std::vector{Preset::Login, Preset::Rules, Preset::Basic}); }
    void cleanup() { rig.reset(); }

    // Each layout's keys; the rules as sentences in the listing.
    void readPerLayout()
    {
        const QStringList keys = QString("layout HdweVer BootVer FirmVer DHCP IPAddr SubnetMask Gateway NetName IPPort "
            "BaudRate Handshaking UDPPort OutCount OutRules UserPrompt PassPrompt Username Password").split(' ');
        for (int n : {0, 1, 2}) {
            rig->change(n, [](DeviceState& d) {
                d.rules[2] = Rule{0x0A000005, 40000, 3, 90};
                d.baud = 1234; // not a listed rate
                d.handshaking = 2;
                d.dhcp = true;
            });
            const json j = rig->run("--json read " + QString::fromStdString(ip(n))).j;
            QStringList names;
            for (const auto& item : j.items())
                names << QString::fromStdString(item.key());
            QCOMPARE(names, keys.mid(0, std::array{19, 15, 12}[n]));
            JCOMPARE((json{j["layout"], j["HdweVer"], j["DHCP"], j["IPAddr"], j["SubnetMask"], j["IPPort"], j["BaudRate"],
                           j["Handshaking"], j.value("UDPPort", 0), j.value("OutCount", 0), j.value("OutRules", json{0, 0, 0})[2]}),
                     (json{kLayouts[n], "1.2", true, ip(n), "255.0.0.0", 10001, nullptr, 2, n < 2 ? 10002 : 0, n < 2 ? 1 : 0,
                           n < 2 ? json{{"IPAddr", "10.0.0.5"}, {"Port", 40000}, {"Flags", 3}, {"IdleSecs", 90}} : json(0)}));
            QCOMPARE(QString::fromStdString(rig->run("read " + QString::fromStdString(ip(n))).out)
                         .contains("Connect to 10.0.0.5, Port 40000, using TCP upon powerup"), n < 2);
        }
        QCOMPARE(rig->received(0), (Wire{kRead, kRead}));
    }

    void failures_data()
    {
        QTest::addColumn<Failure>("row");
        const QString erase = "Communications Error: Timed out waiting for the device to erase.\nReturn to the previous window "
                              "and click \"Read Settings\" to see if it was erased.\n";
        QTest::newRow("read, silent") << Failure{"read", "silent", 1, 1, "Communications Error: Timed out waiting for a "
            "response from the device.\nPlease try the last operation again.\n"};
        QTest::newRow("read, N") << Failure{"read", "N", 1, 1, kRefused};
        QTest::newRow("read, bad checksum") << Failure{"read --save never.TALIX", "checksum", 1, 1, "Error Reading Settings: A "
            "data error was detected reading the device's current settings.\nPlease click \"Read Settings\" to read them again.\n"};
        QTest::newRow("read, cut short") << Failure{"read", "short", 1, 1, "The device did not answer with its settings.\n"};
        QTest::newRow("port held") << Failure{"read", "held", 1, 0, "Communications Error: The command could not be sent: local "
            "UDP port %1 is in use by another program.\nPlease close the program that uses this port and try again.\n"};
        QTest::newRow("reboot, N") << Failure{"reboot", "N", 1, 1, kRefused};
        QTest::newRow("set-mac, N: no restart") << Failure{"set-mac 5a3000", "N", 1, 1, kRefused};
        QTest::newRow("update, erase unconfirmed") << Failure{"update FIRM.bin", "slow erase", 1, 2, erase};
        QTest::newRow("update, never back") << Failure{"update FIRM.bin", "slow restart", 4, -1, "Communications Error: Timed "
            "out waiting for the device to reboot.\nIt may or may not have rebooted.\nAllow several seconds for it to reboot and "
            "try to \"Find\" it again.\n"};
        QTest::newRow("update, not taken") << Failure{"update FIRM.bin", "untagged", 4, -1, "Update Firmware: After the restart "
            "the device reports no firmware (Erased), not version 1.0.9 of the update file.\nThe update did not take effect: run "
            "it again, or use another update file.\n"};
        // Nothing is erased from a file that cannot be programmed whole or does not fit the device.
        QTest::newRow("damaged file") << Failure{"update FIRM.bin", "damaged", 3, 0, "FIRM.bin: Update File Error: 1002 "};
        QTest::newRow("beyond the flash") << Failure{"update FIRM.bin", "beyond", 3, 0, "FIRM.bin: Update File Error: 1002 "};
        QTest::newRow("other hardware") << Failure{"update FIRM.bin", "misfit", 3, 1, "FIRM.bin does not fit the device "
            "(hardware 1.2, bootloader 1.0.7); nothing was sent.\n"};
        QTest::newRow("bootloader without --boot") << Failure{"update BOOT109.bin", "", 2, 0, "BOOT109.bin is a bootloader update "
            "file: add --boot to program the bootloader (this erases the firmware).\n"};
        QTest::newRow("--boot for firmware") << Failure{"update FIRM.bin --boot", "", 2, 0, "FIRM.bin is not a bootloader"};
    }
    void failures()
    {
        QFETCH(Failure, row);
        const DeviceState before = rig->fleet.device(0);
        rig->fault(0, [&](Faults& f) {
            f.silent = row.fault == "silent";
            f.nackNext = row.fault == "N";
            f.corruptChecksum = row.fault == "checksum";
            f.truncateReplies = row.fault == "short" ? 40 : 0;
            f.eraseMs = row.fault == "slow erase" ? 60000 : 20;
            f.restartSilentMs = row.fault == "slow restart" ? 60000 : 50;
        });
        QByteArray image = makeUpdateFile({.region = row.args.contains("BOOT") ? Region::Bootloader : Region::Firmware,
                                           .version = {1, 0, 9}, .size = row.fault == "beyond" ? 0xFC001 : 128,
                                           .hwMin = row.fault == "misfit" ? 0x0300u : 0u, .tagged = row.fault != "untagged"});
        image.chop(row.fault == "damaged" ? 5 : 0);
        QString args = row.args;
        if (args.contains(".bin"))
            args.replace(QRegularExpression("\\S+\\.bin"), QString::fromStdString(rig->file(args.section(' ', 1, 1), image)));
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0));
        const Result r = rig->run(QString("--json %1 %2 %3").arg(args.section(' ', 0, 0), QString::fromStdString(ip(0)),
                                  args.section(' ', 1).replace("never", rig->dir.filePath("never"))),
                                  row.fault == "held" ? std::to_string(holder.localPort()) : "0");
        const QString told = row.told.contains("%1") ? row.told.arg(holder.localPort()) : row.told;
        QCOMPARE(r.code, row.code);
        QVERIFY2(told.endsWith('\n') ? r.err == told.toStdString() : QString::fromStdString(r.err).contains(told), r.err.c_str());
        QCOMPARE(int(rig->received(0).size()), row.sent < 0 ? int(rig->received(0).size()) : row.sent);
        QCOMPARE(rig->fleet.device(0).mac, before.mac);
        QVERIFY(!QFile::exists(rig->dir.filePath("never.TALIX")));
        // Exit 4: programmed and restarted, but the device did not confirm the file's version.
        QCOMPARE(r.out.empty() ? "" : r.out.substr(r.out.find("\"versionConfirmed\"")), row.code == 4 ? "\"versionConfirmed\": false\n}\n" : "");
    }

    // read --save from one device and write to another copies the settings, as the window's
    // Save and Load do.
    void saveThenWriteCopiesSettings()
    {
        rig->change(0, [](DeviceState& d) {
            d.name = "Pump 3";
            d.rules[0] = Rule{0x0A000009, 7000, 5, 0};
            d.rules[11] = Rule{0x0A00000A, 7001, 1, 30};
            d.handshaking = 1;
            d.baud = 115200;
            d.password = "s3cret";
        });
        const int to = rig->fleet.addDevice(makeDevice(3, Preset::Login));
        const QString path = rig->dir.filePath("pump.TALIX");
        QVERIFY(rig->run("read 127.0.0.2 --save " + path).out.ends_with("saved to:\n" + path.toStdString() + "\n"));
        QCOMPARE(rig->run("write 127.0.0.5 " + path).out,
                 "Settings were successfully saved to the device.\nIt must be rebooted for the new settings to take effect.\n");
        const Wire wire = rig->received(to);
        QCOMPARE((Wire{wire.at(0), wire.at(1).left(2), wire.at(1).mid(384)}), (Wire{kRead, "XS", ""}));
        DeviceState copied = rig->fleet.device(to), from = rig->fleet.device(0);
        QCOMPARE(copied.mac, makeDevice(3, Preset::Login).mac);
        copied.mac = from.mac;
        copied.flash = from.flash = {};
        QCOMPARE(copied, from); // the file carries the address too
    }

    // Keys absent from the file keep the device's values; keys its layout does not carry are
    // named on stderr and not sent.
    void writeJsonKeepsAbsentKeys()
    {
        const std::string path = rig->file("edit.json", R"({"NetName": "Kiln", "BaudRate": 19200, "layout": "Login",
            "OutRules": [{}, {"IPAddr": "10.1.2.3", "Port": 502, "Flags": 1}], "Username": "op"})");
        for (int n : {0, 1, 2}) {
            DeviceState expected = rig->fleet.device(n), after;
            const Result r = rig->run({"--json", "write", ip(n), path, n > 0 ? "--reboot" : "--json"});
            JCOMPARE((json{r.code, r.j["saved"], r.j["rebooting"]}), (json{0, true, n > 0}));
            const Wire wire = rig->received(n);
            QCOMPARE((std::vector{int(wire.size()), int(wire[1].size())}), (std::vector{n > 0 ? 3 : 2, std::array{384, 192, 44}[n]}));
            QCOMPARE(wire.back(), n > 0 ? kReboot : wire[1]);
            expected.name = "Kiln";
            expected.baud = 19200;
            expected.rules[1] = n < 2 ? Rule{0x0A010203, 502, 1, 0} : expected.rules[1];
            expected.username = n == 0 ? "op" : expected.username;
            after = rig->fleet.device(n);
            after.flash = expected.flash = {};
            QCOMPARE(after, expected);
            QCOMPARE(QString::fromStdString(r.err), n == 0 ? QString() : QString("\"Username\" is not sent: the device's "
                     "settings (layout %1) do not carry it.\n").arg(kLayouts[n]));
        }
    }

    void writeRefusesBadInput_data()
    {
        QTest::addColumn<BadFile>("row");
        const auto talix = [](void (*edit)(brevion::SettingsFileValues&)) {
            brevion::SettingsFileValues v;
            v.IPPort = "10001", v.BaudRate = 4, v.Handshaking = 0, v.UDPPort = "10002";
            edit(v);
            return brevion::EncodeSettingsFile(v);
        };
        QTest::newRow("static address") << BadFile{0, R"({"DHCP": false, "IPAddr": "300.1.1.1"})", true, "Invalid Value: The "
            "value of \"IP Address\" cannot be sent to the device.\nIt must be a dotted address such as 192.168.1.20.\n"};
        QTest::newRow("baud rate") << BadFile{0, R"({"BaudRate": 1234})", true, "\"Baud rate\" cannot be sent"};
        QTest::newRow("handshaking") << BadFile{1, R"({"Handshaking": 3})", true, "\"Handshaking\" cannot be sent"};
        QTest::newRow("UDP port") << BadFile{1, R"({"UDPPort": -1})", true, "\"Port to listen for UDP packets\" cannot be sent"};
        QTest::newRow("file, rule port") << BadFile{0, talix([](auto& v) { v.Rules.OutRules[1] = {"10.0.0.9", 70000, 3, 0}; }),
                                                    true, "\"Outgoing Connections, rule 1\" cannot be sent"};
        QTest::newRow("rule inactivity") << BadFile{0, R"({"OutRules": [{"IPAddr": "10.0.0.1", "Port": 1, "IdleSecs": 36000}]})",
                                                    true, "\"Outgoing Connections, rule 1\" cannot be sent"};
        QTest::newRow("euro in password") << BadFile{0, R"({"Password": "pw\u20ac"})", true, "\"Password\" cannot be sent"};
        QTest::newRow("long name") << BadFile{0, R"({"NetName": "seventeen chars!!"})", false, "\"NetName\" is longer than 16 characters"};
        QTest::newRow("rule port") << BadFile{0, R"({"OutRules": [{"Port": 65536}]})", false, "\"OutRules[0].Port\" must be from 0 to 65535"};
        QTest::newRow("13 rules") << BadFile{0, "{\"OutRules\": [{},{},{},{},{},{},{},{},{},{},{},{},{}]}", false, "at most 12 rules"};
        QTest::newRow("broken JSON") << BadFile{0, R"({"IPPort": )", false, "bad.json: not valid JSON: parse error at line 1, column 12"};
        QTest::newRow("too large") << BadFile{0, QByteArray((1 << 20) + 1, ' '), false, "larger than 1 MiB"};
        QTest::newRow("FIFO") << BadFile{0, "<fifo>", false, "bad.json cannot be read: it is not a regular file.\n"};
        QTest::newRow("short settings file") << BadFile{0, "#TRUE#\r\n\"1.2.3.4\"\r\n", false, "bad.TALIX, line 3: "};
        QTest::newRow("missing file") << BadFile{0, {}, false, "absent.json cannot be read: No such file"};
    }
    void writeRefusesBadInput()
    {
        QFETCH(BadFile, row);
        const DeviceState before = rig->fleet.device(row.device);
        const QString name = row.bytes.isEmpty() ? "absent.json" : row.bytes.startsWith('#') ? "bad.TALIX" : "bad.json";
        const QString path = rig->dir.filePath(name);
        if (row.bytes == "<fifo>")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (!row.bytes.isEmpty())
            rig->file(name, row.bytes);
        ::alarm(60); // a read that waits for a writer ends the run instead of hanging it
        const Result r = rig->run(QString("write %1 %2 --reboot").arg(QString::fromStdString(ip(row.device)), path));
        ::alarm(0);
        QCOMPARE(r.code, 3);
        QVERIFY2(QString::fromStdString(r.err).contains(row.told), r.err.c_str());
        QCOMPARE(rig->received(row.device), row.read ? Wire{kRead} : Wire{});
        QCOMPARE(rig->fleet.device(row.device), before);
    }

    // A value the device's layout does not carry is never sent, so not judged; with DHCP neither
    // are the static addresses, as in the window. JSON is found past a byte-order mark.
    void writeJudgesOnlyWhatIsSent()
    {
        QCOMPARE(rig->run({"write", ip(2), rig->file("basic", "\xEF\xBB\xBF" R"({"UDPPort": -1, "NetName": "B"})")}).code, 0);
        QCOMPARE(rig->run({"write", ip(0), rig->file("dhcp.json", R"({"DHCP": true, "Gateway": "none"})")}).code, 0);
        QVERIFY(rig->fleet.device(2).name == "B" && rig->fleet.device(0).dhcp);
    }

    void rebootAndSetMac()
    {
        QCOMPARE(rig->run("reboot 127.0.0.3").out,
                 "Device is rebooting.\nPlease allow thirty seconds before trying to find or re-configure it again.\n");
        QCOMPARE(rig->received(1), Wire{kReboot});
        JCOMPARE(rig->run("--json reboot 127.0.0.4").j, (json{{"ip", ip(2)}, {"rebooting", true}}));
        JCOMPARE(rig->run("--json set-mac 127.0.0.2 5a3abc").j, (json{{"ip", ip(0)}, {"mac", "00:50:C2-5A:3A:BC"}, {"restarting", true}}));
        QCOMPARE(rig->received(0), (Wire{QByteArray("\x58\x4D\x00\x50\xC2\x5A\x3A\xBC\xFC\xF9", 10), kRestart}));
        QCOMPARE(rig->fleet.device(0).mac, (Mac{0x00, 0x50, 0xC2, 0x5A, 0x3A, 0xBC}));
        QCOMPARE(rig->run("set-mac 127.0.0.3 5A3FFF").out, "The device's MAC address is now 00:50:C2-5A:3F:FF; it is restarting.\n");
    }

    // Exit 2, nothing sent; told: the start of stderr.
    void usageErrors_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("told");
        for (const char* args : {"", "flash 127.0.0.2", "read", "write 127.0.0.010 f.json", "read 127.1", "reboot 127.0.0.2.",
                                 "--port 0 reboot 127.0.0.2", "--local-port 70000 reboot 127.0.0.2", "--broadcast everyone discover",
                                 "write 127.0.0.2", "updates /tmp", "reboot 127.0.0.2 127.0.0.3"})
            QTest::newRow(args) << args << "";
        QTest::newRow("save to no file") << "read 127.0.0.2 --save =" << "--save needs the name of the settings file to write.";
        QTest::newRow("MAC of five digits") << "set-mac 127.0.0.2 12345" << "MAC Address must be 12 hexadecimal digits long.";
        for (const char* mac : {"5A2FFF", "5a4000", "5A3G00"})
            QTest::newRow(mac) << QString("set-mac 127.0.0.2 ") + mac << "Invalid MAC Address.  It must be in the range 5A3000 - 5A3FFF.";
    }
    void usageErrors()
    {
        QFETCH(QString, args);
        QFETCH(QString, told);
        const Result r = rig->run(args);
        QCOMPARE(r.code, 2);
        QVERIFY2(!r.err.empty() && QString::fromStdString(r.err).startsWith(told), r.err.c_str());
        QCOMPARE(rig->received(-2), Wire{});
    }

    void updatesListsWhatFits()
    {
        QDir(rig->dir.path()).mkdir("up");
        rig->file("up/FIRM1011.bin", makeUpdateFile(Region::Firmware, {1, 0, 11}, 256));
        rig->file("up/firm1017.BIN", makeUpdateFile(Region::Firmware, {1, 0, 17}, 256));
        rig->file("up/newboot.bin", makeUpdateFile(Region::Bootloader, {1, 0, 8}, 256));
        rig->file("up/junk.bin", QByteArray("\x65 not an update file"));
        const QString up = rig->dir.filePath("up");
        JCOMPARE(rig->run("--json updates " + up + " --device 127.0.0.2").j, (json{{"HdweVer", "1.2"}, {"BootVer", "1.0.7"},
            {"FirmVer", "1.0.17"}, {"firmware", {{{"file", "firm1017.BIN"}, {"version", "1.0.17"}, {"line", "Ver 1.0.17 (firm1017.BIN)"}},
                                                 {{"file", "FIRM1011.bin"}, {"version", "1.0.11"}, {"line", "Ver 1.0.11 (FIRM1011.bin)"}}}},
            {"bootloader", {{{"file", "newboot.bin"}, {"version", "1.0.8"}, {"line", "Ver 1.0.8 (newboot.bin)"}}}}}));
        QCOMPARE(rig->run("updates " + up + " --device 127.0.0.2").out,
                 "Firmware:\n  Ver 1.0.17 (firm1017.BIN)\n  Ver 1.0.11 (FIRM1011.bin)\nBootloader:\n  Ver 1.0.8 (newboot.bin)\n");
        QCOMPARE(rig->received(0), (Wire{kRead, kRead}));
    }

    // Signals once the first block reached the device: the first only warns and the update is
    // completed; a second stops it at once.
    void updateInterrupted_data()
    {
        QTest::addColumn<QList<int>>("sent");
        QTest::addColumn<QString>("told");
        QTest::newRow("SIGINT once") << QList<int>{SIGINT} << "An update of 127.0.0.2 is in progress: stopping now "
            "leaves the device without firmware. The update goes on; interrupt again to stop it anyway.\n";
        QTest::newRow("SIGTERM, then SIGINT") << QList<int>{SIGTERM, SIGINT} << " bytes were programmed: the device is erased and "
            "only partly programmed, so it has no working firmware. To recover, run the same update again (talixctl update 127.0.0.2 %1).\n";
    }
    void updateInterrupted()
    {
        QFETCH(QList<int>, sent);
        QFETCH(QString, told);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (poll.isActive() && rig->heard(0, "XP\xC3") > 0) {
                poll.stop();
                std::ranges::for_each(sent, ::raise);
            }
        });
        poll.start(5);
        const std::string path = rig->file("FIRM.bin", makeUpdateFile(Region::Firmware, {1, 0, 18}, 65536));
        const Result r = rig->run({"update", ip(0), path});
        const bool stopped = sent.size() == 2;
        QCOMPARE(r.code, stopped ? 1 : 0);
        QVERIFY2(QString::fromStdString(r.err).endsWith(told.arg(QString::fromStdString(path))), r.err.c_str());
        QCOMPARE(r.out, stopped ? "" : "Update was completed successfully.\n");
        QCOMPARE(rig->fleet.device(0).firm, (stopped ? Version3{0, 0, 0} : Version3{1, 0, 18}));
        QCOMPARE(rig->fleet.device(0).flash.mid(0x4000, 65536) == updateImage({.version = {1, 0, 18}, .size = 65536}), !stopped);
        // Read first (does the file fit?), then erase; restart, then read until it answers.
        const Wire wire = rig->received(0);
        QCOMPARE((Wire{wire[0], wire[1]}), (Wire{kRead, kErase}));
        QCOMPARE((Wire{wire[wire.size() - 2], wire.back()} == Wire{kRestart, kRead}), !stopped); // nothing sent once stopped
    }
};

QTEST_GUILESS_MAIN(TestTalixctl)
#include "test_talixctl.moc"
