#pragma once

#include <QStringList>

#include "Event.h"

// A configuration change the file could not take (full disk, read-only file system,
// I/O error): the named settings kept their stored values. The values themselves are
// not recorded; one of them may be a secret.
class EventConfigNotSaved : public Event {
    Q_OBJECT

public:
    EventConfigNotSaved(const QStringList& keys, const QString& reason, QObject* parent = nullptr);
};
