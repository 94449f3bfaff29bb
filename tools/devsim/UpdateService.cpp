#include "UpdateService.h"

#include "ExampleMessages.h"

namespace devsim {

namespace {
// The installation: downloading in 10 MB pieces of 40 MB, then installing.
const int DownloadSteps = 4;
const int InstallSteps = 3;
}  // namespace

UpdateService::UpdateService(manager::MqttClient& client, const QString& deviceBaseTopic,
                             QObject* parent)
    : SimulatedService(client, deviceBaseTopic, parent) {
    const QJsonObject software = exampleMessage(QStringLiteral("update/software-status"));
    m_current = software.value(QStringLiteral("current")).toString();
    m_nextVersion = software.value(QStringLiteral("pending")).toString();
    m_stepTimer.setInterval(StepMillis);
    connect(&m_stepTimer, &QTimer::timeout, this, &UpdateService::nextStep);
    m_checkTimer.setSingleShot(true);
    m_checkTimer.setInterval(1000);
    connect(&m_checkTimer, &QTimer::timeout, this, [this] {
        if (m_pending.isEmpty() && m_nextVersion != m_current) {
            m_pending = m_nextVersion;
        }
        log(QStringLiteral("Check done: ") +
            (m_pending.isEmpty() ? QStringLiteral("no pending version") : m_pending));
        publishSoftwareStatus();
    });
}

void UpdateService::subscribe() {
    listen(QStringLiteral("/status/get"));
    listen(QStringLiteral("/software/check"));
    listen(QStringLiteral("/update/software/install"));
}

void UpdateService::publishAll() {
    publishStatus();
}

bool UpdateService::handle(const QString& topic, const QByteArray& /*payload*/) {
    if (topic == m_base + QLatin1String("/status/get")) {
        publishStatus();
    } else if (topic == m_base + QLatin1String("/software/check")) {
        log(QStringLiteral("Checking for a new version"));
        m_checkTimer.start();
    } else if (topic == m_base + QLatin1String("/update/software/install")) {
        install();
    } else {
        return false;
    }
    return true;
}

void UpdateService::publishStatus() {
    QJsonObject message;
    if (m_pending.isEmpty()) {
        message = exampleMessage(QStringLiteral("update/status-current"));
        message.insert(QStringLiteral("update"),
                       QJsonObject{{QStringLiteral("software"), m_current}});
    } else {
        message = exampleMessage(QStringLiteral("update/status-pending"));
        message.insert(QStringLiteral("update"),
                       QJsonObject{{QStringLiteral("software"),
                                    QJsonObject{{QStringLiteral("current"), m_current},
                                                {QStringLiteral("pending"), m_pending}}}});
    }
    report(QStringLiteral("/status"), message);
}

void UpdateService::publishSoftwareStatus() {
    QJsonObject message = exampleMessage(QStringLiteral("update/software-status"));
    message.insert(QStringLiteral("current"), m_current);
    message.insert(QStringLiteral("pending"), m_pending);
    report(QStringLiteral("/update/software/status"), message);
}

void UpdateService::setPending(const QString& version) {
    m_pending = version;
    if (!version.isEmpty()) {
        m_nextVersion = version;
    }
    log(version.isEmpty() ? QStringLiteral("No pending version")
                          : QStringLiteral("Version %1 is ready to install").arg(version));
    publishSoftwareStatus();
    publishStatus();
}

void UpdateService::install() {
    if (m_pending.isEmpty()) {
        log(QStringLiteral("WARN: install requested but no version is pending"));
        return;
    }
    if (installing()) {
        log(QStringLiteral("WARN: install requested while installing; ignored"));
        return;
    }
    log(QStringLiteral("Installing ") + m_pending);
    m_step = 0;
    nextStep();
    m_stepTimer.start();
}

void UpdateService::nextStep() {
    QJsonObject progress;
    if (m_step < DownloadSteps) {
        progress = exampleMessage(QStringLiteral("update/progress-download"));
        const int mb = (m_step + 1) * 10;
        progress.insert(QStringLiteral("message"), QStringLiteral("%1/40 MB").arg(mb));
        progress.insert(QStringLiteral("progress"), mb * 100 / 40);
    } else if (m_step < DownloadSteps + InstallSteps) {
        progress = exampleMessage(QStringLiteral("update/progress-install"));
        progress.insert(QStringLiteral("progress"),
                        (m_step - DownloadSteps + 1) * 100 / InstallSteps);
    } else {
        m_stepTimer.stop();
        m_step = -1;
        m_current = m_pending;
        m_pending.clear();
        log(QStringLiteral("Installed ") + m_current);
        publishSoftwareStatus();
        publishStatus();
        return;
    }
    progress.insert(QStringLiteral("version"), m_pending);
    sendEvent(m_base + QLatin1String("/update/software/progress"), progress);
    ++m_step;
}

}  // namespace devsim
