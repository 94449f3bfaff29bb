// The hardware self-test against a USB device tree of its own in a temporary folder,
// with the board and validator services' reports fed to their managers.
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include "Board.h"
#include "Diagnostics.h"
#include "MqttClient.h"
#include "Network.h"
#include "Validator.h"
#include "support/Files.h"

namespace {
struct Rig {
    QTemporaryDir dir;
    QString deviceId = "K12345";
    manager::MqttClient client;
    manager::Board board{client, "zorv/board"};
    manager::Network network{client, "zorv/network"};
    manager::Validator validator{client, "zorv/blm"};
    Diagnostics diagnostics{
        deviceId, board, network, validator, dir.filePath("usb"), dir.filePath("mmcblk1p1")};
    const QString home = QDir::currentPath();
    Rig() { QDir::setCurrent(dir.path()); }  // the report's folder, as the unit sets it
    ~Rig() { QDir::setCurrent(home); }
    void usb(const QString& path, const char* vendor, const char* product) {
        writeFile(dir.filePath("usb/" + path + "/idVendor"), QByteArray(vendor) + "\n");
        writeFile(dir.filePath("usb/" + path + "/idProduct"), QByteArray(product) + "\n");
    }
    void receive(const char* topic, const QByteArray& json) { emit client.received(json, topic); }
};
}  // namespace

class TestDiagnostics : public QObject {
    Q_OBJECT

private slots:
    void usbRowsAndSdCard() {
        Rig rig;
        rig.usb("1-1", "0451", "2077");
        rig.usb("1-1.2", "dead", "beef");  // any device will do in the mPCIe slot
        rig.usb("1-1.3", "0ab1", "0008");  // wrong product
        writeFile(rig.dir.filePath("usb/1-1.6/idVendor"), "05f9\n");  // identifiers in part
        rig.diagnostics.start(0);
        QCOMPARE(rig.diagnostics.usbHub(), QStringLiteral("OK"));
        QCOMPARE(rig.diagnostics.mPCIe1(), QStringLiteral("OK"));
        QCOMPARE(rig.diagnostics.rfidUsb(), QStringLiteral("ERROR"));
        QCOMPARE(rig.diagnostics.barcodeUsb(), QStringLiteral("ERROR"));
        QCOMPARE(rig.diagnostics.touch(), QStringLiteral("MISSING"));
        QCOMPARE(rig.diagnostics.sdCard(), QStringLiteral("MISSING"));

        rig.usb("1-1.3", "0ab1", "0007");
        writeFile(rig.dir.filePath("mmcblk1p1"), "");
        const QTimer* check = rig.diagnostics.findChild<QTimer*>("checkTimer");
        QVERIFY(!check->isActive());  // 0: checked once only
        rig.diagnostics.start();      // the page opens: checked at once, then every second
        QCOMPARE(rig.diagnostics.rfidUsb() + rig.diagnostics.sdCard(), QStringLiteral("OKOK"));
        QCOMPARE(check->interval(), 1000);
        rig.diagnostics.stop();  // and closes
        QVERIFY(!check->isActive());
    }

    void liveLimitsAreExclusive_data() {
        QTest::addColumn<double>("temperature");
        QTest::addColumn<double>("voltage");
        QTest::addColumn<QString>("result");
        QTest::newRow("upper") << 70.0 << 40.0 << "ERROR";
        QTest::newRow("below upper") << 69.9 << 39.9 << "OK";
        QTest::newRow("lower") << 15.0 << 9.0 << "ERROR";
        QTest::newRow("above lower") << 15.1 << 9.1 << "OK";
    }

