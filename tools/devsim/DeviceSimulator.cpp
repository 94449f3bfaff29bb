#include "DeviceSimulator.h"

#include <QDebug>

#include "BoardService.h"
#include "ClockService.h"
#include "ExampleMessages.h"
#include "InspectorService.h"
#include "MqttClient.h"
#include "NetworkService.h"
#include "UpdateService.h"
#include "ValidatorService.h"

namespace devsim {

DeviceSimulator::DeviceSimulator(manager::MqttClient& client, const Topics& topics, QObject* parent)
    : QObject(parent),
      m_mqtt(client),
      m_validator(new ValidatorService(client, topics.validator, this)),
      m_board(new BoardService(client, topics.board, this)),
      m_inspector(new InspectorService(client, topics.inspector, this)),
      m_network(new NetworkService(client, topics.network, this)),
      m_clock(new ClockService(client, topics.device, this)),
      m_update(new UpdateService(client, topics.device, this)) {
    for (SimulatedService* service : std::initializer_list<SimulatedService*>{
             m_validator, m_board, m_inspector, m_network, m_clock, m_update}) {
        service->subscribe();
    }
    connect(&m_mqtt, &manager::MqttClient::received, this, &DeviceSimulator::onReceived);
    connect(&m_mqtt, &manager::MqttClient::connected, this, &DeviceSimulator::publishAll);
}

DeviceSimulator::~DeviceSimulator() = default;

void DeviceSimulator::publishAll() {
    qInfo().noquote() << "[devsim] Connected; publishing the services' state";
    for (SimulatedService* service : std::initializer_list<SimulatedService*>{
             m_validator, m_board, m_inspector, m_network, m_clock, m_update}) {
        service->publishAll();
    }
}

void DeviceSimulator::onReceived(const QByteArray& payload, const QByteArray& topicBytes) {
    const QString topic = QString::fromUtf8(topicBytes);
    for (SimulatedService* service : std::initializer_list<SimulatedService*>{
             m_validator, m_board, m_inspector, m_network, m_clock, m_update}) {
        if (service->handle(topic, payload)) {
            return;
        }
    }
}

void DeviceSimulator::run(const Command& command) {
    switch (command.action) {
        case Command::None:
            break;
        case Command::Help:
            qInfo().noquote() << Command::help();
            break;
        case Command::Quit:
            emit quitRequested();
            break;
        case Command::Validate:
            m_validator->validate(command.text, command.number);
            break;
        case Command::CardFound:
            m_validator->cardFound(command.text, command.number);
            break;
        case Command::CardRemoved:
            m_validator->cardRemoved();
            break;
        case Command::CardRetry:
            m_validator->cardRetry();
            break;
        case Command::Status:
            m_validator->setCondition(command.text);
            break;
        case Command::Ignition:
            m_board->setIgnition(command.number != 0);
            break;
        case Command::UpdateAvailable:
            m_update->setPending(command.text.isEmpty()
                                     ? exampleMessage(QStringLiteral("update/software-status"))
                                           .value(QStringLiteral("pending"))
                                           .toString()
                                     : command.text);
            break;
        case Command::UpdateNone:
            m_update->setPending(QString());
            break;
        case Command::UpdateInstall:
            m_update->install();
            break;
        case Command::Maintenance:
            m_validator->scanMaintenanceBarcode();
            break;
        case Command::Temperature:
            m_board->setTemperature(command.real);
            break;
        case Command::Voltage:
            m_board->setVoltage(command.real);
            break;
    }
}

void DeviceSimulator::sayGoodbye() {
    m_validator->setCondition(QStringLiteral("service-down"));
    m_mqtt.publish(exampleMessageBytes(QStringLiteral("board/status-offline")),
                   m_board->baseTopic() + QStringLiteral("/status"), 0, true);
    m_mqtt.publish(exampleMessageBytes(QStringLiteral("inspector/status-offline")),
                   m_inspector->baseTopic() + QStringLiteral("/status"), 0, true);
}

}  // namespace devsim
