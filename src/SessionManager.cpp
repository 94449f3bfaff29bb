#include "SessionManager.h"

#include <QDebug>

#include "Config.h"

namespace {
const char* const TAG = "[SessionManager] ";
}

SessionManager::SessionManager(Config& config, QObject* parent)
    : QObject(parent), m_config(config), m_timer(this) {
    m_timer.setObjectName(QStringLiteral("sessionTimer"));
    m_timer.setSingleShot(true);
    m_timer.setInterval(SessionMs);
    connect(&m_timer, &QTimer::timeout, this, &SessionManager::onExpired);
    connect(&m_config, &Config::configChanged, this, &SessionManager::loadUsers);
    loadUsers();
}

int SessionManager::remainingTime() const {
    return m_timer.isActive() ? m_timer.remainingTime() : -1;
}

void SessionManager::loadUsers() {
    // The table is rebuilt in fresh storage; the active user moves to the record
    // at the same position, so the session survives a PIN change.
    const int activeIndex = m_activeUser ? int(m_activeUser - m_users.constData()) : -1;

    QVector<User> users;
    users.append(User{0, QStringLiteral("ZORV"), QStringLiteral("Admin"),
                      m_config.get(QStringLiteral("gui/settingsPin")).toString()});
    m_users.swap(users);

    if (activeIndex < 0) {
        return;
    }
    if (activeIndex < m_users.size()) {
        m_activeUser = &m_users.at(activeIndex);
        return;
    }
    // The user is gone from the table: the session cannot go on.
    qWarning() << TAG << "WARN: Active user removed, session closed";
    m_activeUser = nullptr;
    m_timer.stop();
    emit sessionActiveChanged();
}

void SessionManager::loginRequest(QString pin) {
    qInfo() << TAG << "Login requested with PIN";
    // Only its length: a correct entry is the settings PIN itself.
    qDebug() << TAG << "Entered PIN    : " << QString(pin.size(), QLatin1Char('*'));

    const User* found = nullptr;
    for (const User& user : qAsConst(m_users)) {
        if (user.pin == pin) {
            found = &user;
            break;
        }
    }
    if (!found) {
        qWarning() << TAG << "WARN: User entered wrong pin";
        emit accessDenied();
        return;
    }

    m_timer.setSingleShot(true);
    m_timer.start(SessionMs);
    m_activeUser = found;
    qInfo() << TAG << "User logged-in : " << found->name << ", " << found->surname;
    emit accessGranted();
    emit sessionActiveChanged();
}

void SessionManager::logoutRequest() {
    if (!m_activeUser) {
        return;
    }
    qInfo() << TAG << "User logged-out : " << m_activeUser->name << ", " << m_activeUser->surname;
    m_timer.stop();
    m_activeUser = nullptr;
    emit sessionActiveChanged();
}

void SessionManager::resetTimer() {
    // Without a session there is nothing to keep alive, and a running timer would
    // only report an expiry that never was.
    if (!m_activeUser) {
        return;
    }
    m_timer.start(SessionMs);
}

void SessionManager::onExpired() {
    qWarning() << TAG << "Session expired";
    logoutRequest();
}
