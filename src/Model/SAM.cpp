#include "SAM.h"

namespace {

// Stores value and emits changed only when it differs from the held one.
template <typename T, typename Signal>
void update(SAM* sam, T& field, const T& value, Signal changed) {
    if (field == value) {
        return;
    }
    field = value;
    emit(sam->*changed)();
}

}  // namespace

SAM::SAM(QObject* parent) : QObject(parent) {}

SAM::SAM(const QJsonObject& json, QObject* parent) : QObject(parent) {
    fromJson(json);
}

void SAM::fromJson(const QJsonObject& json) {
    auto text = [&json](const char* key) { return json.value(QLatin1String(key)).toString(); };
    update(this, m_slot, json.value(QLatin1String("slot")).toInt(), &SAM::slotChanged);
    update(this, m_enabled, json.value(QLatin1String("enabled")).toBool(), &SAM::enabledChanged);
    update(this, m_unlocked, json.value(QLatin1String("unlocked")).toBool(), &SAM::unlockedChanged);
    update(this, m_atr, text("atr"), &SAM::atrChanged);
    update(this, m_batch, text("batch"), &SAM::batchChanged);
    update(this, m_mode, text("mode"), &SAM::modeChanged);
    update(this, m_name, text("name"), &SAM::nameChanged);
    // An unparsable date (a month of 13, day-first with dots) is a null date.
    QDate production = QDate::fromString(text("production"), QStringLiteral("yyyy-MM-dd"));
    if (!production.isValid()) {
        production = QDate();
    }
    update(this, m_production, production, &SAM::productionChanged);
    update(this, m_uid, text("uid"), &SAM::uidChanged);
    update(this, m_vendor, text("vendor"), &SAM::vendorChanged);
    update(this, m_version, text("version"), &SAM::versionChanged);
}
