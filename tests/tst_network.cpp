// The network manager, its ethernet child, the connection record and the IPv4
// record, driven through a real broker by a peer that plays the network service.

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaMethod>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlExpression>
#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <vector>

#include "Broker.h"
#include "Connection.h"
#include "Emissions.h"
#include "Ethernet.h"
#include "Fixtures.h"
#include "IPv4.h"
#include "LogCapture.h"
#include "MqttClient.h"
#include "Network.h"
#include "Peer.h"

namespace {

QByteArray networkFixture(const QString& name) {
    return fixture("network/" + name);
}

QJsonObject networkObject(const QString& name) {
    return fixtureObject("network/" + name);
}

}  // namespace

class TestNetwork : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void ipv4SettersInsertKeyAndSignalOnlyOnChange();
    void ipv4FromMapEmptiesInFieldOrder();
    void ipv4AddressRule_data();
    void ipv4AddressRule();
    void ipv4AddressRuleFromQml();
    void connectionFromConstructorMap();

    void statusMirrorsServiceAndComparesIpv4Maps();
    void statusWithIncompleteIpv4AlwaysDiffers();
    void statusWithoutPrimaryConnectionEmptiesIt();
    void topicsMatchWholeStrings();
    void monitorLogsAndPublishesNothing();

    void ethernetAsksForStateAndConfigOnConnect();
    void ethernetAsksAgainAfterReconnection();
    void ethernetStateIgnoresUsb0();
    void ethernetConfigAlwaysDiffersButFieldsSignalOnce();
    void ethernetSave_data();
    void ethernetSave();
    void ethernetSetMethodIsLocal();

    void malformedPayloadsAreDropped_data();
    void malformedPayloadsAreDropped();

private:
    // Connects the peer (listening below base) and the manager's client, and waits
    // until the manager's subscriptions are live: an unparsable probe on a topic it
    // handles comes back as its parse error.
    void connectAll(manager::MqttClient& client, Peer& peer, LogCapture& log,
                    const QString& probeTopic);
    QString nextBase() { return QStringLiteral("t%1/network").arg(++m_serial); }

    Broker m_broker;
    int m_serial = 0;
    QString m_base;
};

void TestNetwork::initTestCase() {
    QVERIFY(m_broker.start());
}

void TestNetwork::init() {
    m_base = nextBase();
}

void TestNetwork::connectAll(manager::MqttClient& client, Peer& peer, LogCapture& log,
                             const QString& probeTopic) {
    QVERIFY(peer.connect(m_broker.host(), m_broker.port()));
    QVERIFY(peer.subscribe(m_base.section(QLatin1Char('/'), 0, 0) + QStringLiteral("/#")));
    client.setHostname(m_broker.host());
    client.setPort(m_broker.port());
    client.connect();
    bool live = false;
    for (int attempt = 0; attempt < 20 && !live; ++attempt) {
        QVERIFY(peer.publish(probeTopic, QByteArrayLiteral("probe")));
        live = waitUntil([&] { return log.count("Failed to parse") > 0; }, 500);
    }
    QVERIFY2(live, "the manager's subscriptions never became live");
    QTest::qWait(50);
    log.clear();
    peer.clear();
}

// --- IPv4 and Connection records ------------------------------------------------------

void TestNetwork::ipv4SettersInsertKeyAndSignalOnlyOnChange() {
    IPv4 ipv4;
    Emissions emitted(&ipv4);

    // Setting the empty text on a record that never had the field signals nothing,
    // yet leaves the key present with a null value.
    ipv4.setAddress(QString());
    QCOMPARE(emitted.take(), QString());
    QVERIFY(ipv4.toMap().contains("address"));
    QVERIFY(ipv4.toMap().value("address").isNull());
    QCOMPARE(ipv4.toMap().size(), 1);

    ipv4.setAddress("10.0.0.5");
    ipv4.setMask("255.0.0.0");
    ipv4.setGateway("10.0.0.1");
    ipv4.setDns0("10.0.0.2");
    ipv4.setDns1("10.0.0.3");
    QCOMPARE(emitted.take(), QStringLiteral("addressChanged maskChanged gatewayChanged "
                                            "dns0Changed dns1Changed"));
    const QVariantMap wire{{"address", "10.0.0.5"},
                           {"netmask", "255.0.0.0"},
                           {"gateway", "10.0.0.1"},
                           {"dns0", "10.0.0.2"},
                           {"dns1", "10.0.0.3"}};
    QCOMPARE(ipv4.toMap(), wire);
    QCOMPARE(ipv4.mask(), QStringLiteral("255.0.0.0"));

    ipv4.setAddress("10.0.0.5");
    ipv4.setDns1("10.0.0.3");
    QCOMPARE(emitted.take(), QString());

    // The record checks nothing: any text is held as given.
    ipv4.setGateway("not an address");
    QCOMPARE(emitted.take(), QStringLiteral("gatewayChanged"));
    QCOMPARE(ipv4.gateway(), QStringLiteral("not an address"));
}

