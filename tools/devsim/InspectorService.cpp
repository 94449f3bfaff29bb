#include "InspectorService.h"

#include "ExampleMessages.h"

namespace devsim {

InspectorService::InspectorService(manager::MqttClient& client, const QString& baseTopic,
                                   QObject* parent)
    : SimulatedService(client, baseTopic, parent),
      m_info(exampleMessage(QStringLiteral("inspector/info"))),
      m_status(exampleMessage(QStringLiteral("inspector/status"))),
      m_audio(exampleMessage(QStringLiteral("inspector/audio"))) {
    addReport(QStringLiteral("/info"), &m_info);
    addReport(QStringLiteral("/status"), &m_status);
    addReport(QStringLiteral("/audio"), &m_audio);
}

void InspectorService::subscribe() {
    listenForReports();
    for (const char* suffix :
         {"/stats/cpu/get", "/stats/memory/get", "/stats/disk/get", "/audio/set", "/audio/play",
          "/power/reboot/request/1", "/power/shutdown/request/1"}) {
        listen(QLatin1String(suffix));
    }
}

bool InspectorService::handle(const QString& topic, const QByteArray& payload) {
    if (!topic.startsWith(m_base + QLatin1Char('/'))) {
        return false;
    }
    const QString suffix = topic.mid(m_base.size());
    if (answerGet(suffix)) {
        return true;
    }
    if (suffix.startsWith(QLatin1String("/stats/")) && suffix.endsWith(QLatin1String("/get"))) {
        const QString which = suffix.mid(7, suffix.size() - 11);  // cpu, memory, disk
        report(QStringLiteral("/stats/") + which,
               exampleMessage(QStringLiteral("inspector/stats-") + which));
    } else if (suffix == QLatin1String("/audio/set")) {
        QJsonObject request;
        if (!parseRequest(topic, payload, &request)) {
            return true;
        }
        const QJsonValue volume =
            request.value(QStringLiteral("internal")).toObject().value(QStringLiteral("volume"));
        if (!volume.isDouble()) {
            log(QStringLiteral("WARN: volume dropped: not a number"));
            return true;
        }
        const int value = qBound(0, volume.toInt(), 100);
        m_audio.insert(QStringLiteral("internal"), QJsonObject{{QStringLiteral("volume"), value}});
        log(QStringLiteral("Volume set to %1%").arg(value));
        report(QStringLiteral("/audio"), m_audio);
    } else if (suffix == QLatin1String("/audio/play")) {
        QJsonObject request;
        if (parseRequest(topic, payload, &request)) {
            const QString file = request.value(QStringLiteral("filepath")).toString();
            m_played << file;
            log(QStringLiteral("Playing ") + file);
        }
    } else if (suffix == QLatin1String("/power/reboot/request/1")) {
        log(QStringLiteral("Reboot requested (not carried out by the simulator)"));
    } else if (suffix == QLatin1String("/power/shutdown/request/1")) {
        log(QStringLiteral("Power-off requested (not carried out by the simulator)"));
    } else {
        return false;
    }
    return true;
}

}  // namespace devsim
