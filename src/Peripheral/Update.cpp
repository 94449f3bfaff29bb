#include "Update.h"

#include <QJsonValue>

#include "MqttClient.h"

namespace manager {

namespace {

const char* const kTag = "[Update] ";

const QString kDisconnected = QStringLiteral("Disconnected");
const QString kChecking = QStringLiteral("Checking for updates");
const QString kNoPending = QStringLiteral("No pending updates");
const QString kReady = QStringLiteral("Ready to install");
const QString kDownloading = QStringLiteral("Downloading");
const QString kInstalling = QStringLiteral("Installing");

}  // namespace

Update::Update(MqttClient& client, const QString& baseTopic, QObject* parent)
    : QObject(parent),
      m_channel(client, baseTopic,
                ServiceChannel::Options().withTag(kTag).withEmptyPayload(
                    ServiceChannel::EmptyPayload::Tolerated)),
      m_status(kDisconnected) {
    m_checkTimer.setSingleShot(true);
    m_checkTimer.setInterval(kCheckTimeoutMsec);

    connect(&client, &MqttClient::received, this, &Update::onMqttReceived);
    connect(&client, &MqttClient::connected, this, &Update::refresh);
    connect(&client, &MqttClient::disconnected, this, &Update::onMqttDisconnected);
    connect(&m_checkTimer, &QTimer::timeout, this, &Update::checkTimerExpired);

    using namespace std::placeholders;
    m_channel.route(QStringLiteral("/status"), std::bind(&Update::onStatusReceived, this, _1, _2));
    m_channel.route(QStringLiteral("/update/software/status"),
                    std::bind(&Update::onSoftwareStatusReceived, this, _1, _2));
    // The services publish their progress under both spellings.
    m_channel.route(QStringLiteral("/update/software/progress"),
                    std::bind(&Update::onProgressReceived, this, _1, _2));
    m_channel.route(QStringLiteral("/update/software/progess"),
                    std::bind(&Update::onProgressReceived, this, _1, _2));

    m_channel.subscribe({QStringLiteral("/status"), QStringLiteral("/update/software/status"),
                         QStringLiteral("/update/software/progress"),
                         QStringLiteral("/update/software/progess")});
}

void Update::onMqttReceived(const QByteArray& payload, const QByteArray& topic) {
    m_channel.receive(payload, topic);
}

// --- setters: store and signal only on a difference --------------------------------

void Update::setStatus(const QString& value) {
    if (assignIfChanged(m_status, value)) {
        emit statusChanged();
    }
}

void Update::setCurrent(const QString& value) {
    if (assignIfChanged(m_current, value)) {
        emit currentChanged();
    }
}

void Update::setPending(const QString& value) {
    if (assignIfChanged(m_pending, value)) {
        emit pendingChanged();
    }
}

void Update::setProgressMessage(const QString& value) {
    if (assignIfChanged(m_progressMessage, value)) {
        emit progressMessageChanged();
    }
}

void Update::setProgressPercent(int value) {
    if (assignIfChanged(m_progressPercent, value)) {
        emit progressPercentChanged();
    }
}

void Update::setStatusFromPending() {
    setStatus(m_pending.isEmpty() ? kNoPending : kReady);
}

// --- messages from the service ---------------------------------------------------

void Update::onStatusReceived(const QJsonObject& message, const QString& /*topic*/) {
    // "software" is the installed version as text, or an object with both versions.
    const QJsonValue software =
        message.value(QStringLiteral("update")).toObject().value(QStringLiteral("software"));
    if (software.isString()) {
        setCurrent(software.toString());
    } else if (software.isObject()) {
        const QJsonObject versions = software.toObject();
        setCurrent(versions.value(QStringLiteral("current")).toString());
        setPending(versions.value(QStringLiteral("pending")).toString());
    }
    setStatusFromPending();
    setProgressMessage(QStringLiteral("Idle"));
    setProgressPercent(0);
}

void Update::onSoftwareStatusReceived(const QJsonObject& message, const QString& /*topic*/) {
    setCurrent(message.value(QStringLiteral("current")).toString());
    setPending(message.value(QStringLiteral("pending")).toString());
}

void Update::onProgressReceived(const QJsonObject& message, const QString& /*topic*/) {
    setProgressMessage(message.value(QStringLiteral("message")).toString());
    setProgressPercent(message.value(QStringLiteral("progress")).toInt());
    setPending(message.value(QStringLiteral("version")).toString());
    m_checkTimer.stop();
    // Download messages show the amount as "done/total"; install messages do not.
    setStatus(m_progressMessage.contains(QLatin1Char('/')) ? kDownloading : kInstalling);
}

void Update::onMqttDisconnected() {
    setStatus(kDisconnected);
}

// --- requests to the service -----------------------------------------------------

void Update::refresh() {
    m_channel.publishRaw(QStringLiteral("/status/get"), QByteArray());
}

void Update::check() {
    m_channel.info() << "Checking for updates";
    setStatus(kChecking);
    m_checkTimer.setSingleShot(true);
    m_checkTimer.start(kCheckTimeoutMsec);
    m_channel.publishRaw(QStringLiteral("/software/check"), QByteArray());
}

void Update::checkTimerExpired() {
    m_channel.info() << "No pedning updates";
    setStatusFromPending();
}

void Update::install() {
    if (m_pending.isEmpty()) {
        m_channel.warning() << "WARN: Cannot install. There are no pending versions";
        return;
    }
    m_channel.info() << "Installing pending update : " << m_pending;
    m_channel.publishRaw(QStringLiteral("/update/software/install"), QByteArray());
}

}  // namespace manager
