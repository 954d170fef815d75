#include "timer.h"
#include "udpport.h"
#include "waitloop.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace brevion;

namespace {
constexpr quint16 kPort = 24010;
}

class TestWaitLoop : public QObject {
    Q_OBJECT
private slots:
    void returnsAtOnceWhenAlreadyTrue()
    {
        int checks = 0;
        WaitUntil([&] { return ++checks > 0; });
        QCOMPARE(checks, 1);
    }

    void endsOnTimerTick()
    {
        Timer timer;
        bool ticked = false;
        connect(&timer, &Timer::Tick, this, [&] {
            ticked = true;
            timer.setEnabled(false);
        });
        timer.setInterval(50);
        timer.setEnabled(true);
        WaitUntil([&] { return ticked; });
        QVERIFY(ticked);
        QVERIFY(!timer.Enabled());
    }

    void endsOnDatagram()
    {
        UdpPort receiver;
        QVERIFY(receiver.Bind(kPort));
        QByteArray got;
        connect(&receiver, &UdpPort::DataArrival, this, [&](const QByteArray& d) { got = d; });
        QTimer::singleShot(20, this, [] {
            UdpPort sender;
            sender.SetRemote(QStringLiteral("127.0.0.1"), kPort);
            sender.Send("ping");
        });
        // A guard so a lost datagram fails the test instead of hanging it.
        bool timedOut = false;
        QTimer::singleShot(5000, this, [&] { timedOut = true; });
        WaitUntil([&] { return !got.isEmpty() || timedOut; });
        QCOMPARE(got, QByteArray("ping"));
    }

    // A handler that waits runs its own loop; the outer wait ends only after the inner one, and
    // the outer condition is seen at once when the inner wait returns.
    void nestsInsideHandler()
    {
        QStringList order;
        bool innerDone = false, outerDone = false;
        QTimer::singleShot(10, this, [&] {
            order << "outer handler starts";
            QTimer::singleShot(30, this, [&] {
                order << "inner tick";
                innerDone = true;
                outerDone = true; // set while the inner loop runs
            });
            WaitUntil([&] { return innerDone; });
            order << "outer handler ends";
        });
        WaitUntil([&] { return outerDone; });
        order << "outer wait returns";
        QCOMPARE(order, QStringList({"outer handler starts", "inner tick", "outer handler ends",
                                     "outer wait returns"}));
    }

    void timerSemantics_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("ticks");
        QTest::newRow("enabled with interval") << 20 << true << true;
        QTest::newRow("disabled") << 20 << false << false;
        QTest::newRow("interval 0 never ticks") << 0 << true << false;
    }

    void timerSemantics()
    {
        QFETCH(int, interval);
        QFETCH(bool, enabled);
        QFETCH(bool, ticks);
        Timer timer;
        QSignalSpy spy(&timer, &Timer::Tick);
        timer.setInterval(interval);
        timer.setEnabled(enabled);
        QCOMPARE(timer.Enabled(), enabled);
        QCOMPARE(timer.Interval(), interval);
        QCOMPARE(spy.wait(200), ticks);
    }

    void timerKeepsTickingUntilDisabled()
    {
        Timer timer;
        QSignalSpy spy(&timer, &Timer::Tick);
        timer.setInterval(10);
        timer.setEnabled(true);
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 3, 5000);
        timer.setEnabled(false);
        const int seen = spy.count();
        QVERIFY(!spy.wait(100));
        QCOMPARE(spy.count(), seen);
    }

    // Setting the interval again starts a fresh countdown, as a command re-sent while one is
    // pending relies on.
    void resettingIntervalRestartsCountdown()
    {
        Timer timer;
        timer.setInterval(300);
        timer.setEnabled(true);
        QElapsedTimer clock;
        clock.start();
        QTest::qWait(200);
        timer.setInterval(300);
        const qint64 restartedAt = clock.elapsed();
        QSignalSpy spy(&timer, &Timer::Tick);
        QVERIFY(spy.wait(2000));
        QVERIFY2(clock.elapsed() - restartedAt >= 290,
                 qPrintable(QString::number(clock.elapsed() - restartedAt)));
    }
};

QTEST_MAIN(TestWaitLoop)
#include "test_waitloop.moc"
