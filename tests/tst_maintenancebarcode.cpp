// A maintenance barcode scanned on the validator: applied only during a settings
// session, what the technician is shown, and what reaches the services.
#include <QSignalSpy>
#include <QtTest>

#include "AppFixture.h"

namespace {
const QString kBarcode = QStringLiteral("zorv/blm/barcode/maintenance/scanned");
const QString kEthernetSet = QStringLiteral("zorv/network/ethernet/config/set");
}  // namespace

class TestMaintenanceBarcode : public QObject {
    Q_OBJECT

private slots:
    void scanned_data();
    void scanned();
};

void TestMaintenanceBarcode::scanned_data() {
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
    // Fixed settings that break the settings page's rule, and nothing usable.
    const QByteArray refused[] = {
        R"({"network": {"eth0": {"method": "manual", "address": "10.01.1.5", "netmask": "255.255.255.0"}}})",
        R"({"network": {"wlan0": {}}, "validator": {"obc": ""}})",
    };
    for (const QByteArray& json : refused) {
        QTest::newRow(json.constData()) << 1 << json << QStringList() << QString() << QByteArray();
    }
    QTest::newRow("not eth0") << 2 << QByteArray(R"({"network": {"eth0": {"method": "auto"}}})")
                              << QStringList() << QString() << QByteArray();
}

void TestMaintenanceBarcode::scanned() {
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

QTEST_MAIN(TestMaintenanceBarcode)
#include "tst_maintenancebarcode.moc"
