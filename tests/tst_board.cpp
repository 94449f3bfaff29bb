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
    void init();
    void cleanup();

    void asksForStateOnEveryConnection();
    void mirror_data();
    void mirror();
    void shutdownDelayFollowsTheServiceOnly();
    void powerComparesJsonTypeAndValue();
    void peripheralsAreBuiltOnEachRead();
    void requestsGoOutByteForByteAndChangeNothing();
    void ledPatterns();
    void monitorRefreshesUntilStopped();
    void malformedPayloadIsDroppedWithOneLine_data();
    void malformedPayloadIsDroppedWithOneLine();
    void topicsThatOnlyContainTheBaseAreIgnored();

private:
    // Send board example messages by name; the topic is the name up to its first '-'
    // ("status-offline" goes to "/status"); "seed" sends a full, known state.
    void send(const QStringList& names);

    std::unique_ptr<ServiceRig> m_rig;
    std::unique_ptr<Board> m_board;
};

void TestBoard::init() {
    m_rig = std::make_unique<ServiceRig>(kBase);
    m_board = std::make_unique<Board>(m_rig->client(), kBase);
    QVERIFY(m_rig->start());
}

void TestBoard::cleanup() {
    m_board.reset();
    m_rig.reset();
}

void TestBoard::send(const QStringList& names) {
    for (const QString& name : names) {
        if (name == QLatin1String("seed")) {
            send({"status", "info", "config", "display", "power", "audio-muted"});
            QCOMPARE(m_board->status(), QStringLiteral("online"));
            continue;
        }
        const QByteArray payload = fixture("board/" + name + ".json");
        QVERIFY2(!payload.isEmpty(), qPrintable(name));
        QVERIFY(m_rig->send("/" + name.section('-', 0, 0), payload));
    }
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
    QStringList expected;
    for (const QString& topic : gets) {
        expected << topic + " {}";
    }
    QVERIFY(waitUntil([&] { return sentGets().size() == 4; }));
    QCOMPARE(sentGets(), expected);

    // "/info" and "/config" are never asked for.
    QVERIFY(m_rig->flush());
    QCOMPARE(m_rig->service().count(kBase + "/info/get"), 0);
    QCOMPARE(m_rig->service().count(kBase + "/config/get"), 0);

    // A second connection asks again.
    m_rig->service().clear();
    emit m_rig->client().connected();
    QVERIFY(waitUntil([&] { return sentGets().size() == 4; }));
    QCOMPARE(sentGets(), expected);
}

