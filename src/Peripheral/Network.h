#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>

#include "Connection.h"
#include "Ethernet.h"
#include "ServiceChannel.h"

namespace manager {

class MqttClient;

// Mirror of the network manager service: overall connection state, connectivity,
// host name and the primary connection. It owns the ethernet interface manager.
class Network : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString connectionState READ connectionState NOTIFY connectionStateChanged)
    Q_PROPERTY(QString connectivity READ connectivity NOTIFY connectivityChanged)
    Q_PROPERTY(QString hostname READ hostname NOTIFY hostnameChanged)
    Q_PROPERTY(manager::Connection* primaryConnection READ primaryConnection NOTIFY
                   primaryConnectionChanged)
    Q_PROPERTY(manager::Ethernet* ethernet READ ethernet NOTIFY ethernetChanged)

public:
    Network(MqttClient& client, const QString& baseTopic, QObject* parent = nullptr);

    QString connectionState() const { return m_connectionState; }
    QString connectivity() const { return m_connectivity; }
    QString hostname() const { return m_hostname; }
    Connection* primaryConnection() { return &m_primary; }
    Ethernet* ethernet() const { return m_ethernet; }

public slots:
    void refresh();
    void monitor(int msec);

signals:
    void connectionStateChanged();
    void connectivityChanged();
    void hostnameChanged();
    void primaryConnectionChanged();
    void ethernetChanged();

private:
    void subscribe();
    void onMqttReceived(const QByteArray& payload, const QByteArray& topic);
    void onInfoReceived(const QJsonObject& message, const QString& topic);
    void onStatusReceived(const QJsonObject& message, const QString& topic);

    ServiceChannel m_channel;
    QTimer m_timer;
    QString m_connectionState;
    QString m_connectivity;
    QString m_hostname;
    Connection m_primary;
    Ethernet* m_ethernet = nullptr;
};

}  // namespace manager
