// The application's MQTT client: settings handed to the transport, the subscriptions it
// keeps and renews, retries while the broker is away, the attempt guard against a
// broker that never answers, and the refusal it logs.

#include <QtTest>

#include "Broker.h"
#include "FakeBroker.h"
#include "LogCapture.h"
#include "MqttClient.h"
#include "Peer.h"

using manager::MqttClient;
using manager::MqttTransport;

class TestMqttClient : public QObject {
    Q_OBJECT

private slots:
    void settingsReachTheTransport();
    void subscriptionsAreKeptAndRenewed();
    void brokerDownAtStart();
    void silentBrokerIsBrokenOff();
    void refusalIsLogged();
};

void TestMqttClient::settingsReachTheTransport() {
    FakeBroker fake;
    QVERIFY(fake.listen());
    MqttClient client;
    QVERIFY(!client.publish("x", "a/b"));  // nothing goes out before a connection
    client.setHostname("127.0.0.1");
    client.setPort(fake.port());
    client.setUsername("ui");
    client.setPassword("pw");
    client.setClientId("validator-7");
    client.setCleanSession(false);
    client.setKeepAlive(9);
    client.setWillTopic("zorv/ui/status");
    client.setWillMessage("offline");
    client.setWillQoS(1);
    client.setWillRetain(false);
    client.connect();
    const MqttTransport* t = client.transport();
    QCOMPARE(QStringList({t->hostname(), QString::number(t->port()), t->username(), t->password(),
                          t->clientId(), t->willTopic(), t->willMessage()}),
             QStringList({"127.0.0.1", QString::number(fake.port()), "ui", "pw", "validator-7",
                          "zorv/ui/status", "offline"}));
    QVERIFY(!t->cleanSession() && !t->willRetain());
    QCOMPARE(t->keepAlive(), 9);
    QCOMPARE(t->willQoS(), 1);
    QTRY_COMPARE(client.state(), MqttTransport::Connected);
}

void TestMqttClient::subscriptionsAreKeptAndRenewed() {
    Broker broker;
    QVERIFY(broker.start());
    Peer peer;
    QVERIFY(peer.connect(broker.host(), broker.port()));
    QVERIFY(peer.subscribe("out/#"));
    LogCapture log;
    MqttClient client;
    client.setHostname(broker.host());
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
    const auto got = [&](const QByteArray& topic) {
        int n = 0;
        for (const QList<QVariant>& args : qAsConst(received)) {
            n += args.at(1).toByteArray() == topic ? 1 : 0;
        }
        return n;
    };
    for (int round = 1; round <= 2; ++round) {
        QVERIFY(waitUntil([&] { return connected.count() == round; }, 5000));
        // Renewed subscriptions stand once the broker took them: ping until one arrives.
        QVERIFY(waitUntil([&] {
            peer.publish("in/c", "ping");
            return waitUntil([&] { return got("in/c") > 0; }, 100);
        }));
        QVERIFY(peer.publish("in/a", QByteArray(300000, 'x')));
        QVERIFY(waitUntil([&] { return got("in/a") == 1; }));
        QCOMPARE(received.last(), (QVariantList{QByteArray(300000, 'x'), QByteArray("in/a")}));
        received.clear();
        QVERIFY(client.publish("hello", "out/x"));
        QVERIFY(waitUntil([&] { return peer.count("out/x") == round; }));
        if (round == 1) {
            broker.kill();
            QVERIFY(broker.start());
            peer.disconnect();
            QVERIFY(peer.connect(broker.host(), broker.port()) && peer.subscribe("out/#"));
        }
    }
    QCOMPARE(log.count("[MqttClient] Subscribing to 'in/a' with QoS = 0"), 2);
    QCOMPARE(log.count("Subscribing to"), 4);
    QVERIFY(log.contains("[MqttClient] WARN: Invalid subscription dropped: 'in/#/b' with QoS = 0"));
}

void TestMqttClient::brokerDownAtStart() {
    Broker broker;
    MqttClient client;
    client.setHostname(broker.host());
    client.setPort(broker.port());
    client.setRetryMillis(200);
    QSignalSpy connected(&client, &MqttClient::connected);
    client.connect();
    QTest::qWait(700);
    QVERIFY(broker.start());
    QVERIFY(waitUntil([&] { return connected.count() == 1; }, 3000));
}

void TestMqttClient::silentBrokerIsBrokenOff() {
    // No CONNACK ever: each attempt is broken off after the retry interval and retried.
    FakeBroker fake;
    QVERIFY(fake.listen());
    fake.setConnackCode(-1);
    MqttClient client;
    client.setHostname("127.0.0.1");
    client.setPort(fake.port());
    client.setRetryMillis(300);
    client.connect();
    QVERIFY(waitUntil([&] { return fake.connections() >= 3; }, 3000));
}

void TestMqttClient::refusalIsLogged() {
    FakeBroker fake;
    QVERIFY(fake.listen());
    fake.setConnackCode(4);
    LogCapture log;
    MqttClient client;
    client.setHostname("127.0.0.1");
    client.setPort(fake.port());
    QSignalSpy errors(&client, &MqttClient::error);
    client.connect();
    QVERIFY(waitUntil([&] { return errors.count() == 1; }));
    QCOMPARE(errors.first().first().toString(), QString("Mqtt client error"));
    QVERIFY(log.contains(QtWarningMsg,
                         "[MqttClient] Bad username or password. The data in the "
                         "username or password is malformed."));
    log.clear();
    client.setPort(65536);
    QVERIFY(log.contains("[MqttClient] WARN: Port out of range: 65536"));
}

QTEST_GUILESS_MAIN(TestMqttClient)
#include "tst_mqttclient.moc"
