// The device simulator against a real broker: its messages are the services'
// example messages (the same files the managers' tests read), the application's
// real managers mirror what it reports, every setting the UI changes comes back
// on the service's report topic, and bad commands and scenario files are refused
// with the line or step at fault.

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "Board.h"
#include "BoardService.h"
#include "Broker.h"
#include "Clock.h"
#include "ClockService.h"
#include "Command.h"
#include "CommandReader.h"
#include "DeviceSimulator.h"
#include "Ethernet.h"
#include "ExampleMessages.h"
#include "IPv4.h"
#include "Inspector.h"
#include "InspectorService.h"
#include "MqttClient.h"
#include "Network.h"
#include "NetworkService.h"
#include "Peer.h"
#include "Scenario.h"
#include "ScenarioPlayer.h"
#include "Transaction.h"
#include "Update.h"
#include "UpdateService.h"
#include "Validator.h"
#include "ValidatorBarcode.h"
#include "ValidatorConfig.h"
#include "ValidatorRfid.h"
#include "ValidatorService.h"

using devsim::Command;
using devsim::DeviceSimulator;
using devsim::Scenario;

namespace {

QString fixturePath(const QString& name) {
    return qEnvironmentVariable("QUELLAN_SOURCE_DIR") + QStringLiteral("/tests/fixtures/") + name +
           QStringLiteral(".json");
}

// An example message as the file on disk holds it.
QJsonObject fixtureObject(const QString& name) {
    QFile file(fixturePath(name));
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("Missing fixture %s", qPrintable(file.fileName()));
        return QJsonObject();
    }
    return QJsonDocument::fromJson(file.readAll()).object();
}

QJsonObject asObject(const QByteArray& payload) {
    return QJsonDocument::fromJson(payload).object();
}

// The last message the peer saw on a topic, as an object.
QJsonObject lastOn(const Peer& peer, const QString& topic) {
    const QList<Peer::Message> messages = peer.messages(topic);
    return messages.isEmpty() ? QJsonObject() : asObject(messages.last().payload);
}

}  // namespace

class TestDevsim : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // The wire format is the example messages.
    void compiledInMessagesAreTheFixtureFiles();
    void reportsAreTheExampleMessages();
    void scanResultsAreTheExampleMessages_data();
    void scanResultsAreTheExampleMessages();
    void everyTicketKindParsesAsItsType();

    // The application's managers on the simulator.
    void managersMirrorTheServices();
    void validatorConditions_data();
    void validatorConditions();
    void eventsReachTheValidatorManager();
    void ignitionAndHealth();
    void updateAvailableAndInstalled();

    // Requests from the UI.
    void answersGetRequests();
    void settingsRoundTrip();
    void readersSwitchOnAndOff();
    void validatorConfigRoundTrip();
    void badRequestsChangeNothing();
    void republishesAfterBrokerRestart();

    // Commands and scenarios.
    void commandErrors_data();
    void commandErrors();
    void commandReaderNamesTheLine();
    void scenarioErrors_data();
    void scenarioErrors();
    void demoScenarioShowsEveryScreen();
    void scenarioPlaysInOrder();
    void programRefusesBadInput();

private:
    void startSimulator();
    bool connectClient(manager::MqttClient& client);

    std::unique_ptr<Broker> m_broker;
    std::unique_ptr<manager::MqttClient> m_simClient;
    std::unique_ptr<DeviceSimulator> m_sim;
    std::unique_ptr<manager::MqttClient> m_ui;
    std::unique_ptr<Peer> m_peer;
};

bool TestDevsim::connectClient(manager::MqttClient& client) {
    client.setHostname(m_broker->host());
    client.setPort(m_broker->port());
    QSignalSpy connected(&client, &manager::MqttClient::connected);
    client.connect();
    return connected.wait(5000) || connected.count() > 0;
}

// Every case gets a broker of its own, so no retained report leaks between cases.
void TestDevsim::init() {
    m_broker = std::make_unique<Broker>();
    QVERIFY(m_broker->start());
    m_peer = std::make_unique<Peer>();
    QVERIFY(m_peer->connect(m_broker->host(), m_broker->port()));
    QVERIFY(m_peer->subscribe(QStringLiteral("#")));
    m_ui = std::make_unique<manager::MqttClient>();
    m_ui->setClientId(QStringLiteral("ui"));
}

void TestDevsim::cleanup() {
    m_sim.reset();
    m_simClient.reset();
    m_ui.reset();
    m_peer.reset();
    m_broker.reset();
}

void TestDevsim::startSimulator() {
    m_simClient = std::make_unique<manager::MqttClient>();
    m_simClient->setClientId(QStringLiteral("devsim"));
    m_sim = std::make_unique<DeviceSimulator>(*m_simClient, DeviceSimulator::Topics());
    QVERIFY(connectClient(*m_simClient));
    // The last report of the first round: the update service's status.
    QVERIFY(waitUntil([&] { return m_peer->count(QStringLiteral("zorv/device/status")) > 0; }));
}

