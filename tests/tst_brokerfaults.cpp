// The broker going away under the running application: killed and restarted, frozen
// beyond the keep-alive, and the TCP connection cut, stalled or reset by a proxy in the
// middle of traffic. After every fault the client must be connected again, every
// manager's subscriptions must deliver again, and the validator must have shown
// "offline" while the broker was away.
//
// QUELLAN_FAULT_CYCLES sets the number of kill/restart cycles (20 by default);
// QUELLAN_FAULT_PRODUCT_TIMING=1 keeps the product's 3000 ms retry interval instead of
// the shortened one the CI run uses (scripts/soak sets both for the long run).
#include <sys/socket.h>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSet>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include "AppFixture.h"
#include "MqttClient.h"
#include "Validator.h"

namespace {

// Every topic the application subscribes to, grouped by the manager that owns it.
const QStringList kTopics{
    // validator
    "zorv/blm/info", "zorv/blm/status", "zorv/blm/config", "zorv/blm/rfid/retry",
    "zorv/blm/rfid/removed", "zorv/blm/rfid/scanned", "zorv/blm/barcode/scanned",
    "zorv/blm/barcode/maintenance/scanned", "zorv/rfid/card/removed", "zorv/rfid/card/found",
    // board
    "zorv/board/info", "zorv/board/status", "zorv/board/config", "zorv/board/display",
    "zorv/board/power", "zorv/board/audio", "zorv/board/event",
    // inspector
    "zorv/inspector/info", "zorv/inspector/status", "zorv/inspector/audio",
    "zorv/inspector/stats/cpu", "zorv/inspector/stats/memory", "zorv/inspector/stats/disk",
    // network and ethernet
    "zorv/network/info", "zorv/network/status", "zorv/network/ethernet/state",
    "zorv/network/ethernet/config",
    // update and clock
    "zorv/device/status", "zorv/device/update/software/status",
    "zorv/device/update/software/progress", "zorv/device/update/software/progess",
    "zorv/device/clock/ntp/status", "zorv/device/clock/ntp/config",
    // the UI's own requests
    "zorv/ui/info/get", "zorv/ui/status/get", "zorv/ui/config/get", "zorv/ui/config/set"};

int envInt(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

// A loopback TCP proxy between the client and the broker that can cut (FIN), reset
// (RST) or stall (stop forwarding) the connections it carries.
class FaultProxy : public QObject {
public:
    explicit FaultProxy(quint16 target) : m_target(target) {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] { accept(); });
    }
    ~FaultProxy() override { cut(); }

    quint16 port() const { return m_server.serverPort(); }

    void cut() {
        for (const Pair& pair : m_pairs) {
            pair.client->disconnectFromHost();
            pair.broker->disconnectFromHost();
        }
        release();
    }
    void reset() {
        for (const Pair& pair : m_pairs) {
            linger0(pair.client);
            linger0(pair.broker);
            pair.client->abort();
            pair.broker->abort();
        }
        release();
    }
    // Stops forwarding on the connections open now; later connections work normally.
    void stall() {
        for (Pair& pair : m_pairs) {
            pair.stalled = true;
        }
    }

private:
    struct Pair {
        QTcpSocket* client;
        QTcpSocket* broker;
        bool stalled = false;
    };

    static void linger0(QTcpSocket* socket) {
        const struct linger value { 1, 0 };
        if (socket->socketDescriptor() != -1) {
            ::setsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER,
                         &value, sizeof value);
        }
    }

    void release() {
        for (const Pair& pair : m_pairs) {
            pair.client->deleteLater();
            pair.broker->deleteLater();
        }
        m_pairs.clear();
    }

    void accept() {
        while (QTcpSocket* client = m_server.nextPendingConnection()) {
            auto* broker = new QTcpSocket(this);
            broker->connectToHost(QHostAddress::LocalHost, m_target);
            m_pairs.append(Pair{client, broker, false});
            auto forward = [this](QTcpSocket* from, QTcpSocket* to) {
                for (const Pair& pair : m_pairs) {
                    if ((pair.client == from || pair.broker == from) && pair.stalled) {
                        return;
                    }
                }
                if (to->state() == QAbstractSocket::ConnectedState) {
                    to->write(from->readAll());
                }
            };
            QObject::connect(client, &QTcpSocket::readyRead, this,
                             [=] { forward(client, broker); });
            QObject::connect(broker, &QTcpSocket::connected, this,
                             [=] { forward(client, broker); });
            QObject::connect(broker, &QTcpSocket::readyRead, this,
                             [=] { forward(broker, client); });
            // One side closing closes the other, as a real connection would.
            QObject::connect(client, &QTcpSocket::disconnected, broker,
                             &QTcpSocket::disconnectFromHost);
            QObject::connect(broker, &QTcpSocket::disconnected, client,
                             &QTcpSocket::disconnectFromHost);
        }
    }

    QTcpServer m_server;
    quint16 m_target;
    QList<Pair> m_pairs;
};

}  // namespace

