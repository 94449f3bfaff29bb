#include "SimulatedService.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonParseError>

#include "MqttClient.h"

namespace devsim {

SimulatedService::SimulatedService(manager::MqttClient& client, const QString& baseTopic,
                                   QObject* parent)
    : QObject(parent), m_mqtt(client), m_base(baseTopic) {}

void SimulatedService::addReport(const QString& suffix, const QJsonObject* state) {
    m_reports.append({suffix, state});
}

void SimulatedService::listenForReports() {
    for (const auto& entry : qAsConst(m_reports)) {
        listen(entry.first + QStringLiteral("/get"));
    }
}

void SimulatedService::publishAll() {
    for (const auto& entry : qAsConst(m_reports)) {
        report(entry.first, *entry.second);
    }
}

bool SimulatedService::answerGet(const QString& suffix) {
    for (const auto& entry : qAsConst(m_reports)) {
        if (suffix == entry.first + QStringLiteral("/get")) {
            report(entry.first, *entry.second);
            return true;
        }
    }
    return false;
}

void SimulatedService::listen(const QString& suffix) {
    m_mqtt.subscribe(m_base + suffix, 0);
}

void SimulatedService::report(const QString& suffix, const QJsonObject& message) {
    m_mqtt.publish(QJsonDocument(message).toJson(), m_base + suffix, 0, true);
}

void SimulatedService::sendEvent(const QString& topic, const QJsonObject& message) {
    sendEventBytes(topic, QJsonDocument(message).toJson());
}

void SimulatedService::sendEventBytes(const QString& topic, const QByteArray& payload) {
    m_mqtt.publish(payload, topic, 0, false);
}

bool SimulatedService::parseRequest(const QString& topic, const QByteArray& payload,
                                    QJsonObject* message) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        log(QStringLiteral("WARN: request on %1 dropped: not a JSON object (%2)")
                .arg(topic, error.error == QJsonParseError::NoError
                                ? QStringLiteral("not an object")
                                : error.errorString()));
        return false;
    }
    *message = document.object();
    return true;
}

void SimulatedService::log(const QString& text) const {
    qInfo().noquote() << "[devsim]" << text;
}

}  // namespace devsim
