#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

#include "Emissions.h"
#include "LogCapture.h"
#include "MqttClient.h"
#include "SAM.h"
#include "Validator.h"
#include "ValidatorFixtures.h"
#include "support/ServiceRig.h"

using manager::MqttClient;
using manager::Validator;

namespace {

// The rig's peer plays every service under "zorv"; the topics below are under it.
const QString kBase = QStringLiteral("zorv/blm");
const QString kStatus = QStringLiteral("/blm/status");
const QString kInfo = QStringLiteral("/blm/info");
const QString kConfig = QStringLiteral("/blm/config");
const QString kConfigGet = QStringLiteral("/blm/config/get");
const QString kConfigSet = QStringLiteral("/blm/config/set");
const QString kCardFound = QStringLiteral("/rfid/card/found");
const QString kCardRemoved = QStringLiteral("/rfid/card/removed");

// Every log line of the run, to check the lines a message must (or must not) leave.
std::unique_ptr<LogCapture> g_log;

int logged(const QString& fragment) {
    return g_log->count(fragment);
}

QByteArray json(const QJsonObject& object) {
    return compact(object);
}

QJsonObject onlineStatus() {
    return validatorFixture("status-online");
}

QJsonObject withState(QJsonObject status, const QString& key, const QJsonValue& value) {
    QJsonObject state = status["state"].toObject();
    if (value.isUndefined()) {
        state.remove(key);
    } else {
        state[key] = value;
    }
    status["state"] = state;
    return status;
}

QJsonObject withRfidState(QJsonObject status, int code) {
    QJsonObject device = status["device"].toObject();
    QJsonObject rfid = device["rfid"].toObject();
    rfid["state"] = code;
    device["rfid"] = rfid;
    status["device"] = device;
    return status;
}

// Order in which the change signals of status and reason arrive.
class StatusOrder : public Emissions {
public:
    explicit StatusOrder(Validator& validator) : Emissions(&validator) {}
    QStringList events() const {
        QStringList out;
        for (const QString& name : order()) {
            if (name == QLatin1String("statusChanged") || name == QLatin1String("reasonChanged")) {
                out << name.chopped(7);
            }
        }
        return out;
    }
    void clear() { take(); }
};

}  // namespace

class TestValidator : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { g_log.reset(); }
    void init();
    void cleanup();

    void subscribesOnceInOrder();
    void statusTable_data();
    void statusTable();
    void statusAppliesVehicleRouteAndReaders();
    void serviceDownKeepsVehicleAndRoute();
    void repeatedStatusEmitsOnce();
    void infoMessage();
    void configRoundTrip();
    void configFromStrings_data();
    void configFromStrings();
    void configWithoutPortOrCredentials();
    void refreshConfigPayload();
    void enableDisableFollowReaders();
    void cardEvents();
    void cardTypeTable_data();
    void cardTypeTable();
    void scanResults();
    void maintenanceBarcode();
    void malformedPayloadsKeepState();
    void topicsMatchWholeStrings();
    void brokerLossAndReturn();

private:
    std::unique_ptr<ServiceRig> m_rig;
    std::unique_ptr<Validator> m_validator;
};

void TestValidator::initTestCase() {
    QVERIFY(!validatorFixture("status-online").isEmpty());
    g_log = std::make_unique<LogCapture>();
}

void TestValidator::init() {
    m_rig = std::make_unique<ServiceRig>(QStringLiteral("zorv"));
    m_rig->client().setRetryMillis(200);
    m_validator = std::make_unique<Validator>(m_rig->client(), kBase);
    QVERIFY(m_rig->start());
    m_rig->service().clear();
    g_log->clear();
}

void TestValidator::cleanup() {
    m_validator.reset();
    m_rig.reset();
}

void TestValidator::subscribesOnceInOrder() {
    // The client renews every recorded subscription on connection, in the order
    // recorded, and logs each one.
    g_log->clear();
    MqttClient client;
    Validator validator(client, QStringLiteral("site/blm"));
    QSignalSpy connected(&client, &MqttClient::connected);
    client.setHostname(m_rig->broker().host());
    client.setPort(m_rig->broker().port());
    client.connect();
    QVERIFY(waitUntil([&] { return connected.count() == 1; }));

    const QRegularExpression pattern("Subscribing to '([^']*)' with QoS = (\\d+)");
    QStringList topics;
    for (const QString& line : g_log->all()) {
        const QRegularExpressionMatch match = pattern.match(line);
        if (match.hasMatch()) {
            topics << match.captured(1);
            QCOMPARE(match.captured(2), QString("0"));
        }
    }
    QCOMPARE(topics,
             (QStringList{"site/blm/info", "site/blm/status", "site/blm/config",
                          "site/blm/rfid/retry", "site/blm/rfid/removed", "site/blm/rfid/scanned",
                          "site/blm/barcode/scanned", "site/blm/barcode/maintenance/scanned",
                          "zorv/rfid/card/removed", "zorv/rfid/card/found"}));
}

