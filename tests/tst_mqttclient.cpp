#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <csignal>
#include <memory>

#include "Broker.h"
#include "FakeBroker.h"
#include "LogCapture.h"
#include "MqttClient.h"
#include "Peer.h"

using manager::MqttClient;
using manager::MqttTransport;

namespace {

// Qt's coarse timers may fire up to 5 % early: the least a 3000 ms wait can take.
constexpr qint64 kRetryAtLeast = 2800;

// Every log line written while a test runs, as the logger would receive it.
std::unique_ptr<LogCapture> g_log;

int countLines(const QString& line) {
    return g_log->all().count(line);
}

// Connects the client to a broker and waits for the connection.
bool connectTo(MqttClient& client, quint16 port) {
    client.setHostname(QStringLiteral("127.0.0.1"));
    client.setPort(port);
    client.connect();
    return waitUntil([&] { return client.state() == MqttTransport::Connected; });
}

// Publishes from a peer until the client receives on that topic: the proof that
// its subscription stands at the broker.
bool reaches(MqttClient& client, const Broker& broker, const QString& topic) {
    Peer peer;
    if (!peer.connect(broker.host(), broker.port())) {
        return false;
    }
    QSignalSpy received(&client, &MqttClient::received);
    return waitUntil(
        [&] {
            peer.publish(topic, "probe");
            for (const QList<QVariant>& args : received) {
                if (args.at(1).toByteArray() == topic.toUtf8()) {
                    return true;
                }
            }
            return false;
        },
        3000);
}

}  // namespace

class TestMqttClient : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void receivesAndPublishes();
    void publishRefusedWhileDisconnected();
    void largePayloadsBothWays();
    void renewsSubscriptionsAfterBrokerRestart();
    void subscriptionsRecordedOnce();
    void invalidSubscriptionDropped();
    void lastWillOnLostConnection();
    void brokerDownAtStart();
    void silentBrokerBrokenOff();
    void refusalTexts_data();
    void refusalTexts();
    void disconnectThenReconnects();
};

void TestMqttClient::initTestCase() {
    std::signal(SIGPIPE, SIG_IGN);
}

void TestMqttClient::init() {
    g_log = std::make_unique<LogCapture>();
}

void TestMqttClient::cleanup() {
    g_log.reset();
}

// A message reaches the client with its bytes and topic unchanged, and what the
// client publishes reaches a peer byte for byte; the log lines carry no added
// blanks or quotes.
void TestMqttClient::receivesAndPublishes() {
    Broker broker;
    QVERIFY(broker.start());
    MqttClient client;
    QSignalSpy received(&client, &MqttClient::received);
    QSignalSpy connected(&client, &MqttClient::connected);
    QSignalSpy errors(&client, &MqttClient::error);
    client.subscribe(QStringLiteral("zorv/validator/#"));
    QVERIFY(connectTo(client, broker.port()));
    QCOMPARE(connected.count(), 1);
    QVERIFY(reaches(client, broker, QStringLiteral("zorv/validator/probe")));

    Peer peer;
    QVERIFY(peer.connect(broker.host(), broker.port()));
    QVERIFY(peer.subscribe(QStringLiteral("zorv/ui/#")));
    received.clear();
    const QByteArray payload("\x00\xff\xfe{\"a\":1}\n\x01", 11);
    const QString topic = QStringLiteral("zorv/validator/Καρτα/ü");
    QVERIFY(peer.publish(topic, payload));
    QVERIFY(waitUntil([&] {
        return !received.isEmpty() && received.last().at(1).toByteArray() == topic.toUtf8();
    }));
    QCOMPARE(received.last().at(0).toByteArray(), payload);

    QVERIFY(client.publish(payload, QStringLiteral("zorv/ui/status")));
    QVERIFY(client.publish("{}", QStringLiteral("zorv/ui/info"), 1, true));
    QVERIFY(waitUntil([&] { return peer.count(QStringLiteral("zorv/ui/info")) == 1; }));
    QCOMPARE(peer.messages(QStringLiteral("zorv/ui/status")).size(), 1);
    QCOMPARE(peer.messages(QStringLiteral("zorv/ui/status")).at(0).payload, payload);
    QCOMPARE(errors.count(), 0);

    QCOMPARE(countLines("[MqttClient] Connecting to host"), 1);
    QCOMPARE(countLines("[MqttClient] Hostname: 127.0.0.1"), 1);
    QCOMPARE(countLines("[MqttClient] Port    : " + QString::number(broker.port())), 1);
    QCOMPARE(countLines("[MqttClient] CleanSession: true"), 1);
    QCOMPARE(countLines("[MqttClient] Will QoS    : 2"), 1);
    QCOMPARE(countLines("[MqttClient] Retry interval millis: 3000"), 1);
    QCOMPARE(countLines("[MqttClient] State is Connected."), 1);
    QCOMPARE(countLines("[MqttClient] Connected to broker 127.0.0.1"), 1);
    QCOMPARE(countLines("[MqttClient] Subscribing to 'zorv/validator/#' with QoS = 0"), 1);
    QCOMPARE(countLines("[MqttClient] Publishing to topic 'zorv/ui/info' with Qos = 1 and "
                        "Retain = true:\n{}"),
             1);
    QVERIFY(countLines("[MqttClient] Received on topic: zorv/validator/probe\nprobe") > 0);
}