void TestDevsim::compiledInMessagesAreTheFixtureFiles() {
    // Both ways: every file is compiled in with the same bytes, and nothing else is.
    QStringList onDisk;
    const QString root =
        qEnvironmentVariable("QUELLAN_SOURCE_DIR") + QStringLiteral("/tests/fixtures/");
    QDirIterator it(root, {QStringLiteral("*.json")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        onDisk << path.mid(root.size()).chopped(5);
    }
    onDisk.sort();
    QVERIFY(onDisk.size() > 30);
    QCOMPARE(devsim::exampleMessageNames(), onDisk);
    for (const QString& name : onDisk) {
        QFile file(fixturePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(devsim::exampleMessageBytes(name) == file.readAll(), qPrintable(name));
    }
}

void TestDevsim::reportsAreTheExampleMessages() {
    startSimulator();
    const QList<QPair<QString, QString>> reports = {
        {QStringLiteral("zorv/blm/info"), QStringLiteral("validator/info")},
        {QStringLiteral("zorv/blm/config"), QStringLiteral("validator/config")},
        {QStringLiteral("zorv/board/info"), QStringLiteral("board/info")},
        {QStringLiteral("zorv/board/status"), QStringLiteral("board/status")},
        {QStringLiteral("zorv/board/config"), QStringLiteral("board/config")},
        {QStringLiteral("zorv/board/display"), QStringLiteral("board/display")},
        {QStringLiteral("zorv/board/power"), QStringLiteral("board/power")},
        {QStringLiteral("zorv/board/audio"), QStringLiteral("board/audio-unmuted")},
        {QStringLiteral("zorv/inspector/info"), QStringLiteral("inspector/info")},
        {QStringLiteral("zorv/inspector/status"), QStringLiteral("inspector/status")},
        {QStringLiteral("zorv/inspector/audio"), QStringLiteral("inspector/audio")},
        {QStringLiteral("zorv/network/info"), QStringLiteral("network/info")},
        {QStringLiteral("zorv/network/status"), QStringLiteral("network/status")},
        {QStringLiteral("zorv/network/ethernet/state"),
         QStringLiteral("network/ethernet-state-eth0")},
        {QStringLiteral("zorv/network/ethernet/config"),
         QStringLiteral("network/ethernet-config-auto")},
        {QStringLiteral("zorv/device/clock/ntp/config"), QStringLiteral("clock/ntp-config")},
        {QStringLiteral("zorv/device/clock/ntp/status"), QStringLiteral("clock/ntp-status-synced")},
        {QStringLiteral("zorv/device/status"), QStringLiteral("update/status-current")},
    };
    for (const auto& report : reports) {
        QVERIFY2(m_peer->count(report.first) == 1, qPrintable(report.first));
        QCOMPARE(lastOn(*m_peer, report.first), fixtureObject(report.second));
    }

    // The validator's status is the example with the readers still off: the UI
    // switches them on when it shows the passenger screens.
    QJsonObject expected = fixtureObject(QStringLiteral("validator/status-online"));
    QJsonObject device = expected.value(QStringLiteral("device")).toObject();
    QJsonObject rfid = device.value(QStringLiteral("rfid")).toObject();
    QJsonObject barcode = device.value(QStringLiteral("barcode")).toObject();
    rfid.insert(QStringLiteral("state"), 1);
    barcode.insert(QStringLiteral("enabled"), false);
    device.insert(QStringLiteral("rfid"), rfid);
    device.insert(QStringLiteral("barcode"), barcode);
    expected.insert(QStringLiteral("device"), device);
    QCOMPARE(lastOn(*m_peer, QStringLiteral("zorv/blm/status")), expected);

    // A program that connects later finds every report waiting for it.
    Peer late;
    QVERIFY(late.connect(m_broker->host(), m_broker->port(), QStringLiteral("late")));
    QVERIFY(late.subscribe(QStringLiteral("zorv/#")));
    QVERIFY(waitUntil([&] { return late.count(QStringLiteral("zorv/device/status")) == 1; }));
    for (const auto& report : reports) {
        QVERIFY2(late.count(report.first) == 1, qPrintable(report.first));
        QVERIFY(late.messages(report.first).first().retained);
    }
}

void TestDevsim::scanResultsAreTheExampleMessages_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QString>("example");
    QTest::newRow("barcode") << "validate barcode"
                             << "zorv/blm/barcode/scanned"
                             << "validator/scan-barcode";
    QTest::newRow("epurse") << "validate epurse"
                            << "zorv/blm/rfid/scanned"
                            << "validator/scan-epurse";
    QTest::newRow("period pass") << "validate period-pass"
                                 << "zorv/blm/rfid/scanned"
                                 << "validator/scan-period-pass";
    QTest::newRow("stored journeys") << "validate stored-journeys"
                                     << "zorv/blm/rfid/scanned"
                                     << "validator/scan-stored-journeys";
    QTest::newRow("transfer epurse") << "validate transfer-epurse"
                                     << "zorv/blm/rfid/scanned"
                                     << "validator/scan-transfer-epurse";
    QTest::newRow("card found") << "card found"
                                << "zorv/rfid/card/found"
                                << "validator/card-found";
    QTest::newRow("maintenance") << "maintenance"
                                 << "zorv/blm/barcode/maintenance/scanned"
                                 << "validator/maintenance";
    QTest::newRow("ignition off") << "ignition off"
                                  << "zorv/board/event"
                                  << "board/event-ignition-off";
}

void TestDevsim::scanResultsAreTheExampleMessages() {
    QFETCH(QString, command);
    QFETCH(QString, topic);
    QFETCH(QString, example);
    startSimulator();
    QString error;
    m_sim->run(Command::parse(command, &error));
    QVERIFY(error.isEmpty());
    QVERIFY(waitUntil([&] { return m_peer->count(topic) == 1; }));
    QCOMPARE(lastOn(*m_peer, topic), fixtureObject(example));
    QVERIFY(!m_peer->messages(topic).first().retained);
}

void TestDevsim::everyTicketKindParsesAsItsType() {
    // Each kind's scan result, read by the application's own transaction record.
    const QList<QPair<QString, int>> kinds = {
        {QStringLiteral("barcode"), 0},
        {QStringLiteral("epurse"), 2},
        {QStringLiteral("stored-journeys"), 5},
        {QStringLiteral("period-pass"), 8},
        {QStringLiteral("emv"), 10},
        {QStringLiteral("transfer"), 12},
        {QStringLiteral("passenger-type-update"), 13},
        {QStringLiteral("transfer-epurse"), 14},
        {QStringLiteral("capping-epurse"), 15},
        {QStringLiteral("capping-stored-journeys"), 16},
    };
    QCOMPARE(kinds.size(), Command::ticketKinds().size());
    for (const auto& kind : kinds) {
        const QJsonObject valid = devsim::ValidatorService::scanResult(kind.first, 0);
        Transaction accepted(valid.value(QStringLiteral("transaction")).toObject(), nullptr);
        QVERIFY2(accepted.valid(), qPrintable(kind.first));
        QCOMPARE(int(accepted.type()), kind.second);
        QVERIFY(!accepted.fareProduct().isEmpty());

        const QJsonObject refused = devsim::ValidatorService::scanResult(kind.first, -1);
        Transaction denied(refused.value(QStringLiteral("transaction")).toObject(), nullptr);
        QVERIFY(!denied.valid());
        QCOMPARE(int(denied.type()), kind.second);
        // The usual refusal has a text of its own, and is not "already validated".
        QVERIFY2(denied.denyReason() != QLatin1String("Unknown Error"), qPrintable(kind.first));
        QVERIFY(denied.denyReasonId() != 103 && denied.denyReasonId() != 207);
    }
    // A refused e-purse card is not charged.
    const QVariantMap details =
        Transaction(devsim::ValidatorService::scanResult(QStringLiteral("epurse"), 205)
                        .value(QStringLiteral("transaction"))
                        .toObject(),
                    nullptr)
            .details();
    QCOMPARE(details.value(QStringLiteral("deducted")).toDouble(), 0.0);
    QCOMPARE(details.value(QStringLiteral("remaining")).toDouble(), 2.5);
}

void TestDevsim::managersMirrorTheServices() {
    manager::Validator validator(*m_ui, QStringLiteral("zorv/blm"));
    manager::Board board(*m_ui, QStringLiteral("zorv/board"));
    manager::Inspector inspector(*m_ui, QStringLiteral("zorv/inspector"));
    manager::Network network(*m_ui, QStringLiteral("zorv/network"));
    manager::Clock clock(*m_ui, QStringLiteral("zorv/device"));
    manager::Update update(*m_ui, QStringLiteral("zorv/device"));
    QVERIFY(connectClient(*m_ui));
    QCOMPARE(validator.status(), QString());

    startSimulator();
    QVERIFY(waitUntil([&] { return validator.status() == QLatin1String("online"); }));
    QCOMPARE(validator.reasonCode(), QString());
    QVERIFY(waitUntil([&] { return !update.current().isEmpty(); }));
    QVERIFY(waitUntil([&] { return clock.ntpSynced(); }));
    QCOMPARE(validator.version(), QStringLiteral("3.4.2"));
    QCOMPARE(validator.rfid()->model(), QStringLiteral("CPR74"));
    QCOMPARE(validator.config()->passbackSecs(), 120);
    QVERIFY(board.ignition());
    QCOMPARE(board.voltage(), 24.3);
    QCOMPARE(inspector.status(), QStringLiteral("online"));
    QCOMPARE(inspector.audioVolume(), 40);
    QCOMPARE(network.hostname(), QStringLiteral("validator-0412"));
    QCOMPARE(network.ethernet()->method(), QStringLiteral("auto"));
    QCOMPARE(clock.ntpServer(), QStringLiteral("pool.ntp.org"));
    QCOMPARE(update.current(), QStringLiteral("1.0.17"));
}

void TestDevsim::validatorConditions_data() {
    QTest::addColumn<QString>("condition");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("code");
    QTest::newRow("init") << "init"
                          << "init"
                          << "";
    QTest::newRow("degraded") << "degraded"
                              << "degraded"
                              << "#0005";
    QTest::newRow("service down") << "service-down"
                                  << "offline"
                                  << "#0002";
    QTest::newRow("rfid updating") << "rfid-updating"
                                   << "offline"
                                   << "#0003";
    QTest::newRow("rfid down") << "rfid-down"
                               << "offline"
                               << "#0004";
    QTest::newRow("no ntp") << "no-ntp"
                            << "offline"
                            << "#0007";
    QTest::newRow("no route") << "no-route"
                              << "out-of-service"
                              << "#0006";
}

void TestDevsim::validatorConditions() {
    QFETCH(QString, condition);
    QFETCH(QString, status);
    QFETCH(QString, code);
    manager::Validator validator(*m_ui, QStringLiteral("zorv/blm"));
    QVERIFY(connectClient(*m_ui));
    startSimulator();
    QVERIFY(waitUntil([&] { return validator.status() == QLatin1String("online"); }));
    QSignalSpy statusSpy(&validator, &manager::Validator::statusChanged);

    QString error;
    m_sim->run(Command::parse(QStringLiteral("status ") + condition, &error));
    QVERIFY(waitUntil([&] { return validator.status() == status; }));
    QCOMPARE(validator.reasonCode(), code);
    QCOMPARE(statusSpy.count(), 1);

    // The readers keep the condition: switching them does not hide a fault.
    validator.disableRfid();
    validator.enableRfid();
    QTest::qWait(200);
    QCOMPARE(validator.status(), status);
    QCOMPARE(validator.reasonCode(), code);

    m_sim->run(Command::parse(QStringLiteral("status online"), &error));
    QVERIFY(waitUntil([&] { return validator.status() == QLatin1String("online"); }));
    QCOMPARE(validator.reasonCode(), QString());
}

void TestDevsim::eventsReachTheValidatorManager() {
    manager::Validator validator(*m_ui, QStringLiteral("zorv/blm"));
    QVERIFY(connectClient(*m_ui));
    startSimulator();
    QList<QVariantMap> results;
    connect(&validator, &manager::Validator::ticketValidated, this,
            [&](const Transaction& t) { results << t.toMap(); });
    QSignalSpy found(&validator, &manager::Validator::cardDetected);
    QSignalSpy removed(&validator, &manager::Validator::cardRemoved);
    QSignalSpy retry(&validator, &manager::Validator::cardRetry);
    QSignalSpy maintenance(&validator, &manager::Validator::maintenanceBarcodeScanned);

    QString error;
    for (const char* line :
         {"card found 0411223344 64", "validate epurse", "refuse stored-journeys 207",
          "refuse barcode", "card removed", "card retry", "maintenance"}) {
        m_sim->run(Command::parse(QLatin1String(line), &error));
        QVERIFY2(error.isEmpty(), line);
    }
    QVERIFY(waitUntil([&] { return maintenance.count() == 1; }));
    QCOMPARE(found.count(), 1);
    QCOMPARE(found.first().at(0).toString(), QStringLiteral("0411223344"));
    QCOMPARE(found.first().at(1).toString(), QStringLiteral("MIFARE Ultralight"));
    QCOMPARE(results.size(), 3);
    QCOMPARE(results.at(0).value(QStringLiteral("valid")).toBool(), true);
    QCOMPARE(results.at(0)
                 .value(QStringLiteral("details"))
                 .toMap()
                 .value(QStringLiteral("deducted"))
                 .toDouble(),
             1.5);
    QCOMPARE(results.at(1).value(QStringLiteral("denyReasonId")).toInt(), 207);
    QCOMPARE(results.at(2).value(QStringLiteral("type")).toInt(), 0);
    QCOMPARE(results.at(2).value(QStringLiteral("denyReason")).toString(),
             QStringLiteral("The ticket has expired"));
    QCOMPARE(removed.count(), 1);
    QCOMPARE(retry.count(), 1);
    QVERIFY(maintenance.first().at(0).toJsonObject().contains(QStringLiteral("network")));
}

void TestDevsim::ignitionAndHealth() {
    manager::Board board(*m_ui, QStringLiteral("zorv/board"));
    QVERIFY(connectClient(*m_ui));
    startSimulator();
    QVERIFY(waitUntil([&] { return board.ignition(); }));
    QString error;
    m_sim->run(Command::parse(QStringLiteral("ignition off"), &error));
    QVERIFY(waitUntil([&] { return !board.ignition(); }));
    // The state agrees with the event, so a later status request does not undo it.
    board.refresh();
    QTest::qWait(200);
    QVERIFY(!board.ignition());
    m_sim->run(Command::parse(QStringLiteral("temperature 63.5"), &error));
    m_sim->run(Command::parse(QStringLiteral("voltage 11.8"), &error));
    m_sim->run(Command::parse(QStringLiteral("ignition on"), &error));
    QVERIFY(waitUntil([&] { return board.ignition() && board.voltage() == 11.8; }));
    QCOMPARE(board.temperature(), 63.5);
}

void TestDevsim::updateAvailableAndInstalled() {
    manager::Update update(*m_ui, QStringLiteral("zorv/device"));
    QVERIFY(connectClient(*m_ui));
    startSimulator();
    QVERIFY(waitUntil([&] { return update.status() == QLatin1String("No pending updates"); }));
    QString error;
    m_sim->run(Command::parse(QStringLiteral("update available 2.0.1"), &error));
    QVERIFY(waitUntil([&] { return update.status() == QLatin1String("Ready to install"); }));
    QCOMPARE(update.pending(), QStringLiteral("2.0.1"));

    QStringList statuses;
    connect(&update, &manager::Update::statusChanged, this, [&] { statuses << update.status(); });
    update.install();
    QVERIFY(waitUntil([&] { return update.current() == QLatin1String("2.0.1"); }, 15000));
    QVERIFY(waitUntil([&] { return update.status() == QLatin1String("No pending updates"); }));
    QCOMPARE(update.pending(), QString());
    QVERIFY(statuses.contains(QStringLiteral("Downloading")));
    QVERIFY(statuses.contains(QStringLiteral("Installing")));
    QVERIFY(statuses.indexOf(QStringLiteral("Downloading")) <
            statuses.indexOf(QStringLiteral("Installing")));

    // A check now finds nothing new; a second install has nothing to install.
    update.check();
    QVERIFY(
        waitUntil([&] { return update.status() == QLatin1String("No pending updates"); }, 8000));
    m_peer->clear();
    m_sim->run(Command::parse(QStringLiteral("update install"), &error));
    QTest::qWait(2 * devsim::UpdateService::StepMillis);
    QCOMPARE(m_peer->count(QStringLiteral("zorv/device/update/software/progress")), 0);
}

void TestDevsim::answersGetRequests() {
    startSimulator();
    m_peer->clear();
    const QList<QPair<QString, QString>> gets = {
        {QStringLiteral("zorv/board/status/get"), QStringLiteral("zorv/board/status")},
        {QStringLiteral("zorv/board/display/get"), QStringLiteral("zorv/board/display")},
        {QStringLiteral("zorv/board/power/get"), QStringLiteral("zorv/board/power")},
        {QStringLiteral("zorv/board/audio/get"), QStringLiteral("zorv/board/audio")},
        {QStringLiteral("zorv/inspector/audio/get"), QStringLiteral("zorv/inspector/audio")},
        {QStringLiteral("zorv/inspector/stats/cpu/get"),
         QStringLiteral("zorv/inspector/stats/cpu")},
        {QStringLiteral("zorv/inspector/stats/memory/get"),
         QStringLiteral("zorv/inspector/stats/memory")},
        {QStringLiteral("zorv/inspector/stats/disk/get"),
         QStringLiteral("zorv/inspector/stats/disk")},
        {QStringLiteral("zorv/network/ethernet/state/get"),
         QStringLiteral("zorv/network/ethernet/state")},
        {QStringLiteral("zorv/network/ethernet/config/get"),
         QStringLiteral("zorv/network/ethernet/config")},
        {QStringLiteral("zorv/device/clock/ntp/status/get"),
         QStringLiteral("zorv/device/clock/ntp/status")},
        {QStringLiteral("zorv/device/clock/ntp/config/get"),
         QStringLiteral("zorv/device/clock/ntp/config")},
        {QStringLiteral("zorv/device/status/get"), QStringLiteral("zorv/device/status")},
        {QStringLiteral("zorv/blm/config/get"), QStringLiteral("zorv/blm/config")},
    };
    for (const auto& get : gets) {
        // The UI's payloads: "{}", "{ }" or nothing at all.
        QVERIFY(
            m_peer->publish(get.first, get.first.contains(QLatin1String("blm")) ? "{ }" : "{}"));
        QVERIFY2(waitUntil([&] { return m_peer->count(get.second) == 1; }), qPrintable(get.first));
    }
    QCOMPARE(lastOn(*m_peer, QStringLiteral("zorv/inspector/stats/cpu")),
             fixtureObject(QStringLiteral("inspector/stats-cpu")));
    // The update service's request has an empty payload.
    m_peer->clear();
    QVERIFY(m_peer->publish(QStringLiteral("zorv/device/status/get"), QByteArray()));
    QVERIFY(waitUntil([&] { return m_peer->count(QStringLiteral("zorv/device/status")) == 1; }));
}

void TestDevsim::settingsRoundTrip() {
    manager::Board board(*m_ui, QStringLiteral("zorv/board"));
    manager::Inspector inspector(*m_ui, QStringLiteral("zorv/inspector"));
    manager::Network network(*m_ui, QStringLiteral("zorv/network"));
    manager::Clock clock(*m_ui, QStringLiteral("zorv/device"));
    QVERIFY(connectClient(*m_ui));
    startSimulator();
    manager::Ethernet& ethernet = *network.ethernet();
    QVERIFY(waitUntil([&] {
        return board.displayBrightness() == 80 && inspector.audioVolume() == 40 &&
               ethernet.method() == QLatin1String("auto") && clock.ntpEnabled();
    }));

    QSignalSpy brightness(&board, &manager::Board::displayBrightnessChanged);
    QSignalSpy mode(&board, &manager::Board::displayBrightnessModeChanged);
    QSignalSpy audio(&board, &manager::Board::audioEnabledChanged);
    QSignalSpy power(&board, &manager::Board::peripheralPowerChanged);
    QSignalSpy delay(&board, &manager::Board::delayShutdownForChanged);
    QSignalSpy volume(&inspector, &manager::Inspector::audioVolumeChanged);
    board.setDisplayBrightness(35);
    board.setDisplayBrightnessMode(QStringLiteral("manual"));
    board.setAudioEnabled(false);
    board.setPeripheralPower(QStringLiteral("display"), false);
    board.setDelayShutdownFor(120);
    inspector.setAudioVolume(70);
    QVERIFY(waitUntil(
        [&] { return board.delayShutdownFor() == 120 && inspector.audioVolume() == 70; }));
    QVERIFY(waitUntil([&] { return !board.peripheralPower(QStringLiteral("display")); }));
    QCOMPARE(board.displayBrightness(), 35);
    QCOMPARE(board.displayBrightnessMode(), QStringLiteral("manual"));
    QVERIFY(!board.audioEnabled());
    QCOMPARE(brightness.count(), 1);
    QCOMPARE(mode.count(), 1);
    QCOMPARE(audio.count(), 1);
    QCOMPARE(power.count(), 1);
    QCOMPARE(delay.count(), 1);
    QCOMPARE(volume.count(), 1);
    // The other peripherals keep their power.
    QVERIFY(board.peripheralPower(QStringLiteral("touch")));

    // NTP: the server, then switched off; the status follows.
    clock.setNtpServer(QStringLiteral("ntp.example.org"));
    QVERIFY(waitUntil([&] { return clock.ntpServer() == QLatin1String("ntp.example.org"); }));
    clock.setNtpEnabled(false);
    QVERIFY(waitUntil([&] { return !clock.ntpEnabled() && !clock.ntpSynced(); }));
    QCOMPARE(clock.ntpServer(), QStringLiteral("ntp.example.org"));

    // Ethernet: static addresses are stored and the interface takes them.
    ethernet.setMethod(QStringLiteral("manual"));
    ethernet.config()->setAddress(QStringLiteral("10.1.2.3"));
    ethernet.config()->setMask(QStringLiteral("255.255.255.0"));
    ethernet.config()->setGateway(QStringLiteral("10.1.2.1"));
    ethernet.config()->setDns0(QStringLiteral("10.1.2.1"));
    ethernet.config()->setDns1(QString());
    ethernet.save();
    QVERIFY(waitUntil([&] { return ethernet.ipv4()->address() == QLatin1String("10.1.2.3"); }));
    QCOMPARE(network.primaryConnection()->ipv4()->address(), QStringLiteral("10.1.2.3"));
    ethernet.reset();
    QTest::qWait(200);
    QCOMPARE(ethernet.method(), QStringLiteral("manual"));
    QCOMPARE(ethernet.config()->address(), QStringLiteral("10.1.2.3"));
    // And back to automatic addresses.
    ethernet.setMethod(QStringLiteral("auto"));
    ethernet.save();
    QVERIFY(
        waitUntil([&] { return ethernet.ipv4()->address() == QLatin1String("192.168.10.40"); }));
    QCOMPARE(ethernet.config()->address(), QString());
}

void TestDevsim::readersSwitchOnAndOff() {
    manager::Validator validator(*m_ui, QStringLiteral("zorv/blm"));
    QVERIFY(connectClient(*m_ui));
    startSimulator();
    QVERIFY(waitUntil([&] { return validator.status() == QLatin1String("online"); }));
    QVERIFY(!validator.rfid()->enabled());
    QVERIFY(!validator.barcode()->enabled());
    QSignalSpy statusSpy(&validator, &manager::Validator::statusChanged);

    validator.enableRfid();
    validator.enableBarcode();
    QVERIFY(
        waitUntil([&] { return validator.rfid()->enabled() && validator.barcode()->enabled(); }));
    QCOMPARE(validator.rfid()->state(), QStringLiteral("Searching"));
    QVERIFY(m_sim->validator().rfidEnabled());

    // A card in the field shows in the reader's state while it is there.
    QString error;
    m_sim->run(Command::parse(QStringLiteral("card found"), &error));
    QVERIFY(waitUntil([&] { return validator.rfid()->state() == QLatin1String("CardFound"); }));
    m_sim->run(Command::parse(QStringLiteral("card removed"), &error));
    QVERIFY(waitUntil([&] { return validator.rfid()->state() == QLatin1String("Searching"); }));

    validator.disableRfid();
    validator.disableBarcode();
    QVERIFY(
        waitUntil([&] { return !validator.rfid()->enabled() && !validator.barcode()->enabled(); }));
    QCOMPARE(validator.rfid()->state(), QStringLiteral("Idle"));
    // Switching readers is no change of the validator's status.
    QCOMPARE(statusSpy.count(), 0);
}

void TestDevsim::validatorConfigRoundTrip() {
    manager::Validator validator(*m_ui, QStringLiteral("zorv/blm"));
    QVERIFY(connectClient(*m_ui));
    startSimulator();
    QVERIFY(waitUntil([&] { return validator.config()->passbackSecs() == 120; }));
    QCOMPARE(validator.config()->obuUrl().port(), 8883);

    validator.config()->setObuUrl(QUrl(QStringLiteral("mqtt://bus:pw@10.0.0.9")));
    validator.config()->setPassbackSecs(300);
    validator.config()->setPassbackQrEnabled(false);
    QSignalSpy config(&validator, &manager::Validator::configChanged);
    validator.saveConfig();
    QVERIFY(config.wait(3000) || config.count() == 1);
    QCOMPARE(config.count(), 1);
    QVERIFY(waitUntil([&] { return m_peer->count(QStringLiteral("zorv/blm/config")) == 2; }));
    const QJsonObject stored = lastOn(*m_peer, QStringLiteral("zorv/blm/config"));
    // The service keeps text: no port is an empty text, not "-1".
    QCOMPARE(stored.value(QStringLiteral("blm")).toObject().value(QStringLiteral("obu_port")),
             QJsonValue(QString()));
    QCOMPARE(
        stored.value(QStringLiteral("validator")).toObject().value(QStringLiteral("passbackTime")),
        QJsonValue(QStringLiteral("300")));

    // Read back after the UI dropped its edits, the stored values return.
    validator.config()->setPassbackSecs(5);
    validator.refreshConfig();
    QVERIFY(waitUntil([&] { return validator.config()->passbackSecs() == 300; }));
    QCOMPARE(validator.config()->obuUrl().host(), QStringLiteral("10.0.0.9"));
    QCOMPARE(validator.config()->obuUrl().port(), -1);
    QCOMPARE(validator.config()->obuUrl().userName(), QStringLiteral("bus"));
    QVERIFY(!validator.config()->passbackQrEnabled());
}

void TestDevsim::badRequestsChangeNothing() {
    startSimulator();
    const QJsonObject display = m_sim->board().display();
    const QJsonObject ethernet = m_sim->network().ethernetConfig();
    const QJsonObject ntp = m_sim->clock().config();
    const QJsonObject power = m_sim->board().power();
    const QJsonObject boardConfig = m_sim->board().config();
    const QJsonObject volume = m_sim->inspector().audio();
    const QList<QPair<QString, QByteArray>> requests = {
        {QStringLiteral("zorv/board/display/set"), "not json"},
        {QStringLiteral("zorv/board/display/set"), "[1, 2]"},
        {QStringLiteral("zorv/board/display/set"), "{\"mode\": \"sideways\"}"},
        {QStringLiteral("zorv/board/display/set"), "{\"brightness\": \"bright\"}"},
        {QStringLiteral("zorv/board/power/set"), "{\"display\": \"off\"}"},
        {QStringLiteral("zorv/board/config/set"), "{\"device\": {\"delayShutdownFor\": -5}}"},
        {QStringLiteral("zorv/board/config/set"), ""},
        {QStringLiteral("zorv/inspector/audio/set"), "{\"internal\": {\"volume\": \"loud\"}}"},
        {QStringLiteral("zorv/device/clock/ntp/config/set"),
         "{\"enabled\": \"yes\", \"server\": \"x\"}"},
        {QStringLiteral("zorv/network/ethernet/config/set"),
         "{\"interface\": \"eth0\", \"method\": \"manual\", \"address\": \"10.0.0.300\", "
         "\"netmask\": \"255.255.255.0\", \"gateway\": \"\", \"dns0\": \"10.0.0.1\", \"dns1\": "
         "\"\"}"},
        {QStringLiteral("zorv/network/ethernet/config/set"),
         "{\"interface\": \"wlan0\", \"method\": \"auto\"}"},
        {QStringLiteral("zorv/network/ethernet/config/set"),
         "{\"interface\": \"eth0\", \"method\": \"dhcp\"}"},
        {QStringLiteral("zorv/blm/config/set"), "{\"blm\": "},
    };
    for (const auto& request : requests) {
        QVERIFY(m_peer->publish(request.first, request.second));
    }
    // A good request after the bad ones is still served: the simulator is alive.
    m_peer->clear();
    QVERIFY(m_peer->publish(QStringLiteral("zorv/board/audio/get"), "{}"));
    QVERIFY(waitUntil([&] { return m_peer->count(QStringLiteral("zorv/board/audio")) == 1; }));
    QCOMPARE(m_sim->board().power(), power);
    QCOMPARE(m_sim->board().config(), boardConfig);
    QCOMPARE(m_sim->inspector().audio(), volume);
    QCOMPARE(m_sim->network().ethernetConfig(), ethernet);
    QCOMPARE(m_sim->clock().config(), ntp);
    QCOMPARE(m_sim->board().display(), display);
}

void TestDevsim::republishesAfterBrokerRestart() {
    startSimulator();
    m_simClient->setRetryMillis(200);
    QString error;
    m_sim->run(Command::parse(QStringLiteral("status no-route"), &error));
    QVERIFY(waitUntil([&] { return m_peer->count(QStringLiteral("zorv/blm/status")) == 2; }));

    // A broker without persistence forgets every retained report when it restarts.
    m_peer.reset();
    m_broker->kill();
    QVERIFY(m_broker->start());
    Peer after;
    QVERIFY(after.connect(m_broker->host(), m_broker->port(), QStringLiteral("after")));
    QVERIFY(after.subscribe(QStringLiteral("zorv/#")));
    QVERIFY(
        waitUntil([&] { return after.count(QStringLiteral("zorv/device/status")) > 0; }, 15000));
    // The state is the one before the restart, not the example's.
    const QJsonObject status = lastOn(after, QStringLiteral("zorv/blm/status"));
    QCOMPARE(status.value(QStringLiteral("state")).toObject().value(QStringLiteral("hasRoute")),
             QJsonValue(false));
    QCOMPARE(after.count(QStringLiteral("zorv/board/status")), 1);
}

void TestDevsim::commandErrors_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("error");
    QTest::newRow("unknown") << "validat epurse"
                             << "unknown command 'validat'";
    QTest::newRow("no kind") << "validate"
                             << "usage: validate KIND";
    QTest::newRow("bad kind") << "validate bus-pass"
                              << "unknown ticket kind 'bus-pass'";
    QTest::newRow("refusal id") << "refuse epurse -3"
                                << "refusal id '-3'";
    QTest::newRow("bad condition") << "status sideways"
                                   << "unknown validator condition 'sideways'";
    QTest::newRow("ignition") << "ignition maybe"
                              << "usage: ignition on|off";
    QTest::newRow("card uid") << "card found XYZ!"
                              << "card uid 'XYZ!'";
    QTest::newRow("card type") << "card found 0411 DESFire"
                               << "card type 'DESFire'";
    QTest::newRow("card what") << "card lost"
                               << "usage: card found";
    QTest::newRow("update") << "update later"
                            << "usage: update available";
    QTest::newRow("temperature") << "temperature hot"
                                 << "'hot' is not a number";
    QTest::newRow("extra word") << "maintenance now"
                                << "usage: maintenance";
}

