#include <QJsonArray>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

#include "Emissions.h"
#include "SAM.h"
#include "ValidatorBarcode.h"
#include "ValidatorConfig.h"
#include "ValidatorFixtures.h"
#include "ValidatorRfid.h"

namespace {

// The properties whose change signal fired since the last call, sorted; one that
// fired more than once shows its count ("enabled x2").
QStringList fired(Emissions& emitted) {
    QStringList names =
        emitted.take().remove("Changed").split(QRegularExpression(" (?!x\\d)"), Qt::SkipEmptyParts);
    names.sort();
    return names;
}

QJsonObject rfidStatus(int state, const QJsonArray& sams = QJsonArray()) {
    return QJsonObject{{"active", true},
                       {"error", ""},
                       {"state", state},
                       {"slots", QJsonArray{true, false}},
                       {"sams", sams}};
}

void flushDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

class TestValidatorRecords : public QObject {
    Q_OBJECT

private slots:
    void configSettersCompareFirst();
    void barcodeAppliesOnlyPresentKeys();
    void barcodeWrongTypesReadAsDefaults();
    void rfidInfoPartLeavesStatusAlone();
    void rfidStateTable_data();
    void rfidStateTable();
    void rfidEnabledFollowsState();
    void rfidSlotFlags();
    void rfidSamsReplacedOnEveryStatus();
    void rfidEmptyOrBrokenSams();
    void samReadsEveryKey();
    void samProductionDate_data();
    void samProductionDate();
};

void TestValidatorRecords::configSettersCompareFirst() {
    ValidatorConfig config;
    Emissions spies(&config);

    config.setPassbackSecs(0);
    config.setPassbackQrEnabled(false);
    config.setObuUrl(QUrl());
    QCOMPARE(fired(spies), QStringList());

    config.setObuUrl(QUrl("mqtt://user:pw@obc.local:1883"));
    config.setPassbackSecs(90);
    config.setPassbackQrEnabled(true);
    QCOMPARE(fired(spies), (QStringList{"obuUrl", "passbackQrEnabled", "passbackSecs"}));

    config.setObuUrl(QUrl("mqtt://user:pw@obc.local:1883"));
    config.setPassbackSecs(90);
    config.setPassbackQrEnabled(true);
    QCOMPARE(fired(spies), QStringList());
    QCOMPARE(config.passbackSecs(), 90);
    QVERIFY(config.passbackQrEnabled());
    QCOMPARE(config.obuUrl().port(), 1883);

    // A different port is a different address.
    config.setObuUrl(QUrl("mqtt://user:pw@obc.local:1884"));
    QCOMPARE(fired(spies), QStringList{"obuUrl"});
}

void TestValidatorRecords::barcodeAppliesOnlyPresentKeys() {
    ValidatorBarcode barcode;
    Emissions spies(&barcode);

    barcode.fromJson(QJsonObject());
    QCOMPARE(fired(spies), QStringList());

    const QJsonObject info = validatorFixture("info")["device"].toObject()["barcode"].toObject();
    QVERIFY(!info.isEmpty());
    barcode.fromJson(info);
    QCOMPARE(fired(spies), (QStringList{"active", "firmware", "manufacturer", "model"}));
    QVERIFY(barcode.active());
    QVERIFY(!barcode.enabled());
    QCOMPARE(barcode.firmware(), QString("4.2.1"));
    QCOMPARE(barcode.manufacturer(), QString("Newland"));
    QCOMPARE(barcode.model(), QString("NLS-FM430"));

    // The status message carries only the flags: the identity stays.
    barcode.fromJson(QJsonObject{{"active", true}, {"enabled", true}});
    QCOMPARE(fired(spies), QStringList{"enabled"});
    QCOMPARE(barcode.firmware(), QString("4.2.1"));

    barcode.fromJson(info);
    barcode.fromJson(QJsonObject{{"enabled", false}});
    QCOMPARE(fired(spies), QStringList{"enabled"});
}

void TestValidatorRecords::barcodeWrongTypesReadAsDefaults() {
    ValidatorBarcode barcode;
    barcode.fromJson(QJsonObject{{"active", true}, {"firmware", "1.0"}});
    Emissions spies(&barcode);

    barcode.fromJson(QJsonObject{{"active", "yes"}, {"firmware", 2}, {"model", QJsonArray{1}}});
    QVERIFY(!barcode.active());
    QCOMPARE(barcode.firmware(), QString());
    QCOMPARE(barcode.model(), QString());
    QCOMPARE(fired(spies), (QStringList{"active", "firmware"}));
}

void TestValidatorRecords::rfidInfoPartLeavesStatusAlone() {
    ValidatorRfid rfid;
    rfid.fromJson(rfidStatus(2, QJsonArray{QJsonObject{{"slot", 1}}}));
    SAM* sam = rfid.sam();
    QVERIFY(sam);
    Emissions spies(&rfid);

    rfid.fromJson(validatorFixture("info")["device"].toObject()["rfid"].toObject());
    QCOMPARE(fired(spies), (QStringList{"deviceUid", "firmware", "manufacturer", "model"}));
    QCOMPARE(rfid.firmware(), QString("2.07"));
    QCOMPARE(rfid.manufacturer(), QString("Feig"));
    QCOMPARE(rfid.model(), QString("CPR74"));
    QCOMPARE(rfid.deviceUid(), QString("04A1B2C3D4E5F6"));
    QCOMPARE(rfid.state(), QString("Searching"));
    QVERIFY(rfid.active());
    QCOMPARE(rfid.numberOfSlots(), 2);
    QCOMPARE(rfid.sam(), sam);

    // The status part alone keeps the identity.
    rfid.fromJson(rfidStatus(1));
    QCOMPARE(rfid.firmware(), QString("2.07"));
    QCOMPARE(fired(spies), (QStringList{"enabled", "sam", "state"}));

    // Neither part: nothing at all.
    rfid.fromJson(QJsonObject{{"model", "other"}, {"active", false}});
    QCOMPARE(fired(spies), QStringList());
    QCOMPARE(rfid.model(), QString("CPR74"));
}

void TestValidatorRecords::rfidStateTable_data() {
    QTest::addColumn<QJsonValue>("code");
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("0") << QJsonValue(0) << "Init" << false;
    QTest::newRow("1") << QJsonValue(1) << "Idle" << false;
    QTest::newRow("2") << QJsonValue(2) << "Searching" << true;
    QTest::newRow("3") << QJsonValue(3) << "CardFound" << true;
    QTest::newRow("4") << QJsonValue(4) << "Updating" << false;
    QTest::newRow("5") << QJsonValue(5) << "Error" << false;
    QTest::newRow("6") << QJsonValue(6) << "Unknown" << false;
    QTest::newRow("7") << QJsonValue(7) << "Unknown" << false;
    QTest::newRow("-1") << QJsonValue(-1) << "Unknown" << false;
    QTest::newRow("text") << QJsonValue("2") << "Init" << false;
    QTest::newRow("null") << QJsonValue(QJsonValue::Null) << "Init" << false;
}

void TestValidatorRecords::rfidStateTable() {
    QFETCH(QJsonValue, code);
    QFETCH(QString, state);
    QFETCH(bool, enabled);
    ValidatorRfid rfid;
    QSignalSpy stateSpy(&rfid, &ValidatorRfid::stateChanged);
    QJsonObject status = rfidStatus(0);
    status["state"] = code;
    rfid.fromJson(status);
    QCOMPARE(rfid.state(), state);
    QCOMPARE(rfid.enabled(), enabled);
    QCOMPARE(stateSpy.count(), 1);
    QCOMPARE(ValidatorRfid::stateText(code.toInt()), state);
}

void TestValidatorRecords::rfidEnabledFollowsState() {
    ValidatorRfid rfid;
    rfid.fromJson(rfidStatus(2));
    QVERIFY(rfid.enabled());

    Emissions emitted(&rfid);

    // Searching to CardFound: enabled stays true but is announced with the state
    // (and every status brings its modules anew).
    rfid.fromJson(rfidStatus(3));
    QVERIFY(rfid.enabled());
    QCOMPARE(emitted.order(), (QStringList{"stateChanged", "enabledChanged", "samChanged"}));
    emitted.take();

    // Same state again: silence.
    rfid.fromJson(rfidStatus(3));
    QCOMPARE(emitted.take(), QString("samChanged"));

    rfid.fromJson(rfidStatus(4));
    QCOMPARE(rfid.state(), QString("Updating"));
    QVERIFY(!rfid.enabled());
    QCOMPARE(emitted.order(), (QStringList{"stateChanged", "enabledChanged", "samChanged"}));
}

void TestValidatorRecords::rfidSlotFlags() {
    ValidatorRfid rfid;
    QSignalSpy countSpy(&rfid, &ValidatorRfid::numberOfSlotsChanged);
    QJsonObject status = rfidStatus(1);
    status["slots"] = QJsonArray{true, "true", 1, false, true};
    rfid.fromJson(status);
    QCOMPARE(rfid.numberOfSlots(), 5);
    QCOMPARE(rfid.slotFlags(), (QList<bool>{true, false, false, false, true}));
    QCOMPARE(countSpy.count(), 1);

    // Replaced, not appended; a count that stays the same is not announced.
    status["slots"] = QJsonArray{false, false, false, false, false};
    rfid.fromJson(status);
    QCOMPARE(rfid.slotFlags(), (QList<bool>{false, false, false, false, false}));
    QCOMPARE(countSpy.count(), 1);

    status["slots"] = "none";
    rfid.fromJson(status);
    QCOMPARE(rfid.numberOfSlots(), 0);
    QCOMPARE(countSpy.count(), 2);
}

void TestValidatorRecords::rfidSamsReplacedOnEveryStatus() {
    const QJsonObject online =
        validatorFixture("status-online")["device"].toObject()["rfid"].toObject();
    QVERIFY(!online.isEmpty());
    ValidatorRfid rfid;
    QSignalSpy samSpy(&rfid, &ValidatorRfid::samChanged);

    rfid.fromJson(online);
    QCOMPARE(samSpy.count(), 1);
    QCOMPARE(rfid.sams().size(), 2);
    QPointer<SAM> first = rfid.sam();
    QPointer<SAM> second = rfid.sams().at(1);
    QVERIFY(first);
    QCOMPARE(first->parent(), &rfid);
    QCOMPARE(first->slot(), 1);
    QCOMPARE(second->slot(), 3);
    QCOMPARE(second->name(), QString("EMV SAM"));

    // The same content again gives new objects; the old ones stay readable until
    // the event loop runs (QML may still hold them).
    rfid.fromJson(online);
    QCOMPARE(samSpy.count(), 2);
    QVERIFY(rfid.sam() != first.data());
    QVERIFY(first);
    QCOMPARE(first->name(), QString("Operator SAM"));
    flushDeferredDeletes();
    QVERIFY(!first);
    QVERIFY(!second);
    QCOMPARE(rfid.sam()->name(), QString("Operator SAM"));
    QCOMPARE(rfid.findChildren<SAM*>().size(), 2);

    // An info part never touches them.
    QPointer<SAM> current = rfid.sam();
    rfid.fromJson(QJsonObject{{"firmware", "3.0"}});
    flushDeferredDeletes();
    QVERIFY(current);
    QCOMPARE(samSpy.count(), 2);
}

void TestValidatorRecords::rfidEmptyOrBrokenSams() {
    ValidatorRfid rfid;
    rfid.fromJson(rfidStatus(2, QJsonArray{QJsonObject{{"slot", 2}}}));
    QVERIFY(rfid.sam());
    QSignalSpy samSpy(&rfid, &ValidatorRfid::samChanged);

    rfid.fromJson(rfidStatus(2));
    QCOMPARE(rfid.sam(), nullptr);
    QCOMPARE(samSpy.count(), 1);

    // Not an array, or elements that are not objects: no crash, default modules.
    QJsonObject status = rfidStatus(2);
    status["sams"] = QJsonObject{{"slot", 1}};
    rfid.fromJson(status);
    QCOMPARE(rfid.sam(), nullptr);
    status["sams"] = QJsonArray{42, "x"};
    rfid.fromJson(status);
    QCOMPARE(rfid.sams().size(), 2);
    QCOMPARE(rfid.sam()->slot(), 0);
    QCOMPARE(rfid.sam()->name(), QString());
    QCOMPARE(samSpy.count(), 3);
    flushDeferredDeletes();
    QCOMPARE(rfid.findChildren<SAM*>().size(), 2);
}

void TestValidatorRecords::samReadsEveryKey() {
    const QJsonObject json = validatorFixture("status-online")["device"]
                                 .toObject()["rfid"]
                                 .toObject()["sams"]
                                 .toArray()
                                 .at(0)
                                 .toObject();
    SAM sam(json);
    QCOMPARE(sam.slot(), 1);
    QVERIFY(sam.enabled());
    QVERIFY(sam.unlocked());
    QCOMPARE(sam.atr(), QString("3B8F8001804F0CA0000003060300030000000068"));
    QCOMPARE(sam.batch(), QString("B-2211"));
    QCOMPARE(sam.mode(), QString("AV2"));
    QCOMPARE(sam.name(), QString("Operator SAM"));
    QCOMPARE(sam.production(), QDate(2022, 11, 14));
    QCOMPARE(sam.uid(), QString("0412AB34CD56EF"));
    QCOMPARE(sam.vendor(), QString("NXP"));
    QCOMPARE(sam.version(), QString("2.1"));

    Emissions spies(&sam);
    sam.fromJson(json);
    QCOMPARE(fired(spies), QStringList());

    // Absent keys read as defaults, so every field that held something changes.
    sam.fromJson(QJsonObject{{"slot", 1}, {"vendor", "NXP"}});
    QCOMPARE(fired(spies), (QStringList{"atr", "batch", "enabled", "mode", "name", "production",
                                        "uid", "unlocked", "version"}));
    QCOMPARE(sam.production(), QDate());
    QVERIFY(sam.production().isNull());
    QCOMPARE(sam.atr(), QString());
    QVERIFY(!sam.enabled());

    SAM empty;
    QCOMPARE(empty.slot(), 0);
    QVERIFY(empty.production().isNull());
}

void TestValidatorRecords::samProductionDate_data() {
    QTest::addColumn<QJsonValue>("text");
    QTest::addColumn<QDate>("date");
    QTest::newRow("iso") << QJsonValue("2023-05-02") << QDate(2023, 5, 2);
    QTest::newRow("month 13") << QJsonValue("2023-13-02") << QDate();
    QTest::newRow("day first with dots") << QJsonValue("02.05.2023") << QDate();
    QTest::newRow("31 February") << QJsonValue("2023-02-31") << QDate();
    QTest::newRow("with time") << QJsonValue("2023-05-02T10:00:00Z") << QDate();
    QTest::newRow("number") << QJsonValue(20230502) << QDate();
    QTest::newRow("empty") << QJsonValue("") << QDate();
}

void TestValidatorRecords::samProductionDate() {
    QFETCH(QJsonValue, text);
    QFETCH(QDate, date);
    SAM sam(QJsonObject{{"production", "2020-01-01"}});
    sam.fromJson(QJsonObject{{"production", text}});
    QCOMPARE(sam.production(), date);
    QCOMPARE(sam.production().isNull(), date.isNull());
}

QTEST_GUILESS_MAIN(TestValidatorRecords)
#include "tst_validatorrecords.moc"
