// The broker going away under the running application: killed and restarted, and the
// TCP connection cut, stalled (a frozen broker) or reset by a proxy in the middle of
// traffic. After every fault the client is connected again, every manager's
// subscriptions deliver again, and the validator showed "offline" meanwhile.
//
// QUELLAN_FAULT_CYCLES sets the kill/restart cycles (3 by default);
// QUELLAN_FAULT_PRODUCT_TIMING=1 keeps the product's 3000 ms retry interval instead of
// the shortened one (scripts/soak sets both for the long run).
#include <sys/socket.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include "AppFixture.h"
#include "MqttClient.h"
#include "Validator.h"

namespace {

// One topic of each manager's subscriptions, and one of the UI's own requests.
const QStringList kTopics = QString(
                                "zorv/blm/status zorv/rfid/card/found zorv/board/event "
                                "zorv/inspector/stats/disk zorv/network/status "
                                "zorv/network/ethernet/config zorv/device/update/software/progess "
                                "zorv/device/clock/ntp/config zorv/ui/config/get")
                                .split(' ');

// A loopback TCP proxy between the client and the broker that cuts (FIN), resets (RST)
// or stalls (stops forwarding on) the connections it carries.
class FaultProxy : public QObject {
public:
    explicit FaultProxy(quint16 target) : m_target(target) {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, &FaultProxy::accept);
    }
    quint16 port() const { return m_server.serverPort(); }
    void strike(const QString& fault) {
        for (QTcpSocket* socket : qAsConst(m_sockets)) {
            if (fault == "stall") {
                socket->setProperty("stalled", true);
            } else if (fault == "reset") {
                const struct linger value { 1, 0 };
                ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &value,
                             sizeof value);
                socket->abort();
            } else {
                socket->disconnectFromHost();
            }
        }
        if (fault != "stall") {
            m_sockets.clear();
        }
    }

private:
    void accept() {
        while (QTcpSocket* client = m_server.nextPendingConnection()) {
            auto* broker = new QTcpSocket(this);
            broker->connectToHost(QHostAddress::LocalHost, m_target);
            m_sockets << client << broker;
            const auto forward = [](QTcpSocket* from, QTcpSocket* to) {
                if (!from->property("stalled").toBool() &&
                    to->state() == QTcpSocket::ConnectedState) {
                    to->write(from->readAll());
                }
            };
            connect(client, &QTcpSocket::readyRead, this, [=] { forward(client, broker); });
            connect(broker, &QTcpSocket::connected, this, [=] { forward(client, broker); });
            connect(broker, &QTcpSocket::readyRead, this, [=] { forward(broker, client); });
            connect(client, &QTcpSocket::disconnected, broker, &QTcpSocket::disconnectFromHost);
            connect(broker, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
        }
    }
    QTcpServer m_server;
    quint16 m_target;
    QList<QTcpSocket*> m_sockets;
};

// Publishes unparsable probes on every topic until each reached the client (the client
// does not wait for the broker to take its renewed subscriptions).
bool probeAll(AppFixture& app) {
    QSignalSpy received(&app.gui().mqtt(), &manager::MqttClient::received);
    Peer prober;
    if (!prober.connect(app.broker().host(), app.broker().port())) {
        return false;
    }
    QSet<QString> missing(kTopics.begin(), kTopics.end());
    for (QDeadlineTimer deadline(5000); !missing.isEmpty() && !deadline.hasExpired();) {
        for (const QString& topic : qAsConst(missing)) {
            prober.publish(topic, "probe");
        }
        waitUntil([&] { return received.count() >= missing.size(); }, 300);
        for (const QList<QVariant>& args : qAsConst(received)) {
            missing.remove(QString::fromUtf8(args.at(1).toByteArray()));
        }
        received.clear();
    }
    return missing.isEmpty();
}

}  // namespace

class TestBrokerFaults : public QObject {
    Q_OBJECT

private slots:
    void killRestartCycles();
    void proxyFaultsDuringTraffic();
};

void TestBrokerFaults::killRestartCycles() {
    const int cycles = qEnvironmentVariableIntValue("QUELLAN_FAULT_CYCLES") > 0
                           ? qEnvironmentVariableIntValue("QUELLAN_FAULT_CYCLES")
                           : 3;
    const int retry =
        qEnvironmentVariableIntValue("QUELLAN_FAULT_PRODUCT_TIMING") == 1 ? 3000 : 500;
    // With credentials: a subscriber on "#" must never see the password, whatever the
    // application sends again after each reconnection.
    AppFixture app({{"mqtt/username", "ui"}, {"mqtt/password", "s3cr3t-pass"}});
    QVERIFY(app.ready());
    manager::Validator& validator = app.gui().validatorManager();
    app.gui().mqtt().setRetryMillis(retry);
    QSignalSpy connected(&app.gui().mqtt(), &manager::MqttClient::connected);
    for (int cycle = 0; cycle < cycles; ++cycle) {
        app.validatorOnline();
        QTRY_COMPARE(validator.status(), QString("online"));
        app.broker().kill();
        QTRY_COMPARE(validator.status(), QString("offline"));
        QCOMPARE(validator.reason(), QString("MQTT Disconnected"));
        const int before = connected.count();
        QVERIFY(app.broker().start());
        // The next attempt comes within one retry interval; it may take the attempt
        // guard (the same interval) to stand.
        QVERIFY2(waitUntil([&] { return connected.count() > before; }, 2 * retry + 1000),
                 qPrintable(QString("cycle %1").arg(cycle)));
        app.peer().disconnect();
        QVERIFY(app.peer().connect(app.broker().host(), app.broker().port()));
        QVERIFY(app.peer().subscribe("#"));
        QVERIFY(probeAll(app));
    }
    QVERIFY(app.peer().count("zorv/ui/config") > 0);
    for (const Peer::Message& m : app.peer().messages()) {
        QVERIFY2(!m.payload.contains("s3cr3t-pass"), qPrintable(m.topic));
    }
}

void TestBrokerFaults::proxyFaultsDuringTraffic() {
    Broker broker;
    QVERIFY(broker.start());
    Peer peer;
    QVERIFY(peer.connect(broker.host(), broker.port()));
    FaultProxy proxy(broker.port());
    manager::MqttClient client;
    manager::Validator validator(client, "zorv/blm");
    client.setPort(proxy.port());
    client.setKeepAlive(1);
    client.setRetryMillis(500);
    QSignalSpy connected(&client, &manager::MqttClient::connected);
    client.connect();
    const QByteArray online = R"({"service": true,
        "state": {"hasRfid": true, "hasRoute": true, "hasQr": true, "hasObu": true}})";
    const auto reportOnline = [&] {
        return waitUntil([&] {
            peer.publish("zorv/blm/status", online);
            return waitUntil([&] { return validator.status() == "online"; }, 300);
        });
    };
    for (const QString fault : {"cut", "stall", "reset"}) {
        QVERIFY(reportOnline());
        const int before = connected.count();
        // Traffic both ways while the fault strikes, garbage among it.
        for (int i = 0; i < 40; ++i) {
            peer.publish("zorv/blm/status", i % 3 == 0 ? "{garbage" : R"({"service": false})");
            validator.refreshConfig();
            if (i == 20) {
                proxy.strike(fault);
            }
            QCoreApplication::processEvents();
        }
        // A stalled connection is given up by the keep-alive (5 s at least), then retried.
        QVERIFY2(waitUntil([&] { return connected.count() > before; }, 15000), qPrintable(fault));
        QVERIFY2(reportOnline(), qPrintable(fault));
    }
}

QTEST_MAIN(TestBrokerFaults)
#include "tst_brokerfaults.moc"
