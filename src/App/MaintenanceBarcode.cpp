#include "MaintenanceBarcode.h"

#include <QDebug>
#include <QUrl>

#include "Board.h"
#include "GUIManager.h"
#include "IPv4.h"
#include "Inspector.h"
#include "Network.h"
#include "SessionManager.h"
#include "Sounds.h"
#include "Validator.h"

namespace {
const char* const TAG = "[GUIManager] ";
}  // namespace

MaintenanceBarcode::MaintenanceBarcode(const SessionManager& session, manager::Validator& validator,
                                       manager::Network& network, manager::Inspector& inspector,
                                       manager::Board& board, QObject* parent)
    : QObject(parent),
      m_session(session),
      m_validator(validator),
      m_network(network),
      m_inspector(inspector),
      m_board(board) {}

void MaintenanceBarcode::onScanned(const QJsonObject& data) {
    qInfo() << TAG << "Maintenance Barcode scanned";
    if (!m_session.sessionActive()) {
        qWarning() << TAG << "WARN: Maintenance session is not active. Ignoring.";
        return;
    }
    QStringList configList;
    if (data.contains(QStringLiteral("validator"))) {
        applyValidator(data.value(QStringLiteral("validator")).toObject(), &configList);
    }
    const QJsonObject network = data.value(QStringLiteral("network")).toObject();
    if (network.contains(QStringLiteral("eth0"))) {
        applyEthernet(network.value(QStringLiteral("eth0")).toObject(), &configList);
    }
    if (!configList.isEmpty()) {
        m_inspector.audioPlay(sounds::valid);
        m_board.setLedValid();
        emit applied(configList);
    }
}

void MaintenanceBarcode::applyValidator(const QJsonObject& validator, QStringList* configList) {
    const QString obc = validator.value(QStringLiteral("obc")).toString();
    const QUrl url(obc, QUrl::TolerantMode);
    if (!url.isValid() || obc.isEmpty()) {
        qWarning() << TAG << "WARN: OBC URL is not valid : " << obc;
        return;
    }
    qInfo() << TAG << "Applying Validator configuration";
    configList->append(QStringLiteral("OBC : %1").arg(url.toString()));
    m_validator.config()->setObuUrl(url);
    m_validator.saveConfig();
}

void MaintenanceBarcode::applyEthernet(const QJsonObject& eth0, QStringList* configList) {
    const auto text = [&eth0](const char* key) {
        return eth0.value(QLatin1String(key)).toString();
    };
    const bool manual = text("method") == QLatin1String("manual");
    // A fixed address is checked with the settings page's rule before anything of it
    // is applied; any other method clears the five addresses.
    const QStringList fields{text("address"), text("netmask"), text("gateway"), text("dns0"),
                             text("dns1")};
    manager::Ethernet* ethernet = m_network.ethernet();
    const QString refused = manual ? GUIManager::manualIpv4Failure(fields[0], fields[1], fields[2],
                                                                   fields[3], fields[4])
                                   : QString();
    if (ethernet->interface() != QLatin1String("eth0")) {
        qWarning() << TAG
                   << "WARN: Active ethernet interface is not 'eth0' : " << ethernet->interface();
        return;
    }
    if (!refused.isEmpty()) {
        qWarning() << TAG << "WARN: Ethernet configuration refused : " << refused;
        return;
    }
    const QStringList labels{"Address", "Netmask", "Gateway", "DNS #0", "DNS #1"};
    configList->append(QStringLiteral("Method : %1").arg(text("method")));
    for (int i = 0; i < labels.size(); ++i) {
        configList->append(QStringLiteral("%1 : %2").arg(labels[i], fields[i]));
    }
    const QString clear;
    IPv4* config = ethernet->config();
    ethernet->setMethod(manual ? QStringLiteral("manual") : QStringLiteral("auto"));
    config->setAddress(manual ? fields[0] : clear);
    config->setMask(manual ? fields[1] : clear);
    config->setGateway(manual ? fields[2] : clear);
    config->setDns0(manual ? fields[3] : clear);
    config->setDns1(manual ? fields[4] : clear);
    qInfo() << TAG << "Applying Ethernet configuration to eth0";
    ethernet->save();
}
