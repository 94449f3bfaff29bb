#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class Config;

// The device's serial number in its file (path "gui/deviceId"): the first line that
// is not empty. While no serial number is known the file is read again now and then,
// so that a file provisioned later is taken without a restart.
class SerialNumberFile : public QObject {
    Q_OBJECT

public:
    // How often a missing serial number is looked for again.
    static const int RetryMillis = 30000;

    explicit SerialNumberFile(const Config& config, QObject* parent = nullptr);

    // Reads the file; found() when it holds a serial number, the retry when none is
    // known after it.
    void load();
    // Writes id as the file's whole content; saveFailed() with the reason when it
    // cannot. The id counts as known either way.
    void save(const QString& id);

signals:
    // Each time the file is read and holds a serial number, also the same one.
    void found(const QString& id);
    void saveFailed(const QString& error);

private:
    bool read(const QString& path, QString* error);
    void onRetry();
    QString path() const;

    const Config& m_config;
    QString m_known;
    QTimer m_retry;  // "retryTimer"
};
