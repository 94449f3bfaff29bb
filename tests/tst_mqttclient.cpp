#include <QSignalSpy>
#include <QTest>

#include "Broker.h"
#include "MqttClient.h"
#include "Peer.h"

using manager::MqttClient;
using manager::MqttTransport;

class TestMqttClient : public QObject {
    Q_OBJECT

private slots:
    void receivesAndPublishes();
    void renewsSubscriptionsAfterBrokerRestart();
};

// A message reaches the client with its bytes and topic unchanged, and what the
// client publishes reaches a peer byte for byte.
void TestMqttClient::receivesAndPublishes() {
    Broker broker;
    QVERIFY(broker.start());
    MqttClient client;
    client.setHostname(broker.host());
    client.setPort(broker.port());
    QSignalSpy received(&client, &MqttClient::received);
    QSignalSpy connected(&client, &MqttClient::connected);
    client.subscribe(QStringLiteral("zorv/validator/#"));
    client.connect();
    QVERIFY(waitUntil([&] { return connected.count() == 1; }));

    Peer peer;
    QVERIFY(peer.connect(broker.host(), broker.port()));
    QVERIFY(peer.subscribe(QStringLiteral("zorv/ui/#")));
    // The renewal is sent after connected(); wait until the broker routes to us.
    QVERIFY(waitUntil([&] {
        peer.publish(QStringLiteral("zorv/validator/probe"), "p");
        return received.count() > 0;
    }));
    received.clear();

    const QByteArray payload("\x00\xff\xfe{\"a\":1}\n\x01", 11);
    const QString topic = QStringLiteral("zorv/validator/Καρτα/ü");
    QVERIFY(peer.publish(topic, payload));
    QVERIFY(
        waitUntil([&] { return received.count() > 0 && received.last().at(1) == topic.toUtf8(); }));
    QCOMPARE(received.last().at(0).toByteArray(), payload);

    QVERIFY(client.publish(payload, QStringLiteral("zorv/ui/status")));
    QVERIFY(waitUntil([&] { return peer.count(QStringLiteral("zorv/ui/status")) == 1; }));
    QCOMPARE(peer.messages(QStringLiteral("zorv/ui/status")).at(0).payload, payload);
}

// A subscription made before the first connection reaches the broker, and again
// after the broker was killed and restarted.
void TestMqttClient::renewsSubscriptionsAfterBrokerRestart() {
    Broker broker;
    QVERIFY(broker.start());
    MqttClient client;
    client.setHostname(broker.host());
    client.setPort(broker.port());
    QSignalSpy received(&client, &MqttClient::received);
    QSignalSpy connected(&client, &MqttClient::connected);
    QSignalSpy disconnected(&client, &MqttClient::disconnected);
    client.subscribe(QStringLiteral("zorv/board/#"));
    client.connect();
    QVERIFY(waitUntil([&] { return connected.count() == 1; }));

    auto deliveredAfterPublishing = [&] {
        Peer peer;
        if (!peer.connect(broker.host(), broker.port())) {
            return false;
        }
        received.clear();
        return waitUntil([&] {
            peer.publish(QStringLiteral("zorv/board/status"), "on");
            return received.count() > 0;
        });
    };
    QVERIFY(deliveredAfterPublishing());

    broker.kill();
    QVERIFY(waitUntil([&] { return disconnected.count() == 1; }));
    QVERIFY(broker.start());
    QVERIFY(waitUntil([&] { return connected.count() == 2; }, 3000 + 3000 + 1000));
    QVERIFY(deliveredAfterPublishing());
}

QTEST_GUILESS_MAIN(TestMqttClient)
#include "tst_mqttclient.moc"