// One message after a known start: the signals it fires (exactly those, each once),
// the values it leaves, and a log line it writes.
void TestBoard::mirror_data() {
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("emitted");
    QTest::addColumn<QVariantMap>("values");
    QTest::addColumn<QString>("logged");

    const QVariantMap info = {{"firmware", "2.4.1"},
                              {"hardwareId", "ZB-00017"},
                              {"hardware", "rev C"},
                              {"version", "1.9.0"}};
    auto row = [](const char* name, const QStringList& before, const QString& message,
                  const char* emitted, const QVariantMap& values, const char* logged = "") {
        // A message without a blank is an example by name; otherwise "/suffix payload".
        const bool named = !message.contains(' ') && !message.startsWith('/');
        const QString suffix =
            named ? "/" + message.section('-', 0, 0) : message.section(' ', 0, 0);
        const QByteArray payload =
            named ? fixture("board/" + message + ".json") : message.section(' ', 1).toUtf8();
        QTest::newRow(name) << before << suffix << payload << QString(emitted) << values
                            << QString(logged);
    };
    row("status", {}, "status",
        "statusChanged ignitionChanged poleIdChanged temperatureChanged voltageChanged "
        "uptimeChanged",
        {{"status", "online"},
         {"ignition", true},
         {"poleId", "P-0412"},
         {"temperature", 41.5},
         {"voltage", 24.3},
         {"uptime", 3600},
         {"rtcFailed", false}},
        "[Board]  Status changed :  \"online\"");
    row("status again", {"status"}, "status", "", {});
    row("RTC failed", {"status"}, "status-rtc-failed", "uptimeChanged rtcFailedChanged",
        {{"rtcFailed", true}, {"uptime", 3660}}, "[Board]  RTC Status changed :  FAIL");
    row("offline keeps the device values", {"seed"}, "status-offline", "statusChanged",
        {{"status", "offline"}, {"poleId", "P-0412"}});
    // "active" false: "error", and the zeros in that message are not taken.
    row("inactive keeps the device values", {"seed"}, "status-inactive", "statusChanged",
        {{"status", "error"}, {"ignition", true}, {"temperature", 41.5}, {"uptime", 3600}});
    row("same status again", {"seed", "status-inactive"}, "status-inactive", "", {});
    row("empty status: service down", {"seed"}, "/status ", "statusChanged",
        {{"status", "offline"}});
    row("missing fields read as defaults", {"seed"},
        R"(/status {"service": true, "device": {"active": true}})",
        "ignitionChanged poleIdChanged temperatureChanged voltageChanged uptimeChanged",
        {{"ignition", false}, {"poleId", ""}, {"temperature", 0.0}, {"uptime", 0}});
    row("info", {}, "info", "infoChanged", {{"info", info}});
    row("same info still signals", {"info"}, "info", "infoChanged", {{"info", info}});
    row("info replaced whole", {"info"}, R"(/info {"service": {"version": "2.0.0"}})",
        "infoChanged",
        {{"info",
          QVariantMap{
              {"firmware", ""}, {"hardwareId", ""}, {"hardware", ""}, {"version", "2.0.0"}}}});
    row("display", {}, "display",
        "displayBrightnessChanged displayBrightnessModeChanged ambientLightSensorChanged",
        {{"displayBrightness", 80}, {"ambientLightSensor", 312}, {"displayBrightnessMode", "auto"}},
        "[Board]  Display sensor changed :  312");
    row("only the sensor moved", {"display"},
        R"(/display {"brightness": 80, "sensor": 290, "mode": "auto"})",
        "ambientLightSensorChanged", {{"ambientLightSensor", 290}});
    row("display mode only", {"seed"}, "display-mode-only",
        "displayBrightnessChanged displayBrightnessModeChanged ambientLightSensorChanged",
        {{"displayBrightness", 0}, {"ambientLightSensor", 0}, {"displayBrightnessMode", "manual"}});
    row("empty display", {"seed"}, "/display ",
        "displayBrightnessChanged displayBrightnessModeChanged ambientLightSensorChanged",
        {{"displayBrightness", 0}, {"displayBrightnessMode", ""}});
    row("config without the delay", {"seed"}, R"(/config {"device": {}})",
        "delayShutdownForChanged", {{"delayShutdownFor", 0}});
    row("muted", {}, "audio-muted", "audioEnabledChanged", {{"audioEnabled", false}});
    row("muted again", {"audio-muted"}, "audio-muted", "", {});
    row("unmuted", {"audio-muted"}, "audio-unmuted", "audioEnabledChanged",
        {{"audioEnabled", true}});
    row("array: not muted", {"audio-muted"}, "/audio [true]", "audioEnabledChanged",
        {{"audioEnabled", true}});
    row("ignition number 0", {"event-ignition-on"},
        R"(/event {"name": "IgnitionChanged", "data": 0})", "ignitionChanged",
        {{"ignition", false}});
    row("ignition text 0", {"event-ignition-on"},
        R"(/event {"name": "IgnitionChanged", "data": "0"})", "ignitionChanged",
        {{"ignition", false}});
    row("ignition text 1", {"event-ignition-off"},
        R"(/event {"name": "IgnitionChanged", "data": "1"})", "ignitionChanged",
        {{"ignition", true}});
    row("ignition false is on", {"event-ignition-off"},
        R"(/event {"name": "IgnitionChanged", "data": false})", "ignitionChanged",
        {{"ignition", true}});
    row("unchanged ignition still signals", {"event-ignition-on"},
        R"(/event {"name": "IgnitionChanged", "data": 1})", "ignitionChanged",
        {{"ignition", true}});
    // The name is compared case-sensitively; other events are only logged.
    row("event name in lower case", {"seed"}, R"(/event {"name": "ignitionchanged", "data": 0})",
        "", {});
    row("other event", {"seed"}, R"(/event {"name": "DoorOpened", "data": "rear"})", "", {},
        "[Board]  Event received :  \"DoorOpened\"  [ QVariant(QString, \"rear\") ]");
}

