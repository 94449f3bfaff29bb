#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace devsim {

// The services' example messages, compiled into the simulator from examples/messages
// (the files the managers' tests read), addressed as "<service>/<name>", for
// instance "validator/status-online".
QByteArray exampleMessageBytes(const QString& name);

// The message as a JSON object; a missing or broken file is reported on the log
// and gives an empty object, so the simulator goes on with what it has.
QJsonObject exampleMessage(const QString& name);

// Every name that is compiled in, sorted.
QStringList exampleMessageNames();

}  // namespace devsim
