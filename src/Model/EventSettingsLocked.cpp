#include "EventSettingsLocked.h"

EventSettingsLocked::EventSettingsLocked(int failures, int waitSec, QObject* parent)
    : Event(parent) {
    const QDateTime now = QDateTime::currentDateTime();
    setFields(QStringLiteral("General"), QStringLiteral("Settings locked"),
              QStringLiteral("Wrong PINs : %1\nWait : %2 s\nDate : %3")
                  .arg(failures)
                  .arg(waitSec)
                  .arg(now.toString(Qt::TextDate)),
              now);
}
