#include "AppFixture.h"

#include <QFile>

AppFixture::AppFixture(const QVariantMap& overrides, bool withDeviceId, const QString& configFolder,
                       LoginThrottle::Clock clock) {
    if (!m_broker.start()) {
        return;
    }
    if (withDeviceId) {
        QFile serial(m_dir.filePath(QStringLiteral("serialnumber")));
        serial.open(QIODevice::WriteOnly);
        serial.write("K12345678\n");
    }
    const QString folder = configFolder.isEmpty() ? m_dir.path() : configFolder;
    m_config = std::make_unique<Config>(folder + QStringLiteral("/gui.conf"), GUIManager::Defaults,
                                        nullptr);
    QVariantMap all{
        {QStringLiteral("mqtt/host"), m_broker.host()},
        {QStringLiteral("mqtt/port"), m_broker.port()},
        {QStringLiteral("log/syslog"), false},
        {QStringLiteral("log/stderr"), true},
        {QStringLiteral("gui/deviceId"), m_dir.filePath(QStringLiteral("serialnumber"))}};
    all.insert(overrides);
    m_config->addOverrides(all);

    if (!m_peer.connect(m_broker.host(), m_broker.port()) ||
        !m_peer.subscribe(QStringLiteral("#"))) {
        return;
    }
    m_gui = std::make_unique<GUIManager>(*m_config, m_dir.filePath(QStringLiteral("events.ini")),
                                         std::move(clock));
    // Connected once the UI has announced itself.
    m_ready =
        waitUntil([this] { return m_peer.count(QStringLiteral("zorv/ui/config")) > 0; }, kAppWait);
}

AppFixture::~AppFixture() {
    m_gui.reset();
    m_peer.disconnect();
}

// A service's state (status, configuration) is retained, as the services publish it: a
// subscription of the UI's that is not yet in force when the fixture is ready still
// hears it (lost, it left a wait timing out on a loaded machine).
bool AppFixture::publish(const QString& topic, const QJsonObject& object) {
    const bool state = topic.endsWith(QLatin1String("/status")) ||
                       topic.endsWith(QLatin1String("/config")) ||
                       topic.endsWith(QLatin1String("/state"));
    return m_peer.publish(topic, QJsonDocument(object).toJson(), 0, state);
}

void AppFixture::validatorStatus(const QJsonObject& status) {
    publish(QStringLiteral("zorv/blm/status"), status);
}

void AppFixture::validatorOnline() {
    validatorStatus(object(R"({"service": true, "device": {"rfid": {"state": 1, "active": true}},
        "state": {"init": false, "hasRfid": true, "hasRoute": true, "hasQr": true, "hasObu": true}})"));
}

void AppFixture::ignition(bool on) {
    QJsonObject device{{QStringLiteral("active"), true}, {QStringLiteral("ignition"), on}};
    publish(QStringLiteral("zorv/board/status"),
            QJsonObject{{QStringLiteral("service"), true}, {QStringLiteral("device"), device}});
}

void AppFixture::scan(const QJsonObject& transaction) {
    publish(QStringLiteral("zorv/blm/rfid/scanned"),
            QJsonObject{{QStringLiteral("transaction"), transaction}});
}

QList<QByteArray> AppFixture::requests(const QString& topic) const {
    QList<QByteArray> out;
    for (const Peer::Message& m : m_peer.messages(topic)) {
        out.append(m.payload);
    }
    return out;
}

QJsonObject AppFixture::object(const QByteArray& json) {
    return QJsonDocument::fromJson(json).object();
}
