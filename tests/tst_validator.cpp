// The validator manager against a real broker and a peer playing its services.

#include <QtTest>
#include <memory>

#include "Fixtures.h"
#include "Validator.h"
#include "support/ServiceRig.h"

using manager::Validator;

namespace {

// The online report with changes: "key=value" sets that member ("key=-" removes it),
// "rfid=N" the reader's state code.
QByteArray report(const QString& changes) {
    QString text = validatorFixtureBytes("status-online");
    for (const QString& change : changes.split(' ', Qt::SkipEmptyParts)) {
        const QString key = change.section('=', 0, 0), value = change.section('=', 1);
        if (key == "rfid") {
            text.replace("\"state\": 2", "\"state\": " + value);
        } else {
            text.replace(QRegularExpression('"' + key + "\": \\w+"),
                         value == "-" ? "\"_\": 0" : '"' + key + "\": " + value);
        }
    }
    return text.toUtf8();
}

}  // namespace

class TestValidator : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_rig = std::make_unique<ServiceRig>("zorv");
        m_validator = m_rig->make<Validator>("zorv/blm");
        QVERIFY(m_rig->start());
    }

    void cleanup() { m_rig.reset(); }

    void status_data() {
        // Changes to the online report ("empty": no payload), status, reason and its code.
        QTest::addColumn<QStringList>("row");
        // The first rule that holds wins, in this order.
        QTest::newRow("all well") << QStringList{"", "online", "", ""};
        QTest::newRow("service down")
            << QStringList{"service=false init=true", "offline", "BLM service down", "#0002"};
        QTest::newRow("empty") << QStringList{"empty", "offline", "BLM service down", "#0002"};
        QTest::newRow("init") << QStringList{"init=true hasRfid=false", "init", "", ""};
        QTest::newRow("RFID updating") << QStringList{
            "hasRfid=false rfid=4 hasNtp=false", "offline", "RFID firmware is updating", "#0003"};
        QTest::newRow("RFID down")
            << QStringList{"hasRfid=false rfid=5", "offline", "RFID is not operational", "#0004"};
        QTest::newRow("NTP false") << QStringList{"hasNtp=false hasRoute=false", "offline",
                                                  "NTP not synchronized", "#0007"};
        QTest::newRow("NTP absent") << QStringList{"hasNtp=-", "online", "", ""};
        QTest::newRow("no route") << QStringList{"hasRoute=false hasQr=false", "out-of-service",
                                                 "No route", "#0006"};
        QTest::newRow("OBC lost") << QStringList{"hasObu=false", "degraded", "OBC lost", "#0005"};
        QTest::newRow("both") << QStringList{"hasObu=false hasQr=false", "degraded",
                                             "OBC lost,Barcode not operational", "#0005"};
    }

    void status() {
        QFETCH(QStringList, row);
        const QByteArray payload = row[0] == "empty" ? QByteArray() : report(row[0]);
        QVERIFY(m_rig->send("/blm/status", payload));
        QCOMPARE(
            QStringList({m_validator->status(), m_validator->reason(), m_validator->reasonCode()}),
            row.mid(1));
        Emissions watch(m_validator);
        QVERIFY(m_rig->send("/blm/status", payload));
        QCOMPARE(watch.take(), QString());
        if (row[1] != "offline") {
            QCOMPARE(m_validator->vehicle(), QString("b7e1c9a2-5d1f-4c3e-9a77-2f0e6d3c1a10"));
        }
    }

    void config_data() {
        // Port, passback time and QR passback as the service sends them (texts), the port
        // the address then holds, and the "validator" member that saving sends back.
        QTest::addColumn<QStringList>("row");
        QTest::newRow("texts") << QStringList{"65535", "120", "true", ":65535",
                                              R"("passbackTime":120,"qr_passback":true)"};
        QTest::newRow("capital True, port 0")
            << QStringList{"0", "30", "True", "", R"("passbackTime":30,"qr_passback":false)"};
        QTest::newRow("port beyond 65535")
            << QStringList{"65536", "5.5", "false", "", R"("passbackTime":0,"qr_passback":false)"};
    }

    void config() {
        QFETCH(QStringList, row);
        QByteArray text = validatorFixtureBytes("config");
        text.replace("\"8883\"", '"' + row[0].toUtf8() + '"')
            .replace("\"120\"", '"' + row[1].toUtf8() + '"')
            .replace("\"true\"", '"' + row[2].toUtf8() + '"');
        LogCapture log;
        QSignalSpy changed(m_validator, &Validator::configChanged);
        QVERIFY(m_rig->send("/blm/config", text));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(m_validator->config()->obuUrl().toString(QUrl::RemovePassword),
                 "mqtt://valid%40tor@obc.vehicle.local" + row[3]);
        QVERIFY(
            log.all().filter("[Validator]").filter("s3cr").isEmpty());  // no password in the log
        m_rig->sent();
        m_validator->saveConfig();
        m_validator->refreshConfig();
        QCOMPARE(m_rig->sent(),
                 (QStringList{R"(/blm/config/set {"blm":{"obu_host":"obc.vehicle.local",)"
                              R"("obu_password":"s3cr@t/pw","obu_port":)" +
                                  (row[3].isEmpty() ? "-1" : row[0]) +
                                  R"(,"obu_username":"valid@tor"},"validator":{)" + row[4] + "}}",
                              "/blm/config/get {}"}));
    }

    void readerRequestsFollowTheirState() {
        // Both readers off: only the enables go out, the RFID one asking to read at once.
        QVERIFY(m_rig->send("/blm/status", report("rfid=1 enabled=false")));
        m_rig->sent();
        m_validator->disableBarcode();
        m_validator->disableRfid();
        m_validator->enableBarcode();
        m_validator->enableRfid();
        QCOMPARE(m_rig->sent(),
                 (QStringList{"/barcode/enable ", R"(/rfid/enable {"autoread":true})"}));
        QVERIFY(m_rig->send("/blm/status", report("rfid=3")));  // barcode enabled, card present
        m_rig->sent();
        m_validator->enableBarcode();
        m_validator->enableRfid();
        m_validator->disableBarcode();
        m_validator->disableRfid();
        QCOMPARE(m_rig->sent(), (QStringList{"/barcode/disable ", "/rfid/disable "}));
    }

    void cardsAndScans() {
        QSignalSpy detected(m_validator, &Validator::cardDetected);
        QSignalSpy removed(m_validator, &Validator::cardRemoved);
        QStringList tickets;
        connect(m_validator, &Validator::ticketValidated, this,
                [&](const Transaction& t) { tickets << t.ticketId(); });
        QVERIFY(m_rig->send("/rfid/card/found", validatorFixtureBytes("card-found")));
        QVERIFY(m_rig->send("/rfid/card/found", R"({"uid": "01", "type": 3})"));
        QCOMPARE(detected.at(0), (QVariantList{"04A224B2C35E80", "MIFARE DESFire"}));
        QCOMPARE(detected.at(1), (QVariantList{"01", "Unknown"}));
        QVERIFY(m_rig->send("/rfid/card/removed", "not JSON"));  // the payload is never read
        QCOMPARE(removed.count(), 1);

        LogCapture log;
        QVERIFY(m_rig->send("/blm/rfid/scanned", validatorFixtureBytes("scan-epurse")));
        QVERIFY(m_rig->send("/blm/barcode/scanned", validatorFixtureBytes("scan-barcode")));
        QVERIFY(m_rig->send("/blm/barcode/scanned", R"({"transaction": 5})"));
        QCOMPARE(tickets.size(), 3);
        QCOMPARE(tickets.first(), QString("C-04A224B2C35E80-7781"));
        QVERIFY(log.contains("WARN: Scan result without a transaction object"));

        QVERIFY(m_rig->send("/blm/info", validatorFixtureBytes("info")));
        QCOMPARE(m_validator->version() + m_validator->rfid()->model(), QString("3.4.2CPR74"));
    }

private:
    std::unique_ptr<ServiceRig> m_rig;
    Validator* m_validator = nullptr;
};

QTEST_GUILESS_MAIN(TestValidator)
#include "tst_validator.moc"
