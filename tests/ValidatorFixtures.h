#pragma once

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QtGlobal>

// Example messages of the validator service, kept as JSON files under
// tests/fixtures/validator so that the device simulator can send the same ones.
inline QByteArray validatorFixtureBytes(const QString& name) {
    QFile file(qEnvironmentVariable("QUELLAN_SOURCE_DIR") +
               QStringLiteral("/tests/fixtures/validator/") + name + QStringLiteral(".json"));
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "Fixture not readable:" << file.fileName();
        return QByteArray();
    }
    return file.readAll();
}

inline QJsonObject validatorFixture(const QString& name) {
    return QJsonDocument::fromJson(validatorFixtureBytes(name)).object();
}
