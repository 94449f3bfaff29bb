#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <csignal>
#include <vector>

#include "Broker.h"
#include "FakeBroker.h"
#include "MqttTransport.h"
#include "Peer.h"

using manager::MqttTransport;

namespace {

// Every signal of a transport as one line each, in emission order.
class SignalLog : public QObject {
public:
    explicit SignalLog(MqttTransport* transport) {
        connect(
            transport, &MqttTransport::stateChanged, this,
            [this](MqttTransport::ClientState s) { lines << QStringLiteral("state %1").arg(s); });
        connect(transport, &MqttTransport::connected, this,
                [this] { lines << QStringLiteral("connected"); });
        connect(transport, &MqttTransport::disconnected, this,
                [this] { lines << QStringLiteral("disconnected"); });
        connect(
            transport, &MqttTransport::errorChanged, this,
            [this](MqttTransport::ClientError e) { lines << QStringLiteral("error %1").arg(e); });
    }
    QStringList lines;
};

// A loopback listener whose accept queue is full: a new TCP connect to it hangs in
// SYN-SENT, as to a host that does not answer.
class HangingListener {
public:
    ~HangingListener() {
        for (int fd : m_fds) {
            ::close(fd);
        }
    }

    bool open() {
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        m_fds.push_back(listener);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(listener, 0) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            return false;
        }
        m_port = ntohs(address.sin_port);
        // Connect until one connection stays pending: the queue is then full.
        for (int i = 0; i < 16; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            m_fds.push_back(fd);
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
            pollfd waiting{fd, POLLOUT, 0};
            if (::poll(&waiting, 1, 300) == 0) {
                return true;
            }
        }
        return false;
    }

    quint16 port() const { return m_port; }

private:
    std::vector<int> m_fds;
    quint16 m_port = 0;
};

}  // namespace

class TestMqttTransport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void acceptedConnectionAndDrop();
    void connectPacketCarriesSettings_data();
    void connectPacketCarriesSettings();
    void connackRefusals_data();
    void connackRefusals();
    void silentServer_data();
    void silentServer();
    void abortWhileTcpConnectHangs();
    void refusedPortReportedLater();
    void failuresBeforeConnectingAreQueued();
    void refusedWhileNotConnected();
    void invalidTopicsRefused();
    void disconnectSendsDisconnect();
    void reentrantCallsFromSlots();
    void deletedFromItsOwnSlots_data();
    void deletedFromItsOwnSlots();
};

void TestMqttTransport::initTestCase() {
    std::signal(SIGPIPE, SIG_IGN);
}

// CONNACK 0 gives Connecting, Connected and connected(), no error; a cut connection
// then gives Disconnected, disconnected() and TransportInvalid, in Qt's order.
void TestMqttTransport::acceptedConnectionAndDrop() {
    FakeBroker fake;
    QVERIFY(fake.listen());
    MqttTransport transport;
    transport.setHostname(QStringLiteral("127.0.0.1"));
    transport.setPort(fake.port());
    transport.setKeepAlive(60);
    SignalLog log(&transport);

    transport.connectToHost();
    QCOMPARE(log.lines, QStringList{QStringLiteral("state 1")});
    QVERIFY(waitUntil([&] { return transport.state() == MqttTransport::Connected; }));
    QCOMPARE(log.lines, (QStringList{"state 1", "state 2", "connected"}));
    QCOMPARE(transport.error(), MqttTransport::NoError);
    QCOMPARE(fake.count(1), 1);

    log.lines.clear();
    fake.dropClients();
    QVERIFY(waitUntil([&] { return transport.state() == MqttTransport::Disconnected; }));
    QCOMPARE(log.lines, (QStringList{"state 0", "disconnected", "error 256"}));
    QCOMPARE(transport.error(), MqttTransport::TransportInvalid);

    // A new attempt starts without the old error and reports the same error anew.
    log.lines.clear();
    transport.connectToHost();
    QCOMPARE(transport.error(), MqttTransport::NoError);
    QVERIFY(waitUntil([&] { return transport.state() == MqttTransport::Connected; }));
    fake.dropClients();
    QVERIFY(waitUntil([&] { return transport.state() == MqttTransport::Disconnected; }));
    QCOMPARE(log.lines, (QStringList{"state 1", "state 2", "connected", "state 0", "disconnected",
                                     "error 256"}));
}