void TestNetwork::ipv4FromMapEmptiesInFieldOrder() {
    IPv4 ipv4;
    ipv4.fromMap(networkObject("ethernet-config-manual.json").toVariantMap());
    QCOMPARE(ipv4.mask(), QStringLiteral("255.255.255.0"));
    QCOMPARE(ipv4.toMap().size(), 5);  // "interface" and "method" are not taken

    Emissions emitted(&ipv4);
    ipv4.fromMap({});
    QCOMPARE(emitted.order(), (QStringList{"addressChanged", "maskChanged", "gatewayChanged",
                                           "dns0Changed", "dns1Changed"}));
    QCOMPARE(ipv4.address(), QString());
    QCOMPARE(ipv4.toMap().size(), 5);
}

void TestNetwork::ipv4AddressRule_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("empty") << "" << true;
    QTest::newRow("plain") << "192.168.1.40" << true;
    QTest::newRow("zeros") << "0.0.0.0" << true;
    QTest::newRow("limits, each width") << "255.25.199.9" << true;
    QTest::newRow("256") << "192.168.1.256" << false;
    QTest::newRow("leading zero") << "192.168.01.40" << false;
    QTest::newRow("three numbers") << "10.0.1" << false;
    QTest::newRow("five numbers") << "10.0.0.1.5" << false;
    QTest::newRow("trailing dot") << "1.2.3.4." << false;
    QTest::newRow("double dot") << "1.2..3.4" << false;
    QTest::newRow("blank after") << "1.2.3.4 " << false;
    QTest::newRow("line end after") << "1.2.3.4\n" << false;
    QTest::newRow("letters") << "a.b.c.d" << false;
    QTest::newRow("negative") << "-1.2.3.4" << false;
}

void TestNetwork::ipv4AddressRule() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(IPv4::isValidAddress(text), valid);
}

void TestNetwork::ipv4AddressRuleFromQml() {
    // The settings page reaches the rule through the IPv4 objects it already holds.
    manager::MqttClient client;
    manager::Network network(client, m_base);
    QQmlEngine engine;
    engine.rootContext()->setContextProperty("network", &network);
    const auto check = [&](const QString& text) {
        QQmlExpression expression(engine.rootContext(), nullptr,
                                  "network.ethernet.config.isValidAddress(\"" + text + "\")");
        const QVariant result = expression.evaluate();
        if (expression.hasError()) {
            qWarning() << expression.error().toString();
        }
        return result;
    };
    QCOMPARE(check("10.0.0.1"), QVariant(true));
    QCOMPARE(check(""), QVariant(true));
    QCOMPARE(check("10.0.0.01"), QVariant(false));
    QCOMPARE(check("1.2.3.4."), QVariant(false));
}

void TestNetwork::connectionFromConstructorMap() {
    const QVariantMap primary =
        networkObject("status.json").value("primaryConnection").toObject().toVariantMap();
    manager::Connection connection(primary);
    QCOMPARE(connection.interface(), QStringLiteral("eth0"));
    QCOMPARE(connection.state(), QStringLiteral("Connected"));
    QCOMPARE(connection.type(), QStringLiteral("ethernet"));
    QCOMPARE(connection.ipv4()->dns1(), QStringLiteral("8.8.8.8"));

    Emissions emitted(&connection);
    connection.fromMap(primary);
    QCOMPARE(emitted.take(), QString());
}

// --- Network manager -----------------------------------------------------------------

