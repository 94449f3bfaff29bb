#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

struct mosquitto;
class QSocketNotifier;
class QTimer;

namespace manager {

// One subscription made through the transport (what QMqttSubscription is to
// QMqttClient). Owned by the transport.
class MqttSubscription : public QObject {
    Q_OBJECT
public:
    MqttSubscription(const QString& filter, quint8 qos, QObject* parent)
        : QObject(parent), m_filter(filter), m_qos(qos) {}
    QString topic() const { return m_filter; }
    quint8 qos() const { return m_qos; }

private:
    QString m_filter;
    quint8 m_qos;
};

// MQTT 3.1.1 client on libmosquitto, driven entirely from the Qt event loop (socket
// notifiers and a housekeeping timer; no library thread, no blocking call). It has
// the shape and signal order of Qt 5.15's QMqttClient so that MqttClient can be
// written as for that class.
class MqttTransport : public QObject {
    Q_OBJECT

public:
    enum ClientState { Disconnected = 0, Connecting, Connected };
    Q_ENUM(ClientState)

    enum ClientError {
        NoError = 0,
        InvalidProtocolVersion = 1,
        IdRejected = 2,
        ServerUnavailable = 3,
        BadUsernameOrPassword = 4,
        NotAuthorized = 5,
        TransportInvalid = 256,
        ProtocolViolation,
        UnknownError
    };
    Q_ENUM(ClientError)

    explicit MqttTransport(QObject* parent = nullptr);
    ~MqttTransport() override;

    // Settings are taken only while disconnected.
    void setHostname(const QString& hostname);
    QString hostname() const;
    void setPort(quint16 port);
    quint16 port() const;
    void setClientId(const QString& clientId);
    QString clientId() const;
    void setUsername(const QString& username);
    QString username() const;
    void setPassword(const QString& password);
    QString password() const;
    void setCleanSession(bool cleanSession);
    bool cleanSession() const;
    void setKeepAlive(quint16 seconds);
    quint16 keepAlive() const;
    void setWillTopic(const QString& topic);
    QString willTopic() const;
    void setWillMessage(const QByteArray& message);
    QByteArray willMessage() const;
    void setWillQoS(quint8 qos);
    quint8 willQoS() const;
    void setWillRetain(bool retain);
    bool willRetain() const;
    int protocolVersion() const { return 4; }  // MQTT 3.1.1

    ClientState state() const;
    ClientError error() const;
    // What caused the last error, in words a technician can act on (the host name that
    // does not resolve, the address that refused the connection); empty when the
    // library gave no cause.
    QString errorString() const;

    void connectToHost();
    void disconnectFromHost();
    // Closes the socket at once, also while the TCP connect still hangs.
    void closeTransport();

    // Null when not connected, when the filter is invalid, or for a QoS above 2.
    MqttSubscription* subscribe(const QString& filter, quint8 qos = 0);
    // The message id, 0 for QoS 0, or -1 when not connected, the topic is invalid
    // or the write failed.
    qint32 publish(const QString& topic, const QByteArray& message = QByteArray(), quint8 qos = 0,
                   bool retain = false);

signals:
    void connected();
    void disconnected();
    void stateChanged(manager::MqttTransport::ClientState state);
    void errorChanged(manager::MqttTransport::ClientError error);
    void messageReceived(const QByteArray& message, const QString& topic);

private:
    struct Private;
    Private* m_d;
};

}  // namespace manager
