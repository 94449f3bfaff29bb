#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <functional>

struct mosquitto;

// A second MQTT client in the test that plays a device service: it publishes the
// service's messages and records every message it receives, byte for byte.
// It runs libmosquitto's own network thread; the recorded list is guarded.
class Peer {
public:
    struct Message {
        QString topic;
        QByteArray payload;
        bool retained = false;
    };

    Peer();
    ~Peer();

    bool connect(const QString& host, quint16 port);
    bool subscribe(const QString& filter, int qos = 0);  // waits for the SUBACK
    bool publish(const QString& topic, const QByteArray& payload, int qos = 0,
                 bool retain = false);  // waits until the message has left (QoS 0) or is acked
    void disconnect();

    QList<Message> messages() const;                      // everything received so far
    QList<Message> messages(const QString& topic) const;  // received on exactly this topic
    int count(const QString& topic) const { return messages(topic).size(); }
    void clear();

private:
    static void onMessage(mosquitto*, void* self, const struct mosquitto_message* msg);
    static void onSubscribe(mosquitto*, void* self, int mid, int, const int*);
    static void onPublish(mosquitto*, void* self, int mid);
    static void onConnect(mosquitto*, void* self, int rc);

    mosquitto* m_mosq = nullptr;
    mutable QMutex m_mutex;
    QList<Message> m_messages;
    QList<int> m_acked;
    bool m_connected = false;
    bool waitFor(int mid);
};

// Wait for a condition while processing the test's event loop. The default allows a
// broker round trip on a loaded machine; it returns as soon as the condition holds.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 15000);
