#include <syslog.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdarg>
#include <cstdio>

#include "logger.h"

using manager::Logger;

// The system log cannot be read back from a test, so the test program provides its
// own syslog(): the logger, linked statically into this program, calls this one.
namespace {

struct SyslogEntry {
    int priority;
    QString text;
};

QVector<SyslogEntry> g_syslog;
bool g_echoSyslog = false;

void recordSyslog(int priority, const char* format, va_list args) {
    char buffer[4096];
    vsnprintf(buffer, sizeof(buffer), format, args);
    g_syslog.append({priority, QString::fromUtf8(buffer)});
    if (g_echoSyslog) {
        const QByteArray line =
            "syslog " + QByteArray::number(priority) + " " + QByteArray(buffer) + "\n";
        if (write(STDOUT_FILENO, line.constData(), size_t(line.size())) < 0) {
            g_echoSyslog = false;
        }
    }
}

}  // namespace

extern "C" void syslog(int priority, const char* format, ...) {
    va_list args;
    va_start(args, format);
    recordSyslog(priority, format, args);
    va_end(args);
}

extern "C" void __syslog_chk(int priority, int, const char* format, ...) {
    va_list args;
    va_start(args, format);
    recordSyslog(priority, format, args);
    va_end(args);
}

namespace {

Q_LOGGING_CATEGORY(qtOwnCategory, "qt.quellan.probe")
Q_LOGGING_CATEGORY(appCategory, "quellan.probe")

// Redirects file descriptor 2 into a file while it lives.
class StderrCapture {
public:
    StderrCapture() : m_path(m_dir.filePath("stderr.txt")) {
        fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        FILE* file = fopen(qPrintable(m_path), "w");
        dup2(fileno(file), STDERR_FILENO);
        fclose(file);
    }
    ~StderrCapture() { finish(); }
    QString text() {
        finish();
        QFile file(m_path);
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }
    QStringList lines() { return text().split(QLatin1Char('\n'), Qt::SkipEmptyParts); }

private:
    void finish() {
        if (m_saved >= 0) {
            fflush(stderr);
            dup2(m_saved, STDERR_FILENO);
            close(m_saved);
            m_saved = -1;
        }
    }
    QTemporaryDir m_dir;
    QString m_path;
    int m_saved = -1;
};

const QString ESC = QString(QChar(27));
// "[%9.03f] ": the seconds since start, right-aligned in nine characters.
const QRegularExpression PREFIX(QStringLiteral("^\\[( *)(\\d+\\.\\d{3})\\] "));

// Strips the elapsed-time prefix after checking its shape.
QString body(const QString& line) {
    const QRegularExpressionMatch match = PREFIX.match(line);
    if (!match.hasMatch() || match.capturedLength(0) != 12) {
        return QStringLiteral("<bad prefix> ") + line;
    }
    return line.mid(12);
}

QStringList bodies(const QStringList& lines) {
    QStringList result;
    for (const QString& line : lines) {
        result << body(line);
    }
    return result;
}

void emitOneOfEach() {
    qDebug("debug line");
    qInfo("info line");
    qWarning("warning line");
    qCritical("critical line");
    qCDebug(appCategory, "app debug line");
    qCWarning(qtOwnCategory, "qt warning line");
}

// Child mode: the fatal cases end the process, so they run in a process of their own.
int childMain(const QByteArray& mode) {
    Logger* logger = Logger::instance();
    logger->setSyslog(mode == "fatal-plain");
    logger->setStderr(mode == "fatal-plain");
    g_echoSyslog = true;
    qInfo("before fatal");
    qFatal("fatal line");
    return 0;  // not reached
}

}  // namespace

class TestLogger : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void levelsFilterMessages_data();
    void levelsFilterMessages();
    void outOfRangeLevelChangesNothing();
    void plainPatternAndElapsedTime();
    void colourPattern();
    void syslogPrioritiesAndTags();
    void outputsCanBeSwitchedOff();
    void fatalAbortsAfterOutput_data();
    void fatalAbortsAfterOutput();

private:
    qint64 m_createdAfter = 0;
    qint64 m_createdBefore = 0;
};