void TestValidator::statusTable_data() {
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("code");

    auto row = [](const char* name, const QByteArray& payload, const char* status,
                  const char* reason = "", const char* code = "") {
        QTest::newRow(name) << payload << status << reason << code;
    };
    const QJsonObject online = onlineStatus();
    QJsonObject down = online;
    down["service"] = false;
    QJsonObject noService = online;
    noService.remove("service");
    QJsonObject textService = online;
    textService["service"] = "true";
    QJsonObject noState = online;
    noState.remove("state");
    const QJsonObject noNtp = withState(online, "hasNtp", QJsonValue::Undefined);
    const QJsonObject noRfid = withState(online, "hasRfid", false);
    const char* const serviceDown = "BLM service down";

    row("running, all well", json(online), "online");
    row("service false", json(down), "offline", serviceDown, "#0002");
    row("service missing", json(noService), "offline", serviceDown, "#0002");
    row("service as text", json(textService), "offline", serviceDown, "#0002");
    row("empty payload", QByteArray(), "offline", serviceDown, "#0002");
    row("JSON array", "[{\"service\": true}]", "offline", serviceDown, "#0002");
    row("init", json(withState(noRfid, "init", true)), "init");
    row("RFID down, updating", json(withRfidState(noRfid, 4)), "offline",
        "RFID firmware is updating", "#0003");
    row("RFID down, error", json(withRfidState(noRfid, 5)), "offline", "RFID is not operational",
        "#0004");
    row("no state", json(noState), "offline", "RFID is not operational", "#0004");
    row("no state, updating", json(withRfidState(noState, 4)), "offline",
        "RFID firmware is updating", "#0003");
    row("NTP false", json(withState(withState(online, "hasNtp", false), "hasRoute", false)),
        "offline", "NTP not synchronized", "#0007");
    row("NTP null", json(withState(online, "hasNtp", QJsonValue::Null)), "offline",
        "NTP not synchronized", "#0007");
    row("NTP absent", json(noNtp), "online");
    row("no route", json(withState(withState(online, "hasRoute", false), "hasQr", false)),
        "out-of-service", "No route", "#0006");
    row("OBC lost", json(withState(noNtp, "hasObu", false)), "degraded", "OBC lost", "#0005");
    row("barcode down", json(withState(online, "hasQr", false)), "degraded",
        "Barcode not operational", "#0005");
    row("OBC lost and barcode down",
        json(withState(withState(noNtp, "hasObu", false), "hasQr", false)), "degraded",
        "OBC lost,Barcode not operational", "#0005");
}

void TestValidator::statusTable() {
    QFETCH(QByteArray, payload);
    QFETCH(QString, status);
    QFETCH(QString, reason);
    QFETCH(QString, code);
    Validator& validator = *m_validator;
    StatusOrder order(validator);
    QSignalSpy statusSpy(&validator, &Validator::statusChanged);

    QVERIFY(m_rig->send(kStatus, payload));
    QVERIFY(waitUntil([&] { return statusSpy.count() > 0; }));

    QCOMPARE(validator.status(), status);
    QCOMPARE(validator.reason(), reason);
    QCOMPARE(validator.reasonCode(), code);
    // The reason starts empty: an empty reason is no change.
    const QStringList expected =
        reason.isEmpty() ? QStringList{"status"} : QStringList{"status", "reason"};
    QCOMPARE(order.events(), expected);
    QCOMPARE(logged("Validator status is : "), 1);
    QCOMPARE(logged("Failed to parse JSON message"), 0);
}

