#include "FreeVirtualKeyboardPlugin.h"

#include <qpa/qplatforminputcontextfactory_p.h>
#include <QCoreApplication>
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
    // Qt Virtual Keyboard's context loads every extension plug-in installed beside it
    // (Hunspell word prediction, Hangul, Thai, with their libraries) the moment it is
    // made, and Qt has no setting that leaves them out short of building the keyboard
    // without them. The validator's layouts (Greek, English) are plain ones, and what a
    // technician types (a PIN, a serial number, an address, a password) wants no word
    // prediction: the plug-in folders are out of sight while the context is made, which
    // saves loading them at every start. The keyboard's own plug-in is already known
    // to the factory, which keeps the folders it has read.
    const QStringList pluginFolders = QCoreApplication::libraryPaths();
    QCoreApplication::setLibraryPaths({});
    QPlatformInputContext* context = QPlatformInputContextFactory::create(kBackendKey);
    QCoreApplication::setLibraryPaths(pluginFolders);
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
