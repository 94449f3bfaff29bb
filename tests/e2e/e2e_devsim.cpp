// The whole product end to end: a real broker, the device simulator and the quellan
// program itself (offscreen). The screens must follow the services: "Busy" at
// start, "ScanScreens" once the validator is online and the ignition on, "Valid"
// for 3 s after a validation and back, "OutOfOrder" with the reason code when the
// validator goes offline, "ScreenSaver" when the ignition goes off. The checks read
// the program's log and what it publishes on the broker.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "Broker.h"
#include "Peer.h"

namespace {

// A program whose output is collected while the test's event loop runs.
class Program {
public:
    ~Program() { stop(); }

    void start(const QString& path, const QStringList& arguments, const QString& workDir) {
        m_process.setWorkingDirectory(workDir);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&m_process, &QProcess::readyRead,
                         [this] { m_output += QString::fromUtf8(m_process.readAll()); });
        m_process.start(path, arguments);
    }
    bool waitForStarted() { return m_process.waitForStarted(10000); }
    void write(const QByteArray& line) { m_process.write(line + '\n'); }
    QString output() const { return m_output; }
    bool running() const { return m_process.state() == QProcess::Running; }
    void stop() {
        if (m_process.state() == QProcess::NotRunning) {
            return;
        }
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

private:
    QProcess m_process;
    QString m_output;
};

// The screens in the order the program's log names them ("Setting screen : ...").
QStringList screens(const QString& log) {
    static const QRegularExpression line(QStringLiteral("Setting screen\\s*:\\s*\"?([A-Za-z]+)"));
    QStringList names;
    auto it = line.globalMatch(log);
    while (it.hasNext()) {
        names << it.next().captured(1);
    }
    return names;
}

QString lastScreen(const QString& log) {
    const QStringList names = screens(log);
    return names.isEmpty() ? QString() : names.last();
}

}  // namespace

class EndToEnd : public QObject {
    Q_OBJECT

private slots:
    void screensFollowTheServices();
};

void EndToEnd::screensFollowTheServices() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Broker broker;
    QVERIFY(broker.start());
    Peer peer;
    QVERIFY(peer.connect(broker.host(), broker.port(), QStringLiteral("observer")));
    QVERIFY(peer.subscribe(QStringLiteral("#")));

    // The program keeps its event store beside itself: run a copy in the folder.
    const QString quellan = dir.filePath(QStringLiteral("quellan"));
    QVERIFY(QFile::copy(QStringLiteral(QUELLAN_BINARY), quellan));
    QFile serial(dir.filePath(QStringLiteral("serialnumber")));
    QVERIFY(serial.open(QIODevice::WriteOnly));
    serial.write("E2E-000001\n");
    serial.close();
    QFile conf(dir.filePath(QStringLiteral("gui.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("[gui]\ndeviceId=" + serial.fileName().toUtf8() + "\n");
    conf.close();
    // The start: the vehicle running, the validator starting, then in service.
    QFile scenario(dir.filePath(QStringLiteral("start.json")));
    QVERIFY(scenario.open(QIODevice::WriteOnly));
    scenario.write(R"({ "steps": [
        { "do": "ignition on" },
        { "do": "status init" },
        { "wait": 1500, "do": "status online" } ] })");
    scenario.close();

    qputenv("QUELLAN_SCREENSHOT_DIR", dir.filePath(QStringLiteral("screens")).toUtf8());
    Program ui;
    ui.start(quellan,
             {QStringLiteral("-e"), QStringLiteral("-v"), QStringLiteral("2"), QStringLiteral("-H"),
              broker.host(), QStringLiteral("-P"), QString::number(broker.port()),
              QStringLiteral("-f"), conf.fileName()},
             dir.path());
    QVERIFY(ui.waitForStarted());
    QVERIFY2(waitUntil([&] { return !screens(ui.output()).isEmpty(); }, 20000),
             qPrintable(ui.output()));
    QCOMPARE(screens(ui.output()).first(), QStringLiteral("Busy"));

    Program sim;
    sim.start(QStringLiteral(QUELLAN_DEVSIM_BINARY),
              {QStringLiteral("-H"), broker.host(), QStringLiteral("-P"),
               QString::number(broker.port()), QStringLiteral("--scenario"), scenario.fileName()},
              dir.path());
    QVERIFY(sim.waitForStarted());

    // In service: the UI switched both readers on.
    QVERIFY2(
        waitUntil([&] { return lastScreen(ui.output()) == QLatin1String("ScanScreens"); }, 20000),
        qPrintable(ui.output() + sim.output()));
    QVERIFY(screens(ui.output()).contains(QStringLiteral("Busy")));
    QVERIFY(waitUntil([&] {
        return peer.count(QStringLiteral("zorv/rfid/enable")) > 0 &&
               peer.count(QStringLiteral("zorv/barcode/enable")) > 0;
    }));

    // A validation: "Valid" with its sound, then back to the passenger screen.
    const int before = screens(ui.output()).size();
    sim.write("validate epurse");
    QVERIFY2(waitUntil([&] {
                 return screens(ui.output()).mid(before).contains(QStringLiteral("Valid"));
             }),
             qPrintable(ui.output()));
    QElapsedTimer shown;
    shown.start();
    QVERIFY(waitUntil([&] {
        for (const Peer::Message& message :
             peer.messages(QStringLiteral("zorv/inspector/audio/play"))) {
            if (message.payload.contains("Valid.wav")) {
                return true;
            }
        }
        return false;
    }));
    QVERIFY(
        waitUntil([&] { return lastScreen(ui.output()) == QLatin1String("ScanScreens"); }, 10000));
    // It stayed for its three seconds (give or take the scheduling of two programs).
    QVERIFY2(shown.elapsed() >= 2500, qPrintable(QString::number(shown.elapsed())));
    QVERIFY(ui.output().contains(
        QRegularExpression(QStringLiteral("Screen timeout\\s*:\\s*\"?Valid"))));

    // The validator service stops: out of order with the reason code, readers off.
    peer.clear();
    sim.write("status service-down");
    QVERIFY2(waitUntil([&] { return lastScreen(ui.output()) == QLatin1String("OutOfOrder"); }),
             qPrintable(ui.output()));
    // The reason follows the status in the log, with the code the screen shows.
    QVERIFY(waitUntil([&] { return ui.output().contains(QStringLiteral("#0002")); }));
    QVERIFY(waitUntil([&] { return peer.count(QStringLiteral("zorv/rfid/disable")) > 0; }));

    // Back in service, then the ignition goes off: the screen saver.
    sim.write("status online");
    QVERIFY(waitUntil([&] { return lastScreen(ui.output()) == QLatin1String("ScanScreens"); }));
    sim.write("ignition off");
    QVERIFY2(waitUntil([&] { return lastScreen(ui.output()) == QLatin1String("ScreenSaver"); }),
             qPrintable(ui.output()));
    QVERIFY(ui.running());

    // Where the program records its screens, the pictures follow the same order.
    const QStringList pictures = QDir(dir.filePath(QStringLiteral("screens")))
                                     .entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    if (!pictures.isEmpty()) {
        QVERIFY(pictures.first().startsWith(QLatin1String("001-Busy")));
        QVERIFY(waitUntil(
            [&] {
                return !QDir(dir.filePath(QStringLiteral("screens")))
                            .entryList({QStringLiteral("*-ScreenSaver.png")}, QDir::Files)
                            .isEmpty();
            },
            5000));
    }
    sim.stop();
    ui.stop();
}

QTEST_GUILESS_MAIN(EndToEnd)
#include "e2e_devsim.moc"
