#include "MqttTransport.h"

#include <mosquitto.h>
#include <QAbstractSocket>
#include <QDebug>
#include <QHash>
#include <QHostAddress>
#include <QHostInfo>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <mutex>
#include <vector>

namespace manager {

namespace {

const char* const kTag = "[MqttTransport] ";
// libmosquitto refuses a keep-alive between 1 and 4 seconds.
constexpr int kLeastKeepAlive = 5;

// libmosquitto keeps process-wide state (sockets, random numbers) that must be set
// up once before the first instance is made.
void initLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

// What a CONNACK refusal code of MQTT 3.1.1 means to our users.
MqttTransport::ClientError refusalError(int code) {
    switch (code) {
        case 1:
            return MqttTransport::InvalidProtocolVersion;
        case 2:
            return MqttTransport::IdRejected;
        case 3:
            return MqttTransport::ServerUnavailable;
        case 4:
            return MqttTransport::BadUsernameOrPassword;
        case 5:
            return MqttTransport::NotAuthorized;
        default:
            return MqttTransport::ProtocolViolation;
    }
}

// Why libmosquitto ended a connection, in our terms.
MqttTransport::ClientError lossError(int rc) {
    switch (rc) {
        case MOSQ_ERR_SUCCESS:
            return MqttTransport::NoError;
        case MOSQ_ERR_KEEPALIVE:
            return MqttTransport::ServerUnavailable;
        case MOSQ_ERR_PROTOCOL:
        case MOSQ_ERR_MALFORMED_PACKET:
        case MOSQ_ERR_MALFORMED_UTF8:
        case MOSQ_ERR_PAYLOAD_SIZE:
        case MOSQ_ERR_OVERSIZE_PACKET:
        case MOSQ_ERR_DUPLICATE_PROPERTY:
            return MqttTransport::ProtocolViolation;
        case MOSQ_ERR_NOMEM:
        case MOSQ_ERR_UNKNOWN:
            return MqttTransport::UnknownError;
        default:
            return MqttTransport::TransportInvalid;
    }
}

}  // namespace

struct MqttTransport::Private {
    // What a library callback reported; acted on once the library call has returned,
    // so that no signal is emitted from inside libmosquitto.
    struct Event {
        enum Kind { Connack, Message, Lost } kind;
        int rc = 0;
        QString topic;
        QByteArray payload;
    };

    explicit Private(MqttTransport* owner) : q(owner) {}

    MqttTransport* q;

    QString hostname;
    quint16 port = 1883;
    QString clientId;
    QString username;
    QString password;
    bool cleanSession = true;
    quint16 keepAlive = 60;
    QString willTopic;
    QByteArray willMessage;
    quint8 willQoS = 0;
    bool willRetain = false;

    ClientState state = Disconnected;
    ClientError error = NoError;

    // The current attempt: one libmosquitto instance and the notifiers on its socket.
    mosquitto* mosq = nullptr;
    QSocketNotifier* readNotifier = nullptr;
    QSocketNotifier* writeNotifier = nullptr;
    QTimer* miscTimer = nullptr;
    int lookupId = -1;
    // Counts attempts started and ended; a late host lookup or a library event of
    // an attempt that is over compares it and does nothing.
    quint64 generation = 0;
    ClientError refusal = NoError;
    std::vector<Event> events;
    QHash<QString, MqttSubscription*> subscriptions;

    bool settable(const char* what) const {
        if (state != Disconnected) {
            qDebug().noquote().nospace()
                << kTag << "Changing " << what << " while connected is not possible.";
            return false;
        }
        return true;
    }

    // Returns false when a slot deleted the transport: the caller must then return
    // without touching any member.
    bool setState(ClientState newState) {
        if (state == newState) {
            return true;
        }
        state = newState;
        const QPointer<MqttTransport> alive(q);
        emit q->stateChanged(newState);
        if (!alive) {
            return false;
        }
        if (newState == Disconnected) {
            emit q->disconnected();
        } else if (newState == Connected) {
            emit q->connected();
        }
        return !alive.isNull();
    }