void TestValidator::statusAppliesVehicleRouteAndReaders() {
    Validator& validator = *m_validator;
    QSignalSpy vehicleSpy(&validator, &Validator::vehicleChanged);
    QSignalSpy routeSpy(&validator, &Validator::routeChanged);
    QSignalSpy samSpy(validator.rfid(), &ValidatorRfid::samChanged);

    QVERIFY(m_rig->send(kStatus, validatorFixtureBytes("status-online")));
    QCOMPARE(validator.vehicle(), QString("b7e1c9a2-5d1f-4c3e-9a77-2f0e6d3c1a10"));
    QCOMPARE(validator.route(), QString("X95 Syntagma - Airport"));
    QCOMPARE(vehicleSpy.count(), 1);
    QCOMPARE(routeSpy.count(), 1);
    QVERIFY(validator.barcode()->enabled());
    QCOMPARE(validator.rfid()->state(), QString("Searching"));
    QVERIFY(validator.rfid()->enabled());
    QCOMPARE(validator.rfid()->numberOfSlots(), 4);
    QCOMPARE(validator.rfid()->sam()->name(), QString("Operator SAM"));
    QCOMPARE(samSpy.count(), 1);
}

void TestValidator::serviceDownKeepsVehicleAndRoute() {
    Validator& validator = *m_validator;
    QVERIFY(m_rig->send(kStatus, validatorFixtureBytes("status-online")));
    QSignalSpy vehicleSpy(&validator, &Validator::vehicleChanged);
    QSignalSpy routeSpy(&validator, &Validator::routeChanged);

    // The readers are still taken from a status of a stopped service; obu and route
    // are not.
    QJsonObject down = withRfidState(onlineStatus(), 1);
    down["service"] = false;
    down["obu"] = QJsonObject{{"vehicleUuid", "other"}};
    down["route"] = QJsonObject{{"axisName", "other"}};
    QVERIFY(m_rig->send(kStatus, json(down)));
    QCOMPARE(validator.status(), QString("offline"));
    QCOMPARE(validator.reasonCode(), QString("#0002"));
    QCOMPARE(validator.vehicle(), QString("b7e1c9a2-5d1f-4c3e-9a77-2f0e6d3c1a10"));
    QCOMPARE(validator.route(), QString("X95 Syntagma - Airport"));
    QCOMPARE(vehicleSpy.count(), 0);
    QCOMPARE(routeSpy.count(), 0);
    QCOMPARE(validator.rfid()->state(), QString("Idle"));
}

void TestValidator::repeatedStatusEmitsOnce() {
    Validator& validator = *m_validator;
    StatusOrder order(validator);
    const QByteArray degraded = json(withState(onlineStatus(), "hasObu", false));
    QVERIFY(m_rig->send(kStatus, degraded));
    QVERIFY(m_rig->send(kStatus, degraded));
    QCOMPARE(order.events(), (QStringList{"status", "reason"}));

    // Same status, other reason: only the reason moves.
    order.clear();
    QVERIFY(m_rig->send(kStatus, json(withState(onlineStatus(), "hasQr", false))));
    QCOMPARE(order.events(), QStringList{"reason"});
    QCOMPARE(validator.reason(), QString("Barcode not operational"));

    // Back online: status, then the reason cleared.
    order.clear();
    QVERIFY(m_rig->send(kStatus, json(onlineStatus())));
    QCOMPARE(order.events(), (QStringList{"status", "reason"}));
    QCOMPARE(validator.reason(), QString());
    QCOMPARE(validator.reasonCode(), QString());
}

void TestValidator::infoMessage() {
    Validator& validator = *m_validator;
    QSignalSpy versionSpy(&validator, &Validator::versionChanged);
    QVERIFY(m_rig->send(kInfo, validatorFixtureBytes("info")));
    QVERIFY(m_rig->send(kInfo, validatorFixtureBytes("info")));
    QCOMPARE(validator.version(), QString("3.4.2"));
    QCOMPARE(versionSpy.count(), 1);
    QCOMPARE(validator.barcode()->model(), QString("NLS-FM430"));
    QCOMPARE(validator.rfid()->deviceUid(), QString("04A1B2C3D4E5F6"));
    // The info message never touches the status.
    QCOMPARE(validator.status(), QString());
    QCOMPARE(validator.rfid()->state(), QString());
}

