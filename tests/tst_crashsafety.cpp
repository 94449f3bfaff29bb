// A child writing the settings and the event log is SIGKILLed at a random moment,
// QUELLAN_CRASH_RUNS times (4): each next start finds everything it had committed.
#include <QHostInfo>
#include <QRandomGenerator>
#include <QSettings>
#include <QtTest>
#include <csignal>

#include "GUIManager.h"

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
    QFile lock(dir.filePath("gui.conf.lock"));
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write("999999\nquellan\n" + QHostInfo::localHostName().toUtf8() + "\n");
    lock.close();
    int committed = 0;
    for (int run = 0; run < runs; ++run) {
        QProcess writer;
        writer.setStandardErrorFile(QProcess::nullDevice());
        writer.start(QUELLAN_CRASHWRITER, {dir.path(), QString("r%1").arg(run)});
        QVERIFY(writer.waitForStarted());
        // Killed after a random number of writes, at a random moment within the next.
        const int target = QRandomGenerator::global()->bounded(2, 30);
        QByteArray output;
        while (output.count('\n') < target && writer.state() == QProcess::Running) {
            writer.waitForReadyRead(200);
            output += writer.readAllStandardOutput();
        }
        QThread::usleep(QRandomGenerator::global()->bounded(0, 4000));
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
            } else if (words.first() == "event") {
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
        }
    }
}

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "tst_crashsafety.moc"