void TestNetwork::statusMirrorsServiceAndComparesIpv4Maps() {
    LogCapture log(LogCapture::SkipClient);
    manager::MqttClient client;
    manager::Network network(client, m_base);
    Peer peer;
    connectAll(client, peer, log, m_base + "/status");

    manager::Connection* primary = network.primaryConnection();
    IPv4* ipv4 = primary->ipv4();
    Emissions networkEmitted(&network);
    Emissions primaryEmitted(primary);
    Emissions ipv4Emitted(ipv4);

    QVERIFY(peer.publish(m_base + "/status", networkFixture("status.json")));
    QVERIFY(waitUntil([&] { return network.hostname() == "validator-0412"; }));
    QCOMPARE(network.connectionState(), QStringLiteral("Connected"));
    QCOMPARE(network.connectivity(), QStringLiteral("Full"));
    QCOMPARE(primary->interface(), QStringLiteral("eth0"));
    QCOMPARE(primary->state(), QStringLiteral("Connected"));
    QCOMPARE(primary->type(), QStringLiteral("ethernet"));
    QCOMPARE(ipv4->address(), QStringLiteral("192.168.10.40"));
    QCOMPARE(ipv4->mask(), QStringLiteral("255.255.255.0"));
    QCOMPARE(ipv4->gateway(), QStringLiteral("192.168.10.1"));
    QCOMPARE(ipv4->dns0(), QStringLiteral("192.168.10.1"));
    QCOMPARE(ipv4->dns1(), QStringLiteral("8.8.8.8"));
    QCOMPARE(networkEmitted.take(), QStringLiteral("connectionStateChanged connectivityChanged "
                                                   "hostnameChanged primaryConnectionChanged"));
    QCOMPARE(primaryEmitted.take(),
             QStringLiteral("interfaceChanged stateChanged typeChanged ipv4Changed"));
    QCOMPARE(ipv4Emitted.take(), QStringLiteral("addressChanged maskChanged gatewayChanged "
                                                "dns0Changed dns1Changed"));
    QCOMPARE(log.count("[Network]  Processing status topic  \"" + m_base + "/status\""), 1);

    // The same message again: only the primary connection is announced again.
    QVERIFY(peer.publish(m_base + "/status", networkFixture("status.json")));
    QVERIFY(waitUntil([&] { return log.count("Processing status topic") == 2; }));
    QCOMPARE(networkEmitted.take(), QStringLiteral("primaryConnectionChanged"));
    QCOMPARE(primaryEmitted.take(), QString());
    QCOMPARE(ipv4Emitted.take(), QString());

    // Only the second DNS server differs.
    QJsonObject status = networkObject("status.json");
    QJsonObject connection = status.value("primaryConnection").toObject();
    QJsonObject address = connection.value("ipv4").toObject();
    address.insert("dns1", "9.9.9.9");
    connection.insert("ipv4", address);
    status.insert("primaryConnection", connection);
    QVERIFY(peer.publish(m_base + "/status", compact(status)));
    QVERIFY(waitUntil([&] { return ipv4->dns1() == "9.9.9.9"; }));
    QCOMPARE(networkEmitted.take(), QStringLiteral("primaryConnectionChanged"));
    QCOMPARE(primaryEmitted.take(), QStringLiteral("ipv4Changed"));
    QCOMPARE(ipv4Emitted.take(), QStringLiteral("dns1Changed"));
    QCOMPARE(ipv4->address(), QStringLiteral("192.168.10.40"));

    // The network service is only listened to: nothing was published under its topics
    // but the ethernet child's requests and the peer's own messages.
    for (const Peer::Message& m : peer.messages()) {
        QVERIFY2(m.topic == m_base + "/status" || m.topic.startsWith(m_base + "/ethernet/"),
                 qPrintable(m.topic));
    }
}

