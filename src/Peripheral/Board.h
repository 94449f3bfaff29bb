#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantList>
#include <QVariantMap>

#include "ServiceChannel.h"

namespace manager {

class MqttClient;

// Mirror of the board controller service: LEDs and buzzer, the display backlight and
// its ambient light sensor, the audio mute switch, the vehicle's ignition input, pole
// id, temperature, supply voltage, uptime, the real-time clock's health, the power
// switches of the on-board peripherals and the board's shutdown delay.
//
// The values follow what the service reports; requests only ask the service to change
// something and never touch the local state.
class Board : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool ignition READ ignition NOTIFY ignitionChanged)
    Q_PROPERTY(QString poleId READ poleId NOTIFY poleIdChanged)
    Q_PROPERTY(double temperature READ temperature NOTIFY temperatureChanged)
    Q_PROPERTY(double voltage READ voltage NOTIFY voltageChanged)
    Q_PROPERTY(int displayBrightness READ displayBrightness WRITE setDisplayBrightness NOTIFY
                   displayBrightnessChanged)
    Q_PROPERTY(QString displayBrightnessMode READ displayBrightnessMode WRITE
                   setDisplayBrightnessMode NOTIFY displayBrightnessModeChanged)
    Q_PROPERTY(int ambientLightSensor READ ambientLightSensor NOTIFY ambientLightSensorChanged)
    Q_PROPERTY(QVariantMap info READ info NOTIFY infoChanged)
    Q_PROPERTY(bool audioEnabled READ audioEnabled WRITE setAudioEnabled NOTIFY audioEnabledChanged)
    Q_PROPERTY(
        QVariantList peripherals READ peripherals WRITE setPeripherals NOTIFY peripheralsChanged)
    Q_PROPERTY(bool rtcFailed READ rtcFailed NOTIFY rtcFailedChanged)
    Q_PROPERTY(int delayShutdownFor READ delayShutdownFor WRITE setDelayShutdownFor NOTIFY
                   delayShutdownForChanged)

public:
    Board(MqttClient& client, const QString& baseTopic, QObject* parent = nullptr);

    bool ignition() const;
    QString poleId() const;
    double temperature() const;
    double voltage() const;
    int uptime() const;
    bool rtcFailed() const;
    int displayBrightness() const;
    QString displayBrightnessMode() const;
    int ambientLightSensor() const;
    QVariantMap info() const { return m_info; }
    QString status() const { return m_status; }
    bool audioEnabled() const;
    int delayShutdownFor() const { return m_delayShutdownFor; }

    // One map per peripheral the service reported, in ascending name order:
    // "item" (name), "descr" (translated display name, empty if unknown), "value".
    QVariantList peripherals() const;
    // The list is the service's to decide; an assignment is only logged.
    void setPeripherals(const QVariantList& list);

    // Asks the service for a new shutdown delay when it differs from the one it last
    // reported; delayShutdownFor follows the service's echo on "/config".
    void setDelayShutdownFor(int sec);

public slots:
    void refresh();
    void monitor(int msec);
    void setPeripheralPower(QString peripheral, bool value);
    void setLedValid();
    void setLedInvalid();
    void setLedTestPattern();
    void setLedOff();
    void setDisplayBrightness(int value);
    void setDisplayBrightnessMode(QString value);
    void setAudioEnabled(bool value);
    bool peripheralPower(QString peripheral);
    void playBuzzer(int onMsec, int offMsec, int repeat = 0);

signals:
    void infoChanged();
    void statusChanged();
    void ignitionChanged();
    void poleIdChanged();
    void temperatureChanged();
    void voltageChanged();
    void uptimeChanged();
    void peripheralPowerChanged(QString peripheral, bool value);
    void audioEnabledChanged();
    void rtcFailedChanged();
    void displayBrightnessChanged();
    void displayBrightnessModeChanged();
    void ambientLightSensorChanged();
    void peripheralsChanged();
    void delayShutdownForChanged();

private:
    void subscribe();
    void onMqttReceived(const QByteArray& payload, const QByteArray& topic);
    void onInfoReceived(const QJsonObject& message, const QString& topic);
    void onStatusReceived(const QJsonObject& message, const QString& topic);
    void onConfigReceived(const QJsonObject& message, const QString& topic);
    void onDisplayReceived(const QJsonObject& message, const QString& topic);
    void onPowerReceived(const QJsonObject& message, const QString& topic);
    void onEventReceived(const QJsonObject& message, const QString& topic);
    void onAudioReceived(const QJsonObject& message, const QString& topic);
    void setStatus(const QString& value);
    void playLedPattern(const QJsonObject& pattern);

    ServiceChannel m_channel;  // shared client and base topic
    QVariantMap m_info;
    QString m_status;
    QJsonObject m_device;
    QJsonObject m_display;
    QJsonObject m_power;
    QVariantMap m_audio;
    int m_delayShutdownFor = 0;
    // "monitorTimer": runs while a page monitors the board (monitor() with a period
    // other than 0).
    QTimer m_timer;
};

}  // namespace manager