void TestDevsim::commandErrors() {
    QFETCH(QString, line);
    QFETCH(QString, error);
    QString message;
    const Command command = Command::parse(line, &message);
    QCOMPARE(command.action, Command::None);
    QVERIFY2(message.contains(error), qPrintable(message));
}

void TestDevsim::commandReaderNamesTheLine() {
    startSimulator();
    devsim::CommandReader reader(*m_sim);
    m_peer->clear();
    // Bytes arrive in pieces; a bad line is named and skipped, the next one runs.
    QCOMPARE(reader.feed("validate epu"), QString());
    QCOMPARE(reader.feed("rse\n# a comment\n\n"), QString());
    const QString error = reader.feed("frobnicate\nvalidate barcode\n");
    QCOMPARE(error,
             QStringLiteral("line 4: unknown command 'frobnicate' (type 'help' for the list)"));
    QVERIFY(
        waitUntil([&] { return m_peer->count(QStringLiteral("zorv/blm/barcode/scanned")) == 1; }));
    QCOMPARE(m_peer->count(QStringLiteral("zorv/blm/rfid/scanned")), 1);
    QCOMPARE(reader.lineNumber(), 5);
    // A runaway line without an end is dropped rather than kept growing.
    QVERIFY(reader.feed(QByteArray(70000, 'x')).contains(QLatin1String("too long")));
    QCOMPARE(reader.feed("card retry\n"), QString());
}

