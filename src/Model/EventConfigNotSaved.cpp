#include "EventConfigNotSaved.h"

EventConfigNotSaved::EventConfigNotSaved(const QStringList& keys, const QString& reason,
                                         QObject* parent)
    : Event(parent) {
    const QDateTime now = QDateTime::currentDateTime();
    setFields(QStringLiteral("General"), QStringLiteral("Configuration not saved"),
              QStringLiteral("Keys : %1\nReason : %2\nDate : %3")
                  .arg(keys.join(QStringLiteral(", ")), reason, now.toString(Qt::TextDate)),
              now);
}