void TestValidator::configRoundTrip() {
    Validator& validator = *m_validator;
    ValidatorConfig* config = validator.config();
    QSignalSpy configSpy(&validator, &Validator::configChanged);
    QSignalSpy urlSpy(config, &ValidatorConfig::obuUrlChanged);

    QVERIFY(m_rig->send(kConfig, validatorFixtureBytes("config")));
    QCOMPARE(configSpy.count(), 1);
    QCOMPARE(urlSpy.count(), 1);
    const QUrl url = config->obuUrl();
    QCOMPARE(url.scheme(), QString("mqtt"));
    QCOMPARE(url.host(), QString("obc.vehicle.local"));
    QCOMPARE(url.userName(), QString("valid@tor"));
    QCOMPARE(url.password(), QString("s3cr@t/pw"));
    QCOMPARE(url.port(), 8883);
    QCOMPARE(config->passbackSecs(), 120);
    QVERIFY(config->passbackQrEnabled());
    QCOMPARE(logged("Config received : "), 1);
    QCOMPARE(logged("OBU URL         : "), 1);
    // The password stays out of that line.
    const QStringList urlLines = g_log->all().filter(QStringLiteral("OBU URL         : "));
    QCOMPARE(urlLines.size(), 1);
    QVERIFY(urlLines.first().contains(QStringLiteral("obc.vehicle.local:8883")));
    QVERIFY(!urlLines.first().contains(QStringLiteral("s3cr")));
    QCOMPARE(logged("Passback Time   : "), 1);
    QCOMPARE(logged("Passback QR En  : "), 1);

    // The same message again: nothing changed, still announced once more.
    QVERIFY(m_rig->send(kConfig, validatorFixtureBytes("config")));
    QCOMPARE(configSpy.count(), 2);
    QCOMPARE(urlSpy.count(), 1);

    // Saved as numbers and booleans, the credentials decoded again.
    validator.saveConfig();
    QVERIFY(waitUntil([&] { return m_rig->service().count(m_rig->topic(kConfigSet)) == 1; }));
    QCOMPARE(m_rig->requests(kConfigSet).first(),
             indented(R"({"blm": {"obu_host": "obc.vehicle.local", "obu_password": "s3cr@t/pw",
                                  "obu_port": 8883, "obu_username": "valid@tor"},
                          "validator": {"passbackTime": 120, "qr_passback": true}})"));
    QVERIFY(!m_rig->service().messages(m_rig->topic(kConfigSet)).first().retained);

    // What the settings page writes goes out as it is; saving changes nothing here.
    config->setObuUrl(QUrl("mqtt://obc2.local"));
    config->setPassbackSecs(0);
    config->setPassbackQrEnabled(false);
    validator.saveConfig();
    QVERIFY(waitUntil([&] { return m_rig->service().count(m_rig->topic(kConfigSet)) == 2; }));
    const QJsonObject saved = QJsonDocument::fromJson(m_rig->requests(kConfigSet).at(1)).object();
    QCOMPARE(saved["blm"].toObject(), (QJsonObject{{"obu_host", "obc2.local"},
                                                   {"obu_password", ""},
                                                   {"obu_port", -1},
                                                   {"obu_username", ""}}));
    QCOMPARE(saved["validator"].toObject(),
             (QJsonObject{{"passbackTime", 0}, {"qr_passback", false}}));
    QCOMPARE(configSpy.count(), 2);
}

void TestValidator::configFromStrings_data() {
    QTest::addColumn<QJsonValue>("port");
    QTest::addColumn<QJsonValue>("passbackTime");
    QTest::addColumn<QJsonValue>("qrPassback");
    QTest::addColumn<int>("expectedPort");
    QTest::addColumn<int>("expectedSecs");
    QTest::addColumn<bool>("expectedQr");
    QTest::newRow("strings") << QJsonValue("1883") << QJsonValue("30") << QJsonValue("true") << 1883
                             << 30 << true;
    QTest::newRow("capital True, letters")
        << QJsonValue("1883") << QJsonValue("abc") << QJsonValue("True") << 1883 << 0 << false;
    QTest::newRow("JSON numbers and boolean")
        << QJsonValue(1883) << QJsonValue(30) << QJsonValue(true) << -1 << 0 << false;
    QTest::newRow("port 0") << QJsonValue("0") << QJsonValue("86400") << QJsonValue("false") << -1
                            << 86400 << false;
    // Blanks around a number are accepted, as QString::toInt does.
    QTest::newRow("negative port")
        << QJsonValue("-5") << QJsonValue(" 12") << QJsonValue("yes") << -1 << 12 << false;
    QTest::newRow("port beyond 65535")
        << QJsonValue("70000") << QJsonValue("5") << QJsonValue("true") << -1 << 5 << true;
    QTest::newRow("port with text") << QJsonValue("1883x") << QJsonValue("5.5")
                                    << QJsonValue(QJsonValue::Null) << -1 << 0 << false;
}

