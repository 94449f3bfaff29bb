// The configuration keys whose change the GUI manager applies while it runs. A key
// without a row here changes nothing but the published configuration; the session
// reads its PIN afresh, and the service managers keep their topics until a restart.
#include <QRegularExpression>

#include "GUIManager.h"

// What a change of each key applies, in this order.
QVector<ConfigRules::Rule> GUIManager::configRules() {
    const auto is = [](const char* key) {
        return QRegularExpression(QStringLiteral("^%1$").arg(QLatin1String(key)));
    };
    const auto group = [](const char* name) {
        return QRegularExpression(QStringLiteral("%1\\/.+").arg(QLatin1String(name)));
    };
    const auto call = [this](auto member) {
        return [this, member](const QVariant&) { (this->*member)(); };
    };
    const auto emits = [this](void (GUIManager::*signal)()) {
        return [this, signal] { (this->*signal)(); };
    };
    const QStringList yesNo{"NO", "YES"};
    const QStringList shown{"hidden", "visible"};
    // clang-format off
    return {
        {is("gui/deviceId"), "Device id changed. Re-loading", {},
         [this](const QVariant&) { m_serialNumberFile.load(); }, {}},
        {is("gui/showCursor"), "Cursor changed : %1", shown,
         {}, emits(&GUIManager::showCursorChanged)},
        {is("gui/displayOffMin"), "Display OFF interval changed : %1 min(s)", {},
         {}, emits(&GUIManager::displayOffMinChanged)},
        {is("gui/shutdownDelaySec"), "Shutdown delay changed : %1 sec(s)", {},
         call(&GUIManager::updateBoardShutdownDelay), emits(&GUIManager::shutdownDelaySecChanged)},
        {is("gui/locale"), "", {},
         [this](const QVariant& value) { setLanguage(value.toString()); }, {}},
        {is("gui/showErrorDesc"), "Show Error description changed : %1", yesNo,
         [this](const QVariant&) { setMessage(validatorReason()); },
         emits(&GUIManager::showErrorDescChanged)},
        {is("gui/screenSaverBg"), "Screen-saver background changed : %1", {},
         {}, emits(&GUIManager::screenSaverBgChanged)},
        {is("gui/screenSaverImg"), "Screen-saver image changed : %1", {},
         {}, emits(&GUIManager::screenSaverImgChanged)},
        {is("gui/animSwitchSec"), "GIFs animation changed : %1 msec(s)", {},
         call(&GUIManager::warnOnShortAnimSwitch), emits(&GUIManager::animSwitchSecChanged)},
        {group("log"), "Log configuration changed. Applying.", {},
         call(&GUIManager::initLog), {}},
        {group("mqtt"), "MQTT configuration changed. Applying.", {},
         call(&GUIManager::initMqtt), {}},
    };
    // clang-format on
}
