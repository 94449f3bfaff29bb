#include "Board.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QMap>

#include "MqttClient.h"

namespace manager {

namespace {

const char* const kTag = "[Board] ";

// Display names of the peripherals the board can switch. Which of them a board
// actually has is for the service to say; this only names them.
const QMap<QString, const char*>& displayNames() {
    static const QMap<QString, const char*> table = {
        {QStringLiteral("display"), QT_TRANSLATE_NOOP("manager::Board", "Display")},
        {QStringLiteral("ftdi"), QT_TRANSLATE_NOOP("manager::Board", "FTDI")},
        {QStringLiteral("mPCIe1"), QT_TRANSLATE_NOOP("manager::Board", "mPCIe #1")},
        {QStringLiteral("mPCIe2"), QT_TRANSLATE_NOOP("manager::Board", "mPCIe #2")},
        {QStringLiteral("qrReader"), QT_TRANSLATE_NOOP("manager::Board", "QR Reader")},
        {QStringLiteral("rfidReader"), QT_TRANSLATE_NOOP("manager::Board", "RFID Reader")},
        {QStringLiteral("touch"), QT_TRANSLATE_NOOP("manager::Board", "Touch")},
        {QStringLiteral("usbHost1"), QT_TRANSLATE_NOOP("manager::Board", "USB Host")},
        {QStringLiteral("usbHub"), QT_TRANSLATE_NOOP("manager::Board", "USB Hub")},
    };
    return table;
}

QJsonObject ledStep(int r, int g, int b, int duration) {
    return QJsonObject{
        {QStringLiteral("color"),
         QJsonObject{{QStringLiteral("r"), r}, {QStringLiteral("g"), g}, {QStringLiteral("b"), b}}},
        {QStringLiteral("duration"), duration},
    };
}

QJsonObject ledPattern(int repeat, const QJsonArray& steps) {
    return QJsonObject{{QStringLiteral("repeat"), repeat}, {QStringLiteral("steps"), steps}};
}

}  // namespace

Board::Board(MqttClient& client, const QString& baseTopic, QObject* parent)
    : QObject(parent),
      m_channel(client, baseTopic,
                ServiceChannel::Options().withTag(kTag).withEmptyPayload(
                    ServiceChannel::EmptyPayload::AsEmptyObject)),
      m_timer(this) {
    m_timer.setObjectName(QStringLiteral("monitorTimer"));
    connect(&client, &MqttClient::received, this, &Board::onMqttReceived);
    connect(&client, &MqttClient::connected, this, &Board::refresh);
    connect(&m_timer, &QTimer::timeout, this, &Board::refresh);

    using namespace std::placeholders;
    m_channel.route(QStringLiteral("/info"), std::bind(&Board::onInfoReceived, this, _1, _2));
    m_channel.route(QStringLiteral("/status"), std::bind(&Board::onStatusReceived, this, _1, _2));
    m_channel.route(QStringLiteral("/config"), std::bind(&Board::onConfigReceived, this, _1, _2));
    m_channel.route(QStringLiteral("/display"), std::bind(&Board::onDisplayReceived, this, _1, _2));
    m_channel.route(QStringLiteral("/power"), std::bind(&Board::onPowerReceived, this, _1, _2));
    m_channel.route(QStringLiteral("/event"), std::bind(&Board::onEventReceived, this, _1, _2));
    m_channel.route(QStringLiteral("/audio"), std::bind(&Board::onAudioReceived, this, _1, _2));

    subscribe();
}

void Board::subscribe() {
    m_channel.info() << "Subscribing to topics";
    m_channel.subscribe({QStringLiteral("/info"), QStringLiteral("/status"),
                         QStringLiteral("/config"), QStringLiteral("/display"),
                         QStringLiteral("/power"), QStringLiteral("/audio"),
                         QStringLiteral("/event")});
}

void Board::onMqttReceived(const QByteArray& payload, const QByteArray& topic) {
    m_channel.receive(payload, topic);
}

// --- mirrored values -------------------------------------------------------------

bool Board::ignition() const {
    return m_device.value(QStringLiteral("ignition")).toBool();
}

QString Board::poleId() const {
    return m_device.value(QStringLiteral("poleId")).toString();
}

double Board::temperature() const {
    return m_device.value(QStringLiteral("temperature")).toDouble();
}

double Board::voltage() const {
    return m_device.value(QStringLiteral("voltage")).toDouble();
}

int Board::uptime() const {
    return m_device.value(QStringLiteral("uptime")).toInt();
}

bool Board::rtcFailed() const {
    return m_device.value(QStringLiteral("rtcFailed")).toBool();
}

int Board::displayBrightness() const {
    return m_display.value(QStringLiteral("brightness")).toInt();
}

QString Board::displayBrightnessMode() const {
    return m_display.value(QStringLiteral("mode")).toString();
}

int Board::ambientLightSensor() const {
    return m_display.value(QStringLiteral("sensor")).toInt();
}

bool Board::audioEnabled() const {
    return !m_audio.value(QStringLiteral("mute")).toBool();
}

bool Board::peripheralPower(QString peripheral) {
    return m_power.value(peripheral).toBool();
}

QVariantList Board::peripherals() const {
    QVariantList list;
    for (auto it = m_power.constBegin(); it != m_power.constEnd(); ++it) {
        const char* name = displayNames().value(it.key(), nullptr);
        list.append(QVariantMap{
            {QStringLiteral("item"), it.key()},
            {QStringLiteral("descr"),
             name ? QCoreApplication::translate("manager::Board", name) : QString()},
            {QStringLiteral("value"), it.value().toBool()},
        });
    }
    return list;
}

void Board::setPeripherals(const QVariantList& list) {
    m_channel.warning() << "--- SET PERIPHERALS : " << list;
}

void Board::setStatus(const QString& value) {
    if (m_status == value) {
        return;
    }
    m_channel.info() << "Status changed : " << value;
    m_status = value;
    emit statusChanged();
}

// --- messages from the service ---------------------------------------------------

void Board::onStatusReceived(const QJsonObject& message, const QString& topic) {
    m_channel.debug() << "Processing status topic " << topic;
    if (!message.value(QStringLiteral("service")).toBool()) {
        setStatus(QStringLiteral("offline"));
        return;
    }
    const QJsonObject device = message.value(QStringLiteral("device")).toObject();
    if (!device.value(QStringLiteral("active")).toBool()) {
        setStatus(QStringLiteral("error"));
        return;
    }
    setStatus(QStringLiteral("online"));

    const bool ignition = device.value(QStringLiteral("ignition")).toBool();
    if (ignition != this->ignition()) {
        m_channel.debug() << "Ignition changed : " << ignition;
        m_device.insert(QStringLiteral("ignition"), ignition);
        emit ignitionChanged();
    }
    const QString poleId = device.value(QStringLiteral("poleId")).toString();
    if (poleId != this->poleId()) {
        m_channel.debug() << "Pole Id changed : " << poleId;
        m_device.insert(QStringLiteral("poleId"), poleId);
        emit poleIdChanged();
    }
    const double temperature = device.value(QStringLiteral("temperature")).toDouble();
    if (temperature != this->temperature()) {
        m_channel.debug() << "Temperature changed : " << temperature;
        m_device.insert(QStringLiteral("temperature"), temperature);
        emit temperatureChanged();
    }
    const double voltage = device.value(QStringLiteral("voltage")).toDouble();
    if (voltage != this->voltage()) {
        m_channel.debug() << "Voltage changed : " << voltage;
        m_device.insert(QStringLiteral("voltage"), voltage);
        emit voltageChanged();
    }
    const int uptime = device.value(QStringLiteral("uptime")).toInt();
    if (uptime != this->uptime()) {
        m_channel.debug() << "Uptime changed : " << uptime;
        m_device.insert(QStringLiteral("uptime"), uptime);
        emit uptimeChanged();
    }
    const bool rtcFailed = device.value(QStringLiteral("hardwareStatus"))
                               .toObject()
                               .value(QStringLiteral("rtcFailed"))
                               .toBool();
    if (rtcFailed != this->rtcFailed()) {
        m_channel.debug() << "RTC Status changed : " << (rtcFailed ? "FAIL" : "OK");
        m_device.insert(QStringLiteral("rtcFailed"), rtcFailed);
        emit rtcFailedChanged();
    }
}

void Board::onInfoReceived(const QJsonObject& message, const QString& topic) {
    m_channel.info() << "Processing info topic " << topic;
    const QJsonObject device = message.value(QStringLiteral("device")).toObject();
    const QJsonObject service = message.value(QStringLiteral("service")).toObject();
    m_info.insert(QStringLiteral("firmware"),
                  device.value(QStringLiteral("firmwareVersion")).toString());
    m_info.insert(QStringLiteral("hardwareId"),
                  device.value(QStringLiteral("hardwareId")).toString());
    m_info.insert(QStringLiteral("hardware"),
                  device.value(QStringLiteral("hardwareVersion")).toString());
    m_info.insert(QStringLiteral("version"), service.value(QStringLiteral("version")).toString());
    emit infoChanged();
}

void Board::onConfigReceived(const QJsonObject& message, const QString& topic) {
    m_channel.info() << "Processing config topic " << topic;
    const int delay = message.value(QStringLiteral("device"))
                          .toObject()
                          .value(QStringLiteral("delayShutdownFor"))
                          .toInt();
    if (delay != m_delayShutdownFor) {
        m_channel.info() << "Board shutdown delay changed : " << delay << " sec(s)";
        m_delayShutdownFor = delay;
        emit delayShutdownForChanged();
    }
}

void Board::onDisplayReceived(const QJsonObject& message, const QString& /*topic*/) {
    const int brightness = message.value(QStringLiteral("brightness")).toInt();
    if (brightness != displayBrightness()) {
        m_channel.debug() << "Display brightness changed : " << brightness;
        m_display.insert(QStringLiteral("brightness"), brightness);
        emit displayBrightnessChanged();
    }
    const int sensor = message.value(QStringLiteral("sensor")).toInt();
    if (sensor != ambientLightSensor()) {
        m_channel.debug() << "Display sensor changed : " << sensor;
        m_display.insert(QStringLiteral("sensor"), sensor);
        emit ambientLightSensorChanged();
    }
    const QString mode = message.value(QStringLiteral("mode")).toString();
    if (mode != displayBrightnessMode()) {
        m_channel.debug() << "Display brightness mode changed : " << mode;
        m_display.insert(QStringLiteral("mode"), mode);
        emit displayBrightnessModeChanged();
    }
}

void Board::onPowerReceived(const QJsonObject& message, const QString& /*topic*/) {
    // A switch counts as changed when its JSON value differs in type or value, so a
    // true that becomes 1 is reported (and reads as off: only a JSON true is on).
    bool changed = false;
    for (auto it = message.constBegin(); it != message.constEnd(); ++it) {
        const QJsonValue value = it.value();
        if (value.isNull() || value == m_power.value(it.key())) {
            continue;
        }
        m_channel.info() << "Peripheral power changed '" << it.key() << "' : " << value.toBool();
        m_power.insert(it.key(), value);
        changed = true;
        emit peripheralPowerChanged(it.key(), value.toBool());
    }
    // Each report is the board's whole set: a peripheral it no longer reports is
    // dropped, so a peer sending ever new names cannot grow the list without bound.
    for (auto it = m_power.begin(); it != m_power.end();) {
        const QJsonValue reported = message.value(it.key());
        if (!reported.isUndefined() && !reported.isNull()) {
            ++it;
            continue;
        }
        const QString name = it.key();
        const bool wasOn = it.value().toBool();
        m_channel.info() << "Peripheral no longer reported '" << name << "'";
        it = m_power.erase(it);
        changed = true;
        if (wasOn) {
            emit peripheralPowerChanged(name, false);
        }
    }
    if (changed) {
        emit peripheralsChanged();
    }
}

void Board::onEventReceived(const QJsonObject& message, const QString& /*topic*/) {
    const QString name = message.value(QStringLiteral("name")).toString();
    const QVariant data = message.value(QStringLiteral("data")).toVariant();
    m_channel.info() << "Event received : " << name << " [" << data << "]";
    if (name == QLatin1String("IgnitionChanged")) {
        // The ignition input is off only for a data of 0 (number or text).
        m_device.insert(QStringLiteral("ignition"), data.toString() != QLatin1String("0"));
        emit ignitionChanged();
    }
}

void Board::onAudioReceived(const QJsonObject& message, const QString& /*topic*/) {
    const bool mute = message.value(QStringLiteral("mute")).toBool();
    if (mute != m_audio.value(QStringLiteral("mute")).toBool()) {
        m_audio.insert(QStringLiteral("mute"), mute);
        emit audioEnabledChanged();
    }
}

// --- requests to the service -----------------------------------------------------

void Board::refresh() {
    m_channel.debug() << "Refreshing data";
    const QByteArray empty = QByteArrayLiteral("{}");
    m_channel.publishRaw(QStringLiteral("/status/get"), empty);
    m_channel.publishRaw(QStringLiteral("/display/get"), empty);
    m_channel.publishRaw(QStringLiteral("/power/get"), empty);
    m_channel.publishRaw(QStringLiteral("/audio/get"), empty);
}

void Board::monitor(int msec) {
    m_channel.monitor(m_timer, msec, [this] { refresh(); });
}

void Board::setDelayShutdownFor(int sec) {
    if (sec == m_delayShutdownFor) {
        return;
    }
    m_channel.info() << "Setting board shutdown delay : " << sec << " sec(s)";
    m_channel.publish(QStringLiteral("/config/set"),
                      QJsonObject{{QStringLiteral("device"),
                                   QJsonObject{{QStringLiteral("delayShutdownFor"), sec}}}});
}

void Board::setPeripheralPower(QString peripheral, bool value) {
    m_channel.info() << "Setting peripheral power: " << peripheral << " (" << value << ")";
    m_channel.publish(QStringLiteral("/power/set"), QJsonObject{{peripheral, value}});
}

void Board::setDisplayBrightness(int value) {
    m_channel.info() << "Setting display brightness : " << value;
    m_channel.publish(QStringLiteral("/display/set"),
                      QJsonObject{{QStringLiteral("brightness"), value}});
}

void Board::setDisplayBrightnessMode(QString value) {
    m_channel.info() << "Setting display brightness mode : " << value;
    m_channel.publish(QStringLiteral("/display/set"), QJsonObject{{QStringLiteral("mode"), value}});
}

void Board::setAudioEnabled(bool value) {
    m_channel.info() << "Setting audio enabled : " << value;
    m_channel.publish(QStringLiteral("/audio/set"), QJsonObject{{QStringLiteral("mute"), !value}});
}

void Board::playBuzzer(int onMsec, int offMsec, int repeat) {
    m_channel.info() << qUtf8Printable(QStringLiteral("Playing buzzer : on=%1 msec, off=%2 msec, "
                                                      "repeat=%3")
                                           .arg(onMsec)
                                           .arg(offMsec)
                                           .arg(repeat));
    m_channel.publish(QStringLiteral("/buzzer/play/request/1"),
                      QJsonObject{{QStringLiteral("onMsec"), onMsec},
                                  {QStringLiteral("offMsec"), offMsec},
                                  {QStringLiteral("repeat"), repeat}});
}

void Board::playLedPattern(const QJsonObject& pattern) {
    m_channel.publish(QStringLiteral("/led/play/request/1"), pattern);
}

void Board::setLedValid() {
    m_channel.info() << "Setting LEDs to : VALID";
    playLedPattern(ledPattern(3, {ledStep(0, 255, 0, 100), ledStep(0, 0, 0, 50)}));
}

void Board::setLedInvalid() {
    m_channel.info() << "Setting LEDs to : INVALID";
    playLedPattern(ledPattern(3, {ledStep(255, 0, 0, 100), ledStep(0, 0, 0, 50)}));
}

void Board::setLedTestPattern() {
    m_channel.info() << "Setting LEDs to : TEST";
    playLedPattern(ledPattern(30, {ledStep(255, 0, 0, 1000), ledStep(0, 0, 0, 200),
                                   ledStep(0, 255, 0, 1000), ledStep(0, 0, 0, 200)}));
}

void Board::setLedOff() {
    m_channel.publishRaw(QStringLiteral("/led/off/request/1"), QByteArray());
}

}  // namespace manager
