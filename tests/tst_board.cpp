// The board manager against a real broker, with a peer playing the board controller
// service: what the service reports is mirrored with exactly the signals QML needs,
// and each request leaves with its topic and payload byte for byte.

#include <QCoreApplication>
#include <QTranslator>
#include <QtTest>
#include <memory>

#include "Board.h"
#include "support/ServiceRig.h"

using manager::Board;

namespace {

// Each get request carries the two characters "{}".
QStringList withPayload(const QStringList& topics) {
    QStringList out;
    for (const QString& topic : topics) {
        out.append(topic + QStringLiteral(" {}"));
    }
    return out;
}

const QString kBase = QStringLiteral("zorv/board");

// Greek display names, so that a test can tell a translated name from the source text.
class GreekNames : public QTranslator {
public:
    QString translate(const char* context, const char* source, const char* = nullptr,
                      int = -1) const override {
        if (QByteArray(context) == "manager::Board" && QByteArray(source) == "USB Hub") {
            return QStringLiteral("Διανομέας USB");
        }
        return QString();
    }
    bool isEmpty() const override { return false; }
};

}  // namespace

class TestBoard : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void asksForStateOnEveryConnection();
    void mirrorsDeviceStatus();
    void offlineAndInactiveKeepDeviceValues();
    void missingFieldsReadAsDefaultsAndCount();
    void infoIsReplacedAndSignalledEveryTime();
    void shutdownDelayFollowsTheServiceOnly();
    void displayValues();
    void powerComparesJsonTypeAndValue();
    void peripheralsAreBuiltOnEachRead();
    void ignitionEvents_data();
    void ignitionEvents();
    void otherEventsOnlyLog();
    void audioMute();
    void requestsGoOutByteForByteAndChangeNothing();
    void ledPatterns();
    void monitorRefreshesUntilStopped();
    void malformedPayloadIsDroppedWithOneLine_data();
    void malformedPayloadIsDroppedWithOneLine();
    void emptyAndArrayPayloadsReachTheHandlers();
    void topicsThatOnlyContainTheBaseAreIgnored();

private:
    // Bring the mirror to a full, known state.
    void seed();

    std::unique_ptr<ServiceRig> m_rig;
    std::unique_ptr<Board> m_board;
};

void TestBoard::initTestCase() {
    QVERIFY2(QFileInfo(fixtureDir()).isDir(), "QUELLAN_SOURCE_DIR must name the source tree");
}

void TestBoard::init() {
    m_rig = std::make_unique<ServiceRig>(kBase);
    m_board = std::make_unique<Board>(m_rig->client(), kBase);
    QVERIFY(m_rig->start());
}

void TestBoard::cleanup() {
    m_board.reset();
    m_rig.reset();
}

void TestBoard::seed() {
    QVERIFY(m_rig->send("/status", fixture("board/status.json")));
    QVERIFY(m_rig->send("/info", fixture("board/info.json")));
    QVERIFY(m_rig->send("/config", fixture("board/config.json")));
    QVERIFY(m_rig->send("/display", fixture("board/display.json")));
    QVERIFY(m_rig->send("/power", fixture("board/power.json")));
    QVERIFY(m_rig->send("/audio", fixture("board/audio-muted.json")));
    QCOMPARE(m_board->status(), QStringLiteral("online"));
}

void TestBoard::asksForStateOnEveryConnection() {
    const QStringList gets = {kBase + "/status/get", kBase + "/display/get", kBase + "/power/get",
                              kBase + "/audio/get"};
    auto sentGets = [&] {
        QStringList topics;
        for (const Peer::Message& message : m_rig->service().messages()) {
            if (gets.contains(message.topic)) {
                topics.append(message.topic + ' ' + QString::fromUtf8(message.payload));
            }
        }
        return topics;
    };
    QVERIFY(waitUntil([&] { return sentGets().size() == 4; }));
    QCOMPARE(sentGets(), withPayload(gets));

    // "/info" and "/config" are never asked for.
    QVERIFY(m_rig->flush());
    QCOMPARE(m_rig->service().count(kBase + "/info/get"), 0);
    QCOMPARE(m_rig->service().count(kBase + "/config/get"), 0);

    // A second connection asks again.
    m_rig->service().clear();
    emit m_rig->client().connected();
    QVERIFY(waitUntil([&] { return sentGets().size() == 4; }));
    QCOMPARE(sentGets(), withPayload(gets));
}

