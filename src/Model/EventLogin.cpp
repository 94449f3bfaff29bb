#include "EventLogin.h"

#include <QDebug>

#include "User.h"

EventLogin::EventLogin(const User* user, QObject* parent) : Event(parent) {
    const QDateTime now = QDateTime::currentDateTime();
    QString id;
    QString name;
    QString surname;
    if (user) {
        id = QString::number(user->id);
        name = user->name;
        surname = user->surname;
    } else {
        qWarning() << "[EventLogin] "
                   << "WARN: Login event without a user";
    }
    setFields(QStringLiteral("General"), QStringLiteral("Maintenance login"),
              QStringLiteral("User ID : %1\nFirst name : %2\nLast name : %3\nDate : %4")
                  .arg(id, name, surname, now.toString(Qt::TextDate)),
              now);
}
