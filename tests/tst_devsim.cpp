// The device simulator: it sends the services' example messages (the files the
// managers' tests read), the application's real managers mirror it and get their
// settings back, and bad commands and scenario files are refused with the line or
// step at fault.

#include <QDirIterator>
#include <QtTest>

#include "Board.h"
#include "Broker.h"
#include "Command.h"
#include "CommandReader.h"
#include "DeviceSimulator.h"
#include "ExampleMessages.h"
#include "MqttClient.h"
#include "Network.h"
#include "Peer.h"
#include "Scenario.h"
#include "Transaction.h"
#include "Update.h"
#include "Validator.h"

using devsim::Command;
using devsim::Scenario;

class TestDevsim : public QObject {
    Q_OBJECT

private slots:
    void compiledInMessagesAreTheFixtureFiles();
    void managersMirrorTheSimulator();
    void badCommands_data();
    void badCommands();
    void badScenarios_data();
    void badScenarios();
    void program();
};

void TestDevsim::compiledInMessagesAreTheFixtureFiles() {
    const QString root = qEnvironmentVariable("QUELLAN_SOURCE_DIR") + "/tests/fixtures/";
    QStringList onDisk;
    for (QDirIterator it(root, {"*.json"}, QDir::Files, QDirIterator::Subdirectories);
         it.hasNext();) {
        QFile file(it.next());
        QVERIFY(file.open(QIODevice::ReadOnly));
        onDisk << file.fileName().mid(root.size()).chopped(5);
        QCOMPARE(devsim::exampleMessageBytes(onDisk.last()), file.readAll());
    }
    onDisk.sort();
    QCOMPARE(devsim::exampleMessageNames(), onDisk);
}

void TestDevsim::managersMirrorTheSimulator() {
    Broker broker;
    QVERIFY(broker.start());
    manager::MqttClient ui, sim;
    manager::Validator validator(ui, "zorv/blm");
    manager::Board board(ui, "zorv/board");
    manager::Network network(ui, "zorv/network");
    manager::Update update(ui, "zorv/device");
    devsim::DeviceSimulator simulator(sim, devsim::DeviceSimulator::Topics());
    for (manager::MqttClient* client : {&ui, &sim}) {
        client->setPort(broker.port());
        client->connect();
    }
    QTRY_COMPARE(validator.status(), QString("online"));
    QTRY_COMPARE(update.current(), QString("1.0.17"));
    QTRY_COMPARE(network.hostname(), QString("validator-0412"));
    QVERIFY(board.ignition());

    QStringList tickets;
    connect(&validator, &manager::Validator::ticketValidated, this,
            [&](const Transaction& t) { tickets << QString::number(t.type()); });
    for (const char* line : {"validate period-pass", "refuse epurse 205", "status no-route",
                             "ignition off", "update available 2.0.0"}) {
        QString error;
        simulator.run(Command::parse(line, &error));
        QCOMPARE(error, QString());
    }
    QTRY_COMPARE(tickets, (QStringList{"8", "2"}));
    QTRY_COMPARE(validator.status(), QString("out-of-service"));
    QTRY_VERIFY(!board.ignition());
    QTRY_COMPARE(update.pending(), QString("2.0.0"));

    // Settings come back on the service's report; the readers switch on.
    board.setDisplayBrightness(35);
    network.ethernet()->setMethod("manual");
    network.ethernet()->config()->setAddress("10.1.2.3");
    network.ethernet()->save();
    validator.enableRfid();
    QTRY_COMPARE(board.displayBrightness(), 35);
    QTRY_COMPARE(network.ethernet()->config()->address(), QString("10.1.2.3"));
    QTRY_VERIFY(validator.rfid()->enabled());

    // Typed commands arrive in pieces; a bad line is named and skipped.
    devsim::CommandReader reader(simulator);
    QCOMPARE(reader.feed("validate barc"), QString());
    QCOMPARE(reader.feed("ode\nfrobnicate\n"), QString("line 2: unknown command 'frobnicate' (type "
                                                       "'help' for the list)"));
    QTRY_COMPARE(tickets.size(), 3);
}

