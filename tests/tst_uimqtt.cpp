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

const QString kBarcode = QStringLiteral("zorv/blm/barcode/maintenance/scanned");
const QString kEthernetSet = QStringLiteral("zorv/network/ethernet/config/set");
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
    void baseTopicChangeMovesEverything();
    void badConfigRequestsLeaveFileUntouched();
    void passwordNeverPublished();
    void lateSubscriberHearsTheRunningUiAfterACrash();
    void maintenanceBarcodes_data();
    void maintenanceBarcodes();
};

void TestUiMqtt::getRequestsAnsweredOnce() {
    AppFixture app;
    QVERIFY(app.ready());
    app.peer().clear();
    app.peer().publish(QStringLiteral("zorv/ui/info/get"), "garbage");
    app.peer().publish(QStringLiteral("zorv/ui/status/get"), "");
    app.peer().publish(QStringLiteral("zorv/ui/config/get"), "{}");
    QTRY_COMPARE(app.requests(QStringLiteral("zorv/ui/config")).size(), 1);
    QTest::qWait(200);
    QCOMPARE(app.requests(QStringLiteral("zorv/ui/info")),
             QList<QByteArray>{"{\n    \"version\": \"1.0.18-1-g376f268\"\n}\n"});
    QCOMPARE(app.requests(QStringLiteral("zorv/ui/status")),
             QList<QByteArray>{"{\n    \"service\": true,\n    \"technician\": false\n}\n"});
}

void TestUiMqtt::configSetAppliedAndRepublished() {
    AppFixture app;
    QVERIFY(app.ready());
    app.peer().clear();
    QSignalSpy cursor(&app.gui(), &GUIManager::showCursorChanged);
    QSignalSpy saver(&app.gui(), &GUIManager::screenSaverBgChanged);
    app.publish(QStringLiteral("zorv/ui/config/set"),
                AppFixture::object(R"({"gui": {"showCursor": false, "displayOffMin": 7,
                    "locale": "en_IE", "screenSaverBg": "navy"}, "log": {"level": 3}})"));
    QTRY_COMPARE(cursor.count(), 1);
    QCOMPARE(saver.count(), 1);
    QCOMPARE(app.gui().screenSaverBg(), QColor(QStringLiteral("navy")));
    QCOMPARE(app.gui().language(), QStringLiteral("en_IE"));
    QCOMPARE(app.gui().displayOffMin(), 7);
    // The logger was re-applied at level 3: debug messages pass its filter now.
    QVERIFY(QLoggingCategory::defaultCategory()->isDebugEnabled());
    QTRY_COMPARE(app.requests(QStringLiteral("zorv/ui/config")).size(), 1);
    QVERIFY(
        app.requests(QStringLiteral("zorv/ui/config")).first().contains("\"displayOffMin\": 7"));
    QVERIFY(readAll(app.path(QStringLiteral("gui.conf"))).contains("displayOffMin=7"));
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
        "{\"gui\": 5}",
        "{\"gui\": {\"nosuch\": 1}}",
        "{\"gui\": {\"displayOffMin\": 1.5}}",
        "{\"gui\": {\"showCursor\": \"yes\"}}",
        "{\"mqtt\": {\"host\": 42}}",
    };
    for (const QByteArray& payload : bad) {
        app.peer().publish(QStringLiteral("zorv/ui/config/set"), payload);
    }
    // A good request after them proves they were all taken and processed.
    app.publish(QStringLiteral("zorv/ui/config/set"),
                AppFixture::object(R"({"gui": {"animSwitchSec": 900}})"));
    QTRY_COMPARE(app.gui().animSwitchSec(), 900);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(readAll(file).replace("animSwitchSec=900", "animSwitchSec=0"), before);
}