void TestBoard::mirrorsDeviceStatus() {
    Watch watch(m_board.get());
    QSignalSpy status(m_board.get(), &Board::statusChanged);
    QSignalSpy ignition(m_board.get(), &Board::ignitionChanged);
    QSignalSpy uptime(m_board.get(), &Board::uptimeChanged);
    QSignalSpy rtc(m_board.get(), &Board::rtcFailedChanged);

    QVERIFY(m_rig->send("/status", fixture("board/status.json")));
    QCOMPARE(m_board->status(), QStringLiteral("online"));
    QCOMPARE(m_board->ignition(), true);
    QCOMPARE(m_board->poleId(), QStringLiteral("P-0412"));
    QCOMPARE(m_board->temperature(), 41.5);
    QCOMPARE(m_board->voltage(), 24.3);
    QCOMPARE(m_board->uptime(), 3600);
    QCOMPARE(m_board->rtcFailed(), false);
    // rtcFailed false equals the value held at start, so it stays silent.
    QStringList expected = {"statusChanged()",      "ignitionChanged()", "poleIdChanged()",
                            "temperatureChanged()", "voltageChanged()",  "uptimeChanged()"};
    QCOMPARE(watch.emitted(), expected);
    QCOMPARE(status.count(), 1);
    QCOMPARE(ignition.count(), 1);

    // The same report again changes nothing.
    QVERIFY(m_rig->send("/status", fixture("board/status.json")));
    QCOMPARE(status.count(), 1);
    QCOMPARE(ignition.count(), 1);
    QCOMPARE(uptime.count(), 1);

    LogCapture log;
    QVERIFY(m_rig->send("/status", fixture("board/status-rtc-failed.json")));
    QCOMPARE(m_board->rtcFailed(), true);
    QCOMPARE(m_board->uptime(), 3660);
    QCOMPARE(rtc.count(), 1);
    QCOMPARE(uptime.count(), 2);
    QCOMPARE(status.count(), 1);
    QVERIFY(log.contains(QtDebugMsg, "[Board]  RTC Status changed :  FAIL"));
    QVERIFY(log.contains(QtDebugMsg, "[Board]  Uptime changed :  3660"));
}

void TestBoard::offlineAndInactiveKeepDeviceValues() {
    seed();
    LogCapture log;
    Watch watch(m_board.get());
    QVERIFY(m_rig->send("/status", fixture("board/status-offline.json")));
    QCOMPARE(m_board->status(), QStringLiteral("offline"));
    QCOMPARE(watch.emitted(), QStringList{"statusChanged()"});
    QVERIFY(log.contains(QtInfoMsg, "[Board]  Status changed :  \"offline\""));

    // "active" false: "error", and the zeros in that message are not taken.
    QVERIFY(m_rig->send("/status", fixture("board/status-inactive.json")));
    QCOMPARE(m_board->status(), QStringLiteral("error"));
    QCOMPARE(m_board->ignition(), true);
    QCOMPARE(m_board->poleId(), QStringLiteral("P-0412"));
    QCOMPARE(m_board->temperature(), 41.5);
    QCOMPARE(m_board->uptime(), 3600);
    QCOMPARE(watch.emitted(), QStringList{"statusChanged()"});

    // A status equal to the current one logs nothing and emits nothing.
    log.clear();
    QSignalSpy status(m_board.get(), &Board::statusChanged);
    QVERIFY(m_rig->send("/status", fixture("board/status-inactive.json")));
    QCOMPARE(status.count(), 0);
    QVERIFY(log.startingWith("[Board]  Status changed").isEmpty());
}

