#pragma once

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QtGlobal>

// The services' example messages under tests/fixtures/<service>/, which the device
// simulator sends too. A missing file is a broken checkout: say so and return nothing.
inline QByteArray fixture(const QString& path) {
    QFile file(qEnvironmentVariable("QUELLAN_SOURCE_DIR") + QStringLiteral("/tests/fixtures/") +
               path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("Missing test fixture %s", qPrintable(file.fileName()));
        return QByteArray();
    }
    return file.readAll();
}
