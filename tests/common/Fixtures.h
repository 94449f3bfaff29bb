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

inline QJsonObject fixtureObject(const QString& path) {
    return QJsonDocument::fromJson(fixture(path)).object();
}

inline QByteArray compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// A JSON text in the indented form requests are written in (members in ascending
// name order, four blanks of indent, a line end at the end).
inline QByteArray indented(const QByteArray& json) {
    return QJsonDocument::fromJson(json).toJson(QJsonDocument::Indented);
}