void TestBoard::missingFieldsReadAsDefaultsAndCount() {
    seed();
    Watch watch(m_board.get());
    QVERIFY(m_rig->send("/status", R"({"service": true, "device": {"active": true}})"));
    QCOMPARE(m_board->status(), QStringLiteral("online"));
    QCOMPARE(m_board->ignition(), false);
    QCOMPARE(m_board->poleId(), QString());
    QCOMPARE(m_board->temperature(), 0.0);
    QCOMPARE(m_board->voltage(), 0.0);
    QCOMPARE(m_board->uptime(), 0);
    QStringList expected = {"ignitionChanged()", "poleIdChanged()", "temperatureChanged()",
                            "voltageChanged()", "uptimeChanged()"};
    QCOMPARE(watch.emitted(), expected);

    // Only "mode": brightness and sensor fall back to 0 and say so.
    QSignalSpy brightness(m_board.get(), &Board::displayBrightnessChanged);
    QSignalSpy sensor(m_board.get(), &Board::ambientLightSensorChanged);
    QSignalSpy mode(m_board.get(), &Board::displayBrightnessModeChanged);
    QVERIFY(m_rig->send("/display", fixture("board/display-mode-only.json")));
    QCOMPARE(m_board->displayBrightness(), 0);
    QCOMPARE(m_board->ambientLightSensor(), 0);
    QCOMPARE(m_board->displayBrightnessMode(), QStringLiteral("manual"));
    QCOMPARE(brightness.count(), 1);
    QCOMPARE(sensor.count(), 1);
    QCOMPARE(mode.count(), 1);

    // A config message without the delay sets it back to 0.
    QSignalSpy delay(m_board.get(), &Board::delayShutdownForChanged);
    QVERIFY(m_rig->send("/config", R"({"device": {}})"));
    QCOMPARE(m_board->delayShutdownFor(), 0);
    QCOMPARE(delay.count(), 1);
}

void TestBoard::infoIsReplacedAndSignalledEveryTime() {
    QSignalSpy info(m_board.get(), &Board::infoChanged);
    QVERIFY(m_rig->send("/info", fixture("board/info.json")));
    const QVariantMap expected = {{"firmware", "2.4.1"},
                                  {"hardwareId", "ZB-00017"},
                                  {"hardware", "rev C"},
                                  {"version", "1.9.0"}};
    QCOMPARE(m_board->info(), expected);
    QCOMPARE(info.count(), 1);
    QVERIFY(m_rig->send("/info", fixture("board/info.json")));
    QCOMPARE(info.count(), 2);

    QVERIFY(m_rig->send("/info", R"({"service": {"version": "2.0.0"}})"));
    const QVariantMap partial = {
        {"firmware", ""}, {"hardwareId", ""}, {"hardware", ""}, {"version", "2.0.0"}};
    QCOMPARE(m_board->info(), partial);
    QCOMPARE(info.count(), 3);
}

void TestBoard::shutdownDelayFollowsTheServiceOnly() {
    const QByteArray request30 =
        "{\n"
        "    \"device\": {\n"
        "        \"delayShutdownFor\": 30\n"
        "    }\n"
        "}\n";
    QSignalSpy delay(m_board.get(), &Board::delayShutdownForChanged);

    // A request goes out but the value stays until the service echoes it.
    LogCapture log;
    m_board->setDelayShutdownFor(30);
    QVERIFY(m_rig->waitForRequests("/config/set", 1));
    QCOMPARE(m_rig->requests("/config/set"), QList<QByteArray>{request30});
    QCOMPARE(m_board->delayShutdownFor(), 0);
    QCOMPARE(delay.count(), 0);
    QVERIFY(log.contains(QtInfoMsg, "[Board]  Setting board shutdown delay :  30  sec(s)"));

    QVERIFY(m_rig->send("/config", fixture("board/config.json")));
    QCOMPARE(m_board->delayShutdownFor(), 30);
    QCOMPARE(delay.count(), 1);
    QVERIFY(log.contains(QtInfoMsg, "[Board]  Board shutdown delay changed :  30  sec(s)"));
    QVERIFY(m_rig->send("/config", fixture("board/config.json")));
    QCOMPARE(delay.count(), 1);

    // Equal to what the service holds: nothing to ask for.
    m_board->setDelayShutdownFor(30);
    QVERIFY(m_rig->flush());
    QCOMPARE(m_rig->requests("/config/set").size(), 1);

    // QML assigning the property is the same request.
    QVERIFY(m_board->setProperty("delayShutdownFor", 0));
    QVERIFY(m_rig->waitForRequests("/config/set", 2));
    QCOMPARE(m_rig->requests("/config/set").at(1),
             QByteArray("{\n    \"device\": {\n        \"delayShutdownFor\": 0\n    }\n}\n"));
    QCOMPARE(m_board->delayShutdownFor(), 30);
}

