#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>

#include "ServiceChannel.h"

namespace manager {

class MqttClient;

// The software update service as the technician sees it: installed and pending
// version, a check for a new version, its installation, and the download and
// installation progress.
class Update : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(QString current READ current NOTIFY currentChanged)
    Q_PROPERTY(QString pending READ pending NOTIFY pendingChanged)
    Q_PROPERTY(QString progressMessage READ progressMessage NOTIFY progressMessageChanged)
    Q_PROPERTY(int progressPercent READ progressPercent NOTIFY progressPercentChanged)

public:
    // How long a check waits for the service before deciding from what is known.
    static constexpr int kCheckTimeoutMsec = 5000;

    Update(MqttClient& client, const QString& baseTopic, QObject* parent = nullptr);

    QString status() const { return m_status; }
    QString current() const { return m_current; }
    QString pending() const { return m_pending; }
    QString progressMessage() const { return m_progressMessage; }
    int progressPercent() const { return m_progressPercent; }

public slots:
    void refresh();
    void check();
    void install();

signals:
    void statusChanged();
    void currentChanged();
    void pendingChanged();
    void progressMessageChanged();
    void progressPercentChanged();

private slots:
    void checkTimerExpired();
    void onMqttDisconnected();

private:
    void onMqttReceived(const QByteArray& payload, const QByteArray& topic);
    void onStatusReceived(const QJsonObject& message, const QString& topic);
    void onSoftwareStatusReceived(const QJsonObject& message, const QString& topic);
    void onProgressReceived(const QJsonObject& message, const QString& topic);
    void setStatusFromPending();

    void setStatus(const QString& value);
    void setCurrent(const QString& value);
    void setPending(const QString& value);
    void setProgressMessage(const QString& value);
    void setProgressPercent(int value);

    ServiceChannel m_channel;  // shared client and base topic
    QString m_status;
    QString m_current;
    QString m_pending;
    QString m_progressMessage;
    int m_progressPercent = 0;
    QTimer m_checkTimer;
};

}  // namespace manager
