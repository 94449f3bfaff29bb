#include "Peer.h"

#include <mosquitto.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QThread>

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

Peer::Peer() {
    static const int init = mosquitto_lib_init();
    Q_UNUSED(init)
    m_mosq = mosquitto_new(nullptr, true, this);
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_message_callback_set(m_mosq, &Peer::onMessage);
    mosquitto_subscribe_callback_set(m_mosq, &Peer::onSubscribe);
    mosquitto_publish_callback_set(m_mosq, &Peer::onPublish);
    mosquitto_connect_callback_set(m_mosq, &Peer::onConnect);
}

Peer::~Peer() {
    disconnect();
    mosquitto_destroy(m_mosq);
}

bool Peer::connect(const QString& host, quint16 port) {
    if (mosquitto_connect(m_mosq, host.toUtf8().constData(), port, 30) != MOSQ_ERR_SUCCESS) {
        return false;
    }
    mosquitto_loop_start(m_mosq);
    return waitUntil([this] {
        QMutexLocker lock(&m_mutex);
        return m_connected;
    });
}

void Peer::disconnect() {
    {
        QMutexLocker lock(&m_mutex);
        if (!m_connected) {
            mosquitto_loop_stop(m_mosq, true);
            return;
        }
        m_connected = false;
    }
    mosquitto_disconnect(m_mosq);
    mosquitto_loop_stop(m_mosq, false);
}

bool Peer::waitFor(int mid) {
    return waitUntil([this, mid] {
        QMutexLocker lock(&m_mutex);
        return m_acked.contains(mid);
    });
}

bool Peer::subscribe(const QString& filter, int qos) {
    int mid = 0;
    if (mosquitto_subscribe(m_mosq, &mid, filter.toUtf8().constData(), qos) != MOSQ_ERR_SUCCESS) {
        return false;
    }
    return waitFor(mid);
}

bool Peer::publish(const QString& topic, const QByteArray& payload, int qos, bool retain) {
    int mid = 0;
    if (mosquitto_publish(m_mosq, &mid, topic.toUtf8().constData(), payload.size(),
                          payload.constData(), qos, retain) != MOSQ_ERR_SUCCESS) {
        return false;
    }
    return waitFor(mid);
}

QList<Peer::Message> Peer::messages() const {
    QMutexLocker lock(&m_mutex);
    return m_messages;
}

QList<Peer::Message> Peer::messages(const QString& topic) const {
    QMutexLocker lock(&m_mutex);
    QList<Message> out;
    for (const Message& m : m_messages) {
        if (m.topic == topic) {
            out.append(m);
        }
    }
    return out;
}

void Peer::clear() {
    QMutexLocker lock(&m_mutex);
    m_messages.clear();
}

void Peer::onMessage(mosquitto*, void* self, const mosquitto_message* msg) {
    auto* peer = static_cast<Peer*>(self);
    Message m;
    m.topic = QString::fromUtf8(msg->topic);
    m.payload = QByteArray(static_cast<const char*>(msg->payload), msg->payloadlen);
    m.retained = msg->retain;
    QMutexLocker lock(&peer->m_mutex);
    peer->m_messages.append(m);
}

void Peer::onSubscribe(mosquitto* mosq, void* self, int mid, int, const int*) {
    onPublish(mosq, self, mid);  // a SUBACK and a PUBACK end the same wait
}

void Peer::onPublish(mosquitto*, void* self, int mid) {
    auto* peer = static_cast<Peer*>(self);
    QMutexLocker lock(&peer->m_mutex);
    peer->m_acked.append(mid);
}

void Peer::onConnect(mosquitto*, void* self, int rc) {
    auto* peer = static_cast<Peer*>(self);
    QMutexLocker lock(&peer->m_mutex);
    peer->m_connected = (rc == 0);
}