void TestNetwork::statusWithIncompleteIpv4AlwaysDiffers() {
    LogCapture log(LogCapture::SkipClient);
    manager::MqttClient client;
    manager::Network network(client, m_base);
    Peer peer;
    connectAll(client, peer, log, m_base + "/status");
    Emissions primaryEmitted(network.primaryConnection());
    Emissions ipv4Emitted(network.primaryConnection()->ipv4());

    // Without "dns1" the received map never equals the five keys the record holds.
    QVERIFY(peer.publish(m_base + "/status", networkFixture("status-partial-ipv4.json")));
    QVERIFY(waitUntil([&] { return log.count("Processing status topic") == 1; }));
    QCOMPARE(primaryEmitted.take(),
             QStringLiteral("interfaceChanged stateChanged typeChanged ipv4Changed"));
    QCOMPARE(ipv4Emitted.take(),
             QStringLiteral("addressChanged maskChanged gatewayChanged dns0Changed"));

    QVERIFY(peer.publish(m_base + "/status", networkFixture("status-partial-ipv4.json")));
    QVERIFY(waitUntil([&] { return log.count("Processing status topic") == 2; }));
    QCOMPARE(primaryEmitted.take(), QStringLiteral("ipv4Changed"));
    QCOMPARE(ipv4Emitted.take(), QString());
    QCOMPARE(network.primaryConnection()->ipv4()->dns1(), QString());

    // A key beyond the five has the same effect.
    QJsonObject status = networkObject("status.json");
    QJsonObject connection = status.value("primaryConnection").toObject();
    QJsonObject address = connection.value("ipv4").toObject();
    address.insert("prefix", 24);
    connection.insert("ipv4", address);
    status.insert("primaryConnection", connection);
    for (int round = 1; round <= 2; ++round) {
        QVERIFY(peer.publish(m_base + "/status", compact(status)));
        QVERIFY(waitUntil([&] { return log.count("Processing status topic") == 2 + round; }));
        QCOMPARE(primaryEmitted.take(), QStringLiteral("ipv4Changed"));
    }
    QCOMPARE(ipv4Emitted.take(), QStringLiteral("addressChanged maskChanged gatewayChanged "
                                                "dns0Changed dns1Changed"));
}

void TestNetwork::statusWithoutPrimaryConnectionEmptiesIt() {
    LogCapture log(LogCapture::SkipClient);
    manager::MqttClient client;
    manager::Network network(client, m_base);
    Peer peer;
    connectAll(client, peer, log, m_base + "/status");

    QVERIFY(peer.publish(m_base + "/status", networkFixture("status.json")));
    QVERIFY(waitUntil([&] { return network.primaryConnection()->interface() == "eth0"; }));
    Emissions networkEmitted(&network);
    Emissions primaryEmitted(network.primaryConnection());
    Emissions ipv4Emitted(network.primaryConnection()->ipv4());

    QVERIFY(peer.publish(m_base + "/status", networkFixture("status-disconnected.json")));
    QVERIFY(waitUntil([&] { return network.connectionState() == "Disconnected"; }));
    QCOMPARE(networkEmitted.take(), QStringLiteral("connectionStateChanged connectivityChanged "
                                                   "primaryConnectionChanged"));
    QCOMPARE(primaryEmitted.take(),
             QStringLiteral("interfaceChanged stateChanged typeChanged ipv4Changed"));
    QCOMPARE(ipv4Emitted.take(), QStringLiteral("addressChanged maskChanged gatewayChanged "
                                                "dns0Changed dns1Changed"));
    QCOMPARE(network.primaryConnection()->type(), QString());
    QCOMPARE(network.primaryConnection()->ipv4()->address(), QString());
    QCOMPARE(network.hostname(), QStringLiteral("validator-0412"));
}

void TestNetwork::topicsMatchWholeStrings() {
    // Driven through the client's signal: the broker would not deliver these topics
    // to the manager's exact subscriptions in the first place.
    LogCapture log(LogCapture::SkipClient);
    manager::MqttClient client;
    manager::Network network(client, m_base);
    Emissions emitted(&network);
    const QByteArray status = networkFixture("status.json");

    emit client.received(status, (m_base + "/status/extra").toUtf8());
    emit client.received(status, ("x/" + m_base + "/status").toUtf8());
    emit client.received(status, (m_base + "/ethernet/status").toUtf8());
    emit client.received(status, QByteArrayLiteral("elsewhere/status"));
    QCOMPARE(emitted.take(), QString());
    QCOMPARE(network.hostname(), QString());
    QCOMPARE(log.count("Processing"), 0);

    // The info topic is only logged; a zero byte ends the topic.
    emit client.received(networkFixture("info.json"), (m_base + "/info").toUtf8() + '\0' + "junk");
    QCOMPARE(log.count("[Network]  Processing info topic  \"" + m_base + "/info\""), 1);
    QCOMPARE(emitted.take(), QString());

    // A top-level array reaches the status handler as an empty object.
    emit client.received(QByteArrayLiteral("[1, 2]"), (m_base + "/status").toUtf8());
    QCOMPARE(emitted.take(), QStringLiteral("primaryConnectionChanged"));
}

