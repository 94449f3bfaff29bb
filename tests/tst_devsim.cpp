// The device simulator sends the fixture files and refuses bad scenarios by step.

#include <QDirIterator>
#include <QtTest>

#include "ExampleMessages.h"
#include "Scenario.h"

using devsim::Scenario;

class TestDevsim : public QObject {
    Q_OBJECT

private slots:
    void compiledInMessagesAreTheFixtureFiles();
    void badScenarios_data();
    void badScenarios();
    void program();
};

void TestDevsim::compiledInMessagesAreTheFixtureFiles() {
    const QString root = qEnvironmentVariable("QUELLAN_SOURCE_DIR") + "/examples/messages/";
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

void TestDevsim::badScenarios_data() {
    // A scenario (a bare command: the one step of one) and what its refusal names.
    QTest::addColumn<QStringList>("row");
    QTest::newRow("unknown") << QStringList{"validat epurse", "step 1: unknown command 'validat'"};
    QTest::newRow("no kind") << QStringList{"validate", "usage: validate KIND"};
    QTest::newRow("bad kind") << QStringList{"validate bus", "unknown ticket kind 'bus'"};
    QTest::newRow("refusal id") << QStringList{"refuse epurse -3", "refusal id '-3'"};
    QTest::newRow("condition") << QStringList{"status up", "unknown validator condition 'up'"};
    QTest::newRow("card uid") << QStringList{"card found XYZ!", "card uid 'XYZ!'"};
    QTest::newRow("temperature") << QStringList{"temperature hot", "'hot' is not a number"};
    QTest::newRow("extra word") << QStringList{"maintenance now", "usage: maintenance"};
    QTest::newRow("broken JSON") << QStringList{"{\n\"steps\": [\n{\"wait\": 1 \"do\": \"x\"}]}",
                                                "line 3, column"};
    QTest::newRow("empty steps") << QStringList{R"({"steps": []})", "\"steps\" must be a list"};
    QTest::newRow("loop text") << QStringList{R"({"loop": "yes", "steps": [{"do": "card retry"}]})",
                                              "\"loop\" must be true or false"};
    QTest::newRow("second step") << QStringList{
        R"({"steps": [{"do": "ignition on"}, {"wait": -1, "do": "card retry"}]})",
        "step 2: \"wait\" must be a whole number"};
    QTest::newRow("typo key") << QStringList{R"({"steps": [{"wiat": 5, "do": "card retry"}]})",
                                             "step 1: unknown key \"wiat\""};
    QTest::newRow("no do") << QStringList{R"({"steps": [{"wait": 5}]})",
                                          "step 1: \"do\" must hold a command"};
}

void TestDevsim::badScenarios() {
    QFETCH(QStringList, row);
    const QString text =
        row[0].startsWith('{') ? row[0] : R"({"steps": [{"do": ")" + row[0] + "\"}]}";
    Scenario scenario;
    QString message;
    QVERIFY(!Scenario::parse(text.toUtf8(), &scenario, &message));
    QVERIFY2(message.contains(row[1]), qPrintable(message));
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
