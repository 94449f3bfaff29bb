#pragma once

#include <QJsonObject>

#include "SimulatedService.h"

namespace devsim {

// The network manager with the wired interface eth0: connection state, primary
// connection, interface state and stored configuration. A saved configuration
// ("auto" or "manual" with static addresses) is checked, stored, reported back,
// and applied to the interface's live addresses.
class NetworkService : public SimulatedService {
    Q_OBJECT

public:
    NetworkService(manager::MqttClient& client, const QString& baseTopic, QObject* parent);

    void subscribe() override;
    bool handle(const QString& topic, const QByteArray& payload) override;

    QJsonObject ethernetConfig() const { return m_config; }
    QJsonObject ethernetState() const { return m_state; }

private:
    void saveConfig(const QJsonObject& request);

    QJsonObject m_info;
    QJsonObject m_status;
    QJsonObject m_state;
    QJsonObject m_config;
    QJsonObject m_dhcpAddresses;  // what the interface gets with "auto"
};

}  // namespace devsim
