#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QUrl>

#include "ServiceChannel.h"
#include "Transaction.h"
#include "ValidatorBarcode.h"
#include "ValidatorConfig.h"
#include "ValidatorRfid.h"

namespace manager {

class MqttClient;

// Mirrors the validator/ticketing service and its card and barcode readers: the
// service's health as status, reason and reason code, the vehicle and route it
// reports, its version, its configuration and both readers. It turns the service's
// events into signals (card found or removed, present the card again, a validated
// ticket, a maintenance barcode) and publishes the UI's requests to the service.
class Validator : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(QString reason READ reason NOTIFY reasonChanged)
    Q_PROPERTY(QString version READ version NOTIFY versionChanged)
    Q_PROPERTY(QString route READ route NOTIFY routeChanged)
    Q_PROPERTY(QString vehicle READ vehicle NOTIFY vehicleChanged)
    Q_PROPERTY(ValidatorConfig* config READ config NOTIFY configChanged)
    Q_PROPERTY(ValidatorBarcode* barcode READ barcode NOTIFY barcodeChanged)
    Q_PROPERTY(ValidatorRfid* rfid READ rfid NOTIFY rfidChanged)

public:
    Validator(MqttClient& client, const QString& baseTopic, QObject* parent = nullptr);
    ~Validator() override;

    QString status() const { return m_status; }
    QString reason() const { return m_reason; }
    // "#0001" to "#0007", or empty while the validator is online or starting.
    QString reasonCode() const { return m_reasonCode; }
    QString version() const { return m_version; }
    QString route() const { return m_route; }
    QString vehicle() const { return m_vehicle; }
    ValidatorConfig* config() { return &m_config; }
    ValidatorBarcode* barcode() { return &m_barcode; }
    ValidatorRfid* rfid() { return &m_rfid; }

    // Card type code of the RFID reader (a single bit) as text; "Unknown" for any
    // code that is not in the reader's table.
    static QString cardTypeText(int code);

signals:
    void statusChanged();
    void reasonChanged();
    void versionChanged();
    void routeChanged();
    void vehicleChanged();
    void configChanged();
    void barcodeChanged();
    void rfidChanged();
    void cardDetected(QString uid, QString type);
    void cardRemoved();
    void cardRetry();
    // The transaction lives only for the emission: receivers copy what they need.
    void ticketValidated(const Transaction& transaction);
    void maintenanceBarcodeScanned(const QJsonObject& data);

public slots:
    void enableBarcode();
    void disableBarcode();
    void enableRfid();
    void disableRfid();
    void saveConfig();
    void refreshConfig();

private:
    void onMqttReceived(const QByteArray& payload, const QByteArray& topic);
    void onMqttDisconnected();
    void onInfoReceived(const QJsonObject& message, const QString& topic);
    void onStatusReceived(const QJsonObject& message, const QString& topic);
    void onConfigReceived(const QJsonObject& message, const QString& topic);
    void onCardFound(const QJsonObject& message, const QString& topic);
    void onCardScannedReceived(const QJsonObject& message, const QString& topic);
    void onBarcodeScannedReceived(const QJsonObject& message, const QString& topic);

    void setStatus(const QString& status);
    void setReason(const QString& reason, const QString& code);
    void setVersion(const QString& version);
    void setRoute(const QString& route);
    void setVehicle(const QString& vehicle);
    QUrl parseUrl(const QJsonObject& blm) const;
    void emitTransaction(const QJsonObject& message);

    ServiceChannel m_channel;  // the shared client and the base topic
    QString m_status;
    QString m_reason;
    QString m_reasonCode;
    QString m_version;
    QString m_route;
    QString m_vehicle;
    ValidatorConfig m_config;
    ValidatorBarcode m_barcode;
    ValidatorRfid m_rfid;
};

}  // namespace manager
