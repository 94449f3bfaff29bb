#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;

// A loopback server speaking just enough MQTT 3.1.1 for what a real broker will not do
// on demand (a refused CONNACK, no answer, a cut); it records every packet received.
class FakeBroker : public QObject {
    Q_OBJECT

public:
    explicit FakeBroker(QObject* parent = nullptr);
    ~FakeBroker() override;

    bool listen();
    quint16 port() const { return m_server.serverPort(); }

    // The CONNACK return code sent for a CONNECT; -1 sends nothing.
    void setConnackCode(int code) { m_connackCode = code; }

    // Closes every accepted connection.
    void dropClients();
    // Sends a short PUBLISH (under 128 bytes) at QoS 0 to every client.
    void publish(const QByteArray& topic, const QByteArray& payload);

    int connections() const { return m_connections; }
    // Packets received so far, each with its fixed header.
    QList<QByteArray> packets() const { return m_packets; }
    // How many received packets have this packet type (the high four bits).
    int count(quint8 type) const;

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void handle(QTcpSocket* socket, const QByteArray& packet);

    QTcpServer m_server;
    QList<QTcpSocket*> m_clients;
    QList<QByteArray> m_packets;
    int m_connackCode = 0;
    int m_connections = 0;
};
