#include "Clock.h"

#include <QProcess>
#include <QRegularExpression>

#include "MqttClient.h"

namespace manager {

namespace {

const QString kTool = QStringLiteral("timedatectl");
// timedatectl normally answers at once; a hanging one costs at most this much of
// the GUI thread per call.
constexpr int kWaitMillis = 1000;
// The longest wait for the zone list after reads that ran past theirs.
constexpr int kLongestListWaitMillis = 64000;

void warnNotStarted() {
    qWarning() << "WARN: timedatectl could not be started";
}

void warnNoAnswer(int millis = kWaitMillis) {
    qWarning() << "WARN: timedatectl did not finish within " << millis << " msec(s)";
}

// Runs timedatectl with the arguments as they are, each one a single argument of
// the child (no shell, no splitting at blanks), and returns what it wrote on
// standard output within the wait. A tool that cannot start gives empty output; one
// that is still running after the wait is killed.
QString runTool(const QStringList& arguments) {
    QProcess process;
    process.start(kTool, arguments, QIODevice::ReadWrite);
    if (!process.waitForFinished(kWaitMillis)) {
        if (process.error() == QProcess::FailedToStart) {
            warnNotStarted();
        } else {
            warnNoAnswer();
        }
    }
    const QString output = QString::fromUtf8(process.readAllStandardOutput());
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(kWaitMillis);
    }
    return output;
}

}  // namespace

Clock::Clock(MqttClient& client, const QString& baseTopic, QObject* parent)
    : QObject(parent),
      m_channel(client, baseTopic + QStringLiteral("/clock/ntp"),
                ServiceChannel::Options()
                    .withEmptyPayload(ServiceChannel::EmptyPayload::Rejected)
                    .withRawPayloadLogged()) {
    m_channel.routeContains(
        QStringLiteral("/ntp/status"),
        [this](const QJsonObject& m, const QString& t) { onStatusReceived(m, t); });
    m_channel.routeContains(
        QStringLiteral("/ntp/config"),
        [this](const QJsonObject& m, const QString& t) { onConfigReceived(m, t); });

    // The list is read while the event loop runs: timedatectl asks systemd-timedated,
    // which on a slow board at boot may not answer within the wait. A read that runs
    // past it is ended and asked again, each time with twice the wait (so a board that
    // is slow for longer is still heard, and the log is not flooded), until it answers;
    // the list is signalled then.
    m_listWait.setSingleShot(true);
    m_listWait.setInterval(kWaitMillis);
    connect(&m_listWait, &QTimer::timeout, this, [this] {
        warnNoAnswer(m_listWait.interval());
        m_listWait.setInterval(qMin(2 * m_listWait.interval(), kLongestListWaitMillis));
        m_listReader.kill();  // its end starts the next read
    });
    connect(&m_listReader, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this] {
                // A wait that is over means the read was given up.
                if (!m_listWait.isActive()) {
                    readTimezones();
                    return;
                }
                m_listWait.stop();
                applyTimezones(QString::fromUtf8(m_listReader.readAllStandardOutput()));
            });
    connect(&m_listReader, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            m_listWait.stop();
            warnNotStarted();
            applyTimezones(QString());
        }
    });
    readTimezones();
    connect(&client, &MqttClient::connected, this, &Clock::refresh);
    connect(&client, &MqttClient::received, this, &Clock::onMqttReceived);
    subscribeToTopics();
}

void Clock::subscribeToTopics() {
    m_channel.subscribe({QStringLiteral("/status"), QStringLiteral("/config")});
}

void Clock::onMqttReceived(const QByteArray& payload, const QByteArray& topic) {
    m_channel.receive(payload, topic);
}

Clock::~Clock() {
    // A read still running ends here, without starting another.
    m_listReader.disconnect(this);
    if (m_listReader.state() != QProcess::NotRunning) {
        m_listReader.kill();
        m_listReader.waitForFinished(kWaitMillis);
    }
}

void Clock::readTimezones() {
    m_listReader.start(kTool, {QStringLiteral("--no-pager"), QStringLiteral("list-timezones")},
                       QIODevice::ReadWrite);
    m_listWait.start();
}

void Clock::applyTimezones(const QString& output) {
    // One zone per line; a final line end leaves a last, empty entry.
    m_timezones = output.split(QLatin1Char('\n'), Qt::KeepEmptyParts);
    emit timezonesChanged();
}

QString Clock::readTimezone() const {
    static const QRegularExpression zoneLine(QStringLiteral(R"(Time zone:\s(.+)\s\()"));
    const QRegularExpressionMatch match = zoneLine.match(runTool({QStringLiteral("status")}));
    return match.hasMatch() ? match.captured(1) : QString();
}

void Clock::writeTimezone(const QString& timezone) const {
    runTool({QStringLiteral("set-timezone"), timezone});
}

void Clock::setTimezone(const QString& timezone) {
    // The name travels as one argument, but timedatectl would still read one that
    // begins with a dash as an option of its own; no zone name begins so.
    if (timezone.startsWith(QLatin1Char('-'))) {
        m_channel.warning() << "WARN: Time zone rejected : " << timezone;
        return;
    }
    if (readTimezone() == timezone) {
        return;
    }
    writeTimezone(timezone);
    emit timezoneChanged();
}

void Clock::publishConfig(bool enabled, const QString& server) {
    QJsonObject message;
    message.insert(QStringLiteral("enabled"), enabled);
    message.insert(QStringLiteral("server"), server);
    m_channel.publish(QStringLiteral("/config/set"), message);
}

void Clock::setNtpServer(const QString& server) {
    if (server == m_ntpServer) {
        return;
    }
    // The server changes here when the service reports it back on "/config".
    m_channel.info() << "Setting NTP server : " << server;
    publishConfig(m_ntpEnabled, server);
}

void Clock::setNtpEnabled(bool enabled) {
    if (enabled == m_ntpEnabled) {
        return;
    }
    m_channel.info() << "Setting NTP : " << (enabled ? "enabled" : "disabled");
    publishConfig(enabled, m_ntpServer);
}

void Clock::ntpSync() {
    m_channel.info() << "Requesting NTP sync";
    // Signalled even when already false, so the page shows the request at once.
    m_ntpSynced = false;
    emit ntpSyncedChanged();
    m_channel.publishRaw(QStringLiteral("/sync"), QByteArray());
}

void Clock::refresh() {
    m_channel.info() << "Refreshing Clock status and config";
    m_channel.publishRaw(QStringLiteral("/status/get"), QByteArray());
    m_channel.publishRaw(QStringLiteral("/config/get"), QByteArray());
}

void Clock::applyEnabled(bool enabled) {
    if (assignIfChanged(m_ntpEnabled, enabled)) {
        emit ntpEnabledChanged();
    }
}

void Clock::onStatusReceived(const QJsonObject& message, const QString&) {
    applyEnabled(message.value(QStringLiteral("enabled")).toBool());
    if (assignIfChanged(m_ntpSynced, message.value(QStringLiteral("synced")).toBool())) {
        emit ntpSyncedChanged();
    }
}

void Clock::onConfigReceived(const QJsonObject& message, const QString&) {
    applyEnabled(message.value(QStringLiteral("enabled")).toBool());
    if (assignIfChanged(m_ntpServer, message.value(QStringLiteral("server")).toString())) {
        emit ntpServerChanged();
    }
}

}  // namespace manager