void TestBoard::displayValues() {
    LogCapture log;
    Watch watch(m_board.get());
    QVERIFY(m_rig->send("/display", fixture("board/display.json")));
    QCOMPARE(m_board->displayBrightness(), 80);
    QCOMPARE(m_board->ambientLightSensor(), 312);
    QCOMPARE(m_board->displayBrightnessMode(), QStringLiteral("auto"));
    QStringList expected = {"displayBrightnessChanged()", "displayBrightnessModeChanged()",
                            "ambientLightSensorChanged()"};
    QCOMPARE(watch.emitted(), expected);
    QVERIFY(log.contains(QtDebugMsg, "[Board]  Display brightness changed :  80"));
    QVERIFY(log.contains(QtDebugMsg, "[Board]  Display sensor changed :  312"));
    QVERIFY(log.contains(QtDebugMsg, "[Board]  Display brightness mode changed :  \"auto\""));

    // Only the sensor moved.
    QSignalSpy brightness(m_board.get(), &Board::displayBrightnessChanged);
    QSignalSpy sensor(m_board.get(), &Board::ambientLightSensorChanged);
    QVERIFY(m_rig->send("/display", R"({"brightness": 80, "sensor": 290, "mode": "auto"})"));
    QCOMPARE(m_board->ambientLightSensor(), 290);
    QCOMPARE(brightness.count(), 0);
    QCOMPARE(sensor.count(), 1);
}

void TestBoard::powerComparesJsonTypeAndValue() {
    // Both signals in one list, to see their order.
    QStringList order;
    connect(
        m_board.get(), &Board::peripheralPowerChanged, this,
        [&](const QString& name, bool value) { order.append(name + (value ? "=on" : "=off")); });
    connect(m_board.get(), &Board::peripheralsChanged, this, [&] { order.append("list"); });

    LogCapture log;
    QVERIFY(m_rig->send("/power", R"({"display": false, "touch": null})"));
    QCOMPARE(order, (QStringList{"display=off", "list"}));
    QCOMPARE(m_board->peripheralPower("display"), false);
    QCOMPARE(m_board->peripheralPower("touch"), false);
    QCOMPARE(m_board->peripherals().size(), 1);  // null was skipped, not stored
    QVERIFY(log.contains(QtInfoMsg, "[Board]  Peripheral power changed ' \"display\" ' :  false"));

    order.clear();
    QVERIFY(m_rig->send("/power", R"({"display": false, "touch": null})"));
    QCOMPARE(order, QStringList());

    // Several switches in one message: ascending name order, one list signal.
    QVERIFY(m_rig->send("/power", R"({"usbHub": true, "display": true, "ftdi": false})"));
    QCOMPARE(order, (QStringList{"display=on", "ftdi=off", "usbHub=on", "list"}));
    QCOMPARE(m_board->peripheralPower("display"), true);

    // true becoming 1 is a change of type: reported, and read as off.
    order.clear();
    QVERIFY(m_rig->send("/power", R"({"display": 1})"));
    QCOMPARE(order, (QStringList{"display=off", "list"}));
    QCOMPARE(m_board->peripheralPower("display"), false);
    // A member missing from a later message keeps its value.
    QCOMPARE(m_board->peripheralPower("usbHub"), true);
}

void TestBoard::peripheralsAreBuiltOnEachRead() {
    QVERIFY(m_rig->send("/power", R"({"usbHub": true, "zzModem": false})"));
    const QVariantList expected = {
        QVariantMap{{"item", "usbHub"}, {"descr", "USB Hub"}, {"value", true}},
        QVariantMap{{"item", "zzModem"}, {"descr", ""}, {"value", false}},
    };
    QCOMPARE(m_board->peripherals(), expected);
    QCOMPARE(m_board->property("peripherals").toList(), expected);

    // The display name is translated at each read, in the board's own context.
    GreekNames greek;
    QCoreApplication::installTranslator(&greek);
    const QVariantList translated = m_board->peripherals();
    QCoreApplication::removeTranslator(&greek);
    QCOMPARE(translated.at(0).toMap().value("descr").toString(), QStringLiteral("Διανομέας USB"));

    // Assigning the list only logs: the list is the service's.
    LogCapture log;
    QSignalSpy list(m_board.get(), &Board::peripheralsChanged);
    QVERIFY(m_board->setProperty("peripherals", QVariantList{QVariantMap{{"item", "touch"}}}));
    QCOMPARE(m_board->peripherals(), expected);
    QCOMPARE(list.count(), 0);
    const auto lines = log.startingWith("[Board]  --- SET PERIPHERALS :  ");
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines.first().type, QtWarningMsg);
    QVERIFY(m_rig->flush());
    QCOMPARE(m_rig->requests("/power/set").size(), 0);
}

