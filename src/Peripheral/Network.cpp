#include "Network.h"

#include "MqttClient.h"

namespace manager {

namespace {
const char* const kTag = "[Network] ";
}  // namespace

Network::Network(MqttClient& client, const QString& baseTopic, QObject* parent)
    : QObject(parent),
      m_channel(client, baseTopic,
                ServiceChannel::Options().withTag(kTag).withEmptyPayload(
                    ServiceChannel::EmptyPayload::AsEmptyObject)),
      m_timer(this),
      m_primary(this) {
    m_channel.route(QStringLiteral("/info"),
                    [this](const QJsonObject& m, const QString& t) { onInfoReceived(m, t); });
    m_channel.route(QStringLiteral("/status"),
                    [this](const QJsonObject& m, const QString& t) { onStatusReceived(m, t); });

    connect(&client, &MqttClient::received, this, &Network::onMqttReceived);
    connect(&client, &MqttClient::connected, this, &Network::refresh);
    connect(&m_timer, &QTimer::timeout, this, &Network::refresh);

    // The child subscribes in its constructor, so its topics come first.
    m_ethernet = new Ethernet(client, baseTopic, this);
    subscribe();
}

void Network::subscribe() {
    m_channel.info() << "Subscribing to topics";
    m_channel.subscribe({QStringLiteral("/info"), QStringLiteral("/status")});
}

void Network::onMqttReceived(const QByteArray& payload, const QByteArray& topic) {
    m_channel.receive(payload, topic);
}

void Network::refresh() {
    // The service publishes on its own; there is nothing to ask for.
    m_channel.info() << "Refreshing data";
}

void Network::monitor(int msec) {
    m_channel.monitor(m_timer, msec, [this] { refresh(); });
}

void Network::onInfoReceived(const QJsonObject&, const QString& topic) {
    m_channel.info() << "Processing info topic " << topic;
}

void Network::onStatusReceived(const QJsonObject& message, const QString& topic) {
    m_channel.info() << "Processing status topic " << topic;
    if (assignIfChanged(m_connectionState, message.value(QStringLiteral("stateStr")).toString())) {
        emit connectionStateChanged();
    }
    if (assignIfChanged(m_connectivity,
                        message.value(QStringLiteral("connectivityStr")).toString())) {
        emit connectivityChanged();
    }
    if (assignIfChanged(m_hostname, message.value(QStringLiteral("hostname")).toString())) {
        emit hostnameChanged();
    }
    m_primary.fromMap(message.value(QStringLiteral("primaryConnection")).toObject().toVariantMap());
    emit primaryConnectionChanged();
}

}  // namespace manager
