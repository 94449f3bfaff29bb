#include "Transaction.h"

#include <QCoreApplication>
#include <QHash>
#include <QRegularExpression>
#include <limits>

namespace {

const QString kFrom = QStringLiteral("fromStopGroupName");
const QString kTo = QStringLiteral("toStopGroupName");
const QString kDeducted = QStringLiteral("deducted");
const QString kRemaining = QStringLiteral("remaining");
const QString kActivation = QStringLiteral("activationTimestamp");
const QString kExpires = QStringLiteral("expires");
const QString kTransfer = QStringLiteral("transferRemainingMin");

QJsonObject object(const QJsonObject& parent, const char* key) {
    return parent.value(QLatin1String(key)).toObject();
}

int integer(const QJsonObject& parent, const char* key) {
    return parent.value(QLatin1String(key)).toInt();
}

// Balances come in hundredths of the currency unit.
double currency(const QJsonObject& card, const char* key) {
    return static_cast<double>(integer(card, key)) / 100.0;
}

// Minutes left on a period pass: the service sends minutes, or only whole days
// when "remainingMinutes" is absent or null. Kept within int, whatever is sent.
int periodMinutes(const QJsonObject& periodPass) {
    const QJsonValue minutes = periodPass.value(QLatin1String("remainingMinutes"));
    if (minutes.isUndefined() || minutes.isNull()) {
        const qint64 total = qint64(integer(periodPass, "remainingDays")) * 1440;
        return int(qBound(qint64(std::numeric_limits<int>::min()), total,
                          qint64(std::numeric_limits<int>::max())));
    }
    return minutes.toInt();
}

}  // namespace

Transaction::Transaction(QObject* parent) : QObject(parent) {}

Transaction::Transaction(const QJsonObject& json, QObject* parent)
    : QObject(parent), m_json(json) {}

Transaction::~Transaction() = default;

bool Transaction::valid() const {
    return m_json.value(QLatin1String("result")).toBool(false);
}

Transaction::Type Transaction::type() const {
    return static_cast<Type>(integer(m_json, "type"));
}

int Transaction::denyReasonId() const {
    return integer(object(m_json, "denyReason"), "id");
}

QString Transaction::denyReason() const {
    // Rebuilt on every call so that the texts follow the installed translator.
    static const char* const kBlocked = QT_TRANSLATE_NOOP("Transaction", "The card is blocked");
    QHash<int, const char*> texts{
        {100, QT_TRANSLATE_NOOP("Transaction", "The ticket is invalid")},
        {101, QT_TRANSLATE_NOOP("Transaction", "The ticket has expired")},
        {102, QT_TRANSLATE_NOOP("Transaction", "The ticket is not allowed in this route")},
        {103, QT_TRANSLATE_NOOP("Transaction", "The ticket has already been validated")},
        {104, QT_TRANSLATE_NOOP("Transaction", "The ticket is not yet active")},
        {105, QT_TRANSLATE_NOOP("Transaction", "Please try again")},
        {106, QT_TRANSLATE_NOOP("Transaction", "The ticket does not belong to this operator")},
        {107, QT_TRANSLATE_NOOP("Transaction", "The ticket has an invalid passenger profile")},
        {108, QT_TRANSLATE_NOOP("Transaction", "The ticket is not allowed in this axis")},
        {109, QT_TRANSLATE_NOOP("Transaction", "The ticket is not allowed in this zone")},
        {110, QT_TRANSLATE_NOOP("Transaction", "The ticket has invalid timestamp")},
        {200, QT_TRANSLATE_NOOP("Transaction", "The card is invalid")},
        {201, QT_TRANSLATE_NOOP("Transaction", "The card has expired")},
        {202, QT_TRANSLATE_NOOP("Transaction", "The card is not allowed in this route")},
        {203, QT_TRANSLATE_NOOP("Transaction", "The card has already been validated")},
        {204, QT_TRANSLATE_NOOP("Transaction", "The card does not have enough trips")},
        {205, QT_TRANSLATE_NOOP("Transaction", "The card does not have sufficient balance")},
        {206, QT_TRANSLATE_NOOP("Transaction", "This card can no longer be used")},
        {207, QT_TRANSLATE_NOOP("Transaction", "The card has already been validated")},
        {208, QT_TRANSLATE_NOOP("Transaction", "The card is not active")},
        {209, QT_TRANSLATE_NOOP("Transaction", "The card does not belong to this operator")},
        {300, QT_TRANSLATE_NOOP("Transaction", "The product is blocked")},
        {301, QT_TRANSLATE_NOOP("Transaction", "The product is not yet active")},
        {500, QT_TRANSLATE_NOOP("Transaction", "Internal Error")},
    };
    for (int id = 250; id <= 255; ++id) {
        texts.insert(id, kBlocked);
    }
    const char* text =
        texts.value(denyReasonId(), QT_TRANSLATE_NOOP("Transaction", "Unknown Error"));
    return QCoreApplication::translate("Transaction", text);
}

