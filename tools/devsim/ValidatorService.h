#pragma once

#include <QJsonObject>

#include "SimulatedService.h"

namespace devsim {

// The validator/ticketing service with its RFID and barcode readers. It reports
// its identity, its condition (the state flags from which the UI derives online,
// degraded, out-of-service or offline) and its configuration; it switches the
// readers on and off on request, stores a new configuration and reports it back,
// and sends scan results, cards in the field and maintenance barcodes on command.
class ValidatorService : public SimulatedService {
    Q_OBJECT

public:
    ValidatorService(manager::MqttClient& client, const QString& baseTopic, QObject* parent);

    void subscribe() override;
    void publishAll() override;
    bool handle(const QString& topic, const QByteArray& payload) override;

    // condition: one of Command::conditions().
    void setCondition(const QString& condition);
    QString condition() const { return m_condition; }
    // kind: one of Command::ticketKinds(); refusal 0 = valid, -1 = the kind's usual refusal.
    void validate(const QString& kind, int refusal);
    void cardFound(const QString& uid, int type);
    void cardRemoved();
    void cardRetry();
    void scanMaintenanceBarcode();

    bool rfidEnabled() const { return m_rfidEnabled; }
    bool barcodeEnabled() const { return m_barcodeEnabled; }

    // The scan result that validate() sends, without sending it.
    static QJsonObject scanResult(const QString& kind, int refusal);
    // The status message for a condition and reader switches.
    QJsonObject statusMessage() const;

    // The reader services' topics; they do not depend on the base topic.
    static const QString RfidEnable;
    static const QString RfidDisable;
    static const QString BarcodeEnable;
    static const QString BarcodeDisable;
    static const QString CardFoundTopic;
    static const QString CardRemovedTopic;

private:
    void applyConfig(const QJsonObject& saved);
    void publishStatus();

    QJsonObject m_info;
    QJsonObject m_config;
    QString m_condition = QStringLiteral("online");
    bool m_rfidEnabled = false;
    bool m_barcodeEnabled = false;
    bool m_cardInField = false;
};

}  // namespace devsim