void TestDevsim::scenarioErrors_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error");
    QTest::newRow("broken json")
        << QByteArray("{\n  \"steps\": [\n    {\"wait\": 1 \"do\": \"x\"}\n  ]\n}")
        << "line 3, column";
    QTest::newRow("not an object") << QByteArray("[1]") << "a scenario is a JSON object";
    QTest::newRow("no steps") << QByteArray("{\"loop\": true}") << "\"steps\" must be a list";
    QTest::newRow("empty steps") << QByteArray("{\"steps\": []}") << "\"steps\" must be a list";
    QTest::newRow("loop text") << QByteArray(
                                      "{\"loop\": \"yes\", \"steps\": [{\"do\": \"card retry\"}]}")
                               << "\"loop\" must be true or false";
    QTest::newRow("unknown top key") << QByteArray("{\"stpes\": []}") << "unknown key \"stpes\"";
    QTest::newRow("bad command")
        << QByteArray(
               "{\"steps\": [{\"do\": \"ignition on\"}, {\"do\": \"card retry\"}, "
               "{\"wait\": 10, \"do\": \"validate bus-pass\"}]}")
        << "step 3: unknown ticket kind 'bus-pass'";
    QTest::newRow("negative wait") << QByteArray(
                                          "{\"steps\": [{\"do\": \"card retry\"}, {\"wait\": -1, "
                                          "\"do\": \"card retry\"}]}")
                                   << "step 2: \"wait\" must be a whole number";
    QTest::newRow("fractional wait")
        << QByteArray("{\"steps\": [{\"wait\": 1.5, \"do\": \"card retry\"}]}")
        << "step 1: \"wait\"";
    QTest::newRow("text wait") << QByteArray(
                                      "{\"steps\": [{\"wait\": \"1s\", \"do\": \"card retry\"}]}")
                               << "step 1: \"wait\"";
    QTest::newRow("typo key") << QByteArray("{\"steps\": [{\"wiat\": 5, \"do\": \"card retry\"}]}")
                              << "step 1: unknown key \"wiat\"";
    QTest::newRow("no do") << QByteArray("{\"steps\": [{\"do\": \"card retry\"}, {\"wait\": 5}]}")
                           << "step 2: \"do\" must hold a command";
    QTest::newRow("step not object")
        << QByteArray("{\"steps\": [\"card retry\"]}") << "step 1: a step is an object";
    QTest::newRow("comment only") << QByteArray("{\"steps\": [{\"do\": \"# nothing\"}]}")
                                  << "step 1:";
}

