#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>

#include "IPv4.h"
#include "ServiceChannel.h"

namespace manager {

class MqttClient;

// The wired interface as the network service reports it (state, type, reason,
// MAC address, live IPv4 settings) and its stored configuration (method and static
// IPv4 settings), which the technician edits and save() sends back to the service.
// Its topics are the network base topic followed by "/ethernet".
class Ethernet : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString interface READ interface NOTIFY interfaceChanged)
    Q_PROPERTY(QString type READ type NOTIFY typeChanged)
    Q_PROPERTY(QString state READ state NOTIFY stateChanged)
    Q_PROPERTY(QString reason READ reason NOTIFY reasonChanged)
    Q_PROPERTY(QString mac READ mac NOTIFY macChanged)
    Q_PROPERTY(QString method READ method WRITE setMethod NOTIFY methodChanged)
    Q_PROPERTY(IPv4* ipv4 READ ipv4 NOTIFY ipv4Changed)
    Q_PROPERTY(IPv4* config READ config NOTIFY configChanged)

public:
    Ethernet(MqttClient& client, const QString& baseTopic, QObject* parent = nullptr);

    QString interface() const { return m_interface; }
    QString type() const { return m_type; }
    QString state() const { return m_state; }
    QString reason() const { return m_reason; }
    QString mac() const { return m_mac; }
    QString method() const { return m_method; }
    IPv4* ipv4() { return &m_ipv4; }
    IPv4* config() { return &m_config; }

    void setMethod(const QString& method);

public slots:
    void save();
    void reset();

signals:
    void interfaceChanged();
    void typeChanged();
    void stateChanged();
    void reasonChanged();
    void macChanged();
    void methodChanged();
    void ipv4Changed();
    void configChanged();

private:
    void subscribe();
    void onMqttReceived(const QByteArray& payload, const QByteArray& topic);
    void onStateReceived(const QJsonObject& message, const QString& topic);
    void onConfigReceived(const QJsonObject& message, const QString& topic);
    bool isIgnoredInterface(const QJsonObject& message) const;

    ServiceChannel m_channel;
    QString m_interface;
    QString m_type;
    QString m_state;
    QString m_reason;
    QString m_mac;
    QString m_method;
    IPv4 m_ipv4;
    IPv4 m_config;
};

}  // namespace manager
