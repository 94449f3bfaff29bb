#pragma once

#include <QJsonObject>

#include "SimulatedService.h"

namespace devsim {

// The clock service's NTP part (base topic + "/clock/ntp"): whether NTP is on,
// which server it asks, and whether the clock is synchronised. A new NTP
// configuration is stored and reported back with the matching status.
class ClockService : public SimulatedService {
    Q_OBJECT

public:
    ClockService(manager::MqttClient& client, const QString& deviceBaseTopic, QObject* parent);

    void subscribe() override;
    void publishAll() override;
    bool handle(const QString& topic, const QByteArray& payload) override;

    QJsonObject config() const { return m_config; }

private:
    QJsonObject m_config;
    QJsonObject m_status;
};

}  // namespace devsim
