// Another program holds the local UDP port: every operation says so in words, at once, instead
// of waiting for a reply that cannot come. Nothing reaches the device.

#include "boxes.h"
#include "rig.h"
#include "watchdog.h"

#include "commandexchange.h"
#include "discoverysearch.h"
#include "discoverytexts.h"
#include "maccommand.h"
#include "settingsrecord.h"
#include "talixctl.h"
#include "updateexchange.h"
#include "updatefile.h"
#include "updateimage.h"

#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <sstream>

using namespace brevion;
using namespace support;
using namespace std::chrono_literals;

namespace {

const QString kInUse = QStringLiteral("in use by another program");

} // namespace

class TestPortInUse : public QObject {
    Q_OBJECT

    std::unique_ptr<Rig> devices;
    quint16 kHeldPort = 0;
    QUdpSocket holder;

    int received() const { return devices->received(); }

private slots:
    void initTestCase()
    {
        devices = std::make_unique<Rig>();
        kHeldPort = devices->localPort;
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, kHeldPort, QUdpSocket::DontShareAddress));
    }

    void search()
    {
        DiscoverySearch search;
        Watchdog dog(3s, QStringLiteral("search"));
        QCOMPARE(search.Run(), DiscoverySearch::Outcome::PortInUse);
        QVERIFY(PortInUseText(kHeldPort).contains(kInUse));
        QVERIFY(PortInUseText(kHeldPort).contains(QString::number(kHeldPort)));
        QCOMPARE(received(), 0);
    }

    void commands_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<int>("op");
        QTest::newRow("read") << ReadCommand() << int(CommandExchange::OpRead);
        QTest::newRow("save") << BuildSaveCommand({}, SettingsLayout::Login) << int(CommandExchange::OpSave);
        QTest::newRow("reboot") << RebootCommand() << int(CommandExchange::OpReboot);
        QTest::newRow("MAC address") << MacCommand(*MacAddressFromEntry(QStringLiteral("5A3ABC")))
                                     << int(CommandExchange::OpMacAddress);
    }

    void commands()
    {
        QFETCH(QByteArray, command);
        QFETCH(int, op);
        Boxes rec;
        CommandExchange exchange;
        exchange.SetDeviceIP(devices->ip());
        exchange.SetMessageSink(rec.sink());
        Watchdog dog(1500ms, QStringLiteral("command")); // well inside the 2 s reply wait
        QVERIFY(!exchange.RunAndWait(command, static_cast<qint16>(op)));
        QCOMPARE(exchange.PendingOp(), qint16(CommandExchange::OpNone));
        QCOMPARE(int(rec.shown.size()), 1);
        QCOMPARE(rec.shown.front().title, QStringLiteral("Communications Error"));
        QVERIFY2(rec.shown.front().text.contains(kInUse), qPrintable(rec.shown.front().text));
        QCOMPARE(received(), 0);
    }

    void update()
    {
        Boxes rec;
        UpdateExchange exchange;
        exchange.SetDeviceIP(devices->ip());
        UpdateExchange::Sinks sinks;
        sinks.message = rec.sink();
        exchange.SetSinks(sinks);
        Watchdog dog(1500ms, QStringLiteral("update")); // the erase alone would wait 4 s
        exchange.EraseFirmware(false);
        QVERIFY(!exchange.ReplyOK);
        QCOMPARE(rec.shown, std::vector<Message>{UpdateTexts::PortInUse(kHeldPort)});
        QVERIFY(UpdateTexts::PortInUse(kHeldPort).text.contains(kInUse));
        QCOMPARE(received(), 0);
    }

    void talixctl_data()
    {
        QTest::addColumn<QStringList>("args");
        const QString ip = talixsim::ipToText(talixsim::loopbackAddress(0));
        QTest::newRow("discover") << QStringList{"discover", "--broadcast", "127.0.0.1"};
        QTest::newRow("read") << QStringList{"read", ip};
        QTest::newRow("reboot") << QStringList{"reboot", ip};
        QTest::newRow("set-mac") << QStringList{"set-mac", ip, "5A3ABC"};
        QTest::newRow("update") << QStringList{"update", ip, "UPDATE"};
    }

    void talixctl()
    {
        QFETCH(QStringList, args);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("FIRM.bin"));
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(talixsim::makeUpdateFile(talixsim::Region::Firmware, {1, 0, 18}, 256));
        }
        std::vector<std::string> argv{"--port", std::to_string(devices->fleet.port()), "--local-port",
                                      std::to_string(kHeldPort)};
        for (const QString& a : args)
            argv.push_back((a == QLatin1String("UPDATE") ? file : a).toStdString());
        std::ostringstream out, err;
        Watchdog dog(3s, QStringLiteral("talixctl"));
        const int status = talixctl::RunTalixctl(argv, out, err);
        QCOMPARE(status, int(talixctl::kDeviceFailed));
        QVERIFY2(QString::fromStdString(err.str()).contains(kInUse), err.str().c_str());
        QCOMPARE(received(), 0);
    }
};

QTEST_GUILESS_MAIN(TestPortInUse)
#include "test_portinuse.moc"
