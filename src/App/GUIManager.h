#pragma once

#include <QColor>
#include <QJsonObject>
#include <QObject>
#include <QQmlApplicationEngine>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QTranslator>
#include <QVariantMap>

#include "Board.h"
#include "Clock.h"
#include "Config.h"
#include "ConfigRules.h"
#include "Diagnostics.h"
#include "EventManager.h"
#include "Inspector.h"
#include "MaintenanceBarcode.h"
#include "MqttClient.h"
#include "Network.h"
#include "SerialNumberFile.h"
#include "SessionManager.h"
#include "Sounds.h"
#include "UiMqtt.h"
#include "Update.h"
#include "Validator.h"

class QQmlContext;
class Transaction;

// The central controller of the passenger display. It owns the QML engine, the
// translator, the MQTT client, every service manager, the screen timers, the
// technician's session, the event log and the diagnostics, and wires them together;
// it decides which screen is shown. Its helpers: the serial-number file, the UI's
// own topics on the broker (UiMqtt), the maintenance barcodes and the table of what
// a configuration change applies (ConfigRules).
class GUIManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString screen READ screen WRITE setScreen NOTIFY screenChanged)
    Q_PROPERTY(QString deviceId READ deviceId WRITE setDeviceId NOTIFY deviceIdChanged)
    Q_PROPERTY(QString language READ language WRITE setLanguage NOTIFY languageChanged)
    Q_PROPERTY(QString dynTr READ dynTr NOTIFY languageChanged)
    Q_PROPERTY(QString message READ message NOTIFY messageChanged)
    Q_PROPERTY(bool showCursor READ showCursor WRITE setShowCursor NOTIFY showCursorChanged)
    Q_PROPERTY(
        bool showErrorDesc READ showErrorDesc WRITE setShowErrorDesc NOTIFY showErrorDescChanged)
    Q_PROPERTY(
        int displayOffMin READ displayOffMin WRITE setDisplayOffMin NOTIFY displayOffMinChanged)
    Q_PROPERTY(int shutdownDelaySec READ shutdownDelaySec WRITE setShutdownDelaySec NOTIFY
                   shutdownDelaySecChanged)
    Q_PROPERTY(QColor screenSaverBg READ screenSaverBg NOTIFY screenSaverBgChanged)
    Q_PROPERTY(QString screenSaverImg READ screenSaverImg NOTIFY screenSaverImgChanged)
    Q_PROPERTY(Diagnostics* diagnostics READ diagnostics NOTIFY diagnosticsChanged)
    Q_PROPERTY(manager::Update* update READ update NOTIFY updateChanged)
    Q_PROPERTY(manager::Clock* clock READ clock NOTIFY clockChanged)
    Q_PROPERTY(
        int animSwitchSec READ animSwitchSec WRITE setAnimSwitchSec NOTIFY animSwitchSecChanged)
    Q_PROPERTY(QString validSound READ validSound CONSTANT)
    Q_PROPERTY(QString invalidSound READ invalidSound CONSTANT)

public:
    static const QVariantMap Defaults;

    // eventStore: where the event log keeps its events; empty for the default file
    // beside the executable. clock: the time source of the settings lock's wait.
    explicit GUIManager(Config& config, const QString& eventStore = QString(),
                        LoginThrottle::Clock clock = LoginThrottle::Clock::system());
    ~GUIManager() override;

    void load();

    QString screen() const { return m_screen; }
    QString deviceId() const { return m_deviceId; }
    void setDeviceId(const QString& id);
    QString language() const { return m_language; }
    void setLanguage(const QString& language);
    QString dynTr() const { return QString(); }
    QString message() const { return m_message; }
    bool showCursor() const;
    void setShowCursor(bool value);
    bool showErrorDesc() const;
    void setShowErrorDesc(bool value);
    int displayOffMin() const;
    void setDisplayOffMin(int value);
    int shutdownDelaySec() const;
    void setShutdownDelaySec(int value);
    QColor screenSaverBg() const;
    QString screenSaverImg() const;
    Diagnostics* diagnostics() { return &m_diagnostics; }
    manager::Update* update() { return &m_update; }
    manager::Clock* clock() { return &m_clock; }
    int animSwitchSec() const;
    void setAnimSwitchSec(int value);
    QString validSound() const { return sounds::valid; }
    QString invalidSound() const { return sounds::invalid; }

    // The rule for fixed IPv4 settings of the wired interface, shared by the ethernet
    // settings page and the maintenance barcodes: address and netmask are required,
    // each field given must be an address. The message for the first field that
    // breaks it, in the order of the arguments; empty when they may be saved.
    Q_INVOKABLE static QString manualIpv4Failure(const QString& address, const QString& netmask,
                                                 const QString& gateway, const QString& dns0,
                                                 const QString& dns1);

    // The window, for the application's own wiring; the managers are in its root
    // context under the names QML knows them by.
    QQmlApplicationEngine& engine() { return m_engine; }

