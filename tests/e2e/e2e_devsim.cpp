// The whole product end to end: a real broker, the device simulator and the quellan
// program itself (offscreen). The screens must follow the services: "Busy" at start,
// "ScanScreens" once the validator is online and the ignition on, "Valid" after a
// validation and back (its 3 s are the GUI manager suite's), "ScreenSaver" when the ignition goes
// off, as its log says and its screen recorder saves them.
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
}  // namespace

class EndToEnd : public QObject {
    Q_OBJECT

private slots:
    void screensFollowTheServices();
};

void EndToEnd::screensFollowTheServices() {
    QTemporaryDir dir;
    Broker broker;
    QVERIFY(broker.start());
    // The program keeps its event store beside itself: run a copy in the folder.
    const QString quellan = dir.filePath("quellan");
    QVERIFY(QFile::copy(QStringLiteral(QUELLAN_BINARY), quellan));
    QVERIFY(writeFile(dir.filePath("serialnumber"), "E2E-000001\n"));
    QVERIFY(writeFile(dir.filePath("gui.conf"),
                      "[gui]\ndeviceId=" + dir.filePath("serialnumber").toUtf8() + "\n"));
    // The start: the vehicle running, the validator starting, then in service.
    QVERIFY(writeFile(dir.filePath("start.json"), R"({ "steps": [ { "do": "ignition on" },
        { "do": "status init" }, { "wait": 1500, "do": "status online" } ] })"));
    qputenv("QUELLAN_SCREENSHOT_DIR", dir.filePath("screens").toUtf8());

    Ui ui;
    QVERIFY(ui.start(quellan,
                     {"-e", "-v", "2", "-H", broker.host(), "-P", QString::number(broker.port()),
                      "-f", dir.filePath("gui.conf")},
                     dir.path()));
    QVERIFY2(ui.reaches("Busy"), qPrintable(ui.output));
    Program sim;
    QVERIFY(sim.start(QStringLiteral(QUELLAN_DEVSIM_BINARY),
                      {"-H", broker.host(), "-P", QString::number(broker.port()), "--scenario",
                       dir.filePath("start.json")},
                      dir.path()));
    QVERIFY2(ui.reaches("ScanScreens"), qPrintable(ui.output + sim.output));

    // A validation: "Valid", then back (the readers, sounds and LEDs that go with it are
    // the GUI manager's suite's).
    sim.process.write("validate epurse\n");
    QVERIFY2(ui.reaches("Valid"), qPrintable(ui.output));
    QVERIFY(ui.reaches("ScanScreens"));

    sim.process.write("ignition off\n");
    QVERIFY2(ui.reaches("ScreenSaver"), qPrintable(ui.output));

    // The program records its screens in the same order.
    QVERIFY(waitUntil(
        [&] {
            return !QDir(dir.filePath("screens"))
                        .entryList({"*-ScreenSaver.png"}, QDir::Files)
                        .isEmpty();
        },
        20000));
    QVERIFY(QDir(dir.filePath("screens"))
                .entryList({"*.png"}, QDir::Files, QDir::Name)
                .first()
                .startsWith("001-Busy"));
}

QTEST_GUILESS_MAIN(EndToEnd)
#include "e2e_devsim.moc"
