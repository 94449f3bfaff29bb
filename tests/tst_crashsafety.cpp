// The files the device keeps must survive a power cut or a kill at any moment, and the
// configuration watch must keep working however the file is rewritten.
//
// killDuringWrites runs a child that writes the configuration and the event log in a
// loop and kills it with SIGKILL at a random moment (an event pushed more than a
// second before must be stored, in order), QUELLAN_CRASH_RUNS times (10 by
// default); outsideEdits rewrites the configuration file QUELLAN_EDIT_ROUNDS times
// (10 by default) while the store watches it. scripts/soak runs both 100 times.
#include <QDir>
#include <QElapsedTimer>
#include <QHostInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>
#include <csignal>

#include "Config.h"
#include "GUIManager.h"
#include "Peer.h"

namespace {

int envInt(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

// QSettings keeps a process-wide cache keyed by file name; a private copy is always
// parsed afresh.
struct Parsed {
    QSettings::Status status = QSettings::AccessError;
    QStringList keys;
    QVariantMap values;
    QStringList eventNames;
};

Parsed parse(const QString& path) {
    Parsed out;
    QFile source(path);
    if (!source.open(QIODevice::ReadOnly)) {
        return out;
    }
    QTemporaryFile copy(QDir::tempPath() + QStringLiteral("/crashsafety-XXXXXX.ini"));
    copy.open();
    copy.write(source.readAll());
    copy.flush();
    QSettings settings(copy.fileName(), QSettings::IniFormat);
    out.status = settings.status();
    out.keys = settings.allKeys();
    for (const QString& key : qAsConst(out.keys)) {
        out.values.insert(key, settings.value(key));
    }
    const int size = settings.beginReadArray(QStringLiteral("events"));
    for (int i = 0; i < size; ++i) {
        settings.setArrayIndex(i);
        out.eventNames.append(settings.value(QStringLiteral("name")).toString());
    }
    settings.endArray();
    return out;
}

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
}

}  // namespace

class TestCrashSafety : public QObject {
    Q_OBJECT

private slots:
    void killDuringWrites();
    void outsideEdits();
};

void TestCrashSafety::killDuringWrites() {
    const int runs = envInt("QUELLAN_CRASH_RUNS", 10);
    QTemporaryDir dir;
    const QString conf = dir.filePath(QStringLiteral("gui.conf"));
    const QString events = dir.filePath(QStringLiteral("events.ini"));
    // A lock left by a process that no longer exists, as after a power cut.
    writeFile(conf + QStringLiteral(".lock"),
              QStringLiteral("999999\nquellan\n%1\n").arg(QHostInfo::localHostName()).toUtf8());

    int committedConfig = 0;
    int leftovers = 0;
    for (int run = 0; run < runs; ++run) {
        const QString tag = QStringLiteral("r%1").arg(run);
        QProcess writer;
        writer.setProcessChannelMode(QProcess::SeparateChannels);
        writer.setStandardErrorFile(QProcess::nullDevice());
        writer.start(QStringLiteral(QUELLAN_CRASHWRITER), {dir.path(), tag});
        QVERIFY(writer.waitForStarted());

        // Kill at a random moment within one and a half seconds of the child's start.
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
        ::kill(static_cast<pid_t>(writer.processId()), SIGKILL);
        QVERIFY(writer.waitForFinished());
        output += writer.readAllStandardOutput();

        int started = -1;
        int lastConfig = committedConfig;
        // The newest event whose push returned more than a second before the kill.
        int lastEvent = 0;
        for (const QByteArray& line : output.split('\n')) {
            const QList<QByteArray> words = line.split(' ');
            if (words.first() == "started") {
                started = words.at(1).toInt();
            } else if (words.first() == "config") {
                lastConfig = words.at(1).toInt();
            } else if (words.first() == "event" && words.size() == 4 &&
                       words.at(3).toLongLong() <= killedAt - 1000) {
                lastEvent = words.at(2).toInt();
            }
        }
        // The next start was not stopped by what the kill left, and found every
        // committed value.
        QVERIFY2(started >= committedConfig, qPrintable(QStringLiteral("run %1: started %2, "
                                                                       "committed %3")
                                                            .arg(run)
                                                            .arg(started)
                                                            .arg(committedConfig)));
        committedConfig = lastConfig;

        const Parsed config = parse(conf);
        QCOMPARE(config.status, QSettings::NoError);
        for (const QString& key : GUIManager::Defaults.keys()) {
            QVERIFY2(config.keys.contains(key), qPrintable(key));
        }
        QVERIFY(config.values.value(QStringLiteral("gui/animSwitchSec")).toInt() >= lastConfig);

        // A first run killed within its first tenth of a second may not have
        // written the event log yet.
        const Parsed log = parse(events);
        QCOMPARE(log.status, QFile::exists(events) || lastEvent > 0 ? QSettings::NoError
                                                                    : QSettings::AccessError);
        if (lastEvent > 0) {
            QVERIFY2(log.eventNames.contains(QStringLiteral("Write %1 %2").arg(tag).arg(lastEvent)),
                     qPrintable(QStringLiteral("run %1: event %2 lost").arg(run).arg(lastEvent)));
        }
        // The stored events keep the order of their pushes.
        int previous = 0;
        for (const QString& name : qAsConst(log.eventNames)) {
            if (name.startsWith(QStringLiteral("Write %1 ").arg(tag))) {
                const int number = name.section(QLatin1Char(' '), 2).toInt();
                QVERIFY2(number > previous, qPrintable(name));
                previous = number;
            }
        }
        leftovers = QDir(dir.path()).entryList(QDir::Files).size() - 2;
    }
    qInfo("%d kills; last value committed %d; files left beside the two stores: %d", runs,
          committedConfig, leftovers);
}

