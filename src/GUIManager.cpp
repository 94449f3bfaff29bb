#include "GUIManager.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QQmlContext>
#include <QQuickStyle>
#include <QRegularExpression>
#include <QTextStream>
#include <QUrl>
#include <QtQml>

#include "Connection.h"
#include "Event.h"
#include "EventLogin.h"
#include "EventLogout.h"
#include "IPv4.h"
#include "TintedIconProvider.h"
#include "Transaction.h"
#include "logger.h"

namespace {

const char* const TAG = "[GUIManager] ";

const QString kValidSound = QStringLiteral("/opt/zorv/quellan/Valid.wav");
const QString kInvalidSound = QStringLiteral("/opt/zorv/quellan/Invalid.wav");
const QString kCatalogue = QStringLiteral(":/qml/translations/Quellan_el_GR.qm");

// The idle screen's frame tick: a faster swap of the animations only flickers.
constexpr int kFrameTickMsec = 300;

// The two deny reasons that mean the ticket had already been validated.
constexpr int kAlreadyValidatedTicket = 103;
constexpr int kAlreadyValidatedCard = 207;

QDebug info() {
    return qInfo() << TAG;
}
QDebug warning() {
    return qWarning() << TAG;
}
QDebug critical() {
    return qCritical() << TAG;
}
QDebug debug() {
    return qDebug() << TAG;
}

// Whether a value received for a configuration key has the type of its default, so
// that a wrongly typed request never reaches the configuration file.
bool hasDefaultType(const QVariant& defaultValue, const QJsonValue& value) {
    switch (static_cast<QMetaType::Type>(defaultValue.type())) {
        case QMetaType::Bool:
            return value.isBool();
        case QMetaType::Int: {
            if (!value.isDouble()) {
                return false;
            }
            const double number = value.toDouble();
            return number == static_cast<double>(static_cast<qint64>(number)) &&
                   number >= std::numeric_limits<int>::min() &&
                   number <= std::numeric_limits<int>::max();
        }
        case QMetaType::QString:
            return value.isString();
        default:
            return true;
    }
}

}  // namespace

GUIManager::GUIManager(Config& config, const QString& eventStore)
    : m_qmlContext(m_engine.rootContext()),
      m_config(config),
      m_mqtt(nullptr),
      m_validator(m_mqtt, config.get(QStringLiteral("topics/blm")).toString()),
      m_board(m_mqtt, config.get(QStringLiteral("topics/board")).toString()),
      m_inspector(m_mqtt, config.get(QStringLiteral("topics/inspector")).toString()),
      m_network(m_mqtt, config.get(QStringLiteral("topics/network")).toString()),
      m_update(m_mqtt, config.get(QStringLiteral("topics/device")).toString()),
      m_clock(m_mqtt, config.get(QStringLiteral("topics/device")).toString()),
      m_session(config),
      m_eventLog(config, eventStore.isEmpty() ? QCoreApplication::applicationDirPath() +
                                                    QStringLiteral("/events.ini")
                                              : eventStore),
      m_diagnostics(m_deviceId, m_board, m_network, m_validator) {
    m_deviceIdRetry.setInterval(DeviceIdRetryMillis);
    connect(&m_deviceIdRetry, &QTimer::timeout, this, &GUIManager::onDeviceIdRetry);
    loadDeviceId();
    initLog();
    initConfig();
    initQml();
    initMqtt();
    initManagers();
}

GUIManager::~GUIManager() = default;

// ---------------------------------------------------------------------------
// Initialisation

void GUIManager::initLog() {
    manager::Logger* logger = manager::Logger::instance();
    logger->setLevel(m_config.get(QStringLiteral("log/level")).toInt());
    logger->setStderr(m_config.get(QStringLiteral("log/stderr")).toBool());
    logger->setSyslog(m_config.get(QStringLiteral("log/syslog")).toBool());
    logger->setColor(m_config.get(QStringLiteral("log/color")).toBool());
}

void GUIManager::initConfig() {
    connect(&m_config, &Config::configChanged, this, &GUIManager::onConfigChanged);
    connect(&m_config, &Config::configFileChanged, this, &GUIManager::onConfigFileChanged);
    m_config.print();
    warnOnShortAnimSwitch();
}

