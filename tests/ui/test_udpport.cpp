// The socket control and the timer control that the exchanges run on. Whole datagrams with their
// sender, and a held port told apart (here or elsewhere): every conversation of tests/engine and
// the status texts of tests/discovery.

#include "ui/udpport.h"

#include "ui/datagramreader.h"
#include "ui/timer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace brevion;

class TestUdpPort : public QObject {
    Q_OBJECT
private slots:
    // While handlers are busy the queue stops at its bound and each datagram keeps only the
    // bytes its owner reads; later datagrams are dropped and counted.
    void floodIsCutAndBounded()
    {
        constexpr int kLimit = 33;
        UdpPort receiver, sender;
        receiver.SetDatagramLimit(kLimit);
        QVERIFY(receiver.Bind(0));
        sender.SetRemote(QStringLiteral("127.0.0.1"), receiver.LocalPort());
        const QByteArray large(1400, 'K');
        for (int sent = 0; receiver.DroppedDatagrams() == 0 && sent < 200000; ++sent)
            QVERIFY(sender.Send(large));
        QVERIFY(receiver.DroppedDatagrams() > 0);
        const qsizetype queued = receiver.QueuedBytes();
        QVERIFY(queued <= DatagramReader::kQueueLimitBytes);
        qsizetype delivered = 0;
        connect(&receiver, &UdpPort::DataArrival, this, [&](const QByteArray& datagram) {
            QCOMPARE(datagram, large.left(kLimit));
            delivered += datagram.size() + DatagramReader::kEntryCost;
        });
        QTRY_VERIFY_WITH_TIMEOUT(delivered >= queued, 10000);
    }

    void sendFailuresAreReported()
    {
        UdpPort p;
        for (const QString& host : {"bridge.local", "", "127.0.0.010", "::1"}) {
            p.SetRemote(host, 9);
            QVERIFY2(!p.Send("XQ") && p.LastError() == PortError::Other, qPrintable(host));
        }
        p.SetRemote(QStringLiteral("127.0.0.1"), 0);
        QVERIFY(!p.Send("XQ"));
    }

    // Setting the interval again starts a fresh countdown, as a command re-sent while one is
    // pending relies on.
    void timerCountdown()
    {
        Timer timer;
        QSignalSpy spy(&timer, &Timer::Tick);
        timer.setInterval(300);
        timer.setEnabled(true);
        QElapsedTimer clock;
        clock.start();
        QTest::qWaitFor([&] { return clock.elapsed() >= 200; });
        timer.setInterval(300);
        const qint64 restartedAt = clock.elapsed();
        QVERIFY(spy.wait(2000));
        QVERIFY2(clock.elapsed() - restartedAt >= 290, qPrintable(QString::number(clock.elapsed() - restartedAt)));
    }
};

QTEST_MAIN(TestUdpPort)
#include "test_udpport.moc"