void TestMqttTransport::connectPacketCarriesSettings_data() {
    QTest::addColumn<quint16>("keepAlive");
    QTest::addColumn<QString>("willTopic");
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("sentKeepAlive");
    // user name 0x80, password 0x40, will retain 0x20, will QoS 1 0x08, will 0x04
    QTest::newRow("all settings") << quint16(7) << "zorv/ui/status" << 0xec << 7;
    // A will topic the library refuses is dropped; a keep-alive below its least
    // is raised: the device still gets onto the broker.
    QTest::newRow("bad will, short keep-alive") << quint16(1) << "zorv/+/status" << 0xc0 << 5;
}

// The CONNECT packet is MQTT 3.1.1 and carries what was set.
void TestMqttTransport::connectPacketCarriesSettings() {
    QFETCH(quint16, keepAlive);
    QFETCH(QString, willTopic);
    QFETCH(int, flags);
    QFETCH(int, sentKeepAlive);
    FakeBroker fake;
    QVERIFY(fake.listen());
    MqttTransport transport;
    transport.setHostname(QStringLiteral("127.0.0.1"));
    transport.setPort(fake.port());
    transport.setClientId(QStringLiteral("validator-7"));
    transport.setUsername(QStringLiteral("ui"));
    transport.setPassword(QStringLiteral("pw"));
    transport.setCleanSession(false);
    transport.setKeepAlive(keepAlive);
    transport.setWillTopic(willTopic);
    transport.setWillMessage("offline");
    transport.setWillQoS(1);
    transport.setWillRetain(true);
    transport.connectToHost();
    QVERIFY(waitUntil([&] { return transport.state() == MqttTransport::Connected; }));

    const QByteArray connect = fake.packets().at(0);
    QCOMPARE(connect.mid(2, 7), QByteArray("\x00\x04MQTT\x04", 7));
    QCOMPARE(static_cast<quint8>(connect.at(9)), quint8(flags));
    QCOMPARE(static_cast<quint8>(connect.at(10)) << 8 | static_cast<quint8>(connect.at(11)),
             sentKeepAlive);
    QVERIFY(connect.contains("validator-7"));
    QCOMPARE(connect.contains("offline"), (flags & 0x04) != 0);
}

void TestMqttTransport::connackRefusals_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<MqttTransport::ClientError>("error");
    QTest::newRow("protocol") << 1 << MqttTransport::InvalidProtocolVersion;
    QTest::newRow("id") << 2 << MqttTransport::IdRejected;
    QTest::newRow("unavailable") << 3 << MqttTransport::ServerUnavailable;
    QTest::newRow("credentials") << 4 << MqttTransport::BadUsernameOrPassword;
    QTest::newRow("authorization") << 5 << MqttTransport::NotAuthorized;
    QTest::newRow("unknown code") << 6 << MqttTransport::ProtocolViolation;
}

// Each refusal code ends the attempt: state first, then disconnected(), then the
// error; never connected().
void TestMqttTransport::connackRefusals() {
    QFETCH(int, code);
    QFETCH(MqttTransport::ClientError, error);
    FakeBroker fake;
    QVERIFY(fake.listen());
    fake.setConnackCode(code);
    MqttTransport transport;
    transport.setHostname(QStringLiteral("localhost"));
    transport.setPort(fake.port());
    SignalLog log(&transport);

    transport.connectToHost();
    QVERIFY(waitUntil([&] { return log.lines.size() == 4; }));
    QCOMPARE(log.lines, (QStringList{"state 1", "state 0", "disconnected",
                                     QStringLiteral("error %1").arg(error)}));
    QCOMPARE(transport.state(), MqttTransport::Disconnected);
    QCOMPARE(transport.error(), error);
    QTest::qWait(100);
    QCOMPARE(log.lines.size(), 4);
}

