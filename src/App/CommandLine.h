#pragma once

#include <QVariantMap>

// Turns the arguments of the running application object into configuration
// overrides ("log/level", "mqtt/host", ... and "config" for the file name). Exits the
// process itself for the help and version options (code 0) and for an unknown
// option or a missing value (code 1).
QVariantMap parseCLIArgs();
