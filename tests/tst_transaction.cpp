#include <QJsonArray>
#include <QLibraryInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include "Transaction.h"
#include "ValidatorFixtures.h"

namespace {

QJsonObject transactionOf(const QString& fixture) {
    return validatorFixture(fixture)["transaction"].toObject();
}

QJsonObject withType(QJsonObject json, int type) {
    json["type"] = type;
    return json;
}

const QDateTime kActivation(QDate(2024, 3, 1), QTime(10, 0), Qt::UTC);

}  // namespace

class TestTransaction : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void emptyTransaction();
    void readsTheServiceFields();
    void barcodeDetails();
    void ePurseDetails_data();
    void ePurseDetails();
    void transferEPurseDetails();
    void periodPassDetails_data();
    void periodPassDetails();
    void storedJourneysDetails_data();
    void storedJourneysDetails();
    void kindsWithDefaultDetails_data();
    void kindsWithDefaultDetails();
    void wrongTypedFields();
    void refusalTexts_data();
    void refusalTexts();
    void refusalTextsAreTranslated();
    void timestamps_data();
    void timestamps();
    void timestampInDaylightSavingGap();
    void mapForTheScreens();
};

void TestTransaction::initTestCase() {
    // The device runs in Greek time, which has a daylight-saving change.
    qputenv("TZ", "Europe/Athens");
    QVERIFY(!transactionOf("scan-barcode").isEmpty());
}

void TestTransaction::emptyTransaction() {
    for (const Transaction* transaction : {new Transaction(this), new Transaction({}, this)}) {
        QVERIFY(!transaction->valid());
        QCOMPARE(transaction->type(), Transaction::Barcode);
        QCOMPARE(transaction->denyReasonId(), 0);
        QCOMPARE(transaction->denyReason(), QString("Unknown Error"));
        QCOMPARE(transaction->ticketId(), QString());
        QCOMPARE(transaction->details(), transaction->defaultDetails());
    }

    // The screens read these keys whatever the kind: text, numbers, invalid times.
    const QVariantMap defaults = Transaction().defaultDetails();
    QCOMPARE(defaults, (QVariantMap{{"fromStopGroupName", QString()},
                                    {"toStopGroupName", QString()},
                                    {"deducted", 0.0},
                                    {"remaining", 0.0},
                                    {"activationTimestamp", QDateTime()},
                                    {"expires", QDateTime()},
                                    {"transferRemainingMin", 0}}));
    QCOMPARE(defaults["remaining"].type(), QVariant::Double);
}

void TestTransaction::readsTheServiceFields() {
    const Transaction transaction(transactionOf("scan-refused"));
    QVERIFY(!transaction.valid());
    QCOMPARE(transaction.type(), Transaction::CardStoredJourneys);
    QCOMPARE(transaction.denyReasonId(), 207);
    QCOMPARE(transaction.denyReason(), QString("The card has already been validated"));
    QCOMPARE(transaction.ticketId(), QString("C-04A224B2C35E80-7785"));
    QCOMPARE(transaction.fareProduct(), QString("10 trips"));
    QCOMPARE(transaction.passengerType(), QString("Adult"));
}

void TestTransaction::barcodeDetails() {
    const Transaction transaction(transactionOf("scan-barcode"));
    QVERIFY(transaction.valid());
    const QVariantMap details = transaction.details();
    QVariantMap expected = transaction.defaultDetails();
    expected["fromStopGroupName"] = "Syntagma";
    expected["toStopGroupName"] = "Airport";
    expected["transferRemainingMin"] = 75;
    QCOMPARE(details, expected);
    QCOMPARE(details["transferRemainingMin"].type(), QVariant::Int);

    // No "type" at all still counts as a barcode ticket.
    QJsonObject untyped = transactionOf("scan-barcode");
    untyped.remove("type");
    QCOMPARE(Transaction(untyped).details(), expected);
}

void TestTransaction::ePurseDetails_data() {
    QTest::addColumn<int>("type");
    QTest::newRow("e-purse") << int(Transaction::CardEPurse);
    QTest::newRow("capping e-purse") << int(Transaction::CardCappingEPurse);
}