class TestBrokerFaults : public QObject {
    Q_OBJECT

private slots:
    void killRestartCycles();
    void frozenBeyondKeepAlive();
    void proxyFaultsDuringTraffic();

private:
    // Publishes one probe on every topic and checks that each reached the client.
    static bool probeAll(AppFixture& app);
    static bool reconnectPeer(AppFixture& app);
};

bool TestBrokerFaults::probeAll(AppFixture& app) {
    QSignalSpy received(&app.gui().mqtt(), &manager::MqttClient::received);
    Peer prober;
    if (!prober.connect(app.broker().host(), app.broker().port())) {
        return false;
    }
    // A subscription stands once the broker has taken it, which the client does not
    // wait for: a topic whose probe got lost is probed again, until the deadline.
    QSet<QString> missing(kTopics.begin(), kTopics.end());
    QDeadlineTimer deadline(5000);
    while (!missing.isEmpty() && !deadline.hasExpired()) {
        for (const QString& topic : qAsConst(missing)) {
            // Not JSON: every manager must log it and drop it.
            prober.publish(topic, "probe");
        }
        waitUntil([&] { return received.count() >= missing.size(); }, 300);
        for (const QList<QVariant>& args : qAsConst(received)) {
            missing.remove(QString::fromUtf8(args.at(1).toByteArray()));
        }
        received.clear();
    }
    if (!missing.isEmpty()) {
        qWarning() << "No probe received on" << missing.values();
    }
    return missing.isEmpty();
}

bool TestBrokerFaults::reconnectPeer(AppFixture& app) {
    app.peer().disconnect();
    return app.peer().connect(app.broker().host(), app.broker().port()) &&
           app.peer().subscribe(QStringLiteral("#"));
}

void TestBrokerFaults::killRestartCycles() {
    const int cycles = envInt("QUELLAN_FAULT_CYCLES", 20);
    const bool productTiming = qEnvironmentVariableIntValue("QUELLAN_FAULT_PRODUCT_TIMING") == 1;
    // With credentials, so that every reconnection sends them again: a subscriber on
    // "#" must never see the password, whatever the application republishes.
    AppFixture app({{QStringLiteral("mqtt/username"), QStringLiteral("ui")},
                    {QStringLiteral("mqtt/password"), QStringLiteral("s3cr3t-pass")}});
    QVERIFY(app.ready());
    manager::Validator& validator = app.gui().validatorManager();
    // The CI run shortens the retry interval (and with it the attempt guard) so that
    // twenty cycles fit; the long run keeps the product's 3000 ms.
    const int retry = productTiming ? 3000 : 500;
    app.gui().mqtt().setRetryMillis(retry);
    QVERIFY(probeAll(app));

    QSignalSpy connected(&app.gui().mqtt(), &manager::MqttClient::connected);
    qint64 slowest = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        app.validatorOnline();
        QTRY_COMPARE(validator.status(), QStringLiteral("online"));

        app.broker().kill();
        QTRY_COMPARE(validator.status(), QStringLiteral("offline"));
        QCOMPARE(validator.reason(), QStringLiteral("MQTT Disconnected"));

        const int before = connected.count();
        QVERIFY(app.broker().start());
        QElapsedTimer clock;
        clock.start();
        // The next attempt comes at most one retry interval after the loss; it may take
        // up to the attempt guard (the same interval) to stand.
        const int bound = 2 * retry + 1000;
        QVERIFY2(waitUntil([&] { return connected.count() > before; }, bound + 2000),
                 qPrintable(QStringLiteral("cycle %1: no reconnection").arg(cycle)));
        slowest = qMax(slowest, clock.elapsed());
        QVERIFY2(clock.elapsed() <= bound,
                 qPrintable(QStringLiteral("cycle %1: reconnected after %2 ms")
                                .arg(cycle)
                                .arg(clock.elapsed())));
        QVERIFY(reconnectPeer(app));
        QVERIFY2(probeAll(app), qPrintable(QStringLiteral("cycle %1").arg(cycle)));
        // The validator comes back with the service's next report.
        app.validatorOnline();
        QTRY_COMPARE(validator.status(), QStringLiteral("online"));
    }
    for (const Peer::Message& m : app.peer().messages()) {
        QVERIFY2(!m.payload.contains("s3cr3t-pass"), qPrintable(m.topic));
    }
    QVERIFY(app.peer().count(QStringLiteral("zorv/ui/config")) > 0);
    qInfo("%d kill/restart cycles, retry %d ms, slowest reconnection %lld ms", cycles, retry,
          slowest);
}

