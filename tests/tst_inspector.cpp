// The inspector manager against a real broker and a peer playing its service.

#include <QtTest>
#include <memory>

#include "Inspector.h"
#include "support/ServiceRig.h"

using manager::Inspector;

class TestInspector : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_rig = std::make_unique<ServiceRig>("zorv/inspector");
        m_inspector = m_rig->make<Inspector>("zorv/inspector");
        QVERIFY(m_rig->start());
        QCOMPARE(m_rig->sent(), (QStringList{"/audio/get {}", "/stats/memory/get {}",
                                             "/stats/disk/get {}", "/stats/cpu/get {}"}));
    }

    void cleanup() { m_rig.reset(); }

    void mirror() {
        Emissions watch(m_inspector);
        QVERIFY(send("/status", "status"));
        QVERIFY(send("/info", "info"));
        QVERIFY(send("/audio", "audio"));
        QVERIFY(send("/stats/cpu", "stats-cpu"));
        QCOMPARE(watch.take(), QString("infoChanged statusChanged audioVolumeChanged"));
        QCOMPARE(m_inspector->status(), QString("online"));
        QCOMPARE(m_inspector->info(), (QVariantMap{{"version", "3.2.0"}}));
        QVERIFY(send("/audio", "audio"));
        QVERIFY(send("/status", "status-offline"));
        QCOMPARE(watch.take(), QString("statusChanged"));
        QCOMPARE(m_inspector->status(), QString("offline"));
    }

    void soundRequests() {
        m_inspector->setAudioVolume(65);
        m_inspector->audioPlay("/usr/share/sounds/beep.wav");
        QCOMPARE(
            m_rig->sent(),
            (QStringList{
                R"(/audio/set {"internal":{"volume":65}})",
                R"(/audio/play {"device":"internal","filepath":"/usr/share/sounds/beep.wav"})"}));
    }

    void powerRequestsWaitTheirPause() {
        // The screens show the farewell for two seconds; only then the request goes out.
        QSignalSpy reboot(m_inspector, &Inspector::systemRebootStarted);
        QSignalSpy shutdown(m_inspector, &Inspector::systemShutdownStarted);
        m_inspector->systemReboot();
        m_inspector->systemShutdown();
        QCOMPARE(reboot.count() + shutdown.count(), 2);
        QTest::qWait(1700);
        QCOMPARE(m_rig->sent(), QStringList());
        QVERIFY(waitUntil(
            [&] { return m_rig->service().count("zorv/inspector/power/shutdown/request/1"); },
            800));
        QCOMPARE(m_rig->sent(),
                 (QStringList{"/power/reboot/request/1 ", "/power/shutdown/request/1 "}));
    }

    void scheduledShutdown() {
        QSignalSpy shutdown(m_inspector, &Inspector::systemShutdownStarted);
        // Unusable delays never power off early: a negative one is ignored, one beyond
        // what a timer can count (here 2^29 s, whose milliseconds wrap to 0) is shortened.
        m_inspector->scheduleShutdown(-1);
        QTest::qWait(100);  // a timer of 0 ms would have fired
        m_inspector->scheduleShutdown(1 << 29);
        QTest::qWait(100);
        QCOMPARE(shutdown.count(), 0);
        m_inspector->abortShutdown();
        // Aborted (the ignition back on): no shutdown; otherwise one after the delay.
        m_inspector->scheduleShutdown(1);
        m_inspector->abortShutdown();
        QTest::qWait(1200);
        QCOMPARE(shutdown.count(), 0);
        m_inspector->scheduleShutdown(1);
        QTRY_COMPARE_WITH_TIMEOUT(shutdown.count(), 1, 5000);
    }

private:
    bool send(const QString& suffix, const QString& name) {
        return m_rig->send(suffix, fixture("inspector/" + name + ".json"));
    }
    std::unique_ptr<ServiceRig> m_rig;
    Inspector* m_inspector = nullptr;
};

QTEST_GUILESS_MAIN(TestInspector)
#include "tst_inspector.moc"
