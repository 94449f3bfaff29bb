#include "NetworkService.h"

#include <QHostAddress>

#include "ExampleMessages.h"

namespace devsim {

namespace {
const char* const AddressKeys[] = {"address", "netmask", "gateway", "dns0", "dns1"};

bool isIPv4(const QString& text) {
    QHostAddress address;
    return address.setAddress(text) && address.protocol() == QAbstractSocket::IPv4Protocol;
}
}  // namespace

NetworkService::NetworkService(manager::MqttClient& client, const QString& baseTopic,
                               QObject* parent)
    : SimulatedService(client, baseTopic, parent),
      m_info(exampleMessage(QStringLiteral("network/info"))),
      m_status(exampleMessage(QStringLiteral("network/status"))),
      m_state(exampleMessage(QStringLiteral("network/ethernet-state-eth0"))),
      m_config(exampleMessage(QStringLiteral("network/ethernet-config-auto"))),
      m_dhcpAddresses(m_state.value(QStringLiteral("ipv4")).toObject()) {
    addReport(QStringLiteral("/info"), &m_info);
    addReport(QStringLiteral("/status"), &m_status);
    addReport(QStringLiteral("/ethernet/state"), &m_state);
    addReport(QStringLiteral("/ethernet/config"), &m_config);
}

void NetworkService::subscribe() {
    listenForReports();
    listen(QStringLiteral("/ethernet/config/set"));
}

bool NetworkService::handle(const QString& topic, const QByteArray& payload) {
    if (!topic.startsWith(m_base + QLatin1Char('/'))) {
        return false;
    }
    const QString suffix = topic.mid(m_base.size());
    if (answerGet(suffix)) {
        return true;
    }
    if (suffix == QLatin1String("/ethernet/config/set")) {
        QJsonObject request;
        if (parseRequest(topic, payload, &request)) {
            saveConfig(request);
        }
    } else {
        return false;
    }
    return true;
}

void NetworkService::saveConfig(const QJsonObject& request) {
    const QString iface = request.value(QStringLiteral("interface")).toString();
    const QString ownInterface = m_state.value(QStringLiteral("interface")).toString();
    if (!iface.isEmpty() && iface != ownInterface) {
        log(QStringLiteral("WARN: ethernet configuration dropped: no interface '%1'").arg(iface));
        return;
    }
    const QString method = request.value(QStringLiteral("method")).toString();
    QJsonObject config{{QStringLiteral("interface"), ownInterface},
                       {QStringLiteral("method"), method}};
    if (method == QLatin1String("manual")) {
        for (const char* key : AddressKeys) {
            const QString value = request.value(QLatin1String(key)).toString();
            const bool optional = qstrcmp(key, "dns1") == 0 || qstrcmp(key, "gateway") == 0;
            if (!(value.isEmpty() && optional) && !isIPv4(value)) {
                log(QStringLiteral(
                        "WARN: ethernet configuration dropped: %1 '%2' is not an IPv4 address")
                        .arg(QLatin1String(key), value));
                return;
            }
            config.insert(QLatin1String(key), value);
        }
    } else if (method == QLatin1String("auto")) {
        for (const char* key : AddressKeys) {
            config.insert(QLatin1String(key), QString());
        }
    } else {
        log(QStringLiteral(
                "WARN: ethernet configuration dropped: method '%1' is neither auto nor manual")
                .arg(method));
        return;
    }
    m_config = config;
    log(QStringLiteral("Ethernet configuration saved: ") + method);

    // The interface takes its new addresses at once.
    QJsonObject ipv4 = m_dhcpAddresses;
    if (method == QLatin1String("manual")) {
        for (const char* key : AddressKeys) {
            ipv4.insert(QLatin1String(key), config.value(QLatin1String(key)));
        }
    }
    m_state.insert(QStringLiteral("ipv4"), ipv4);
    QJsonObject primary = m_status.value(QStringLiteral("primaryConnection")).toObject();
    primary.insert(QStringLiteral("ipv4"), ipv4);
    m_status.insert(QStringLiteral("primaryConnection"), primary);
    report(QStringLiteral("/ethernet/config"), m_config);
    report(QStringLiteral("/ethernet/state"), m_state);
    report(QStringLiteral("/status"), m_status);
}

}  // namespace devsim