void TestMqttTransport::silentServer_data() {
    QTest::addColumn<bool>("connack");
    QTest::newRow("no CONNACK") << false;
    QTest::newRow("no PINGRESP") << true;
}

// A server that stops answering is given up after the keep-alive with
// ServerUnavailable.
void TestMqttTransport::silentServer() {
    QFETCH(bool, connack);
    FakeBroker fake;
    QVERIFY(fake.listen());
    fake.setConnackCode(connack ? 0 : -1);
    fake.setAnswerPings(false);
    MqttTransport transport;
    transport.setHostname(QStringLiteral("127.0.0.1"));
    transport.setPort(fake.port());
    transport.setKeepAlive(5);
    SignalLog log(&transport);

    transport.connectToHost();
    QVERIFY(waitUntil([&] { return fake.count(1) == 1; }));
    QVERIFY(waitUntil([&] { return transport.state() == MqttTransport::Disconnected; }, 15000));
    QCOMPARE(transport.error(), MqttTransport::ServerUnavailable);
    QCOMPARE(log.lines.last(), QStringLiteral("error 3"));
    QCOMPARE(log.lines.contains(QStringLiteral("connected")), connack);
    QCOMPARE(fake.count(12) > 0, connack);  // it did ask
}

// closeTransport() breaks off an attempt whose TCP connect still hangs, at once,
// and nothing of that attempt is reported later.
void TestMqttTransport::abortWhileTcpConnectHangs() {
    HangingListener listener;
    QVERIFY(listener.open());
    MqttTransport transport;
    transport.setHostname(QStringLiteral("127.0.0.1"));
    transport.setPort(listener.port());
    SignalLog log(&transport);

    transport.connectToHost();
    QTest::qWait(500);
    QCOMPARE(transport.state(), MqttTransport::Connecting);

    transport.closeTransport();
    QCOMPARE(transport.state(), MqttTransport::Disconnected);
    QCOMPARE(log.lines, (QStringList{"state 1", "state 0", "disconnected", "error 256"}));
    QTest::qWait(1500);  // past the housekeeping timer
    QCOMPARE(log.lines.size(), 4);

    // Closing a closed transport does nothing.
    transport.closeTransport();
    transport.disconnectFromHost();
    QCOMPARE(log.lines.size(), 4);
}

// A port where nobody listens fails from the event loop, not inside connectToHost.
void TestMqttTransport::refusedPortReportedLater() {
    MqttTransport transport;
    transport.setHostname(QStringLiteral("127.0.0.1"));
    transport.setPort(Broker::freePort());
    SignalLog log(&transport);

    transport.connectToHost();
    QCOMPARE(log.lines, QStringList{QStringLiteral("state 1")});
    QVERIFY(waitUntil([&] { return transport.state() == MqttTransport::Disconnected; }));
    QCOMPARE(log.lines, (QStringList{"state 1", "state 0", "disconnected", "error 256"}));
}

void TestMqttTransport::failuresBeforeConnectingAreQueued() {
    // An unknown host.
    MqttTransport unknown;
    unknown.setHostname(QStringLiteral("no-such-host.invalid"));
    SignalLog unknownLog(&unknown);
    unknown.connectToHost();
    QCOMPARE(unknownLog.lines, QStringList{QStringLiteral("state 1")});
    QVERIFY(waitUntil([&] { return unknown.state() == MqttTransport::Disconnected; }, 10000));
    QCOMPARE(unknown.error(), MqttTransport::TransportInvalid);

    // No client id and no clean session: the library refuses to make the client.
    FakeBroker fake;
    QVERIFY(fake.listen());
    MqttTransport anonymous;
    anonymous.setHostname(QStringLiteral("127.0.0.1"));
    anonymous.setPort(fake.port());
    anonymous.setCleanSession(false);
    SignalLog anonymousLog(&anonymous);
    anonymous.connectToHost();
    QCOMPARE(anonymousLog.lines, QStringList{QStringLiteral("state 1")});
    QVERIFY(waitUntil([&] { return anonymous.state() == MqttTransport::Disconnected; }));
    QCOMPARE(anonymous.error(), MqttTransport::IdRejected);
    QCOMPARE(anonymousLog.lines.last(), QStringLiteral("error 2"));
}