    // Frees the instance and its notifiers without any signal. The notifiers go
    // first: once the library has closed the socket its number may be reused.
    void teardown() {
        for (QSocketNotifier* notifier : {readNotifier, writeNotifier}) {
            if (notifier) {
                notifier->setEnabled(false);
                notifier->deleteLater();  // we may be inside its activated signal
            }
        }
        readNotifier = nullptr;
        writeNotifier = nullptr;
        if (miscTimer) {
            miscTimer->stop();
        }
        if (lookupId != -1) {
            QHostInfo::abortHostLookup(lookupId);
            lookupId = -1;
        }
        if (mosq) {
            mosquitto_destroy(mosq);  // closes a socket that is still open, no callback
            mosq = nullptr;
        }
        events.clear();
        refusal = NoError;
        for (MqttSubscription* subscription : qAsConst(subscriptions)) {
            subscription->deleteLater();
        }
        subscriptions.clear();
    }

    // Ends the current attempt: stateChanged, disconnected(), then errorChanged for a
    // new error. The error is stored before any signal, so that a slot which starts
    // the next attempt at once finds it reset rather than overwritten afterwards.
    void endAttempt(ClientError reason) {
        ++generation;
        teardown();
        const bool newError = reason != NoError && reason != error;
        if (newError) {
            error = reason;
        }
        if (!setState(Disconnected)) {
            return;
        }
        if (newError) {
            emit q->errorChanged(reason);
        }
    }

    void startLookup() {
        const quint64 attempt = generation;
        lookupId = QHostInfo::lookupHost(hostname, q, [this, attempt](const QHostInfo& info) {
            if (attempt != generation) {
                return;
            }
            lookupId = -1;
            onLookedUp(info);
        });
    }

    void onLookedUp(const QHostInfo& info) {
        QHostAddress address;
        for (const QHostAddress& candidate : info.addresses()) {
            if (candidate.protocol() == QAbstractSocket::IPv4Protocol) {
                address = candidate;
                break;
            }
            if (address.isNull()) {
                address = candidate;
            }
        }
        if (address.isNull()) {
            qDebug().noquote().nospace()
                << kTag << "Host " << hostname << " not found: " << info.errorString();
            endAttempt(TransportInvalid);
            return;
        }
        beginConnect(address.toString());
    }

    void beginConnect(const QString& address) {
        const QByteArray id = clientId.toUtf8();
        mosq = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), cleanSession, this);
        if (!mosq) {
            // An empty id without a clean session, as the broker would refuse it.
            qDebug().noquote().nospace() << kTag << "Client id rejected: " << clientId;
            endAttempt(IdRejected);
            return;
        }
        mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        mosquitto_connect_callback_set(mosq, &Private::onConnect);
        mosquitto_disconnect_callback_set(mosq, &Private::onDisconnect);
        mosquitto_message_callback_set(mosq, &Private::onMessage);

        int rc = MOSQ_ERR_SUCCESS;
        if (!willTopic.isEmpty()) {
            const QByteArray topic = willTopic.toUtf8();
            if (mosquitto_will_set(mosq, topic.constData(), willMessage.size(),
                                   willMessage.constData(), willQoS,
                                   willRetain) != MOSQ_ERR_SUCCESS) {
                // A bad will must not keep the device off the broker for good.
                qWarning().noquote().nospace() << kTag << "WARN: Invalid will dropped: topic '"
                                               << willTopic << "' with QoS = " << int(willQoS);
            }
        }
        if (!username.isEmpty()) {
            const QByteArray user = username.toUtf8();
            const QByteArray pass = password.toUtf8();
            rc = mosquitto_username_pw_set(mosq, user.constData(),
                                           password.isEmpty() ? nullptr : pass.constData());
        }
        int seconds = keepAlive;
        if (seconds > 0 && seconds < kLeastKeepAlive) {
            qWarning().noquote().nospace() << kTag << "WARN: Keep-alive of " << seconds
                                           << " s raised to " << kLeastKeepAlive << " s";
            seconds = kLeastKeepAlive;
        }
        if (rc == MOSQ_ERR_SUCCESS) {
            rc = mosquitto_connect_async(mosq, address.toUtf8().constData(), port, seconds);
        }
        if (rc != MOSQ_ERR_SUCCESS) {
            qDebug().noquote().nospace() << kTag << "Connection to " << address << ":" << port
                                         << " failed: " << mosquitto_strerror(rc);
            events.clear();
            endAttempt(rc == MOSQ_ERR_INVAL ? ProtocolViolation : TransportInvalid);
            return;
        }

