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
    void rfidReport() {
        const QJsonObject status =
            validatorFixture("status-online")["device"].toObject()["rfid"].toObject();
        ValidatorRfid rfid;
        Emissions watch(&rfid);
        // The info part alone leaves the state alone, and the other way round.
        rfid.fromJson(validatorFixture("info")["device"].toObject()["rfid"].toObject());
        QCOMPARE(watch.take(), QString("firmwareChanged manufacturerChanged modelChanged "
                                       "deviceUidChanged"));
        rfid.fromJson(status);
        QCOMPARE(watch.take(),
                 QString("activeChanged enabledChanged numberOfSlotsChanged stateChanged "
                         "samChanged"));
        QVERIFY(rfid.active() && rfid.error().isEmpty());
        QCOMPARE(rfid.firmware() + rfid.deviceUid() + rfid.model(),
                 QString("2.0704A1B2C3D4E5F6CPR74"));
        QCOMPARE(rfid.slotFlags(), (QList<bool>{true, false, true, false}));
        SAM* sam = rfid.sam();
        QCOMPARE(sam->production(), QDate(2022, 11, 14));
        QCOMPARE(sam->vendor() + sam->batch(), QStringLiteral("NXPB-2211"));
        QVERIFY(sam->enabled());

        // Every report replaces the SAMs; the old ones go at the next return to the loop.
        QPointer<SAM> old = sam;
        rfid.fromJson(
            {{"state", 2}, {"sams", QJsonArray{QJsonObject{{"production", "2022-13-01"}}}}});
        QVERIFY(old);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!old);
        QCOMPARE(rfid.sam()->production(), QDate());
        QCOMPARE(rfid.numberOfSlots(), 0);
        rfid.fromJson({{"state", 2}});
        QCOMPARE(rfid.sam(), nullptr);
    }

    void barcodeTakesOnlyPresentKeys() {
        ValidatorBarcode barcode;
        barcode.fromJson(validatorFixture("info")["device"].toObject()["barcode"].toObject());
        Emissions watch(&barcode);
        barcode.fromJson({{"enabled", true}});
        QCOMPARE(watch.take(), QString("enabledChanged"));
        QVERIFY(barcode.active() && barcode.enabled());
        QCOMPARE(barcode.firmware() + barcode.manufacturer() + barcode.model(),
                 QString("4.2.1NewlandNLS-FM430"));
    }
};

QTEST_GUILESS_MAIN(TestValidatorRecords)
#include "tst_validatorrecords.moc"