void TestUiMqtt::passwordNeverPublished() {
    AppFixture app({{QStringLiteral("mqtt/password"), QStringLiteral("s3cr3t-pass")}});
    QVERIFY(app.ready());
    app.publish(QStringLiteral("zorv/ui/config/set"),
                AppFixture::object(R"({"mqtt": {"password": "an0ther-pass"}})"));
    // Stored (the command-line override still wins for the connection), never published.
    QTRY_COMPARE(app.config().toJson().value("mqtt")[QStringLiteral("password")].toString(),
                 QStringLiteral("an0ther-pass"));
    QTRY_VERIFY(app.requests(QStringLiteral("zorv/ui/config")).size() >= 2);
    for (const Peer::Message& m : app.peer().messages()) {
        if (m.topic != QLatin1String("zorv/ui/config/set")) {
            QVERIFY2(!m.payload.contains("-pass") && !m.payload.contains("\"password\""),
                     qPrintable(m.topic));
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
        return all.isEmpty() ? QVariant()
                             : AppFixture::object(all.last().payload).value("service").toVariant();
    };
    QTemporaryDir dir;
    QProcess program;
    program.setWorkingDirectory(dir.path());
    const QStringList args{"-H", broker.host(), "-P", QString::number(broker.port())};
    for (int run = 0; run < 2; ++run) {
        program.start(QStringLiteral(QUELLAN_BINARY), args);
        QVERIFY(program.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(lastService(), QVariant(true), 20000);
        if (run == 0) {
            ::kill(static_cast<pid_t>(program.processId()), SIGKILL);
            QVERIFY(program.waitForFinished());
            QTRY_COMPARE_WITH_TIMEOUT(lastService(), QVariant(false), 10000);
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

// A scanned maintenance barcode: applied only during a session, what the technician
// is shown, and what reaches the services.
void TestUiMqtt::maintenanceBarcodes_data() {
    // 0: no session, 1: a session, 2: a session but the wired interface is not eth0
    QTest::addColumn<int>("state");
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QByteArray>("request");
    const QByteArray obc = R"({"validator": {"obc": "mqtt://user:pw@10.0.0.1:1884"}})";
    QTest::newRow("no session") << 0 << obc << QStringList() << QString() << QByteArray();
    QTest::newRow("obc") << 1 << obc
                         << QStringList{QStringLiteral("OBC : mqtt://user:pw@10.0.0.1:1884")}
                         << QStringLiteral("zorv/blm/config/set")
                         << QByteArray(R"({"blm": {"obu_username": "user", "obu_password": "pw",
                             "obu_host": "10.0.0.1", "obu_port": 1884}})");
    QTest::newRow("dhcp clears addresses")
        << 1 << QByteArray(R"({"network": {"eth0": {"method": "dhcp", "address": "10.1.1.5",
            "netmask": "255.255.255.0", "gateway": "10.1.1.1", "dns0": "8.8.8.8", "dns1": "1.1.1.1"}}})")
        << QStringList{"Method : dhcp",      "Address : 10.1.1.5", "Netmask : 255.255.255.0",
                       "Gateway : 10.1.1.1", "DNS #0 : 8.8.8.8",   "DNS #1 : 1.1.1.1"}
        << kEthernetSet << QByteArray(R"({"address": "", "dns0": "", "dns1": "", "gateway": "",
            "interface": "eth0", "method": "auto", "netmask": ""})");
    QTest::newRow("manual")
        << 1 << QByteArray(R"({"network": {"eth0": {"method": "manual", "address": "10.1.1.5",
            "netmask": "255.255.255.0"}}})")
        << QStringList{"Method : manual", "Address : 10.1.1.5", "Netmask : 255.255.255.0",
                       "Gateway : ",      "DNS #0 : ",          "DNS #1 : "}
        << kEthernetSet
        << QByteArray(R"({"address": "10.1.1.5", "dns0": "", "dns1": "", "gateway": "",
            "interface": "eth0", "method": "manual", "netmask": "255.255.255.0"})");
    const QByteArray refused[] = {
        R"({"network": {"eth0": {"method": "manual", "address": "", "netmask": "255.255.255.0"}}})",
        R"({"network": {"eth0": {"method": "manual", "address": "10.01.1.5", "netmask": "255.255.255.0"}}})",
        R"({"network": {"eth0": {"method": "manual", "address": "10.1.1.5", "netmask": "255.255.255.0", "dns1": "1.2.3"}}})",
        R"({"network": {"wlan0": {}}, "validator": {"obc": ""}})",
    };
    for (const QByteArray& json : refused) {
        QTest::newRow(json.constData()) << 1 << json << QStringList() << QString() << QByteArray();
    }
    QTest::newRow("not eth0") << 2 << QByteArray(R"({"network": {"eth0": {"method": "auto"}}})")
                              << QStringList() << QString() << QByteArray();
}

void TestUiMqtt::maintenanceBarcodes() {
    QFETCH(int, state);
    QFETCH(QByteArray, json);
    QFETCH(QStringList, shown);
    QFETCH(QString, topic);
    QFETCH(QByteArray, request);
    AppFixture app;
    QVERIFY(app.ready());
    if (state != 2) {
        QVERIFY(waitUntil([&] {
            app.publish(QStringLiteral("zorv/network/ethernet/state"),
                        AppFixture::object(R"({"interface": "eth0", "stateStr": "Connected"})"));
            return app.gui().network().ethernet()->interface() == QLatin1String("eth0");
        }));
    }
    if (state != 0) {
        app.gui().settingsLoginRequest(QStringLiteral("8602"));
    }
    QSignalSpy applied(&app.gui(), &GUIManager::barcodeConfigurationApplied);
    app.peer().clear();
    app.peer().publish(kBarcode, json);
    if (shown.isEmpty()) {
        QTest::qWait(300);
        QCOMPARE(applied.count(), 0);
        QCOMPARE(app.requests(QStringLiteral("zorv/inspector/audio/play")).size(), 0);
        return;
    }
    QTRY_COMPARE(applied.count(), 1);
    QCOMPARE(applied.first().first().toStringList(), shown);
    QTRY_COMPARE(app.requests(topic).size(), 1);
    const QJsonObject sent = AppFixture::object(app.requests(topic).first());
    const QJsonObject wanted = AppFixture::object(request);
    for (auto it = wanted.begin(); it != wanted.end(); ++it) {
        QCOMPARE(sent.value(it.key()), it.value());
    }
    // The confirmation: a sound and three green blinks.
    QTRY_COMPARE(app.requests(QStringLiteral("zorv/inspector/audio/play")).size(), 1);
    QTRY_COMPARE(app.requests(QStringLiteral("zorv/board/led/play/request/1")).size(), 1);
}

QTEST_MAIN(TestUiMqtt)
#include "tst_uimqtt.moc"
