#include "BoardService.h"

#include "ExampleMessages.h"

namespace devsim {

BoardService::BoardService(manager::MqttClient& client, const QString& baseTopic, QObject* parent)
    : SimulatedService(client, baseTopic, parent),
      m_info(exampleMessage(QStringLiteral("board/info"))),
      m_status(exampleMessage(QStringLiteral("board/status"))),
      m_display(exampleMessage(QStringLiteral("board/display"))),
      m_power(exampleMessage(QStringLiteral("board/power"))),
      m_audio(exampleMessage(QStringLiteral("board/audio-unmuted"))),
      m_config(exampleMessage(QStringLiteral("board/config"))) {
    addReport(QStringLiteral("/info"), &m_info);
    addReport(QStringLiteral("/status"), &m_status);
    addReport(QStringLiteral("/config"), &m_config);
    addReport(QStringLiteral("/display"), &m_display);
    addReport(QStringLiteral("/power"), &m_power);
    addReport(QStringLiteral("/audio"), &m_audio);
}

void BoardService::subscribe() {
    listenForReports();
    for (const char* suffix :
         {"/config/set", "/display/set", "/power/set", "/audio/set", "/led/play/request/1",
          "/led/off/request/1", "/buzzer/play/request/1"}) {
        listen(QLatin1String(suffix));
    }
}

bool BoardService::handle(const QString& topic, const QByteArray& payload) {
    if (!topic.startsWith(m_base + QLatin1Char('/'))) {
        return false;
    }
    const QString suffix = topic.mid(m_base.size());
    if (answerGet(suffix)) {
        return true;
    }
    if (suffix == QLatin1String("/led/off/request/1")) {
        log(QStringLiteral("LEDs off"));
    } else if (suffix == QLatin1String("/led/play/request/1") ||
               suffix == QLatin1String("/buzzer/play/request/1")) {
        QJsonObject pattern;
        if (parseRequest(topic, payload, &pattern)) {
            log(QStringLiteral("%1 pattern played")
                    .arg(suffix.startsWith("/led") ? "LED" : "Buzzer"));
        }
    } else if (suffix.endsWith(QLatin1String("/set"))) {
        QJsonObject request;
        if (!parseRequest(topic, payload, &request)) {
            return true;
        }
        if (suffix == QLatin1String("/config/set")) {
            const QJsonValue delay = request.value(QStringLiteral("device"))
                                         .toObject()
                                         .value(QStringLiteral("delayShutdownFor"));
            if (!delay.isDouble() || delay.toInt(-1) < 0) {
                log(QStringLiteral("WARN: shutdown delay dropped: not a number of seconds from 0"));
                return true;
            }
            QJsonObject device = m_config.value(QStringLiteral("device")).toObject();
            device.insert(QStringLiteral("delayShutdownFor"), delay.toInt());
            m_config.insert(QStringLiteral("device"), device);
            log(QStringLiteral("Shutdown delay set to %1 s").arg(delay.toInt()));
            report(QStringLiteral("/config"), m_config);
        } else if (suffix == QLatin1String("/display/set")) {
            const QJsonValue brightness = request.value(QStringLiteral("brightness"));
            const QJsonValue mode = request.value(QStringLiteral("mode"));
            if (brightness.isDouble()) {
                const int value = qBound(0, brightness.toInt(), 100);
                m_display.insert(QStringLiteral("brightness"), value);
                log(QStringLiteral("Brightness set to %1%").arg(value));
            }
            if (mode == QJsonValue(QStringLiteral("auto")) ||
                mode == QJsonValue(QStringLiteral("manual"))) {
                m_display.insert(QStringLiteral("mode"), mode);
                log(QStringLiteral("Brightness mode set to ") + mode.toString());
            } else if (!mode.isUndefined()) {
                log(QStringLiteral(
                    "WARN: brightness mode dropped: neither \"auto\" nor \"manual\""));
            }
            report(QStringLiteral("/display"), m_display);
        } else if (suffix == QLatin1String("/power/set")) {
            for (auto it = request.constBegin(); it != request.constEnd(); ++it) {
                if (!it.value().isBool()) {
                    log(QStringLiteral("WARN: power of %1 dropped: not true or false")
                            .arg(it.key()));
                    continue;
                }
                m_power.insert(it.key(), it.value());
                log(QStringLiteral("Peripheral %1 powered %2")
                        .arg(it.key(), it.value().toBool() ? "on" : "off"));
            }
            report(QStringLiteral("/power"), m_power);
        } else if (suffix == QLatin1String("/audio/set")) {
            const QJsonValue mute = request.value(QStringLiteral("mute"));
            if (mute.isBool()) {
                m_audio.insert(QStringLiteral("mute"), mute);
                log(QStringLiteral("Audio %1").arg(mute.toBool() ? "muted" : "unmuted"));
            }
            report(QStringLiteral("/audio"), m_audio);
        } else {
            return false;
        }
    } else {
        return false;
    }
    return true;
}

bool BoardService::ignition() const {
    return m_status.value(QStringLiteral("device"))
        .toObject()
        .value(QStringLiteral("ignition"))
        .toBool();
}

void BoardService::setDeviceValue(const QString& key, const QJsonValue& value) {
    QJsonObject device = m_status.value(QStringLiteral("device")).toObject();
    device.insert(key, value);
    m_status.insert(QStringLiteral("device"), device);
    report(QStringLiteral("/status"), m_status);
}

void BoardService::setIgnition(bool on) {
    log(QStringLiteral("Ignition %1").arg(on ? "on" : "off"));
    // The event first, as the controller announces the edge, then the new state.
    sendEventBytes(m_base + QLatin1String("/event"),
                   exampleMessageBytes(on ? QStringLiteral("board/event-ignition-on")
                                          : QStringLiteral("board/event-ignition-off")));
    setDeviceValue(QStringLiteral("ignition"), on);
}

void BoardService::setTemperature(double degrees) {
    log(QStringLiteral("Temperature %1 C").arg(degrees));
    setDeviceValue(QStringLiteral("temperature"), degrees);
}

void BoardService::setVoltage(double volts) {
    log(QStringLiteral("Voltage %1 V").arg(volts));
    setDeviceValue(QStringLiteral("voltage"), volts);
}

}  // namespace devsim