void GUIManager::initQml() {
    QQuickStyle::setStyle(QStringLiteral("Material"));
    info() << "QtQuick Style name is : " << QQuickStyle::name();

    qmlRegisterType<Transaction>("com.zorv.ticketing.transaction", 1, 0, "Transaction");
    qmlRegisterType<manager::Connection>("com.zorv.network.connection", 1, 0, "Connection");
    qmlRegisterType<IPv4>("com.zorv.network.ipv4", 1, 0, "IPv4");

    // The on-screen keyboard module is part of the resource bundle.
    m_engine.addImportPath(QStringLiteral("qrc:/"));
    // The bundle has no file-selector folders: without the selector, loading a
    // file or picture does not probe the resources for each locale and platform.
    m_engine.setUrlInterceptor(nullptr);
    TintedIconProvider::install(m_engine);

    m_qmlContext->setContextProperty(QStringLiteral("manager"), this);
    m_qmlContext->setContextProperty(QStringLiteral("board"), &m_board);
    m_qmlContext->setContextProperty(QStringLiteral("inspector"), &m_inspector);
    m_qmlContext->setContextProperty(QStringLiteral("transaction"), Transaction().toMap());
    m_qmlContext->setContextProperty(QStringLiteral("eventLogManager"), &m_eventLog);
    m_qmlContext->setContextProperty(QStringLiteral("network"), &m_network);
    m_qmlContext->setContextProperty(QStringLiteral("validatorManager"), &m_validator);

    connect(&m_screenTimer, &QTimer::timeout, this, &GUIManager::onScreenTimeout);

    setScreen(QStringLiteral("Busy"), 10000);
    setMessage(tr("Initializing"));
}

void GUIManager::initMqtt() {
    disconnect(&m_mqtt, &manager::MqttClient::connected, this, nullptr);
    disconnect(&m_mqtt, &manager::MqttClient::disconnected, this, nullptr);
    disconnect(&m_mqtt, &manager::MqttClient::error, this, nullptr);
    disconnect(&m_mqtt, &manager::MqttClient::received, this, nullptr);

    connect(&m_mqtt, &manager::MqttClient::connected, this, &GUIManager::onMqttConnected);
    connect(&m_mqtt, &manager::MqttClient::disconnected, this, &GUIManager::onMqttDisconnected);
    connect(&m_mqtt, &manager::MqttClient::error, this, &GUIManager::onMqttError);
    connect(&m_mqtt, &manager::MqttClient::received, this, &GUIManager::processMqttMessage);

    // Settings are only taken while disconnected: a running connection is closed
    // first, so that a new host, base topic or last will applies at once.
    if (m_mqtt.state() != manager::MqttTransport::Disconnected) {
        m_mqtt.disconnect();
    }

    m_mqtt.setClientId(QStringLiteral("%1_%2")
                           .arg(QCoreApplication::applicationName())
                           .arg(QCoreApplication::applicationPid()));
    m_mqtt.setWillMessage(QByteArrayLiteral("{\"service\": false}"));
    m_mqtt.setWillTopic(baseTopic() + QStringLiteral("/status"));
    m_mqtt.setHostname(m_config.get(QStringLiteral("mqtt/host")).toString());
    m_mqtt.setPort(m_config.get(QStringLiteral("mqtt/port")).toUInt());
    m_mqtt.setUsername(m_config.get(QStringLiteral("mqtt/username")).toString());
    m_mqtt.setPassword(m_config.get(QStringLiteral("mqtt/password")).toString());

    m_mqtt.connect();
    setMessage(QStringLiteral("Connecting"));
}

