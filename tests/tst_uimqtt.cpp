// The UI as a service on the broker: its info, status and configuration topics, the
// live configuration, and the maintenance barcodes a logged-in technician scans.
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

#include "AppFixture.h"

namespace {
QByteArray readAll(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}
}  // namespace

class TestUiMqtt : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QCoreApplication::setApplicationName(QStringLiteral("Quellan"));
        QCoreApplication::setApplicationVersion(QStringLiteral("1.0.18-1-g376f268"));
    }
    void getRequestsAnsweredOnce();
    void configSetAppliedAndRepublished();
    void everyMatchingRuleApplies();
    void baseTopicChangeMovesEverything();
    void badConfigRequestsLeaveFileUntouched();
    void passwordNeverPublished();
    void lateSubscriberHearsTheRunningUiAfterACrash();

    void barcodeIgnoredWithoutSession();
    void barcodeObcOnly();
    void barcodeAutoClearsAddresses();
    void barcodeManualValidAndRefused();
    void barcodeNetworkWithoutEth0AndEmptyObc();
};

void TestUiMqtt::getRequestsAnsweredOnce() {
    AppFixture app;
    QVERIFY(app.ready());
    app.peer().clear();
    app.peer().publish(QStringLiteral("zorv/ui/info/get"), "garbage");
    app.peer().publish(QStringLiteral("zorv/ui/status/get"), "");
    app.peer().publish(QStringLiteral("zorv/ui/config/get"), "{}");
    QTRY_COMPARE(app.requests(QStringLiteral("zorv/ui/config")).size(), 1);
    QTRY_COMPARE(app.requests(QStringLiteral("zorv/ui/info")).size(), 1);
    QCOMPARE(app.requests(QStringLiteral("zorv/ui/info")).first(),
             QByteArray("{\n    \"version\": \"1.0.18-1-g376f268\"\n}\n"));
    QCOMPARE(app.requests(QStringLiteral("zorv/ui/status")).size(), 1);
    QCOMPARE(app.requests(QStringLiteral("zorv/ui/status")).first(),
             QByteArray("{\n    \"service\": true,\n    \"technician\": false\n}\n"));
    const QJsonObject config =
        AppFixture::object(app.requests(QStringLiteral("zorv/ui/config")).first());
    QCOMPARE(config.value(QStringLiteral("gui"))
                 .toObject()
                 .value(QStringLiteral("settingsPin"))
                 .toString(),
             QStringLiteral("8602"));
    QTest::qWait(200);
    QCOMPARE(app.requests(QStringLiteral("zorv/ui/info")).size(), 1);

    // A topic that carries the base topic in its middle is addressed to the UI too.
    app.peer().clear();
    app.peer().publish(QStringLiteral("other/zorv/ui/status/get"), "");
    QTRY_COMPARE(app.requests(QStringLiteral("zorv/ui/status")).size(), 0);  // not subscribed
}

void TestUiMqtt::configSetAppliedAndRepublished() {
    AppFixture app;
    QVERIFY(app.ready());
    app.peer().clear();
    QSignalSpy cursor(&app.gui(), &GUIManager::showCursorChanged);
    app.publish(QStringLiteral("zorv/ui/config/set"),
                AppFixture::object(R"({"gui": {"showCursor": false, "displayOffMin": 7}})"));
    QTRY_COMPARE(cursor.count(), 1);
    QCOMPARE(app.gui().showCursor(), false);
    QCOMPARE(app.gui().displayOffMin(), 7);
    QTRY_COMPARE(app.requests(QStringLiteral("zorv/ui/config")).size(), 1);
    const QJsonObject gui =
        AppFixture::object(app.requests(QStringLiteral("zorv/ui/config")).first())
            .value(QStringLiteral("gui"))
            .toObject();
    QCOMPARE(gui.value(QStringLiteral("displayOffMin")).toInt(), 7);
    QVERIFY(readAll(app.path(QStringLiteral("gui.conf"))).contains("displayOffMin=7"));
}

