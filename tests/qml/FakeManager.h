#pragma once

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QQmlContext>
#include <QString>
#include <QStringList>
#include <QTranslator>
#include <QVariantList>
#include <QVariantMap>

// Stands in for the GUI manager in QML tests: the same properties, signals and
// slots the screens use, with the same notification rules ("dynTr" notifies on
// languageChanged, screen with a timeout always notifies). Slot calls made by
// QML are recorded so tests can check them. It also publishes the other
// context objects the screens read.
class FakeManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString screen READ screen WRITE setScreen NOTIFY screenChanged)
    Q_PROPERTY(QString deviceId READ deviceId WRITE setDeviceId NOTIFY deviceIdChanged)
    Q_PROPERTY(QString language READ language WRITE setLanguage NOTIFY languageChanged)
    Q_PROPERTY(QString dynTr READ dynTr NOTIFY languageChanged)
    Q_PROPERTY(QString message READ message WRITE setMessage NOTIFY messageChanged)
    Q_PROPERTY(bool showCursor MEMBER m_showCursor NOTIFY showCursorChanged)
    Q_PROPERTY(bool showErrorDesc MEMBER m_showErrorDesc NOTIFY showErrorDescChanged)
    Q_PROPERTY(int displayOffMin MEMBER m_displayOffMin NOTIFY displayOffMinChanged)
    Q_PROPERTY(int shutdownDelaySec MEMBER m_shutdownDelaySec NOTIFY shutdownDelaySecChanged)
    Q_PROPERTY(QColor screenSaverBg MEMBER m_screenSaverBg NOTIFY screenSaverBgChanged)
    Q_PROPERTY(QString screenSaverImg MEMBER m_screenSaverImg NOTIFY screenSaverImgChanged)
    Q_PROPERTY(QObject* diagnostics READ diagnostics NOTIFY diagnosticsChanged)
    Q_PROPERTY(QObject* update READ update NOTIFY updateChanged)
    Q_PROPERTY(QObject* clock READ clock NOTIFY clockChanged)
    Q_PROPERTY(int animSwitchSec MEMBER m_animSwitchSec NOTIFY animSwitchSecChanged)

public:
    explicit FakeManager(QQmlContext* context, QObject* parent = nullptr);
    ~FakeManager() override;

    QString screen() const { return m_screen; }
    void setScreen(const QString& value);
    QString deviceId() const { return m_deviceId; }
    void setDeviceId(const QString& value);
    QString language() const { return m_language; }
    void setLanguage(const QString& value);
    QString dynTr() const { return QString(); }
    QString message() const { return m_message; }
    void setMessage(const QString& value);
    QObject* diagnostics() const { return m_diagnostics; }
    QObject* update() const { return m_update; }
    QObject* clock() const { return m_clock; }

    // Test helpers.
    Q_INVOKABLE void setTransaction(const QVariantMap& map);
    Q_INVOKABLE QStringList calls() const { return m_calls; }
    Q_INVOKABLE void clearCalls() { m_calls.clear(); }
    Q_INVOKABLE void raiseError(const QString& error) { emit errorOccured(error); }
    Q_INVOKABLE bool translatorLoaded() const { return !m_translator.isEmpty(); }

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
    void settingsLoginRequest(const QString& pin) { record("settingsLoginRequest", pin); }
    void settingsLogoutRequest() { record("settingsLogoutRequest"); }
    void setIdleScreen() { record("setIdleScreen"); }
    void setOutOfOrderScreen(const QString& message) { record("setOutOfOrderScreen", message); }
    void setScreen(const QString& value, int timeout);
    void saveDeviceIdRequest(const QString& id) { record("saveDeviceIdRequest", id); }
    void setMaintenanceScreen() { record("setMaintenanceScreen"); }
    void shutdownRequest() { record("shutdownRequest"); }
    void rebootRequest() { record("rebootRequest"); }
    void exitRequest() { record("exitRequest"); }

private:
    void record(const QString& name, const QString& argument = QString());

    QPointer<QQmlContext> m_context;
    QString m_screen;
    QString m_deviceId;
    QString m_language;
    QString m_message;
    bool m_showCursor = false;
    bool m_showErrorDesc = false;
    int m_displayOffMin = 0;
    int m_shutdownDelaySec = 60;
    QColor m_screenSaverBg = QColor("black");
    QString m_screenSaverImg = QStringLiteral("qrc:/qml/images/Icons/zorv.png");
    int m_animSwitchSec = 0;
    QObject* m_diagnostics;
    QObject* m_update;
    QObject* m_clock;
    QTranslator m_translator;
    bool m_translatorInstalled = false;
    QStringList m_calls;
};
