#include "ConfigRules.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>

#include "logger.h"

namespace {
const char* const TAG = "[GUIManager] ";
}  // namespace

void ConfigRules::apply(const QVariantMap& changes) const {
    // The broker password and the settings PIN may be among the changes.
    qDebug() << TAG << "Config changed : "
             << manager::maskSecrets(QJsonDocument(QJsonObject::fromVariantMap(changes))
                                         .toJson(QJsonDocument::Compact));

    for (const Rule& rule : m_rules) {
        // The map's keys are in ascending order: the first match is the lowest key.
        auto it = changes.cbegin();
        while (it != changes.cend() && !rule.key.match(it.key()).hasMatch()) {
            ++it;
        }
        if (it == changes.cend()) {
            continue;
        }
        if (!rule.log.isEmpty()) {
            const QString value = rule.words.size() == 2
                                      ? rule.words.at(it.value().toBool() ? 1 : 0)
                                      : manager::loggable(it.key(), it.value()).toString();
            qInfo() << TAG
                    << qUtf8Printable(rule.log.contains(QLatin1String("%1")) ? rule.log.arg(value)
                                                                             : rule.log);
        }
        if (rule.apply) {
            rule.apply(it.value());
        }
        if (rule.notify) {
            rule.notify();
        }
    }
}
