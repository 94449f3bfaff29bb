#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <QVector>
#include <functional>

// What the GUI manager does when configuration values change while the program runs:
// one table, read in order. A rule applies when its key pattern is found in one of
// the changed keys; it then logs its line, does its work and emits its notify signal.
// Every rule whose key changed applies, each once.
class ConfigRules {
public:
    struct Rule {
        // Searched within each changed key, so "^gui/locale$" names one key and
        // "log/.+" a whole group.
        QRegularExpression key;
        // The log line; "%1" is the new value of the first matching key, as text or,
        // with words given, as the word for false or for true.
        QString log;
        QStringList words;
        std::function<void(const QVariant&)> apply;
        std::function<void()> notify;
    };

    explicit ConfigRules(QVector<Rule> rules) : m_rules(std::move(rules)) {}

    // Logs the changes (secret values masked) and applies the rules.
    void apply(const QVariantMap& changes) const;

private:
    QVector<Rule> m_rules;
};
