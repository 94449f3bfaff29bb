// The board manager against a real broker and a peer playing the board service.

#include <QtTest>
#include <memory>

#include "Board.h"
#include "support/ServiceRig.h"

using manager::Board;

class TestBoard : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_rig = std::make_unique<ServiceRig>("zorv/board");
        m_board = m_rig->make<Board>("zorv/board");
        QVERIFY(m_rig->start());
        QCOMPARE(m_rig->sent(), (QStringList{"/status/get {}", "/display/get {}", "/power/get {}",
                                             "/audio/get {}"}));
    }

    void cleanup() { m_rig.reset(); }

    void mirror_data() {
        // Sent before, the message, the signals it fires, the values it leaves ("name=value"
        // of properties or of the info map).
        QTest::addColumn<QStringList>("row");
        QTest::newRow("status") << QStringList{
            "", "status",
            "statusChanged ignitionChanged poleIdChanged temperatureChanged voltageChanged "
            "uptimeChanged",
            "status=online, ignition=true, poleId=P-0412, temperature=41.5, voltage=24.3, "
            "uptime=3600, rtcFailed=false"};
        QTest::newRow("rtc failed") << QStringList{
            "status", "status-rtc-failed", "uptimeChanged rtcFailedChanged", "rtcFailed=true"};
        QTest::newRow("service down") << QStringList{"status", "status-offline", "statusChanged",
                                                     "status=offline, poleId=P-0412"};
        QTest::newRow("inactive") << QStringList{"status", "status-inactive", "statusChanged",
                                                 "status=error, ignition=true"};
        QTest::newRow("empty") << QStringList{"status", "/status ", "statusChanged",
                                              "status=offline"};
        QTest::newRow("info") << QStringList{
            "", "info", "infoChanged",
            "firmware=2.4.1, hardwareId=ZB-00017, hardware=rev C, version=1.9.0"};
        QTest::newRow("display") << QStringList{
            "", "display",
            "displayBrightnessChanged displayBrightnessModeChanged ambientLightSensorChanged",
            "displayBrightness=80, ambientLightSensor=312, displayBrightnessMode=auto"};
        QTest::newRow("config") << QStringList{"", "config", "delayShutdownForChanged",
                                               "delayShutdownFor=30"};
        QTest::newRow("muted") << QStringList{"", "audio-muted", "audioEnabledChanged",
                                              "audioEnabled=false"};
        // The ignition input is off only for a data of 0, as a number or as a text.
        QTest::newRow("ignition 0") << QStringList{
            "event-ignition-on", R"(/event {"name": "IgnitionChanged", "data": "0"})",
            "ignitionChanged", "ignition=false"};
        QTest::newRow("ignition false") << QStringList{
            "event-ignition-off", R"(/event {"name": "IgnitionChanged", "data": false})",
            "ignitionChanged", "ignition=true"};
        // A switch is on only for a JSON true; a change of type counts as a change.
        QTest::newRow("power") << QStringList{
            R"(/power {"display": true, "touch": false})",
            R"(/power {"display": 1, "touch": false, "zz": null})",
            "peripheralPowerChanged peripheralsChanged", "peripheralPower=false"};
    }

    void mirror() {
        QFETCH(QStringList, row);
        if (!row[0].isEmpty()) {
            send(row[0]);
        }
        Emissions watch(m_board);
        send(row[1]);
        QCOMPARE(watch.take(), row[2]);
        for (const QString& pair : row[3].split(", ", Qt::SkipEmptyParts)) {
            const QString name = pair.section('=', 0, 0);
            const QVariant value = name == "status"   ? m_board->status()
                                   : name == "uptime" ? m_board->uptime()
                                   : name == "peripheralPower"
                                       ? m_board->peripheralPower("display")
                                       : m_board->property(qPrintable(name));
            QCOMPARE(value.isValid() ? value.toString() : m_board->info().value(name).toString(),
                     pair.section('=', 1));
        }
    }

    void requests() {
        // Each power report is the whole set: a switch a later report leaves out, or names
        // with null, is gone, and told off when it was on.
        send(R"(/power {"zzGone": true, "zzOld": true})");
        QSignalSpy power(m_board, &Board::peripheralPowerChanged);
        send(R"(/power {"usbHub": true, "zzGone": null, "zzModem": false} )");
        QCOMPARE(power.mid(2), (QList<QVariantList>{{"zzGone", false}, {"zzOld", false}}));
        send("config");
        m_rig->sent();
        Emissions watch(m_board);
        m_board->setPeripheralPower("display", false);
        m_board->setDisplayBrightness(55);
        m_board->setDisplayBrightnessMode("manual");
        m_board->setAudioEnabled(true);
        m_board->playBuzzer(100, 200, 3);
        m_board->setDelayShutdownFor(30);  // what the service holds: nothing to ask
        m_board->setDelayShutdownFor(31);
        m_board->setLedOff();
        m_board->setLedValid();
        m_board->setLedInvalid();
        const QStringList sent = m_rig->sent();
        QCOMPARE(sent.mid(0, 7),
                 (QStringList{
                     R"(/power/set {"display":false})", R"(/display/set {"brightness":55})",
                     R"(/display/set {"mode":"manual"})", R"(/audio/set {"mute":false})",
                     R"(/buzzer/play/request/1 {"offMsec":200,"onMsec":100,"repeat":3})",
                     R"(/config/set {"device":{"delayShutdownFor":31}})", "/led/off/request/1 "}));
        // Valid is green, invalid red.
        QVERIFY(sent.value(7).contains(
            R"(/led/play/request/1 {"repeat":3,"steps":[{"color":{"b":0,"g":255,"r":0})"));
        QVERIFY(sent.value(8).contains(
            R"(/led/play/request/1 {"repeat":3,"steps":[{"color":{"b":0,"g":0,"r":255})"));
        QCOMPARE(watch.take(), QString());  // the mirror follows the service's next report
        // The peripherals page names a known switch; an unknown one is listed bare.
        QCOMPARE(
            m_board->peripherals(),
            (QVariantList{QVariantMap{{"item", "usbHub"}, {"descr", "USB Hub"}, {"value", true}},
                          QVariantMap{{"item", "zzModem"}, {"descr", ""}, {"value", false}}}));
        // A page that monitors the board asks at once, then every period until it closes.
        const QTimer* monitor = m_board->findChild<QTimer*>("monitorTimer");
        m_board->monitor(1000);
        QVERIFY(monitor->isActive() && !monitor->isSingleShot() && monitor->interval() == 1000);
        m_board->monitor(0);
        QVERIFY(!monitor->isActive());
    }

private:
    // "name" sends examples/messages/board/name.json to the topic before its first '-';
    // "/suffix payload" sends the payload as it stands.
    void send(const QString& message) {
        const bool named = !message.startsWith('/');
        QVERIFY(m_rig->send(
            named ? "/" + message.section('-', 0, 0) : message.section(' ', 0, 0),
            named ? fixture("board/" + message + ".json") : message.section(' ', 1).toUtf8()));
    }
    std::unique_ptr<ServiceRig> m_rig;
    Board* m_board = nullptr;
};

QTEST_GUILESS_MAIN(TestBoard)
#include "tst_board.moc"
