// The command line: each option's overrides, and the options that end the program.

#include <QtTest>

#include "CommandLine.h"

namespace {

struct Run {
    int exitCode = -1;
    QString out, err;
};

// parseCLIArgs() reads the arguments of the running application, so the overrides are
// parsed by this program run again as a child, which prints them as "key=type:value".
Run run(const QString& program, const QStringList& args, const QString& folder = QString(),
        bool display = true) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TST_COMMANDLINE_CHILD", "1");
    env.remove("QT_MESSAGE_PATTERN");
    if (!display) {  // a technician's shell on the board, a build machine
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("QT_QPA_PLATFORM", "xcb");
    }
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(folder);
    process.start(program, args);
    process.waitForFinished(30000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

}  // namespace

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void overrides_data() {
        // The arguments and the overrides they give.
        QTest::addColumn<QStringList>("row");
        QTest::newRow("none") << QStringList{"", ""};
        QTest::newRow("verbose") << QStringList{"--verbose=3", "log/level=int:3"};
        QTest::newRow("verbose not a number") << QStringList{"-v high", ""};
        QTest::newRow("stderr and color")
            << QStringList{"-e -c", "log/color=bool:true log/stderr=bool:true"};
        QTest::newRow("config") << QStringList{"-f x.conf", "config=QString:x.conf"};
        QTest::newRow("host") << QStringList{"--host broker", "mqtt/host=QString:broker"};
        QTest::newRow("port") << QStringList{"-P 1884", "mqtt/port=int:1884"};
        QTest::newRow("user") << QStringList{"-u 007", "mqtt/username=QString:007"};
        QTest::newRow("password") << QStringList{"--password s3cret",
                                                 "mqtt/password=QString:s3cret"};
    }

    void overrides() {
        QFETCH(QStringList, row);
        const Run child =
            run(QCoreApplication::applicationFilePath(), row[0].split(' ', Qt::SkipEmptyParts));
        QCOMPARE(child.exitCode, 0);
        QCOMPARE(child.out, row[1]);
        QVERIFY2(!child.err.contains("s3cret"), qPrintable(child.err));  // never logged
    }

    void optionsThatEndTheProgram_data() {
        // The arguments, the exit code, how standard output begins, a line of standard error.
        QTest::addColumn<QStringList>("row");
        // Help and version win over every other option, which are then not acted on.
        QTest::newRow("help") << QStringList{"-H h -h -V", "0", "Usage: ", ""};
        QTest::newRow("version") << QStringList{"-e --version", "0", "Quellan ", ""};
        QTest::newRow("unknown") << QStringList{"-H h --bogus", "1", "",
                                                "ERROR:  \"Unknown option 'bogus'.\""};
        QTest::newRow("missing value")
            << QStringList{"-P", "1", "", "ERROR:  \"Missing value after '-P'.\""};
    }

    void optionsThatEndTheProgram() {
        QFETCH(QStringList, row);
        QTemporaryDir folder;
        // Help and version need no display at all.
        const Run program = run(QUELLAN_BINARY, row[0].split(' '), folder.path(), row[1] != "0");
        QCOMPARE(QString::number(program.exitCode), row[1]);
        QVERIFY2(program.out.startsWith(row[2]), qPrintable(program.out));
        QVERIFY2(program.err.contains(row[3]) && !program.err.contains("Setting"),
                 qPrintable(program.err));
        QVERIFY(QDir(folder.path()).isEmpty());  // ended before the settings file was made
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("TST_COMMANDLINE_CHILD")) {
        QStringList out;
        const QVariantMap overrides = parseCLIArgs();
        for (auto it = overrides.cbegin(); it != overrides.cend(); ++it) {
            out << it.key() + "=" + it.value().typeName() + ":" + it.value().toString();
        }
        fputs(qPrintable(out.join(' ')), stdout);
        return 0;
    }
    TestCommandLine test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_commandline.moc"
