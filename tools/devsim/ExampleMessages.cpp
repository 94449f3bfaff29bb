#include "ExampleMessages.h"

#include <QDebug>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>

// Resources of a static library are registered by hand, outside any namespace.
static void initExampleMessages() {
    static const bool done = [] {
        Q_INIT_RESOURCE(devsim_messages);
        return true;
    }();
    Q_UNUSED(done)
}

namespace devsim {

namespace {
const QString Root = QStringLiteral(":/messages/");
}

QByteArray exampleMessageBytes(const QString& name) {
    initExampleMessages();
    QFile file(Root + name + QStringLiteral(".json"));
    if (!file.open(QIODevice::ReadOnly)) {
        qCritical().noquote() << "[devsim] ERROR: example message" << name << "is not compiled in";
        return QByteArray();
    }
    return file.readAll();
}

QJsonObject exampleMessage(const QString& name) {
    const QByteArray bytes = exampleMessageBytes(name);
    if (bytes.isEmpty()) {
        return QJsonObject();
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        qCritical().noquote() << "[devsim] ERROR: example message" << name
                              << "is not a JSON object:" << error.errorString();
        return QJsonObject();
    }
    return document.object();
}

QStringList exampleMessageNames() {
    initExampleMessages();
    QStringList names;
    QDirIterator it(Root, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(QStringLiteral(".json"))) {
            names << path.mid(Root.size(), path.size() - Root.size() - 5);
        }
    }
    names.sort();
    return names;
}

}  // namespace devsim
