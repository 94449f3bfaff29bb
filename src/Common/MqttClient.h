#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <utility>
#include <vector>

#include "MqttTransport.h"

namespace manager {

// The application's one connection to the broker on the device. It keeps every
// subscription ever requested and renews all of them after each reconnection,
// breaks off a connection attempt that hangs, and retries every retryMillis for as
// long as the application runs.
class MqttClient : public QObject {
    Q_OBJECT

public:
    explicit MqttClient(QObject* parent = nullptr);
    ~MqttClient() override;

    void setHostname(const QString& hostname);
    void setPort(quint32 port);
    void setUsername(const QString& username);
    void setPassword(const QString& password);
    void setRetryMillis(quint32 millis);
    void setEncrypted(bool encrypted);
    void setCleanSession(bool cleanSession);
    void setClientId(const QString& clientId);
    void setKeepAlive(quint8 seconds);
    void setWillMessage(const QByteArray& message);
    void setWillQoS(quint8 qos);
    void setWillRetain(bool retain);
    void setWillTopic(const QString& topic);

    // The transport's state, Disconnected before the first connect().
    MqttTransport::ClientState state() const;
    // The transport of the current connection (null before the first connect()), for
    // reading back the settings it was given.
    const MqttTransport* transport() const { return m_transport.get(); }

signals:
    void connected();
    void disconnected();
    void received(QByteArray data, QByteArray from);
    void error(QString error);

public slots:
    void connect();
    void disconnect();
    void subscribe(QString topic, uchar qos = 0);
    bool publish(QByteArray data, QString topic, uchar qos = 0, bool retain = false);

private slots:
    void onConnected();
    void onDisconnected();
    void onStateChanged(MqttTransport::ClientState state);
    void onTimeout();
    void onReconnect();
    void onReceived(QByteArray message, QString topic);
    void onError(MqttTransport::ClientError error);

private:
    void initClient();
    void initTimer();
    void doSubscribe(const QString& filter, quint8 qos);

    std::unique_ptr<MqttTransport> m_transport;
    // The guard on an attempt ("attemptTimer", made by the first connect()) and the
    // pause after a lost or failed connection before the next one ("reconnectTimer").
    std::unique_ptr<QTimer> m_connectionTimer;
    QTimer m_reconnectTimer;
    std::vector<std::pair<QString, int>> m_subsTopics;
    QString m_hostname = QStringLiteral("127.0.0.1");
    quint32 m_port = 1883;
    QString m_username;
    QString m_password;
    int m_retryMillis = 3000;
    bool m_encrypted = false;
    bool m_cleanSession = true;
    QString m_clientId;
    quint8 m_keepAlive = 5;
    QByteArray m_willMessage;
    quint8 m_willQos = 2;
    bool m_willRetain = true;
    QString m_willTopic;
};

}  // namespace manager