void TestTransaction::ePurseDetails() {
    QFETCH(int, type);
    const QVariantMap details = Transaction(withType(transactionOf("scan-epurse"), type)).details();
    QCOMPARE(details["deducted"].type(), QVariant::Double);
    QCOMPARE(details["deducted"].toDouble(), 1.5);
    QCOMPARE(details["remaining"].type(), QVariant::Double);
    QCOMPARE(details["remaining"].toDouble(), 1.0);
    QCOMPARE(details["transferRemainingMin"].toInt(), 0);
    QVERIFY(!details["expires"].toDateTime().isValid());

    // Cents that a double cannot hold exactly still give the exact difference.
    QJsonObject json = withType(transactionOf("scan-epurse"), type);
    json["card"] = QJsonObject{{"balanceBefore", 30}, {"balanceAfter", 10}};
    QCOMPARE(Transaction(json).details()["deducted"].toDouble(), 0.2);
}

void TestTransaction::transferEPurseDetails() {
    const QVariantMap details = Transaction(transactionOf("scan-transfer-epurse")).details();
    QCOMPARE(details["deducted"].type(), QVariant::Int);
    QCOMPARE(details["deducted"].toInt(), 0);
    QCOMPARE(details["remaining"].type(), QVariant::Double);
    QCOMPARE(details["remaining"].toDouble(), 0.75);
    QCOMPARE(details["transferRemainingMin"].toInt(), 42);
    QCOMPARE(details["fromStopGroupName"].toString(), QString());
}

void TestTransaction::periodPassDetails_data() {
    QTest::addColumn<QJsonObject>("periodPass");
    QTest::addColumn<int>("minutes");
    const QJsonObject fixture =
        transactionOf("scan-period-pass")["card"].toObject()["periodPass"].toObject();
    QTest::newRow("minutes null, days 2") << fixture << 2880;
    QJsonObject noMinutes = fixture;
    noMinutes.remove("remainingMinutes");
    QTest::newRow("minutes absent, days 2") << noMinutes << 2880;
    QJsonObject minutes = fixture;
    minutes["remainingMinutes"] = 45;
    QTest::newRow("minutes 45 win over days") << minutes << 45;
    minutes["remainingMinutes"] = 0;
    QTest::newRow("a present 0 stays 0") << minutes << 0;
    QTest::newRow("neither") << QJsonObject{{"activationTimestamp", "2024-03-01T10:00:00Z"}} << 0;
    // Beyond what an int of minutes holds: kept at the largest int, no overflow.
    QTest::newRow("absurd days") << QJsonObject{{"remainingDays", 2000000000}}
                                 << std::numeric_limits<int>::max();
}

void TestTransaction::periodPassDetails() {
    QFETCH(QJsonObject, periodPass);
    QFETCH(int, minutes);
    QJsonObject json = transactionOf("scan-period-pass");
    json["card"] = QJsonObject{{"periodPass", periodPass}};
    const Transaction transaction(json);

    const QDateTime before = QDateTime::currentDateTime();
    const QVariantMap details = transaction.details();
    const QDateTime after = QDateTime::currentDateTime();

    QCOMPARE(details["remaining"].type(), QVariant::Int);
    QCOMPARE(details["remaining"].toInt(), minutes);
    const QDateTime expires = details["expires"].toDateTime();
    QVERIFY(expires.isValid());
    QCOMPARE(expires.timeSpec(), Qt::LocalTime);
    QVERIFY(expires >= before.addSecs(qint64(minutes) * 60));
    QVERIFY(expires <= after.addSecs(qint64(minutes) * 60));
    if (periodPass.contains("activationTimestamp")) {
        QCOMPARE(details["activationTimestamp"].toDateTime(), kActivation);
    }
    QCOMPARE(details["deducted"].type(), QVariant::Double);
}

void TestTransaction::storedJourneysDetails_data() {
    QTest::addColumn<int>("type");
    QTest::newRow("stored journeys") << int(Transaction::CardStoredJourneys);
    QTest::newRow("capping stored journeys") << int(Transaction::CardCappingStoredJourneys);
    QTest::newRow("transfer") << int(Transaction::CardTransfer);
}

void TestTransaction::storedJourneysDetails() {
    QFETCH(int, type);
    const QVariantMap details =
        Transaction(withType(transactionOf("scan-stored-journeys"), type)).details();
    QCOMPARE(details["remaining"].type(), QVariant::Int);
    QCOMPARE(details["remaining"].toInt(), 9);
    QCOMPARE(details["transferRemainingMin"].toInt(), 89);
    const QDateTime activation = details["activationTimestamp"].toDateTime();
    QCOMPARE(activation, kActivation);
    QCOMPARE(activation.timeSpec(), Qt::LocalTime);
    QCOMPARE(activation.time(), QTime(12, 0));  // Athens, winter time
    QVERIFY(!details["expires"].toDateTime().isValid());
    QCOMPARE(details["deducted"].toDouble(), 0.0);
}