        const int fd = mosquitto_socket(mosq);
        readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, q);
        QObject::connect(readNotifier, &QSocketNotifier::activated, q, [this] {
            if (mosq) {
                drive(mosquitto_loop_read(mosq, 1));
            }
        });
        writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, q);
        QObject::connect(writeNotifier, &QSocketNotifier::activated, q, [this] {
            if (mosq) {
                drive(mosquitto_loop_write(mosq, 1));
            }
        });
        miscTimer->start();
        drive(MOSQ_ERR_SUCCESS);
    }

    // Acts on what the last library call reported and keeps the write notifier on
    // only while the library has something to send (an idle socket is always
    // writable).
    void drive(int rc) {
        const QPointer<MqttTransport> alive(q);
        const quint64 attempt = generation;
        std::vector<Event> pending;
        pending.swap(events);
        for (Event& event : pending) {
            if (!alive) {
                return;  // a slot deleted the transport
            }
            if (attempt != generation) {
                return;  // a slot ended or restarted the connection
            }
            switch (event.kind) {
                case Event::Connack:
                    if (event.rc == 0) {
                        setState(Connected);
                    } else {
                        refusal = refusalError(event.rc);
                    }
                    break;
                case Event::Message:
                    emit q->messageReceived(event.payload, event.topic);
                    break;
                case Event::Lost:
                    endAttempt(refusal != NoError ? refusal : lossError(event.rc));
                    return;
            }
        }
        if (!alive || attempt != generation || !mosq) {
            return;
        }
        if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(mosq) == -1) {
            const ClientError reason = refusal != NoError ? refusal : lossError(rc);
            endAttempt(reason == NoError ? TransportInvalid : reason);
            return;
        }
        writeNotifier->setEnabled(mosquitto_want_write(mosq));
    }

    static void onConnect(mosquitto*, void* self, int rc) {
        static_cast<Private*>(self)->events.push_back({Event::Connack, rc, {}, {}});
    }

    static void onDisconnect(mosquitto*, void* self, int rc) {
        auto* d = static_cast<Private*>(self);
        for (const Event& event : d->events) {
            if (event.kind == Event::Lost) {
                return;  // the library may report one loss twice
            }
        }
        d->events.push_back({Event::Lost, rc, {}, {}});
    }

    static void onMessage(mosquitto*, void* self, const mosquitto_message* message) {
        // The library frees topic and payload when the callback returns: copy both.
        Event event{Event::Message, 0, QString::fromUtf8(message->topic),
                    QByteArray(static_cast<const char*>(message->payload),
                               message->payload ? message->payloadlen : 0)};
        static_cast<Private*>(self)->events.push_back(std::move(event));
    }
};

MqttTransport::MqttTransport(QObject* parent) : QObject(parent), d(new Private(this)) {
    initLibrary();
    d->miscTimer = new QTimer(this);
    d->miscTimer->setInterval(1000);
    QObject::connect(d->miscTimer, &QTimer::timeout, this, [this] {
        if (d->mosq) {
            d->drive(mosquitto_loop_misc(d->mosq));
        }
    });
}

MqttTransport::~MqttTransport() {
    // No signal from here: the receivers may be half destroyed. Destroying the
    // instance drops the socket without a DISCONNECT, so the broker sends the will.
    d->teardown();
    delete d;
}

void MqttTransport::setHostname(const QString& hostname) {
    if (d->settable("hostname")) {
        d->hostname = hostname;
    }
}

QString MqttTransport::hostname() const {
    return d->hostname;
}

void MqttTransport::setPort(quint16 port) {
    if (d->settable("port")) {
        d->port = port;
    }
}

quint16 MqttTransport::port() const {
    return d->port;
}

void MqttTransport::setClientId(const QString& clientId) {
    if (d->settable("client id")) {
        d->clientId = clientId;
    }
}

QString MqttTransport::clientId() const {
    return d->clientId;
}

void MqttTransport::setUsername(const QString& username) {
    if (d->settable("user name")) {
        d->username = username;
    }
}

QString MqttTransport::username() const {
    return d->username;
}

void MqttTransport::setPassword(const QString& password) {
    if (d->settable("password")) {
        d->password = password;
    }
}

