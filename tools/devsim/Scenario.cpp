#include "Scenario.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSet>

namespace devsim {

bool Scenario::parse(const QByteArray& text, Scenario* scenario, QString* error) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        const QByteArray before = text.left(parseError.offset);
        const int line = before.count('\n') + 1;
        const int column = parseError.offset - (before.lastIndexOf('\n') + 1) + 1;
        *error = QStringLiteral("line %1, column %2: not valid JSON (%3)")
                     .arg(line)
                     .arg(column)
                     .arg(parseError.errorString());
        return false;
    }
    if (!document.isObject()) {
        *error = QStringLiteral("a scenario is a JSON object with a \"steps\" list");
        return false;
    }
    const QJsonObject root = document.object();
    for (auto it = root.constBegin(); it != root.constEnd(); ++it) {
        if (it.key() != QLatin1String("steps") && it.key() != QLatin1String("loop") &&
            it.key() != QLatin1String("name")) {
            *error = QStringLiteral("unknown key \"%1\" (known: name, loop, steps)").arg(it.key());
            return false;
        }
    }
    const QJsonValue loop = root.value(QStringLiteral("loop"));
    if (!loop.isUndefined() && !loop.isBool()) {
        *error = QStringLiteral("\"loop\" must be true or false");
        return false;
    }
    const QJsonValue stepsValue = root.value(QStringLiteral("steps"));
    if (!stepsValue.isArray() || stepsValue.toArray().isEmpty()) {
        *error = QStringLiteral("\"steps\" must be a list of at least one step");
        return false;
    }

    Scenario result;
    result.loop = loop.toBool();
    const QJsonArray steps = stepsValue.toArray();
    static const QSet<QString> keys{QStringLiteral("wait"), QStringLiteral("do"),
                                    QStringLiteral("note")};
    for (int i = 0; i < steps.size(); ++i) {
        const QString where = QStringLiteral("step %1: ").arg(i + 1);
        if (!steps.at(i).isObject()) {
            *error = where +
                     QStringLiteral(
                         "a step is an object such as {\"wait\": 1000, \"do\": \"ignition on\"}");
            return false;
        }
        const QJsonObject object = steps.at(i).toObject();
        for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
            if (!keys.contains(it.key())) {
                *error = where +
                         QStringLiteral("unknown key \"%1\" (known: wait, do, note)").arg(it.key());
                return false;
            }
        }
        Step step;
        const QJsonValue wait = object.value(QStringLiteral("wait"));
        if (!wait.isUndefined()) {
            const double millis = wait.toDouble(-1);
            if (!wait.isDouble() || millis < 0 || millis > 86400000 || millis != qint64(millis)) {
                *error = where + QStringLiteral(
                                     "\"wait\" must be a whole number of milliseconds from 0 "
                                     "to 86400000");
                return false;
            }
            step.waitMillis = int(millis);
        }
        const QJsonValue command = object.value(QStringLiteral("do"));
        if (!command.isString() || command.toString().trimmed().isEmpty()) {
            *error =
                where + QStringLiteral("\"do\" must hold a command such as \"validate epurse\"");
            return false;
        }
        QString commandError;
        step.line = command.toString().trimmed();
        step.command = Command::parse(step.line, &commandError);
        if (!commandError.isEmpty()) {
            *error = where + commandError;
            return false;
        }
        if (step.command.action == Command::None || step.command.action == Command::Help) {
            *error = where + QStringLiteral("\"%1\" does nothing in a scenario").arg(step.line);
            return false;
        }
        step.note = object.value(QStringLiteral("note")).toString();
        result.steps << step;
    }
    *scenario = result;
    return true;
}

bool Scenario::load(const QString& path, Scenario* scenario, QString* error) {
    QFile file(path);
    const QString name = QFileInfo(path).fileName();
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: cannot read: %2").arg(path, file.errorString());
        return false;
    }
    if (!parse(file.readAll(), scenario, error)) {
        *error = name + QStringLiteral(": ") + *error;
        return false;
    }
    return true;
}

}  // namespace devsim
