// The hardware self-test against a USB device tree of its own in a temporary folder,
// with the board, network and validator services' reports fed to their managers.
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QtTest>

#include "Board.h"
#include "Diagnostics.h"
#include "MqttClient.h"
#include "Network.h"
#include "Validator.h"

namespace {

void writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(content);
}

void addUsb(const QString& root, const QString& path, const char* vendor, const char* product) {
    writeFile(root + "/" + path + "/idVendor", QByteArray(vendor) + "\n");
    writeFile(root + "/" + path + "/idProduct", QByteArray(product) + "\n");
    writeFile(root + "/" + path + "/product", "Device\n");
}

struct Rig {
    QTemporaryDir dir;
    QString deviceId = QStringLiteral("K12345");
    manager::MqttClient client;
    manager::Board board{client, QStringLiteral("zorv/board")};
    manager::Network network{client, QStringLiteral("zorv/network")};
    manager::Validator validator{client, QStringLiteral("zorv/blm")};
    Diagnostics diagnostics{deviceId, board, network, validator};

    Rig() {
        diagnostics.setUsbRoot(dir.filePath(QStringLiteral("usb")));
        diagnostics.setSdCardPath(dir.filePath(QStringLiteral("mmcblk1p1")));
        diagnostics.setReportDir(dir.path());
    }
    void receive(const char* topic, const char* json) {
        emit client.received(QByteArray(json), QByteArray(topic));
    }
    void boardStatus(double temperature, double voltage, bool ignition = true) {
        const QByteArray json = QStringLiteral(
                                    R"({"service": true, "device": {"active": true, "ignition": %1,
                                   "temperature": %2, "voltage": %3}})")
                                    .arg(ignition ? "true" : "false")
                                    .arg(temperature)
                                    .arg(voltage)
                                    .toUtf8();
        emit client.received(json, QByteArrayLiteral("zorv/board/status"));
    }
};

}  // namespace

class TestDiagnostics : public QObject {
    Q_OBJECT

private slots:
    void usbRowsAndSdCard();
    void secondCheckEmitsNothing();
    void startAndStop();
    void liveLimitsAreExclusive();
    void samAndServices();
    void writtenResults();
    void reportLineByLine();
    void reportOverwritesAndFailures();
    void qrPayloadFields();
};

void TestDiagnostics::usbRowsAndSdCard() {
    Rig rig;
    const QString usb = rig.dir.filePath(QStringLiteral("usb"));
    addUsb(usb, "1-1", "0451", "2077");
    addUsb(usb, "1-1.2", "dead", "beef");  // any device will do in the mPCIe slot
    addUsb(usb, "1-1.3", "0ab1", "0008");  // wrong product
    addUsb(usb, "1-1.5", "0403", "6015");
    writeFile(usb + "/1-1.6/idVendor", "05f9\n");  // identifiers unreadable in part
    rig.diagnostics.start(0);
    QCOMPARE(rig.diagnostics.usbHub(), QStringLiteral("OK"));
    QCOMPARE(rig.diagnostics.mPCIe1(), QStringLiteral("OK"));
    QCOMPARE(rig.diagnostics.rfidUsb(), QStringLiteral("ERROR"));
    QCOMPARE(rig.diagnostics.usbHost(), QStringLiteral("MISSING"));
    QCOMPARE(rig.diagnostics.ftdi(), QStringLiteral("OK"));
    QCOMPARE(rig.diagnostics.barcodeUsb(), QStringLiteral("ERROR"));
    QCOMPARE(rig.diagnostics.touch(), QStringLiteral("MISSING"));
    QCOMPARE(rig.diagnostics.sdCard(), QStringLiteral("MISSING"));

    addUsb(usb, "1-1.3", "0ab1", "0007");
    writeFile(rig.dir.filePath(QStringLiteral("mmcblk1p1")), "");
    QSignalSpy rfid(&rig.diagnostics, &Diagnostics::rfidUsbChanged);
    QSignalSpy sd(&rig.diagnostics, &Diagnostics::sdCardChanged);
    rig.diagnostics.start(0);
    QCOMPARE(rig.diagnostics.rfidUsb(), QStringLiteral("OK"));
    QCOMPARE(rig.diagnostics.sdCard(), QStringLiteral("OK"));
    QCOMPARE(rfid.count(), 1);
    QCOMPARE(sd.count(), 1);
}

void TestDiagnostics::secondCheckEmitsNothing() {
    Rig rig;
    addUsb(rig.dir.filePath(QStringLiteral("usb")), "1-1", "0451", "2077");
    rig.diagnostics.start(0);
    QSignalSpy hub(&rig.diagnostics, &Diagnostics::usbHubChanged);
    QSignalSpy touch(&rig.diagnostics, &Diagnostics::touchChanged);
    rig.diagnostics.start(0);
    QCOMPARE(hub.count(), 0);
    QCOMPARE(touch.count(), 0);
}

