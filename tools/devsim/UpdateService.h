#pragma once

#include <QJsonObject>
#include <QTimer>

#include "SimulatedService.h"

namespace devsim {

// The update service: the installed and the pending software version, a check for
// a new version, and an installation that reports its download and installation
// progress step by step, after which the pending version is the installed one.
class UpdateService : public SimulatedService {
    Q_OBJECT

public:
    UpdateService(manager::MqttClient& client, const QString& deviceBaseTopic, QObject* parent);

    void subscribe() override;
    void publishAll() override;
    bool handle(const QString& topic, const QByteArray& payload) override;

    void setPending(const QString& version);  // empty: no pending version
    void install();
    QString current() const { return m_current; }
    QString pending() const { return m_pending; }
    bool installing() const { return m_step >= 0; }

    static const int StepMillis = 400;

private:
    void publishStatus();
    void publishSoftwareStatus();
    void nextStep();

    QString m_current;
    QString m_pending;
    QString m_nextVersion;  // what a check finds
    QTimer m_stepTimer;
    QTimer m_checkTimer;
    int m_step = -1;
};

}  // namespace devsim
