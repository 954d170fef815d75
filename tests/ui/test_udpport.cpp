#include "udpport.h"

#include "datagramreader.h"

#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

using namespace brevion;

namespace {
constexpr quint16 kPortA = 24020;
constexpr quint16 kPortB = 24021;
} // namespace

class TestUdpPort : public QObject {
    Q_OBJECT
private slots:
    void deliversWholeDatagramsWithSender()
    {
        // `a` is not bound: its first send binds an ephemeral port, on which it hears replies.
        UdpPort a, b;
        QVERIFY(b.Bind(kPortB));
        QVERIFY(b.IsBound());
        QCOMPARE(b.LocalPort(), kPortB);
        QSignalSpy arrivals(&b, &UdpPort::DataArrival);

        // Text, raw bytes including 00 and FF, and a large one: each arrives whole and unchanged.
        const QList<QByteArray> sent = {QByteArray("XQ"), QByteArray("\x00\xff\x7f\x80", 4),
                                        QByteArray(1400, 'z')};
        a.SetRemote(QStringLiteral("127.0.0.1"), kPortB);
        for (const QByteArray& d : sent)
            QVERIFY2(a.Send(d), qPrintable(a.LastErrorString()));
        QVERIFY(a.IsBound());
        QVERIFY(a.LocalPort() != 0);
        QTRY_COMPARE_WITH_TIMEOUT(arrivals.count(), sent.size(), 5000);
        for (int i = 0; i < sent.size(); ++i) {
            QCOMPARE(arrivals[i][0].toByteArray(), sent[i]);
            QCOMPARE(arrivals[i][1].value<QHostAddress>().toString(), QStringLiteral("127.0.0.1"));
            QCOMPARE(arrivals[i][2].value<quint16>(), a.LocalPort());
        }

        QSignalSpy replies(&a, &UdpPort::DataArrival);
        b.SetRemote(QStringLiteral("127.0.0.1"), a.LocalPort());
        QVERIFY(b.Send("K9ZEV"));
        QVERIFY(replies.wait(5000));
        QCOMPARE(replies[0][0].toByteArray(), QByteArray("K9ZEV"));
    }

    void secondBindOfPortInUseFails()
    {
        UdpPort first, second;
        QVERIFY(first.Bind(kPortA));
        QVERIFY(!second.Bind(kPortA));
        QCOMPARE(second.LastError(), PortError::AddressInUse);
        QVERIFY(!second.LastErrorString().isEmpty());
        QVERIFY(!second.IsBound());
        QVERIFY(second.LastBindHeldHere()); // this program's own control holds it

        // Binding elsewhere closes the first socket: the port is free again, the error cleared.
        QVERIFY(first.Bind(kPortB));
        QVERIFY(second.Bind(kPortA));
        QCOMPARE(second.LastError(), PortError::None);

        // A socket that is not one of this program's controls counts as another program.
        second.Close();
        QUdpSocket other;
        QVERIFY(other.bind(QHostAddress::AnyIPv4, kPortA, QUdpSocket::DontShareAddress));
        QVERIFY(!second.Bind(kPortA));
        QVERIFY(!second.LastBindHeldHere());
    }

    void floodIsCutAndBounded()
    {
        // Each datagram keeps only the bytes its owner reads, and while the handlers are busy
        // the queue stops growing at its bound: later datagrams are dropped and counted.
        constexpr int kLimit = 33;
        UdpPort receiver;
        receiver.SetDatagramLimit(kLimit);
        QVERIFY(receiver.Bind(kPortA));
        UdpPort sender;
        sender.SetRemote(QStringLiteral("127.0.0.1"), kPortA);
        const QByteArray large(1400, 'K');
        for (int sent = 0; receiver.DroppedDatagrams() == 0 && sent < 200000; ++sent)
            QVERIFY(sender.Send(large));
        QVERIFY(receiver.DroppedDatagrams() > 0);
        const qsizetype queued = receiver.QueuedBytes();
        QVERIFY(queued <= DatagramReader::kQueueLimitBytes);
        QVERIFY(queued > DatagramReader::kQueueLimitBytes - 2 * (kLimit + DatagramReader::kEntryCost));

        qsizetype delivered = 0;
        connect(&receiver, &UdpPort::DataArrival, this, [&](const QByteArray& datagram) {
            QCOMPARE(datagram, large.left(kLimit));
            delivered += datagram.size() + DatagramReader::kEntryCost;
        });
        QTRY_VERIFY_WITH_TIMEOUT(delivered >= queued, 10000);
    }

    void sendFailuresAreReported_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("not an address") << "bridge.local" << int(kPortB);
        QTest::newRow("empty host") << "" << int(kPortB);
        QTest::newRow("octal-looking part") << "127.0.0.010" << int(kPortB);
        QTest::newRow("IPv6") << "::1" << int(kPortB);
        QTest::newRow("no remote port") << "127.0.0.1" << 0;
    }

    void sendFailuresAreReported()
    {
        QFETCH(QString, host);
        QFETCH(int, port);
        UdpPort p;
        QVERIFY(p.Bind(kPortA));
        p.SetRemote(host, static_cast<quint16>(port));
        QVERIFY(!p.Send("XQ"));
        QCOMPARE(p.LastError(), PortError::Other);
        QVERIFY(!p.LastErrorString().isEmpty());

        // A good send afterwards clears the error.
        p.SetRemote(QStringLiteral("127.0.0.1"), kPortB);
        QVERIFY(p.Send("XQ"));
        QCOMPARE(p.LastError(), PortError::None);
    }

    void closingInsideArrivalHandlerStopsDelivery()
    {
        UdpPort receiver;
        QVERIFY(receiver.Bind(kPortA));
        int seen = 0;
        connect(&receiver, &UdpPort::DataArrival, this, [&] {
            ++seen;
            receiver.Close();
        });
        UdpPort sender;
        sender.SetRemote(QStringLiteral("127.0.0.1"), kPortA);
        for (int i = 0; i < 5; ++i)
            QVERIFY(sender.Send("X"));
        QTRY_COMPARE_WITH_TIMEOUT(seen, 1, 5000);
        QVERIFY(!receiver.IsBound());
    }
};

QTEST_MAIN(TestUdpPort)
#include "test_udpport.moc"
