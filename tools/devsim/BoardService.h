#pragma once

#include <QJsonObject>

#include "SimulatedService.h"

namespace devsim {

// The board controller: identity, health (ignition, temperature, voltage, RTC),
// backlight, peripheral power switches, audio mute and the shutdown delay. Every
// setting the UI changes is stored and reported back on its report topic; LED and
// buzzer requests are only logged.
class BoardService : public SimulatedService {
    Q_OBJECT

public:
    BoardService(manager::MqttClient& client, const QString& baseTopic, QObject* parent);

    void subscribe() override;
    bool handle(const QString& topic, const QByteArray& payload) override;

    void setIgnition(bool on);
    bool ignition() const;
    void setTemperature(double degrees);
    void setVoltage(double volts);

    QJsonObject display() const { return m_display; }
    QJsonObject power() const { return m_power; }
    QJsonObject audio() const { return m_audio; }
    QJsonObject config() const { return m_config; }

private:
    void setDeviceValue(const QString& key, const QJsonValue& value);

    QJsonObject m_info;
    QJsonObject m_status;
    QJsonObject m_display;
    QJsonObject m_power;
    QJsonObject m_audio;
    QJsonObject m_config;
};

}  // namespace devsim
