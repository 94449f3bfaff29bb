#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

// The IPv4 settings of one interface: address, netmask, gateway and two DNS
// servers, held as texts under the key names the network service uses on the wire.
// The record itself checks nothing; isValidAddress() is the address rule that the
// ethernet settings page and the maintenance barcodes apply before they fill it.
class IPv4 : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString address READ address WRITE setAddress NOTIFY addressChanged)
    Q_PROPERTY(QString gateway READ gateway WRITE setGateway NOTIFY gatewayChanged)
    Q_PROPERTY(QString mask READ mask WRITE setMask NOTIFY maskChanged)
    Q_PROPERTY(QString dns0 READ dns0 WRITE setDns0 NOTIFY dns0Changed)
    Q_PROPERTY(QString dns1 READ dns1 WRITE setDns1 NOTIFY dns1Changed)

public:
    explicit IPv4(QObject* parent = nullptr);

    QString address() const;
    QString gateway() const;
    QString mask() const;
    QString dns0() const;
    QString dns1() const;

    void setAddress(const QString& address);
    void setMask(const QString& mask);
    void setGateway(const QString& gateway);
    void setDns0(const QString& dns0);
    void setDns1(const QString& dns1);

    QVariantMap toMap() const;
    void fromMap(const QVariantMap& map);

    // True for the empty text (the field is left unset) and for four decimal
    // numbers from 0 to 255 without leading zeros, separated by single dots and
    // with nothing before, between or after them. QML calls it on any IPv4 object,
    // for instance network.ethernet.config.isValidAddress(text).
    Q_INVOKABLE static bool isValidAddress(const QString& text);

signals:
    void addressChanged();
    void maskChanged();
    void gatewayChanged();
    void dns0Changed();
    void dns1Changed();

private:
    // Compares with the text held under key (inserting the key with a null value
    // when it is missing) and stores value when it differs; true on a change.
    bool store(const QString& key, const QString& value);

    QVariantMap m_data;
};
