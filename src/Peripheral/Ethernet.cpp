#include "Ethernet.h"

#include <QVariantMap>

#include "MqttClient.h"

namespace manager {

namespace {
const char* const kTag = "[Network][Ethernet] ";
const char* const kRule = "-------------------------";
// The USB gadget link shares the service's topics; the ethernet page never shows it.
const QString kIgnoredInterface = QStringLiteral("usb0");
}  // namespace

Ethernet::Ethernet(MqttClient& client, const QString& baseTopic, QObject* parent)
    : QObject(parent),
      m_channel(client, baseTopic + QStringLiteral("/ethernet"),
                ServiceChannel::Options().withTag(kTag).withEmptyPayload(
                    ServiceChannel::EmptyPayload::AsEmptyObject)),
      m_ipv4(this),
      m_config(this) {
    m_channel.route(QStringLiteral("/state"),
                    [this](const QJsonObject& m, const QString& t) { onStateReceived(m, t); });
    m_channel.route(QStringLiteral("/config"),
                    [this](const QJsonObject& m, const QString& t) { onConfigReceived(m, t); });

    connect(&client, &MqttClient::received, this, &Ethernet::onMqttReceived);
    connect(&client, &MqttClient::connected, this, &Ethernet::reset);
    subscribe();
}

void Ethernet::subscribe() {
    m_channel.info() << "Subscribing to topics";
    m_channel.subscribe({QStringLiteral("/state"), QStringLiteral("/config")});
}

void Ethernet::onMqttReceived(const QByteArray& payload, const QByteArray& topic) {
    m_channel.receive(payload, topic);
}

void Ethernet::setMethod(const QString& method) {
    if (method == m_method) {
        return;
    }
    m_channel.info() << "Method changed : " << method;
    m_method = method;
    emit methodChanged();
}

void Ethernet::reset() {
    m_channel.info() << "Refreshing data";
    m_channel.publishRaw(QStringLiteral("/state/get"), QByteArrayLiteral("{}"));
    m_channel.publishRaw(QStringLiteral("/config/get"), QByteArrayLiteral("{}"));
}

void Ethernet::save() {
    m_channel.info() << "Saving configuration";
    m_channel.info() << kRule;
    m_channel.info() << "Method  : " << m_method;
    m_channel.info() << "Address : " << m_config.address();
    m_channel.info() << "Netmask : " << m_config.mask();
    m_channel.info() << "Gateway : " << m_config.gateway();
    m_channel.info() << "DNS     : " << m_config.dns0() << ", " << m_config.dns1();
    m_channel.info() << kRule;

    // Only a manual method carries static settings; any other (normally "auto")
    // sends the five address members empty.
    const bool manual = (m_method == QLatin1String("manual"));
    QJsonObject message;
    message.insert(QStringLiteral("interface"), m_interface);
    message.insert(QStringLiteral("method"), m_method);
    message.insert(QStringLiteral("address"), manual ? m_config.address() : QString());
    message.insert(QStringLiteral("netmask"), manual ? m_config.mask() : QString());
    message.insert(QStringLiteral("gateway"), manual ? m_config.gateway() : QString());
    message.insert(QStringLiteral("dns0"), manual ? m_config.dns0() : QString());
    message.insert(QStringLiteral("dns1"), manual ? m_config.dns1() : QString());
    m_channel.publish(QStringLiteral("/config/set"), message);
}

bool Ethernet::isIgnoredInterface(const QJsonObject& message) const {
    return message.value(QStringLiteral("interface")).toString() == kIgnoredInterface;
}

void Ethernet::onStateReceived(const QJsonObject& message, const QString& topic) {
    m_channel.info() << "Processing state topic " << topic;
    if (isIgnoredInterface(message)) {
        return;
    }

    const QString interface = message.value(QStringLiteral("interface")).toString();
    if (interface != m_interface) {
        m_channel.info() << "Interface changed : " << interface;
        m_interface = interface;
        emit interfaceChanged();
    }
    const QString type = message.value(QStringLiteral("typeStr")).toString();
    if (type != m_type) {
        m_channel.info() << "Type changed : " << type;
        m_type = type;
        emit typeChanged();
    }
    if (assignIfChanged(m_state, message.value(QStringLiteral("stateStr")).toString())) {
        emit stateChanged();
    }
    const QString reason = message.value(QStringLiteral("reasonStr")).toString();
    if (reason != m_reason) {
        m_channel.info() << "Reason changed : " << reason;
        m_reason = reason;
        emit reasonChanged();
    }
    const QString mac = message.value(QStringLiteral("mac")).toString();
    if (mac != m_mac) {
        m_channel.info() << "MAC changed : " << mac;
        m_mac = mac;
        emit macChanged();
    }

    const QVariantMap ipv4 = message.value(QStringLiteral("ipv4")).toObject().toVariantMap();
    if (ipv4 != m_ipv4.toMap()) {
        m_channel.info() << "IPv4 changed : " << ipv4;
        m_ipv4.fromMap(ipv4);
        emit ipv4Changed();
    }
}

void Ethernet::onConfigReceived(const QJsonObject& message, const QString& topic) {
    m_channel.info() << "Processing config topic " << topic;
    if (isIgnoredInterface(message)) {
        return;
    }

    setMethod(message.value(QStringLiteral("method")).toString());

    // The whole message is compared, so its "interface" and "method" members make
    // it differ from the record every time; the record's own field signals still
    // fire only for fields whose text changed.
    const QVariantMap config = message.toVariantMap();
    if (config != m_config.toMap()) {
        m_channel.info() << "IPv4 changed : " << config;
        m_config.fromMap(config);
        emit configChanged();
    }
}

}  // namespace manager
