#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

#include "User.h"

class Config;

// The technician's settings session: a PIN typed on the login page opens it for
// ten minutes from the last successful login; logout, the timer or the ignition
// going off close it.
class SessionManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool sessionActive READ sessionActive NOTIFY sessionActiveChanged)

public:
    explicit SessionManager(Config& config, QObject* parent = nullptr);

    bool sessionActive() const { return m_activeUser != nullptr; }
    const User* user() const { return m_activeUser; }
    // Milliseconds left in the session, -1 without one.
    int remainingTime() const;

    static constexpr int SessionMs = 600000;

signals:
    void sessionActiveChanged();
    void accessGranted();
    void accessDenied();

public slots:
    void loginRequest(QString pin);
    void logoutRequest();
    void resetTimer();

private slots:
    void loadUsers();
    void onExpired();

private:
    Config& m_config;
    QTimer m_timer;
    const User* m_activeUser = nullptr;
    QVector<User> m_users;
};
