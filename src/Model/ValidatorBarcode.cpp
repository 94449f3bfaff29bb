#include "ValidatorBarcode.h"

ValidatorBarcode::ValidatorBarcode(QObject* parent) : QObject(parent) {}

void ValidatorBarcode::fromJson(const QJsonObject& json) {
    if (json.contains(QLatin1String("active"))) {
        setActive(json.value(QLatin1String("active")).toBool());
    }
    if (json.contains(QLatin1String("enabled"))) {
        setEnabled(json.value(QLatin1String("enabled")).toBool());
    }
    if (json.contains(QLatin1String("firmware"))) {
        setFirmware(json.value(QLatin1String("firmware")).toString());
    }
    if (json.contains(QLatin1String("manufacturer"))) {
        setManufacturer(json.value(QLatin1String("manufacturer")).toString());
    }
    if (json.contains(QLatin1String("model"))) {
        setModel(json.value(QLatin1String("model")).toString());
    }
}

void ValidatorBarcode::setActive(bool active) {
    if (m_active == active) {
        return;
    }
    m_active = active;
    emit activeChanged();
}

void ValidatorBarcode::setEnabled(bool enabled) {
    if (m_enabled == enabled) {
        return;
    }
    m_enabled = enabled;
    emit enabledChanged();
}

void ValidatorBarcode::setFirmware(const QString& firmware) {
    if (m_firmware == firmware) {
        return;
    }
    m_firmware = firmware;
    emit firmwareChanged();
}

void ValidatorBarcode::setManufacturer(const QString& manufacturer) {
    if (m_manufacturer == manufacturer) {
        return;
    }
    m_manufacturer = manufacturer;
    emit manufacturerChanged();
}

void ValidatorBarcode::setModel(const QString& model) {
    if (m_model == model) {
        return;
    }
    m_model = model;
    emit modelChanged();
}