void TestValidator::configFromStrings() {
    QFETCH(QJsonValue, port);
    QFETCH(QJsonValue, passbackTime);
    QFETCH(QJsonValue, qrPassback);
    QFETCH(int, expectedPort);
    QFETCH(int, expectedSecs);
    QFETCH(bool, expectedQr);
    QJsonObject message = validatorFixture("config");
    QJsonObject blm = message["blm"].toObject();
    blm["obu_port"] = port;
    message["blm"] = blm;
    message["validator"] = QJsonObject{{"passbackTime", passbackTime}, {"qr_passback", qrPassback}};

    QVERIFY(m_rig->send(kConfig, json(message)));
    const ValidatorConfig* config = (*m_validator).config();
    QVERIFY(config->obuUrl().isValid());
    QCOMPARE(config->obuUrl().host(), QString("obc.vehicle.local"));
    QCOMPARE(config->obuUrl().port(), expectedPort);
    QCOMPARE(config->passbackSecs(), expectedSecs);
    QCOMPARE(config->passbackQrEnabled(), expectedQr);
    if (port == QJsonValue("70000")) {
        QCOMPARE(logged("OBU port out of range"), 1);
    }

    (*m_validator).saveConfig();
    QVERIFY(waitUntil([&] { return m_rig->service().count(m_rig->topic(kConfigSet)) == 1; }));
    const QJsonObject saved = QJsonDocument::fromJson(m_rig->requests(kConfigSet).first()).object();
    QCOMPARE(saved["blm"].toObject()["obu_port"], QJsonValue(expectedPort));
    QCOMPARE(saved["blm"].toObject()["obu_username"], QJsonValue("valid@tor"));
    QCOMPARE(saved["validator"].toObject()["passbackTime"], QJsonValue(expectedSecs));
    QCOMPARE(saved["validator"].toObject()["qr_passback"], QJsonValue(expectedQr));
}

void TestValidator::configWithoutPortOrCredentials() {
    // Percent signs are part of the text the service sends, not escapes.
    const QJsonObject message{
        {"blm", QJsonObject{{"obu_host", "10.0.0.2"},
                            {"obu_username", "a%20b"},
                            {"obu_password", ""},
                            {"obu_port", ""}}},
        {"validator", QJsonObject{{"passbackTime", "0"}, {"qr_passback", "false"}}}};
    QVERIFY(m_rig->send(kConfig, json(message)));
    const QUrl url = (*m_validator).config()->obuUrl();
    QCOMPARE(url.userName(), QString("a%20b"));
    QCOMPARE(url.password(), QString());
    QCOMPARE(url.port(), -1);
    QCOMPARE(url.toString(QUrl::FullyEncoded), QString("mqtt://a%2520b@10.0.0.2"));

    (*m_validator).saveConfig();
    QVERIFY(waitUntil([&] { return m_rig->service().count(m_rig->topic(kConfigSet)) == 1; }));
    QCOMPARE(m_rig->requests(kConfigSet).first(),
             indented(R"({"blm": {"obu_host": "10.0.0.2", "obu_password": "", "obu_port": -1,
                                  "obu_username": "a%20b"},
                          "validator": {"passbackTime": 0, "qr_passback": false}})"));
}

void TestValidator::refreshConfigPayload() {
    (*m_validator).refreshConfig();
    QVERIFY(waitUntil([&] { return m_rig->service().count(m_rig->topic(kConfigGet)) == 1; }));
    QCOMPARE(m_rig->requests(kConfigGet), QList<QByteArray>{QByteArray("{ }")});
}

void TestValidator::enableDisableFollowReaders() {
    Validator& validator = *m_validator;
    Peer& service = m_rig->service();
    const QString barcodeEnable("/barcode/enable");
    const QString barcodeDisable("/barcode/disable");
    const QString rfidEnable("/rfid/enable");
    const QString rfidDisable("/rfid/disable");
    const QByteArray autoread("{\n    \"autoread\": true\n}\n");

    // Nothing reported yet: both readers count as off.
    validator.disableBarcode();
    validator.disableRfid();
    validator.enableBarcode();
    validator.enableRfid();
    QVERIFY(m_rig->flush());
    QCOMPARE(m_rig->requests(barcodeEnable), QList<QByteArray>{QByteArray()});
    QCOMPARE(m_rig->requests(rfidEnable), QList<QByteArray>{autoread});
    QCOMPARE(service.count(m_rig->topic(barcodeDisable)), 0);
    QCOMPARE(service.count(m_rig->topic(rfidDisable)), 0);
    // A request is not the reader's answer: the local state stays.
    QVERIFY(!validator.barcode()->enabled());
    QVERIFY(!validator.rfid()->enabled());

    // The service reports both readers on (RFID searching).
    service.clear();
    QVERIFY(m_rig->send(kStatus, validatorFixtureBytes("status-online")));
    validator.enableBarcode();
    validator.enableRfid();
    validator.disableBarcode();
    validator.disableRfid();
    QVERIFY(m_rig->flush());
    QCOMPARE(service.count(m_rig->topic(barcodeEnable)), 0);
    QCOMPARE(service.count(m_rig->topic(rfidEnable)), 0);
    QCOMPARE(m_rig->requests(barcodeDisable), QList<QByteArray>{QByteArray()});
    QCOMPARE(m_rig->requests(rfidDisable), QList<QByteArray>{QByteArray()});
    for (const Peer::Message& message : service.messages()) {
        QVERIFY(!message.retained);
    }

    // A card found keeps the RFID reader on; an update takes it off.
    const QList<QPair<int, bool>> states{{3, true}, {4, false}, {1, false}, {0, false}};
    for (const auto& state : states) {
        service.clear();
        QVERIFY(m_rig->send(kStatus, json(withRfidState(onlineStatus(), state.first))));
        validator.enableRfid();
        validator.disableRfid();
        QVERIFY(m_rig->flush());
        QCOMPARE(service.count(m_rig->topic(rfidEnable)), state.second ? 0 : 1);
        QCOMPARE(service.count(m_rig->topic(rfidDisable)), state.second ? 1 : 0);
    }
}