void TestDevsim::scenarioErrors() {
    QFETCH(QByteArray, text);
    QFETCH(QString, error);
    Scenario scenario;
    scenario.steps.append(Scenario::Step());
    QString message;
    QVERIFY(!Scenario::parse(text, &scenario, &message));
    QVERIFY2(message.contains(error), qPrintable(message));
    // A refused file leaves what was there.
    QCOMPARE(scenario.steps.size(), 1);
}

void TestDevsim::demoScenarioShowsEveryScreen() {
    Scenario demo;
    QString error;
    QVERIFY2(Scenario::load(qEnvironmentVariable("QUELLAN_SOURCE_DIR") +
                                QStringLiteral("/tools/devsim/scenarios/demo.json"),
                            &demo, &error),
             qPrintable(error));
    QVERIFY(demo.loop);
    QStringList lines;
    for (const Scenario::Step& step : demo.steps) {
        lines << step.line;
    }
    // What brings up each passenger screen: Busy, ScanScreens, Valid, AlreadyValid
    // (103 and 207), Invalid, Retry, OutOfOrder, OutOfService, ScreenSaver.
    for (const char* needed :
         {"status init", "status online", "validate epurse", "refuse stored-journeys 207",
          "refuse barcode 103", "refuse epurse 205", "card retry", "status service-down",
          "status out-of-service", "ignition off", "ignition on", "status degraded"}) {
        QVERIFY2(lines.contains(QLatin1String(needed)), needed);
    }
    // It ends where the next round starts cleanly: ignition on before the end.
    QVERIFY(lines.lastIndexOf(QStringLiteral("ignition on")) >
            lines.lastIndexOf(QStringLiteral("ignition off")));
}

