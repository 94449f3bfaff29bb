// The log output: which levels reach standard error, and how lines reach the journal.

#include <sys/stat.h>

#include <QtTest>
#include <cstdarg>

#include "logger.h"
#include "support/Files.h"

using manager::Logger;

namespace {
Q_LOGGING_CATEGORY(qtCategory, "qt.quellan.probe")
// What reached syslog: each entry's priority and the last character of its text.
QString g_syslog;
}  // namespace

// The logger's syslog calls land here, linked before the C library's: never in the host's log.
extern "C" void syslog(int priority, const char* format, ...) {
    va_list args;
    va_start(args, format);
    g_syslog += QString::number(priority) + QString::vasprintf(format, args).right(1);
    va_end(args);
}

class TestLogger : public QObject {
    Q_OBJECT

private slots:
    // Standard error and syslog; into the journal (JOURNAL_STREAM names standard error) each
    // line once, with its priority, and nothing to syslog.
    void levels_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("journal");
        QTest::addColumn<bool>("syslog");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("logged");
        const auto row = [](const char* tag, int level, bool journal, bool syslog,
                            const char* shown, const char* logged) {
            QTest::newRow(tag) << level << journal << syslog << shown << logged;
        };
        row("0 error", 0, false, true, "xc", "2c");
        row("1 warning", 1, false, true, "wxc", "4w2c");
        row("2 info", 2, false, true, "iwxc", "6i4w2c");
        row("3 debug", 3, false, true, "diwxc", "7d6i4w2c");
        row("4 trace, Qt's own too", 4, false, true, "diwxcq", "7d6i4w2c4q");
        row("5 is info", 5, false, true, "iwxc", "6i4w2c");
        row("syslog off", 2, false, false, "iwxc", "");
        row("-1 is info, into the journal", -1, true, true, "6i4w2x2c", "");
    }

    void levels() {
        QFETCH(int, level);
        QFETCH(bool, journal);
        QFETCH(bool, syslog);
        Logger::instance()->setLevel(level);
        Logger::instance()->setLevel(Logger::Level(7));  // out of range: ignored
        Logger::instance()->setSyslog(syslog);
        g_syslog.clear();
        const QStringList lines = outputOf(STDERR_FILENO, [journal] {
            struct stat stream {};
            fstat(STDERR_FILENO, &stream);
            const auto inode = stream.st_ino + (journal ? 0 : 1);
            qputenv("JOURNAL_STREAM", QString("%1:%2").arg(stream.st_dev).arg(inode).toLatin1());
            Logger::instance()->setStderr(true);
            qDebug("d");
            qInfo("i");
            qWarning("w");
            qCritical("x\nc");  // two lines
            qCWarning(qtCategory, "q");
        });
        QString shown;
        for (const QString& line : lines) {
            shown += (line.startsWith('<') ? line.mid(1, 1) : QString()) + line.right(1);
        }
        QTEST(shown, "shown");
        QTEST(g_syslog, "logged");
    }

    // A secret is known by its member's name as the parser reads it, wherever it is.
    void secretsMasked_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("logged");
        QTest::newRow("escaped, in an array")
            << QByteArray(R"({"a":[{"b":{"settings\u0050in":"4711"}}]})")
            << R"({"a":[{"b":{"settingsPin":"********"}}]})";
        QTest::newRow("other case, as a key") << QByteArray(R"({"gui/PASSWORD":4711,"x":1})")
                                              << R"({"gui/PASSWORD":"********","x":1})";
        QTest::newRow("no secret: as it came") << QByteArray("{\"b\":  4711}") << "{\"b\":  4711}";
        QTest::newRow("not JSON") << QByteArray("settingsPin=4711") << "(16 bytes, not JSON)";
    }

    void secretsMasked() {
        QFETCH(QByteArray, payload);
        QTEST(manager::maskSecrets(payload), "logged");
    }
};

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