void TestDevsim::badCommands_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("error");
    QTest::newRow("unknown") << "validat epurse"
                             << "unknown command 'validat'";
    QTest::newRow("no kind") << "validate"
                             << "usage: validate KIND";
    QTest::newRow("bad kind") << "validate bus-pass"
                              << "unknown ticket kind 'bus-pass'";
    QTest::newRow("refusal id") << "refuse epurse -3"
                                << "refusal id '-3'";
    QTest::newRow("condition") << "status sideways"
                               << "unknown validator condition 'sideways'";
    QTest::newRow("card uid") << "card found XYZ!"
                              << "card uid 'XYZ!'";
    QTest::newRow("temperature") << "temperature hot"
                                 << "'hot' is not a number";
    QTest::newRow("extra word") << "maintenance now"
                                << "usage: maintenance";
}

void TestDevsim::badCommands() {
    QFETCH(QString, line);
    QString message;
    QCOMPARE(Command::parse(line, &message).action, Command::None);
    QFETCH(QString, error);
    QVERIFY2(message.contains(error), qPrintable(message));
}

void TestDevsim::badScenarios_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error");
    QTest::newRow("broken JSON") << QByteArray("{\n\"steps\": [\n{\"wait\": 1 \"do\": \"x\"}]}")
                                 << "line 3, column";
    QTest::newRow("empty steps") << QByteArray(R"({"steps": []})") << "\"steps\" must be a list";
    QTest::newRow("loop text") << QByteArray(R"({"loop": "yes", "steps": [{"do": "card retry"}]})")
                               << "\"loop\" must be true or false";
    QTest::newRow("bad command") << QByteArray(R"({"steps": [{"do": "ignition on"},
                                               {"wait": 10, "do": "validate bus-pass"}]})")
                                 << "step 2: unknown ticket kind 'bus-pass'";
    QTest::newRow("negative wait") << QByteArray(R"({"steps": [{"wait": -1, "do": "card retry"}]})")
                                   << "step 1: \"wait\" must be a whole number";
    QTest::newRow("typo key") << QByteArray(R"({"steps": [{"wiat": 5, "do": "card retry"}]})")
                              << "step 1: unknown key \"wiat\"";
    QTest::newRow("no do") << QByteArray(R"({"steps": [{"wait": 5}]})")
                           << "step 1: \"do\" must hold a command";
}

void TestDevsim::badScenarios() {
    QFETCH(QByteArray, text);
    Scenario scenario;
    QString message;
    QVERIFY(!Scenario::parse(text, &scenario, &message));
    QFETCH(QString, error);
    QVERIFY2(message.contains(error), qPrintable(message));
}

void TestDevsim::program() {
    auto run = [](const QStringList& arguments) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QUELLAN_DEVSIM_BINARY, arguments);
        process.waitForFinished(10000);
        return QString::number(process.exitCode()) + " " + process.readAll();
    };
    const QString demo =
        qEnvironmentVariable("QUELLAN_SOURCE_DIR") + "/tools/devsim/scenarios/demo.json";
    QVERIFY(run({"--check", "--scenario", demo}).startsWith("0 "));
    QTemporaryDir dir;
    QFile file(dir.filePath("bad.json"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"steps": [{"do": "status upside-down"}]})");
    file.close();
    const QString refused = run({"--scenario", file.fileName()});
    QVERIFY2(refused.startsWith("2 ") && refused.contains("bad.json: step 1: unknown validator "
                                                          "condition 'upside-down'"),
             qPrintable(refused));
    QVERIFY(run({"--port", "http"}).startsWith("2 "));
}

QTEST_GUILESS_MAIN(TestDevsim)
#include "tst_devsim.moc"