void TestUiMqtt::everyMatchingRuleApplies() {
    AppFixture app;
    QVERIFY(app.ready());
    QSignalSpy cursor(&app.gui(), &GUIManager::showCursorChanged);
    QSignalSpy language(&app.gui(), &GUIManager::languageChanged);
    QSignalSpy saver(&app.gui(), &GUIManager::screenSaverBgChanged);
    app.publish(QStringLiteral("zorv/ui/config/set"),
                AppFixture::object(R"({"gui": {"showCursor": false, "locale": "en_IE",
                                     "screenSaverBg": "navy"}, "log": {"level": 3}})"));
    QTRY_COMPARE(cursor.count(), 1);
    QCOMPARE(language.count(), 1);
    QCOMPARE(saver.count(), 1);
    QCOMPARE(app.gui().screenSaverBg(), QColor(QStringLiteral("navy")));
    QCOMPARE(app.gui().language(), QStringLiteral("en_IE"));
    // The logger was re-applied at level 3: debug messages pass its filter now.
    QVERIFY(QLoggingCategory::defaultCategory()->isDebugEnabled());
}

void TestUiMqtt::baseTopicChangeMovesEverything() {
    AppFixture app;
    QVERIFY(app.ready());
    app.peer().clear();
    app.publish(QStringLiteral("zorv/ui/config/set"),
                AppFixture::object(R"({"mqtt": {"base": "fleet/bus7/ui"}})"));
    QTRY_COMPARE_WITH_TIMEOUT(app.requests(QStringLiteral("fleet/bus7/ui/config")).size(), 1, 8000);
    QCOMPARE(app.requests(QStringLiteral("fleet/bus7/ui/info")).size(), 1);

    app.peer().clear();
    app.peer().publish(QStringLiteral("fleet/bus7/ui/status/get"), "");
    QTRY_COMPARE(app.requests(QStringLiteral("fleet/bus7/ui/status")).size(), 1);

    // The last will now sits on the new status topic.
    QCOMPARE(app.gui().mqtt().transport()->willTopic(), QStringLiteral("fleet/bus7/ui/status"));
    QCOMPARE(app.gui().mqtt().transport()->willMessage(), QByteArray("{\"service\": false}"));
}

void TestUiMqtt::badConfigRequestsLeaveFileUntouched() {
    AppFixture app;
    QVERIFY(app.ready());
    const QString file = app.path(QStringLiteral("gui.conf"));
    const QByteArray before = readAll(file);
    QSignalSpy changed(&app.config(), &Config::configChanged);
    const QList<QByteArray> bad = {
        "not json",
        "[1, 2, 3]",
        "{\"gui\": 5}",
        "{\"nosuch\": {\"key\": 1}}",
        "{\"gui\": {\"nosuch\": 1}}",
        "{\"gui\": {\"displayOffMin\": \"abc\"}}",
        "{\"gui\": {\"displayOffMin\": 1.5}}",
        "{\"gui\": {\"showCursor\": \"yes\"}}",
        "{\"mqtt\": {\"host\": 42}}",
        "{\"mqtt\": {\"port\": {\"deep\": 1}}}",
    };
    for (const QByteArray& payload : bad) {
        app.peer().publish(QStringLiteral("zorv/ui/config/set"), payload);
    }
    // A good request after them proves they were all taken and processed.
    app.publish(QStringLiteral("zorv/ui/config/set"),
                AppFixture::object(R"({"gui": {"animSwitchSec": 900}})"));
    QTRY_COMPARE(app.gui().animSwitchSec(), 900);
    QCOMPARE(changed.count(), 1);
    QByteArray after = readAll(file);
    after.replace("animSwitchSec=900", "animSwitchSec=0");
    QCOMPARE(after, before);
}

