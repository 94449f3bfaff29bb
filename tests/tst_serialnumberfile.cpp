// The serial-number file: its first line that is not empty, looked for again while
// it is missing, and written whole or reported as failed.
#include <QSignalSpy>
#include <QtTest>

#include "Config.h"
#include "SerialNumberFile.h"

class TestSerialNumberFile : public QObject {
    Q_OBJECT

private slots:
    void readRetryAndSave() {
        QTemporaryDir dir;
        const QString path = dir.filePath("sn");
        Config config(dir.filePath("gui.conf"), {{"gui/deviceId", path}});
        SerialNumberFile file(config);
        QSignalSpy found(&file, &SerialNumberFile::found);
        file.load();
        QTimer* retry = file.findChild<QTimer*>("retryTimer");
        QVERIFY(found.isEmpty() && retry->isActive());
        QCOMPARE(retry->interval(), 30000);

        // Provisioned later: taken at the next look, which is the last.
        QFile serial(path);
        QVERIFY(serial.open(QIODevice::WriteOnly));
        serial.write("\n   \n  K00000042  \nK99\n");
        serial.close();
        retry->setInterval(10);
        QTRY_COMPARE(found.count(), 1);
        QCOMPARE(found.first().first().toString(), QString("K00000042"));
        QVERIFY(!retry->isActive());

        file.save("C87654321");
        QVERIFY(serial.open(QIODevice::ReadOnly));
        QCOMPARE(serial.readAll(), QByteArray("C87654321"));

        // A number the disk refuses is reported, not taken as saved.
        config.set("gui/deviceId", "/dev/full");
        QSignalSpy failed(&file, &SerialNumberFile::saveFailed);
        file.save("C87654321");
        QCOMPARE(failed.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSerialNumberFile)
#include "tst_serialnumberfile.moc"
