#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantMap>

#include "ServiceChannel.h"

namespace manager {

class MqttClient;

// Handle on the system inspector service: its status and version, the volume of the
// internal sound card, playing sound files, and rebooting or powering off the system,
// at once or after a delay that the ignition going off starts.
class Inspector : public QObject {
    Q_OBJECT
    Q_PROPERTY(QVariantMap info READ info NOTIFY infoChanged)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(int audioVolume READ audioVolume WRITE setAudioVolume NOTIFY audioVolumeChanged)

public:
    // Time between announcing a reboot or power-off and asking the service for it,
    // so the screen that announces it can be shown.
    static constexpr int kPowerRequestPauseMsec = 2000;

    Inspector(MqttClient& client, const QString& baseTopic, QObject* parent = nullptr);

    QVariantMap info() const { return m_info; }
    QString status() const { return m_status; }
    int audioVolume() const;

public slots:
    void refresh();
    void monitor(int msec);
    void setAudioVolume(int value);
    void audioPlay(QString file);
    void systemReboot();
    void systemShutdown();
    void scheduleShutdown(int sec);
    void abortShutdown();

signals:
    void infoChanged();
    void statusChanged();
    void audioVolumeChanged();
    void systemRebootStarted();
    void systemShutdownStarted();

private:
    void subscribe();
    void onMqttReceived(const QByteArray& payload, const QByteArray& topic);
    void onInfoReceived(const QJsonObject& message, const QString& topic);
    void onStatusReceived(const QJsonObject& message, const QString& topic);
    void onAudioReceived(const QJsonObject& message, const QString& topic);
    void setStatus(const QString& value);

    ServiceChannel m_channel;  // shared client and base topic
    QVariantMap m_info;
    QString m_status;
    QVariantMap m_audio;
    QTimer m_timer;
    QTimer m_shutdownTimer;
};

}  // namespace manager
