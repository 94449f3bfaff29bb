#include "GUIManager.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <QQmlContext>
#include <QQuickStyle>
#include <QUrl>
#include <QtQml>

#include "Connection.h"
#include "Event.h"
#include "EventConfigNotSaved.h"
#include "EventLogin.h"
#include "EventLogout.h"
#include "EventSettingsLocked.h"
#include "IPv4.h"
#include "TintedIconProvider.h"
#include "Transaction.h"
#include "logger.h"

namespace {

const char* const TAG = "[GUIManager] ";

const QString kCatalogue = QStringLiteral(":/qml/translations/Quellan_el_GR.qm");

// The idle screen's frame tick: a faster swap of the animations only flickers.
constexpr int kFrameTickMsec = 300;

// "gui/animSwitchSec" is milliseconds, as the screens have always taken it. A positive
// value below the frame tick is used as the frame tick; a negative one as 0, so that
// the animations still alternate by themselves instead of stopping on one of them.
int usableAnimSwitch(int value) {
    return value < 0 ? 0 : value > 0 && value < kFrameTickMsec ? kFrameTickMsec : value;
}

QDebug info() {
    return qInfo() << TAG;
}
QDebug warning() {
    return qWarning() << TAG;
}
QDebug critical() {
    return qCritical() << TAG;
}

}  // namespace

GUIManager::GUIManager(Config& config, const QString& eventStore, LoginThrottle::Clock clock)
    : m_qmlContext(m_engine.rootContext()),
      m_config(config),
      m_mqtt(this),
      m_validator(m_mqtt, config.get(QStringLiteral("topics/blm")).toString()),
      m_board(m_mqtt, config.get(QStringLiteral("topics/board")).toString()),
      m_inspector(m_mqtt, config.get(QStringLiteral("topics/inspector")).toString()),
      m_network(m_mqtt, config.get(QStringLiteral("topics/network")).toString()),
      m_update(m_mqtt, config.get(QStringLiteral("topics/device")).toString()),
      m_clock(m_mqtt, config.get(QStringLiteral("topics/device")).toString()),
      m_screenTimer(this),
      m_displayOffTimer(this),
      m_session(config,
                SessionManager::throttleStateBeside(
                    eventStore.isEmpty() ? EventManager::defaultStorePath() : eventStore),
                std::move(clock)),
      m_eventLog(config, eventStore.isEmpty() ? EventManager::defaultStorePath() : eventStore),
      m_diagnostics(m_deviceId, m_board, m_network, m_validator),
      m_serialNumberFile(config),
      m_uiMqtt(m_mqtt, config, m_session),
      m_maintenanceBarcode(m_session, m_validator, m_network, m_inspector, m_board),
      m_configRules(configRules()) {
    connect(&m_serialNumberFile, &SerialNumberFile::found, this, &GUIManager::onDeviceIdFound);
    connect(&m_serialNumberFile, &SerialNumberFile::saveFailed, this, &GUIManager::errorOccured);
    m_serialNumberFile.load();
    initLog();
    initConfig();
    initQml();
    initMqtt();
    initManagers();
}

GUIManager::~GUIManager() {
    // The window first: its bindings read the managers below, which go before the
    // engine that owns the window, and would be evaluated once more on null objects.
    // The engine forgets a root object that is destroyed.
    qDeleteAll(m_engine.rootObjects());
}

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
    connect(&m_config, &Config::saveFailed, this, &GUIManager::onConfigSaveFailed);
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
    m_qmlContext->setContextProperty(QStringLiteral("session"), &m_session);
    m_qmlContext->setContextProperty(QStringLiteral("network"), &m_network);
    m_qmlContext->setContextProperty(QStringLiteral("validatorManager"), &m_validator);

    m_screenTimer.setObjectName(QStringLiteral("screenTimer"));
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
    connect(
        &m_mqtt, &manager::MqttClient::received, this,
        [this](const QByteArray& data, const QByteArray& topic) { m_uiMqtt.process(data, topic); });
    m_uiMqtt.connectClient();
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
    connect(&m_validator, &manager::Validator::maintenanceBarcodeScanned, &m_maintenanceBarcode,
            &MaintenanceBarcode::onScanned);
    connect(&m_maintenanceBarcode, &MaintenanceBarcode::applied, this,
            &GUIManager::barcodeConfigurationApplied);

    connect(&m_board, &manager::Board::ignitionChanged, this, &GUIManager::onIgnitionChanged);
    connect(&m_board, &manager::Board::delayShutdownForChanged, this,
            &GUIManager::updateBoardShutdownDelay);

    connect(&m_session, &SessionManager::accessGranted, this, &GUIManager::settingsAccessGranted);
    connect(&m_session, &SessionManager::accessDenied, this, &GUIManager::settingsAccessDenied);
    connect(&m_session, &SessionManager::sessionActiveChanged, this,
            &GUIManager::onSessionActiveChanged);
    connect(&m_session, &SessionManager::lockedChanged, this, &GUIManager::onSettingsLockChanged);

    m_displayOffTimer.setObjectName(QStringLiteral("displayOffTimer"));
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