void GUIManager::initManagers() {
    connect(&m_validator, &manager::Validator::statusChanged, this,
            &GUIManager::onValidatorStatusChanged);
    connect(&m_validator, &manager::Validator::cardDetected, this, &GUIManager::onCardDetected);
    connect(&m_validator, &manager::Validator::cardRemoved, this, &GUIManager::onCardRemoved);
    connect(&m_validator, &manager::Validator::cardRetry, this, &GUIManager::onCardRetry);
    connect(&m_validator, &manager::Validator::reasonChanged, this,
            &GUIManager::onValidatorReasonChanged);
    connect(&m_validator, &manager::Validator::ticketValidated, this,
            &GUIManager::onTicketValidated);
    connect(&m_validator, &manager::Validator::maintenanceBarcodeScanned, this,
            &GUIManager::onMaintenanceBarcodeScanned);

    connect(&m_board, &manager::Board::ignitionChanged, this, &GUIManager::onIgnitionChanged);
    connect(&m_board, &manager::Board::delayShutdownForChanged, this,
            &GUIManager::updateBoardShutdownDelay);

    connect(&m_session, &SessionManager::accessGranted, this, &GUIManager::settingsAccessGranted);
    connect(&m_session, &SessionManager::accessDenied, this, &GUIManager::settingsAccessDenied);
    connect(&m_session, &SessionManager::sessionActiveChanged, this,
            &GUIManager::onSessionActiveChanged);

    connect(&m_displayOffTimer, &QTimer::timeout, this, &GUIManager::onDisplayOffTimeout);
    connect(this, &GUIManager::screenChanged, this, &GUIManager::onScreenChanged);

    connect(&m_inspector, &manager::Inspector::systemRebootStarted, this,
            &GUIManager::onSystemRebootStarted);
    connect(&m_inspector, &manager::Inspector::systemShutdownStarted, this,
            &GUIManager::onSystemShutdownStarted);
}

void GUIManager::load() {
    // The screens are created in the configured language: set after them, it
    // would translate and lay out every text of every screen a second time.
    setLanguage(m_config.get(QStringLiteral("gui/locale")).toString());
    m_engine.load(QUrl(QStringLiteral("qrc:/qml/main.qml")));
    m_eventLog.push(new Event(QStringLiteral("General"), QStringLiteral("Application started"),
                              QString(), QDateTime::currentDateTime()));
}

// ---------------------------------------------------------------------------
// Properties

void GUIManager::setMessage(const QString& message) {
    if (m_message == message) {
        return;
    }
    m_message = message;
    emit messageChanged();
}

bool GUIManager::showCursor() const {
    return m_config.get(QStringLiteral("gui/showCursor")).toBool();
}

void GUIManager::setShowCursor(bool value) {
    if (showCursor() != value) {
        m_config.set(QStringLiteral("gui/showCursor"), value);
    }
}

bool GUIManager::showErrorDesc() const {
    return m_config.get(QStringLiteral("gui/showErrorDesc")).toBool();
}

void GUIManager::setShowErrorDesc(bool value) {
    if (showErrorDesc() != value) {
        m_config.set(QStringLiteral("gui/showErrorDesc"), value);
    }
}

int GUIManager::displayOffMin() const {
    return m_config.get(QStringLiteral("gui/displayOffMin")).toInt();
}

void GUIManager::setDisplayOffMin(int value) {
    if (displayOffMin() != value) {
        m_config.set(QStringLiteral("gui/displayOffMin"), value);
    }
}

int GUIManager::shutdownDelaySec() const {
    return m_config.get(QStringLiteral("gui/shutdownDelaySec")).toInt();
}

void GUIManager::setShutdownDelaySec(int value) {
    if (shutdownDelaySec() != value) {
        m_config.set(QStringLiteral("gui/shutdownDelaySec"), value);
    }
}

QColor GUIManager::screenSaverBg() const {
    return QColor(m_config.get(QStringLiteral("gui/screenSaverBg")).toString());
}

QString GUIManager::screenSaverImg() const {
    return m_config.get(QStringLiteral("gui/screenSaverImg")).toString();
}

// The configured value is milliseconds, as the screens have always taken it; a
// positive value below the frame tick is used as the frame tick.
int GUIManager::animSwitchSec() const {
    const int value = m_config.get(QStringLiteral("gui/animSwitchSec")).toInt();
    return value > 0 && value < kFrameTickMsec ? kFrameTickMsec : value;
}

void GUIManager::setAnimSwitchSec(int value) {
    if (m_config.get(QStringLiteral("gui/animSwitchSec")).toInt() != value) {
        m_config.set(QStringLiteral("gui/animSwitchSec"), value);
    }
}

void GUIManager::warnOnShortAnimSwitch() const {
    const int value = m_config.get(QStringLiteral("gui/animSwitchSec")).toInt();
    if (value > 0 && value < kFrameTickMsec) {
        warning() << "WARN: gui/animSwitchSec is in msec(s); " << value << " is below the "
                  << kFrameTickMsec << " msec(s) frame tick, using " << kFrameTickMsec;
    }
}

// ---------------------------------------------------------------------------
// Language

