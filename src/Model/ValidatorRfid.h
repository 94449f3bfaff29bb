#pragma once

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

// Complete, so that the "sam" property's type is registered with the meta-object
// system and QML can read the module.
#include "SAM.h"

class QJsonArray;

// The RFID card reader as the validator service reports it: its identity (info
// part), its state, error, slot flags and secure access modules (status part).
class ValidatorRfid : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool active READ active NOTIFY activeChanged)
    Q_PROPERTY(bool enabled READ enabled NOTIFY enabledChanged)
    Q_PROPERTY(int numberOfSlots READ numberOfSlots NOTIFY numberOfSlotsChanged)
    Q_PROPERTY(QString state READ state NOTIFY stateChanged)
    Q_PROPERTY(QString error READ error NOTIFY errorChanged)
    Q_PROPERTY(QString firmware READ firmware NOTIFY firmwareChanged)
    Q_PROPERTY(QString manufacturer READ manufacturer NOTIFY manufacturerChanged)
    Q_PROPERTY(QString model READ model NOTIFY modelChanged)
    Q_PROPERTY(QString deviceUid READ deviceUid NOTIFY deviceUidChanged)
    Q_PROPERTY(SAM* sam READ sam NOTIFY samChanged)

public:
    explicit ValidatorRfid(QObject* parent = nullptr);

    bool active() const { return m_active; }
    // The reader is reading cards: it searches for one or has just found one.
    bool enabled() const;
    int numberOfSlots() const { return m_slotFlags.size(); }
    QString state() const { return m_state; }
    QString error() const { return m_error; }
    QString firmware() const { return m_firmware; }
    QString manufacturer() const { return m_manufacturer; }
    QString model() const { return m_model; }
    QString deviceUid() const { return m_deviceUid; }
    // The first secure access module, or null when the reader reports none.
    SAM* sam() const;
    QList<bool> slotFlags() const { return m_slotFlags; }
    QList<SAM*> sams() const { return m_sams; }

    // Applies the "rfid" object of an info or status message: the info part when it
    // holds "firmware", the status part when it holds "state".
    void fromJson(const QJsonObject& json);

    // The reader's state code as text: "Init", "Idle", "Searching", "CardFound",
    // "Updating", "Error", or "Unknown" for any other code.
    static QString stateText(int code);

signals:
    void activeChanged();
    void enabledChanged();
    void numberOfSlotsChanged();
    void stateChanged();
    void errorChanged();
    void firmwareChanged();
    void manufacturerChanged();
    void modelChanged();
    void deviceUidChanged();
    void samChanged();

private:
    void setActive(bool active);
    void setState(const QString& state);
    void setError(const QString& error);
    void setFirmware(const QString& firmware);
    void setManufacturer(const QString& manufacturer);
    void setModel(const QString& model);
    void setDeviceUid(const QString& uid);
    void replaceSlotFlags(const QJsonArray& flags);
    void replaceSams(const QJsonArray& sams);

    bool m_active = false;
    QString m_firmware;
    QString m_manufacturer;
    QString m_model;
    QString m_deviceUid;
    QString m_error;
    QString m_state;
    QList<bool> m_slotFlags;
    QList<SAM*> m_sams;
};
