#pragma once

#include <qpa/qplatforminputcontextplugin_p.h>

// The input method of the touch screen, selected with QT_IM_MODULE=freevirtualkeyboard.
// It hands out the input context of Qt Virtual Keyboard, whose layouts (Greek and
// English among them) the QML pages show through QtQuick.FreeVirtualKeyboard's
// InputPanel.
class FreeVirtualKeyboardPlugin : public QPlatformInputContextPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QPlatformInputContextFactoryInterface_iid FILE "freevirtualkeyboard.json")

public:
    static const char* const kKey;
    static const char* const kBackendKey;

    QPlatformInputContext* create(const QString& key, const QStringList& paramList) override;
};
