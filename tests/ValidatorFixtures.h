#pragma once

#include "Fixtures.h"

// Example messages of the validator service, kept as JSON files under
// examples/messages/validator so that the device simulator can send the same ones.
inline QByteArray validatorFixtureBytes(const QString& name) {
    return fixture(QStringLiteral("validator/") + name + QStringLiteral(".json"));
}

inline QJsonObject validatorFixture(const QString& name) {
    return QJsonDocument::fromJson(validatorFixtureBytes(name)).object();
}