void GUIManager::setLanguage(const QString& language) {
    if (language == m_language) {
        return;
    }
    info() << "Language changed : " << language;

    if (m_translator.isEmpty()) {
        info() << "Loading translation file : " << kCatalogue;
        if (!m_translator.load(kCatalogue)) {
            critical() << "ERROR: Failed to load translation file";
            return;
        }
    }

    const QLocale locale(language);
    QCoreApplication::removeTranslator(&m_translator);
    if (locale.language() != QLocale::English) {
        if (!QCoreApplication::installTranslator(&m_translator)) {
            critical() << "ERROR: Failed to install translator";
            return;
        }
    }
    QLocale::setDefault(locale);

    m_language = language;
    m_config.set(QStringLiteral("gui/locale"), language);
    emit languageChanged();
}

// ---------------------------------------------------------------------------
// Device identifier

void GUIManager::loadDeviceId() {
    const QString path = m_config.get(QStringLiteral("gui/deviceId")).toString();
    info() << "Loading device id from : " << path;
    QString error;
    if (!readDeviceId(path, &error)) {
        critical() << "ERROR: Could not load device S/N from file : " << path << " (" << error
                   << ")";
    }
    if (m_deviceId.isEmpty()) {
        m_deviceIdRetry.start();
    }
}

bool GUIManager::readDeviceId(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = file.errorString();
        return false;
    }
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (!line.isEmpty()) {
            m_deviceId = line;
            emit deviceIdChanged();
            break;
        }
    }
    return true;
}

void GUIManager::onDeviceIdRetry() {
    QString error;
    if (!m_deviceId.isEmpty()) {
        m_deviceIdRetry.stop();
        return;
    }
    const QString path = m_config.get(QStringLiteral("gui/deviceId")).toString();
    if (!readDeviceId(path, &error) || m_deviceId.isEmpty()) {
        return;
    }
    info() << "Device id found in : " << path;
    m_deviceIdRetry.stop();
    if (m_screen == QLatin1String("InitPage")) {
        setIdleScreen();
    }
}

void GUIManager::saveDeviceId() {
    const QString path = m_config.get(QStringLiteral("gui/deviceId")).toString();
    info() << "Saving device id to : " << path;
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Truncate)) {
        critical() << "ERROR: Could not save device S/N to file : " << path << " ("
                   << file.errorString() << ")";
        emit errorOccured(file.errorString());
        return;
    }
    file.write(m_deviceId.toUtf8());
}

void GUIManager::setDeviceId(const QString& id) {
    if (id == m_deviceId) {
        return;
    }
    warning() << "Device ID changed : " << id;
    m_deviceId = id;
    saveDeviceId();
    emit deviceIdChanged();
}

void GUIManager::saveDeviceIdRequest(QString deviceId) {
    info() << "Save Device Id request : " << deviceId;
    setDeviceId(deviceId);
    setIdleScreen();
}

// ---------------------------------------------------------------------------
// Screen flow

void GUIManager::setScreen(QString value) {
    if (value == m_screen) {
        return;
    }
    info() << "Setting screen : " << value;
    m_screen = value;
    m_screenTimer.stop();
    emit screenChanged();
}

void GUIManager::setScreen(QString value, int timeout) {
    info() << "Setting screen : " << value << " (timeout=" << timeout << " msec)";
    m_screenTimer.setSingleShot(true);
    m_screenTimer.start(timeout);
    m_screen = value;
    emit screenChanged();
}

void GUIManager::onScreenTimeout() {
    info() << "Screen timeout : " << m_screen;
    setIdleScreen();
}

void GUIManager::setIdleScreen() {
    m_screenTimer.stop();
    if (m_deviceId.isEmpty()) {
        setScreen(QStringLiteral("InitPage"));
        return;
    }
    if (m_session.sessionActive()) {
        return;
    }
    const QString status = m_validator.status();
    if (status == QLatin1String("init")) {
        setScreen(QStringLiteral("Busy"));
        setMessage(tr("Please Wait"));
    } else if (status == QLatin1String("out-of-service")) {
        setScreen(QStringLiteral("OutOfService"));
        m_validator.disableRfid();
        m_validator.disableBarcode();
    } else if (status == QLatin1String("online") || status == QLatin1String("degraded")) {
        m_validator.enableRfid();
        m_validator.enableBarcode();
        setScreen(QStringLiteral("ScanScreens"));
    } else {
        setOutOfOrderScreen(validatorReason());
        m_validator.disableRfid();
        m_validator.disableBarcode();
    }
}

