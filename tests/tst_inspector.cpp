// The inspector manager against a real broker, with a peer playing the system
// inspector service: status, version and volume mirrored, sound and volume requests
// byte for byte, and the reboot and power-off requests with their pause and the
// delayed power-off that the ignition starts and stops.

#include <QElapsedTimer>
#include <QtTest>
#include <memory>

#include "Inspector.h"
#include "support/ServiceRig.h"

using manager::Inspector;

namespace {

const QString kBase = QStringLiteral("zorv/inspector");
}  // namespace

class TestInspector : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void asksForStateOnEveryConnection();
    void mirrorsStatusInfoAndVolume();
    void statisticsAreDroppedSilently();
    void soundRequestsGoOutByteForByte();
    void rebootAndPowerOffWaitTheirPause();
    void delayedPowerOff();
    void aSecondScheduleRestartsTheCount();
    void abortStopsOnlyTheCount();
    void unusableDelaysNeverPowerOffEarly();
    void monitorRefreshesUntilStopped();
    void malformedPayloadIsDroppedWithOneLine_data();
    void malformedPayloadIsDroppedWithOneLine();

private:
    void seed();

    std::unique_ptr<ServiceRig> m_rig;
    std::unique_ptr<Inspector> m_inspector;
};

void TestInspector::init() {
    m_rig = std::make_unique<ServiceRig>(kBase);
    m_inspector = std::make_unique<Inspector>(m_rig->client(), kBase);
    QVERIFY(m_rig->start());
}

void TestInspector::cleanup() {
    m_inspector.reset();
    m_rig.reset();
}

void TestInspector::seed() {
    QVERIFY(m_rig->send("/status", fixture("inspector/status.json")));
    QVERIFY(m_rig->send("/info", fixture("inspector/info.json")));
    QVERIFY(m_rig->send("/audio", fixture("inspector/audio.json")));
    QCOMPARE(m_inspector->status(), QStringLiteral("online"));
}

void TestInspector::asksForStateOnEveryConnection() {
    const QStringList gets = {kBase + "/audio/get", kBase + "/stats/memory/get",
                              kBase + "/stats/disk/get", kBase + "/stats/cpu/get"};
    auto sentGets = [&] {
        QStringList topics;
        for (const Peer::Message& message : m_rig->service().messages()) {
            if (gets.contains(message.topic)) {
                topics.append(message.topic + ' ' + QString::fromUtf8(message.payload));
            }
        }
        return topics;
    };
    QStringList expected;
    for (const QString& topic : gets) {
        expected << topic + " {}";
    }
    QVERIFY(waitUntil([&] { return sentGets().size() == 4; }));
    QCOMPARE(sentGets(), expected);

    LogCapture log;
    m_rig->service().clear();
    emit m_rig->client().connected();
    QVERIFY(waitUntil([&] { return sentGets().size() == 4; }));
    QCOMPARE(sentGets(), expected);
    QVERIFY(log.contains(QtInfoMsg, "[Inspector]  Refreshing data"));
}

void TestInspector::mirrorsStatusInfoAndVolume() {
    LogCapture log;
    QSignalSpy status(m_inspector.get(), &Inspector::statusChanged);
    QSignalSpy info(m_inspector.get(), &Inspector::infoChanged);
    QSignalSpy volume(m_inspector.get(), &Inspector::audioVolumeChanged);

    QVERIFY(m_rig->send("/status", fixture("inspector/status.json")));
    QCOMPARE(m_inspector->status(), QStringLiteral("online"));
    QCOMPARE(status.count(), 1);
    QVERIFY(
        log.contains(QtInfoMsg, "[Inspector]  Processing status topic  \"zorv/inspector/status\""));
    QVERIFY(log.contains(QtInfoMsg, "[Inspector]  Status changed :  \"online\""));
    QVERIFY(m_rig->send("/status", fixture("inspector/status.json")));
    QCOMPARE(status.count(), 1);
    QVERIFY(m_rig->send("/status", fixture("inspector/status-offline.json")));
    QCOMPARE(m_inspector->status(), QStringLiteral("offline"));
    QCOMPARE(status.count(), 2);

    // "service" alone decides; "device" is not looked at.
    QVERIFY(m_rig->send("/status", R"({"device": {"active": true}})"));
    QCOMPARE(m_inspector->status(), QStringLiteral("offline"));
    QCOMPARE(status.count(), 2);
    QVERIFY(m_rig->send("/status", R"({"service": true, "device": {"active": false}})"));
    QCOMPARE(m_inspector->status(), QStringLiteral("online"));
    QCOMPARE(status.count(), 3);

    QVERIFY(m_rig->send("/info", fixture("inspector/info.json")));
    QCOMPARE(m_inspector->info(), (QVariantMap{{"version", "3.2.0"}}));
    QVERIFY(m_rig->send("/info", fixture("inspector/info.json")));
    QCOMPARE(info.count(), 2);  // every time, changed or not

    QVERIFY(m_rig->send("/audio", fixture("inspector/audio.json")));
    QCOMPARE(m_inspector->audioVolume(), 40);
    QCOMPARE(volume.count(), 1);
    QVERIFY(m_rig->send("/audio", fixture("inspector/audio.json")));
    QCOMPARE(volume.count(), 1);
    // A missing volume reads as 0 and counts.
    QVERIFY(m_rig->send("/audio", R"({"internal": {}})"));
    QCOMPARE(m_inspector->audioVolume(), 0);
    QCOMPARE(volume.count(), 2);
}

