// The files the device keeps survive a kill at any moment: a child writes the settings
// and the event log in a loop and is killed with SIGKILL at a random moment,
// QUELLAN_CRASH_RUNS times (4 by default; scripts/soak runs it 100 times). Every next
// start must find readable files, each value the child had committed, and each event
// pushed more than a second before the kill, in the order of the pushes.
#include <QElapsedTimer>
#include <QHostInfo>
#include <QRandomGenerator>
#include <QSettings>
#include <QtTest>
#include <csignal>

#include "GUIManager.h"
#include "support/Files.h"

namespace {

// QSettings keeps a process-wide cache by file name; a private copy is parsed afresh.
QSettings::Status parse(const QString& path, QVariantMap* values, QStringList* events) {
    QTemporaryFile copy(QDir::tempPath() + "/crashsafety-XXXXXX.ini");
    QFile source(path);
    if (!copy.open() || !source.open(QIODevice::ReadOnly)) {
        return QSettings::AccessError;
    }
    copy.write(source.readAll());
    copy.flush();
    QSettings settings(copy.fileName(), QSettings::IniFormat);
    for (const QString& key : settings.allKeys()) {
        values->insert(key, settings.value(key));
    }
    const int size = settings.beginReadArray("events");
    for (int i = 0; i < size; ++i) {
        settings.setArrayIndex(i);
        *events << settings.value("name").toString();
    }
    return settings.status();
}

}  // namespace

class TestCrashSafety : public QObject {
    Q_OBJECT

private slots:
    void killDuringWrites();
};

void TestCrashSafety::killDuringWrites() {
    const int runs = qEnvironmentVariableIntValue("QUELLAN_CRASH_RUNS") > 0
                         ? qEnvironmentVariableIntValue("QUELLAN_CRASH_RUNS")
                         : 4;
    QTemporaryDir dir;
    // A lock left by a process that no longer exists, as after a power cut.
    QVERIFY(writeFile(dir.filePath("gui.conf.lock"),
                      "999999\nquellan\n" + QHostInfo::localHostName().toUtf8() + "\n"));
    int committed = 0;
    for (int run = 0; run < runs; ++run) {
        QProcess writer;
        writer.setStandardErrorFile(QProcess::nullDevice());
        writer.start(QUELLAN_CRASHWRITER, {dir.path(), QString("r%1").arg(run)});
        QVERIFY(writer.waitForStarted());
        // Killed at a random moment within one and a half seconds of the child's start.
        QByteArray output;
        while (!output.contains("started") && writer.state() == QProcess::Running) {
            writer.waitForReadyRead(200);
            output += writer.readAllStandardOutput();
        }
        QElapsedTimer clock;
        clock.start();
        const int killAfter = QRandomGenerator::global()->bounded(50, 1500);
        while (clock.elapsed() < killAfter && writer.state() == QProcess::Running) {
            writer.waitForReadyRead(10);
            output += writer.readAllStandardOutput();
        }
        const qint64 killedAt = QDateTime::currentMSecsSinceEpoch();
        ::kill(pid_t(writer.processId()), SIGKILL);
        QVERIFY(writer.waitForFinished());
        output += writer.readAllStandardOutput();

        const int before = committed;
        int started = -1;
        QString lastEvent;
        for (const QByteArray& line : output.split('\n')) {
            const QList<QByteArray> words = line.split(' ');
            if (words.first() == "started") {
                started = words.at(1).toInt();
            } else if (words.first() == "config") {
                committed = words.at(1).toInt();
            } else if (words.first() == "event" && words.size() == 4 &&
                       words.at(3).toLongLong() <= killedAt - 1000) {
                // The newest event whose push returned more than a second before the kill.
                lastEvent = QString("Write %1 %2").arg(QString(words.at(1)), QString(words.at(2)));
            }
        }
        // The start was not stopped by what the last kill left, and found every value.
        QVERIFY2(started >= before, output.constData());
        QVariantMap config;
        QStringList events;
        QCOMPARE(parse(dir.filePath("gui.conf"), &config, &events), QSettings::NoError);
        QCOMPARE(config.keys(), GUIManager::Defaults.keys());
        QVERIFY(config.value("gui/animSwitchSec").toInt() >= committed);
        if (!lastEvent.isEmpty()) {  // the log file exists once the first event is in
            QCOMPARE(parse(dir.filePath("events.ini"), &config, &events), QSettings::NoError);
            QVERIFY2(events.contains(lastEvent), qPrintable(lastEvent));
            // The stored events keep the order of their pushes.
            const QStringList mine = events.filter(lastEvent.section(' ', 0, 1) + ' ');
            for (int i = 1; i < mine.size(); ++i) {
                QVERIFY2(mine[i].section(' ', 2).toInt() > mine[i - 1].section(' ', 2).toInt(),
                         qPrintable(mine.join(',')));
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "tst_crashsafety.moc"
