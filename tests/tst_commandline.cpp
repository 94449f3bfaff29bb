#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>

#include "CommandLine.h"

namespace {

struct Run {
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QString out;
    QString err;
    QStringList errLines() const { return err.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
};

Run runProcess(const QString& program, const QStringList& args, const QProcessEnvironment& env,
               const QString& workDir = QString()) {
    QProcess process;
    process.setProcessEnvironment(env);
    if (!workDir.isEmpty()) {
        process.setWorkingDirectory(workDir);
    }
    process.start(program, args);
    Run run;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitCode();
    run.status = process.exitStatus();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QProcessEnvironment programEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
    return env;
}

// A shell with no display at all (a technician's shell on the board, a build machine).
QProcessEnvironment noDisplay() {
    QProcessEnvironment env = programEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return env;
}

// parseCLIArgs() reads the arguments of the running application object, so each
// case runs this test program again as a child with the arguments under test; the
// child prints the overrides map with the type of each value.
Run parseInChild(const QStringList& args) {
    QProcessEnvironment env = programEnvironment();
    env.insert(QStringLiteral("TST_COMMANDLINE_CHILD"), QStringLiteral("1"));
    return runProcess(QCoreApplication::applicationFilePath(), args, env);
}

int childMain() {
    const QVariantMap overrides = parseCLIArgs();
    QJsonObject json;
    for (auto it = overrides.cbegin(); it != overrides.cend(); ++it) {
        json.insert(it.key(),
                    QJsonObject{{"type", it.value().typeName()}, {"value", it.value().toString()}});
    }
    fputs(QJsonDocument(json).toJson(QJsonDocument::Compact).constData(), stdout);
    return 0;
}

QJsonObject overridesOf(const Run& run) {
    return QJsonDocument::fromJson(run.out.toUtf8()).object();
}

QJsonObject typed(const char* type, const QString& value) {
    return QJsonObject{{"type", type}, {"value", value}};
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Any of the lines the options other than help and version write.
bool actedOnOptions(const QString& err) {
    return err.contains("Setting ") || err.contains("overridden") ||
           err.contains("Using configuration");
}

const QString VERSION_LINE = QStringLiteral("Quellan 1.0.18-1-g376f268\n");

}  // namespace

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void overrides_data();
    void overrides();
    void messagesInOrderAndPasswordUnlogged();
    void parseErrorsExitWithOne_data();
    void parseErrorsExitWithOne();
    void helpListsTheOptionsAndExits();
    void helpAndVersionWinOverOtherOptions();
    void programCreatesTheChosenConfigFile();
};

void TestCommandLine::overrides_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QJsonObject>("expected");
    QTest::addColumn<QString>("message");

    QTest::newRow("none") << QStringList() << QJsonObject() << QString();
    QTest::newRow("verbose 3") << QStringList{"-v", "3"}
                               << QJsonObject{{"log/level", typed("int", "3")}}
                               << "Setting Log level :  3";
    QTest::newRow("verbose long") << QStringList{"--verbose=0"}
                                  << QJsonObject{{"log/level", typed("int", "0")}}
                                  << "Setting Log level :  0";
    QTest::newRow("verbose not a number")
        << QStringList{"-v", "high"} << QJsonObject() << QString();
    QTest::newRow("stderr and color")
        << QStringList{"-e", "--color"}
        << QJsonObject{{"log/stderr", typed("bool", "true")}, {"log/color", typed("bool", "true")}}
        << "Log with color overridden from user to true";
    QTest::newRow("config") << QStringList{"-f", "/tmp/other.conf"}
                            << QJsonObject{{"config", typed("QString", "/tmp/other.conf")}}
                            << "Using configuration file :  \"/tmp/other.conf\"";
    QTest::newRow("host") << QStringList{"--host", "broker.example"}
                          << QJsonObject{{"mqtt/host", typed("QString", "broker.example")}}
                          << "Setting MQTT Host :  \"broker.example\"";
    QTest::newRow("port") << QStringList{"-P", "1884"}
                          << QJsonObject{{"mqtt/port", typed("int", "1884")}}
                          << "Setting MQTT Port :  \"1884\"";
    QTest::newRow("port not a number")
        << QStringList{"-P", "abc"} << QJsonObject{{"mqtt/port", typed("int", "0")}}
        << "Setting MQTT Port :  \"abc\"";
    QTest::newRow("username like a number")
        << QStringList{"-u", "007"} << QJsonObject{{"mqtt/username", typed("QString", "007")}}
        << "Setting MQTT User :  \"007\"";
    QTest::newRow("password") << QStringList{"--password", "1234"}
                              << QJsonObject{{"mqtt/password", typed("QString", "1234")}}
                              << QString();
}

