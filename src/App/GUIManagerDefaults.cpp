#include <QString>

#include "GUIManager.h"

// Every configuration key of the front end with its default. The configuration
// store writes all of them into the file when it creates it; values read back from
// the file are text and each reader converts them to the type given here.
const QVariantMap GUIManager::Defaults = {
    {QStringLiteral("log/level"), 2},
    {QStringLiteral("log/syslog"), true},
    {QStringLiteral("log/stderr"), true},
    {QStringLiteral("log/color"), false},
    {QStringLiteral("mqtt/host"), QStringLiteral("localhost")},
    {QStringLiteral("mqtt/port"), 1883},
    {QStringLiteral("mqtt/username"), QString()},
    {QStringLiteral("mqtt/password"), QString()},
    {QStringLiteral("mqtt/base"), QStringLiteral("zorv/ui")},
    {QStringLiteral("gui/settingsPin"), QStringLiteral("8602")},
    {QStringLiteral("gui/showCursor"), true},
    {QStringLiteral("gui/deviceId"), QStringLiteral("/etc/serialnumber")},
    {QStringLiteral("gui/locale"), QStringLiteral("el_GR")},
    {QStringLiteral("gui/displayOffMin"), 3},
    {QStringLiteral("gui/shutdownDelaySec"), 60},
    {QStringLiteral("gui/showErrorDesc"), false},
    {QStringLiteral("gui/screenSaverBg"), QStringLiteral("black")},
    {QStringLiteral("gui/screenSaverImg"), QStringLiteral("qrc:/qml/images/Icons/zorv.png")},
    {QStringLiteral("gui/animSwitchSec"), 0},
    {QStringLiteral("topics/barcode"), QStringLiteral("zorv/barcode")},
    {QStringLiteral("topics/blm"), QStringLiteral("zorv/blm")},
    {QStringLiteral("topics/board"), QStringLiteral("zorv/board")},
    {QStringLiteral("topics/inspector"), QStringLiteral("zorv/inspector")},
    {QStringLiteral("topics/network"), QStringLiteral("zorv/network")},
    {QStringLiteral("topics/device"), QStringLiteral("zorv/device")},
};
