#pragma once

// What the device-service manager tests share: a real broker, the application's MQTT
// client, a peer playing the device service, the service's example messages from
// tests/fixtures, a record of the log lines, and a view of a manager's properties and
// signals to show that a message changed nothing.

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QList>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QSignalSpy>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <QtTest>
#include <memory>
#include <vector>

#include "Broker.h"
#include "MqttClient.h"
#include "Peer.h"

// The folder of the services' example messages, which the device simulator sends too.
inline QString fixtureDir() {
    return qEnvironmentVariable("QUELLAN_SOURCE_DIR") + QStringLiteral("/tests/fixtures/");
}

// One example message; a test's initTestCase checks that the folder is there.
inline QByteArray fixture(const QString& name) {
    QFile file(fixtureDir() + name);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("Missing test fixture %s", qPrintable(file.fileName()));
        return QByteArray();
    }
    return file.readAll();
}

// A JSON text in the indented form requests are written in (members in ascending
// name order, four blanks of indent, a line end at the end).
inline QByteArray indented(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        qWarning("Bad expected JSON in a test: %s", qPrintable(error.errorString()));
    }
    return document.toJson(QJsonDocument::Indented);
}

// Every log line written while it lives; the lines still reach the previous handler.
class LogCapture {
public:
    struct Line {
        QtMsgType type;
        QString text;
    };

    LogCapture() {
        s_current = this;
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }

    void clear() {
        QMutexLocker lock(&m_mutex);
        m_lines.clear();
    }
    // Lines that begin with text (a class tag, say).
    QList<Line> startingWith(const QString& text) const {
        QMutexLocker lock(&m_mutex);
        QList<Line> out;
        for (const Line& line : m_lines) {
            if (line.text.startsWith(text)) {
                out.append(line);
            }
        }
        return out;
    }
    bool contains(QtMsgType type, const QString& text) const {
        QMutexLocker lock(&m_mutex);
        for (const Line& line : m_lines) {
            if (line.type == type && line.text == text) {
                return true;
            }
        }
        return false;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (LogCapture* self = s_current) {
            {
                QMutexLocker lock(&self->m_mutex);
                self->m_lines.append({type, text});
            }
            if (self->m_previous) {
                self->m_previous(type, context, text);
            }
        }
    }

    inline static LogCapture* s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
    mutable QMutex m_mutex;
    QList<Line> m_lines;
};

// The values of an object's own properties and a spy on each of its own signals: a
// message that must change nothing leaves the first equal and the second silent.
class Watch {
public:
    explicit Watch(QObject* object) : m_object(object) {
        const QMetaObject* meta = object->metaObject();
        for (int i = QObject::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
            if (meta->method(i).methodType() == QMetaMethod::Signal) {
                m_spies.push_back(std::make_unique<QSignalSpy>(object, meta->method(i)));
            }
        }
        m_values = values();
    }

    QVariantMap values() const {
        QVariantMap out;
        const QMetaObject* meta = m_object->metaObject();
        for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
            out.insert(QString::fromLatin1(meta->property(i).name()),
                       meta->property(i).read(m_object));
        }
        return out;
    }
    bool unchanged() const { return values() == m_values; }
    // The names of the signals emitted since the watch began.
    QStringList emitted() const {
        QStringList out;
        for (const auto& spy : m_spies) {
            if (!spy->isEmpty()) {
                out.append(QString::fromLatin1(spy->signal()));
            }
        }
        return out;
    }

private:
    QObject* m_object;
    std::vector<std::unique_ptr<QSignalSpy>> m_spies;
    QVariantMap m_values;
};

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