void TestTransaction::kindsWithDefaultDetails_data() {
    QTest::addColumn<int>("type");
    QTest::newRow("EMV") << int(Transaction::CardEMV);
    QTest::newRow("passenger type update") << int(Transaction::CardPassengerTypeUpdate);
    QTest::newRow("1 (not a kind)") << 1;
    QTest::newRow("99 (not a kind)") << 99;
    QTest::newRow("-5 (not a kind)") << -5;
}

void TestTransaction::kindsWithDefaultDetails() {
    QFETCH(int, type);
    // Every field of every kind present: none of it may leak into these kinds.
    QJsonObject json = transactionOf("scan-barcode");
    json["card"] = QJsonObject{
        {"balanceBefore", 250},
        {"balanceAfter", 100},
        {"storedJourneys",
         transactionOf("scan-stored-journeys")["card"].toObject()["storedJourneys"]},
        {"periodPass", transactionOf("scan-period-pass")["card"].toObject()["periodPass"]},
        {"ePurse", QJsonObject{{"transferRemainingMin", 5}}}};
    const Transaction transaction(withType(json, type));
    QCOMPARE(int(transaction.type()), type);
    QCOMPARE(transaction.details(), transaction.defaultDetails());
}

void TestTransaction::wrongTypedFields() {
    const QJsonObject json{{"result", "true"},
                           {"type", "2"},
                           {"denyReason", 101},
                           {"ticketId", 5},
                           {"card", QJsonArray{250, 100}},
                           {"barcode", "Syntagma"}};
    const Transaction transaction(json);
    QVERIFY(!transaction.valid());
    QCOMPARE(transaction.type(), Transaction::Barcode);
    QCOMPARE(transaction.denyReasonId(), 0);
    QCOMPARE(transaction.ticketId(), QString());
    QCOMPARE(transaction.details(), transaction.defaultDetails());

    QJsonObject period = transactionOf("scan-period-pass");
    period["card"] = QJsonObject{
        {"periodPass", QJsonObject{{"remainingMinutes", "30"}, {"activationTimestamp", 7}}}};
    const QVariantMap details = Transaction(period).details();
    QCOMPARE(details["remaining"].toInt(), 0);
    QVERIFY(!details["activationTimestamp"].toDateTime().isValid());
}

void TestTransaction::refusalTexts_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("text");
    // One or two of each group, the edges of the blocked range, and the ids
    // around the groups that have no text.
    const QList<QPair<int, QString>> table{
        {100, "The ticket is invalid"},
        {110, "The ticket has invalid timestamp"},
        {200, "The card is invalid"},
        {207, "The card has already been validated"},
        {209, "The card does not belong to this operator"},
        {250, "The card is blocked"},
        {255, "The card is blocked"},
        {300, "The product is blocked"},
        {301, "The product is not yet active"},
        {500, "Internal Error"},
        {0, "Unknown Error"},
        {111, "Unknown Error"},
        {249, "Unknown Error"},
        {256, "Unknown Error"},
        {302, "Unknown Error"},
        {-100, "Unknown Error"},
    };
    for (const auto& row : table) {
        QTest::addRow("%d", row.first) << row.first << row.second;
    }
}

void TestTransaction::refusalTexts() {
    QFETCH(int, id);
    QFETCH(QString, text);
    const Transaction transaction(
        QJsonObject{{"result", false}, {"denyReason", QJsonObject{{"id", id}}}});
    QCOMPARE(transaction.denyReasonId(), id);
    QCOMPARE(transaction.denyReason(), text);
}

