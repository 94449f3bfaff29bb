#include "ClockService.h"

#include "ExampleMessages.h"

namespace devsim {

ClockService::ClockService(manager::MqttClient& client, const QString& deviceBaseTopic,
                           QObject* parent)
    : SimulatedService(client, deviceBaseTopic + QStringLiteral("/clock/ntp"), parent),
      m_config(exampleMessage(QStringLiteral("clock/ntp-config"))),
      m_status(exampleMessage(QStringLiteral("clock/ntp-status-synced"))) {}

void ClockService::subscribe() {
    for (const char* suffix : {"/status/get", "/config/get", "/config/set", "/sync"}) {
        listen(QLatin1String(suffix));
    }
}

void ClockService::publishAll() {
    report(QStringLiteral("/config"), m_config);
    report(QStringLiteral("/status"), m_status);
}

bool ClockService::handle(const QString& topic, const QByteArray& payload) {
    if (topic == m_base + QLatin1String("/status/get")) {
        report(QStringLiteral("/status"), m_status);
    } else if (topic == m_base + QLatin1String("/config/get")) {
        report(QStringLiteral("/config"), m_config);
    } else if (topic == m_base + QLatin1String("/sync")) {
        log(QStringLiteral("NTP synchronisation requested"));
        report(QStringLiteral("/status"), m_status);
    } else if (topic == m_base + QLatin1String("/config/set")) {
        QJsonObject request;
        if (!parseRequest(topic, payload, &request)) {
            return true;
        }
        const QJsonValue enabled = request.value(QStringLiteral("enabled"));
        const QJsonValue server = request.value(QStringLiteral("server"));
        if (!enabled.isBool() || !server.isString()) {
            log(QStringLiteral(
                "WARN: NTP configuration dropped: needs \"enabled\" true or false and "
                "\"server\" as text"));
            return true;
        }
        m_config =
            QJsonObject{{QStringLiteral("enabled"), enabled}, {QStringLiteral("server"), server}};
        const bool synced = enabled.toBool() && !server.toString().isEmpty();
        m_status =
            QJsonObject{{QStringLiteral("enabled"), enabled}, {QStringLiteral("synced"), synced}};
        log(QStringLiteral("NTP %1, server '%2'")
                .arg(enabled.toBool() ? "enabled" : "disabled", server.toString()));
        report(QStringLiteral("/config"), m_config);
        report(QStringLiteral("/status"), m_status);
    } else {
        return false;
    }
    return true;
}

}  // namespace devsim
