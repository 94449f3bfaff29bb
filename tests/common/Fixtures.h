#pragma once

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QtGlobal>

// A file of the source tree. A missing file is a broken checkout: say so and return
// nothing.
inline QByteArray sourceFile(const QString& path) {
    QFile file(qEnvironmentVariable("QUELLAN_SOURCE_DIR") + QLatin1Char('/') + path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("Missing source file %s", qPrintable(file.fileName()));
        return QByteArray();
    }
    return file.readAll();
}

// The services' example messages under examples/messages/<service>/, which the device
// simulator sends too.
inline QByteArray fixture(const QString& path) {
    return sourceFile(QStringLiteral("examples/messages/") + path);
}

// Files only the tests use, under tests/fixtures/ (the clock's timedatectl outputs).
inline QByteArray testFile(const QString& path) {
    return sourceFile(QStringLiteral("tests/fixtures/") + path);
}

// The validator service's examples, under examples/messages/validator/.
inline QByteArray validatorFixtureBytes(const QString& name) {
    return fixture(QStringLiteral("validator/") + name + QStringLiteral(".json"));
}

inline QJsonObject validatorFixture(const QString& name) {
    return QJsonDocument::fromJson(validatorFixtureBytes(name)).object();
}