void TestCrashSafety::outsideEdits() {
    const int rounds = envInt("QUELLAN_EDIT_ROUNDS", 10);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("gui.conf"));
    Config config(path, GUIManager::Defaults);
    QSignalSpy changed(&config, &Config::configChanged);
    QSignalSpy fileChanged(&config, &Config::configFileChanged);

    auto fileWith = [&](int minutes) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        QByteArray text = file.readAll();
        const int at = text.indexOf("displayOffMin=");
        const int end = text.indexOf('\n', at);
        return text.replace(at, end - at, "displayOffMin=" + QByteArray::number(minutes));
    };

    for (int round = 0; round < rounds; ++round) {
        // Replaced atomically (a new file renamed over the old one), then edited in
        // place, then written by the application itself.
        for (const bool atomic : {true, false}) {
            const int minutes = 100 + 2 * round + (atomic ? 0 : 1);
            const int before = changed.count();
            const int beforeFile = fileChanged.count();
            if (atomic) {
                QSaveFile file(path);
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write(fileWith(minutes));
                QVERIFY(file.commit());
            } else {
                writeFile(path, fileWith(minutes));
            }
            QVERIFY2(waitUntil([&] { return changed.count() > before; }, 5000),
                     qPrintable(QStringLiteral("round %1: edit (%2) not seen")
                                    .arg(round)
                                    .arg(atomic ? "atomic" : "in place")));
            QCOMPARE(changed.count(), before + 1);
            QCOMPARE(fileChanged.count(), beforeFile + 1);
            const QVariantMap changes = changed.last().first().toMap();
            QCOMPARE(changes.keys(), QStringList{QStringLiteral("gui/displayOffMin")});
            QCOMPARE(changes.value(QStringLiteral("gui/displayOffMin")).toInt(), minutes);
        }
        const int beforeFile = fileChanged.count();
        config.set(QStringLiteral("gui/shutdownDelaySec"), 1000 + round);
        QTest::qWait(50);
        QCOMPARE(fileChanged.count(), beforeFile);
    }
    // Nothing late: every change was reported exactly once, the application's own
    // writes as changes but never as outside edits.
    QTest::qWait(300);
    QCOMPARE(fileChanged.count(), 2 * rounds);
    QCOMPARE(changed.count(), 3 * rounds);
    QCOMPARE(config.get(QStringLiteral("gui/displayOffMin")).toInt(), 100 + 2 * rounds - 1);
}

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "tst_crashsafety.moc"
