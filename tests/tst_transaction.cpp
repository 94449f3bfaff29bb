// A scan result as the screens read it: ticket details, refusal texts, time stamps.

#include <QtTest>

#include "Fixtures.h"
#include "Transaction.h"

namespace {

QJsonObject scan(const QString& fixture, int type = -1) {
    QJsonObject json = validatorFixture(fixture)["transaction"].toObject();
    if (type >= 0) {
        json["type"] = type;
    }
    return json;
}

const QDateTime kActivation(QDate(2024, 3, 1), QTime(10, 0), Qt::UTC);

}  // namespace

class TestTransaction : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("TZ", "Europe/Athens"); }  // a zone with daylight saving

    void details_data() {
        QTest::addColumn<QJsonObject>("json");
        QTest::addColumn<QVariantMap>("details");  // the members that differ from the defaults
        QTest::newRow("barcode") << scan("scan-barcode")
                                 << QVariantMap{{"fromStopGroupName", "Syntagma"},
                                                {"toStopGroupName", "Airport"},
                                                {"transferRemainingMin", 75}};
        for (int type : {2, 15}) {
            QTest::addRow("e-purse %d", type)
                << scan("scan-epurse", type) << QVariantMap{{"deducted", 1.5}, {"remaining", 1.0}};
        }
        QTest::newRow("transfer e-purse")
            << scan("scan-transfer-epurse")
            << QVariantMap{{"deducted", 0}, {"remaining", 0.75}, {"transferRemainingMin", 42}};
        for (int type : {5, 12, 16}) {
            QTest::addRow("journeys %d", type)
                << scan("scan-stored-journeys", type)
                << QVariantMap{{"activationTimestamp", kActivation.toLocalTime()},
                               {"remaining", 9},
                               {"transferRemainingMin", 89}};
        }
        QTest::newRow("EMV") << scan("scan-barcode", 10) << QVariantMap{};
        QTest::newRow("wrong types") << QJsonObject{{"type", 2}, {"card", "x"}} << QVariantMap{};
    }

    void details() {
        QFETCH(QJsonObject, json);
        QFETCH(QVariantMap, details);
        const Transaction transaction(json);
        QVariantMap expected = transaction.defaultDetails();
        for (auto it = details.cbegin(); it != details.cend(); ++it) {
            expected[it.key()] = it.value();
        }
        QCOMPARE(transaction.details(), expected);
        // The screens read these keys.
        const QVariantMap map = transaction.toMap();
        QCOMPARE(map["details"].toMap(), expected);
        QCOMPARE(map["fareProduct"].toString(), json["fareProductName"].toString());
    }

    void periodPass() {
        // Whole days when the minutes are null or absent; minutes when they are there.
        QJsonObject json = scan("scan-period-pass");
        QVariantMap details = Transaction(json).details();
        QCOMPARE(details["remaining"].toInt(), 2 * 1440);
        QCOMPARE(details["activationTimestamp"].toDateTime(), kActivation);
        const qint64 left = QDateTime::currentDateTime().secsTo(details["expires"].toDateTime());
        QVERIFY(left > 2 * 86400 - 5 && left <= 2 * 86400);
        json["card"] = QJsonObject{{"periodPass", QJsonObject{{"remainingMinutes", 121}}}};
        QCOMPARE(Transaction(json).details()["remaining"].toInt(), 121);
        json["card"] = QJsonObject{{"periodPass", QJsonObject{{"remainingDays", 2000000}}}};
        QCOMPARE(Transaction(json).details()["remaining"].toInt(), std::numeric_limits<int>::max());
    }

    void refusalTexts_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("text");
        QTest::newRow("fixture") << 207 << "The card has already been validated";
        QTest::newRow("100") << 100 << "The ticket is invalid";
        QTest::newRow("111") << 111 << "Unknown Error";
        QTest::newRow("249") << 249 << "Unknown Error";
        QTest::newRow("250") << 250 << "The card is blocked";
        QTest::newRow("255") << 255 << "The card is blocked";
        QTest::newRow("256") << 256 << "Unknown Error";
        QTest::newRow("500") << 500 << "Internal Error";
    }

    void refusalTexts() {
        QFETCH(int, id);
        QJsonObject json = scan("scan-refused");
        if (id != 207) {
            json["denyReason"] = QJsonObject{{"id", id}};
        }
        QTEST(Transaction(json).denyReason(), "text");
    }

    void timestamps_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("utc");
        QTest::newRow("plain") << "2024-03-01T10:00:00Z" << kActivation;
        // 03:30 on that day does not exist in Athens; as a UTC moment it does.
        QTest::newRow("in the gap")
            << "2024-03-31T03:30:00Z" << QDateTime(QDate(2024, 3, 31), QTime(3, 30), Qt::UTC);
        QTest::newRow("no Z") << "2024-03-01T10:00:00" << QDateTime();
        QTest::newRow("one-digit month") << "2024-3-01T10:00:00Z" << QDateTime();
    }

    void timestamps() {
        QFETCH(QString, text);
        QFETCH(QDateTime, utc);
        const QDateTime converted = Transaction::convertTimestamp(text);
        QCOMPARE(converted.isValid(), utc.isValid());
        if (utc.isValid()) {
            QCOMPARE(converted, utc);
            QCOMPARE(converted.timeSpec(), Qt::LocalTime);
        }
    }
};

QTEST_GUILESS_MAIN(TestTransaction)
#include "tst_transaction.moc"
