#include "SerialNumberFile.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QDebug>
#include <QFile>
#include <QTextStream>

#include "Config.h"

namespace {
const char* const TAG = "[GUIManager] ";
}  // namespace

SerialNumberFile::SerialNumberFile(const Config& config, QObject* parent)
    : QObject(parent), m_config(config), m_retry(this) {
    m_retry.setObjectName(QStringLiteral("retryTimer"));
    m_retry.setInterval(RetryMillis);
    connect(&m_retry, &QTimer::timeout, this, &SerialNumberFile::onRetry);
}

QString SerialNumberFile::path() const {
    return m_config.get(QStringLiteral("gui/deviceId")).toString();
}

void SerialNumberFile::load() {
    const QString file = path();
    qInfo() << TAG << "Loading device id from : " << file;
    QString error;
    if (!read(file, &error)) {
        qCritical() << TAG << "ERROR: Could not load device S/N from file : " << file << " ("
                    << error << ")";
    }
    if (m_known.isEmpty()) {
        m_retry.start();
    }
}

bool SerialNumberFile::read(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = file.errorString();
        return false;
    }
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (!line.isEmpty()) {
            m_known = line;
            emit found(line);
            break;
        }
    }
    return true;
}

void SerialNumberFile::onRetry() {
    if (!m_known.isEmpty()) {
        m_retry.stop();
        return;
    }
    QString error;
    if (!read(path(), &error) || m_known.isEmpty()) {
        return;
    }
    qInfo() << TAG << "Device id found in : " << path();
    m_retry.stop();
}

void SerialNumberFile::save(const QString& id) {
    m_known = id;
    const QString file = path();
    qInfo() << TAG << "Saving device id to : " << file;
    // Written in place: the unit may write this one file but not its folder, so no
    // replace by rename. The number is synced before the page reports it saved, so a
    // board switched off right after the first start still has it.
    QFile out(file);
    const QByteArray bytes = id.toUtf8();
    const bool saved = out.open(QIODevice::ReadWrite | QIODevice::Truncate) &&
                       out.write(bytes) == bytes.size() && out.flush() &&
                       ::fsync(out.handle()) == 0;
    if (!saved) {
        const QString error = out.error() != QFileDevice::NoError
                                  ? out.errorString()
                                  : QString::fromLocal8Bit(strerror(errno));
        qCritical() << TAG << "ERROR: Could not save device S/N to file : " << file << " (" << error
                    << ")";
        emit saveFailed(error);
    }
}
