// Another program holds the local UDP port: every talixctl command says so in words, at once,
// fails with its exit code, and nothing reaches the device.
#include "rig.h"
#include "talixctl.h"
#include "sim/updateimage.h"
#include "watchdog.h"

#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <sstream>

using namespace std::chrono_literals;

class TestPortInUse : public QObject {
    Q_OBJECT
private slots:
    void talixctl_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("discover") << QStringList{"discover", "--broadcast", "127.0.0.1"};
        QTest::newRow("read") << QStringList{"read", "DEVICE"};
        QTest::newRow("reboot") << QStringList{"reboot", "DEVICE"};
        QTest::newRow("set-mac") << QStringList{"set-mac", "DEVICE", "5A3ABC"};
        QTest::newRow("update") << QStringList{"update", "DEVICE", "UPDATE"};
    }
    void talixctl()
    {
        QFETCH(QStringList, args);
        support::Rig rig;
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, rig.localPort, QUdpSocket::DontShareAddress));
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("FIRM.bin")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(talixsim::makeUpdateFile({})) > 0);
        file.close();
        std::vector<std::string> argv{"--port", std::to_string(rig.fleet.port()), "--local-port",
                                      std::to_string(rig.localPort)};
        for (const QString& a : args)
            argv.push_back((a == "UPDATE" ? file.fileName() : a == "DEVICE" ? rig.ip() : a).toStdString());
        std::ostringstream out, err;
        support::Watchdog dog(3s, QStringLiteral("talixctl")); // the erase alone would wait 4 s
        QCOMPARE(talixctl::RunTalixctl(argv, out, err), int(talixctl::kDeviceFailed));
        const QString said = QString::fromStdString(err.str());
        QVERIFY2(said.contains("in use by another program") && said.contains(QString::number(rig.localPort)), err.str().c_str());
        QCOMPARE(rig.received(), 0);
    }
};

QTEST_GUILESS_MAIN(TestPortInUse)
#include "test_portinuse.moc"