// Payloads larger than a socket buffer go out and come in whole, in order, at
// every QoS.
void TestMqttClient::largePayloadsBothWays() {
    Broker broker;
    QVERIFY(broker.start());
    MqttClient client;
    QSignalSpy received(&client, &MqttClient::received);
    client.subscribe(QStringLiteral("zorv/update/#"), 2);
    QVERIFY(connectTo(client, broker.port()));
    QVERIFY(reaches(client, broker, QStringLiteral("zorv/update/probe")));
    Peer peer;
    QVERIFY(peer.connect(broker.host(), broker.port()));
    QVERIFY(peer.subscribe(QStringLiteral("zorv/ui/#"), 2));

    QList<QByteArray> payloads;
    for (int i = 0; i < 3; ++i) {
        QByteArray payload(3 * 1024 * 1024 + i, '\0');
        for (int j = 0; j < payload.size(); ++j) {
            payload[j] = static_cast<char>((j * 31 + i) & 0xff);
        }
        payloads << payload;
    }
    received.clear();
    for (int qos = 0; qos < 3; ++qos) {
        QVERIFY(client.publish(payloads.at(qos), QStringLiteral("zorv/ui/blob"), qos));
        QVERIFY(peer.publish(QStringLiteral("zorv/update/blob"), payloads.at(qos), qos));
    }
    QVERIFY(waitUntil([&] { return peer.count(QStringLiteral("zorv/ui/blob")) == 3; }, 20000));
    QVERIFY(waitUntil([&] { return received.count() >= 3; }, 20000));
    for (int i = 0; i < 3; ++i) {
        QVERIFY(peer.messages(QStringLiteral("zorv/ui/blob")).at(i).payload == payloads.at(i));
        QCOMPARE(received.at(i).at(1).toByteArray(), QByteArray("zorv/update/blob"));
        QVERIFY(received.at(i).at(0).toByteArray() == payloads.at(i));
    }
}

// Without a connection nothing is sent, logged or emitted, and nothing is queued.
void TestMqttClient::publishRefusedWhileDisconnected() {
    Broker broker;
    QVERIFY(broker.start());
    MqttClient client;
    QSignalSpy errors(&client, &MqttClient::error);
    QVERIFY(!client.publish("early", QStringLiteral("zorv/ui/status")));

    Peer peer;
    QVERIFY(peer.connect(broker.host(), broker.port()));
    QVERIFY(peer.subscribe(QStringLiteral("zorv/#")));
    QVERIFY(connectTo(client, broker.port()));
    broker.kill();
    QVERIFY(waitUntil([&] { return client.state() == MqttTransport::Disconnected; }));
    errors.clear();
    g_log->clear();
    QVERIFY(!client.publish("late", QStringLiteral("zorv/ui/status")));
    QCOMPARE(errors.count(), 0);
    QCOMPARE(g_log->all(), QStringList());

    // A topic the broker cannot take fails with its error text.
    QVERIFY(broker.start());
    QVERIFY(waitUntil([&] { return client.state() == MqttTransport::Connected; }, 8000));
    QVERIFY(!client.publish("x", QStringLiteral("zorv/+/status")));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Publish to zorv/+/status failed."));
}