void TestTransaction::refusalTextsAreTranslated() {
    const QString lrelease =
        QLibraryInfo::location(QLibraryInfo::BinariesPath) + QStringLiteral("/lrelease");
    if (!QFileInfo::exists(lrelease)) {
        QSKIP("lrelease is not installed");
    }
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A catalogue that translates the same text in two contexts: only the
    // "Transaction" one may be used.
    QFile ts(dir.filePath("el.ts"));
    QVERIFY(ts.open(QIODevice::WriteOnly));
    ts.write(R"(<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="el_GR">
<context><name>GUIManager</name>
<message><source>The card is blocked</source><translation>wrong context</translation></message>
</context>
<context><name>Transaction</name>
<message><source>The card is blocked</source><translation>Η κάρτα είναι δεσμευμένη</translation></message>
<message><source>Unknown Error</source><translation>Άγνωστο σφάλμα</translation></message>
</context>
</TS>
)");
    ts.close();
    QCOMPARE(QProcess::execute(lrelease, {"-silent", ts.fileName(), "-qm", dir.filePath("el.qm")}),
             0);
    QTranslator translator;
    QVERIFY(translator.load(dir.filePath("el.qm")));
    QVERIFY(QCoreApplication::installTranslator(&translator));

    const Transaction blocked(QJsonObject{{"denyReason", QJsonObject{{"id", 252}}}});
    QCOMPARE(blocked.denyReason(), QString("Η κάρτα είναι δεσμευμένη"));
    QCOMPARE(Transaction().denyReason(), QString("Άγνωστο σφάλμα"));
    QCOMPARE(blocked.toMap()["denyReason"].toString(), QString("Η κάρτα είναι δεσμευμένη"));

    // Built anew on each call: removing the catalogue brings English back.
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(blocked.denyReason(), QString("The card is blocked"));
}

void TestTransaction::timestamps_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("utc");
    QTest::newRow("UTC") << "2024-03-01T10:00:00Z" << kActivation;
    QTest::newRow("summer") << "2024-07-15T23:30:59Z"
                            << QDateTime(QDate(2024, 7, 15), QTime(23, 30, 59), Qt::UTC);
    QTest::newRow("milliseconds") << "2024-03-01T10:00:00.000Z" << QDateTime();
    QTest::newRow("offset") << "2024-03-01T10:00:00+02:00" << QDateTime();
    QTest::newRow("missing Z") << "2024-03-01T10:00:00" << QDateTime();
    QTest::newRow("lower-case z") << "2024-03-01T10:00:00z" << QDateTime();
    QTest::newRow("blank for T") << "2024-03-01 10:00:00Z" << QDateTime();
    QTest::newRow("one-digit month") << "2024-3-01T10:00:00Z" << QDateTime();
    QTest::newRow("hour 24") << "2024-03-01T24:00:00Z" << QDateTime();
    QTest::newRow("30 February") << "2024-02-30T10:00:00Z" << QDateTime();
    QTest::newRow("trailing blank") << "2024-03-01T10:00:00Z " << QDateTime();
    QTest::newRow("empty") << "" << QDateTime();
    QTest::newRow("Arabic-Indic digits")
        << QString::fromUtf8("٢٠٢٤-03-01T10:00:00Z") << QDateTime();
}

void TestTransaction::timestamps() {
    QFETCH(QString, text);
    QFETCH(QDateTime, utc);
    const QDateTime converted = Transaction::convertTimestamp(text);
    QCOMPARE(converted.isValid(), utc.isValid());
    if (utc.isValid()) {
        QCOMPARE(converted, utc);
        QCOMPARE(converted.timeSpec(), Qt::LocalTime);
        QCOMPARE(converted.toUTC().time(), utc.time());
    }
}

void TestTransaction::timestampInDaylightSavingGap() {
    // 03:30 on the last Sunday of March is an hour that the local clock skips in
    // Athens; as a UTC time it is perfectly real (06:30 local summer time).
    const QDateTime converted = Transaction::convertTimestamp("2024-03-31T03:30:00Z");
    QVERIFY(converted.isValid());
    QCOMPARE(converted, QDateTime(QDate(2024, 3, 31), QTime(3, 30), Qt::UTC));
    QCOMPARE(converted.time(), QTime(6, 30));
}

void TestTransaction::mapForTheScreens() {
    const Transaction transaction(transactionOf("scan-epurse"));
    const QVariantMap map = transaction.toMap();
    QCOMPARE(map.keys(), (QStringList{"denyReason", "denyReasonId", "details", "fareProduct",
                                      "passengeType", "type", "valid"}));
    QCOMPARE(map["valid"], QVariant(true));
    QCOMPARE(map["type"], QVariant(2));
    QCOMPARE(map["denyReason"], QVariant("Unknown Error"));
    QCOMPARE(map["denyReasonId"].type(), QVariant::Int);
    QCOMPARE(map["fareProduct"], QVariant("Stored value"));
    QCOMPARE(map["passengeType"], QVariant("Student"));
    QCOMPARE(map["details"].toMap(), transaction.details());
}

QTEST_GUILESS_MAIN(TestTransaction)
#include "tst_transaction.moc"