// A page's change. One the file could not take is not kept: the page is told, and its
// control, bound to the property, shows the stored value again.
void GUIManager::store(const QString& key, const QVariant& value, void (GUIManager::*notify)()) {
    if (!m_config.set(key, value)) {
        emit(this->*notify)();
        emit errorOccured(tr("Setting not saved"));
    }
}

bool GUIManager::showCursor() const {
    return m_config.get(QStringLiteral("gui/showCursor")).toBool();
}

void GUIManager::setShowCursor(bool value) {
    if (showCursor() != value) {
        store(QStringLiteral("gui/showCursor"), value, &GUIManager::showCursorChanged);
    }
}

bool GUIManager::showErrorDesc() const {
    return m_config.get(QStringLiteral("gui/showErrorDesc")).toBool();
}

void GUIManager::setShowErrorDesc(bool value) {
    if (showErrorDesc() != value) {
        store(QStringLiteral("gui/showErrorDesc"), value, &GUIManager::showErrorDescChanged);
    }
}

int GUIManager::displayOffMin() const {
    return m_config.get(QStringLiteral("gui/displayOffMin")).toInt();
}

void GUIManager::setDisplayOffMin(int value) {
    if (displayOffMin() != value) {
        store(QStringLiteral("gui/displayOffMin"), value, &GUIManager::displayOffMinChanged);
    }
}

int GUIManager::shutdownDelaySec() const {
    return m_config.get(QStringLiteral("gui/shutdownDelaySec")).toInt();
}

void GUIManager::setShutdownDelaySec(int value) {
    if (shutdownDelaySec() != value) {
        store(QStringLiteral("gui/shutdownDelaySec"), value, &GUIManager::shutdownDelaySecChanged);
    }
}

QColor GUIManager::screenSaverBg() const {
    return QColor(m_config.get(QStringLiteral("gui/screenSaverBg")).toString());
}

QString GUIManager::screenSaverImg() const {
    return m_config.get(QStringLiteral("gui/screenSaverImg")).toString();
}

int GUIManager::animSwitchSec() const {
    return usableAnimSwitch(m_config.get(QStringLiteral("gui/animSwitchSec")).toInt());
}

void GUIManager::setAnimSwitchSec(int value) {
    if (m_config.get(QStringLiteral("gui/animSwitchSec")).toInt() != value) {
        store(QStringLiteral("gui/animSwitchSec"), value, &GUIManager::animSwitchSecChanged);
    }
}

void GUIManager::warnOnShortAnimSwitch() const {
    const int value = m_config.get(QStringLiteral("gui/animSwitchSec")).toInt();
    if (usableAnimSwitch(value) != value) {
        warning() << "WARN: gui/animSwitchSec is in msec(s); " << value << " is below the "
                  << kFrameTickMsec << " msec(s) frame tick, using " << usableAnimSwitch(value);
    }
}

// ---------------------------------------------------------------------------
// Language