// A subscription made before the first connection reaches the broker, again after
// the broker was killed and restarted, and the client is back within the retry
// interval plus the attempt.
void TestMqttClient::renewsSubscriptionsAfterBrokerRestart() {
    Broker broker;
    QVERIFY(broker.start());
    MqttClient client;
    QSignalSpy connected(&client, &MqttClient::connected);
    QSignalSpy disconnected(&client, &MqttClient::disconnected);
    QSignalSpy errors(&client, &MqttClient::error);
    client.subscribe(QStringLiteral("zorv/board/#"));
    QVERIFY(connectTo(client, broker.port()));
    QVERIFY(reaches(client, broker, QStringLiteral("zorv/board/status")));
    client.subscribe(QStringLiteral("zorv/clock/#"), 1);  // made while connected
    QVERIFY(reaches(client, broker, QStringLiteral("zorv/clock/status")));

    QElapsedTimer lost;
    broker.kill();
    QVERIFY(waitUntil([&] { return disconnected.count() == 1; }));
    lost.start();
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Mqtt client error"));
    QVERIFY(broker.start());
    QVERIFY(waitUntil([&] { return connected.count() == 2; }, 3000 + 2000));
    QVERIFY(lost.elapsed() >= kRetryAtLeast);  // the retry interval, not sooner
    QVERIFY(reaches(client, broker, QStringLiteral("zorv/board/status")));
    QVERIFY(reaches(client, broker, QStringLiteral("zorv/clock/status")));
    QCOMPARE(countLines("[MqttClient] Subscribing to 'zorv/clock/#' with QoS = 1"), 2);
}

// Subscribing the same filter again, as the GUI manager does on every connection,
// does not make the list grow: each connection renews each filter once.
void TestMqttClient::subscriptionsRecordedOnce() {
    Broker broker;
    QVERIFY(broker.start());
    MqttClient client;
    client.setRetryMillis(500);
    const QString filter = QStringLiteral("zorv/ui/config/set");
    client.subscribe(filter);
    QObject::connect(&client, &MqttClient::connected, [&] { client.subscribe(filter); });
    for (int round = 1; round <= 3; ++round) {
        if (round == 1) {
            QVERIFY(connectTo(client, broker.port()));
        } else {
            broker.kill();
            QVERIFY(waitUntil([&] { return client.state() == MqttTransport::Disconnected; }));
            QVERIFY(broker.start());
            QVERIFY(waitUntil([&] { return client.state() == MqttTransport::Connected; }));
        }
        // One from the connected() listener, one from the renewal.
        QCOMPARE(countLines("[MqttClient] Subscribing to '" + filter + "' with QoS = 0"),
                 2 * round);
    }
    QVERIFY(reaches(client, broker, filter));
}

// A filter the broker cannot take is reported and dropped, not renewed forever.
void TestMqttClient::invalidSubscriptionDropped() {
    Broker broker;
    QVERIFY(broker.start());
    MqttClient client;
    QSignalSpy errors(&client, &MqttClient::error);
    client.subscribe(QStringLiteral("zorv/#/status"));
    client.subscribe(QStringLiteral("zorv/ok"), 7);
    QCOMPARE(errors.count(), 2);
    QCOMPARE(errors.at(0).at(0).toString(),
             QStringLiteral("Subscription to zorv/#/status failed."));
    client.subscribe(QStringLiteral("zorv/board/#"));
    QVERIFY(connectTo(client, broker.port()));
    QVERIFY(reaches(client, broker, QStringLiteral("zorv/board/x")));
    QCOMPARE(errors.count(), 2);
    QCOMPARE(countLines("[MqttClient] Subscribing to 'zorv/#/status' with QoS = 0"), 0);
    QCOMPARE(countLines("[MqttClient] WARN: Invalid subscription dropped: 'zorv/#/status' with "
                        "QoS = 0"),
             1);
}

