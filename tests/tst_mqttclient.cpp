// The application's MQTT client: settings, subscriptions, retries, the attempt guard,
// secrets masked in its log.
// Renewal after the broker comes back is tst_brokerfaults' part.

#include <QtTest>

#include "Broker.h"
#include "FakeBroker.h"
#include "Fixtures.h"
#include "LogCapture.h"
#include "MqttClient.h"
#include "Peer.h"

using manager::MqttClient;
using manager::MqttTransport;

class TestMqttClient : public QObject {
    Q_OBJECT

private slots:
    void settingsReachTheBroker() {
        FakeBroker fake;
        QVERIFY(fake.listen());
        MqttClient client;
        QVERIFY(!client.publish("x", "a/b"));  // nothing goes out before a connection
        client.setPort(fake.port());
        client.setUsername("ui");
        client.setPassword("pw");
        client.setClientId("validator-7");
        client.setCleanSession(false);
        client.setKeepAlive(9);
        client.setWillTopic("zorv/ui/status");
        client.setWillMessage("offline");
        client.setWillQoS(1);
        client.setWillRetain(true);
        client.connect();
        QVERIFY(waitUntil([&] { return client.state() == MqttTransport::Connected; }));
        // MQTT 3.1.1; user name, password, will retain, will QoS 1, will; keep-alive 9.
        const QByteArray connect = fake.packets().value(0);
        QCOMPARE(connect.mid(2, 10), QByteArray("\x00\x04MQTT\x04\xec\x00\x09", 10));
        for (const char* text : {"validator-7", "zorv/ui/status", "offline", "ui", "pw"}) {
            QVERIFY2(connect.contains(text), text);
        }
    }

    void subscriptionsAndLoggedPayloads() {
        Broker broker;  // down at the start: the client retries until it is up
        LogCapture log;
        MqttClient client;
        client.setPort(broker.port());
        client.setRetryMillis(200);
        QSignalSpy received(&client, &MqttClient::received);
        QSignalSpy connected(&client, &MqttClient::connected);
        QSignalSpy errors(&client, &MqttClient::error);
        client.subscribe("in/a", 1);
        client.subscribe("in/a", 0);  // one entry per filter, the latest QoS
        client.subscribe("in/#/b");   // invalid: dropped, never renewed
        QCOMPARE(errors.count(), 1);
        client.subscribe("in/c");
        client.connect();
        QTest::qWait(500);
        QVERIFY(broker.start());
        Peer peer;
        QVERIFY(peer.connect(broker.host(), broker.port()));
        const auto got = [&](const QByteArray& topic) {
            int n = 0;
            for (const QList<QVariant>& args : qAsConst(received)) {
                n += args.at(1).toByteArray() == topic ? 1 : 0;
            }
            return n;
        };
        QVERIFY(waitUntil([&] { return connected.count() == 1; }));
        // The subscriptions stand once the broker took them: ping until one arrives.
        QVERIFY(waitUntil([&] {
            peer.publish("in/c", "ping");
            return waitUntil([&] { return got("in/c") > 0; }, 100);
        }));
        QVERIFY(peer.publish("in/a", "x"));
        QVERIFY(waitUntil([&] { return got("in/a") == 1; }));
        QCOMPARE(log.count("[MqttClient] Subscribing to 'in/a' with QoS = 0"), 1);
        QCOMPARE(log.count("Subscribing to"), 2);
        // The settings PIN going out (its name spelled with an escape) and the on-board
        // computer's password coming in reach the peers unchanged, but only masked in the
        // debug log.
        QVERIFY(peer.subscribe("out"));
        const QByteArray pin = R"({"gui": {"locale": "el_GR", "settings\u0050in": "8602"}})";
        QVERIFY(client.publish(pin, "out"));
        QVERIFY(waitUntil([&] { return peer.count("out") == 1; }));
        QCOMPARE(peer.messages("out").first().payload, pin);
        const QByteArray obc = fixture("validator/config.json");
        QVERIFY(peer.publish("in/a", obc));
        QVERIFY(waitUntil([&] { return got("in/a") == 2; }));
        QCOMPARE(received.last().first().toByteArray(), obc);
        QCOMPARE(log.count("8602") + log.count("s3cr@t/pw"), 0);
        QVERIFY(log.contains(R"("settingsPin":"********"})"));
        QVERIFY(log.contains(R"("obu_password": "********",)"));
    }

    void silentBrokerIsBrokenOff() {
        // No CONNACK ever: each attempt is broken off after the retry interval, well before
        // the transport's own limit (7.5 s), and retried.
        FakeBroker fake;
        QVERIFY(fake.listen());
        fake.setConnackCode(-1);
        MqttClient client;
        client.setPort(fake.port());
        client.setRetryMillis(300);
        client.connect();
        QVERIFY(waitUntil([&] { return fake.connections() >= 3; }, 6000));
    }

    void refusalIsLogged() {
        FakeBroker fake;
        QVERIFY(fake.listen());
        fake.setConnackCode(4);
        LogCapture log;
        MqttClient client;
        client.setPort(fake.port());
        QSignalSpy errors(&client, &MqttClient::error);
        client.connect();
        QVERIFY(waitUntil([&] { return errors.count() == 1; }));
        QCOMPARE(errors.first().first().toString(), QString("Mqtt client error"));
        // By default a clean session without credentials, and a keep-alive of 5 s.
        QCOMPARE(fake.packets().value(0).mid(9, 3), QByteArray("\x02\x00\x05", 3));
        QVERIFY(log.contains("[MqttClient] Bad username or password."));
        const QTimer* reconnect = client.findChild<QTimer*>("reconnectTimer");
        QVERIFY(reconnect->isActive());
        QCOMPARE(reconnect->interval(), 3000);  // the product's retry interval
        QCOMPARE(client.findChild<QTimer*>("attemptTimer")->interval(), 3000);
        // A broker that cannot be reached is named, as a technician would look for it.
        const quint16 port = Broker::freePort();
        for (const char* host : {"nonexistent.invalid", "127.0.0.1"}) {
            MqttClient lost;
            lost.setHostname(host);
            lost.setPort(port);
            QSignalSpy failed(&lost, &MqttClient::error);
            lost.connect();
            QVERIFY(waitUntil([&] { return failed.count() == 1; }));
        }
        QVERIFY(log.contains("Transport invalid: broker host name nonexistent.invalid does not "));
        QVERIFY(log.contains(
            QString("connection to 127.0.0.1:%1 failed (Connection refused)").arg(port)));
        log.clear();
        client.setPort(65536);
        QVERIFY(log.contains("[MqttClient] WARN: Port out of range: 65536"));
    }
};

QTEST_GUILESS_MAIN(TestMqttClient)
#include "tst_mqttclient.moc"