void TestDiagnostics::startAndStop() {
    Rig rig;
    QSignalSpy hub(&rig.diagnostics, &Diagnostics::usbHubChanged);
    rig.diagnostics.start();   // every second
    QCOMPARE(hub.count(), 1);  // "" -> "MISSING" at once
    addUsb(rig.dir.filePath(QStringLiteral("usb")), "1-1", "0451", "2077");
    QTRY_COMPARE_WITH_TIMEOUT(hub.count(), 2, 2500);
    rig.diagnostics.stop();
    QDir(rig.dir.filePath(QStringLiteral("usb/1-1"))).removeRecursively();
    QTest::qWait(1300);
    QCOMPARE(hub.count(), 2);
    QCOMPARE(rig.diagnostics.usbHub(), QStringLiteral("OK"));  // kept after stop
}

void TestDiagnostics::liveLimitsAreExclusive() {
    Rig rig;
    QSignalSpy temperature(&rig.diagnostics, &Diagnostics::temperatureChanged);
    rig.boardStatus(70.0, 40.0);
    QCOMPARE(rig.diagnostics.temperature(), QStringLiteral("ERROR"));
    QCOMPARE(rig.diagnostics.voltage(), QStringLiteral("ERROR"));
    QVERIFY(temperature.count() >= 1);
    rig.boardStatus(69.9, 39.9);
    QCOMPARE(rig.diagnostics.temperature(), QStringLiteral("OK"));
    QCOMPARE(rig.diagnostics.voltage(), QStringLiteral("OK"));
    rig.boardStatus(15.0, 9.0);
    QCOMPARE(rig.diagnostics.temperature(), QStringLiteral("ERROR"));
    QCOMPARE(rig.diagnostics.voltage(), QStringLiteral("ERROR"));
    rig.boardStatus(15.1, 9.1, false);
    QCOMPARE(rig.diagnostics.temperature(), QStringLiteral("OK"));
    QCOMPARE(rig.diagnostics.ignition(), QStringLiteral("ERROR"));
    QCOMPARE(rig.diagnostics.boardService(), QStringLiteral("OK"));
    rig.receive("zorv/board/status", R"({"service": false})");
    QCOMPARE(rig.diagnostics.boardService(), QStringLiteral("ERROR"));
}

void TestDiagnostics::samAndServices() {
    Rig rig;
    QCOMPARE(rig.diagnostics.sam(), QStringLiteral("ERROR"));
    QCOMPARE(rig.diagnostics.rfidService(), QStringLiteral("ERROR"));
    QSignalSpy sam(&rig.diagnostics, &Diagnostics::samChanged);
    // Reader active but without a secure access module.
    rig.receive("zorv/blm/status", R"({"service": true, "device": {"rfid": {"state": 1,
                "active": true, "sams": []}, "barcode": {"active": true}}})");
    QCOMPARE(sam.count(), 1);
    QCOMPARE(rig.diagnostics.sam(), QStringLiteral("ERROR"));
    QCOMPARE(rig.diagnostics.rfidService(), QStringLiteral("OK"));
    QCOMPARE(rig.diagnostics.barcodeService(), QStringLiteral("OK"));
    QVERIFY(rig.diagnostics.reportText(QDateTime::currentDateTime())
                .split('\n')
                .at(5)
                .endsWith(QStringLiteral("SAM not present")));

    rig.receive("zorv/blm/status", R"({"service": true, "device": {"rfid": {"state": 1,
                "active": true, "sams": [{"slot": 1, "atr": "3B 8F", "uid": "SAM-77"}]}}})");
    QCOMPARE(rig.diagnostics.sam(), QStringLiteral("OK"));
    QVERIFY(rig.diagnostics.reportText(QDateTime::currentDateTime())
                .split('\n')
                .at(5)
                .endsWith(QStringLiteral("SAM-77")));
}

void TestDiagnostics::writtenResults() {
    Rig rig;
    QSignalSpy buzzer(&rig.diagnostics, &Diagnostics::buzzerChanged);
    rig.diagnostics.setBuzzer(QStringLiteral("OK"));
    rig.diagnostics.setBuzzer(QStringLiteral("OK"));
    rig.diagnostics.setBuzzer(QStringLiteral("ERROR"));
    QCOMPARE(buzzer.count(), 2);
    QCOMPARE(rig.diagnostics.buzzer(), QStringLiteral("ERROR"));
}