// The broker publishes the will when the connection is lost without a DISCONNECT
// (here the client goes away with its socket), but not after disconnect().
void TestMqttClient::lastWillOnLostConnection() {
    Broker broker;
    QVERIFY(broker.start());
    Peer peer;
    QVERIFY(peer.connect(broker.host(), broker.port()));
    QVERIFY(peer.subscribe(QStringLiteral("zorv/ui/status")));
    const QByteArray will("{\n    \"status\": \"offline\"\n}\n");

    auto client = std::make_unique<MqttClient>();
    client->setClientId(QStringLiteral("quellan-test"));
    client->setWillTopic(QStringLiteral("zorv/ui/status"));
    client->setWillMessage(will);
    QVERIFY(connectTo(*client, broker.port()));
    client->disconnect();
    QCOMPARE(client->state(), MqttTransport::Disconnected);
    QTest::qWait(300);
    QCOMPARE(peer.count(QStringLiteral("zorv/ui/status")), 0);

    QVERIFY(waitUntil([&] { return client->state() == MqttTransport::Connected; }));
    client.reset();
    QVERIFY(waitUntil([&] { return peer.count(QStringLiteral("zorv/ui/status")) == 1; }));
    const Peer::Message message = peer.messages(QStringLiteral("zorv/ui/status")).at(0);
    QCOMPARE(message.payload, will);

    // Retained (the default), so a later subscriber sees it too.
    Peer late;
    QVERIFY(late.connect(broker.host(), broker.port()));
    QVERIFY(late.subscribe(QStringLiteral("zorv/ui/status")));
    QVERIFY(waitUntil([&] { return late.count(QStringLiteral("zorv/ui/status")) == 1; }));
    QVERIFY(late.messages().at(0).retained);
}

// With no broker the client keeps trying every retry interval, reporting each
// failure, and connects once the broker is up.
void TestMqttClient::brokerDownAtStart() {
    Broker broker;
    MqttClient client;
    client.setRetryMillis(400);
    QSignalSpy errors(&client, &MqttClient::error);
    client.setHostname(QStringLiteral("127.0.0.1"));
    client.setPort(broker.port());
    client.connect();
    QVERIFY(waitUntil([&] { return errors.count() >= 3; }));
    for (const QList<QVariant>& args : qAsConst(errors)) {
        QCOMPARE(args.at(0).toString(), QStringLiteral("Mqtt client error"));
    }
    const int attempts = countLines("[MqttClient] State is Connecting.");
    QVERIFY(attempts >= 3);
    QVERIFY(countLines("[MqttClient] State is Disconnected.") >= attempts - 1);
    QVERIFY(countLines("[MqttClient] Transport invalid: The underlying transport caused an "
                       "error. For example, the connection might have been interrupted "
                       "unexpectedly.") >= 3);
    QVERIFY(broker.start());
    QVERIFY(waitUntil([&] { return client.state() == MqttTransport::Connected; }));
}

