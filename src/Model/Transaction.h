#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QVariantMap>

// The result of one ticket validation as the validator service reports it in a
// scan result. The service's "transaction" object is kept unchanged and every
// property is computed from it on each read; the record never changes.
class Transaction : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool valid READ valid CONSTANT)
    Q_PROPERTY(Type type READ type CONSTANT)
    Q_PROPERTY(int denyReasonId READ denyReasonId CONSTANT)
    Q_PROPERTY(QString denyReason READ denyReason CONSTANT)
    Q_PROPERTY(QString ticketId READ ticketId CONSTANT)
    Q_PROPERTY(QString fareProduct READ fareProduct CONSTANT)
    Q_PROPERTY(QString passengerType READ passengerType CONSTANT)
    Q_PROPERTY(QVariantMap details READ details CONSTANT)

public:
    // The service's codes for the kinds of ticket (not consecutive). The screens
    // compare the plain int of toMap() with these values.
    enum Type {
        Barcode = 0,
        CardEPurse = 2,
        CardStoredJourneys = 5,
        CardPeriodPass = 8,
        CardEMV = 10,
        CardTransfer = 12,
        CardPassengerTypeUpdate = 13,
        CardTransferEPurse = 14,
        CardCappingEPurse = 15,
        CardCappingStoredJourneys = 16,
    };

    explicit Transaction(QObject* parent = nullptr);
    explicit Transaction(const QJsonObject& json, QObject* parent = nullptr);
    ~Transaction() override;

    bool valid() const;
    Type type() const;
    int denyReasonId() const;
    QString denyReason() const;
    QString ticketId() const;
    QString fareProduct() const;
    QString passengerType() const;
    QVariantMap details() const;

    // The form in which the transaction reaches QML.
    QVariantMap toMap() const;
    // The details before the values of the ticket kind are written.
    QVariantMap defaultDetails() const;

    // "yyyy-MM-ddTHH:mm:ssZ" (UTC) to local time; anything else is invalid.
    static QDateTime convertTimestamp(const QString& text);

private:
    QJsonObject m_json;
};
