#include "UiMqtt.h"

#include <QCoreApplication>
#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>

#include "Config.h"
#include "MqttClient.h"
#include "SessionManager.h"
#include "logger.h"

namespace {
const char* const TAG = "[GUIManager] ";
}  // namespace

UiMqtt::UiMqtt(manager::MqttClient& client, Config& config, const SessionManager& session)
    : m_mqtt(client), m_config(config), m_session(session) {}

QString UiMqtt::baseTopic() const {
    return m_config.get(QStringLiteral("mqtt/base")).toString();
}

void UiMqtt::connectClient() {
    const QString statusTopic = baseTopic() + QStringLiteral("/status");
    const QString host = m_config.get(QStringLiteral("mqtt/host")).toString();
    const uint port = m_config.get(QStringLiteral("mqtt/port")).toUInt();
    if (m_mqtt.state() != manager::MqttTransport::Disconnected) {
        // Our own clean disconnect sends no last will, so the status we left retained
        // would go on telling a monitor there that a live UI is at a place it has left:
        // an empty retained message clears it.
        const manager::MqttTransport* now = m_mqtt.transport();
        if (now->willTopic() != statusTopic || now->hostname() != host || now->port() != port) {
            m_mqtt.publish(QByteArray(), now->willTopic(), 0, true);
        }
        m_mqtt.disconnect();
    }
    m_mqtt.setClientId(QStringLiteral("%1_%2")
                           .arg(QCoreApplication::applicationName())
                           .arg(QCoreApplication::applicationPid()));
    m_mqtt.setWillMessage(QByteArrayLiteral("{\"service\": false}"));
    m_mqtt.setWillTopic(statusTopic);
    m_mqtt.setHostname(host);
    m_mqtt.setPort(port);
    m_mqtt.setUsername(m_config.get(QStringLiteral("mqtt/username")).toString());
    m_mqtt.setPassword(m_config.get(QStringLiteral("mqtt/password")).toString());
    m_mqtt.connect();
}

void UiMqtt::subscribe() {
    const QString base = baseTopic();
    m_mqtt.subscribe(base + QStringLiteral("/info/get"), 0);
    m_mqtt.subscribe(base + QStringLiteral("/status/get"), 0);
    m_mqtt.subscribe(base + QStringLiteral("/config/get"), 0);
    m_mqtt.subscribe(base + QStringLiteral("/config/set"), 0);
}

void UiMqtt::publishInfo() {
    QJsonObject info;
    info.insert(QStringLiteral("version"), QCoreApplication::applicationVersion());
    m_mqtt.publish(QJsonDocument(info).toJson(), baseTopic() + QStringLiteral("/info"), 0, false);
}

void UiMqtt::publishStatus() {
    QJsonObject status;
    status.insert(QStringLiteral("service"), true);
    status.insert(QStringLiteral("technician"), m_session.sessionActive());
    status.insert(QStringLiteral("settingsLocked"), m_session.locked());
    // Retained, like the last will on the same topic: the broker always holds the
    // latest word, so a peer that subscribes later is not told a running UI is down.
    m_mqtt.publish(QJsonDocument(status).toJson(), baseTopic() + QStringLiteral("/status"), 0,
                   true);
}

void UiMqtt::publishConfig() {
    // The broker password never leaves the device.
    QJsonObject config = m_config.toJson();
    QJsonObject mqtt = config.value(QStringLiteral("mqtt")).toObject();
    if (mqtt.contains(QStringLiteral("password"))) {
        mqtt.remove(QStringLiteral("password"));
        config.insert(QStringLiteral("mqtt"), mqtt);
    }
    m_mqtt.publish(QJsonDocument(config).toJson(), baseTopic() + QStringLiteral("/config"), 0,
                   false);
}

void UiMqtt::process(const QByteArray& data, const QByteArray& topic) {
    if (!topic.contains(baseTopic().toUtf8())) {
        return;
    }
    qInfo() << TAG << "Message received : " << topic;
    // A new configuration may carry the broker password or the settings PIN.
    qDebug() << TAG << "Data : " << manager::maskSecrets(data);

    if (topic.contains("/info/get")) {
        publishInfo();
    } else if (topic.contains("/status/get")) {
        publishStatus();
    } else if (topic.contains("/config/get")) {
        publishConfig();
    } else if (topic.contains("/config/set")) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(data, &error);
        if (error.error != QJsonParseError::NoError || !document.isObject()) {
            qWarning() << TAG << "WARN: Ignoring configuration request that is not a JSON object";
            return;
        }
        // The store refuses unknown keys and values its keys cannot take, one by one.
        m_config.fromJson(document.object());
    }
}