void GUIManager::setLanguage(const QString& language) {
    if (language == m_language) {
        return;
    }
    info() << "Language changed : " << language;
    if (!applyLanguage(language)) {
        return;
    }
    const QString previous = m_language;
    m_language = language;
    // Not stored: the screens go back to the language that stands (there is none
    // before the first one at start).
    if (!m_config.set(QStringLiteral("gui/locale"), language) && !previous.isEmpty()) {
        m_language = previous;
        applyLanguage(previous);
        emit errorOccured(tr("Setting not saved"));
    }
    emit languageChanged();
}

bool GUIManager::applyLanguage(const QString& language) {
    if (m_translator.isEmpty()) {
        info() << "Loading translation file : " << kCatalogue;
        if (!m_translator.load(kCatalogue)) {
            critical() << "ERROR: Failed to load translation file";
            return false;
        }
    }

    const QLocale locale(language);
    QCoreApplication::removeTranslator(&m_translator);
    if (locale.language() != QLocale::English) {
        if (!QCoreApplication::installTranslator(&m_translator)) {
            critical() << "ERROR: Failed to install translator";
            return false;
        }
    }
    QLocale::setDefault(locale);
    return true;
}

// ---------------------------------------------------------------------------
// Device identifier

void GUIManager::onDeviceIdFound(const QString& id) {
    m_deviceId = id;
    emit deviceIdChanged();
    // A file provisioned while the first-start page shows ends it.
    if (m_screen == QLatin1String("InitPage")) {
        setIdleScreen();
    }
}

void GUIManager::setDeviceId(const QString& id) {
    if (id == m_deviceId) {
        return;
    }
    warning() << "Device ID changed : " << id;
    m_deviceId = id;
    m_serialNumberFile.save(id);
    emit deviceIdChanged();
}

void GUIManager::saveDeviceIdRequest(QString deviceId) {
    info() << "Save Device Id request : " << deviceId;
    setDeviceId(deviceId);
    setIdleScreen();
}

// ---------------------------------------------------------------------------
// Broker connection and the UI's own topics

void GUIManager::onMqttConnected() {
    info() << "Connected to MQTT broker";
    setMessage(QStringLiteral("Connected"));
    m_uiMqtt.subscribe();
    m_uiMqtt.publishInfo();
    m_uiMqtt.publishStatus();
    m_uiMqtt.publishConfig();
}

void GUIManager::onMqttDisconnected() {
    warning() << "WARN: Disconnected from MQTT broker";
    setOutOfOrderScreen(QStringLiteral("Disconnected"));
}

void GUIManager::onMqttError(const QString& error) {
    critical() << "ERROR: " << error;
}

void GUIManager::onConfigChanged(const QVariantMap& changes) {
    m_configRules.apply(changes);
    m_uiMqtt.publishConfig();
}

// The store kept the values of its file and logged why; the event log keeps the
// keys, and "/config" shows the values that stand, so that whoever asked for the
// change sees that it was not taken.
void GUIManager::onConfigSaveFailed(const QStringList& keys, const QString& reason) {
    m_eventLog.push(new EventConfigNotSaved(keys, reason));
    m_uiMqtt.publishConfig();
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
    m_uiMqtt.publishStatus();
}

void GUIManager::onSettingsLockChanged() {
    if (m_session.locked()) {
        m_eventLog.push(
            new EventSettingsLocked(m_session.failedLogins(), m_session.lockRemaining()));
    }
    m_uiMqtt.publishStatus();
}

// ---------------------------------------------------------------------------
// Shared with the screens

QString GUIManager::manualIpv4Failure(const QString& address, const QString& netmask,
                                      const QString& gateway, const QString& dns0,
                                      const QString& dns1) {
    if (address.isEmpty()) {
        return QStringLiteral("IPv4 address cannot be empty in 'manual' mode");
    }
    if (netmask.isEmpty()) {
        return QStringLiteral("IPv4 netmask cannot be empty in 'manual' mode");
    }
    const std::pair<const char*, const QString&> fields[] = {{"address", address},
                                                             {"netmask", netmask},
                                                             {"gateway", gateway},
                                                             {"DNS #0", dns0},
                                                             {"DNS #1", dns1}};
    for (const auto& [name, text] : fields) {
        if (!IPv4::isValidAddress(text)) {
            return QStringLiteral("IPv4 %1 is not a valid IP address").arg(QLatin1String(name));
        }
    }
    return QString();
}