void TestNetwork::monitorLogsAndPublishesNothing() {
    LogCapture log(LogCapture::SkipClient);
    manager::MqttClient client;
    manager::Network network(client, m_base);
    Peer peer;
    connectAll(client, peer, log, m_base + "/status");

    // Stopping a monitor that never ran only says so.
    network.monitor(0);
    QCOMPARE(log.all(), QStringList{"[Network]  Monitor stopped"});
    log.clear();

    network.monitor(100);
    QCOMPARE(log.all().value(0), QStringLiteral("[Network]  Monitor started :  100  msec(s)"));
    QCOMPARE(log.all().value(1), QStringLiteral("[Network]  Refreshing data"));
    QVERIFY(waitUntil([&] { return log.count("[Network]  Refreshing data") >= 4; }));

    network.monitor(0);
    const int refreshes = log.count("Refreshing data");
    QTest::qWait(300);
    QCOMPARE(log.count("Refreshing data"), refreshes);
    QCOMPARE(log.count("[Network]  Monitor stopped"), 1);
    QCOMPARE(peer.messages().size(), 0);
}

// --- Ethernet ------------------------------------------------------------------------

void TestNetwork::ethernetAsksForStateAndConfigOnConnect() {
    LogCapture log(LogCapture::SkipClient);
    manager::MqttClient client;
    manager::Network network(client, m_base);
    QCOMPARE(network.ethernet()->parent(), &network);
    Peer peer;
    QVERIFY(peer.connect(m_broker.host(), m_broker.port()));
    QVERIFY(peer.subscribe(m_base + "/#"));
    client.setHostname(m_broker.host());
    client.setPort(m_broker.port());
    client.connect();

    QVERIFY(waitUntil([&] { return peer.messages().size() >= 2; }));
    QTest::qWait(100);
    const QList<Peer::Message> sent = peer.messages();
    QCOMPARE(sent.size(), 2);
    QCOMPARE(sent[0].topic, m_base + "/ethernet/state/get");
    QCOMPARE(sent[0].payload, QByteArrayLiteral("{}"));
    QCOMPARE(sent[1].topic, m_base + "/ethernet/config/get");
    QCOMPARE(sent[1].payload, QByteArrayLiteral("{}"));
    QVERIFY(!sent[0].retained);
    QCOMPARE(log.count("[Network][Ethernet]  Refreshing data"), 1);
    QCOMPARE(log.count("[Network]  Refreshing data"), 1);

    // The child subscribes first, and the client makes the subscriptions in that order.
    const QStringList subscribing = log.all().filter("Subscribing to topics");
    QCOMPARE(subscribing, (QStringList{"[Network][Ethernet]  Subscribing to topics",
                                       "[Network]  Subscribing to topics"}));
    QStringList made;
    for (const QString& line : log.client().filter("Subscribing to '")) {
        made << line.section(QLatin1Char('\''), 1, 1);
    }
    QCOMPARE(made, (QStringList{m_base + "/ethernet/state", m_base + "/ethernet/config",
                                m_base + "/info", m_base + "/status"}));
}

void TestNetwork::ethernetAsksAgainAfterReconnection() {
    Broker broker;  // its own broker, since this one is killed
    QVERIFY(broker.start());
    LogCapture log(LogCapture::SkipClient);
    manager::MqttClient client;
    client.setRetryMillis(200);
    manager::Network network(client, m_base);
    client.setHostname(broker.host());
    client.setPort(broker.port());
    client.connect();
    QVERIFY(waitUntil([&] { return log.count("[Network][Ethernet]  Refreshing data") == 1; }));

    // After the broker comes back, the client connects again and both ask again
    // (what reset() publishes is checked on the first connection above).
    broker.kill();
    QVERIFY(broker.start());
    QVERIFY(
        waitUntil([&] { return log.count("[Network][Ethernet]  Refreshing data") == 2; }, 10000));
    QVERIFY(waitUntil([&] { return log.count("[Network]  Refreshing data") == 2; }));
}