void TestLogger::initTestCase() {
    m_createdAfter = QDateTime::currentMSecsSinceEpoch();
    Logger* logger = Logger::instance();
    m_createdBefore = QDateTime::currentMSecsSinceEpoch();
    QCOMPARE(Logger::instance(), logger);
    QCOMPARE(logger->getSyslog(), true);
    QCOMPARE(logger->getStderr(), false);
    QVERIFY(logger->getStartTime() >= double(m_createdAfter) - 1.0);
    QVERIFY(logger->getStartTime() <= double(m_createdBefore) + 1.0);

    // Created at the info level with the plain pattern, writing to syslog only.
    g_syslog.clear();
    StderrCapture capture;
    qDebug("debug at start");
    qInfo("info at start");
    QCOMPARE(capture.text(), QString());
    QCOMPARE(g_syslog.size(), 1);
    QCOMPARE(g_syslog.at(0).priority, LOG_INFO);
    QCOMPARE(body(g_syslog.at(0).text), QStringLiteral("info at start"));
}

void TestLogger::levelsFilterMessages_data() {
    QTest::addColumn<int>("level");
    QTest::addColumn<QStringList>("expected");
    const QStringList errors{"critical line"};
    const QStringList warnings = QStringList{"warning line"} + errors;
    const QStringList infos = QStringList{"info line"} + warnings;
    const QStringList debugs = QStringList{"debug line"} + infos + QStringList{"app debug line"};
    QTest::newRow("0 error") << 0 << errors;
    QTest::newRow("1 warning") << 1 << warnings;
    QTest::newRow("2 info") << 2 << infos;
    QTest::newRow("3 debug") << 3 << debugs;
    QTest::newRow("4 trace") << 4 << debugs + QStringList{"qt warning line"};
    QTest::newRow("9 is info") << 9 << infos;
    QTest::newRow("-1 is info") << -1 << infos;
}

void TestLogger::levelsFilterMessages() {
    QFETCH(int, level);
    QFETCH(QStringList, expected);
    Logger* logger = Logger::instance();
    logger->setSyslog(false);
    logger->setStderr(true);
    logger->setColor(false);
    logger->setLevel(level);

    StderrCapture capture;
    emitOneOfEach();
    QStringList got = bodies(capture.lines());
    got.sort();
    expected.sort();
    QCOMPARE(got, expected);
    logger->setLevel(2);
}

void TestLogger::outOfRangeLevelChangesNothing() {
    Logger* logger = Logger::instance();
    logger->setSyslog(false);
    logger->setStderr(true);
    logger->setLevel(Logger::DEBUG);
    logger->setLevel(static_cast<Logger::Level>(7));
    logger->setLevel(static_cast<Logger::Level>(-1));

    StderrCapture capture;
    qDebug("still debug");
    QCOMPARE(bodies(capture.lines()), QStringList{"still debug"});
    logger->setLevel(Logger::INFO);
}

void TestLogger::plainPatternAndElapsedTime() {
    Logger* logger = Logger::instance();
    logger->setSyslog(false);
    logger->setStderr(true);
    logger->setColor(false);
    logger->setLevel(Logger::DEBUG);

    StderrCapture capture;
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    qWarning("[Board] plain warning");
    qCInfo(appCategory, "category info");
    qDebug() << "[Board] "
             << "Status changed : " << QStringLiteral("online");
    const qint64 after = QDateTime::currentMSecsSinceEpoch();
    const QStringList lines = capture.lines();
    logger->setLevel(Logger::INFO);

    QCOMPARE(lines.size(), 3);
    QCOMPARE(bodies(lines), (QStringList{"[Board] plain warning", "category info",
                                         "[Board]  Status changed :  \"online\""}));
    for (const QString& line : lines) {
        const QRegularExpressionMatch match = PREFIX.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        // Nine characters between the brackets, three decimals.
        QCOMPARE(match.captured(1).size() + match.captured(2).size(), 9);
        const double seconds = match.captured(2).toDouble();
        QVERIFY(seconds >= (before - m_createdBefore) / 1000.0 - 0.002);
        QVERIFY(seconds <= (after - m_createdAfter) / 1000.0 + 0.002);
    }
}

