#include "FreeVirtualKeyboardPlugin.h"

#include <qpa/qplatforminputcontextfactory_p.h>
#include <QDebug>

namespace {
const char* const kTag = "[Keyboard] ";
const char* const kEnvironment = "QT_IM_MODULE";
}  // namespace

const char* const FreeVirtualKeyboardPlugin::kKey = "freevirtualkeyboard";
const char* const FreeVirtualKeyboardPlugin::kBackendKey = "qtvirtualkeyboard";

QPlatformInputContext* FreeVirtualKeyboardPlugin::create(const QString& key,
                                                         const QStringList& paramList) {
    Q_UNUSED(paramList)
    if (key.compare(QLatin1String(kKey), Qt::CaseInsensitive) != 0) {
        return nullptr;
    }
    // Qt Virtual Keyboard's plug-in creates its context only while QT_IM_MODULE names
    // it, so name it for this one call and put the previous value back at once: the
    // rest of the program (and any child process) keeps seeing "freevirtualkeyboard".
    const bool wasSet = qEnvironmentVariableIsSet(kEnvironment);
    const QByteArray previous = qgetenv(kEnvironment);
    qputenv(kEnvironment, kBackendKey);
    QPlatformInputContext* context = QPlatformInputContextFactory::create(kBackendKey);
    if (wasSet) {
        qputenv(kEnvironment, previous);
    } else {
        qunsetenv(kEnvironment);
    }
    if (!context) {
        qWarning() << kTag << "WARN: Qt Virtual Keyboard input context not available";
    }
    return context;
}