// A server that accepts TCP but never answers is broken off by the attempt guard
// after the retry interval (before the keep-alive would), and tried again one
// interval later.
void TestMqttClient::silentBrokerBrokenOff() {
    FakeBroker fake;
    QVERIFY(fake.listen());
    fake.setConnackCode(-1);
    MqttClient client;
    client.setKeepAlive(60);
    client.setHostname(QStringLiteral("127.0.0.1"));
    client.setPort(fake.port());
    QElapsedTimer clock;
    clock.start();
    client.connect();
    QVERIFY(waitUntil([&] { return fake.count(1) == 1; }));
    QVERIFY(waitUntil([&] { return client.state() == MqttTransport::Disconnected; }, 5000));
    const qint64 brokenOff = clock.elapsed();
    QVERIFY(brokenOff >= kRetryAtLeast);
    QCOMPARE(fake.openClients(), 0);
    QVERIFY(countLines("[MqttClient] Transport invalid: The underlying transport caused an "
                       "error. For example, the connection might have been interrupted "
                       "unexpectedly.") == 1);
    QVERIFY(waitUntil([&] { return fake.connections() == 2; }, 5000));
    QVERIFY(clock.elapsed() - brokenOff >= kRetryAtLeast);
    QCOMPARE(client.state(), MqttTransport::Connecting);
}

void TestMqttClient::refusalTexts_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("1") << 1
                       << "[MqttClient] Invalid protocol version: 4. Broker does not accept a "
                          "connection using the specified protocol version.";
    QTest::newRow("2") << 2
                       << "[MqttClient] Id rejected: validator-7. The client ID is malformed. "
                          "This might be related to its length.";
    QTest::newRow("3") << 3
                       << "[MqttClient] Server unavailable: 127.0.0.1:%1. The network "
                          "connection has been established, but the service is unavailable on "
                          "the broker side.";
    QTest::newRow("4") << 4
                       << "[MqttClient] Bad username or password. The data in the username or "
                          "password is malformed.";
    QTest::newRow("5") << 5
                       << "[MqttClient] Not authorized: validator-7. The client is not "
                          "authorized to connect.";
    QTest::newRow("9") << 9
                       << "[MqttClient] Protocol violation:The client encountered a protocol "
                          "violation, and therefore closed the connection.";
}

// Each refusal gives its warning line and the one error text, and the client tries
// again.
void TestMqttClient::refusalTexts() {
    QFETCH(int, code);
    QFETCH(QString, text);
    FakeBroker fake;
    QVERIFY(fake.listen());
    fake.setConnackCode(code);
    MqttClient client;
    client.setRetryMillis(300);
    client.setClientId(QStringLiteral("validator-7"));
    client.setUsername(QStringLiteral("ui"));
    client.setPassword(QStringLiteral("secret-word"));
    client.setHostname(QStringLiteral("127.0.0.1"));
    client.setPort(fake.port());
    QSignalSpy errors(&client, &MqttClient::error);
    client.connect();
    QVERIFY(waitUntil([&] { return fake.connections() == 2; }));
    QVERIFY(errors.count() >= 1);
    QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Mqtt client error"));
    QVERIFY(countLines(text.contains("%1") ? text.arg(fake.port()) : text) >= 1);
    for (const QString& line : g_log->all()) {
        QVERIFY2(!line.contains(QStringLiteral("secret-word")), qPrintable(line));
    }
}

// disconnect() ends the connection cleanly and the client comes back by itself.
void TestMqttClient::disconnectThenReconnects() {
    Broker broker;
    QVERIFY(broker.start());
    MqttClient client;
    client.setRetryMillis(500);
    QSignalSpy connected(&client, &MqttClient::connected);
    QSignalSpy disconnected(&client, &MqttClient::disconnected);
    QSignalSpy errors(&client, &MqttClient::error);
    client.disconnect();  // before the first connect: nothing happens
    QCOMPARE(disconnected.count(), 0);
    QVERIFY(connectTo(client, broker.port()));
    client.disconnect();
    QCOMPARE(disconnected.count(), 1);
    QCOMPARE(countLines("[MqttClient] Disconnecting from host"), 2);
    QCOMPARE(countLines("[MqttClient] Disconnected from broker 127.0.0.1"), 1);
    QVERIFY(waitUntil([&] { return connected.count() == 2; }));
    QCOMPARE(errors.count(), 0);
}

QTEST_GUILESS_MAIN(TestMqttClient)
#include "tst_mqttclient.moc"
