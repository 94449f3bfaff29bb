#include "IPv4.h"

#include <QRegularExpression>

namespace {
const QString kAddress = QStringLiteral("address");
const QString kMask = QStringLiteral("netmask");
const QString kGateway = QStringLiteral("gateway");
const QString kDns0 = QStringLiteral("dns0");
const QString kDns1 = QStringLiteral("dns1");
}  // namespace

IPv4::IPv4(QObject* parent) : QObject(parent) {}

QString IPv4::address() const {
    return m_data.value(kAddress).toString();
}
QString IPv4::gateway() const {
    return m_data.value(kGateway).toString();
}
QString IPv4::mask() const {
    return m_data.value(kMask).toString();
}
QString IPv4::dns0() const {
    return m_data.value(kDns0).toString();
}
QString IPv4::dns1() const {
    return m_data.value(kDns1).toString();
}

bool IPv4::store(const QString& key, const QString& value) {
    QVariant& held = m_data[key];
    if (held.toString() == value) {
        return false;
    }
    held = value;
    return true;
}

void IPv4::setAddress(const QString& address) {
    if (store(kAddress, address)) {
        emit addressChanged();
    }
}

void IPv4::setMask(const QString& mask) {
    if (store(kMask, mask)) {
        emit maskChanged();
    }
}

void IPv4::setGateway(const QString& gateway) {
    if (store(kGateway, gateway)) {
        emit gatewayChanged();
    }
}

void IPv4::setDns0(const QString& dns0) {
    if (store(kDns0, dns0)) {
        emit dns0Changed();
    }
}

void IPv4::setDns1(const QString& dns1) {
    if (store(kDns1, dns1)) {
        emit dns1Changed();
    }
}

QVariantMap IPv4::toMap() const {
    return m_data;
}

void IPv4::fromMap(const QVariantMap& map) {
    setAddress(map.value(kAddress).toString());
    setMask(map.value(kMask).toString());
    setGateway(map.value(kGateway).toString());
    setDns0(map.value(kDns0).toString());
    setDns1(map.value(kDns1).toString());
}

bool IPv4::isValidAddress(const QString& text) {
    if (text.isEmpty()) {
        return true;
    }
    // Each number is 250-255, 200-249, 100-199, 10-99 or 0-9; the dot after it is
    // optional only where a word boundary follows, which leaves the end of the
    // text. Anchored at the very end (\z), so a trailing line end fails too.
    static const QRegularExpression rule(QRegularExpression::anchoredPattern(
        QStringLiteral(R"(((25[0-5]|(2[0-4]|1\d|[1-9]|)\d)\.?\b){4})")));
    return rule.match(text).hasMatch();
}