void GUIManager::setOutOfOrderScreen(QString message) {
    if (m_screen == QLatin1String("Login") || !m_board.ignition() || m_session.sessionActive()) {
        return;
    }
    setScreen(QStringLiteral("OutOfOrder"));
    setMessage(message);
}

QString GUIManager::validatorReason() const {
    QString text = m_validator.reasonCode();
    if (showErrorDesc()) {
        text += QLatin1Char('\n') + m_validator.reason();
    }
    return text;
}

void GUIManager::onValidatorStatusChanged() {
    info() << "Validator status changed : " << m_validator.status();
    setIdleScreen();
}

void GUIManager::onValidatorReasonChanged() {
    warning() << "Validator reason changed : " << m_validator.reasonCode() << " "
              << m_validator.reason();
    setMessage(validatorReason());
}

void GUIManager::onCardDetected(const QString& uid, const QString& type) {
    warning() << QStringLiteral("Validator card detected : uid=%1, type=%2").arg(uid, type);
}

void GUIManager::onCardRemoved() {
    warning() << "Validator card removed";
}

void GUIManager::onCardRetry() {
    warning() << "Validator card retry";
    if (m_session.sessionActive()) {
        return;
    }
    m_inspector.audioPlay(kInvalidSound);
    setScreen(QStringLiteral("Retry"), 3000);
}

void GUIManager::onTicketValidated(const Transaction& transaction) {
    const QVariantMap map = transaction.toMap();
    warning() << "Validator ticket validated : " << static_cast<int>(transaction.type());
    warning() << "Valid : " << (transaction.valid() ? "true" : "false");
    warning() << "Contents : " << map;

    m_qmlContext->setContextProperty(QStringLiteral("transaction"), map);
    if (m_session.sessionActive()) {
        return;
    }
    if (transaction.valid()) {
        m_inspector.audioPlay(kValidSound);
        setScreen(QStringLiteral("Valid"), 3000);
    } else if (transaction.denyReasonId() == kAlreadyValidatedTicket ||
               transaction.denyReasonId() == kAlreadyValidatedCard) {
        m_inspector.audioPlay(kInvalidSound);
        setScreen(QStringLiteral("AlreadyValid"), 3000);
    } else {
        m_inspector.audioPlay(kInvalidSound);
        setScreen(QStringLiteral("Invalid"), 3000);
    }
}

void GUIManager::setMaintenanceScreen() {
    if (m_session.sessionActive()) {
        setScreen(QStringLiteral("Settings"));
    } else if (m_screen == QLatin1String("Login")) {
        setIdleScreen();
    } else {
        setScreen(QStringLiteral("Login"), 15000);
    }
}

void GUIManager::onScreenChanged() {
    const int minutes = displayOffMin();
    if (minutes == 0) {
        return;
    }
    if (m_screen == QLatin1String("OutOfOrder") || m_screen == QLatin1String("OutOfService")) {
        info() << "Staring Display OFF timer : " << minutes << " min(s)";
        m_displayOffTimer.setSingleShot(true);
        m_displayOffTimer.start(minutes * 60000);
        return;
    }
    if (m_displayOffTimer.isActive()) {
        info() << "Stopping Display OFF timer.";
        m_displayOffTimer.stop();
    }
    if (!m_board.peripheralPower(QStringLiteral("display"))) {
        info() << "Turning on Display.";
        m_board.setPeripheralPower(QStringLiteral("display"), true);
    }
}

void GUIManager::onDisplayOffTimeout() {
    warning() << "WARN: Turning off Display due to inactivity.";
    m_board.setPeripheralPower(QStringLiteral("display"), false);
}

void GUIManager::onIgnitionChanged() {
    if (m_board.ignition()) {
        m_eventLog.push(new Event(QStringLiteral("Board"), QStringLiteral("Ignition on"), QString(),
                                  QDateTime::currentDateTime()));
        m_inspector.abortShutdown();
        setIdleScreen();
    } else {
        m_eventLog.push(new Event(QStringLiteral("Board"), QStringLiteral("Ignition off"),
                                  QString(), QDateTime::currentDateTime()));
        m_session.logoutRequest();
        m_inspector.scheduleShutdown(shutdownDelaySec());
        setScreen(QStringLiteral("ScreenSaver"));
    }
}

