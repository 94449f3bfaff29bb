#include "CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDebug>
#include <QString>
#include <QStringList>
#include <cstdlib>

namespace {

// The options the program takes, with the texts --help prints.
struct Options {
    const QCommandLineOption help{QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Print help and exit")};
    const QCommandLineOption version{QStringList{QStringLiteral("V"), QStringLiteral("version")},
                                     QStringLiteral("Print version and exit")};
    const QCommandLineOption verbose{
        QStringList{QStringLiteral("v"), QStringLiteral("verbose")},
        QStringLiteral("Set log level: 0=err, 1=warn, 2=info(dfl), 3=dbg"),
        QStringLiteral("level")};
    const QCommandLineOption toStderr{QStringList{QStringLiteral("e"), QStringLiteral("stderr")},
                                      QStringLiteral("Print messages to stderr, not just syslog")};
    const QCommandLineOption color{QStringList{QStringLiteral("c"), QStringLiteral("color")},
                                   QStringLiteral("Print messages in color.")};
    const QCommandLineOption config{QStringList{QStringLiteral("f"), QStringLiteral("config")},
                                    QStringLiteral("Set configuration file"),
                                    QStringLiteral("filename")};
    const QCommandLineOption host{QStringList{QStringLiteral("H"), QStringLiteral("host")},
                                  QStringLiteral("Set mqtt broker url"),
                                  QStringLiteral("hostname")};
    const QCommandLineOption port{QStringList{QStringLiteral("P"), QStringLiteral("port")},
                                  QStringLiteral("Set mqtt broker port"), QStringLiteral("port")};
    const QCommandLineOption username{QStringList{QStringLiteral("u"), QStringLiteral("username")},
                                      QStringLiteral("Set mqtt username"),
                                      QStringLiteral("username")};
    const QCommandLineOption password{QStringList{QStringLiteral("p"), QStringLiteral("password")},
                                      QStringLiteral("Set mqtt password"),
                                      QStringLiteral("password")};
};

// The configuration values the command line sets for this run, each logged.
QVariantMap overridesFrom(const QCommandLineParser& parser, const Options& o) {
    QVariantMap overrides;
    if (parser.isSet(o.verbose)) {
        bool ok = false;
        const int level = parser.value(o.verbose).toInt(&ok, 10);
        if (ok) {
            qInfo() << "Setting Log level : " << level;
            overrides.insert(QStringLiteral("log/level"), level);
        }
    }
    if (parser.isSet(o.toStderr)) {
        qInfo() << "Log to stderr overridden from user to true";
        overrides.insert(QStringLiteral("log/stderr"), true);
    }
    if (parser.isSet(o.color)) {
        qInfo() << "Log with color overridden from user to true";
        overrides.insert(QStringLiteral("log/color"), true);
    }
    if (parser.isSet(o.host)) {
        qInfo() << "Setting MQTT Host : " << parser.value(o.host);
        overrides.insert(QStringLiteral("mqtt/host"), parser.value(o.host));
    }
    if (parser.isSet(o.port)) {
        qInfo() << "Setting MQTT Port : " << parser.value(o.port);
        overrides.insert(QStringLiteral("mqtt/port"), parser.value(o.port).toInt(nullptr, 10));
    }
    if (parser.isSet(o.username)) {
        qInfo() << "Setting MQTT User : " << parser.value(o.username);
        overrides.insert(QStringLiteral("mqtt/username"), parser.value(o.username));
    }
    if (parser.isSet(o.password)) {
        overrides.insert(QStringLiteral("mqtt/password"), parser.value(o.password));
    }
    if (parser.isSet(o.config)) {
        qInfo() << "Using configuration file : " << parser.value(o.config);
        overrides.insert(QStringLiteral("config"), parser.value(o.config));
    }
    return overrides;
}

}  // namespace

QVariantMap parseCLIArgs() {
    const Options o;
    QCommandLineParser parser;
    parser.addOptions({o.help, o.version, o.verbose, o.toStderr, o.color, o.config, o.host, o.port,
                       o.username, o.password});

    if (!parser.parse(QCoreApplication::arguments())) {
        qCritical() << "ERROR: " << parser.errorText();
        std::exit(1);
    }

    if (parser.isSet(o.help)) {
        parser.showHelp(0);
    }
    if (parser.isSet(o.version)) {
        parser.showVersion();
    }
    return overridesFrom(parser, o);
}
