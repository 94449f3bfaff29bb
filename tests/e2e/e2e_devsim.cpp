// The whole product end to end, run as the benchmarks run it: a real broker, the device
// simulator bringing the validator into service, and the quellan program itself
// (offscreen, a copy in its own folder, where it keeps its event store) recording its
// screens. The screens after the idle one, results and the screen saver, are the GUI
// manager suite's.
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "../support/Files.h"
#include "../support/Program.h"
#include "Broker.h"
#include "Peer.h"  // waitUntil

class EndToEnd : public QObject {
    Q_OBJECT

private slots:
    // "Busy" at start, "ScanScreens" once the validator is online and the ignition on;
    // then a second counted on the idle screen, one line of figures and a clean exit.
    // Each change of screen is reported once, and so is the first frame drawn after it.
    // With no scene-graph backend chosen and no OpenGL context to be had (none
    // offscreen) it draws with the software renderer and says so once.
    void benchmarkRunEndsByItself() {
        qputenv("QUELLAN_BENCH_IDLE_SECONDS", "1");
        qputenv("QUELLAN_BENCH_PROBE", "1");
        qunsetenv("QT_QUICK_BACKEND");
        QTemporaryDir dir;
        qputenv("QUELLAN_SCREENSHOT_DIR", dir.filePath("screens").toUtf8());
        Broker broker;
        QVERIFY(broker.start());
        const QStringList at{"-H", broker.host(), "-P", QString::number(broker.port())};
        const QString quellan = dir.filePath("quellan");
        QVERIFY(QFile::copy(QStringLiteral(QUELLAN_BINARY), quellan) &&
                writeFile(dir.filePath("serialnumber"), "E2E-000001\n") &&
                writeFile(dir.filePath("gui.conf"),
                          "[gui]\ndeviceId=" + dir.filePath("serialnumber").toUtf8() + "\n") &&
                writeFile(dir.filePath("start.json"), R"({ "steps": [ { "do": "ignition on" },
                    { "do": "status init" }, { "wait": 1500, "do": "status online" } ] })"));
        Program ui, sim;
        QVERIFY(ui.start(quellan, at + QStringList{"-e", "-v", "2", "-f", dir.filePath("gui.conf")},
                         dir.path()));
        QVERIFY(sim.start(QStringLiteral(QUELLAN_DEVSIM_BINARY),
                          at + QStringList{"--scenario", dir.filePath("start.json")}, dir.path()));
        QVERIFY2(waitUntil([&] { return ui.process.state() == QProcess::NotRunning; }, 30000),
                 qPrintable(ui.output + sim.output));
        QCOMPARE(ui.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(ui.process.exitCode(), 0);
        QCOMPARE(ui.output.count("drawing with the software renderer"), 1);
        const QStringList lines = ui.output.split('\n');
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
        QVERIFY(QFile::exists(dir.filePath("screens/001-Busy.png")));
    }
};

QTEST_GUILESS_MAIN(EndToEnd)
#include "e2e_devsim.moc"
