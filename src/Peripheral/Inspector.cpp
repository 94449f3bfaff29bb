#include "Inspector.h"

#include <QJsonValue>
#include <limits>

#include "MqttClient.h"

namespace manager {

namespace {

const char* const kTag = "[Inspector] ";

// The longest delay a timer can count, in whole seconds.
constexpr int kMaxShutdownDelaySec = std::numeric_limits<int>::max() / 1000;

}  // namespace

Inspector::Inspector(MqttClient& client, const QString& baseTopic, QObject* parent)
    : QObject(parent),
      m_channel(client, baseTopic,
                ServiceChannel::Options().withTag(kTag).withEmptyPayload(
                    ServiceChannel::EmptyPayload::AsEmptyObject)) {
    connect(&client, &MqttClient::received, this, &Inspector::onMqttReceived);
    connect(&client, &MqttClient::connected, this, &Inspector::refresh);
    connect(&m_timer, &QTimer::timeout, this, &Inspector::refresh);
    m_shutdownTimer.setSingleShot(true);
    connect(&m_shutdownTimer, &QTimer::timeout, this, &Inspector::systemShutdown);

    using namespace std::placeholders;
    m_channel.route(QStringLiteral("/info"), std::bind(&Inspector::onInfoReceived, this, _1, _2));
    m_channel.route(QStringLiteral("/status"),
                    std::bind(&Inspector::onStatusReceived, this, _1, _2));
    m_channel.route(QStringLiteral("/audio"), std::bind(&Inspector::onAudioReceived, this, _1, _2));
    // Statistics are subscribed to and asked for, but nothing here reads them.
    m_channel.routeContains(baseTopic + QStringLiteral("/stats"),
                            [](const QJsonObject&, const QString&) {});

    subscribe();
}

void Inspector::subscribe() {
    m_channel.info() << "Subscribing to topics";
    m_channel.subscribe({QStringLiteral("/info"), QStringLiteral("/status"),
                         QStringLiteral("/audio"), QStringLiteral("/stats/cpu"),
                         QStringLiteral("/stats/memory"), QStringLiteral("/stats/disk")});
}

void Inspector::onMqttReceived(const QByteArray& payload, const QByteArray& topic) {
    m_channel.receive(payload, topic);
}

int Inspector::audioVolume() const {
    return m_audio.value(QStringLiteral("internal")).toInt();
}

void Inspector::setStatus(const QString& value) {
    if (m_status == value) {
        return;
    }
    m_channel.info() << "Status changed : " << value;
    m_status = value;
    emit statusChanged();
}

// --- messages from the service ---------------------------------------------------

void Inspector::onStatusReceived(const QJsonObject& message, const QString& topic) {
    m_channel.info() << "Processing status topic " << topic;
    setStatus(message.value(QStringLiteral("service")).toBool() ? QStringLiteral("online")
                                                                : QStringLiteral("offline"));
}

void Inspector::onInfoReceived(const QJsonObject& message, const QString& topic) {
    m_channel.info() << "Processing info topic " << topic;
    m_info.insert(QStringLiteral("version"), message.value(QStringLiteral("service"))
                                                 .toObject()
                                                 .value(QStringLiteral("version"))
                                                 .toString());
    emit infoChanged();
}

void Inspector::onAudioReceived(const QJsonObject& message, const QString& /*topic*/) {
    const int volume = message.value(QStringLiteral("internal"))
                           .toObject()
                           .value(QStringLiteral("volume"))
                           .toInt();
    if (volume != audioVolume()) {
        m_audio.insert(QStringLiteral("internal"), volume);
        emit audioVolumeChanged();
    }
}

// --- requests to the service -----------------------------------------------------

void Inspector::refresh() {
    m_channel.info() << "Refreshing data";
    const QByteArray empty = QByteArrayLiteral("{}");
    m_channel.publishRaw(QStringLiteral("/audio/get"), empty);
    m_channel.publishRaw(QStringLiteral("/stats/memory/get"), empty);
    m_channel.publishRaw(QStringLiteral("/stats/disk/get"), empty);
    m_channel.publishRaw(QStringLiteral("/stats/cpu/get"), empty);
}

void Inspector::monitor(int msec) {
    m_channel.monitor(m_timer, msec, [this] { refresh(); });
}

void Inspector::setAudioVolume(int value) {
    m_channel.info() << "Setting 'internal' audio volume : " << value << "%";
    m_channel.publish(
        QStringLiteral("/audio/set"),
        QJsonObject{{QStringLiteral("internal"), QJsonObject{{QStringLiteral("volume"), value}}}});
}

void Inspector::audioPlay(QString file) {
    m_channel.info() << "Playing audio file (card='internal') : " << file;
    m_channel.publish(QStringLiteral("/audio/play"),
                      QJsonObject{{QStringLiteral("device"), QStringLiteral("internal")},
                                  {QStringLiteral("filepath"), file}});
}

void Inspector::systemReboot() {
    m_channel.info() << "Requesting System reboot";
    emit systemRebootStarted();
    QTimer::singleShot(kPowerRequestPauseMsec, Qt::CoarseTimer, this, [this] {
        m_channel.publishRaw(QStringLiteral("/power/reboot/request/1"), QByteArray());
    });
}

void Inspector::systemShutdown() {
    m_channel.info() << "Requesting System shutdown";
    emit systemShutdownStarted();
    QTimer::singleShot(kPowerRequestPauseMsec, Qt::CoarseTimer, this, [this] {
        m_channel.publishRaw(QStringLiteral("/power/shutdown/request/1"), QByteArray());
    });
}

void Inspector::scheduleShutdown(int sec) {
    m_channel.info() << "Scheduling System shutdown in : " << sec << " sec(s)";
    if (sec < 0) {
        // A negative delay is a broken setting, not a request to power off now.
        m_channel.warning() << "WARN: Ignoring negative shutdown delay : " << sec << " sec(s)";
        return;
    }
    if (sec > kMaxShutdownDelaySec) {
        // Counted in milliseconds the delay would overflow and could fire at once.
        m_channel.warning() << "WARN: Shutdown delay too long, shortened to : "
                            << kMaxShutdownDelaySec << " sec(s)";
        sec = kMaxShutdownDelaySec;
    }
    m_shutdownTimer.setSingleShot(true);
    m_shutdownTimer.start(sec * 1000);
}

void Inspector::abortShutdown() {
    m_channel.info() << "Aborting System shutdown";
    m_shutdownTimer.stop();
}

}  // namespace manager