QString Transaction::ticketId() const {
    return m_json.value(QLatin1String("ticketId")).toString();
}

QString Transaction::fareProduct() const {
    return m_json.value(QLatin1String("fareProductName")).toString();
}

QString Transaction::passengerType() const {
    return m_json.value(QLatin1String("passengerTypeName")).toString();
}

QVariantMap Transaction::defaultDetails() const {
    return {
        {kFrom, QString()},         {kTo, QString()},        {kDeducted, 0.0}, {kRemaining, 0.0},
        {kActivation, QDateTime()}, {kExpires, QDateTime()}, {kTransfer, 0},
    };
}

QVariantMap Transaction::details() const {
    QVariantMap details = defaultDetails();
    const QJsonObject card = object(m_json, "card");
    switch (type()) {
        case Barcode: {
            const QJsonObject barcode = object(m_json, "barcode");
            details[kFrom] = barcode.value(kFrom).toString();
            details[kTo] = barcode.value(kTo).toString();
            details[kTransfer] = integer(barcode, "transferRemainingMin");
            break;
        }
        case CardEPurse:
        case CardCappingEPurse:
            details[kDeducted] = (static_cast<double>(integer(card, "balanceBefore")) -
                                  integer(card, "balanceAfter")) /
                                 100.0;
            details[kRemaining] = currency(card, "balanceAfter");
            break;
        case CardPeriodPass: {
            const QJsonObject periodPass = object(card, "periodPass");
            const int minutes = periodMinutes(periodPass);
            details[kActivation] = convertTimestamp(periodPass.value(kActivation).toString());
            details[kRemaining] = minutes;
            details[kExpires] = QDateTime::currentDateTime().addSecs(qint64(minutes) * 60);
            break;
        }
        case CardStoredJourneys:
        case CardCappingStoredJourneys:
        case CardTransfer: {
            const QJsonObject journeys = object(card, "storedJourneys");
            details[kActivation] = convertTimestamp(journeys.value(kActivation).toString());
            details[kRemaining] = integer(journeys, "after");
            details[kTransfer] = integer(journeys, "transferRemainingMin");
            break;
        }
        case CardTransferEPurse:
            details[kDeducted] = 0;
            details[kRemaining] = currency(card, "balanceAfter");
            details[kTransfer] = integer(object(card, "ePurse"), "transferRemainingMin");
            break;
        case CardEMV:
        case CardPassengerTypeUpdate:
            break;
    }
    return details;
}

QVariantMap Transaction::toMap() const {
    return {
        {QStringLiteral("valid"), valid()},
        {QStringLiteral("type"), static_cast<int>(type())},
        {QStringLiteral("denyReason"), denyReason()},
        {QStringLiteral("denyReasonId"), denyReasonId()},
        {QStringLiteral("fareProduct"), fareProduct()},
        // The screens read this key under this name.
        {QStringLiteral("passengeType"), passengerType()},
        {QStringLiteral("details"), details()},
    };
}

QDateTime Transaction::convertTimestamp(const QString& text) {
    // The exact shape first: the date-time parser alone lets some variants through
    // (one-digit fields, signs), which the service never sends.
    static const QRegularExpression shape(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}Z$"));
    if (!shape.match(text).hasMatch()) {
        return QDateTime();
    }
    // Date and time are read apart and joined as UTC, so that a moment that falls in
    // a daylight-saving gap of the local zone is not lost on the way.
    const QDate date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(text.mid(11, 8), QStringLiteral("HH:mm:ss"));
    if (!date.isValid() || !time.isValid()) {
        return QDateTime();
    }
    return QDateTime(date, time, Qt::UTC).toLocalTime();
}