void TestUiMqtt::passwordNeverPublished() {
    AppFixture app({{QStringLiteral("mqtt/password"), QStringLiteral("s3cr3t-pass")}});
    QVERIFY(app.ready());
    app.publish(QStringLiteral("zorv/ui/config/set"),
                AppFixture::object(R"({"mqtt": {"password": "an0ther-pass"}})"));
    // The stored value changed (the command-line override still wins for the connection).
    QTRY_COMPARE(app.config()
                     .toJson()
                     .value(QStringLiteral("mqtt"))
                     .toObject()
                     .value(QStringLiteral("password"))
                     .toString(),
                 QStringLiteral("an0ther-pass"));
    QTRY_VERIFY(app.requests(QStringLiteral("zorv/ui/config")).size() >= 2);
    for (const Peer::Message& m : app.peer().messages()) {
        if (m.topic == QLatin1String("zorv/ui/config/set")) {
            continue;  // the request itself
        }
        QVERIFY2(!m.payload.contains("s3cr3t-pass") && !m.payload.contains("an0ther-pass"),
                 qPrintable(m.topic));
        if (m.topic == QLatin1String("zorv/ui/config")) {
            QVERIFY(!AppFixture::object(m.payload)
                         .value(QStringLiteral("mqtt"))
                         .toObject()
                         .contains(QStringLiteral("password")));
        }
    }
}