void TestDiagnostics::reportLineByLine() {
    Rig rig;
    rig.diagnostics.setRgbTest(QStringLiteral("OK"));
    const QDateTime now(QDate(2026, 3, 4), QTime(5, 6));
    const QStringList lines = rig.diagnostics.reportText(now).split('\n');
    QCOMPARE(lines.size(), 37);
    const QString dashes(53, QLatin1Char('-'));
    QCOMPARE(lines.at(0), dashes);
    QCOMPARE(lines.at(1), QStringLiteral(" DEVICE TEST REPORT"));
    QCOMPARE(lines.at(12), dashes);
    QCOMPARE(lines.at(36), dashes);
    QCOMPARE(lines.at(3), QStringLiteral(" Device UID       ") + QString(29, ' ') + "K12345");
    QCOMPARE(lines.at(4),
             QStringLiteral(" Date             ") + QString(19, ' ') + "2026-03-04 05:06");
    QCOMPARE(lines.at(10), QStringLiteral(" Bundle Version   ") + QString(29, ' ') + "<null>");
    QCOMPARE(lines.at(32), QStringLiteral(" Barocde Manager  ") + QString(30, ' ') + "ERROR");
    QCOMPARE(lines.at(35), QStringLiteral(" Display RGB Test ") + QString(33, ' ') + "OK");
    QVERIFY(!rig.diagnostics.reportText(now).endsWith('\n'));
    // A value longer than the field is not cut.
    rig.deviceId = QString(40, 'X');
    QCOMPARE(rig.diagnostics.reportText(now).split('\n').at(3),
             QStringLiteral(" Device UID       ") + QString(40, 'X'));
}

void TestDiagnostics::reportOverwritesAndFailures() {
    Rig rig;
    QSignalSpy finished(&rig.diagnostics, &Diagnostics::saveReportFinished);
    rig.diagnostics.saveReport();
    rig.diagnostics.saveReport();
    QCOMPARE(finished.count(), 2);
    QVERIFY(finished.at(0).at(0).toBool());
    const QStringList reports =
        QDir(rig.dir.path()).entryList({QStringLiteral("TestReport_*.txt")}, QDir::Files);
    QVERIFY(reports.size() >= 1 && reports.size() <= 2);  // 2 only across a minute boundary
    QVERIFY(finished.at(0).at(1).toString().startsWith(
        QStringLiteral("Test report saved successfully:\n")));

    // A report replaces the file whole, never rewrites it in place: a reader of the
    // previous one still reads all of it.
    const QString path = finished.at(1).at(1).toString().section(QLatin1Char('\n'), 1);
    writeFile(path, "previous report");
    QFile previous(path);
    QVERIFY(previous.open(QIODevice::ReadOnly));
    rig.diagnostics.saveReport();
    QCOMPARE(previous.readAll(), QByteArray("previous report"));

    rig.diagnostics.setReportDir(rig.dir.filePath(QStringLiteral("no/such/folder")));
    rig.diagnostics.saveReport();
    QCOMPARE(finished.count(), 4);
    QCOMPARE(finished.at(3).at(0).toBool(), false);
    QVERIFY(finished.at(3).at(1).toString().startsWith(
        QStringLiteral("Could not save Test Report\nERROR: ")));
}

void TestDiagnostics::qrPayloadFields() {
    Rig rig;
    rig.diagnostics.setSpeaker(QStringLiteral("OK"));
    const QStringList fields =
        rig.diagnostics.qrPayload(QDateTime(QDate(2026, 1, 2), QTime(3, 4))).split(';');
    QCOMPARE(fields.size(), 33);
    QCOMPARE(fields.at(0), QStringLiteral("K12345"));
    QCOMPARE(fields.at(1), QStringLiteral("2026-01-02 03:04"));
    QCOMPARE(fields.at(2), QStringLiteral("SAM not present"));
    QCOMPARE(fields.at(7), QString());
    QCOMPARE(fields.at(8), QString());
    QCOMPARE(fields.at(25), QStringLiteral("OK"));  // the speaker, left out of the report
    const QString qr = rig.diagnostics.generateQr();
    QVERIFY(qr.startsWith(QStringLiteral("data:image/svg,<?xml")));

    // The page shows the text as an image source. The SVG's colours hold '#',
    // which a URL would take for the start of a fragment: the whole drawing must
    // still reach the SVG reader (a cut one fails to load).
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import QtQuick 2.15\nImage { property string qr; source: qr }", QUrl());
    QScopedPointer<QObject> image(component.create());
    QVERIFY2(image, qPrintable(component.errorString()));
    image->setProperty("qr", qr);
    QTRY_COMPARE(image->property("status").toInt(), 1);  // Image.Ready
    const int side = qr.section(QStringLiteral("viewBox=\"0 0 "), 1).section(' ', 0, 0).toInt();
    QVERIFY(side > 21);
    QCOMPARE(image->property("sourceSize").toSize(), QSize(side, side));
}

QTEST_MAIN(TestDiagnostics)
#include "tst_diagnostics.moc"