void TestNetwork::ethernetStateIgnoresUsb0() {
    LogCapture log(LogCapture::SkipClient);
    manager::MqttClient client;
    manager::Network network(client, m_base);
    manager::Ethernet* ethernet = network.ethernet();
    Peer peer;
    connectAll(client, peer, log, m_base + "/ethernet/state");
    Emissions emitted(ethernet);
    Emissions networkEmitted(&network);
    const QString topic = m_base + "/ethernet/state";

    QVERIFY(peer.publish(topic, networkFixture("ethernet-state-usb0.json")));
    QVERIFY(waitUntil([&] { return log.count("Processing state topic") == 1; }));
    QCOMPARE(emitted.take(), QString());
    QCOMPARE(ethernet->interface(), QString());
    QCOMPARE(ethernet->ipv4()->toMap(), QVariantMap());

    QVERIFY(peer.publish(topic, networkFixture("ethernet-state-eth0.json")));
    QVERIFY(waitUntil([&] { return log.count("Processing state topic") == 2; }));
    QCOMPARE(emitted.take(), QStringLiteral("interfaceChanged typeChanged stateChanged "
                                            "reasonChanged macChanged ipv4Changed"));
    QCOMPARE(ethernet->interface(), QStringLiteral("eth0"));
    QCOMPARE(ethernet->type(), QStringLiteral("ethernet"));
    QCOMPARE(ethernet->state(), QStringLiteral("Connected"));
    QCOMPARE(ethernet->reason(), QStringLiteral("none"));
    QCOMPARE(ethernet->mac(), QStringLiteral("02:42:AC:11:00:02"));
    QCOMPARE(ethernet->ipv4()->address(), QStringLiteral("192.168.10.40"));
    QCOMPARE(ethernet->ipv4()->dns1(), QStringLiteral("8.8.8.8"));
    QCOMPARE(ethernet->config()->address(), QString());
    QCOMPARE(log.count("[Network][Ethernet]  Interface changed :  \"eth0\""), 1);
    QCOMPARE(log.count("[Network][Ethernet]  MAC changed :  \"02:42:AC:11:00:02\""), 1);
    QCOMPARE(log.count("[Network][Ethernet]  IPv4 changed :  QMap("), 1);
    QCOMPARE(log.count("State changed"), 0);

    // Repeated: nothing changes, and usb0 still does not overwrite eth0.
    QVERIFY(peer.publish(topic, networkFixture("ethernet-state-eth0.json")));
    QVERIFY(peer.publish(topic, networkFixture("ethernet-state-usb0.json")));
    QVERIFY(waitUntil([&] { return log.count("Processing state topic") == 4; }));
    QCOMPARE(emitted.take(), QString());
    QCOMPARE(ethernet->mac(), QStringLiteral("02:42:AC:11:00:02"));
    QCOMPARE(log.count("IPv4 changed"), 1);
    // The child's topics pass the network manager's scope test and reach nothing there.
    QCOMPARE(networkEmitted.take(), QString());
}

void TestNetwork::ethernetConfigAlwaysDiffersButFieldsSignalOnce() {
    LogCapture log(LogCapture::SkipClient);
    manager::MqttClient client;
    manager::Network network(client, m_base);
    manager::Ethernet* ethernet = network.ethernet();
    Peer peer;
    connectAll(client, peer, log, m_base + "/ethernet/config");
    Emissions emitted(ethernet);
    Emissions configEmitted(ethernet->config());
    const QString topic = m_base + "/ethernet/config";

    QVERIFY(peer.publish(topic, networkFixture("ethernet-config-usb0.json")));
    QVERIFY(waitUntil([&] { return log.count("Processing config topic") == 1; }));
    QCOMPARE(emitted.take(), QString());
    QCOMPARE(ethernet->method(), QString());

    QVERIFY(peer.publish(topic, networkFixture("ethernet-config-manual.json")));
    QVERIFY(waitUntil([&] { return log.count("Processing config topic") == 2; }));
    QCOMPARE(emitted.take(), QStringLiteral("methodChanged configChanged"));
    QCOMPARE(configEmitted.take(), QStringLiteral("addressChanged maskChanged gatewayChanged "
                                                  "dns0Changed dns1Changed"));
    QCOMPARE(ethernet->method(), QStringLiteral("manual"));
    QCOMPARE(ethernet->config()->address(), QStringLiteral("10.0.0.5"));
    QCOMPARE(ethernet->config()->mask(), QStringLiteral("255.255.255.0"));
    QCOMPARE(ethernet->interface(), QString());  // the config's interface is not stored
    QCOMPARE(log.count("[Network][Ethernet]  Method changed :  \"manual\""), 1);

    QVERIFY(peer.publish(topic, networkFixture("ethernet-config-manual.json")));
    QVERIFY(waitUntil([&] { return log.count("Processing config topic") == 3; }));
    QCOMPARE(emitted.take(), QStringLiteral("configChanged"));
    QCOMPARE(configEmitted.take(), QString());
    QCOMPARE(log.count("[Network][Ethernet]  IPv4 changed :  QMap("), 2);
    QCOMPARE(log.count("Method changed"), 1);

    QVERIFY(peer.publish(topic, networkFixture("ethernet-config-auto.json")));
    QVERIFY(waitUntil([&] { return log.count("Processing config topic") == 4; }));
    QCOMPARE(emitted.take(), QStringLiteral("methodChanged configChanged"));
    QCOMPARE(configEmitted.take(), QStringLiteral("addressChanged maskChanged gatewayChanged "
                                                  "dns0Changed dns1Changed"));
}

