#include "Broker.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>

Broker::Broker() : m_port(freePort()) {
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

Broker::~Broker() {
    kill();
}

quint16 Broker::freePort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

bool Broker::start() {
    // Another test running in parallel may take the chosen port between the check and
    // the broker's bind; then this broker exits at once and a new port is tried.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (attempt > 0 || m_port == 0) {
            m_port = freePort();
        }
        if (launch()) {
            return true;
        }
    }
    return false;
}

bool Broker::launch() {
    const QString conf = m_dir.filePath(QStringLiteral("mosquitto.conf"));
    QFile file(conf);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    file.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence false\n")
                   .arg(m_port)
                   .toUtf8());
    file.close();

    QString exe = qEnvironmentVariable("QUELLAN_MOSQUITTO", QStringLiteral("/usr/sbin/mosquitto"));
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.start(exe, {QStringLiteral("-c"), conf});
    if (!m_process.waitForStarted(30000)) {
        return false;
    }
    for (int i = 0; i < 100; ++i) {
        if (m_process.waitForFinished(50)) {
            return false;  // the port was taken
        }
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_port);
        if (probe.waitForConnected(100)) {
            probe.disconnectFromHost();
            // Our broker, not another one on the same port: it is still running.
            return !m_process.waitForFinished(100);
        }
    }
    return false;
}

void Broker::kill() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}