void TestBoard::ignitionEvents_data() {
    QTest::addColumn<bool>("before");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("after");
    QTest::newRow("number 0 turns it off") << true << QByteArray("0") << false;
    QTest::newRow("text 0 turns it off") << true << QByteArray("\"0\"") << false;
    QTest::newRow("number 1 turns it on") << false << QByteArray("1") << true;
    QTest::newRow("text 1 turns it on") << false << QByteArray("\"1\"") << true;
    QTest::newRow("false turns it on") << false << QByteArray("false") << true;
    QTest::newRow("unchanged still signals") << true << QByteArray("1") << true;
    QTest::newRow("off stays off, still signals") << false << QByteArray("0") << false;
}

void TestBoard::ignitionEvents() {
    QFETCH(bool, before);
    QFETCH(QByteArray, data);
    QFETCH(bool, after);

    QVERIFY(m_rig->send("/event", fixture(before ? "board/event-ignition-on.json"
                                                 : "board/event-ignition-off.json")));
    QCOMPARE(m_board->ignition(), before);

    QSignalSpy ignition(m_board.get(), &Board::ignitionChanged);
    QVERIFY(m_rig->send("/event", R"({"name": "IgnitionChanged", "data": )" + data + "}"));
    QCOMPARE(m_board->ignition(), after);
    QCOMPARE(ignition.count(), 1);
}

void TestBoard::otherEventsOnlyLog() {
    seed();
    LogCapture log;
    Watch watch(m_board.get());
    // The name is compared case-sensitively.
    QVERIFY(m_rig->send("/event", R"({"name": "ignitionchanged", "data": 0})"));
    QVERIFY(m_rig->send("/event", R"({"name": "DoorOpened", "data": "rear"})"));
    QVERIFY(watch.unchanged());
    QCOMPARE(watch.emitted(), QStringList());
    QCOMPARE(log.startingWith("[Board]  Event received :  ").size(), 2);
    QVERIFY(log.contains(
        QtInfoMsg, "[Board]  Event received :  \"DoorOpened\"  [ QVariant(QString, \"rear\") ]"));
}

void TestBoard::audioMute() {
    QCOMPARE(m_board->audioEnabled(), true);  // nothing heard yet: not muted
    QSignalSpy audio(m_board.get(), &Board::audioEnabledChanged);
    QVERIFY(m_rig->send("/audio", fixture("board/audio-muted.json")));
    QCOMPARE(m_board->audioEnabled(), false);
    QCOMPARE(audio.count(), 1);
    QVERIFY(m_rig->send("/audio", fixture("board/audio-muted.json")));
    QCOMPARE(audio.count(), 1);
    QVERIFY(m_rig->send("/audio", fixture("board/audio-unmuted.json")));
    QCOMPARE(m_board->audioEnabled(), true);
    QCOMPARE(audio.count(), 2);
}

