#pragma once

// What the device-service manager tests share: a real broker, the application's MQTT
// client and a peer playing the device service (with the example messages, the log
// capture and the signal record from tests/common).

#include <QByteArray>
#include <QList>
#include <QSignalSpy>
#include <QString>
#include <QtTest>

#include "Broker.h"
#include "Emissions.h"
#include "Fixtures.h"
#include "LogCapture.h"
#include "MqttClient.h"
#include "Peer.h"

// A real broker, the application's client and a peer playing the service under base.
// The peer records everything published under base, so a test reads each request
// byte for byte.
class ServiceRig {
public:
    explicit ServiceRig(const QString& base) : m_base(base) {}

    manager::MqttClient& client() { return m_client; }
    Peer& service() { return m_service; }
    Broker& broker() { return m_broker; }
    QString topic(const QString& suffix) const { return m_base + suffix; }

    // Start the broker, connect the peer and then the client; true once the client's
    // subscriptions (made before this call) are in force.
    bool start() {
        if (!m_broker.start() || !m_service.connect(m_broker.host(), m_broker.port()) ||
            !m_service.subscribe(m_base + QStringLiteral("/#"))) {
            return false;
        }
        m_client.setHostname(m_broker.host());
        m_client.setPort(m_broker.port());
        m_client.subscribe(topic(QStringLiteral("/probe")));
        m_client.connect();
        return sync();
    }

    // Publish as the service and wait until the managers have handled it.
    bool send(const QString& suffix, const QByteArray& payload) {
        return m_service.publish(topic(suffix), payload) && sync();
    }

    // Returns once everything the peer published before has reached the client: a
    // probe on a topic of the base that no manager handles travels the same way.
    bool sync() {
        for (int attempt = 0; attempt < 50; ++attempt) {
            const QByteArray token = QByteArrayLiteral("{\"probe\": ") +
                                     QByteArray::number(++m_probes) + QByteArrayLiteral("}");
            if (!m_service.publish(topic(QStringLiteral("/probe")), token)) {
                return false;
            }
            if (waitUntil([&] { return probeArrived(token); }, 200)) {
                return true;
            }
        }
        return false;
    }

    // The requests the UI published on one topic so far.
    QList<QByteArray> requests(const QString& suffix) const {
        QList<QByteArray> out;
        for (const Peer::Message& message : m_service.messages(topic(suffix))) {
            out.append(message.payload);
        }
        return out;
    }
    // Returns once everything the client published before has reached the peer, so
    // that a request that should not have gone out can be shown missing.
    bool flush() {
        const QByteArray token = QByteArrayLiteral("{\"flush\": ") +
                                 QByteArray::number(++m_probes) + QByteArrayLiteral("}");
        if (!m_client.publish(token, topic(QStringLiteral("/probe")))) {
            return false;
        }
        return waitUntil([&] {
            for (const Peer::Message& message :
                 m_service.messages(topic(QStringLiteral("/probe")))) {
                if (message.payload == token) {
                    return true;
                }
            }
            return false;
        });
    }
    // Wait until count requests arrived on the topic.
    bool waitForRequests(const QString& suffix, int count, int timeoutMs = 5000) {
        return waitUntil([&] { return m_service.count(topic(suffix)) >= count; }, timeoutMs);
    }

private:
    bool probeArrived(const QByteArray& token) {
        const QByteArray probe = topic(QStringLiteral("/probe")).toUtf8();
        for (const QList<QVariant>& args : qAsConst(m_received)) {
            if (args.at(1).toByteArray() == probe && args.at(0).toByteArray() == token) {
                return true;
            }
        }
        return false;
    }

    QString m_base;
    Broker m_broker;
    Peer m_service;
    manager::MqttClient m_client;
    QSignalSpy m_received{&m_client, &manager::MqttClient::received};
    int m_probes = 0;
};
