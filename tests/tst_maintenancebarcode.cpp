// A maintenance barcode scanned on the validator: applied only during a settings
// session, what the technician is shown, and what reaches the services.
#include <QSignalSpy>
#include <QtTest>

#include "AppFixture.h"

class TestMaintenanceBarcode : public QObject {
    Q_OBJECT

private slots:
    void scanned_data() {
        QTest::addColumn<int>("state");  // 0: no session, 1: a session, 2: one but not on eth0
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QByteArray>("request");  // to the validator or the network service
        const QByteArray obc = R"({"validator": {"obc": "mqtt://user:pw@10.0.0.1:1884"}})";
        QTest::newRow("no session") << 0 << obc << QStringList() << QByteArray();
        QTest::newRow("obc") << 1 << obc << QStringList{"OBC : mqtt://user:pw@10.0.0.1:1884"}
                             << QByteArray(R"({"blm": {"obu_username": "user", "obu_password": "pw",
                                 "obu_host": "10.0.0.1", "obu_port": 1884}})");
        QTest::newRow("dhcp clears addresses")
            << 1 << QByteArray(R"({"network": {"eth0": {"method": "dhcp", "address": "10.1.1.5",
                "netmask": "255.255.255.0", "gateway": "10.1.1.1", "dns0": "8.8.8.8", "dns1": "1.1.1.1"}}})")
            << QStringList{"Method : dhcp",      "Address : 10.1.1.5", "Netmask : 255.255.255.0",
                           "Gateway : 10.1.1.1", "DNS #0 : 8.8.8.8",   "DNS #1 : 1.1.1.1"}
            << QByteArray(
                   R"({"address": "", "dns0": "", "dns1": "", "gateway": "", "method": "auto",
                "interface": "eth0", "netmask": ""})");
        const QByteArray manual =
            R"({"network": {"eth0": {"method": "manual", "address": "10.1.1.5",
            "netmask": "255.255.255.0"}}})";
        QTest::newRow("manual")
            << 1 << manual
            << QStringList{"Method : manual", "Address : 10.1.1.5", "Netmask : 255.255.255.0",
                           "Gateway : ",      "DNS #0 : ",          "DNS #1 : "}
            << QByteArray(R"({"address": "10.1.1.5", "dns0": "", "gateway": "",
                "method": "manual", "netmask": "255.255.255.0"})");
        // Fixed settings against the settings page's rule, nothing usable, not on eth0.
        QTest::newRow("bad address") << 1 << QByteArray(manual).replace("10.1.1.5", "10.01.1.5")
                                     << QStringList() << QByteArray();
        QTest::newRow("nothing") << 1
                                 << QByteArray(R"({"network": {"wlan0": {}}, "validator": {}})")
                                 << QStringList() << QByteArray();
        QTest::newRow("not eth0") << 2 << manual << QStringList() << QByteArray();
    }

    void scanned() {
        QFETCH(int, state);
        QFETCH(QStringList, shown);
        AppFixture app;
        QVERIFY(app.ready());
        if (state != 2) {  // retained, as the network service publishes it
            app.publish("zorv/network/ethernet/state",
                        AppFixture::object(R"({"interface": "eth0"})"));
            QTRY_COMPARE(app.part<manager::Network>("network").ethernet()->interface(),
                         QStringLiteral("eth0"));
        }
        app.gui().settingsLoginRequest(state == 0 ? QStringLiteral("0000")
                                                  : QStringLiteral("8602"));
        QSignalSpy applied(&app.gui(), &GUIManager::barcodeConfigurationApplied);
        app.peer().clear();
        QFETCH(QByteArray, json);
        app.peer().publish(QStringLiteral("zorv/blm/barcode/maintenance/scanned"), json);
        const QString play = QStringLiteral("zorv/inspector/audio/play");
        if (shown.isEmpty()) {
            QTest::qWait(300);
            QVERIFY(applied.isEmpty() && app.requests(play).isEmpty());
            return;
        }
        QTRY_COMPARE(applied.count(), 1);
        QCOMPARE(applied.first().first().toStringList(), shown);
        QFETCH(QByteArray, request);
        const QString topic = request.startsWith("{\"blm")
                                  ? QStringLiteral("zorv/blm/config/set")
                                  : QStringLiteral("zorv/network/ethernet/config/set");
        QTRY_COMPARE(app.requests(topic).size(), 1);
        const QJsonObject sent = AppFixture::object(app.requests(topic).first()),
                          wanted = AppFixture::object(request);
        for (auto it = wanted.begin(); it != wanted.end(); ++it) {
            QCOMPARE(sent.value(it.key()), it.value());
        }
        // The confirmation: a sound and three green blinks.
        QTRY_COMPARE(app.requests(play).size(), 1);
        QTRY_COMPARE(app.requests(QStringLiteral("zorv/board/led/play/request/1")).size(), 1);
    }
};

QTEST_MAIN(TestMaintenanceBarcode)
#include "tst_maintenancebarcode.moc"