void TestBrokerFaults::frozenBeyondKeepAlive() {
    AppFixture app;
    QVERIFY(app.ready());
    manager::Validator& validator = app.gui().validatorManager();
    app.validatorOnline();
    QTRY_COMPARE(validator.status(), QStringLiteral("online"));
    QSignalSpy connected(&app.gui().mqtt(), &manager::MqttClient::connected);

    // The client's keep-alive is 5 s: a broker frozen for twice that must be noticed.
    app.broker().stop();
    QVERIFY(waitUntil([&] { return validator.status() == QStringLiteral("offline"); }, 11000));
    QCOMPARE(validator.reason(), QStringLiteral("MQTT Disconnected"));
    app.broker().resume();

    QVERIFY(waitUntil([&] { return connected.count() > 0; }, 3000 + 3000 + 1000));
    QVERIFY(reconnectPeer(app));
    QVERIFY(probeAll(app));
    app.validatorOnline();
    QTRY_COMPARE(validator.status(), QStringLiteral("online"));
}

void TestBrokerFaults::proxyFaultsDuringTraffic() {
    Broker broker;
    QVERIFY(broker.start());
    Peer peer;
    QVERIFY(peer.connect(broker.host(), broker.port()));
    FaultProxy proxy(broker.port());

    manager::MqttClient client;
    manager::Validator validator(client, QStringLiteral("zorv/blm"));
    client.setHostname(broker.host());
    client.setPort(proxy.port());
    client.setKeepAlive(1);
    client.setRetryMillis(500);
    QSignalSpy connected(&client, &manager::MqttClient::connected);
    client.connect();
    QVERIFY(waitUntil([&] { return connected.count() == 1; }));

    const QByteArray online =
        QJsonDocument(AppFixture::object(
                          R"({"service": true, "device": {"rfid": {"state": 1, "active": true}},
        "state": {"init": false, "hasRfid": true, "hasRoute": true, "hasQr": true, "hasObu": true}})"))
            .toJson();
    const QByteArray down = R"({"service": false})";
    // The client does not wait for the broker to take its renewed subscriptions, so a
    // report sent right after the reconnection may be missed: the service repeats it.
    auto reportOnline = [&] {
        QDeadlineTimer deadline(5000);
        while (validator.status() != QLatin1String("online") && !deadline.hasExpired()) {
            peer.publish(QStringLiteral("zorv/blm/status"), online);
            waitUntil([&] { return validator.status() == QLatin1String("online"); }, 300);
        }
        return validator.status() == QLatin1String("online");
    };
    const QStringList faults{"cut", "stall", "reset", "cut", "reset"};
    for (const QString& fault : faults) {
        QTRY_COMPARE(client.state(), manager::MqttTransport::Connected);
        QVERIFY(reportOnline());
        const int before = connected.count();
        // Traffic in both directions while the fault strikes: status reports in,
        // configuration requests out, and garbage the manager must drop.
        for (int i = 0; i < 40; ++i) {
            peer.publish(QStringLiteral("zorv/blm/status"), i % 3 == 0 ? "{garbage" : down);
            validator.refreshConfig();
            if (i == 20) {
                if (fault == QLatin1String("cut")) {
                    proxy.cut();
                } else if (fault == QLatin1String("reset")) {
                    proxy.reset();
                } else {
                    proxy.stall();
                }
            }
            QCoreApplication::processEvents();
        }
        // A stalled connection is given up by the keep-alive (at least 5 s in the
        // transport): up to two intervals and a half, then the retry.
        QVERIFY2(waitUntil([&] { return connected.count() > before; }, 15000), qPrintable(fault));
        QTRY_COMPARE(client.state(), manager::MqttTransport::Connected);
        // Subscriptions renewed: the service's report arrives again.
        QVERIFY2(reportOnline(), qPrintable(fault));
    }
}

QTEST_MAIN(TestBrokerFaults)
#include "tst_brokerfaults.moc"
