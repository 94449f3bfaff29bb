#include "Validator.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>

#include "MqttClient.h"

namespace manager {

namespace {

const char* const kTag = "[Validator] ";

// Topics of the RFID and barcode reader services, outside the validator's base.
const QString kRfid = QStringLiteral("zorv/rfid");
const QString kBarcode = QStringLiteral("zorv/barcode");
const QString kCardRemoved = kRfid + QStringLiteral("/card/removed");
const QString kCardFound = kRfid + QStringLiteral("/card/found");
const QString kBarcodeEnable = kBarcode + QStringLiteral("/enable");
const QString kBarcodeDisable = kBarcode + QStringLiteral("/disable");
const QString kRfidEnable = kRfid + QStringLiteral("/enable");
const QString kRfidDisable = kRfid + QStringLiteral("/disable");

const QString kOffline = QStringLiteral("offline");

QJsonObject member(const QJsonObject& parent, const char* key) {
    return parent.value(QLatin1String(key)).toObject();
}

// A decimal number that the service sends as text; 0 when it is not one.
int decimal(const QJsonObject& parent, const char* key) {
    return parent.value(QLatin1String(key)).toString().toInt(nullptr, 10);
}

}  // namespace

Validator::Validator(MqttClient& client, const QString& baseTopic, QObject* parent)
    : QObject(parent),
      m_channel(client, baseTopic,
                ServiceChannel::Options()
                    .withTag(kTag)
                    .withEmptyPayload(ServiceChannel::EmptyPayload::Tolerated)
                    // It also listens to the readers' own topics, outside its base.
                    .withoutScopeTest()) {
    connect(&client, &MqttClient::received, this, &Validator::onMqttReceived);
    connect(&client, &MqttClient::disconnected, this, &Validator::onMqttDisconnected);

    using namespace std::placeholders;
    m_channel.routeUnparsed(kCardRemoved, [this] { emit cardRemoved(); });
    m_channel.route(QStringLiteral("/info"), std::bind(&Validator::onInfoReceived, this, _1, _2));
    m_channel.route(QStringLiteral("/status"),
                    std::bind(&Validator::onStatusReceived, this, _1, _2));
    m_channel.route(QStringLiteral("/config"),
                    std::bind(&Validator::onConfigReceived, this, _1, _2));
    m_channel.route(QStringLiteral("/rfid/retry"),
                    [this](const QJsonObject&, const QString&) { emit cardRetry(); });
    m_channel.routeAbsolute(kCardFound, std::bind(&Validator::onCardFound, this, _1, _2));
    m_channel.route(QStringLiteral("/rfid/scanned"),
                    std::bind(&Validator::onCardScannedReceived, this, _1, _2));
    m_channel.route(QStringLiteral("/barcode/scanned"),
                    std::bind(&Validator::onBarcodeScannedReceived, this, _1, _2));
    m_channel.route(QStringLiteral("/barcode/maintenance/scanned"),
                    [this](const QJsonObject& message, const QString&) {
                        emit maintenanceBarcodeScanned(message);
                    });

    m_channel.subscribe({
        QStringLiteral("/info"),
        QStringLiteral("/status"),
        QStringLiteral("/config"),
        QStringLiteral("/rfid/retry"),
        QStringLiteral("/rfid/removed"),
        QStringLiteral("/rfid/scanned"),
        QStringLiteral("/barcode/scanned"),
        QStringLiteral("/barcode/maintenance/scanned"),
    });
    m_channel.subscribeAbsolute(kCardRemoved);
    m_channel.subscribeAbsolute(kCardFound);
}

Validator::~Validator() = default;

QString Validator::cardTypeText(int code) {
    static const QHash<int, QString> table{
        {0, QStringLiteral("Unknown")},
        {1, QStringLiteral("ISO14443-4A")},
        {2, QStringLiteral("ISO14443-4B")},
        {4, QStringLiteral("MIFARE Classic 1K")},
        {8, QStringLiteral("MIFARE Classic 4K")},
        {16, QStringLiteral("MIFARE Plus 2K")},
        {32, QStringLiteral("MIFARE Plus 4K")},
        {64, QStringLiteral("MIFARE Ultralight")},
        {128, QStringLiteral("MIFARE Mini")},
        {256, QStringLiteral("MIFARE DESFire")},
        {512, QStringLiteral("EMV")},
        {32768, QStringLiteral("Other")},
    };
    return table.value(code, QStringLiteral("Unknown"));
}

// ---- requests ----

void Validator::enableBarcode() {
    if (!m_barcode.enabled()) {
        m_channel.publishAbsolute(kBarcodeEnable, QByteArray());
    }
}

void Validator::disableBarcode() {
    if (m_barcode.enabled()) {
        m_channel.publishAbsolute(kBarcodeDisable, QByteArray());
    }
}

void Validator::enableRfid() {
    if (!m_rfid.enabled()) {
        const QJsonObject request{{QStringLiteral("autoread"), true}};
        m_channel.publishAbsolute(kRfidEnable, QJsonDocument(request).toJson());
    }
}

void Validator::disableRfid() {
    if (m_rfid.enabled()) {
        m_channel.publishAbsolute(kRfidDisable, QByteArray());
    }
}

void Validator::saveConfig() {
    // The service reads numbers and booleans here, although it reports strings.
    const QUrl url = m_config.obuUrl();
    const QJsonObject blm{
        {QStringLiteral("obu_username"), url.userName(QUrl::FullyDecoded)},
        {QStringLiteral("obu_password"), url.password(QUrl::FullyDecoded)},
        {QStringLiteral("obu_host"), url.host(QUrl::FullyDecoded)},
        {QStringLiteral("obu_port"), url.port(-1)},
    };
    const QJsonObject validator{
        {QStringLiteral("passbackTime"), m_config.passbackSecs()},
        {QStringLiteral("qr_passback"), m_config.passbackQrEnabled()},
    };
    m_channel.publish(
        QStringLiteral("/config/set"),
        QJsonObject{{QStringLiteral("blm"), blm}, {QStringLiteral("validator"), validator}});
}

void Validator::refreshConfig() {
    m_channel.publishRaw(QStringLiteral("/config/get"), QByteArrayLiteral("{ }"));
}

// ---- receiving ----

void Validator::onMqttReceived(const QByteArray& payload, const QByteArray& topic) {
    m_channel.receive(payload, topic);
}

void Validator::onMqttDisconnected() {
    setStatus(kOffline);
    setReason(QStringLiteral("MQTT Disconnected"), QStringLiteral("#0001"));
}

void Validator::onInfoReceived(const QJsonObject& message, const QString&) {
    const QJsonObject device = member(message, "device");
    m_barcode.fromJson(member(device, "barcode"));
    m_rfid.fromJson(member(device, "rfid"));
    setVersion(member(message, "service").value(QLatin1String("version")).toString());
}

void Validator::onStatusReceived(const QJsonObject& message, const QString&) {
    const QJsonObject device = member(message, "device");
    m_rfid.fromJson(member(device, "rfid"));
    m_barcode.fromJson(member(device, "barcode"));

    if (!message.value(QLatin1String("service")).toBool()) {
        setStatus(kOffline);
        setReason(QStringLiteral("BLM service down"), QStringLiteral("#0002"));
        return;
    }

    setVehicle(member(message, "obu").value(QLatin1String("vehicleUuid")).toString());
    setRoute(member(message, "route").value(QLatin1String("axisName")).toString());

    const QJsonObject state = member(message, "state");
    auto flag = [&state](const char* key) { return state.value(QLatin1String(key)).toBool(); };

    if (flag("init")) {
        setStatus(QStringLiteral("init"));
        setReason(QString(), QString());
        return;
    }
    if (!flag("hasRfid")) {
        setStatus(kOffline);
        if (m_rfid.state() == QLatin1String("Updating")) {
            setReason(QStringLiteral("RFID firmware is updating"), QStringLiteral("#0003"));
        } else {
            setReason(QStringLiteral("RFID is not operational"), QStringLiteral("#0004"));
        }
        return;
    }
    // Older services do not report the clock at all: only an explicit false counts.
    if (state.contains(QLatin1String("hasNtp")) && !flag("hasNtp")) {
        setStatus(kOffline);
        setReason(QStringLiteral("NTP not synchronized"), QStringLiteral("#0007"));
        return;
    }
    if (!flag("hasRoute")) {
        setStatus(QStringLiteral("out-of-service"));
        setReason(QStringLiteral("No route"), QStringLiteral("#0006"));
        return;
    }
    if (!flag("hasQr") || !flag("hasObu")) {
        QStringList reasons;
        if (!flag("hasObu")) {
            reasons << QStringLiteral("OBC lost");
        }
        if (!flag("hasQr")) {
            reasons << QStringLiteral("Barcode not operational");
        }
        setStatus(QStringLiteral("degraded"));
        setReason(reasons.join(QLatin1Char(',')), QStringLiteral("#0005"));
        return;
    }
    setStatus(QStringLiteral("online"));
    setReason(QString(), QString());
}

QUrl Validator::parseUrl(const QJsonObject& blm) const {
    QUrl url;
    url.setScheme(QStringLiteral("mqtt"));
    url.setHost(blm.value(QLatin1String("obu_host")).toString(), QUrl::DecodedMode);
    const QString user = blm.value(QLatin1String("obu_username")).toString();
    if (!user.isEmpty()) {
        url.setUserName(user, QUrl::DecodedMode);
    }
    const QString password = blm.value(QLatin1String("obu_password")).toString();
    if (!password.isEmpty()) {
        url.setPassword(password, QUrl::DecodedMode);
    }
    const int port = decimal(blm, "obu_port");
    if (port > 65535) {
        // A port the URL cannot hold would make the whole address invalid.
        m_channel.warning() << "WARN: OBU port out of range : " << port;
    } else if (port > 0) {
        url.setPort(port);
    }
    return url;
}

void Validator::onConfigReceived(const QJsonObject& message, const QString&) {
    const QJsonObject validator = member(message, "validator");
    m_config.setObuUrl(parseUrl(member(message, "blm")));
    m_config.setPassbackSecs(decimal(validator, "passbackTime"));
    m_config.setPassbackQrEnabled(validator.value(QLatin1String("qr_passback")).toString() ==
                                  QLatin1String("true"));

    m_channel.warning() << "Config received : ";
    // The on-board computer's password stays out of the system log.
    m_channel.warning() << "OBU URL         : " << m_config.obuUrl().toString(QUrl::RemovePassword);
    m_channel.warning() << "Passback Time   : " << m_config.passbackSecs() << " sec(s)";
    m_channel.warning() << "Passback QR En  : "
                        << (m_config.passbackQrEnabled() ? "true" : "false");
    emit configChanged();
}

void Validator::onCardFound(const QJsonObject& message, const QString&) {
    emit cardDetected(message.value(QLatin1String("uid")).toString(),
                      cardTypeText(message.value(QLatin1String("type")).toInt(0)));
}

void Validator::onCardScannedReceived(const QJsonObject& message, const QString&) {
    emitTransaction(message);
}

void Validator::onBarcodeScannedReceived(const QJsonObject& message, const QString&) {
    emitTransaction(message);
}

void Validator::emitTransaction(const QJsonObject& message) {
    const QJsonValue json = message.value(QLatin1String("transaction"));
    if (!json.isObject()) {
        m_channel.warning() << "WARN: Scan result without a transaction object";
    }
    // Lives only for the emission; receivers are connected directly.
    const Transaction transaction(json.toObject());
    emit ticketValidated(transaction);
}

// ---- state ----

void Validator::setStatus(const QString& status) {
    if (m_status == status) {
        return;
    }
    m_channel.warning() << "Validator status is : " << status;
    m_status = status;
    emit statusChanged();
}

void Validator::setReason(const QString& reason, const QString& code) {
    if (m_reason == reason && m_reasonCode == code) {
        return;
    }
    m_reason = reason;
    m_reasonCode = code;
    emit reasonChanged();
}

void Validator::setVersion(const QString& version) {
    if (assignIfChanged(m_version, version)) {
        emit versionChanged();
    }
}

void Validator::setRoute(const QString& route) {
    if (assignIfChanged(m_route, route)) {
        emit routeChanged();
    }
}

void Validator::setVehicle(const QString& vehicle) {
    if (assignIfChanged(m_vehicle, vehicle)) {
        emit vehicleChanged();
    }
}

}  // namespace manager
