// The QML types the settings-page tests create, registered under the same module
// and version as the GUI manager registers them in the program.
#include <QCoreApplication>
#include <QtQml>

#include "IPv4.h"

namespace {
void registerSettingsPagesTypes() {
    qmlRegisterType<IPv4>("com.zorv.network.ipv4", 1, 0, "IPv4");
}
}  // namespace

Q_COREAPP_STARTUP_FUNCTION(registerSettingsPagesTypes)
