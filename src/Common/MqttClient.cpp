#include "MqttClient.h"

#include <mosquitto.h>
#include <QDebug>
#include <limits>

namespace manager {

namespace {

// Every line of this class starts with the tag and is written as one piece, without
// the blanks and quotes the debug stream would add between items.
const QString kTag = QStringLiteral("[MqttClient] ");

void logDebug(const QString& text) {
    qDebug().noquote().nospace() << kTag << text;
}

void logInfo(const QString& text) {
    qInfo().noquote().nospace() << kTag << text;
}

void logWarning(const QString& text) {
    qWarning().noquote().nospace() << kTag << text;
}

QString boolText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

}  // namespace

MqttClient::MqttClient(QObject* parent) : QObject(parent) {
    qRegisterMetaType<MqttTransport::ClientState>();
    qRegisterMetaType<MqttTransport::ClientError>();
}

MqttClient::~MqttClient() = default;

void MqttClient::setHostname(const QString& hostname) {
    this->hostname = hostname;
}

void MqttClient::setPort(quint32 port) {
    if (port > std::numeric_limits<quint16>::max()) {
        logWarning(QStringLiteral("WARN: Port out of range: ") + QString::number(port));
    }
    this->port = port;
}

void MqttClient::setUsername(const QString& username) {
    this->username = username;
}

void MqttClient::setPassword(const QString& password) {
    this->password = password;
}

void MqttClient::setRetryMillis(quint32 millis) {
    retryMillis = static_cast<int>(qMin<quint32>(millis, std::numeric_limits<int>::max()));
}

void MqttClient::setEncrypted(bool encrypted) {
    this->encrypted = encrypted;
}

void MqttClient::setCleanSession(bool cleanSession) {
    this->cleanSession = cleanSession;
}

void MqttClient::setClientId(const QString& clientId) {
    this->clientId = clientId;
}

void MqttClient::setKeepAlive(quint8 seconds) {
    keepAlive = seconds;
}

void MqttClient::setWillMessage(const QByteArray& message) {
    willMessage = message;
}

void MqttClient::setWillQoS(quint8 qos) {
    willQos = qos;
}

void MqttClient::setWillRetain(bool retain) {
    willRetain = retain;
}

void MqttClient::setWillTopic(const QString& topic) {
    willTopic = topic;
}

MqttTransport::ClientState MqttClient::state() const {
    return client ? client->state() : MqttTransport::Disconnected;
}

void MqttClient::connect() {
    logInfo(QStringLiteral("Connecting to host"));
    initTimer();
    initClient();
    if (encrypted) {
        logWarning(QStringLiteral("Encryption not yet supported"));
    }
    client->connectToHost();
}

void MqttClient::disconnect() {
    logInfo(QStringLiteral("Disconnecting from host"));
    if (client) {
        client->disconnectFromHost();
    }
}

void MqttClient::initTimer() {
    if (!connectionTimer) {
        connectionTimer = std::make_unique<QTimer>();
        QObject::connect(connectionTimer.get(), &QTimer::timeout, this, &MqttClient::onTimeout);
    }
    logDebug(QStringLiteral("Applying client configuration:"));
    logDebug(QStringLiteral("Retry interval millis: ") + QString::number(retryMillis));
    connectionTimer->setInterval(retryMillis);
}

void MqttClient::initClient() {
    if (!client) {
        client = std::make_unique<MqttTransport>();
        MqttTransport* t = client.get();
        // The forwarding connections come first, so listeners of connected() run
        // before onConnected renews the subscriptions.
        QObject::connect(t, &MqttTransport::connected, this, &MqttClient::connected);
        QObject::connect(t, &MqttTransport::connected, this, &MqttClient::onConnected);
        QObject::connect(t, &MqttTransport::disconnected, this, &MqttClient::disconnected);
        QObject::connect(t, &MqttTransport::disconnected, this, &MqttClient::onDisconnected);
        QObject::connect(t, &MqttTransport::errorChanged, this, &MqttClient::onError);
        QObject::connect(t, &MqttTransport::stateChanged, this, &MqttClient::onStateChanged);
        QObject::connect(t, &MqttTransport::messageReceived, this, &MqttClient::onReceived);
    }
    logDebug(QStringLiteral("Applying client configuration:"));
    logDebug(QStringLiteral("Hostname: ") + hostname);
    logDebug(QStringLiteral("Port    : ") + QString::number(port));
    logDebug(QStringLiteral("Username: ") + username);
    logDebug(QStringLiteral("CleanSession: ") + boolText(cleanSession));
    logDebug(QStringLiteral("Client Id   : ") + clientId);
    logDebug(QStringLiteral("Keepalive   : ") + QString::number(keepAlive));
    logDebug(QStringLiteral("Will Message: ") + QString::fromUtf8(willMessage));
    logDebug(QStringLiteral("Will QoS    : ") + QString::number(willQos));
    logDebug(QStringLiteral("Will Retain : ") + boolText(willRetain));
    logDebug(QStringLiteral("Will Topic  : ") + willTopic);

    client->setHostname(hostname);
    client->setPort(static_cast<quint16>(port));
    client->setUsername(username);
    client->setPassword(password);
    client->setCleanSession(cleanSession);
    client->setClientId(clientId);
    client->setKeepAlive(keepAlive);
    client->setWillMessage(willMessage);
    client->setWillQoS(willQos);
    client->setWillRetain(willRetain);
    client->setWillTopic(willTopic);
}

void MqttClient::onStateChanged(MqttTransport::ClientState state) {
    switch (state) {
        case MqttTransport::Connecting:
            logDebug(QStringLiteral("State is Connecting."));
            connectionTimer->start(retryMillis);
            break;
        case MqttTransport::Connected:
            logDebug(QStringLiteral("State is Connected."));
            connectionTimer->stop();
            break;
        case MqttTransport::Disconnected:
            logDebug(QStringLiteral("State is Disconnected."));
            QTimer::singleShot(retryMillis, this, &MqttClient::onReconnect);
            break;
    }
}

void MqttClient::onTimeout() {
    // Breaks off an attempt that is not Connected in time; on a closed transport
    // this does nothing.
    client->closeTransport();
}

void MqttClient::onReconnect() {
    if (client && client->state() == MqttTransport::Disconnected) {
        connect();
    }
}

void MqttClient::onConnected() {
    logInfo(QStringLiteral("Connected to broker ") + hostname);
    // A copy: a listener may record a new subscription while we renew.
    const auto topics = subsTopics;
    for (const auto& entry : topics) {
        if (client->state() != MqttTransport::Connected) {
            break;  // lost again while renewing; the next connection renews all
        }
        doSubscribe(entry.first, static_cast<quint8>(entry.second));
    }
}

void MqttClient::onDisconnected() {
    logInfo(QStringLiteral("Disconnected from broker ") + hostname);
}

void MqttClient::subscribe(QString topic, uchar qos) {
    const QByteArray filter = topic.toUtf8();
    if (qos > 2 || filter.isEmpty() ||
        mosquitto_sub_topic_check(filter.constData()) != MOSQ_ERR_SUCCESS) {
        // Recording it would only repeat the failure after every reconnection.
        logWarning(QStringLiteral("WARN: Invalid subscription dropped: '") + topic +
                   QStringLiteral("' with QoS = ") + QString::number(qos));
        emit error(QStringLiteral("Subscription to ") + topic + QStringLiteral(" failed."));
        return;
    }
    bool known = false;
    for (auto& entry : subsTopics) {
        if (entry.first == topic) {
            entry.second = qos;  // one entry per filter, the latest QoS
            known = true;
            break;
        }
    }
    if (!known) {
        subsTopics.emplace_back(topic, qos);
    }
    if (client && client->state() == MqttTransport::Connected) {
        doSubscribe(topic, qos);
    }
}

void MqttClient::doSubscribe(const QString& filter, quint8 qos) {
    logInfo(QStringLiteral("Subscribing to '") + filter + QStringLiteral("' with QoS = ") +
            QString::number(qos));
    if (!client->subscribe(filter, qos)) {
        emit error(QStringLiteral("Subscription to ") + filter + QStringLiteral(" failed."));
    }
}

bool MqttClient::publish(QByteArray data, QString topic, uchar qos, bool retain) {
    if (!client || client->state() != MqttTransport::Connected) {
        return false;
    }
    logDebug(QStringLiteral("Publishing to topic '") + topic + QStringLiteral("' with Qos = ") +
             QString::number(qos) + QStringLiteral(" and Retain = ") + boolText(retain) +
             QStringLiteral(":\n") + QString::fromUtf8(data));
    if (client->publish(topic, data, qos, retain) == -1) {
        emit error(QStringLiteral("Publish to ") + topic + QStringLiteral(" failed."));
        return false;
    }
    return true;
}

void MqttClient::onReceived(QByteArray message, QString topic) {
    logDebug(QStringLiteral("Received on topic: ") + topic + QStringLiteral("\n") +
             QString::fromUtf8(message));
    emit received(message, topic.toUtf8());
}

void MqttClient::onError(MqttTransport::ClientError e) {
    QString text;
    switch (e) {
        case MqttTransport::NoError:
            return;
        case MqttTransport::InvalidProtocolVersion:
            text = QStringLiteral("Invalid protocol version: ") +
                   QString::number(client->protocolVersion()) +
                   QStringLiteral(
                       ". Broker does not accept a connection using the "
                       "specified protocol version.");
            break;
        case MqttTransport::IdRejected:
            text = QStringLiteral("Id rejected: ") + client->clientId() +
                   QStringLiteral(
                       ". The client ID is malformed. This might be related to "
                       "its length.");
            break;
        case MqttTransport::ServerUnavailable:
            text = QStringLiteral("Server unavailable: ") + client->hostname() +
                   QStringLiteral(":") + QString::number(client->port()) +
                   QStringLiteral(
                       ". The network connection has been established, but the "
                       "service is unavailable on the broker side.");
            break;
        case MqttTransport::BadUsernameOrPassword:
            text = QStringLiteral(
                "Bad username or password. The data in the username or password is malformed.");
            break;
        case MqttTransport::NotAuthorized:
            text = QStringLiteral("Not authorized: ") + client->clientId() +
                   QStringLiteral(". The client is not authorized to connect.");
            break;
        case MqttTransport::TransportInvalid:
            text = QStringLiteral(
                "Transport invalid: The underlying transport caused an error. For example, the "
                "connection might have been interrupted unexpectedly.");
            break;
        case MqttTransport::ProtocolViolation:
            text = QStringLiteral(
                "Protocol violation:The client encountered a protocol violation, and therefore "
                "closed the connection.");
            break;
        default:
            text = QStringLiteral("Unknown error.");
            break;
    }
    logWarning(text);
    emit error(QStringLiteral("Mqtt client error"));
}

}  // namespace manager
