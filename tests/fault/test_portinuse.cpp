// Another program holds the local UDP port, or the device (an update, a save, a MAC programming
// or an apply of its own): every talixctl command says so in words, at once, fails with its exit
// code, and nothing that changes the device reaches it.
#include "common/bridgelock.h"
#include "rig.h"
#include "talixctl.h"
#include "sim/updateimage.h"
#include "watchdog.h"

#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <algorithm>
#include <optional>
#include <sstream>
#include <unistd.h>

using namespace std::chrono_literals;

class TestPortInUse : public QObject {
    Q_OBJECT
private slots:
    void talixctl_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("bridgeHeld");
        QTest::newRow("discover") << QStringList{"discover", "--broadcast", "127.0.0.1"} << false;
        QTest::newRow("read") << QStringList{"read", "DEVICE"} << false;
        QTest::newRow("reboot") << QStringList{"reboot", "DEVICE"} << false;
        QTest::newRow("set-mac") << QStringList{"set-mac", "DEVICE", "5A3ABC"} << false;
        QTest::newRow("update") << QStringList{"update", "DEVICE", "UPDATE"} << false;
        QTest::newRow("held: set-mac") << QStringList{"set-mac", "DEVICE", "5A3ABC"} << true;
        QTest::newRow("held: apply") << QStringList{"apply", "PLAN", "--broadcast", "127.255.255.255"} << true;
        QTest::newRow("held: update-all") << QStringList{"update-all", "FOLDER", "--broadcast", "127.255.255.255"} << true;
    }
    void talixctl()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, bridgeHeld);
        support::Rig rig;
        QUdpSocket holder;
        QVERIFY(bridgeHeld || holder.bind(QHostAddress::AnyIPv4, rig.localPort, QUdpSocket::DontShareAddress));
        std::optional<brevion::BridgeLock> lock;
        if (bridgeHeld)
            QVERIFY(lock.emplace(rig.ip(), rig.fleet.port()).held());
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("FIRM.bin"))), plan(dir.filePath(QStringLiteral("plan.json")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(talixsim::makeUpdateFile({.version = {1, 0, 18}})) > 0);
        QVERIFY(plan.open(QIODevice::WriteOnly) &&
                plan.write(R"({"defaults": {"NetName": "X"}, "devices": {"0050C25A3000": {}}})") > 0);
        file.close(), plan.close();
        std::vector<std::string> argv{"--port", std::to_string(rig.fleet.port()), "--local-port",
                                      std::to_string(rig.localPort)};
        for (const QString& a : args)
            argv.push_back((a == "UPDATE" ? file.fileName() : a == "DEVICE" ? rig.ip() : a == "PLAN" ? plan.fileName()
                            : a == "FOLDER" ? dir.path() : a).toStdString());
        std::ostringstream out, err;
        support::Watchdog dog(6s, QStringLiteral("talixctl")); // an update would go on far longer
        QCOMPARE(talixctl::RunTalixctl(argv, out, err), int(talixctl::kDeviceFailed));
        const QString said = QString::fromStdString(err.str() + out.str());
        const QString expected = bridgeHeld ? QStringLiteral("in use by another program (process %1)").arg(::getpid())
                                            : QStringLiteral("in use by another program");
        QVERIFY2(said.contains(expected) && (bridgeHeld || said.contains(QString::number(rig.localPort))), qPrintable(said));
        // A fleet command searches and reads first; nothing else.
        const int changing = int(std::ranges::count_if(rig.datagrams(), [](const QByteArray& d) {
            return !d.startsWith("ZEVID") && !d.startsWith("XQ");
        }));
        QCOMPARE(args[0].startsWith("update-all") || args[0] == "apply" ? changing : rig.received(), 0);
    }
};

QTEST_GUILESS_MAIN(TestPortInUse)
#include "test_portinuse.moc"