void TestDevsim::scenarioPlaysInOrder() {
    startSimulator();
    m_peer->clear();
    Scenario scenario;
    QString error;
    QVERIFY(
        Scenario::parse("{\"steps\": [{\"do\": \"validate epurse\"}, {\"wait\": 50, \"do\": "
                        "\"card retry\"}, {\"wait\": 50, \"do\": \"validate barcode\"}]}",
                        &scenario, &error));
    devsim::ScenarioPlayer player(*m_sim, scenario);
    QSignalSpy finished(&player, &devsim::ScenarioPlayer::finished);
    player.start();
    QVERIFY(finished.wait(5000));
    QVERIFY(
        waitUntil([&] { return m_peer->count(QStringLiteral("zorv/blm/barcode/scanned")) == 1; }));
    QStringList order;
    for (const Peer::Message& message : m_peer->messages()) {
        if (message.topic.startsWith(QLatin1String("zorv/blm/"))) {
            order << message.topic;
        }
    }
    QCOMPARE(order, QStringList({QStringLiteral("zorv/blm/rfid/scanned"),
                                 QStringLiteral("zorv/blm/rfid/retry"),
                                 QStringLiteral("zorv/blm/barcode/scanned")}));
    QCOMPARE(player.stepsRun(), 3);
}

void TestDevsim::programRefusesBadInput() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile file(dir.filePath(QStringLiteral("bad.json")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{\"steps\": [{\"do\": \"ignition on\"}, {\"do\": \"status upside-down\"}]}");
    file.close();

    auto run = [](const QStringList& arguments, QString* output) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(QUELLAN_DEVSIM_BINARY), arguments);
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        *output = QString::fromUtf8(process.readAll());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    };
    QString output;
    QCOMPARE(run({QStringLiteral("--scenario"), file.fileName()}, &output), 2);
    QVERIFY2(output.contains(
                 QLatin1String("bad.json: step 2: unknown validator condition 'upside-down'")),
             qPrintable(output));
    QCOMPARE(
        run({QStringLiteral("--scenario"), dir.filePath(QStringLiteral("missing.json"))}, &output),
        2);
    QVERIFY2(output.contains(QLatin1String("cannot read")), qPrintable(output));
    QCOMPARE(run({QStringLiteral("--port"), QStringLiteral("http")}, &output), 2);
    QVERIFY(output.contains(QLatin1String("port 'http'")));
    QCOMPARE(run({QStringLiteral("--board-topic"), QStringLiteral("zorv/#")}, &output), 2);
    QCOMPARE(run({QStringLiteral("--check"), QStringLiteral("--scenario"),
                  qEnvironmentVariable("QUELLAN_SOURCE_DIR") +
                      QStringLiteral("/tools/devsim/scenarios/demo.json")},
                 &output),
             0);
    QVERIFY(output.contains(QLatin1String("looping")));
}

QTEST_GUILESS_MAIN(TestDevsim)
#include "tst_devsim.moc"
