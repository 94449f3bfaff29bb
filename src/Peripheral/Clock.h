#pragma once

#include <QJsonObject>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "ServiceChannel.h"

namespace manager {

class MqttClient;

// The device's time zone, read and set on the operating system with timedatectl,
// and its network time synchronisation, mirrored from the clock service over MQTT
// under the device base topic followed by "/clock/ntp".
class Clock : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList timezones READ timezones NOTIFY timezonesChanged)
    Q_PROPERTY(QString timezone READ timezone WRITE setTimezone NOTIFY timezoneChanged)
    Q_PROPERTY(QString ntpServer READ ntpServer WRITE setNtpServer NOTIFY ntpServerChanged)
    Q_PROPERTY(bool ntpEnabled READ ntpEnabled WRITE setNtpEnabled NOTIFY ntpEnabledChanged)
    Q_PROPERTY(bool ntpSynced READ ntpSynced NOTIFY ntpSyncedChanged)

public:
    Clock(MqttClient& client, const QString& baseTopic, QObject* parent = nullptr);
    ~Clock() override;

    // Empty until timedatectl has answered; timezonesChanged follows.
    QStringList timezones() const { return m_timezones; }
    // Asks the operating system on every read.
    QString timezone() const { return readTimezone(); }
    QString ntpServer() const { return m_ntpServer; }
    bool ntpEnabled() const { return m_ntpEnabled; }
    bool ntpSynced() const { return m_ntpSynced; }

    void setTimezone(const QString& timezone);
    void setNtpServer(const QString& server);
    void setNtpEnabled(bool enabled);

public slots:
    void ntpSync();
    void refresh();

signals:
    void timezonesChanged();
    void timezoneChanged();
    void ntpServerChanged();
    void ntpEnabledChanged();
    void ntpSyncedChanged();

private:
    void readTimezones();
    void applyTimezones(const QString& output);
    QString readTimezone() const;
    void writeTimezone(const QString& timezone) const;
    void subscribeToTopics();

    void onMqttReceived(const QByteArray& payload, const QByteArray& topic);
    void onStatusReceived(const QJsonObject& message, const QString& topic);
    void onConfigReceived(const QJsonObject& message, const QString& topic);
    void applyEnabled(bool enabled);
    void publishConfig(bool enabled, const QString& server);

    ServiceChannel m_channel;
    QStringList m_timezones;
    QString m_ntpServer;
    bool m_ntpEnabled = false;
    bool m_ntpSynced = false;
    QProcess m_listReader;
    QTimer m_listWait;
};

}  // namespace manager
