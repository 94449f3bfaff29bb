// The MQTT transport against a fake broker: how connections end, what it refuses, and
// slots that end or delete it from its own signals (also run under valgrind).

#include <QtTest>
#include <csignal>

#include "FakeBroker.h"
#include "MqttTransport.h"
#include "Peer.h"

using manager::MqttTransport;

class TestMqttTransport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { std::signal(SIGPIPE, SIG_IGN); }
    void init() {
        m_fake = std::make_unique<FakeBroker>();
        QVERIFY(m_fake->listen());
        m_transport = std::make_unique<MqttTransport>();
        m_transport->setHostname("127.0.0.1");
        m_transport->setPort(m_fake->port());
        // Every signal as one word each, in emission order.
        m_lines.clear();
        MqttTransport* t = m_transport.get();
        connect(t, &MqttTransport::stateChanged, [&](int s) { m_lines << QString::number(s); });
        connect(t, &MqttTransport::connected, [&] { m_lines << "connected"; });
        connect(t, &MqttTransport::disconnected, [&] { m_lines << "disconnected"; });
        connect(t, &MqttTransport::errorChanged,
                [&](int e) { m_lines << "error" + QString::number(e); });
    }

    void endings_data() {
        QTest::addColumn<int>("connack");  // -1: no CONNACK at all
        QTest::addColumn<QString>("ending");
        QTest::newRow("dropped") << 0 << "0 disconnected error256";
        for (int code = 1; code <= 5; ++code) {  // the refusals keep their codes
            QTest::addRow("refused %d", code)
                << code << QString("0 disconnected error%1").arg(code);
        }
        QTest::newRow("unknown code") << 6 << "0 disconnected error257";
        // Given up after one and a half keep-alive intervals.
        QTest::newRow("no CONNACK") << -1 << "0 disconnected error3";
    }

    void endings() {
        QFETCH(int, connack);
        m_fake->setConnackCode(connack);
        m_transport->setKeepAlive(1);  // raised to the library's least, 5 s
        m_transport->connectToHost();
        QCOMPARE(m_lines, QStringList{"1"});  // every failure comes from the event loop
        if (connack == 0) {
            QVERIFY(connected());
            m_fake->dropClients();
        }
        QVERIFY(
            waitUntil([&] { return m_transport->state() == MqttTransport::Disconnected; }, 15000));
        QTEST(m_lines.mid(m_lines.indexOf("0")).join(' '), "ending");
        // A new attempt starts without the old error.
        m_transport->connectToHost();
        QCOMPARE(m_transport->error(), MqttTransport::NoError);
    }

    void refusals() {
        QVERIFY(!m_transport->subscribe("a/b"));
        QCOMPARE(m_transport->publish("a/b", "x"), -1);
        m_transport->connectToHost();
        QVERIFY(connected());
        QCOMPARE(int(m_fake->packets().value(0).at(8)), m_transport->protocolVersion());  // CONNECT
        // Settings are taken only while disconnected.
        m_transport->setHostname("elsewhere");
        m_transport->setPort(1);
        QCOMPARE(m_transport->hostname() + ':' + QString::number(m_transport->port()),
                 "127.0.0.1:" + QString::number(m_fake->port()));
        QVERIFY(!m_transport->subscribe("a/#/b") && !m_transport->subscribe("a/b", 3));
        QCOMPARE(m_transport->publish("a/+", "x"), -1);
        QCOMPARE(m_transport->publish("a/b", "x", 3), -1);
        QCOMPARE(m_transport->subscribe("a/+/c", 1)->qos(), quint8(1));
        QCOMPARE(m_transport->publish("a/b", "x"), 0);
        QVERIFY(m_transport->publish("a/b", "y", 1) > 0);
        QVERIFY(waitUntil([&] { return m_fake->count(8) == 1 && m_fake->count(3) == 2; }));
        // disconnectFromHost() says DISCONNECT and ends without an error.
        m_lines.clear();
        m_transport->disconnectFromHost();
        QCOMPARE(m_lines, (QStringList{"0", "disconnected"}));
        QVERIFY(waitUntil([&] { return m_fake->count(14) == 1; }));
    }

    void reentrantCallsFromSlots() {
        QList<QByteArray> payloads;
        connect(m_transport.get(), &MqttTransport::messageReceived, this,
                [&](const QByteArray& message, const QString& topic) {
                    payloads << topic.toUtf8() + message;
                    m_transport->disconnectFromHost();
                });
        connect(m_transport.get(), &MqttTransport::disconnected, this, [&] {
            if (m_fake->connections() == 1) {
                m_transport->connectToHost();
            }
        });
        m_transport->connectToHost();
        QVERIFY(connected());
        // Two messages in one read: the second belongs to an ended connection.
        m_fake->publish(QString("dev/ü").toUtf8(), QByteArray("\x00\x01", 2));
        m_fake->publish("dev", "second");
        QVERIFY(waitUntil([&] { return m_fake->connections() == 2; }));
        QVERIFY(connected());
        QCOMPARE(payloads,
                 QList<QByteArray>{QString("dev/ü").toUtf8() + QByteArray("\x00\x01", 2)});
    }

    void deletedFromItsOwnSlots_data() {
        QTest::addColumn<QString>("signal");
        QTest::newRow("connected") << "connected";
        QTest::newRow("message") << "message";
        QTest::newRow("lost") << "lost";
    }

    void deletedFromItsOwnSlots() {
        QFETCH(QString, signal);
        QPointer<MqttTransport> transport = m_transport.release();
        auto destroy = [&] { delete transport.data(); };
        if (signal == "connected") {
            connect(transport, &MqttTransport::connected, this, destroy);
        } else if (signal == "message") {
            connect(transport, &MqttTransport::messageReceived, this, destroy);
        } else {
            connect(transport, &MqttTransport::disconnected, this, destroy);
        }
        transport->connectToHost();
        QVERIFY(waitUntil(
            [&] { return !transport || transport->state() == MqttTransport::Connected; }));
        m_fake->publish("a", "1");
        m_fake->publish("a", "2");
        if (signal == "lost") {
            m_fake->dropClients();
        }
        QVERIFY(waitUntil([&] { return transport.isNull(); }));
        QTest::qWait(1200);  // past the housekeeping timer of the deleted transport
    }

private:
    bool connected() {
        return waitUntil([&] { return m_transport->state() == MqttTransport::Connected; });
    }
    std::unique_ptr<FakeBroker> m_fake;
    std::unique_ptr<MqttTransport> m_transport;
    QStringList m_lines;
};

QTEST_GUILESS_MAIN(TestMqttTransport)
#include "tst_mqtttransport.moc"
