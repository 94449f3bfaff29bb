#pragma once

#include <QJsonObject>
#include <QObject>
#include <QStringList>

class SessionManager;
namespace manager {
class Board;
class Inspector;
class Network;
class Validator;
}  // namespace manager

// A maintenance barcode scanned while a technician is logged in: the on-board
// computer's address for the validator ("validator"."obc") and the wired interface's
// settings ("network"."eth0"). What was applied is confirmed with the valid sound,
// the valid LED pattern and applied() with one line per setting.
class MaintenanceBarcode : public QObject {
    Q_OBJECT

public:
    MaintenanceBarcode(const SessionManager& session, manager::Validator& validator,
                       manager::Network& network, manager::Inspector& inspector,
                       manager::Board& board, QObject* parent = nullptr);

    void onScanned(const QJsonObject& data);

signals:
    void applied(const QStringList& configList);

private:
    void applyValidator(const QJsonObject& data, QStringList* configList);
    void applyEthernet(const QJsonObject& eth0, QStringList* configList);

    const SessionManager& m_session;
    manager::Validator& m_validator;
    manager::Network& m_network;
    manager::Inspector& m_inspector;
    manager::Board& m_board;
};
