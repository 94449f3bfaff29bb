#pragma once

#include <QByteArray>
#include <QString>

class Config;
class SessionManager;
namespace manager {
class MqttClient;
}

// The user interface as a service on the broker, under its base topic "mqtt/base":
// it publishes its version ("/info"), whether it runs, a technician is logged in and
// wrong PINs locked the settings ("/status", also its last will) and its configuration
// ("/config"), answers the three "/get" requests and takes new configuration values
// on "/config/set".
class UiMqtt {
public:
    UiMqtt(manager::MqttClient& client, Config& config, const SessionManager& session);

    // Hands the client the broker settings, its identifier and the last will, and
    // connects; a running connection is closed first, so that they apply at once.
    void connectClient();
    void subscribe();
    void publishInfo();
    void publishStatus();
    void publishConfig();
    // Every message of every subscription of the program: those under the base topic
    // are answered, the rest are not looked at.
    void process(const QByteArray& data, const QByteArray& topic);

private:
    QString baseTopic() const;

    manager::MqttClient& m_mqtt;
    Config& m_config;
    const SessionManager& m_session;
};