void TestValidator::cardEvents() {
    Validator& validator = *m_validator;
    QSignalSpy detected(&validator, &Validator::cardDetected);
    QSignalSpy removed(&validator, &Validator::cardRemoved);
    QSignalSpy retry(&validator, &Validator::cardRetry);

    QVERIFY(m_rig->send(kCardFound, validatorFixtureBytes("card-found")));
    QVERIFY(m_rig->send(kCardFound, json({{"uid", "04FF"}})));
    QVERIFY(m_rig->send(kCardFound, json({{"uid", "04EE"}, {"type", 3}})));
    QVERIFY(m_rig->send(kCardFound, json({{"uid", "04DD"}, {"type", "256"}})));
    // The removal is not parsed at all; no log line for its payload.
    QVERIFY(m_rig->send(kCardRemoved, QByteArray("card gone, not JSON")));
    QVERIFY(m_rig->send(kCardRemoved, QByteArray()));
    // Subscribed, but without an effect.
    QVERIFY(m_rig->send("/blm/rfid/removed", json({{"uid", "04A2"}})));
    QVERIFY(m_rig->send("/blm/rfid/retry", QByteArray()));

    QCOMPARE(detected.count(), 4);
    QCOMPARE(detected.at(0), (QVariantList{"04A224B2C35E80", "MIFARE DESFire"}));
    QCOMPARE(detected.at(1), (QVariantList{"04FF", "Unknown"}));
    QCOMPARE(detected.at(2), (QVariantList{"04EE", "Unknown"}));
    QCOMPARE(detected.at(3), (QVariantList{"04DD", "Unknown"}));
    QCOMPARE(removed.count(), 2);
    QCOMPARE(retry.count(), 1);
    QCOMPARE(logged("Failed to parse JSON message"), 0);
}

void TestValidator::cardTypeTable_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "Unknown";
    QTest::newRow("1") << 1 << "ISO14443-4A";
    QTest::newRow("3, two bits") << 3 << "Unknown";
    QTest::newRow("4") << 4 << "MIFARE Classic 1K";
    QTest::newRow("64") << 64 << "MIFARE Ultralight";
    QTest::newRow("512") << 512 << "EMV";
    QTest::newRow("768, two bits") << 768 << "Unknown";
    QTest::newRow("1024") << 1024 << "Unknown";
    QTest::newRow("32768") << 32768 << "Other";
    QTest::newRow("-1") << -1 << "Unknown";
}

void TestValidator::cardTypeTable() {
    QFETCH(int, code);
    QFETCH(QString, text);
    QSignalSpy detected(m_validator.get(), &Validator::cardDetected);
    QVERIFY(m_rig->send(kCardFound, json({{"uid", "04A1"}, {"type", code}})));
    QVERIFY(waitUntil([&] { return detected.count() == 1; }));
    QCOMPARE(detected.first().at(1).toString(), text);
    QCOMPARE(Validator::cardTypeText(code), text);
}

