// The configuration keys whose change the GUI manager applies while it runs. A key
// without a row here changes nothing but the published configuration; the session
// reads its PIN afresh, and the service managers keep their topics until a restart.
#include <QRegularExpression>

#include "GUIManager.h"

// What a change of each key applies, in this order.
QVector<ConfigRules::Rule> GUIManager::configRules() {
    const auto key = [](const char* name) {
        return QRegularExpression(QStringLiteral("^%1$").arg(QLatin1String(name)));
    };
    const auto notify = [this](void (GUIManager::*signal)()) {
        return [this, signal] { (this->*signal)(); };
    };
    const QStringList yesNo{QStringLiteral("NO"), QStringLiteral("YES")};
    const QStringList shown{QStringLiteral("hidden"), QStringLiteral("visible")};
    return {
        {key("gui/deviceId"),
         QStringLiteral("Device id changed. Re-loading"),
         {},
         [this](const QVariant&) { m_serialNumberFile.load(); },
         {}},
        {key("gui/showCursor"),
         QStringLiteral("Cursor changed : %1"),
         shown,
         {},
         notify(&GUIManager::showCursorChanged)},
        {key("gui/displayOffMin"),
         QStringLiteral("Display OFF interval changed : %1 min(s)"),
         {},
         {},
         notify(&GUIManager::displayOffMinChanged)},
        {key("gui/shutdownDelaySec"),
         QStringLiteral("Shutdown delay changed : %1 sec(s)"),
         {},
         [this](const QVariant&) { updateBoardShutdownDelay(); },
         notify(&GUIManager::shutdownDelaySecChanged)},
        {key("gui/locale"),
         QString(),
         {},
         [this](const QVariant& value) { setLanguage(value.toString()); },
         {}},
        {key("gui/showErrorDesc"), QStringLiteral("Show Error description changed : %1"), yesNo,
         [this](const QVariant&) { setMessage(validatorReason()); },
         notify(&GUIManager::showErrorDescChanged)},
        {key("gui/screenSaverBg"),
         QStringLiteral("Screen-saver background changed : %1"),
         {},
         {},
         notify(&GUIManager::screenSaverBgChanged)},
        {key("gui/screenSaverImg"),
         QStringLiteral("Screen-saver image changed : %1"),
         {},
         {},
         notify(&GUIManager::screenSaverImgChanged)},
        {key("gui/animSwitchSec"),
         QStringLiteral("GIFs animation changed : %1 msec(s)"),
         {},
         [this](const QVariant&) { warnOnShortAnimSwitch(); },
         notify(&GUIManager::animSwitchSecChanged)},
        {QRegularExpression(QStringLiteral("log\\/.+")),
         QStringLiteral("Log configuration changed. Applying."),
         {},
         [this](const QVariant&) { initLog(); },
         {}},
        {QRegularExpression(QStringLiteral("mqtt\\/.+")),
         QStringLiteral("MQTT configuration changed. Applying."),
         {},
         [this](const QVariant&) { initMqtt(); },
         {}},
    };
}
