#include "EventLogout.h"

EventLogout::EventLogout(QObject* parent) : Event(parent) {
    const QDateTime now = QDateTime::currentDateTime();
    setFields(QStringLiteral("General"), QStringLiteral("Maintenance logout"),
              QStringLiteral("Date : %1").arg(now.toString(Qt::TextDate)), now);
}