void GUIManager::updateBoardShutdownDelay() {
    const int wanted = shutdownDelaySec() + 60;
    if (m_board.delayShutdownFor() != wanted) {
        warning() << "WARN: Updating board shutdown delay to : " << wanted
                  << " sec(s) (prev=" << m_board.delayShutdownFor() << ")";
        m_board.setDelayShutdownFor(wanted);
    }
}

void GUIManager::shutdownRequest() {
    setScreen(QStringLiteral("Busy"), 30000);
    setMessage(tr("Shutting down"));
    m_inspector.systemShutdown();
}

void GUIManager::rebootRequest() {
    setScreen(QStringLiteral("Busy"), 30000);
    setMessage(tr("Rebooting"));
    m_inspector.systemReboot();
}

void GUIManager::exitRequest() {
    setScreen(QStringLiteral("Busy"), 30000);
    setMessage(tr("Exiting"));
    QTimer::singleShot(2000, qApp, [] { QCoreApplication::exit(0); });
}

void GUIManager::onSystemRebootStarted() {
    setScreen(QStringLiteral("Busy"), 30000);
    setMessage(tr("Rebooting"));
}

void GUIManager::onSystemShutdownStarted() {
    setScreen(QStringLiteral("Busy"), 30000);
    setMessage(tr("Shutting down"));
}

// ---------------------------------------------------------------------------
// Broker connection and the UI's own topics

QString GUIManager::baseTopic() const {
    return m_config.get(QStringLiteral("mqtt/base")).toString();
}

void GUIManager::onMqttConnected() {
    info() << "Connected to MQTT broker";
    setMessage(QStringLiteral("Connected"));
    subscribeToTopics();
    publishInfo();
    publishStatus();
    publishConfig();
}

void GUIManager::onMqttDisconnected() {
    warning() << "WARN: Disconnected from MQTT broker";
    setOutOfOrderScreen(QStringLiteral("Disconnected"));
}

void GUIManager::onMqttError(const QString& error) {
    critical() << "ERROR: " << error;
}

void GUIManager::subscribeToTopics() {
    const QString base = baseTopic();
    m_mqtt.subscribe(base + QStringLiteral("/info/get"), 0);
    m_mqtt.subscribe(base + QStringLiteral("/status/get"), 0);
    m_mqtt.subscribe(base + QStringLiteral("/config/get"), 0);
    m_mqtt.subscribe(base + QStringLiteral("/config/set"), 0);
}

void GUIManager::publishInfo() {
    QJsonObject info;
    info.insert(QStringLiteral("version"), QCoreApplication::applicationVersion());
    m_mqtt.publish(QJsonDocument(info).toJson(), baseTopic() + QStringLiteral("/info"), 0, false);
}

void GUIManager::publishStatus() {
    QJsonObject status;
    status.insert(QStringLiteral("service"), true);
    status.insert(QStringLiteral("technician"), m_session.sessionActive());
    // Retained, like the last will on the same topic: the broker always holds the
    // latest word, so a peer that subscribes later is not told a running UI is down.
    m_mqtt.publish(QJsonDocument(status).toJson(), baseTopic() + QStringLiteral("/status"), 0,
                   true);
}

void GUIManager::publishConfig() {
    // The broker password never leaves the device.
    QJsonObject config = m_config.toJson();
    QJsonObject mqtt = config.value(QStringLiteral("mqtt")).toObject();
    if (mqtt.contains(QStringLiteral("password"))) {
        mqtt.remove(QStringLiteral("password"));
        config.insert(QStringLiteral("mqtt"), mqtt);
    }
    m_mqtt.publish(QJsonDocument(config).toJson(), baseTopic() + QStringLiteral("/config"), 0,
                   false);
}

