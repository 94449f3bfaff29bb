// The log output: levels, the elapsed-time prefix and the syslog priorities.

#include <syslog.h>

#include <QtTest>
#include <cstdarg>

#include "logger.h"
#include "support/Files.h"

using manager::Logger;

// The system log cannot be read back: the statically linked logger calls this syslog().
namespace {
QStringList g_syslog;
void record(int priority, const char* format, va_list args) {
    char buffer[4096];
    vsnprintf(buffer, sizeof buffer, format, args);
    g_syslog << QString::number(priority) + ' ' + QString::fromUtf8(buffer);
}
Q_LOGGING_CATEGORY(qtCategory, "qt.quellan.probe")
}  // namespace
extern "C" void syslog(int priority, const char* format, ...) {
    va_list args;
    va_start(args, format);
    record(priority, format, args);
    va_end(args);
}
extern "C" void __syslog_chk(int priority, int, const char* format, ...) {
    va_list args;
    va_start(args, format);
    record(priority, format, args);
    va_end(args);
}

class TestLogger : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Logger::instance()->setStderr(true); }
    void levels_data();
    void levels();
    void syslogPriorities();
};

void TestLogger::levels_data() {
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("shown");
    QTest::newRow("0 error") << 0 << "c";
    QTest::newRow("1 warning") << 1 << "wc";
    QTest::newRow("2 info") << 2 << "iwc";
    QTest::newRow("3 debug") << 3 << "diwc";
    QTest::newRow("4 trace, Qt's own too") << 4 << "diwcq";
    QTest::newRow("5 is info") << 5 << "iwc";
    QTest::newRow("-1 is info") << -1 << "iwc";
}

void TestLogger::levels() {
    QFETCH(int, level);
    Logger::instance()->setLevel(level);
    Logger::instance()->setLevel(Logger::Level(7));  // out of range: ignored
    const QStringList lines = outputOf(STDERR_FILENO, [] {
        qDebug("d");
        qInfo("i");
        qWarning("w");
        qCritical("c");
        qCWarning(qtCategory, "q");
    });
    QString shown;
    for (const QString& line : lines) {
        shown += line.right(1);
    }
    QTEST(shown, "shown");
}

void TestLogger::syslogPriorities() {
    Logger* logger = Logger::instance();
    logger->setLevel(Logger::DEBUG);
    logger->setStderr(false);
    g_syslog.clear();
    qDebug("d");
    qInfo("i");
    qWarning("w");
    qCritical("c");
    logger->setSyslog(false);
    qInfo("not logged");
    logger->setSyslog(true);
    logger->setStderr(true);
    // "<priority> [   0.012] [tag] text", the time cut out for the comparison.
    for (QString& line : g_syslog) {
        line = line.section(' ', 0, 0) + ' ' + line.section("] ", 1);
    }
    QCOMPARE(g_syslog,
             (QStringList{QString("%1 [debug] d").arg(LOG_DEBUG), QString("%1 i").arg(LOG_INFO),
                          QString("%1 [warning] w").arg(LOG_WARNING),
                          QString("%1 [error] c").arg(LOG_CRIT)}));
}

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
