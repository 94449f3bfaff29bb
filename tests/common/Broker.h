#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real mosquitto broker on a free loopback port, private to one test. It can be
// killed and restarted on the same port.
class Broker {
public:
    Broker();
    ~Broker();

    bool start();  // start on the chosen port and wait until it accepts connections
    void kill();   // SIGKILL, as a crash of the broker
    quint16 port() const { return m_port; }
    QString host() const { return QStringLiteral("127.0.0.1"); }

    static quint16 freePort();

private:
    bool launch();

    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};