void TestBoard::requestsGoOutByteForByteAndChangeNothing() {
    seed();
    QVERIFY(m_rig->flush());
    m_rig->service().clear();
    Watch watch(m_board.get());
    LogCapture log;

    m_board->setPeripheralPower("display", false);
    m_board->setDisplayBrightness(55);
    m_board->setDisplayBrightnessMode("manual");
    m_board->setAudioEnabled(true);
    m_board->playBuzzer(100, 200);
    m_board->playBuzzer(100, 200, 3);
    m_board->setLedOff();
    QVERIFY(m_board->setProperty("displayBrightness", 20));  // as QML writes it

    QVERIFY(m_rig->waitForRequests("/buzzer/play/request/1", 2));
    QVERIFY(m_rig->waitForRequests("/display/set", 3));
    QVERIFY(m_rig->waitForRequests("/led/off/request/1", 1));
    QCOMPARE(m_rig->requests("/power/set"), QList<QByteArray>{"{\n    \"display\": false\n}\n"});
    QCOMPARE(m_rig->requests("/display/set"), (QList<QByteArray>{
                                                  "{\n    \"brightness\": 55\n}\n",
                                                  "{\n    \"mode\": \"manual\"\n}\n",
                                                  "{\n    \"brightness\": 20\n}\n",
                                              }));
    QCOMPARE(m_rig->requests("/audio/set"), QList<QByteArray>{"{\n    \"mute\": false\n}\n"});
    QCOMPARE(m_rig->requests("/buzzer/play/request/1"),
             (QList<QByteArray>{
                 "{\n    \"offMsec\": 200,\n    \"onMsec\": 100,\n    \"repeat\": 0\n}\n",
                 "{\n    \"offMsec\": 200,\n    \"onMsec\": 100,\n    \"repeat\": 3\n}\n",
             }));
    QCOMPARE(m_rig->requests("/led/off/request/1"), QList<QByteArray>{QByteArray()});

    for (const Peer::Message& message : m_rig->service().messages()) {
        QVERIFY(!message.retained);
    }
    // The mirror follows the service's next report, not the request.
    QVERIFY(watch.unchanged());
    QCOMPARE(watch.emitted(), QStringList());

    QVERIFY(log.contains(QtInfoMsg, "[Board]  Setting peripheral power:  \"display\"  ( false )"));
    QVERIFY(log.contains(QtInfoMsg, "[Board]  Setting display brightness :  55"));
    QVERIFY(log.contains(QtInfoMsg, "[Board]  Setting display brightness mode :  \"manual\""));
    QVERIFY(log.contains(QtInfoMsg, "[Board]  Setting audio enabled :  true"));
    QVERIFY(
        log.contains(QtInfoMsg, "[Board]  Playing buzzer : on=100 msec, off=200 msec, repeat=3"));
}

void TestBoard::ledPatterns() {
    // The valid pattern spelt out as the service receives it...
    const QByteArray valid =
        "{\n"
        "    \"repeat\": 3,\n"
        "    \"steps\": [\n"
        "        {\n"
        "            \"color\": {\n"
        "                \"b\": 0,\n"
        "                \"g\": 255,\n"
        "                \"r\": 0\n"
        "            },\n"
        "            \"duration\": 100\n"
        "        },\n"
        "        {\n"
        "            \"color\": {\n"
        "                \"b\": 0,\n"
        "                \"g\": 0,\n"
        "                \"r\": 0\n"
        "            },\n"
        "            \"duration\": 50\n"
        "        }\n"
        "    ]\n"
        "}\n";
    // ...and the other two in the same indented form.
    const QByteArray invalid = indented(R"({"repeat": 3, "steps": [
        {"color": {"r": 255, "g": 0, "b": 0}, "duration": 100},
        {"color": {"r": 0, "g": 0, "b": 0}, "duration": 50}]})");
    const QByteArray test = indented(R"({"repeat": 30, "steps": [
        {"color": {"r": 255, "g": 0, "b": 0}, "duration": 1000},
        {"color": {"r": 0, "g": 0, "b": 0}, "duration": 200},
        {"color": {"r": 0, "g": 255, "b": 0}, "duration": 1000},
        {"color": {"r": 0, "g": 0, "b": 0}, "duration": 200}]})");

    LogCapture log;
    m_board->setLedValid();
    m_board->setLedInvalid();
    m_board->setLedTestPattern();
    QVERIFY(m_rig->waitForRequests("/led/play/request/1", 3));
    QCOMPARE(m_rig->requests("/led/play/request/1"), (QList<QByteArray>{valid, invalid, test}));
    QVERIFY(log.contains(QtInfoMsg, "[Board]  Setting LEDs to : VALID"));
    QVERIFY(log.contains(QtInfoMsg, "[Board]  Setting LEDs to : INVALID"));
    QVERIFY(log.contains(QtInfoMsg, "[Board]  Setting LEDs to : TEST"));
}

