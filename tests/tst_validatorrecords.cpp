// The validator's records (card reader and SAMs, barcode reader, configuration).

#include <QtTest>

#include "Emissions.h"
#include "Fixtures.h"
#include "SAM.h"
#include "ValidatorBarcode.h"
#include "ValidatorRfid.h"

class TestValidatorRecords : public QObject {
    Q_OBJECT

private slots:
    void rfidState_data();
    void rfidState();
    void rfidReport();
    void barcodeTakesOnlyPresentKeys();
};

void TestValidatorRecords::rfidState_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("idle") << 1 << "Idle" << false;
    QTest::newRow("searching") << 2 << "Searching" << true;
    QTest::newRow("card found") << 3 << "CardFound" << true;
    QTest::newRow("updating") << 4 << "Updating" << false;
    QTest::newRow("beyond") << 6 << "Unknown" << false;
}

void TestValidatorRecords::rfidState() {
    QFETCH(int, code);
    ValidatorRfid rfid;
    rfid.fromJson({{"state", code}});
    QTEST(rfid.state(), "state");
    QTEST(rfid.enabled(), "enabled");
}

void TestValidatorRecords::rfidReport() {
    const QJsonObject status =
        validatorFixture("status-online")["device"].toObject()["rfid"].toObject();
    ValidatorRfid rfid;
    Emissions watch(&rfid);
    // The info part alone leaves the state alone, and the other way round.
    rfid.fromJson(validatorFixture("info")["device"].toObject()["rfid"].toObject());
    QCOMPARE(watch.take(), QString("firmwareChanged manufacturerChanged modelChanged "
                                   "deviceUidChanged"));
    rfid.fromJson(status);
    QCOMPARE(watch.take(), QString("activeChanged enabledChanged numberOfSlotsChanged stateChanged "
                                   "samChanged"));
    QVERIFY(rfid.active() && rfid.error().isEmpty());
    QCOMPARE(rfid.firmware() + rfid.deviceUid() + rfid.model(), QString("2.0704A1B2C3D4E5F6CPR74"));
    QCOMPARE(rfid.slotFlags(), (QList<bool>{true, false, true, false}));
    SAM* sam = rfid.sam();
    QCOMPARE(sam->slot(), 1);
    QVERIFY(sam->enabled() && sam->unlocked());
    QCOMPARE(QStringList({sam->name(), sam->mode(), sam->vendor(), sam->atr(), sam->batch(),
                          sam->uid(), sam->version()}),
             QStringList({"Operator SAM", "AV2", "NXP", "3B8F8001804F0CA0000003060300030000000068",
                          "B-2211", "0412AB34CD56EF", "2.1"}));
    QCOMPARE(sam->production(), QDate(2022, 11, 14));

    // Every report replaces the SAMs; the old ones go at the next return to the loop.
    QPointer<SAM> old = sam;
    rfid.fromJson({{"state", 2}, {"sams", QJsonArray{QJsonObject{{"production", "2022-13-01"}}}}});
    QVERIFY(old);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!old);
    QCOMPARE(rfid.sam()->production(), QDate());
    QCOMPARE(rfid.numberOfSlots(), 0);
    rfid.fromJson({{"state", 2}});
    QCOMPARE(rfid.sam(), nullptr);
}

void TestValidatorRecords::barcodeTakesOnlyPresentKeys() {
    ValidatorBarcode barcode;
    barcode.fromJson(validatorFixture("info")["device"].toObject()["barcode"].toObject());
    Emissions watch(&barcode);
    barcode.fromJson({{"enabled", true}});
    QCOMPARE(watch.take(), QString("enabledChanged"));
    QVERIFY(barcode.active() && barcode.enabled());
    QCOMPARE(barcode.firmware() + barcode.manufacturer() + barcode.model(),
             QString("4.2.1NewlandNLS-FM430"));
}

QTEST_GUILESS_MAIN(TestValidatorRecords)
#include "tst_validatorrecords.moc"