// Nothing goes out unless connected; settings are kept while an attempt runs.
void TestMqttTransport::refusedWhileNotConnected() {
    FakeBroker fake;
    QVERIFY(fake.listen());
    fake.setConnackCode(-1);
    MqttTransport transport;
    QVERIFY(!transport.subscribe(QStringLiteral("a/b")));
    QCOMPARE(transport.publish(QStringLiteral("a/b"), "x"), -1);

    transport.setHostname(QStringLiteral("127.0.0.1"));
    transport.setPort(fake.port());
    transport.connectToHost();
    QVERIFY(waitUntil([&] { return fake.count(1) == 1; }));
    QCOMPARE(transport.state(), MqttTransport::Connecting);
    QVERIFY(!transport.subscribe(QStringLiteral("a/b")));
    QCOMPARE(transport.publish(QStringLiteral("a/b"), "x"), -1);
    transport.setHostname(QStringLiteral("elsewhere"));
    QCOMPARE(transport.hostname(), QStringLiteral("127.0.0.1"));
    transport.connectToHost();  // ignored while an attempt runs
    QTest::qWait(200);
    QCOMPARE(fake.connections(), 1);
    QCOMPARE(fake.count(8), 0);
    QCOMPARE(fake.count(3), 0);
}

void TestMqttTransport::invalidTopicsRefused() {
    FakeBroker fake;
    QVERIFY(fake.listen());
    MqttTransport transport;
    transport.setHostname(QStringLiteral("127.0.0.1"));
    transport.setPort(fake.port());
    transport.connectToHost();
    QVERIFY(waitUntil([&] { return transport.state() == MqttTransport::Connected; }));

    QVERIFY(!transport.subscribe(QStringLiteral("a/#/b")));
    QVERIFY(!transport.subscribe(QStringLiteral("a+/b")));
    QVERIFY(!transport.subscribe(QString()));
    QVERIFY(!transport.subscribe(QStringLiteral("a/b"), 3));
    QCOMPARE(transport.publish(QStringLiteral("a/+"), "x"), -1);
    QCOMPARE(transport.publish(QStringLiteral("a/#"), "x"), -1);
    QCOMPARE(transport.publish(QString(), "x"), -1);
    QCOMPARE(transport.publish(QStringLiteral("a/b"), "x", 3), -1);

    manager::MqttSubscription* sub = transport.subscribe(QStringLiteral("a/+/c"), 1);
    QVERIFY(sub);
    QCOMPARE(sub->topic(), QStringLiteral("a/+/c"));
    QCOMPARE(sub->qos(), quint8(1));
    QCOMPARE(transport.publish(QStringLiteral("a/b"), "x"), 0);
    QVERIFY(transport.publish(QStringLiteral("a/b"), "y", 1) > 0);
    QVERIFY(waitUntil([&] { return fake.count(8) == 1 && fake.count(3) == 2; }));
    QCOMPARE(transport.state(), MqttTransport::Connected);
}

// disconnectFromHost() sends DISCONNECT and ends in Disconnected without an error;
// the library's disconnect callback from inside that call is harmless.
void TestMqttTransport::disconnectSendsDisconnect() {
    FakeBroker fake;
    QVERIFY(fake.listen());
    MqttTransport transport;
    transport.setHostname(QStringLiteral("127.0.0.1"));
    transport.setPort(fake.port());
    SignalLog log(&transport);
    transport.connectToHost();
    QVERIFY(waitUntil([&] { return transport.state() == MqttTransport::Connected; }));

    log.lines.clear();
    transport.disconnectFromHost();
    QCOMPARE(transport.state(), MqttTransport::Disconnected);
    QCOMPARE(log.lines, (QStringList{"state 0", "disconnected"}));
    QVERIFY(waitUntil([&] { return fake.count(14) == 1; }));
    QVERIFY(waitUntil([&] { return fake.openClients() == 0; }));
    QTest::qWait(1200);
    QCOMPARE(log.lines.size(), 2);
    QCOMPARE(transport.error(), MqttTransport::NoError);
}