void TestNetwork::ethernetSave_data() {
    QTest::addColumn<QString>("method");
    QTest::addColumn<QByteArray>("expected");

    // The static fields go out only with "manual", spelt exactly so.
    QTest::newRow("manual") << "manual" << indented(R"({"address": "10.1.2.3", "dns0": "10.1.0.53",
                                            "dns1": "1.1.1.1", "gateway": "10.1.0.1",
                                            "interface": "eth0", "method": "manual",
                                            "netmask": "255.255.0.0"})");
    const QString empty = R"({"address": "", "dns0": "", "dns1": "", "gateway": "",
                              "interface": "eth0", "method": "%1", "netmask": ""})";
    QTest::newRow("auto") << "auto" << indented(empty.arg("auto").toUtf8());
    QTest::newRow("capital Manual") << "Manual" << indented(empty.arg("Manual").toUtf8());
}

void TestNetwork::ethernetSave() {
    QFETCH(QString, method);
    QFETCH(QByteArray, expected);
    LogCapture log(LogCapture::SkipClient);
    manager::MqttClient client;
    manager::Network network(client, m_base);
    manager::Ethernet* ethernet = network.ethernet();
    Peer peer;
    connectAll(client, peer, log, m_base + "/ethernet/state");
    QVERIFY(peer.publish(m_base + "/ethernet/state", networkFixture("ethernet-state-eth0.json")));
    QVERIFY(waitUntil([&] { return ethernet->interface() == "eth0"; }));

    // What the settings page does: method and static fields, then save.
    ethernet->setMethod(method);
    IPv4* config = ethernet->config();
    config->setAddress("10.1.2.3");
    config->setMask("255.255.0.0");
    config->setGateway("10.1.0.1");
    config->setDns0("10.1.0.53");
    config->setDns1("1.1.1.1");
    peer.clear();
    log.clear();
    ethernet->save();

    const QString topic = m_base + "/ethernet/config/set";
    QVERIFY(waitUntil([&] { return peer.count(topic) == 1; }));
    QCOMPARE(peer.messages(topic).first().payload, expected);
    QVERIFY(!peer.messages(topic).first().retained);
    QCOMPARE(log.all(), (QStringList{"[Network][Ethernet]  Saving configuration",
                                     "[Network][Ethernet]  -------------------------",
                                     "[Network][Ethernet]  Method  :  \"" + method + "\"",
                                     "[Network][Ethernet]  Address :  \"10.1.2.3\"",
                                     "[Network][Ethernet]  Netmask :  \"255.255.0.0\"",
                                     "[Network][Ethernet]  Gateway :  \"10.1.0.1\"",
                                     "[Network][Ethernet]  DNS     :  \"10.1.0.53\" ,  \"1.1.1.1\"",
                                     "[Network][Ethernet]  -------------------------"}));
    // Saving changes nothing locally.
    QCOMPARE(ethernet->config()->address(), QStringLiteral("10.1.2.3"));
    QCOMPARE(ethernet->method(), method);
}

