#pragma once

#include <QJsonObject>
#include <QStringList>

#include "SimulatedService.h"

namespace devsim {

// The system inspector: version, sound card volume and system statistics. It
// stores a new volume and reports it back; sound and power requests are logged
// (a developer's machine is not powered off) and the played files are kept.
class InspectorService : public SimulatedService {
    Q_OBJECT

public:
    InspectorService(manager::MqttClient& client, const QString& baseTopic, QObject* parent);

    void subscribe() override;
    bool handle(const QString& topic, const QByteArray& payload) override;

    QJsonObject audio() const { return m_audio; }
    QStringList played() const { return m_played; }

private:
    QJsonObject m_info;
    QJsonObject m_status;
    QJsonObject m_audio;
    QStringList m_played;
};

}  // namespace devsim
