#include "Connection.h"

#include "ServiceChannel.h"

namespace manager {

Connection::Connection(QObject* parent) : QObject(parent), m_ipv4(this) {}

Connection::Connection(const QVariantMap& map, QObject* parent) : Connection(parent) {
    fromMap(map);
}

void Connection::fromMap(const QVariantMap& map) {
    if (assignIfChanged(m_interface, map.value(QStringLiteral("interface")).toString())) {
        emit interfaceChanged();
    }
    if (assignIfChanged(m_state, map.value(QStringLiteral("stateStr")).toString())) {
        emit stateChanged();
    }
    if (assignIfChanged(m_type, map.value(QStringLiteral("typeStr")).toString())) {
        emit typeChanged();
    }
    const QVariantMap ipv4 = map.value(QStringLiteral("ipv4")).toMap();
    if (ipv4 != m_ipv4.toMap()) {
        m_ipv4.fromMap(ipv4);
        emit ipv4Changed();
    }
}

}  // namespace manager
