#include "SessionManager.h"

#include <QDebug>
#include <QFileInfo>

#include "Config.h"
#include "EventManager.h"

namespace {
const char* const TAG = "[SessionManager] ";
}

SessionManager::SessionManager(Config& config, QObject* parent)
    : SessionManager(config, throttleStateBeside(EventManager::defaultStorePath()),
                     LoginThrottle::Clock::system(), parent) {}

SessionManager::SessionManager(Config& config, const QString& throttleState,
                               LoginThrottle::Clock clock, QObject* parent)
    : QObject(parent),
      m_config(config),
      m_timer(this),
      m_throttle(throttleState, std::move(clock)),
      m_lockTimer(this) {
    m_timer.setObjectName(QStringLiteral("sessionTimer"));
    m_timer.setSingleShot(true);
    m_timer.setInterval(SessionMs);
    connect(&m_timer, &QTimer::timeout, this, &SessionManager::onExpired);
    connect(&m_config, &Config::configChanged, this, &SessionManager::loadUsers);
    loadUsers();

    m_lockTimer.setObjectName(QStringLiteral("lockTimer"));
    m_lockTimer.setSingleShot(true);
    connect(&m_lockTimer, &QTimer::timeout, this, &SessionManager::followLock);
    followLock();
}

QString SessionManager::throttleStateBeside(const QString& eventStore) {
    return QFileInfo(eventStore).absolutePath() + QStringLiteral("/login-throttle.json");
}

void SessionManager::followLock() {
    const qint64 remainingMs = m_throttle.remainingMs();
    const bool locked = remainingMs > 0;
    if (locked) {
        // Next when the whole seconds shown drop by one, or the wait ends.
        m_lockTimer.start(int(remainingMs % 1000 ? remainingMs % 1000 : 1000));
    } else {
        m_lockTimer.stop();
        m_throttle.expire();
    }
    // Both values are set before either signal, so each handler reads them together.
    const int seconds = int((remainingMs + 999) / 1000);
    const bool lockChanged = locked != m_locked;
    const bool secondsChanged = seconds != m_lockSeconds;
    m_locked = locked;
    m_lockSeconds = seconds;
    if (lockChanged) {
        if (!locked) {
            qInfo() << TAG << "Settings unlocked";
        }
        emit lockedChanged();
    }
    if (secondsChanged) {
        emit lockRemainingChanged();
    }
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

    // While the login waits, entries are not compared with any PIN: the wait
    // must not tell a guess that is right from one that is wrong.
    followLock();
    if (m_locked) {
        qWarning() << TAG << "WARN: Settings locked, PIN not checked";
        emit accessDenied();
        return;
    }

    const User* found = nullptr;
    for (const User& user : qAsConst(m_users)) {
        if (user.pin == pin) {
            found = &user;
            break;
        }
    }
    if (!found) {
        qWarning() << TAG << "WARN: User entered wrong pin";
        if (m_throttle.fail()) {
            qWarning().noquote() << TAG
                                 << QStringLiteral(
                                        "WARN: Settings locked after %1 wrong PINs for %2 s")
                                        .arg(m_throttle.failures())
                                        .arg(m_throttle.remainingMs() / 1000);
            followLock();
        }
        emit accessDenied();
        return;
    }
    m_throttle.succeed();

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
