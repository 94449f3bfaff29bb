// The log output: which levels reach standard error.

#include <QtTest>

#include "logger.h"
#include "support/Files.h"

using manager::Logger;

namespace {
Q_LOGGING_CATEGORY(qtCategory, "qt.quellan.probe")
}  // namespace

class TestLogger : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // Read off standard error; the machine's own system log is left alone.
        Logger::instance()->setSyslog(false);
        Logger::instance()->setStderr(true);
    }
    void levels_data();
    void levels();
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

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
