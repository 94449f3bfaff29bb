// The whole product end to end: a real broker, the device simulator and the quellan
// program itself (offscreen). The screens follow the services, "Busy" at start and
// "ScanScreens" once the validator is online and the ignition on, as its log says and its
// screen recorder saves them (the screens after, results and the screen saver, are the GUI
// manager suite's). Run as the benchmarks run it, the program measures its idle screen
// and ends by itself.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "../support/Files.h"
#include "../support/Program.h"
#include "Broker.h"
#include "Peer.h"  // waitUntil

namespace {
// The program under test, followed through its log.
struct Ui : Program {
    int seen = 0;  // screens already reached
    // The screens in the order the program's log names them ("Setting screen : ...").
    QStringList screens() const {
        static const QRegularExpression line("Setting screen\\s*:\\s*\"?([A-Za-z]+)");
        QStringList names;
        for (auto it = line.globalMatch(output); it.hasNext();) {
            names << it.next().captured(1);
        }
        return names;
    }
    // Whether the program shows screen after the last one reached.
    bool reaches(const QString& screen, int timeoutMs = 20000) {
        return waitUntil(
            [&] {
                const int at = screens().indexOf(screen, seen);
                seen = at < 0 ? seen : at + 1;
                return at >= 0;
            },
            timeoutMs);
    }
};

// A copy of the program in its own folder (it keeps its event store beside itself),
// recording its screens, and the simulator bringing the validator into service.
struct Run {
    QTemporaryDir dir;
    Broker broker;
    Ui ui;
    Program sim;
    QString screens() const { return dir.filePath("screens"); }
    bool start() {
        const QString quellan = dir.filePath("quellan");
        qputenv("QUELLAN_SCREENSHOT_DIR", screens().toUtf8());
        const QStringList at{"-H", broker.host(), "-P", QString::number(broker.port())};
        return broker.start() && QFile::copy(QStringLiteral(QUELLAN_BINARY), quellan) &&
               writeFile(dir.filePath("serialnumber"), "E2E-000001\n") &&
               writeFile(dir.filePath("gui.conf"),
                         "[gui]\ndeviceId=" + dir.filePath("serialnumber").toUtf8() + "\n") &&
               writeFile(dir.filePath("start.json"), R"({ "steps": [ { "do": "ignition on" },
                   { "do": "status init" }, { "wait": 1500, "do": "status online" } ] })") &&
               ui.start(quellan, at + QStringList{"-e", "-v", "2", "-f", dir.filePath("gui.conf")},
                        dir.path()) &&
               ui.reaches("Busy") &&
               sim.start(QStringLiteral(QUELLAN_DEVSIM_BINARY),
                         at + QStringList{"--scenario", dir.filePath("start.json")}, dir.path()) &&
               ui.reaches("ScanScreens");
    }
};
}  // namespace

class EndToEnd : public QObject {
    Q_OBJECT

private slots:
    // The benchmarks' idle run: a second of settling, a second counted on the idle screen,
    // one line of figures, and a clean exit. Each change of screen is reported once, and so
    // is the first frame drawn after it. With no scene-graph backend chosen and no OpenGL
    // context to be had (none offscreen) it draws with the software renderer and says so once.
    void benchmarkRunEndsByItself() {
        qputenv("QUELLAN_BENCH_IDLE_SECONDS", "1");
        qputenv("QUELLAN_BENCH_PROBE", "1");
        qunsetenv("QT_QUICK_BACKEND");
        Run run;
        QVERIFY2(run.start(), qPrintable(run.ui.output + run.sim.output));
        QVERIFY(waitUntil([&] { return run.ui.process.state() == QProcess::NotRunning; }, 20000));
        QCOMPARE(run.ui.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.ui.process.exitCode(), 0);
        QCOMPARE(run.ui.output.count("drawing with the software renderer"), 1);
        const QStringList lines = run.ui.output.split('\n');
        QCOMPARE(
            lines.filter(QRegularExpression("^QUELLAN_BENCH first-frame mono_us=\\d+ ")).size(), 1);
        const QStringList idle = lines.filter("QUELLAN_BENCH idle ");
        QCOMPARE(idle.size(), 1);
        QVERIFY2(
            idle.first().contains(QRegularExpression("frames=\\d+ cpu_ms=[\\d.]+ wall_ms=\\d{4,} "
                                                     "screen=ScanScreens ")),
            qPrintable(idle.first()));
        const QStringList changes = lines.filter("QUELLAN_BENCH screen screen=");
        QCOMPARE(lines.filter("QUELLAN_BENCH frame screen=").size(), changes.size());
        QVERIFY(changes.last().contains("screen=ScanScreens"));
        QVERIFY(QFile::exists(QDir(run.screens()).filePath("001-Busy.png")));
    }
};

QTEST_GUILESS_MAIN(EndToEnd)
#include "e2e_devsim.moc"
