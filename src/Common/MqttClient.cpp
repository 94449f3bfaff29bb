#include "MqttClient.h"

#include <mosquitto.h>
#include <QDebug>
#include <QLoggingCategory>
#include <limits>

#include "logger.h"

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

// A message's head line and its payload, with secrets such as the on-board
// computer's password or the settings PIN masked by their parsed names (a payload
// that is not JSON shows only its size). Built only when debug lines pass.
void logPayload(const QString& head, const QByteArray& payload) {
    if (QLoggingCategory::defaultCategory()->isDebugEnabled()) {
        logDebug(head + maskSecrets(payload));
    }
}

QString boolText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

}  // namespace

MqttClient::MqttClient(QObject* parent) : QObject(parent), m_reconnectTimer(this) {
    qRegisterMetaType<MqttTransport::ClientState>();
    qRegisterMetaType<MqttTransport::ClientError>();
    m_reconnectTimer.setObjectName(QStringLiteral("reconnectTimer"));
    m_reconnectTimer.setSingleShot(true);
    QObject::connect(&m_reconnectTimer, &QTimer::timeout, this, &MqttClient::onReconnect);
}

MqttClient::~MqttClient() = default;

void MqttClient::setHostname(const QString& hostname) {
    m_hostname = hostname;
}

void MqttClient::setPort(quint32 port) {
    if (port > std::numeric_limits<quint16>::max()) {
        logWarning(QStringLiteral("WARN: Port out of range: ") + QString::number(port));
    }
    m_port = port;
}

void MqttClient::setUsername(const QString& username) {
    m_username = username;
}

void MqttClient::setPassword(const QString& password) {
    m_password = password;
}

void MqttClient::setRetryMillis(quint32 millis) {
    m_retryMillis = static_cast<int>(qMin<quint32>(millis, std::numeric_limits<int>::max()));
}

void MqttClient::setEncrypted(bool encrypted) {
    m_encrypted = encrypted;
}

void MqttClient::setCleanSession(bool cleanSession) {
    m_cleanSession = cleanSession;
}

void MqttClient::setClientId(const QString& clientId) {
    m_clientId = clientId;
}

void MqttClient::setKeepAlive(quint8 seconds) {
    m_keepAlive = seconds;
}

void MqttClient::setWillMessage(const QByteArray& message) {
    m_willMessage = message;
}

void MqttClient::setWillQoS(quint8 qos) {
    m_willQos = qos;
}

void MqttClient::setWillRetain(bool retain) {
    m_willRetain = retain;
}

void MqttClient::setWillTopic(const QString& topic) {
    m_willTopic = topic;
}

MqttTransport::ClientState MqttClient::state() const {
    return m_transport ? m_transport->state() : MqttTransport::Disconnected;
}

void MqttClient::connect() {
    logInfo(QStringLiteral("Connecting to host"));
    initTimer();
    initClient();
    if (m_encrypted) {
        logWarning(QStringLiteral("Encryption not yet supported"));
    }
    m_transport->connectToHost();
}

void MqttClient::disconnect() {
    logInfo(QStringLiteral("Disconnecting from host"));
    if (m_transport) {
        m_transport->disconnectFromHost();
    }
}

void MqttClient::initTimer() {
    if (!m_connectionTimer) {
        m_connectionTimer = std::make_unique<QTimer>(this);
        m_connectionTimer->setObjectName(QStringLiteral("attemptTimer"));
        QObject::connect(m_connectionTimer.get(), &QTimer::timeout, this, &MqttClient::onTimeout);
    }
    logDebug(QStringLiteral("Applying client configuration:"));
    logDebug(QStringLiteral("Retry interval millis: ") + QString::number(m_retryMillis));
    m_connectionTimer->setInterval(m_retryMillis);
}

