#include "ValidatorRfid.h"

#include <QHash>
#include <QJsonArray>

#include "SAM.h"

namespace {

const QString kSearching = QStringLiteral("Searching");
const QString kCardFound = QStringLiteral("CardFound");

template <typename T, typename Signal>
void update(ValidatorRfid* rfid, T& field, const T& value, Signal changed) {
    if (field == value) {
        return;
    }
    field = value;
    emit(rfid->*changed)();
}

}  // namespace

ValidatorRfid::ValidatorRfid(QObject* parent) : QObject(parent) {}

bool ValidatorRfid::enabled() const {
    return m_state == kSearching || m_state == kCardFound;
}

SAM* ValidatorRfid::sam() const {
    return m_sams.isEmpty() ? nullptr : m_sams.first();
}

QString ValidatorRfid::stateText(int code) {
    static const QHash<int, QString> table{
        {0, QStringLiteral("Init")},
        {1, QStringLiteral("Idle")},
        {2, kSearching},
        {3, kCardFound},
        {4, QStringLiteral("Updating")},
        {5, QStringLiteral("Error")},
    };
    return table.value(code, QStringLiteral("Unknown"));
}

void ValidatorRfid::fromJson(const QJsonObject& json) {
    if (json.contains(QLatin1String("firmware"))) {
        setFirmware(json.value(QLatin1String("firmware")).toString());
        setModel(json.value(QLatin1String("model")).toString());
        setManufacturer(json.value(QLatin1String("manufacturer")).toString());
        setDeviceUid(json.value(QLatin1String("uid")).toString());
    }
    if (json.contains(QLatin1String("state"))) {
        setActive(json.value(QLatin1String("active")).toBool());
        setError(json.value(QLatin1String("error")).toString());
        setState(stateText(json.value(QLatin1String("state")).toInt(0)));
        replaceSlotFlags(json.value(QLatin1String("slots")).toArray());
        replaceSams(json.value(QLatin1String("sams")).toArray());
    }
}

void ValidatorRfid::setActive(bool active) {
    update(this, m_active, active, &ValidatorRfid::activeChanged);
}

void ValidatorRfid::setState(const QString& state) {
    if (m_state == state) {
        return;
    }
    m_state = state;
    emit stateChanged();
    // enabled follows the state; it is announced with every change of state.
    emit enabledChanged();
}

void ValidatorRfid::setError(const QString& error) {
    update(this, m_error, error, &ValidatorRfid::errorChanged);
}

void ValidatorRfid::setFirmware(const QString& firmware) {
    update(this, m_firmware, firmware, &ValidatorRfid::firmwareChanged);
}

void ValidatorRfid::setManufacturer(const QString& manufacturer) {
    update(this, m_manufacturer, manufacturer, &ValidatorRfid::manufacturerChanged);
}

void ValidatorRfid::setModel(const QString& model) {
    update(this, m_model, model, &ValidatorRfid::modelChanged);
}

void ValidatorRfid::setDeviceUid(const QString& uid) {
    update(this, m_deviceUid, uid, &ValidatorRfid::deviceUidChanged);
}

void ValidatorRfid::replaceSlotFlags(const QJsonArray& flags) {
    const int before = m_slotFlags.size();
    m_slotFlags.clear();
    for (const QJsonValue& flag : flags) {
        m_slotFlags.append(flag.toBool(false));
    }
    // numberOfSlots is a bound property: tell QML when the count moves.
    if (m_slotFlags.size() != before) {
        emit numberOfSlotsChanged();
    }
}

void ValidatorRfid::replaceSams(const QJsonArray& sams) {
    // QML may still hold the old objects until it re-reads sam, so they go at the
    // next return to the event loop, never at once.
    for (SAM* old : qAsConst(m_sams)) {
        old->deleteLater();
    }
    m_sams.clear();
    for (const QJsonValue& element : sams) {
        m_sams.append(new SAM(element.toObject(), this));
    }
    emit samChanged();
}