// The program is killed (its last will {"service": false} stays retained at the broker)
// and started again: a peer that subscribes afterwards must hear that the UI is up.
void TestUiMqtt::lateSubscriberHearsTheRunningUiAfterACrash() {
    Broker broker;
    QVERIFY(broker.start());
    Peer watcher;
    QVERIFY(watcher.connect(broker.host(), broker.port()));
    QVERIFY(watcher.subscribe(QStringLiteral("zorv/ui/status")));
    const auto lastService = [&watcher] {
        const QList<Peer::Message> all = watcher.messages(QStringLiteral("zorv/ui/status"));
        return all.isEmpty() ? QStringLiteral("none")
                             : AppFixture::object(all.last().payload)
                                   .value(QStringLiteral("service"))
                                   .toVariant()
                                   .toString();
    };
    QTemporaryDir dir;
    QProcess program;
    program.setWorkingDirectory(dir.path());
    const QStringList args{"-H", broker.host(), "-P", QString::number(broker.port())};
    for (int run = 0; run < 2; ++run) {
        program.start(QStringLiteral(QUELLAN_BINARY), args);
        QVERIFY(program.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(lastService(), QStringLiteral("true"), 20000);
        if (run == 0) {
            ::kill(static_cast<pid_t>(program.processId()), SIGKILL);
            QVERIFY(program.waitForFinished());
            QTRY_COMPARE_WITH_TIMEOUT(lastService(), QStringLiteral("false"), 10000);
        }
    }
    Peer late;
    QVERIFY(late.connect(broker.host(), broker.port()));
    QVERIFY(late.subscribe(QStringLiteral("zorv/ui/status")));
    QTRY_VERIFY(late.count(QStringLiteral("zorv/ui/status")) > 0);
    const Peer::Message first = late.messages(QStringLiteral("zorv/ui/status")).first();
    QVERIFY(first.retained);
    QCOMPARE(first.payload,
             QByteArray("{\n    \"service\": true,\n    \"technician\": false\n}\n"));
    program.kill();
    program.waitForFinished();
}

// --- maintenance barcodes --------------------------------------------------

namespace {
const QString kBarcode = QStringLiteral("zorv/blm/barcode/maintenance/scanned");

void eth0Up(AppFixture& app) {
    app.publish(QStringLiteral("zorv/network/ethernet/state"),
                AppFixture::object(R"({"interface": "eth0", "stateStr": "Connected"})"));
    QTRY_COMPARE(app.gui().network().ethernet()->interface(), QStringLiteral("eth0"));
}
}  // namespace

void TestUiMqtt::barcodeIgnoredWithoutSession() {
    AppFixture app;
    QVERIFY(app.ready());
    eth0Up(app);
    QSignalSpy applied(&app.gui(), &GUIManager::barcodeConfigurationApplied);
    app.peer().clear();
    app.publish(kBarcode, AppFixture::object(R"({"validator": {"obc": "mqtt://10.0.0.1:1883"}})"));
    QTest::qWait(300);
    QCOMPARE(applied.count(), 0);
    QCOMPARE(app.requests(QStringLiteral("zorv/blm/config/set")).size(), 0);
}

void TestUiMqtt::barcodeObcOnly() {
    AppFixture app;
    QVERIFY(app.ready());
    app.gui().settingsLoginRequest(QStringLiteral("8602"));
    QSignalSpy applied(&app.gui(), &GUIManager::barcodeConfigurationApplied);
    app.peer().clear();
    app.publish(kBarcode,
                AppFixture::object(R"({"validator": {"obc": "mqtt://user:pw@10.0.0.1:1884"}})"));
    QTRY_COMPARE(applied.count(), 1);
    QCOMPARE(applied.first().first().toStringList(),
             QStringList{QStringLiteral("OBC : mqtt://user:pw@10.0.0.1:1884")});
    QTRY_COMPARE(app.requests(QStringLiteral("zorv/blm/config/set")).size(), 1);
    const QJsonObject blm =
        AppFixture::object(app.requests(QStringLiteral("zorv/blm/config/set")).first())
            .value(QStringLiteral("blm"))
            .toObject();
    QCOMPARE(blm.value(QStringLiteral("obu_host")).toString(), QStringLiteral("10.0.0.1"));
    QCOMPARE(blm.value(QStringLiteral("obu_port")).toInt(), 1884);
    QTRY_COMPARE(app.requests(QStringLiteral("zorv/inspector/audio/play")).size(), 1);
    QTRY_COMPARE(app.requests(QStringLiteral("zorv/board/led/play/request/1")).size(), 1);
    QCOMPARE(
        app.requests(QStringLiteral("zorv/board/led/play/request/1")).first(),
        QByteArray(
            "{\n    \"repeat\": 3,\n    \"steps\": [\n        {\n            \"color\": {\n"
            "                \"b\": 0,\n                \"g\": 255,\n                \"r\": 0\n"
            "            },\n            \"duration\": 100\n        },\n        {\n"
            "            \"color\": {\n                \"b\": 0,\n                \"g\": 0,\n"
            "                \"r\": 0\n            },\n            \"duration\": 50\n"
            "        }\n    ]\n}\n"));
    QCOMPARE(app.requests(QStringLiteral("zorv/network/ethernet/config/set")).size(), 0);
}

void TestUiMqtt::barcodeAutoClearsAddresses() {
    AppFixture app;
    QVERIFY(app.ready());
    eth0Up(app);
    app.gui().settingsLoginRequest(QStringLiteral("8602"));
    QSignalSpy applied(&app.gui(), &GUIManager::barcodeConfigurationApplied);
    app.peer().clear();
    app.publish(kBarcode, AppFixture::object(R"({"network": {"eth0": {"method": "dhcp",
        "address": "10.1.1.5", "netmask": "255.255.255.0", "gateway": "10.1.1.1",
        "dns0": "8.8.8.8", "dns1": "1.1.1.1"}}})"));
    QTRY_COMPARE(applied.count(), 1);
    QCOMPARE(applied.first().first().toStringList(),
             (QStringList{QStringLiteral("Method : dhcp"), QStringLiteral("Address : 10.1.1.5"),
                          QStringLiteral("Netmask : 255.255.255.0"),
                          QStringLiteral("Gateway : 10.1.1.1"), QStringLiteral("DNS #0 : 8.8.8.8"),
                          QStringLiteral("DNS #1 : 1.1.1.1")}));
    const QString topic = QStringLiteral("zorv/network/ethernet/config/set");
    QTRY_COMPARE(app.requests(topic).size(), 1);
    QCOMPARE(app.requests(topic).first(),
             QByteArray(
                 "{\n    \"address\": \"\",\n    \"dns0\": \"\",\n    \"dns1\": \"\",\n"
                 "    \"gateway\": \"\",\n    \"interface\": \"eth0\",\n    \"method\": \"auto\",\n"
                 "    \"netmask\": \"\"\n}\n"));
}

void TestUiMqtt::barcodeManualValidAndRefused() {
    AppFixture app;
    QVERIFY(app.ready());
    eth0Up(app);
    app.gui().settingsLoginRequest(QStringLiteral("8602"));
    QSignalSpy applied(&app.gui(), &GUIManager::barcodeConfigurationApplied);
    const QString topic = QStringLiteral("zorv/network/ethernet/config/set");

    app.peer().clear();
    app.publish(kBarcode, AppFixture::object(R"({"network": {"eth0": {"method": "manual",
        "address": "10.1.1.5", "netmask": "255.255.255.0", "gateway": "", "dns0": "", "dns1": ""}}})"));
    QTRY_COMPARE(app.requests(topic).size(), 1);
    const QJsonObject sent = AppFixture::object(app.requests(topic).first());
    QCOMPARE(sent.value(QStringLiteral("method")).toString(), QStringLiteral("manual"));
    QCOMPARE(sent.value(QStringLiteral("address")).toString(), QStringLiteral("10.1.1.5"));
    QCOMPARE(applied.count(), 1);

    // Each refused barcode applies nothing of the network part and lists nothing.
    const QList<QByteArray> refused = {
        R"({"network": {"eth0": {"method": "manual", "address": "", "netmask": "255.255.255.0"}}})",
        R"({"network": {"eth0": {"method": "manual", "address": "10.1.1.5", "netmask": ""}}})",
        R"({"network": {"eth0": {"method": "manual", "address": "10.01.1.5", "netmask": "255.255.255.0"}}})",
        R"({"network": {"eth0": {"method": "manual", "address": "10.1.1.5", "netmask": "255.255.255.0", "gateway": "256.1.1.1"}}})",
        R"({"network": {"eth0": {"method": "manual", "address": "10.1.1.5", "netmask": "255.255.255.0", "dns1": "1.2.3"}}})",
    };
    app.peer().clear();
    for (const QByteArray& json : refused) {
        app.peer().publish(kBarcode, json);
    }
    app.publish(kBarcode, AppFixture::object(R"({"validator": {"obc": "mqtt://10.9.9.9"}})"));
    QTRY_COMPARE(applied.count(), 2);  // only the last one, with its OBC line
    QCOMPARE(applied.last().first().toStringList(),
             QStringList{QStringLiteral("OBC : mqtt://10.9.9.9")});
    QCOMPARE(app.requests(topic).size(), 0);
}

void TestUiMqtt::barcodeNetworkWithoutEth0AndEmptyObc() {
    AppFixture app;
    QVERIFY(app.ready());
    app.gui().settingsLoginRequest(QStringLiteral("8602"));
    QSignalSpy applied(&app.gui(), &GUIManager::barcodeConfigurationApplied);
    app.peer().clear();
    app.publish(kBarcode,
                AppFixture::object(R"({"network": {"wlan0": {}}, "validator": {"obc": ""}})"));
    // The interface is not eth0 either: nothing at all is applied or confirmed.
    app.publish(kBarcode, AppFixture::object(R"({"network": {"eth0": {"method": "auto"}}})"));
    QTest::qWait(400);
    QCOMPARE(applied.count(), 0);
    QCOMPARE(app.requests(QStringLiteral("zorv/inspector/audio/play")).size(), 0);
    QCOMPARE(app.requests(QStringLiteral("zorv/blm/config/set")).size(), 0);
}

QTEST_MAIN(TestUiMqtt)
#include "tst_uimqtt.moc"
