#include "udpport.h"

#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

using namespace brevion;

namespace {
constexpr quint16 kPortA = 24020;
constexpr quint16 kPortB = 24021;
constexpr quint16 kPortC = 24022;
} // namespace

class TestUdpPort : public QObject {
    Q_OBJECT
private slots:
    void deliversWholeDatagramsWithSender()
    {
        UdpPort a, b;
        QVERIFY(a.Bind(kPortA));
        QVERIFY(b.Bind(kPortB));
        QVERIFY(a.IsBound());
        QCOMPARE(a.LocalPort(), kPortA);
        QSignalSpy arrivals(&b, &UdpPort::DataArrival);

        // Text, raw bytes including 00 and FF, and a large one: each arrives whole and unchanged.
        const QList<QByteArray> sent = {QByteArray("XQ"), QByteArray("\x00\xff\x7f\x80", 4),
                                        QByteArray(1400, 'z')};
        a.SetRemote(QStringLiteral("127.0.0.1"), kPortB);
        for (const QByteArray& d : sent)
            QVERIFY2(a.Send(d), qPrintable(a.LastErrorString()));
        QTRY_COMPARE_WITH_TIMEOUT(arrivals.count(), sent.size(), 5000);
        for (int i = 0; i < sent.size(); ++i) {
            QCOMPARE(arrivals[i][0].toByteArray(), sent[i]);
            QCOMPARE(arrivals[i][1].value<QHostAddress>().toString(), QStringLiteral("127.0.0.1"));
            QCOMPARE(arrivals[i][2].value<quint16>(), kPortA);
        }
    }

    void senderAddressIsTheLoopbackAddressUsed()
    {
        // Every 127.x.y.z is local: a reply from 127.0.0.7 is reported as coming from there.
        UdpPort receiver;
        QVERIFY(receiver.Bind(kPortA));
        QSignalSpy arrivals(&receiver, &UdpPort::DataArrival);
        QUdpSocket device;
        QVERIFY(device.bind(QHostAddress(QStringLiteral("127.0.0.7")), kPortC));
        device.writeDatagram("K9ZEV", QHostAddress(QStringLiteral("127.0.0.1")), kPortA);
        QVERIFY(arrivals.wait(5000));
        QCOMPARE(arrivals[0][1].value<QHostAddress>().toString(), QStringLiteral("127.0.0.7"));
        QCOMPARE(arrivals[0][2].value<quint16>(), kPortC);
    }

    void secondBindOfPortInUseFails()
    {
        UdpPort first, second;
        QVERIFY(first.Bind(kPortA));
        QVERIFY(!second.Bind(kPortA));
        QCOMPARE(second.LastError(), PortError::AddressInUse);
        QVERIFY(!second.LastErrorString().isEmpty());
        QVERIFY(!second.IsBound());

        // Once the first one closes, the port is free again and the error is cleared.
        first.Close();
        QVERIFY(!first.IsBound());
        QVERIFY(second.Bind(kPortA));
        QCOMPARE(second.LastError(), PortError::None);
    }

    void rebindingClosesThePreviousSocket()
    {
        UdpPort port;
        QVERIFY(port.Bind(kPortA));
        QVERIFY(port.Bind(kPortB));
        UdpPort other;
        QVERIFY(other.Bind(kPortA)); // released by the rebind
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

    void unboundPortBindsOnFirstSendAndHearsReplies()
    {
        UdpPort device;
        QVERIFY(device.Bind(kPortB));
        QSignalSpy atDevice(&device, &UdpPort::DataArrival);
        UdpPort client;
        client.SetRemote(QStringLiteral("127.0.0.1"), kPortB);
        QVERIFY(client.Send("ZEVID"));
        QVERIFY(client.IsBound());
        QVERIFY(client.LocalPort() != 0);
        QVERIFY(atDevice.wait(5000));

        QSignalSpy atClient(&client, &UdpPort::DataArrival);
        device.SetRemote(QStringLiteral("127.0.0.1"), client.LocalPort());
        QVERIFY(device.Send("K9ZEV"));
        QVERIFY(atClient.wait(5000));
        QCOMPARE(atClient[0][0].toByteArray(), QByteArray("K9ZEV"));
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