void TestBoard::monitorRefreshesUntilStopped() {
    QVERIFY(m_rig->waitForRequests("/audio/get", 1));  // the refresh of the connection
    QVERIFY(m_rig->flush());
    m_rig->service().clear();

    LogCapture log;
    m_board->monitor(150);
    QVERIFY(log.contains(QtInfoMsg, "[Board]  Monitor started :  150  msec(s)"));
    // At once, then on every tick, all four requests.
    QVERIFY(m_rig->waitForRequests("/status/get", 3));
    QVERIFY(m_rig->waitForRequests("/audio/get", 3));

    m_board->monitor(0);
    QVERIFY(log.contains(QtInfoMsg, "[Board]  Monitor stopped"));
    QVERIFY(m_rig->flush());
    const int sent = m_rig->service().count(kBase + "/status/get");
    QTest::qWait(600);
    QVERIFY(m_rig->flush());
    QCOMPARE(m_rig->service().count(kBase + "/status/get"), sent);
}

void TestBoard::malformedPayloadIsDroppedWithOneLine_data() {
    QTest::addColumn<QString>("suffix");
    for (const char* suffix :
         {"/info", "/status", "/config", "/display", "/power", "/event", "/audio"}) {
        QTest::newRow(suffix) << QString::fromLatin1(suffix);
    }
}

void TestBoard::malformedPayloadIsDroppedWithOneLine() {
    QFETCH(QString, suffix);
    seed();
    QVERIFY(m_rig->send("/event", fixture("board/event-ignition-on.json")));

    LogCapture log;
    Watch watch(m_board.get());
    QVERIFY(m_rig->send(suffix, R"({"service": true, "mute": )"));
    QVERIFY(m_rig->send(suffix, "\xff\xfe garbage"));

    QVERIFY(watch.unchanged());
    QCOMPARE(watch.emitted(), QStringList());
    const auto lines = log.startingWith("[Board] ");
    QCOMPARE(lines.size(), 2);
    for (const LogCapture::Line& line : lines) {
        QCOMPARE(line.type, QtCriticalMsg);
        QVERIFY2(line.text.startsWith("[Board]  Failed to parse JSON message:  \""),
                 qPrintable(line.text));
    }
    // The board still listens afterwards.
    QVERIFY(m_rig->send("/audio", fixture("board/audio-unmuted.json")));
    QCOMPARE(m_board->audioEnabled(), true);
}

void TestBoard::emptyAndArrayPayloadsReachTheHandlers() {
    seed();
    LogCapture log;
    // Empty means an empty object: every display value falls back to its default.
    QSignalSpy brightness(m_board.get(), &Board::displayBrightnessChanged);
    QVERIFY(m_rig->send("/display", QByteArray()));
    QCOMPARE(m_board->displayBrightness(), 0);
    QCOMPARE(m_board->displayBrightnessMode(), QString());
    QCOMPARE(brightness.count(), 1);

    // An array at the top level is an empty object too: not muted.
    QVERIFY(m_rig->send("/audio", "[true]"));
    QCOMPARE(m_board->audioEnabled(), true);

    // An empty status: the service is not running.
    QVERIFY(m_rig->send("/status", QByteArray()));
    QCOMPARE(m_board->status(), QStringLiteral("offline"));
    for (const LogCapture::Line& line : log.startingWith("[Board] ")) {
        QVERIFY2(line.type != QtCriticalMsg, qPrintable(line.text));
    }
}

void TestBoard::topicsThatOnlyContainTheBaseAreIgnored() {
    // Other parts of the application subscribe wider, and every message reaches every
    // manager: only whole topics of this base count.
    LogCapture log;
    Watch watch(m_board.get());
    const QByteArray status = fixture("board/status.json");
    emit m_rig->client().received(status, (kBase + "/status/extra").toUtf8());
    emit m_rig->client().received(status, ("site/" + kBase + "/status").toUtf8());
    emit m_rig->client().received(status, QByteArray("zorv/inspector/status"));
    emit m_rig->client().received("not json", QByteArray("zorv/validator/status"));
    QVERIFY(watch.unchanged());
    QCOMPARE(watch.emitted(), QStringList());
    QVERIFY(log.startingWith("[Board] ").isEmpty());

    // The topic ends at its first zero byte.
    emit m_rig->client().received(status, (kBase + "/status").toUtf8() + '\0' + "tail");
    QCOMPARE(m_board->status(), QStringLiteral("online"));
}

QTEST_GUILESS_MAIN(TestBoard)
#include "tst_board.moc"