void TestValidator::scanResults() {
    Validator& validator = *m_validator;
    // Receivers get a transaction that lives only for the emission: keep copies.
    QList<QVariantMap> maps;
    QList<QString> ticketIds;
    connect(&validator, &Validator::ticketValidated, this, [&](const Transaction& transaction) {
        maps << transaction.toMap();
        ticketIds << transaction.ticketId();
    });

    QVERIFY(m_rig->send("/blm/barcode/scanned", validatorFixtureBytes("scan-barcode")));
    QVERIFY(m_rig->send("/blm/rfid/scanned", validatorFixtureBytes("scan-epurse")));
    QVERIFY(m_rig->send("/blm/rfid/scanned", validatorFixtureBytes("scan-refused")));
    QVERIFY(m_rig->send("/blm/barcode/scanned", json({{"transaction", "broken"}})));

    QCOMPARE(maps.size(), 4);
    QCOMPARE(ticketIds.first(), QString("QR-20240301-000123"));
    QVERIFY(maps[0]["valid"].toBool());
    QCOMPARE(maps[0]["type"].toInt(), int(Transaction::Barcode));
    QCOMPARE(maps[0]["details"].toMap()["toStopGroupName"].toString(), QString("Airport"));
    QCOMPARE(maps[1]["type"].toInt(), int(Transaction::CardEPurse));
    QCOMPARE(maps[1]["details"].toMap()["deducted"].toDouble(), 1.5);
    QCOMPARE(maps[1]["passengeType"].toString(), QString("Student"));
    QVERIFY(!maps[2]["valid"].toBool());
    QCOMPARE(maps[2]["denyReason"].toString(), QString("The card has already been validated"));
    // A result without a transaction object is a refusal, and it is logged.
    QVERIFY(!maps[3]["valid"].toBool());
    QCOMPARE(maps[3]["denyReason"].toString(), QString("Unknown Error"));
    QCOMPARE(logged("Scan result without a transaction object"), 1);
}

void TestValidator::maintenanceBarcode() {
    QSignalSpy scanned(m_validator.get(), &Validator::maintenanceBarcodeScanned);
    QVERIFY(m_rig->send("/blm/barcode/maintenance/scanned", validatorFixtureBytes("maintenance")));
    QVERIFY(waitUntil([&] { return scanned.count() == 1; }));
    QCOMPARE(scanned.first().first().toJsonObject(), validatorFixture("maintenance"));
}

void TestValidator::malformedPayloadsKeepState() {
    Validator& validator = *m_validator;
    QVERIFY(m_rig->send(kStatus, validatorFixtureBytes("status-online")));
    QVERIFY(m_rig->send(kInfo, validatorFixtureBytes("info")));
    QVERIFY(m_rig->send(kConfig, validatorFixtureBytes("config")));
    const QUrl url = validator.config()->obuUrl();
    g_log->clear();

    QSignalSpy statusSpy(&validator, &Validator::statusChanged);
    QSignalSpy reasonSpy(&validator, &Validator::reasonChanged);
    QSignalSpy versionSpy(&validator, &Validator::versionChanged);
    QSignalSpy configSpy(&validator, &Validator::configChanged);
    QSignalSpy samSpy(validator.rfid(), &ValidatorRfid::samChanged);
    QSignalSpy ticketSpy(&validator, &Validator::maintenanceBarcodeScanned);
    int tickets = 0;
    connect(&validator, &Validator::ticketValidated, this, [&tickets] { ++tickets; });

    const QList<QByteArray> broken{"{\"service\": true", "service=true", "{]", "\xff\xfe{",
                                   "{\"a\":1}trailing"};
    for (const QByteArray& payload : broken) {
        QVERIFY(m_rig->send(kStatus, payload));
        QVERIFY(m_rig->send(kInfo, payload));
        QVERIFY(m_rig->send(kConfig, payload));
        QVERIFY(m_rig->send("/blm/rfid/scanned", payload));
        QVERIFY(m_rig->send("/blm/barcode/maintenance/scanned", payload));
    }

    QCOMPARE(logged("[Validator]"), broken.size() * 5);
    QCOMPARE(logged("Failed to parse JSON message: "), broken.size() * 5);
    QCOMPARE(statusSpy.count() + reasonSpy.count() + versionSpy.count() + configSpy.count(), 0);
    QCOMPARE(samSpy.count() + ticketSpy.count() + tickets, 0);
    QCOMPARE(validator.status(), QString("online"));
    QCOMPARE(validator.version(), QString("3.4.2"));
    QCOMPARE(validator.config()->obuUrl(), url);
    QCOMPARE(validator.rfid()->numberOfSlots(), 4);

    // Well-formed JSON of the wrong shape: defaults where the fields were expected,
    // no crash, and the info and config records keep what they had.
    QVERIFY(m_rig->send(kInfo, json({{"device", "rfid"}, {"service", QJsonArray{1}}})));
    QVERIFY(m_rig->send(kInfo, "[1, 2, 3]"));
    QVERIFY(m_rig->send(kStatus, json({{"service", true},
                                       {"device", QJsonArray{}},
                                       {"obu", "x"},
                                       {"route", 5},
                                       {"state", QJsonArray{true}}})));
    QCOMPARE(validator.barcode()->model(), QString("NLS-FM430"));
    QCOMPARE(validator.rfid()->state(), QString("Searching"));
    QCOMPARE(validator.version(), QString());
    QCOMPARE(validator.status(), QString("offline"));
    QCOMPARE(validator.reason(), QString("RFID is not operational"));
    QCOMPARE(validator.vehicle(), QString());
}