signals:
    void screenChanged();
    void deviceIdChanged();
    void languageChanged();
    void settingsAccessGranted();
    void settingsAccessDenied();
    void messageChanged();
    void showCursorChanged();
    void showErrorDescChanged();
    void displayOffMinChanged();
    void shutdownDelaySecChanged();
    void errorOccured(QString error);
    void diagnosticsChanged();
    void updateChanged();
    void clockChanged();
    void barcodeConfigurationApplied(QStringList configList);
    void screenSaverBgChanged();
    void screenSaverImgChanged();
    void animSwitchSecChanged();

public slots:
    void settingsLoginRequest(QString pin);
    void settingsLogoutRequest();
    void setIdleScreen();
    void setOutOfOrderScreen(QString message);
    void setScreen(QString value);
    void setScreen(QString value, int timeout);
    void saveDeviceIdRequest(QString deviceId);
    void setMaintenanceScreen();
    void shutdownRequest();
    void rebootRequest();
    void exitRequest();

private:
    void setMessage(const QString& message);
    void initConfig();
    void initLog();
    void initQml();
    void initMqtt();
    void initManagers();
    QVector<ConfigRules::Rule> configRules();
    void onDeviceIdFound(const QString& id);

    void onMqttConnected();
    void onMqttDisconnected();
    void onMqttError(const QString& error);
    void onScreenTimeout();
    void onDisplayOffTimeout();
    void onScreenChanged();
    void onValidatorStatusChanged();
    void onValidatorReasonChanged();
    void onCardDetected(const QString& uid, const QString& type);
    void onCardRemoved();
    void onCardRetry();
    void onTicketValidated(const Transaction& transaction);
    void collectGarbageAfterNextFrame();
    void onIgnitionChanged();
    void onSessionActiveChanged();
    void onSettingsLockChanged();
    void onSystemRebootStarted();
    void onSystemShutdownStarted();
    void onConfigChanged(const QVariantMap& changes);
    void onConfigFileChanged();
    void onConfigSaveFailed(const QStringList& keys, const QString& reason);
    // Installs the translator and the default locale of language.
    bool applyLanguage(const QString& language);
    void store(const QString& key, const QVariant& value, void (GUIManager::*notify)());
    void updateBoardShutdownDelay();
    void warnOnShortAnimSwitch() const;
    QString validatorReason() const;

    QString m_screen;
    QString m_deviceId;
    QString m_language;
    QString m_message;
    QQmlApplicationEngine m_engine;
    QQmlContext* m_qmlContext;
    QTranslator m_translator;
    Config& m_config;
    manager::MqttClient m_mqtt;
    manager::Validator m_validator;
    manager::Board m_board;
    manager::Inspector m_inspector;
    manager::Network m_network;
    manager::Update m_update;
    manager::Clock m_clock;
    QTimer m_screenTimer;      // "screenTimer": how long a timed screen stays
    QTimer m_displayOffTimer;  // "displayOffTimer": out of order or service that long
    QMetaObject::Connection m_collectAfterFrame;  // armed by a verdict until its frame
    SessionManager m_session;
    EventManager m_eventLog;
    Diagnostics m_diagnostics;
    SerialNumberFile m_serialNumberFile;
    UiMqtt m_uiMqtt;
    MaintenanceBarcode m_maintenanceBarcode;
    ConfigRules m_configRules;
};