void MqttClient::initClient() {
    if (!m_transport) {
        m_transport = std::make_unique<MqttTransport>();
        MqttTransport* t = m_transport.get();
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
    logDebug(QStringLiteral("Hostname: ") + m_hostname);
    logDebug(QStringLiteral("Port    : ") + QString::number(m_port));
    logDebug(QStringLiteral("Username: ") + m_username);
    logDebug(QStringLiteral("CleanSession: ") + boolText(m_cleanSession));
    logDebug(QStringLiteral("Client Id   : ") + m_clientId);
    logDebug(QStringLiteral("Keepalive   : ") + QString::number(m_keepAlive));
    logDebug(QStringLiteral("Will Message: ") + QString::fromUtf8(m_willMessage));
    logDebug(QStringLiteral("Will QoS    : ") + QString::number(m_willQos));
    logDebug(QStringLiteral("Will Retain : ") + boolText(m_willRetain));
    logDebug(QStringLiteral("Will Topic  : ") + m_willTopic);

    m_transport->setHostname(m_hostname);
    m_transport->setPort(static_cast<quint16>(m_port));
    m_transport->setUsername(m_username);
    m_transport->setPassword(m_password);
    m_transport->setCleanSession(m_cleanSession);
    m_transport->setClientId(m_clientId);
    m_transport->setKeepAlive(m_keepAlive);
    m_transport->setWillMessage(m_willMessage);
    m_transport->setWillQoS(m_willQos);
    m_transport->setWillRetain(m_willRetain);
    m_transport->setWillTopic(m_willTopic);
}

void MqttClient::onStateChanged(MqttTransport::ClientState state) {
    switch (state) {
        case MqttTransport::Connecting:
            logDebug(QStringLiteral("State is Connecting."));
            m_connectionTimer->start(m_retryMillis);
            break;
        case MqttTransport::Connected:
            logDebug(QStringLiteral("State is Connected."));
            m_connectionTimer->stop();
            break;
        case MqttTransport::Disconnected:
            logDebug(QStringLiteral("State is Disconnected."));
            m_reconnectTimer.start(m_retryMillis);
            break;
    }
}

void MqttClient::onTimeout() {
    // Breaks off an attempt that is not Connected in time; on a closed transport
    // this does nothing.
    m_transport->closeTransport();
}

void MqttClient::onReconnect() {
    if (m_transport && m_transport->state() == MqttTransport::Disconnected) {
        connect();
    }
}

void MqttClient::onConnected() {
    logInfo(QStringLiteral("Connected to broker ") + m_hostname);
    // A copy: a listener may record a new subscription while we renew.
    const auto topics = m_subsTopics;
    for (const auto& entry : topics) {
        if (m_transport->state() != MqttTransport::Connected) {
            break;  // lost again while renewing; the next connection renews all
        }
        doSubscribe(entry.first, static_cast<quint8>(entry.second));
    }
}

void MqttClient::onDisconnected() {
    logInfo(QStringLiteral("Disconnected from broker ") + m_hostname);
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
    for (auto& entry : m_subsTopics) {
        if (entry.first == topic) {
            entry.second = qos;  // one entry per filter, the latest QoS
            known = true;
            break;
        }
    }
    if (!known) {
        m_subsTopics.emplace_back(topic, qos);
    }
    if (m_transport && m_transport->state() == MqttTransport::Connected) {
        doSubscribe(topic, qos);
    }
}

void MqttClient::doSubscribe(const QString& filter, quint8 qos) {
    logInfo(QStringLiteral("Subscribing to '") + filter + QStringLiteral("' with QoS = ") +
            QString::number(qos));
    if (!m_transport->subscribe(filter, qos)) {
        emit error(QStringLiteral("Subscription to ") + filter + QStringLiteral(" failed."));
    }
}

bool MqttClient::publish(QByteArray data, QString topic, uchar qos, bool retain) {
    if (!m_transport || m_transport->state() != MqttTransport::Connected) {
        return false;
    }
    logPayload(QStringLiteral("Publishing to topic '") + topic + QStringLiteral("' with Qos = ") +
                   QString::number(qos) + QStringLiteral(" and Retain = ") + boolText(retain) +
                   QStringLiteral(":\n"),
               data);
    if (m_transport->publish(topic, data, qos, retain) == -1) {
        emit error(QStringLiteral("Publish to ") + topic + QStringLiteral(" failed."));
        return false;
    }
    return true;
}

void MqttClient::onReceived(QByteArray message, QString topic) {
    logPayload(QStringLiteral("Received on topic: ") + topic + QStringLiteral("\n"), message);
    emit received(message, topic.toUtf8());
}

void MqttClient::onError(MqttTransport::ClientError e) {
    QString text;
    switch (e) {
        case MqttTransport::NoError:
            return;
        case MqttTransport::InvalidProtocolVersion:
            text = QStringLiteral("Invalid protocol version: ") +
                   QString::number(m_transport->protocolVersion()) +
                   QStringLiteral(
                       ". Broker does not accept a connection using the "
                       "specified protocol version.");
            break;
        case MqttTransport::IdRejected:
            text = QStringLiteral("Id rejected: ") + m_transport->clientId() +
                   QStringLiteral(
                       ". The client ID is malformed. This might be related to "
                       "its length.");
            break;
        case MqttTransport::ServerUnavailable:
            text = QStringLiteral("Server unavailable: ") + m_transport->hostname() +
                   QStringLiteral(":") + QString::number(m_transport->port()) +
                   QStringLiteral(
                       ". The network connection has been established, but the "
                       "service is unavailable on the broker side.");
            break;
        case MqttTransport::BadUsernameOrPassword:
            text = QStringLiteral(
                "Bad username or password. The data in the username or password is malformed.");
            break;
        case MqttTransport::NotAuthorized:
            text = QStringLiteral("Not authorized: ") + m_transport->clientId() +
                   QStringLiteral(". The client is not authorized to connect.");
            break;
        case MqttTransport::TransportInvalid:
            // The cause, where the transport knows it, tells a technician what to fix.
            text =
                QStringLiteral("Transport invalid: ") +
                (m_transport->errorString().isEmpty()
                     ? QStringLiteral("The underlying transport caused an error. For example, the "
                                      "connection might have been interrupted unexpectedly.")
                     : m_transport->errorString());
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