void TestCommandLine::overrides() {
    QFETCH(QStringList, args);
    QFETCH(QJsonObject, expected);
    QFETCH(QString, message);

    const Run run = parseInChild(args);
    QCOMPARE(run.status, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(overridesOf(run), expected);
    if (message.isEmpty()) {
        QCOMPARE(run.err, QString());
    } else {
        QVERIFY2(run.errLines().contains(message), qPrintable(run.err));
    }
}

void TestCommandLine::messagesInOrderAndPasswordUnlogged() {
    const Run run = parseInChild({"-f", "x.conf", "-p", "s3cret", "-u", "user", "-P", "1999", "-H",
                                  "broker", "-c", "-e", "-v", "1"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(
        run.errLines(),
        (QStringList{"Setting Log level :  1", "Log to stderr overridden from user to true",
                     "Log with color overridden from user to true",
                     "Setting MQTT Host :  \"broker\"", "Setting MQTT Port :  \"1999\"",
                     "Setting MQTT User :  \"user\"", "Using configuration file :  \"x.conf\""}));
    QVERIFY(!run.err.contains("s3cret"));
    QCOMPARE(overridesOf(run).keys(),
             (QStringList{"config", "log/color", "log/level", "log/stderr", "mqtt/host",
                          "mqtt/password", "mqtt/port", "mqtt/username"}));
}

void TestCommandLine::parseErrorsExitWithOne_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown short") << QStringList{"-x"} << "ERROR:  \"Unknown option 'x'.\"";
    QTest::newRow("unknown long") << QStringList{"-H", "h", "--bogus"}
                                  << "ERROR:  \"Unknown option 'bogus'.\"";
    QTest::newRow("missing value") << QStringList{"-P"} << "ERROR:  \"Missing value after '-P'.\"";
}

// Run against the program itself: nothing of the system exists yet when it ends.
void TestCommandLine::parseErrorsExitWithOne() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const Run run =
        runProcess(QStringLiteral(QUELLAN_BINARY), args, programEnvironment(), dir.path());
    QCOMPARE(run.status, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.errLines().contains(message), qPrintable(run.err));
    QVERIFY(!run.err.contains("Setting MQTT Host"));
    QVERIFY(!QFileInfo::exists(dir.filePath("gui.conf")));
}

void TestCommandLine::helpListsTheOptionsAndExits() {
    QTemporaryDir dir;
    const Run run = runProcess(QStringLiteral(QUELLAN_BINARY), {"--help"}, noDisplay(), dir.path());
    QCOMPARE(run.status, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.startsWith("Usage: "), qPrintable(run.out));
    // Each option with its value name and help text, in the order of registration.
    const QStringList options{
        "-h, --help",
        "Print help and exit",
        "-V, --version",
        "Print version and exit",
        "-v, --verbose <level>",
        "Set log level: 0=err, 1=warn, 2=info(dfl), 3=dbg",
        "-e, --stderr",
        "Print messages to stderr, not just syslog",
        "-c, --color",
        "Print messages in color.",
        "-f, --config <filename>",
        "Set configuration file",
        "-H, --host <hostname>",
        "Set mqtt broker url",
        "-P, --port <port>",
        "Set mqtt broker port",
        "-u, --username <username>",
        "Set mqtt username",
        "-p, --password <password>",
        "Set mqtt password",
    };
    int from = 0;
    for (const QString& text : options) {
        const int at = run.out.indexOf(text, from);
        QVERIFY2(at >= 0, qPrintable(text));
        from = at + text.size();
    }
    // No help or version option of the parser's own besides these.
    QVERIFY(!run.out.contains("--help-all"));
    QVERIFY(!QFileInfo::exists(dir.filePath("gui.conf")));

    const Run version = runProcess(QStringLiteral(QUELLAN_BINARY), {"-V"}, noDisplay(), dir.path());
    QCOMPARE(version.exitCode, 0);
    QCOMPARE(version.out, VERSION_LINE);
}

void TestCommandLine::helpAndVersionWinOverOtherOptions() {
    QTemporaryDir dir;
    const QStringList others{"-v", "3", "-e", "-H", "broker", "-f", "other.conf"};
    const Run help = runProcess(QStringLiteral(QUELLAN_BINARY), others + QStringList{"-h", "-V"},
                                noDisplay(), dir.path());
    QCOMPARE(help.exitCode, 0);
    QVERIFY(help.out.startsWith("Usage: "));
    QVERIFY(!help.out.contains(VERSION_LINE));
    QVERIFY(!actedOnOptions(help.err));

    const Run version = runProcess(QStringLiteral(QUELLAN_BINARY), others + QStringList{"-eV"},
                                   noDisplay(), dir.path());
    QCOMPARE(version.exitCode, 0);
    QCOMPARE(version.out, VERSION_LINE);
    QVERIFY(!actedOnOptions(version.err));
    QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

void TestCommandLine::programCreatesTheChosenConfigFile() {
    QTemporaryDir dir;
    QProcess program;
    // No scene-graph backend chosen, and the offscreen platform has no OpenGL: the
    // software renderer draws, with one line saying so.
    QProcessEnvironment env = programEnvironment();
    env.remove(QStringLiteral("QT_QUICK_BACKEND"));
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(dir.path());
    program.start(QStringLiteral(QUELLAN_BINARY), {"-f", "custom.conf", "-P", "1999", "-e"});
    QVERIFY(program.waitForStarted());
    const QString path = dir.filePath("custom.conf");
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(path), 20000);
    // Running: the event loop holds it, window drawn, until it is told to end.
    QVERIFY(!program.waitForFinished(3000));
    program.kill();
    program.waitForFinished();

    const QByteArray content = readBytes(path);
    QVERIFY(content.contains("[mqtt]"));
    QVERIFY(content.contains("\nport=1883\n"));  // the override is not written
    QVERIFY(content.contains("\nsettingsPin=8602\n"));
    QVERIFY(!QFileInfo::exists(dir.filePath("gui.conf")));

    const QString err = QString::fromUtf8(program.readAllStandardError());
    QVERIFY2(err.contains("Using configuration file :  \"custom.conf\""), qPrintable(err));
    QVERIFY2(err.contains("Creating default config file :  \"custom.conf\""), qPrintable(err));
    // Start-up itself gives Qt nothing to complain about.
    QVERIFY2(!err.contains("must be set before"), qPrintable(err));
    QCOMPARE(err.count("drawing with the software renderer"), 1);

    // Without the option the file is gui.conf in the working directory.
    QTemporaryDir plain;
    program.setWorkingDirectory(plain.path());
    program.start(QStringLiteral(QUELLAN_BINARY), QStringList());
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(plain.filePath("gui.conf")), 20000);
    program.kill();
    program.waitForFinished();
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("TST_COMMANDLINE_CHILD")) {
        QCoreApplication::setApplicationName(QStringLiteral("Quellan"));
        QCoreApplication::setApplicationVersion(QStringLiteral("1.0.18-1-g376f268"));
        return childMain();
    }
    TestCommandLine test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_commandline.moc"