void TestLogger::colourPattern() {
    Logger* logger = Logger::instance();
    logger->setSyslog(false);
    logger->setStderr(true);
    logger->setLevel(Logger::DEBUG);
    logger->setColor(true);

    StderrCapture capture;
    qInfo("info text");
    qWarning("warning text");
    qDebug("debug text");
    qCritical("critical text");
    qCWarning(appCategory, "category text");
    const QStringList lines = capture.lines();
    logger->setColor(false);
    logger->setLevel(Logger::INFO);

    QCOMPARE(bodies(lines),
             (QStringList{"info text", ESC + "[33mwarning text" + ESC + "[39m",
                          ESC + "[35mdebug text" + ESC + "[39m",
                          ESC + "[31mcritical text" + ESC + "[39m",
                          "[quellan.probe] " + ESC + "[33mcategory text" + ESC + "[39m"}));

    // Back to plain: no escape codes at all.
    StderrCapture plain;
    qWarning("warning text");
    QCOMPARE(bodies(plain.lines()), QStringList{"warning text"});
}

void TestLogger::syslogPrioritiesAndTags() {
    Logger* logger = Logger::instance();
    logger->setSyslog(true);
    logger->setStderr(false);
    logger->setColor(false);
    logger->setLevel(Logger::DEBUG);

    g_syslog.clear();
    StderrCapture capture;
    qDebug("d");
    qInfo("i");
    qWarning("w");
    qCritical("c");
    logger->setLevel(Logger::INFO);
    logger->setSyslog(false);

    // With standard error off nothing goes there.
    QCOMPARE(capture.text(), QString());
    QStringList entries;
    for (const SyslogEntry& entry : qAsConst(g_syslog)) {
        entries << QString::number(entry.priority) + ' ' + body(entry.text);
    }
    QCOMPARE(entries,
             (QStringList{QString("%1 [debug] d").arg(LOG_DEBUG), QString("%1 i").arg(LOG_INFO),
                          QString("%1 [warning] w").arg(LOG_WARNING),
                          QString("%1 [error] c").arg(LOG_CRIT)}));
}

void TestLogger::outputsCanBeSwitchedOff() {
    Logger* logger = Logger::instance();
    logger->setSyslog(false);
    logger->setStderr(false);
    QCOMPARE(logger->getSyslog(), false);
    QCOMPARE(logger->getStderr(), false);

    g_syslog.clear();
    StderrCapture capture;
    qCritical("dropped");
    qInfo("dropped too");
    QCOMPARE(capture.text(), QString());
    QCOMPARE(g_syslog.size(), 0);

    // Both on: the same line on each.
    logger->setSyslog(true);
    logger->setStderr(true);
    StderrCapture both;
    qInfo("twice");
    logger->setSyslog(false);
    QCOMPARE(bodies(both.lines()), QStringList{"twice"});
    QCOMPARE(g_syslog.size(), 1);
    QCOMPARE(body(g_syslog.at(0).text), QStringLiteral("twice"));
}

void TestLogger::fatalAbortsAfterOutput_data() {
    QTest::addColumn<QString>("mode");
    QTest::newRow("outputs on") << "fatal-plain";
    QTest::newRow("outputs off") << "fatal-off";
}

void TestLogger::fatalAbortsAfterOutput() {
    QFETCH(QString, mode);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TST_LOGGER_CHILD"), mode);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), QStringList());
    QVERIFY(child.waitForStarted());
    const qint64 pid = child.processId();
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    const QString err = QString::fromUtf8(child.readAllStandardError());
    const QString out = QString::fromUtf8(child.readAllStandardOutput());

    if (mode == QLatin1String("fatal-off")) {
        QCOMPARE(err, QString());
        QCOMPARE(out, QString());
        return;
    }
    const QStringList lines = err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(body(lines.at(0)), QStringLiteral("before fatal"));
    // "function at file:line (pid:thread:QThread) - message"
    const QRegularExpression fatal(
        QStringLiteral("^.+ at .*:\\d+ \\((\\d+):\\d+:0x[0-9a-f]+\\) - "
                       "fatal line$"));
    const QRegularExpressionMatch match = fatal.match(body(lines.at(1)));
    QVERIFY2(match.hasMatch(), qPrintable(lines.at(1)));
    QCOMPARE(match.captured(1).toLongLong(), pid);
    QVERIFY2(out.contains(QStringLiteral("syslog %1 [").arg(LOG_ERR)), qPrintable(out));
    QVERIFY(out.contains(QStringLiteral("] [fatal] ")));
}

int main(int argc, char** argv) {
    const QByteArray childMode = qgetenv("TST_LOGGER_CHILD");
    QCoreApplication app(argc, argv);
    if (!childMode.isEmpty()) {
        return childMain(childMode);
    }
    TestLogger test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_logger.moc"