    void liveLimitsAreExclusive() {
        QFETCH(double, temperature);
        QFETCH(double, voltage);
        QFETCH(QString, result);
        Rig rig;
        rig.receive(
            "zorv/board/status",
            QStringLiteral(R"({"service": true, "device": {"active": true, "ignition": false,
                        "temperature": %1, "voltage": %2}})")
                .arg(temperature)
                .arg(voltage)
                .toUtf8());
        QCOMPARE(rig.diagnostics.temperature(), result);
        QCOMPARE(rig.diagnostics.voltage(), result);
        QCOMPARE(rig.diagnostics.ignition(), QStringLiteral("ERROR"));
    }

    void reportAndQrPayload() {
        Rig rig;
        const QDateTime now(QDate(2026, 3, 4), QTime(5, 6));
        rig.diagnostics.setRgbTest("OK");
        rig.diagnostics.setSpeaker("OK");
        const QStringList lines = rig.diagnostics.reportText(now).split('\n');
        QCOMPARE(lines.size(), 37);
        QCOMPARE(lines.at(1), QStringLiteral(" DEVICE TEST REPORT"));
        QCOMPARE(lines.at(3), QStringLiteral(" Device UID       ") + QString(29, ' ') + "K12345");
        QCOMPARE(lines.at(4), " Date             " + QString(19, ' ') + "2026-03-04 05:06");
        QCOMPARE(lines.at(5), " SAM              " + QString(20, ' ') + "SAM not present");
        QCOMPARE(lines.at(35), QStringLiteral(" Display RGB Test ") + QString(33, ' ') + "OK");
        const QStringList fields = rig.diagnostics.qrPayload(now).split(';');
        QCOMPARE(fields.size(), 33);
        QCOMPARE(fields.mid(0, 3), (QStringList{"K12345", "2026-03-04 05:06", "SAM not present"}));
        QCOMPARE(fields.at(25), QStringLiteral("OK"));  // the speaker, left out of the report

        // A module in its slot.
        QCOMPARE(rig.diagnostics.sam(), QStringLiteral("ERROR"));
        rig.receive("zorv/blm/status", R"({"service": true, "device": {"rfid": {"state": 1,
                    "active": true, "sams": [{"slot": 1, "atr": "3B 8F", "uid": "SAM-77"}]}}})");
        QCOMPARE(rig.diagnostics.sam(), QStringLiteral("OK"));
        QVERIFY(rig.diagnostics.reportText(now).split('\n').at(5).endsWith(" SAM-77"));
        QVERIFY(rig.diagnostics.generateQr().startsWith("data:image/svg,<?xml"));
    }

    void savedReport() {
        Rig rig;
        QSignalSpy finished(&rig.diagnostics, &Diagnostics::saveReportFinished);
        folderSynced(rig.dir.path());
        rig.diagnostics.saveReport();
        QVERIFY(
            folderSynced(rig.dir.path()));  // a report said to be saved lasts through a power cut
        QCOMPARE(finished.count(), 1);
        QVERIFY(finished.at(0).at(0).toBool());
        QVERIFY(finished.at(0).at(1).toString().startsWith("Test report saved successfully:\n"));
        const QStringList reports =
            QDir(rig.dir.path()).entryList({"TestReport_*.txt"}, QDir::Files);
        QCOMPARE(reports.size(), 1);
        // A report replaces the file whole, never rewrites it in place: a reader of the
        // previous one still reads all of it.
        const QString path = finished.at(0).at(1).toString().section('\n', 1);
        writeFile(path, "previous report");
        QFile previous(path);
        QVERIFY(previous.open(QIODevice::ReadOnly));
        rig.diagnostics.saveReport();
        QCOMPARE(previous.readAll(), QByteArray("previous report"));
        QVERIFY(QDir().mkdir("gone") && QDir::setCurrent("gone") &&
                QDir(rig.dir.path()).rmdir("gone"));
        rig.diagnostics.saveReport();  // its folder is no more
        QCOMPARE(finished.at(2).at(0).toBool(), false);
        QVERIFY(finished.at(2).at(1).toString().startsWith("Could not save Test Report\nERROR: "));
    }
};

QTEST_MAIN(TestDiagnostics)
#include "tst_diagnostics.moc"