void TestBoard::mirror() {
    QFETCH(QStringList, before);
    QFETCH(QString, suffix);
    QFETCH(QByteArray, payload);
    QFETCH(QString, emitted);
    QFETCH(QVariantMap, values);
    QFETCH(QString, logged);
    send(before);

    Emissions watch(m_board.get());
    LogCapture log;
    QVERIFY(m_rig->send(suffix, payload));
    QCOMPARE(watch.take(), emitted);
    if (emitted.isEmpty()) {
        QVERIFY(watch.unchanged());
    }
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        // status and uptime are read through their getters: QML binds to neither.
        const QVariant value = it.key() == "status"   ? QVariant(m_board->status())
                               : it.key() == "uptime" ? QVariant(m_board->uptime())
                                                      : m_board->property(qPrintable(it.key()));
        QVERIFY2(value.isValid(), qPrintable(it.key()));
        QCOMPARE(value, it.value());
    }
    if (!logged.isEmpty()) {
        QVERIFY2(log.all().contains(logged), qPrintable(log.all().join('\n')));
    }
    for (const LogCapture::Line& line : log.startingWith("[Board] ")) {
        QVERIFY2(line.type != QtCriticalMsg, qPrintable(line.text));
    }
}

void TestBoard::shutdownDelayFollowsTheServiceOnly() {
    const QByteArray request30 = indented(R"({"device": {"delayShutdownFor": 30}})");
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

    // true becoming 1 is a change of type: reported, and read as off. Each report is
    // the whole set: members it leaves out are dropped, a dropped "on" one reported off.
    order.clear();
    QVERIFY(m_rig->send("/power", R"({"display": 1})"));
    QCOMPARE(order, (QStringList{"display=off", "usbHub=off", "list"}));
    QCOMPARE(m_board->peripheralPower("display"), false);
    QCOMPARE(m_board->peripheralPower("usbHub"), false);
    QCOMPARE(m_board->peripherals().size(), 1);
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

void TestBoard::requestsGoOutByteForByteAndChangeNothing() {
    send({"seed"});
    QVERIFY(m_rig->flush());
    m_rig->service().clear();
    Emissions watch(m_board.get());
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
    QCOMPARE(watch.take(), QString());

    QVERIFY(log.contains(QtInfoMsg, "[Board]  Setting peripheral power:  \"display\"  ( false )"));
    QVERIFY(
        log.contains(QtInfoMsg, "[Board]  Playing buzzer : on=100 msec, off=200 msec, repeat=3"));
}

void TestBoard::ledPatterns() {
    // The patterns as the service receives them, in the indented form.
    const QByteArray valid = indented(R"({"repeat": 3, "steps": [
        {"color": {"r": 0, "g": 255, "b": 0}, "duration": 100},
        {"color": {"r": 0, "g": 0, "b": 0}, "duration": 50}]})");
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
    QCOMPARE(log.all().filter("Setting LEDs"),
             (QStringList{"[Board]  Setting LEDs to : VALID", "[Board]  Setting LEDs to : INVALID",
                          "[Board]  Setting LEDs to : TEST"}));
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
    send({"seed", "event-ignition-on"});

    LogCapture log;
    Emissions watch(m_board.get());
    QVERIFY(m_rig->send(suffix, R"({"service": true, "mute": )"));
    QVERIFY(m_rig->send(suffix, "\xff\xfe garbage"));

    QVERIFY(watch.unchanged());
    QCOMPARE(watch.take(), QString());
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

void TestBoard::topicsThatOnlyContainTheBaseAreIgnored() {
    // Other parts of the application subscribe wider, and every message reaches every
    // manager: only whole topics of this base count.
    LogCapture log;
    Emissions watch(m_board.get());
    const QByteArray status = fixture("board/status.json");
    emit m_rig->client().received(status, (kBase + "/status/extra").toUtf8());
    emit m_rig->client().received(status, ("site/" + kBase + "/status").toUtf8());
    emit m_rig->client().received(status, QByteArray("zorv/inspector/status"));
    emit m_rig->client().received("not json", QByteArray("zorv/validator/status"));
    QVERIFY(watch.unchanged());
    QCOMPARE(watch.take(), QString());
    QVERIFY(log.startingWith("[Board] ").isEmpty());

    // The topic ends at its first zero byte.
    emit m_rig->client().received(status, (kBase + "/status").toUtf8() + '\0' + "tail");
    QCOMPARE(m_board->status(), QStringLiteral("online"));
}

QTEST_GUILESS_MAIN(TestBoard)
#include "tst_board.moc"
