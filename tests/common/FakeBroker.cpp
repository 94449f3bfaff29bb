#include "FakeBroker.h"

#include <QTcpSocket>

FakeBroker::FakeBroker(QObject* parent) : QObject(parent) {
    connect(&m_server, &QTcpServer::newConnection, this, &FakeBroker::onNewConnection);
}

FakeBroker::~FakeBroker() {
    // The sockets are children of the server: cut them off before our lists go.
    for (QTcpSocket* socket : qAsConst(m_clients)) {
        socket->disconnect(this);
        delete socket;
    }
}

bool FakeBroker::listen() {
    return m_server.listen(QHostAddress::LocalHost, 0);
}

void FakeBroker::dropClients() {
    const QList<QTcpSocket*> clients = m_clients;
    m_clients.clear();
    for (QTcpSocket* socket : clients) {
        socket->abort();
        socket->deleteLater();
    }
}

void FakeBroker::publish(const QByteArray& topic, const QByteArray& payload) {
    QByteArray body;
    body.append(static_cast<char>(topic.size() >> 8));
    body.append(static_cast<char>(topic.size() & 0xff));
    body.append(topic);
    body.append(payload);
    const QByteArray packet = QByteArray(1, '\x30') + char(body.size()) + body;
    for (QTcpSocket* socket : qAsConst(m_clients)) {
        socket->write(packet);
    }
}

int FakeBroker::count(quint8 type) const {
    int n = 0;
    for (const QByteArray& packet : m_packets) {
        if ((static_cast<quint8>(packet.at(0)) >> 4) == type) {
            ++n;
        }
    }
    return n;
}

void FakeBroker::onNewConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        ++m_connections;
        m_clients.append(socket);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (m_clients.removeOne(socket)) {
                socket->deleteLater();
            }
        });
    }
}

void FakeBroker::onReadyRead(QTcpSocket* socket) {
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    // Everything the tests send here is short: the length fits in one byte.
    while (buffer.size() >= 2 && buffer.size() >= 2 + quint8(buffer.at(1))) {
        const int size = 2 + quint8(buffer.at(1));
        handle(socket, buffer.left(size));
        buffer.remove(0, size);
    }
    socket->setProperty("buffer", buffer);
}

void FakeBroker::handle(QTcpSocket* socket, const QByteArray& packet) {
    m_packets.append(packet);
    // Only a CONNECT is answered, with the chosen CONNACK; nothing else the tests send
    // needs an answer before they end.
    if ((static_cast<quint8>(packet.at(0)) >> 4) == 1 && m_connackCode >= 0) {
        const char connack[] = {'\x20', '\x02', '\x00', static_cast<char>(m_connackCode)};
        socket->write(connack, sizeof connack);
    }
}