void TestValidator::topicsMatchWholeStrings() {
    Validator& validator = *m_validator;
    QSignalSpy statusSpy(&validator, &Validator::statusChanged);
    QSignalSpy detected(&validator, &Validator::cardDetected);
    QSignalSpy removed(&validator, &Validator::cardRemoved);
    Peer& service = m_rig->service();
    QVERIFY(service.publish("zorv/blm/status/extra", validatorFixtureBytes("status-online")));
    QVERIFY(service.publish("other/zorv/blm/status", validatorFixtureBytes("status-online")));
    QVERIFY(service.publish("ZORV/blm/status", validatorFixtureBytes("status-online")));
    QVERIFY(service.publish("zorv/rfid/card/found/x", validatorFixtureBytes("card-found")));
    QVERIFY(service.publish("zorv/rfid/card/Removed", QByteArray()));
    QVERIFY(m_rig->sync());
    // Nothing of the above is subscribed either; what matters is that none of it
    // reached a handler.
    QCOMPARE(statusSpy.count(), 0);
    QCOMPARE(detected.count(), 0);
    QCOMPARE(removed.count(), 0);

    // The receive path itself, past the broker: a topic with bytes after a zero
    // byte is cut there; a lookalike topic reaches nothing.
    emit m_rig->client().received(validatorFixtureBytes("status-online"),
                                  QByteArray("zorv/blm/status\0junk", 20));
    QCOMPARE(validator.status(), QString("online"));
    emit m_rig->client().received(QByteArray(), "zorv/blm/statusx");
    QCOMPARE(validator.status(), QString("online"));
}

void TestValidator::brokerLossAndReturn() {
    Validator& validator = *m_validator;
    QVERIFY(m_rig->send(kInfo, validatorFixtureBytes("info")));
    QVERIFY(m_rig->send(kStatus, validatorFixtureBytes("status-online")));
    QVERIFY(m_rig->send(kConfig, validatorFixtureBytes("config")));
    QCOMPARE(validator.status(), QString("online"));
    const QUrl url = validator.config()->obuUrl();

    StatusOrder order(validator);
    QSignalSpy disconnected(&m_rig->client(), &MqttClient::disconnected);
    m_rig->broker().kill();
    QVERIFY(waitUntil([&] { return disconnected.count() >= 1; }));
    QCOMPARE(validator.status(), QString("offline"));
    QCOMPARE(validator.reason(), QString("MQTT Disconnected"));
    QCOMPARE(validator.reasonCode(), QString("#0001"));
    QCOMPARE(order.events().mid(0, 2), (QStringList{"status", "reason"}));
    // Nothing else is forgotten.
    QCOMPARE(validator.route(), QString("X95 Syntagma - Airport"));
    QCOMPARE(validator.version(), QString("3.4.2"));
    QCOMPARE(validator.config()->obuUrl(), url);
    QVERIFY(validator.barcode()->enabled());
    QCOMPARE(validator.rfid()->state(), QString("Searching"));
    QVERIFY(validator.rfid()->sam());

    // The broker returns; the subscriptions are renewed and the next status rules.
    QSignalSpy connected(&m_rig->client(), &MqttClient::connected);
    QVERIFY(m_rig->broker().start());
    QVERIFY(waitUntil([&] { return connected.count() >= 1; }, 15000));
    Peer service;
    QVERIFY(service.connect(m_rig->broker().host(), m_rig->broker().port()));
    QVERIFY(waitUntil(
        [&] {
            service.publish(m_rig->topic(kStatus), validatorFixtureBytes("status-online"));
            return waitUntil([&] { return validator.status() == "online"; }, 100);
        },
        10000));
    QCOMPARE(validator.reasonCode(), QString());
}

QTEST_GUILESS_MAIN(TestValidator)
#include "tst_validator.moc"