void TestInspector::statisticsAreDroppedSilently() {
    seed();
    LogCapture log;
    Emissions watch(m_inspector.get());
    QVERIFY(m_rig->send("/stats/cpu", fixture("inspector/stats-cpu.json")));
    QVERIFY(m_rig->send("/stats/memory", fixture("inspector/stats-memory.json")));
    QVERIFY(m_rig->send("/stats/disk", fixture("inspector/stats-disk.json")));
    QVERIFY(watch.unchanged());
    QCOMPARE(watch.take(), QString());
    QVERIFY(log.startingWith("[Inspector] ").isEmpty());
}

void TestInspector::soundRequestsGoOutByteForByte() {
    seed();
    LogCapture log;
    Emissions watch(m_inspector.get());
    const QByteArray volume40 = indented(R"({"internal": {"volume": 40}})");

    // Equal to the held volume and asked twice: both go out.
    m_inspector->setAudioVolume(40);
    QVERIFY(m_inspector->setProperty("audioVolume", 40));
    m_inspector->audioPlay("/opt/zorv/quellan/Valid.wav");
    m_inspector->audioPlay("/tmp/with blank/ünï.wav");

    QVERIFY(m_rig->waitForRequests("/audio/set", 2));
    QVERIFY(m_rig->waitForRequests("/audio/play", 2));
    QCOMPARE(m_rig->requests("/audio/set"), (QList<QByteArray>{volume40, volume40}));
    QCOMPARE(m_rig->requests("/audio/play"),
             (QList<QByteArray>{
                 indented(R"({"device": "internal", "filepath": "/opt/zorv/quellan/Valid.wav"})"),
                 indented(R"({"device": "internal", "filepath": "/tmp/with blank/ünï.wav"})")}));
    QVERIFY(watch.unchanged());
    QCOMPARE(watch.take(), QString());
    QVERIFY(log.contains(QtInfoMsg, "[Inspector]  Setting 'internal' audio volume :  40 %"));
    QVERIFY(log.contains(
        QtInfoMsg,
        "[Inspector]  Playing audio file (card='internal') :  \"/opt/zorv/quellan/Valid.wav\""));
}

void TestInspector::rebootAndPowerOffWaitTheirPause() {
    LogCapture log;
    QSignalSpy reboot(m_inspector.get(), &Inspector::systemRebootStarted);
    QSignalSpy shutdown(m_inspector.get(), &Inspector::systemShutdownStarted);

    QElapsedTimer clock;
    clock.start();
    m_inspector->systemReboot();
    QCOMPARE(reboot.count(), 1);  // at once, so the screen can announce it
    QVERIFY(log.contains(QtInfoMsg, "[Inspector]  Requesting System reboot"));
    QVERIFY(m_rig->waitForRequests("/power/reboot/request/1", 1));
    QVERIFY(clock.elapsed() >= 1800);  // the pause, less a coarse timer's tolerance
    QCOMPARE(m_rig->requests("/power/reboot/request/1"), QList<QByteArray>{QByteArray()});

    clock.restart();
    m_inspector->systemShutdown();
    QCOMPARE(shutdown.count(), 1);
    QVERIFY(log.contains(QtInfoMsg, "[Inspector]  Requesting System shutdown"));
    QVERIFY(m_rig->waitForRequests("/power/shutdown/request/1", 1));
    QVERIFY(clock.elapsed() >= 1800);
    QCOMPARE(m_rig->requests("/power/shutdown/request/1"), QList<QByteArray>{QByteArray()});
    QCOMPARE(reboot.count(), 1);
    QCOMPARE(m_rig->requests("/power/reboot/request/1").size(), 1);
}

void TestInspector::delayedPowerOff() {
    // The count, then the same pause as a power-off at once.
    LogCapture log;
    QSignalSpy shutdown(m_inspector.get(), &Inspector::systemShutdownStarted);
    QElapsedTimer clock;
    clock.start();
    m_inspector->scheduleShutdown(1);
    QVERIFY(log.contains(QtInfoMsg, "[Inspector]  Scheduling System shutdown in :  1  sec(s)"));
    QVERIFY(shutdown.wait(3000));
    QVERIFY(clock.elapsed() >= 900);
    QVERIFY(m_rig->waitForRequests("/power/shutdown/request/1", 1));
    QVERIFY(clock.elapsed() >= 2800);
    QCOMPARE(shutdown.count(), 1);
}

