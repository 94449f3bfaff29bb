#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVector>

namespace manager {
class MqttClient;
}

namespace devsim {

// What every simulated device service shares: a base topic, the one broker
// connection, and the two kinds of message a service sends. A report (its state:
// status, display, configuration, ...) is retained, so a program that connects
// later sees the service's state at once; an event (a scan, a card) is not.
class SimulatedService : public QObject {
    Q_OBJECT

public:
    SimulatedService(manager::MqttClient& client, const QString& baseTopic, QObject* parent);

    QString baseTopic() const { return m_base; }

    // Subscribes to the requests the service answers. Called once; the client
    // renews the subscriptions after every reconnection.
    virtual void subscribe() = 0;
    // Publishes every report, as the service does when it starts.
    virtual void publishAll();
    // Handles one message; returns false when the topic is not the service's.
    virtual bool handle(const QString& topic, const QByteArray& payload) = 0;

protected:
    // A state the service reports on base + suffix and sends again whenever it is
    // asked on base + suffix + "/get".
    void addReport(const QString& suffix, const QJsonObject* state);
    // Subscribes to the "/get" request of every report.
    void listenForReports();
    // Answers a "/get" request for one of the reports; false for any other suffix.
    bool answerGet(const QString& suffix);

    void listen(const QString& suffix);
    void report(const QString& suffix, const QJsonObject& message);
    void sendEvent(const QString& topic, const QJsonObject& message);
    void sendEventBytes(const QString& topic, const QByteArray& payload);
    // A request's payload as an object; logs and returns false when it is not one.
    bool parseRequest(const QString& topic, const QByteArray& payload, QJsonObject* message);
    void log(const QString& text) const;

    manager::MqttClient& m_mqtt;
    const QString m_base;

private:
    QVector<QPair<QString, const QJsonObject*>> m_reports;
};

}  // namespace devsim
