// quellan-devsim: plays the validator's device services on an MQTT broker so that
// the UI can run on a machine without them.

#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDebug>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>

#include "CommandReader.h"
#include "DeviceSimulator.h"
#include "MqttClient.h"
#include "Scenario.h"
#include "ScenarioPlayer.h"

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    const ssize_t written = ::write(signalPipe[1], &byte, 1);
    (void)written;
}

int fail(const QString& text) {
    std::fprintf(stderr, "quellan-devsim: %s\n", qPrintable(text));
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quellan-devsim"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral(
            "Plays the validator's device services (validator with RFID and barcode "
            "readers, board, inspector, network with ethernet, clock/NTP, update) on an "
            "MQTT broker. Commands are read from standard input, one per line; type "
            "'help' for the list. The services' reports are retained on the broker; when the "
            "simulator stops, the validator, board and inspector report their service "
            "stopped.\n\n") +
        devsim::Command::help());
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption host({QStringLiteral("H"), QStringLiteral("host")},
                            QStringLiteral("MQTT broker host (default 127.0.0.1)."),
                            QStringLiteral("host"), QStringLiteral("127.0.0.1"));
    QCommandLineOption port({QStringLiteral("P"), QStringLiteral("port")},
                            QStringLiteral("MQTT broker port (default 1883)."),
                            QStringLiteral("port"), QStringLiteral("1883"));
    // Like the real device services: a user of the on-board broker's password file.
    QCommandLineOption username({QStringLiteral("u"), QStringLiteral("username")},
                                QStringLiteral("MQTT user name (default: none, anonymous)."),
                                QStringLiteral("name"));
    QCommandLineOption password({QStringLiteral("p"), QStringLiteral("password")},
                                QStringLiteral("MQTT password of that user."),
                                QStringLiteral("password"));
    QCommandLineOption scenario({QStringLiteral("s"), QStringLiteral("scenario")},
                                QStringLiteral("Play the scenario in <file> (JSON steps)."),
                                QStringLiteral("file"));
    QCommandLineOption check(QStringLiteral("check"),
                             QStringLiteral("Only check the scenario file and exit."));
    QCommandLineOption verbose(QStringLiteral("verbose"),
                               QStringLiteral("Also log every message the simulator publishes."));
    QCommandLineOption noInput(QStringLiteral("no-input"),
                               QStringLiteral("Do not read commands from standard input."));
    devsim::DeviceSimulator::Topics topics;
    QCommandLineOption validatorTopic(QStringLiteral("validator-topic"),
                                      QStringLiteral("Validator base topic (default zorv/blm)."),
                                      QStringLiteral("topic"), topics.validator);
    QCommandLineOption boardTopic(QStringLiteral("board-topic"),
                                  QStringLiteral("Board base topic (default zorv/board)."),
                                  QStringLiteral("topic"), topics.board);
    QCommandLineOption inspectorTopic(
        QStringLiteral("inspector-topic"),
        QStringLiteral("Inspector base topic (default zorv/inspector)."), QStringLiteral("topic"),
        topics.inspector);
    QCommandLineOption networkTopic(QStringLiteral("network-topic"),
                                    QStringLiteral("Network base topic (default zorv/network)."),
                                    QStringLiteral("topic"), topics.network);
    QCommandLineOption deviceTopic(
        QStringLiteral("device-topic"),
        QStringLiteral("Clock and update base topic (default zorv/device)."),
        QStringLiteral("topic"), topics.device);
    parser.addOptions({host, port, username, password, scenario, check, verbose, noInput,
                       validatorTopic, boardTopic, inspectorTopic, networkTopic, deviceTopic});
    parser.process(app);
    if (!parser.isSet(verbose)) {
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    }

    if (!parser.positionalArguments().isEmpty()) {
        return fail(QStringLiteral("unexpected argument '%1' (see --help)")
                        .arg(parser.positionalArguments().first()));
    }
    bool portOk = false;
    const uint portNumber = parser.value(port).toUInt(&portOk);
    if (!portOk || portNumber == 0 || portNumber > 65535) {
        return fail(
            QStringLiteral("port '%1' is not a number from 1 to 65535").arg(parser.value(port)));
    }
    devsim::Scenario steps;
    if (parser.isSet(scenario)) {
        QString error;
        if (!devsim::Scenario::load(parser.value(scenario), &steps, &error)) {
            return fail(error);
        }
        if (parser.isSet(check)) {
            std::printf("%s: %d steps, %s\n", qPrintable(parser.value(scenario)),
                        int(steps.steps.size()), steps.loop ? "looping" : "played once");
            return 0;
        }
    } else if (parser.isSet(check)) {
        return fail(QStringLiteral("--check needs --scenario <file>"));
    }
    for (const QCommandLineOption* option :
         {&validatorTopic, &boardTopic, &inspectorTopic, &networkTopic, &deviceTopic}) {
        const QString value = parser.value(*option);
        if (value.isEmpty() || value.contains(QLatin1Char('+')) ||
            value.contains(QLatin1Char('#')) || value.endsWith(QLatin1Char('/'))) {
            return fail(
                QStringLiteral("--%1 '%2' is not a topic name (no wildcards, no trailing /)")
                    .arg(option->names().constLast(), value));
        }
    }
    topics.validator = parser.value(validatorTopic);
    topics.board = parser.value(boardTopic);
    topics.inspector = parser.value(inspectorTopic);
    topics.network = parser.value(networkTopic);
    topics.device = parser.value(deviceTopic);

    manager::MqttClient client;
    client.setHostname(parser.value(host));
    client.setPort(portNumber);
    client.setUsername(parser.value(username));
    client.setPassword(parser.value(password));
    client.setClientId(QStringLiteral("quellan-devsim-%1").arg(QCoreApplication::applicationPid()));
    // If the simulator dies, the validator is seen as a service that stopped.
    client.setWillTopic(topics.validator + QStringLiteral("/status"));
    client.setWillMessage(QByteArrayLiteral("{\"service\": false}"));
    client.setWillQoS(0);
    client.setWillRetain(true);

    devsim::DeviceSimulator simulator(client, topics);
    devsim::ScenarioPlayer player(simulator, steps);
    devsim::CommandReader reader(simulator);

    // Ctrl-C and SIGTERM: the services say goodbye, then the program ends.
    if (::pipe(signalPipe) != 0) {
        return fail(QStringLiteral("cannot create the signal pipe"));
    }
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    auto quit = [&] {
        signalNotifier.setEnabled(false);
        player.stop();
        qInfo().noquote() << "[devsim] Stopping";
        simulator.sayGoodbye();
        QTimer::singleShot(300, &app, [&] {
            client.disconnect();
            QTimer::singleShot(100, &app, &QCoreApplication::quit);
        });
    };
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, quit);
    QObject::connect(&simulator, &devsim::DeviceSimulator::quitRequested, &app, quit);
    signal(SIGINT, onSignal);
    signal(SIGTERM, onSignal);

    // The scenario and typed commands start once the services have announced
    // themselves; what is typed before waits in the input.
    bool started = false;
    QObject::connect(&client, &manager::MqttClient::connected, &app, [&] {
        if (started) {
            return;
        }
        started = true;
        if (!steps.steps.isEmpty()) {
            player.start();
        }
        if (!parser.isSet(noInput)) {
            reader.start(0);
        }
    });
    QObject::connect(&reader, &devsim::CommandReader::endOfInput, &app, [] {
        qInfo().noquote() << "[devsim] End of input; the services go on (Ctrl-C stops them)";
    });
    client.connect();
    return app.exec();
}