// Slots may end or restart the connection from inside the transport's signals.
void TestMqttTransport::reentrantCallsFromSlots() {
    FakeBroker fake;
    QVERIFY(fake.listen());
    MqttTransport transport;
    transport.setHostname(QStringLiteral("127.0.0.1"));
    transport.setPort(fake.port());
    QList<QByteArray> payloads;
    connect(&transport, &MqttTransport::messageReceived, this,
            [&](const QByteArray& message, const QString& topic) {
                payloads << message;
                QCOMPARE(topic, QStringLiteral("dev/ü"));
                transport.disconnectFromHost();
            });
    int restarts = 0;
    connect(&transport, &MqttTransport::disconnected, this, [&] {
        if (restarts++ == 0) {
            transport.connectToHost();
        }
    });
    transport.connectToHost();
    QVERIFY(waitUntil([&] { return transport.state() == MqttTransport::Connected; }));

    // Two messages in one read: the second belongs to an ended connection.
    fake.publish(QStringLiteral("dev/ü").toUtf8(), QByteArray("\x00\x01", 2));
    fake.publish(QStringLiteral("dev/ü").toUtf8(), "second");
    QVERIFY(waitUntil([&] { return restarts == 1; }));
    QCOMPARE(payloads, QList<QByteArray>{QByteArray("\x00\x01", 2)});
    QVERIFY(waitUntil([&] { return transport.state() == MqttTransport::Connected; }));
    QCOMPARE(fake.connections(), 2);

    // A restart from stateChanged after a cut: the new attempt starts without the
    // old error, and the error signal still follows.
    bool restartOnState = true;
    connect(&transport, &MqttTransport::stateChanged, this, [&](MqttTransport::ClientState s) {
        if (s == MqttTransport::Disconnected && restartOnState) {
            restartOnState = false;
            transport.connectToHost();
        }
    });
    QSignalSpy errors(&transport, &MqttTransport::errorChanged);
    fake.dropClients();
    QVERIFY(waitUntil([&] { return fake.connections() == 3; }));
    QVERIFY(waitUntil([&] { return transport.state() == MqttTransport::Connected; }));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(transport.error(), MqttTransport::NoError);
}

void TestMqttTransport::deletedFromItsOwnSlots_data() {
    QTest::addColumn<QString>("signal");
    QTest::newRow("connected") << "connected";
    QTest::newRow("message") << "message";
    QTest::newRow("lost") << "lost";
}

// A listener that deletes the transport from one of its signals ends everything
// that transport was doing, without touching freed memory.
void TestMqttTransport::deletedFromItsOwnSlots() {
    QFETCH(QString, signal);
    FakeBroker fake;
    QVERIFY(fake.listen());
    QPointer<MqttTransport> transport = new MqttTransport;
    transport->setHostname(QStringLiteral("127.0.0.1"));
    transport->setPort(fake.port());
    auto destroy = [&] { delete transport.data(); };
    if (signal == QLatin1String("connected")) {
        connect(transport, &MqttTransport::connected, this, destroy);
    } else if (signal == QLatin1String("message")) {
        connect(transport, &MqttTransport::messageReceived, this, destroy);
    } else {
        connect(transport, &MqttTransport::disconnected, this, destroy);
    }
    transport->connectToHost();
    QVERIFY(
        waitUntil([&] { return !transport || transport->state() == MqttTransport::Connected; }));
    if (transport) {
        fake.publish("a", "1");
        fake.publish("a", "2");
        if (signal == QLatin1String("lost")) {
            fake.dropClients();
        }
    }
    QVERIFY(waitUntil([&] { return transport.isNull(); }));
    QVERIFY(waitUntil([&] { return fake.openClients() == 0; }));
    QTest::qWait(1200);
}

QTEST_GUILESS_MAIN(TestMqttTransport)
#include "tst_mqtttransport.moc"