void GUIManager::processMqttMessage(const QByteArray& data, const QByteArray& topic) {
    const QString base = baseTopic();
    if (!topic.contains(base.toUtf8())) {
        return;
    }
    info() << "Message received : " << topic;
    debug() << "Data : " << data;

    if (topic.contains("/info/get")) {
        publishInfo();
    } else if (topic.contains("/status/get")) {
        publishStatus();
    } else if (topic.contains("/config/get")) {
        publishConfig();
    } else if (topic.contains("/config/set")) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(data, &error);
        if (error.error != QJsonParseError::NoError || !document.isObject()) {
            warning() << "WARN: Ignoring configuration request that is not a JSON object";
            return;
        }
        // Values whose type differs from the key's default are refused one by one;
        // unknown keys are left to the store, which never adds keys.
        QJsonObject accepted;
        const QJsonObject request = document.object();
        for (auto group = request.begin(); group != request.end(); ++group) {
            if (!group.value().isObject()) {
                warning() << "WARN: Ignoring configuration group that is not an object : "
                          << group.key();
                continue;
            }
            QJsonObject members;
            const QJsonObject in = group.value().toObject();
            for (auto member = in.begin(); member != in.end(); ++member) {
                const QString key = group.key() + QLatin1Char('/') + member.key();
                if (Defaults.contains(key) &&
                    !hasDefaultType(Defaults.value(key), member.value())) {
                    warning() << "WARN: Ignoring configuration value of the wrong type : " << key;
                    continue;
                }
                members.insert(member.key(), member.value());
            }
            accepted.insert(group.key(), members);
        }
        m_config.fromJson(accepted);
    }
}

void GUIManager::onConfigChanged(const QVariantMap& changes) {
    QVariantMap printable = changes;
    if (printable.contains(QStringLiteral("mqtt/password"))) {
        printable.insert(QStringLiteral("mqtt/password"), QStringLiteral("********"));
    }
    debug() << "Config changed : "
            << QJsonDocument(QJsonObject::fromVariantMap(printable)).toJson(QJsonDocument::Compact);

    // Every rule whose key changed is applied, in this order, each once.
    if (changes.contains(QStringLiteral("gui/deviceId"))) {
        info() << "Device id changed. Re-loading";
        loadDeviceId();
    }
    if (changes.contains(QStringLiteral("gui/showCursor"))) {
        info() << "Cursor changed : "
               << (changes.value(QStringLiteral("gui/showCursor")).toBool() ? "visible" : "hidden");
        emit showCursorChanged();
    }
    if (changes.contains(QStringLiteral("gui/displayOffMin"))) {
        info() << "Display OFF interval changed : "
               << changes.value(QStringLiteral("gui/displayOffMin")).toInt() << " min(s)";
        emit displayOffMinChanged();
    }
    if (changes.contains(QStringLiteral("gui/shutdownDelaySec"))) {
        info() << "Shutdown delay changed : "
               << changes.value(QStringLiteral("gui/shutdownDelaySec")).toInt() << " sec(s)";
        updateBoardShutdownDelay();
        emit shutdownDelaySecChanged();
    }
    if (changes.contains(QStringLiteral("gui/locale"))) {
        setLanguage(changes.value(QStringLiteral("gui/locale")).toString());
    }
    if (changes.contains(QStringLiteral("gui/showErrorDesc"))) {
        info() << "Show Error description changed : "
               << (changes.value(QStringLiteral("gui/showErrorDesc")).toBool() ? "YES" : "NO");
        setMessage(validatorReason());
        emit showErrorDescChanged();
    }
    if (changes.contains(QStringLiteral("gui/screenSaverBg"))) {
        info() << "Screen-saver background changed : "
               << changes.value(QStringLiteral("gui/screenSaverBg")).toString();
        emit screenSaverBgChanged();
    }
    if (changes.contains(QStringLiteral("gui/screenSaverImg"))) {
        info() << "Screen-saver image changed : "
               << changes.value(QStringLiteral("gui/screenSaverImg")).toString();
        emit screenSaverImgChanged();
    }
    if (changes.contains(QStringLiteral("gui/animSwitchSec"))) {
        info() << "GIFs animation changed : "
               << changes.value(QStringLiteral("gui/animSwitchSec")).toInt() << " msec(s)";
        warnOnShortAnimSwitch();
        emit animSwitchSecChanged();
    }
    const QStringList keys = changes.keys();
    static const QRegularExpression logKey(QStringLiteral("log\\/.+"));
    static const QRegularExpression mqttKey(QStringLiteral("mqtt\\/.+"));
    const auto anyMatch = [&keys](const QRegularExpression& re) {
        return std::any_of(keys.begin(), keys.end(),
                           [&re](const QString& key) { return re.match(key).hasMatch(); });
    };
    if (anyMatch(logKey)) {
        info() << "Log configuration changed. Applying.";
        initLog();
    }
    if (anyMatch(mqttKey)) {
        info() << "MQTT configuration changed. Applying.";
        initMqtt();
    }

    publishConfig();
}

void GUIManager::onConfigFileChanged() {
    warning() << "WARN: Configuration file changed!";
    m_config.print();
}

// ---------------------------------------------------------------------------
// Settings session

