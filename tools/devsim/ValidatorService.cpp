#include "ValidatorService.h"

#include <QJsonArray>

#include "ExampleMessages.h"
#include "MqttClient.h"

namespace devsim {

const QString ValidatorService::RfidEnable = QStringLiteral("zorv/rfid/enable");
const QString ValidatorService::RfidDisable = QStringLiteral("zorv/rfid/disable");
const QString ValidatorService::BarcodeEnable = QStringLiteral("zorv/barcode/enable");
const QString ValidatorService::BarcodeDisable = QStringLiteral("zorv/barcode/disable");
const QString ValidatorService::CardFoundTopic = QStringLiteral("zorv/rfid/card/found");
const QString ValidatorService::CardRemovedTopic = QStringLiteral("zorv/rfid/card/removed");

namespace {

// RFID reader states as the reader service numbers them.
enum RfidState {
    RfidIdle = 1,
    RfidSearching = 2,
    RfidCardFound = 3,
    RfidUpdating = 4,
    RfidError = 5
};

struct TicketKind {
    const char* name;
    const char* example;  // the example scan result it is made from
    int type;             // the service's ticket type code
    const char* product;  // fare product, when it differs from the example's
    bool keepCard;        // keep the example's card figures
    int refusal;          // the usual refusal of this kind
};

const TicketKind Kinds[] = {
    {"barcode", "scan-barcode", 0, nullptr, true, 101},
    {"epurse", "scan-epurse", 2, nullptr, true, 205},
    {"stored-journeys", "scan-stored-journeys", 5, nullptr, true, 204},
    {"period-pass", "scan-period-pass", 8, nullptr, true, 201},
    {"emv", "scan-epurse", 10, "Contactless bank card", false, 200},
    {"transfer", "scan-stored-journeys", 12, "Transfer", true, 202},
    {"passenger-type-update", "scan-epurse", 13, "Passenger type update", false, 208},
    {"transfer-epurse", "scan-transfer-epurse", 14, nullptr, true, 205},
    {"capping-epurse", "scan-epurse", 15, "Daily cap, stored value", true, 205},
    {"capping-stored-journeys", "scan-stored-journeys", 16, "Daily cap, trips", true, 204},
};

const TicketKind* findKind(const QString& name) {
    for (const TicketKind& kind : Kinds) {
        if (name == QLatin1String(kind.name)) {
            return &kind;
        }
    }
    return nullptr;
}

// A value that the service keeps as text: numbers and booleans from a saved
// configuration are written as the service writes them.
QString asText(const QJsonValue& value) {
    if (value.isBool()) {
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    }
    if (value.isDouble()) {
        return QString::number(value.toDouble());
    }
    return value.toString();
}

}  // namespace

ValidatorService::ValidatorService(manager::MqttClient& client, const QString& baseTopic,
                                   QObject* parent)
    : SimulatedService(client, baseTopic, parent),
      m_info(exampleMessage(QStringLiteral("validator/info"))),
      m_config(exampleMessage(QStringLiteral("validator/config"))) {}

void ValidatorService::subscribe() {
    listen(QStringLiteral("/info/get"));
    listen(QStringLiteral("/status/get"));
    listen(QStringLiteral("/config/get"));
    listen(QStringLiteral("/config/set"));
    for (const QString& topic : {RfidEnable, RfidDisable, BarcodeEnable, BarcodeDisable}) {
        m_mqtt.subscribe(topic, 0);
    }
}

void ValidatorService::publishAll() {
    report(QStringLiteral("/info"), m_info);
    publishStatus();
    report(QStringLiteral("/config"), m_config);
}

bool ValidatorService::handle(const QString& topic, const QByteArray& payload) {
    if (topic == RfidEnable || topic == RfidDisable) {
        m_rfidEnabled = topic == RfidEnable;
        log(QStringLiteral("RFID reader switched %1").arg(m_rfidEnabled ? "on" : "off"));
        publishStatus();
    } else if (topic == BarcodeEnable || topic == BarcodeDisable) {
        m_barcodeEnabled = topic == BarcodeEnable;
        log(QStringLiteral("Barcode reader switched %1").arg(m_barcodeEnabled ? "on" : "off"));
        publishStatus();
    } else if (topic == m_base + QLatin1String("/info/get")) {
        report(QStringLiteral("/info"), m_info);
    } else if (topic == m_base + QLatin1String("/status/get")) {
        publishStatus();
    } else if (topic == m_base + QLatin1String("/config/get")) {
        report(QStringLiteral("/config"), m_config);
    } else if (topic == m_base + QLatin1String("/config/set")) {
        QJsonObject saved;
        if (parseRequest(topic, payload, &saved)) {
            applyConfig(saved);
        }
    } else {
        return false;
    }
    return true;
}

void ValidatorService::applyConfig(const QJsonObject& saved) {
    // The service keeps every value as text; the port is left empty when the
    // address has none (the UI sends -1 for that).
    QJsonObject blm = m_config.value(QStringLiteral("blm")).toObject();
    const QJsonObject newBlm = saved.value(QStringLiteral("blm")).toObject();
    for (const QString& key : {QStringLiteral("obu_host"), QStringLiteral("obu_username"),
                               QStringLiteral("obu_password"), QStringLiteral("obu_port")}) {
        if (!newBlm.contains(key)) {
            continue;
        }
        QString text = asText(newBlm.value(key));
        if (key == QLatin1String("obu_port") && text.toInt() <= 0) {
            text.clear();
        }
        blm.insert(key, text);
    }
    QJsonObject validator = m_config.value(QStringLiteral("validator")).toObject();
    const QJsonObject newValidator = saved.value(QStringLiteral("validator")).toObject();
    for (const QString& key : {QStringLiteral("passbackTime"), QStringLiteral("qr_passback")}) {
        if (newValidator.contains(key)) {
            validator.insert(key, asText(newValidator.value(key)));
        }
    }
    m_config.insert(QStringLiteral("blm"), blm);
    m_config.insert(QStringLiteral("validator"), validator);
    log(QStringLiteral("Validator configuration saved"));
    report(QStringLiteral("/config"), m_config);
}

QJsonObject ValidatorService::statusMessage() const {
    QJsonObject message = exampleMessage(QStringLiteral("validator/status-online"));
    QJsonObject device = message.value(QStringLiteral("device")).toObject();
    QJsonObject rfid = device.value(QStringLiteral("rfid")).toObject();
    QJsonObject barcode = device.value(QStringLiteral("barcode")).toObject();
    QJsonObject state = message.value(QStringLiteral("state")).toObject();
    const QString c = m_condition;

    int rfidState = m_rfidEnabled ? (m_cardInField ? RfidCardFound : RfidSearching) : RfidIdle;
    if (c == QLatin1String("rfid-updating")) {
        rfidState = RfidUpdating;
        state.insert(QStringLiteral("hasRfid"), false);
    } else if (c == QLatin1String("rfid-down")) {
        rfidState = RfidError;
        rfid.insert(QStringLiteral("active"), false);
        rfid.insert(QStringLiteral("error"), QStringLiteral("Reader not responding"));
        state.insert(QStringLiteral("hasRfid"), false);
    }
    rfid.insert(QStringLiteral("state"), rfidState);
    barcode.insert(QStringLiteral("enabled"), m_barcodeEnabled);

    if (c == QLatin1String("init")) {
        state.insert(QStringLiteral("init"), true);
    } else if (c == QLatin1String("no-ntp")) {
        state.insert(QStringLiteral("hasNtp"), false);
    } else if (c == QLatin1String("no-route") || c == QLatin1String("out-of-service")) {
        state.insert(QStringLiteral("hasRoute"), false);
        message.insert(QStringLiteral("route"),
                       QJsonObject{{QStringLiteral("axisName"), QString()}});
    }
    if (c == QLatin1String("degraded") || c == QLatin1String("no-obc") ||
        c == QLatin1String("no-obc-barcode")) {
        state.insert(QStringLiteral("hasObu"), false);
    }
    if (c == QLatin1String("no-barcode") || c == QLatin1String("no-obc-barcode")) {
        state.insert(QStringLiteral("hasQr"), false);
        barcode.insert(QStringLiteral("active"), false);
    }

    device.insert(QStringLiteral("rfid"), rfid);
    device.insert(QStringLiteral("barcode"), barcode);
    message.insert(QStringLiteral("device"), device);
    message.insert(QStringLiteral("state"), state);
    if (c == QLatin1String("service-down") || c == QLatin1String("offline")) {
        // What is left of a service that stopped: its last word.
        return QJsonObject{{QStringLiteral("service"), false}, {QStringLiteral("device"), device}};
    }
    return message;
}

void ValidatorService::publishStatus() {
    report(QStringLiteral("/status"), statusMessage());
}

void ValidatorService::setCondition(const QString& condition) {
    m_condition = condition;
    log(QStringLiteral("Validator condition: ") + condition);
    publishStatus();
}

QJsonObject ValidatorService::scanResult(const QString& kindName, int refusal) {
    const TicketKind* kind = findKind(kindName);
    if (!kind) {
        return QJsonObject();
    }
    QJsonObject message =
        exampleMessage(QStringLiteral("validator/") + QLatin1String(kind->example));
    QJsonObject transaction = message.value(QStringLiteral("transaction")).toObject();
    transaction.insert(QStringLiteral("type"), kind->type);
    if (kind->product) {
        transaction.insert(QStringLiteral("fareProductName"), QLatin1String(kind->product));
    }
    if (!kind->keepCard) {
        transaction.remove(QStringLiteral("card"));
    }
    if (refusal != 0) {
        const int id = refusal < 0 ? kind->refusal : refusal;
        transaction.insert(QStringLiteral("result"), false);
        transaction.insert(QStringLiteral("denyReason"), QJsonObject{{QStringLiteral("id"), id}});
        // Nothing was charged.
        QJsonObject card = transaction.value(QStringLiteral("card")).toObject();
        if (card.contains(QStringLiteral("balanceBefore"))) {
            card.insert(QStringLiteral("balanceAfter"),
                        card.value(QStringLiteral("balanceBefore")));
            transaction.insert(QStringLiteral("card"), card);
        }
    }
    message.insert(QStringLiteral("transaction"), transaction);
    return message;
}

void ValidatorService::validate(const QString& kind, int refusal) {
    const QJsonObject message = scanResult(kind, refusal);
    if (message.isEmpty()) {
        log(QStringLiteral("WARN: unknown ticket kind ") + kind);
        return;
    }
    const bool barcode = kind == QLatin1String("barcode");
    log(QStringLiteral("Validation: %1 %2").arg(kind, refusal == 0 ? "valid" : "refused"));
    sendEvent(
        m_base + (barcode ? QLatin1String("/barcode/scanned") : QLatin1String("/rfid/scanned")),
        message);
}

void ValidatorService::cardFound(const QString& uid, int type) {
    QJsonObject message = exampleMessage(QStringLiteral("validator/card-found"));
    if (!uid.isEmpty()) {
        message.insert(QStringLiteral("uid"), uid);
    }
    if (type >= 0) {
        message.insert(QStringLiteral("type"), type);
    }
    m_cardInField = true;
    log(QStringLiteral("Card found: ") + message.value(QStringLiteral("uid")).toString());
    sendEvent(CardFoundTopic, message);
    if (m_rfidEnabled) {
        publishStatus();  // the reader now reports the card in its field
    }
}

void ValidatorService::cardRemoved() {
    m_cardInField = false;
    log(QStringLiteral("Card removed"));
    sendEventBytes(CardRemovedTopic, QByteArrayLiteral("{}"));
    sendEventBytes(m_base + QLatin1String("/rfid/removed"), QByteArrayLiteral("{}"));
    if (m_rfidEnabled) {
        publishStatus();
    }
}

void ValidatorService::cardRetry() {
    log(QStringLiteral("Card retry"));
    sendEventBytes(m_base + QLatin1String("/rfid/retry"), QByteArrayLiteral("{}"));
}

void ValidatorService::scanMaintenanceBarcode() {
    log(QStringLiteral("Maintenance barcode scanned"));
    sendEventBytes(m_base + QLatin1String("/barcode/maintenance/scanned"),
                   exampleMessageBytes(QStringLiteral("validator/maintenance")));
}

}  // namespace devsim