void TestNetwork::ethernetSetMethodIsLocal() {
    LogCapture log(LogCapture::SkipClient);
    manager::MqttClient client;
    manager::Network network(client, m_base);
    manager::Ethernet* ethernet = network.ethernet();
    Peer peer;
    connectAll(client, peer, log, m_base + "/ethernet/state");
    Emissions emitted(ethernet);

    ethernet->setMethod(QString());
    QCOMPARE(emitted.take(), QString());
    QCOMPARE(log.all(), QStringList());

    ethernet->setMethod("manual");
    ethernet->setMethod("manual");
    QCOMPARE(emitted.take(), QStringLiteral("methodChanged"));
    QCOMPARE(log.all(), QStringList{"[Network][Ethernet]  Method changed :  \"manual\""});

    // Before the service ever answered, save() sends the interface empty.
    ethernet->save();
    const QString topic = m_base + "/ethernet/config/set";
    QVERIFY(waitUntil([&] { return peer.count(topic) == 1; }));
    const QJsonObject sent = QJsonDocument::fromJson(peer.messages(topic).first().payload).object();
    QCOMPARE(sent.value("interface").toString(), QString());
    QCOMPARE(sent.value("method").toString(), QStringLiteral("manual"));
    QCOMPARE(sent.size(), 7);
    // Nothing but the save went out.
    QTest::qWait(100);
    QCOMPARE(peer.messages().size(), 1);
}

// --- Bad input -----------------------------------------------------------------------

void TestNetwork::malformedPayloadsAreDropped_data() {
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QStringList>("tags");
    QTest::addColumn<QByteArray>("payload");

    // The child's topics lie under the network base topic too, so both managers parse
    // them and each logs the failure once.
    const QStringList both{"[Network] ", "[Network][Ethernet] "};
    const QList<QPair<QString, QStringList>> topics{{"/info", {"[Network] "}},
                                                    {"/status", {"[Network] "}},
                                                    {"/ethernet/state", both},
                                                    {"/ethernet/config", both}};
    for (const auto& topic : topics) {
        const QByteArray name = topic.first.toUtf8();
        QTest::newRow(name + " text") << topic.first << topic.second << QByteArray("offline");
        QTest::newRow(name + " cut")
            << topic.first << topic.second << QByteArray("{\"stateStr\": \"connected");
        QTest::newRow(name + " binary")
            << topic.first << topic.second << QByteArray("\x00\xff{\x01", 4);
    }
}

void TestNetwork::malformedPayloadsAreDropped() {
    QFETCH(QString, suffix);
    QFETCH(QStringList, tags);
    QFETCH(QByteArray, payload);
    LogCapture log(LogCapture::SkipClient);
    manager::MqttClient client;
    manager::Network network(client, m_base);
    manager::Ethernet* ethernet = network.ethernet();
    Peer peer;
    connectAll(client, peer, log, m_base + "/status");

    QVERIFY(peer.publish(m_base + "/status", networkFixture("status.json")));
    QVERIFY(peer.publish(m_base + "/ethernet/state", networkFixture("ethernet-state-eth0.json")));
    QVERIFY(
        peer.publish(m_base + "/ethernet/config", networkFixture("ethernet-config-manual.json")));
    QVERIFY(waitUntil([&] { return ethernet->config()->address() == "10.0.0.5"; }));
    QVERIFY(waitUntil([&] { return network.hostname() == "validator-0412"; }));
    QVERIFY(waitUntil([&] { return ethernet->mac() == "02:42:AC:11:00:02"; }));
    const auto held = [&] {
        return QVariantList{network.primaryConnection()->ipv4()->toMap(), network.connectionState(),
                            ethernet->ipv4()->toMap(), ethernet->config()->toMap(),
                            ethernet->method()};
    };
    const QVariantList before = held();
    Emissions networkEmitted(&network);
    Emissions ethernetEmitted(ethernet);
    Emissions configEmitted(ethernet->config());
    log.clear();

    QVERIFY(peer.publish(m_base + suffix, payload));
    QVERIFY(waitUntil([&] { return !log.lines(QtCriticalMsg).isEmpty(); }));
    QTest::qWait(50);
    QCOMPARE(log.all().size(), tags.size());
    for (int i = 0; i < tags.size(); ++i) {
        QVERIFY2(log.lines(QtCriticalMsg)
                     .value(i)
                     .startsWith(tags[i] + " Failed to parse JSON message:  \""),
                 qPrintable(log.all().join('\n')));
    }

    QCOMPARE(held(), before);
    QCOMPARE(networkEmitted.take(), QString());
    QCOMPARE(ethernetEmitted.take(), QString());
    QCOMPARE(configEmitted.take(), QString());

    // The manager still works afterwards.
    QVERIFY(peer.publish(m_base + "/status", networkFixture("status-disconnected.json")));
    QVERIFY(waitUntil([&] { return network.connectionState() == "Disconnected"; }));
}

QTEST_GUILESS_MAIN(TestNetwork)
#include "tst_network.moc"