void GUIManager::settingsLoginRequest(QString pin) {
    m_session.loginRequest(pin);
}

void GUIManager::settingsLogoutRequest() {
    m_session.logoutRequest();
}

void GUIManager::onSessionActiveChanged() {
    if (m_session.sessionActive()) {
        m_eventLog.push(new EventLogin(m_session.user()));
    } else {
        setIdleScreen();
        m_eventLog.push(new EventLogout());
    }
    publishStatus();
}

// ---------------------------------------------------------------------------
// Maintenance barcodes

void GUIManager::onMaintenanceBarcodeScanned(const QJsonObject& data) {
    info() << "Maintenance Barcode scanned";
    if (!m_session.sessionActive()) {
        warning() << "WARN: Maintenance session is not active. Ignoring.";
        return;
    }

    QStringList configList;

    if (data.contains(QStringLiteral("validator"))) {
        const QString obc = data.value(QStringLiteral("validator"))
                                .toObject()
                                .value(QStringLiteral("obc"))
                                .toString();
        const QUrl url(obc, QUrl::TolerantMode);
        if (url.isValid() && !obc.isEmpty()) {
            info() << "Applying Validator configuration";
            configList.append(QStringLiteral("OBC : %1").arg(url.toString()));
            m_validator.config()->setObuUrl(url);
            m_validator.saveConfig();
        } else {
            warning() << "WARN: OBC URL is not valid : " << obc;
        }
    }

    const QJsonObject network = data.value(QStringLiteral("network")).toObject();
    if (data.contains(QStringLiteral("network")) && network.contains(QStringLiteral("eth0"))) {
        const QJsonObject eth0 = network.value(QStringLiteral("eth0")).toObject();
        const auto text = [&eth0](const char* key) {
            return eth0.value(QLatin1String(key)).toString();
        };
        const QString method = text("method");
        const QString address = text("address");
        const QString netmask = text("netmask");
        const QString gateway = text("gateway");
        const QString dns0 = text("dns0");
        const QString dns1 = text("dns1");
        manager::Ethernet* ethernet = m_network.ethernet();

        // A fixed address is checked with the same rule as the ethernet settings page
        // before anything of it is applied.
        QString refused;
        if (method == QLatin1String("manual")) {
            const QList<QPair<const char*, QString>> fields = {{"address", address},
                                                               {"netmask", netmask},
                                                               {"gateway", gateway},
                                                               {"dns0", dns0},
                                                               {"dns1", dns1}};
            for (const auto& field : fields) {
                const bool required =
                    qstrcmp(field.first, "address") == 0 || qstrcmp(field.first, "netmask") == 0;
                if ((required && field.second.isEmpty()) || !IPv4::isValidAddress(field.second)) {
                    refused = QLatin1String(field.first);
                    break;
                }
            }
        }

        if (ethernet->interface() != QLatin1String("eth0")) {
            warning() << "WARN: Active ethernet interface is not 'eth0' : "
                      << ethernet->interface();
        } else if (!refused.isEmpty()) {
            warning() << "WARN: Ethernet configuration refused, invalid field : " << refused;
        } else {
            configList.append(QStringLiteral("Method : %1").arg(method));
            configList.append(QStringLiteral("Address : %1").arg(address));
            configList.append(QStringLiteral("Netmask : %1").arg(netmask));
            configList.append(QStringLiteral("Gateway : %1").arg(gateway));
            configList.append(QStringLiteral("DNS #0 : %1").arg(dns0));
            configList.append(QStringLiteral("DNS #1 : %1").arg(dns1));
            IPv4* config = ethernet->config();
            if (method == QLatin1String("manual")) {
                ethernet->setMethod(QStringLiteral("manual"));
                config->setAddress(address);
                config->setMask(netmask);
                config->setGateway(gateway);
                config->setDns0(dns0);
                config->setDns1(dns1);
            } else {
                ethernet->setMethod(QStringLiteral("auto"));
                config->setAddress(QString());
                config->setMask(QString());
                config->setGateway(QString());
                config->setDns0(QString());
                config->setDns1(QString());
            }
            info() << "Applying Ethernet configuration to eth0";
            ethernet->save();
        }
    }

    if (!configList.isEmpty()) {
        m_inspector.audioPlay(kValidSound);
        m_board.setLedValid();
        emit barcodeConfigurationApplied(configList);
    }
}
