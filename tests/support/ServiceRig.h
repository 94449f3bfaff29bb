#pragma once

#include <QtTest>
#include <memory>

#include "Broker.h"
#include "Emissions.h"
#include "Fixtures.h"
#include "LogCapture.h"
#include "MqttClient.h"
#include "Peer.h"

// A real broker, the application's client and a peer playing the service under base;
// the peer records everything published under base.
class ServiceRig {
public:
    explicit ServiceRig(const QString& base) : m_base(base) {}

    manager::MqttClient& client() { return m_client; }
    // The manager under test on the client, kept by the rig and gone before the client.
    template <typename Manager>
    Manager* make(const QString& base) {
        m_manager = std::make_unique<Manager>(m_client, base);
        return static_cast<Manager*>(m_manager.get());
    }
    Peer& service() { return m_service; }
    Broker& broker() { return m_broker; }

    // Start the broker, connect the peer and then the client; true once the client's
    // subscriptions (made before this call) are in force.
    bool start() {
        if (!m_broker.start() || !m_service.connect(m_broker.host(), m_broker.port()) ||
            !m_service.subscribe(m_base + QStringLiteral("/#"))) {
            return false;
        }
        m_client.setHostname(m_broker.host());
        m_client.setPort(m_broker.port());
        m_client.subscribe(m_base + QStringLiteral("/probe"));
        m_client.connect();
        return sync();
    }

    // Publish as the service and wait until the managers have handled it.
    bool send(const QString& suffix, const QByteArray& payload) {
        return m_service.publish(m_base + suffix, payload) && sync();
    }

    // Returns once everything the peer published before has reached the client: a
    // probe on a topic of the base that no manager handles travels the same way.
    bool sync() {
        const QByteArray probe = (m_base + QStringLiteral("/probe")).toUtf8();
        for (int attempt = 0; attempt < 50; ++attempt) {
            const QByteArray token = "{\"probe\": " + QByteArray::number(++m_probes) + "}";
            if (!m_service.publish(probe, token)) {
                return false;
            }
            if (waitUntil([&] { return m_received.contains({token, probe}); }, 200)) {
                return true;
            }
        }
        return false;
    }

    // Everything published under the base since the last call, once all the client
    // published before has arrived; each as "suffix payload", JSON in compact form.
    QStringList sent() {
        const QString probe = m_base + QStringLiteral("/probe");
        const QByteArray token = "{\"flush\": " + QByteArray::number(++m_probes) + "}";
        m_client.publish(token, probe);
        waitUntil([&] {
            const QList<Peer::Message> got = m_service.messages(probe);
            return !got.isEmpty() && got.last().payload == token;
        });
        QStringList out;
        for (const Peer::Message& m : m_service.messages()) {
            const QJsonDocument json = QJsonDocument::fromJson(m.payload);
            if (m.topic != probe) {
                out << m.topic.mid(m_base.size()) + QLatin1Char(' ') +
                           (json.isNull() ? m.payload : json.toJson(QJsonDocument::Compact));
            }
        }
        m_service.clear();
        return out;
    }

private:
    QString m_base;
    Broker m_broker;
    Peer m_service;
    manager::MqttClient m_client;
    QSignalSpy m_received{&m_client, &manager::MqttClient::received};
    std::unique_ptr<QObject> m_manager;
    int m_probes = 0;
};
