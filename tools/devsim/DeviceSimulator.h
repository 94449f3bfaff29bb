#pragma once

#include <QObject>
#include <QString>

#include "Command.h"

namespace manager {
class MqttClient;
}

namespace devsim {

class ValidatorService;
class BoardService;
class InspectorService;
class NetworkService;
class ClockService;
class UpdateService;

// Every simulated device service on one broker connection. It subscribes the
// services' requests, publishes their reports after each connection to the
// broker, hands each incoming request to the service it belongs to, and carries
// out commands (typed or from a scenario).
class DeviceSimulator : public QObject {
    Q_OBJECT

public:
    // Base topics of the services, as the UI's configuration names them.
    struct Topics {
        QString validator = QStringLiteral("zorv/blm");
        QString board = QStringLiteral("zorv/board");
        QString inspector = QStringLiteral("zorv/inspector");
        QString network = QStringLiteral("zorv/network");
        QString device = QStringLiteral("zorv/device");  // clock/NTP and update
    };

    DeviceSimulator(manager::MqttClient& client, const Topics& topics, QObject* parent = nullptr);
    ~DeviceSimulator() override;

    // Carries out one command; "quit" emits quitRequested, "help" prints the list.
    void run(const Command& command);
    // The services' last word before the simulator stops: validator, board and
    // inspector report that their service is no longer running.
    void sayGoodbye();

    ValidatorService& validator() { return *m_validator; }
    BoardService& board() { return *m_board; }
    InspectorService& inspector() { return *m_inspector; }
    NetworkService& network() { return *m_network; }
    ClockService& clock() { return *m_clock; }
    UpdateService& update() { return *m_update; }

signals:
    void quitRequested();

private:
    void onReceived(const QByteArray& payload, const QByteArray& topic);
    void publishAll();

    manager::MqttClient& m_mqtt;
    ValidatorService* m_validator;
    BoardService* m_board;
    InspectorService* m_inspector;
    NetworkService* m_network;
    ClockService* m_clock;
    UpdateService* m_update;
};

}  // namespace devsim