void TestInspector::aSecondScheduleRestartsTheCount() {
    QSignalSpy shutdown(m_inspector.get(), &Inspector::systemShutdownStarted);
    m_inspector->scheduleShutdown(2);
    QTest::qWait(500);
    QElapsedTimer clock;
    clock.start();
    m_inspector->scheduleShutdown(3);
    // The first count would have ended 1.5 s after the second call.
    QVERIFY(shutdown.wait(5000));
    QVERIFY(clock.elapsed() >= 2800);
    QVERIFY(m_rig->waitForRequests("/power/shutdown/request/1", 1));
    QTest::qWait(500);
    QVERIFY(m_rig->flush());
    QCOMPARE(shutdown.count(), 1);
    QCOMPARE(m_rig->requests("/power/shutdown/request/1").size(), 1);
}

void TestInspector::abortStopsOnlyTheCount() {
    LogCapture log;
    QSignalSpy shutdown(m_inspector.get(), &Inspector::systemShutdownStarted);

    // Harmless while nothing counts.
    m_inspector->abortShutdown();
    QVERIFY(log.contains(QtInfoMsg, "[Inspector]  Aborting System shutdown"));

    m_inspector->scheduleShutdown(2);
    QTest::qWait(300);
    m_inspector->abortShutdown();
    QTest::qWait(3000);
    QVERIFY(m_rig->flush());
    QCOMPARE(shutdown.count(), 0);
    QCOMPARE(m_rig->requests("/power/shutdown/request/1").size(), 0);

    // Past the count, inside the pause, the request still goes out.
    m_inspector->scheduleShutdown(0);
    QVERIFY(shutdown.wait(1000));
    m_inspector->abortShutdown();
    QVERIFY(m_rig->waitForRequests("/power/shutdown/request/1", 1));
}

void TestInspector::unusableDelaysNeverPowerOffEarly() {
    LogCapture log;
    QSignalSpy shutdown(m_inspector.get(), &Inspector::systemShutdownStarted);

    // Counted naively in milliseconds this delay wraps round to 704 ms.
    m_inspector->scheduleShutdown(4294968);
    QCOMPARE(log.startingWith("[Inspector]  WARN: ").size(), 1);
    QTest::qWait(1500);
    QCOMPARE(shutdown.count(), 0);
    m_inspector->abortShutdown();

    // A negative delay is dropped with a warning; a count in progress goes on.
    log.clear();
    m_inspector->scheduleShutdown(1);
    m_inspector->scheduleShutdown(-1);
    const auto warnings = log.startingWith("[Inspector]  WARN: ");
    QCOMPARE(warnings.size(), 1);
    QCOMPARE(warnings.first().type, QtWarningMsg);
    QVERIFY(shutdown.wait(3000));
    QVERIFY(m_rig->waitForRequests("/power/shutdown/request/1", 1));
}

void TestInspector::monitorRefreshesUntilStopped() {
    QVERIFY(m_rig->waitForRequests("/stats/cpu/get", 1));
    QVERIFY(m_rig->flush());
    m_rig->service().clear();

    // Stopping a monitor that never ran only logs.
    LogCapture log;
    m_inspector->monitor(0);
    QVERIFY(log.contains(QtInfoMsg, "[Inspector]  Monitor stopped"));
    QVERIFY(m_rig->flush());
    QCOMPARE(m_rig->service().count(kBase + "/audio/get"), 0);

    m_inspector->monitor(150);
    QVERIFY(log.contains(QtInfoMsg, "[Inspector]  Monitor started :  150  msec(s)"));
    QVERIFY(m_rig->waitForRequests("/audio/get", 3));
    QVERIFY(m_rig->waitForRequests("/stats/cpu/get", 3));
    m_inspector->monitor(0);
    QVERIFY(m_rig->flush());
    const int sent = m_rig->service().count(kBase + "/audio/get");
    QTest::qWait(600);
    QVERIFY(m_rig->flush());
    QCOMPARE(m_rig->service().count(kBase + "/audio/get"), sent);
}

void TestInspector::malformedPayloadIsDroppedWithOneLine_data() {
    QTest::addColumn<QString>("suffix");
    for (const char* suffix :
         {"/info", "/status", "/audio", "/stats/cpu", "/stats/memory", "/stats/disk"}) {
        QTest::newRow(suffix) << QString::fromLatin1(suffix);
    }
}

void TestInspector::malformedPayloadIsDroppedWithOneLine() {
    QFETCH(QString, suffix);
    seed();
    LogCapture log;
    Emissions watch(m_inspector.get());
    QVERIFY(m_rig->send(suffix, R"({"internal": {"volume": 70)"));

    QVERIFY(watch.unchanged());
    QCOMPARE(watch.take(), QString());
    const auto lines = log.startingWith("[Inspector] ");
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines.first().type, QtCriticalMsg);
    QVERIFY2(lines.first().text.startsWith("[Inspector]  Failed to parse JSON message:  \""),
             qPrintable(lines.first().text));

    // An empty payload is an empty object: for "/status" that means offline.
    if (suffix == "/status") {
        QVERIFY(m_rig->send(suffix, QByteArray()));
        QCOMPARE(m_inspector->status(), QStringLiteral("offline"));
    }
}

QTEST_GUILESS_MAIN(TestInspector)
#include "tst_inspector.moc"
