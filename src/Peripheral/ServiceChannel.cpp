#include "ServiceChannel.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QTimer>

#include "MqttClient.h"

namespace manager {

ServiceChannel::ServiceChannel(MqttClient& client, const QString& baseTopic, const Options& options)
    : m_client(client), m_base(baseTopic), m_options(options) {}

void ServiceChannel::route(const QString& suffix, Handler handler) {
    m_routes.append({Match::Suffix, suffix, std::move(handler)});
}

void ServiceChannel::routeAbsolute(const QString& topic, Handler handler) {
    m_routes.append({Match::Absolute, topic, std::move(handler)});
}

void ServiceChannel::routeContains(const QString& text, Handler handler) {
    m_routes.append({Match::Contains, text, std::move(handler)});
}

void ServiceChannel::routeUnparsed(const QString& absoluteTopic, std::function<void()> handler) {
    m_unparsed.append({absoluteTopic, std::move(handler)});
}

void ServiceChannel::subscribe(const QStringList& suffixes) {
    for (const QString& suffix : suffixes) {
        m_client.subscribe(m_base + suffix, 0);
    }
}

void ServiceChannel::subscribeAbsolute(const QString& topic) {
    m_client.subscribe(topic, 0);
}

bool ServiceChannel::matches(const Route& route, const QString& topic) const {
    switch (route.match) {
        case Match::Suffix:
            return topic == m_base + route.text;
        case Match::Absolute:
            return topic == route.text;
        case Match::Contains:
            return topic.contains(route.text);
    }
    return false;
}

void ServiceChannel::receive(const QByteArray& payload, const QByteArray& topicBytes) {
    // The topic as UTF-8 text, up to the first zero byte.
    const int nul = topicBytes.indexOf('\0');
    const QString topic = QString::fromUtf8(nul < 0 ? topicBytes : topicBytes.left(nul));

    for (const auto& unparsed : qAsConst(m_unparsed)) {
        if (topic == unparsed.first) {
            unparsed.second();
            return;
        }
    }

    if (m_options.scopeTest && !topic.contains(m_base)) {
        return;
    }

    QJsonObject message;
    if (payload.isEmpty() && m_options.emptyPayload == EmptyPayload::Tolerated) {
        // handled as an empty object
    } else {
        const QByteArray text =
            (payload.isEmpty() && m_options.emptyPayload == EmptyPayload::AsEmptyObject)
                ? QByteArrayLiteral("{ }")
                : payload;
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(text, &error);
        if (error.error != QJsonParseError::NoError) {
            if (m_options.logRawPayload) {
                qCritical() << "Failed to parse JSON message: " << payload;
            } else {
                critical() << "Failed to parse JSON message: " << error.errorString();
            }
            return;
        }
        message = document.object();  // an empty object when the top level is an array
    }

    for (const Route& route : qAsConst(m_routes)) {
        if (matches(route, topic)) {
            route.handler(message, topic);
            return;
        }
    }
}

bool ServiceChannel::publish(const QString& suffix, const QJsonObject& message) {
    return m_client.publish(QJsonDocument(message).toJson(), m_base + suffix, 0, false);
}

bool ServiceChannel::publishRaw(const QString& suffix, const QByteArray& payload) {
    return m_client.publish(payload, m_base + suffix, 0, false);
}

bool ServiceChannel::publishAbsolute(const QString& topic, const QByteArray& payload) {
    return m_client.publish(payload, topic, 0, false);
}

void ServiceChannel::monitor(QTimer& timer, int msec, const std::function<void()>& refresh) {
    if (msec != 0) {
        info() << "Monitor started : " << msec << " msec(s)";
        timer.setInterval(msec);
        timer.setSingleShot(false);
        timer.start();
        refresh();
    } else {
        info() << "Monitor stopped";
        timer.stop();
    }
}

QDebug ServiceChannel::tagged(QDebug stream) const {
    if (m_options.tag[0] != '\0') {
        stream << m_options.tag;
    }
    return stream;
}

QDebug ServiceChannel::info() const {
    return tagged(qInfo());
}
QDebug ServiceChannel::warning() const {
    return tagged(qWarning());
}
QDebug ServiceChannel::critical() const {
    return tagged(qCritical());
}
QDebug ServiceChannel::debug() const {
    return tagged(qDebug());
}

}  // namespace manager
