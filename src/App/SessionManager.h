#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

#include "LoginThrottle.h"
#include "User.h"

class Config;

// The technician's settings session: a PIN typed on the login page opens it for
// ten minutes from the last successful login; logout, the timer or the ignition
// going off close it. Wrong PINs are throttled (LoginThrottle): while the login
// waits, every entry is refused unchecked.
class SessionManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool sessionActive READ sessionActive NOTIFY sessionActiveChanged)
    Q_PROPERTY(bool locked READ locked NOTIFY lockedChanged)
    Q_PROPERTY(int lockRemaining READ lockRemaining NOTIFY lockRemainingChanged)

public:
    // The throttle's state is kept beside the event store.
    explicit SessionManager(Config& config, QObject* parent = nullptr);
    SessionManager(Config& config, const QString& throttleState,
                   LoginThrottle::Clock clock = LoginThrottle::Clock::system(),
                   QObject* parent = nullptr);

    // The throttle's file beside a given event store.
    static QString throttleStateBeside(const QString& eventStore);

    bool sessionActive() const { return m_activeUser != nullptr; }
    const User* user() const { return m_activeUser; }
    // Milliseconds left in the session, -1 without one.
    int remainingTime() const;

    // True from the wrong PIN that starts a wait until the wait is over.
    bool locked() const { return m_locked; }
    // Whole seconds left of the wait, rounded up; 0 when PINs are checked.
    int lockRemaining() const { return m_lockSeconds; }
    int failedLogins() const { return m_throttle.failures(); }

    static constexpr int SessionMs = 600000;

signals:
    void sessionActiveChanged();
    void accessGranted();
    void accessDenied();
    void lockedChanged();
    void lockRemainingChanged();

public slots:
    void loginRequest(QString pin);
    void logoutRequest();
    void resetTimer();

private slots:
    void loadUsers();
    void onExpired();

private:
    // Brings `locked` and `lockRemaining` up to the throttle's clock.
    void followLock();

    Config& m_config;
    QTimer m_timer;
    const User* m_activeUser = nullptr;
    QVector<User> m_users;
    LoginThrottle m_throttle;
    // Fires when the shown second of the wait changes, and at its end.
    QTimer m_lockTimer;
    bool m_locked = false;
    int m_lockSeconds = 0;
};