QString MqttTransport::password() const {
    return d->password;
}

void MqttTransport::setCleanSession(bool cleanSession) {
    if (d->settable("clean session")) {
        d->cleanSession = cleanSession;
    }
}

bool MqttTransport::cleanSession() const {
    return d->cleanSession;
}

void MqttTransport::setKeepAlive(quint16 seconds) {
    if (d->settable("keep-alive")) {
        d->keepAlive = seconds;
    }
}

quint16 MqttTransport::keepAlive() const {
    return d->keepAlive;
}

void MqttTransport::setWillTopic(const QString& topic) {
    if (d->settable("will topic")) {
        d->willTopic = topic;
    }
}

QString MqttTransport::willTopic() const {
    return d->willTopic;
}

void MqttTransport::setWillMessage(const QByteArray& message) {
    if (d->settable("will message")) {
        d->willMessage = message;
    }
}

QByteArray MqttTransport::willMessage() const {
    return d->willMessage;
}

void MqttTransport::setWillQoS(quint8 qos) {
    if (d->settable("will QoS")) {
        d->willQoS = qos;
    }
}

quint8 MqttTransport::willQoS() const {
    return d->willQoS;
}

void MqttTransport::setWillRetain(bool retain) {
    if (d->settable("will retain")) {
        d->willRetain = retain;
    }
}

bool MqttTransport::willRetain() const {
    return d->willRetain;
}

MqttTransport::ClientState MqttTransport::state() const {
    return d->state;
}

MqttTransport::ClientError MqttTransport::error() const {
    return d->error;
}

void MqttTransport::connectToHost() {
    if (d->state != Disconnected) {
        qDebug().noquote().nospace() << kTag << "Connection request ignored: not disconnected.";
        return;
    }
    d->error = NoError;  // a fresh attempt starts without the last one's error
    ++d->generation;
    if (d->setState(Connecting) && d->state == Connecting) {
        d->startLookup();
    }
}

void MqttTransport::disconnectFromHost() {
    if (d->state == Disconnected) {
        return;
    }
    if (d->state == Connected && d->mosq) {
        // Sends DISCONNECT; the library may report the loss from inside this call,
        // which lands in the event list and is dropped with the attempt.
        mosquitto_disconnect(d->mosq);
    }
    d->endAttempt(NoError);
}

void MqttTransport::closeTransport() {
    if (d->state == Disconnected) {
        return;
    }
    d->endAttempt(TransportInvalid);
}

MqttSubscription* MqttTransport::subscribe(const QString& filter, quint8 qos) {
    if (d->state != Connected || !d->mosq || qos > 2) {
        return nullptr;
    }
    const QByteArray topic = filter.toUtf8();
    if (topic.isEmpty() || mosquitto_sub_topic_check(topic.constData()) != MOSQ_ERR_SUCCESS) {
        return nullptr;
    }
    MqttSubscription* existing = d->subscriptions.value(filter);
    if (existing && existing->qos() == qos) {
        return existing;
    }
    int mid = 0;
    const int rc = mosquitto_subscribe(d->mosq, &mid, topic.constData(), qos);
    if (d->writeNotifier && d->mosq) {
        d->writeNotifier->setEnabled(mosquitto_want_write(d->mosq));
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        return nullptr;
    }
    if (existing) {
        existing->deleteLater();
    }
    auto* subscription = new MqttSubscription(filter, qos, this);
    d->subscriptions.insert(filter, subscription);
    return subscription;
}

qint32 MqttTransport::publish(const QString& topic, const QByteArray& message, quint8 qos,
                              bool retain) {
    if (d->state != Connected || !d->mosq || qos > 2) {
        return -1;
    }
    const QByteArray name = topic.toUtf8();
    if (name.isEmpty() || mosquitto_pub_topic_check(name.constData()) != MOSQ_ERR_SUCCESS) {
        return -1;
    }
    int mid = 0;
    const int rc = mosquitto_publish(d->mosq, &mid, name.constData(), message.size(),
                                     message.constData(), qos, retain);
    if (d->writeNotifier && d->mosq) {
        d->writeNotifier->setEnabled(mosquitto_want_write(d->mosq));
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        return -1;
    }
    return qos == 0 ? 0 : mid;
}

}  // namespace manager
