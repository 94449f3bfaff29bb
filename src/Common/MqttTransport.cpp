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

    explicit Private(MqttTransport* owner) : m_owner(owner) {}

    MqttTransport* m_owner;

    QString m_hostname;
    quint16 m_port = 1883;
    QString m_clientId;
    QString m_username;
    QString m_password;
    bool m_cleanSession = true;
    quint16 m_keepAlive = 60;
    QString m_willTopic;
    QByteArray m_willMessage;
    quint8 m_willQoS = 0;
    bool m_willRetain = false;

    ClientState m_state = Disconnected;
    ClientError m_error = NoError;
    QString m_errorString;

    // The current attempt: one libmosquitto instance and the notifiers on its socket.
    mosquitto* m_mosq = nullptr;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    QTimer* m_miscTimer = nullptr;
    int m_lookupId = -1;
    // Counts attempts started and ended; a late host lookup or a library event of
    // an attempt that is over compares it and does nothing.
    quint64 m_generation = 0;
    ClientError m_refusal = NoError;
    std::vector<Event> m_events;
    QHash<QString, MqttSubscription*> m_subscriptions;

    bool settable(const char* what) const {
        if (m_state != Disconnected) {
            qDebug().noquote().nospace()
                << kTag << "Changing " << what << " while connected is not possible.";
            return false;
        }
        return true;
    }

    // Returns false when a slot deleted the transport: the caller must then return
    // without touching any member.
    bool setState(ClientState newState) {
        if (m_state == newState) {
            return true;
        }
        m_state = newState;
        const QPointer<MqttTransport> alive(m_owner);
        emit m_owner->stateChanged(newState);
        if (!alive) {
            return false;
        }
        if (newState == Disconnected) {
            emit m_owner->disconnected();
        } else if (newState == Connected) {
            emit m_owner->connected();
        }
        return !alive.isNull();
    }

    // Frees the instance and its notifiers without any signal. The notifiers go
    // first: once the library has closed the socket its number may be reused.
    void teardown() {
        for (QSocketNotifier* notifier : {m_readNotifier, m_writeNotifier}) {
            if (notifier) {
                notifier->setEnabled(false);
                notifier->deleteLater();  // we may be inside its activated signal
            }
        }
        m_readNotifier = nullptr;
        m_writeNotifier = nullptr;
        if (m_miscTimer) {
            m_miscTimer->stop();
        }
        if (m_lookupId != -1) {
            QHostInfo::abortHostLookup(m_lookupId);
            m_lookupId = -1;
        }
        if (m_mosq) {
            mosquitto_destroy(m_mosq);  // closes a socket that is still open, no callback
            m_mosq = nullptr;
        }
        m_events.clear();
        m_refusal = NoError;
        for (MqttSubscription* subscription : qAsConst(m_subscriptions)) {
            subscription->deleteLater();
        }
        m_subscriptions.clear();
    }

    // Ends the current attempt: stateChanged, disconnected(), then errorChanged for a
    // new error. The error and its cause are stored before any signal, so that a slot
    // which starts the next attempt at once finds them reset rather than overwritten
    // afterwards.
    void endAttempt(ClientError reason, const QString& cause = QString()) {
        ++m_generation;
        teardown();
        const bool newError = reason != NoError && reason != m_error;
        if (newError) {
            m_error = reason;
            m_errorString = cause;
        }
        if (!setState(Disconnected)) {
            return;
        }
        if (newError) {
            emit m_owner->errorChanged(reason);
        }
    }

    void startLookup() {
        const quint64 attempt = m_generation;
        m_lookupId =
            QHostInfo::lookupHost(m_hostname, m_owner, [this, attempt](const QHostInfo& info) {
                if (attempt != m_generation) {
                    return;
                }
                m_lookupId = -1;
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
            endAttempt(TransportInvalid, QStringLiteral("broker host name %1 does not resolve (%2)")
                                             .arg(m_hostname, info.errorString()));
            return;
        }
        beginConnect(address.toString());
    }

    void beginConnect(const QString& address) {
        const QByteArray id = m_clientId.toUtf8();
        m_mosq = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), m_cleanSession, this);
        if (!m_mosq) {
            // An empty id without a clean session, as the broker would refuse it.
            qDebug().noquote().nospace() << kTag << "Client id rejected: " << m_clientId;
            endAttempt(IdRejected);
            return;
        }
        mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        mosquitto_connect_callback_set(m_mosq, &Private::onConnect);
        mosquitto_disconnect_callback_set(m_mosq, &Private::onDisconnect);
        mosquitto_message_callback_set(m_mosq, &Private::onMessage);

        int rc = MOSQ_ERR_SUCCESS;
        if (!m_willTopic.isEmpty()) {
            const QByteArray topic = m_willTopic.toUtf8();
            if (mosquitto_will_set(m_mosq, topic.constData(), m_willMessage.size(),
                                   m_willMessage.constData(), m_willQoS,
                                   m_willRetain) != MOSQ_ERR_SUCCESS) {
                // A bad will must not keep the device off the broker for good.
                qWarning().noquote().nospace() << kTag << "WARN: Invalid will dropped: topic '"
                                               << m_willTopic << "' with QoS = " << int(m_willQoS);
            }
        }
        if (!m_username.isEmpty()) {
            const QByteArray user = m_username.toUtf8();
            const QByteArray pass = m_password.toUtf8();
            rc = mosquitto_username_pw_set(m_mosq, user.constData(),
                                           m_password.isEmpty() ? nullptr : pass.constData());
        }
        int seconds = m_keepAlive;
        if (seconds > 0 && seconds < kLeastKeepAlive) {
            qWarning().noquote().nospace() << kTag << "WARN: Keep-alive of " << seconds
                                           << " s raised to " << kLeastKeepAlive << " s";
            seconds = kLeastKeepAlive;
        }
        if (rc == MOSQ_ERR_SUCCESS) {
            rc = mosquitto_connect_async(m_mosq, address.toUtf8().constData(), m_port, seconds);
        }
        if (rc != MOSQ_ERR_SUCCESS) {
            const QString cause = QStringLiteral("connection to %1:%2 failed (%3)")
                                      .arg(address)
                                      .arg(m_port)
                                      .arg(QString::fromUtf8(mosquitto_strerror(rc)));
            m_events.clear();
            endAttempt(rc == MOSQ_ERR_INVAL ? ProtocolViolation : TransportInvalid, cause);
            return;
        }

        const int fd = mosquitto_socket(m_mosq);
        m_readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, m_owner);
        QObject::connect(m_readNotifier, &QSocketNotifier::activated, m_owner, [this] {
            if (m_mosq) {
                drive(mosquitto_loop_read(m_mosq, 1));
            }
        });
        m_writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, m_owner);
        QObject::connect(m_writeNotifier, &QSocketNotifier::activated, m_owner, [this] {
            if (m_mosq) {
                drive(mosquitto_loop_write(m_mosq, 1));
            }
        });
        m_miscTimer->start();
        drive(MOSQ_ERR_SUCCESS);
    }

    // Acts on what the last library call reported and keeps the write notifier on
    // only while the library has something to send (an idle socket is always
    // writable).
    void drive(int rc) {
        // Read at once: the library's text of a system error is that of errno.
        const QString cause = rc == MOSQ_ERR_SUCCESS
                                  ? QString()
                                  : QStringLiteral("connection to %1:%2 ended (%3)")
                                        .arg(m_hostname)
                                        .arg(m_port)
                                        .arg(QString::fromUtf8(mosquitto_strerror(rc)));
        const QPointer<MqttTransport> alive(m_owner);
        const quint64 attempt = m_generation;
        std::vector<Event> pending;
        pending.swap(m_events);
        for (Event& event : pending) {
            if (!alive) {
                return;  // a slot deleted the transport
            }
            if (attempt != m_generation) {
                return;  // a slot ended or restarted the connection
            }
            switch (event.kind) {
                case Event::Connack:
                    if (event.rc == 0) {
                        setState(Connected);
                    } else {
                        m_refusal = refusalError(event.rc);
                    }
                    break;
                case Event::Message:
                    emit m_owner->messageReceived(event.payload, event.topic);
                    break;
                case Event::Lost:
                    endAttempt(m_refusal != NoError ? m_refusal : lossError(event.rc));
                    return;
            }
        }
        if (!alive || attempt != m_generation || !m_mosq) {
            return;
        }
        if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(m_mosq) == -1) {
            const ClientError reason = m_refusal != NoError ? m_refusal : lossError(rc);
            endAttempt(reason == NoError ? TransportInvalid : reason, cause);
            return;
        }
        m_writeNotifier->setEnabled(mosquitto_want_write(m_mosq));
    }

    static void onConnect(mosquitto*, void* self, int rc) {
        static_cast<Private*>(self)->m_events.push_back({Event::Connack, rc, {}, {}});
    }

    static void onDisconnect(mosquitto*, void* self, int rc) {
        auto* d = static_cast<Private*>(self);
        for (const Event& event : d->m_events) {
            if (event.kind == Event::Lost) {
                return;  // the library may report one loss twice
            }
        }
        d->m_events.push_back({Event::Lost, rc, {}, {}});
    }

    static void onMessage(mosquitto*, void* self, const mosquitto_message* message) {
        // The library frees topic and payload when the callback returns: copy both.
        Event event{Event::Message, 0, QString::fromUtf8(message->topic),
                    QByteArray(static_cast<const char*>(message->payload),
                               message->payload ? message->payloadlen : 0)};
        static_cast<Private*>(self)->m_events.push_back(std::move(event));
    }
};

MqttTransport::MqttTransport(QObject* parent) : QObject(parent), m_d(new Private(this)) {
    initLibrary();
    m_d->m_miscTimer = new QTimer(this);
    m_d->m_miscTimer->setInterval(1000);
    QObject::connect(m_d->m_miscTimer, &QTimer::timeout, this, [this] {
        if (m_d->m_mosq) {
            m_d->drive(mosquitto_loop_misc(m_d->m_mosq));
        }
    });
}

MqttTransport::~MqttTransport() {
    // No signal from here: the receivers may be half destroyed. Destroying the
    // instance drops the socket without a DISCONNECT, so the broker sends the will.
    m_d->teardown();
    delete m_d;
}

void MqttTransport::setHostname(const QString& hostname) {
    if (m_d->settable("hostname")) {
        m_d->m_hostname = hostname;
    }
}

QString MqttTransport::hostname() const {
    return m_d->m_hostname;
}

void MqttTransport::setPort(quint16 port) {
    if (m_d->settable("port")) {
        m_d->m_port = port;
    }
}

quint16 MqttTransport::port() const {
    return m_d->m_port;
}

void MqttTransport::setClientId(const QString& clientId) {
    if (m_d->settable("client id")) {
        m_d->m_clientId = clientId;
    }
}

QString MqttTransport::clientId() const {
    return m_d->m_clientId;
}

void MqttTransport::setUsername(const QString& username) {
    if (m_d->settable("user name")) {
        m_d->m_username = username;
    }
}

QString MqttTransport::username() const {
    return m_d->m_username;
}

void MqttTransport::setPassword(const QString& password) {
    if (m_d->settable("password")) {
        m_d->m_password = password;
    }
}

QString MqttTransport::password() const {
    return m_d->m_password;
}

void MqttTransport::setCleanSession(bool cleanSession) {
    if (m_d->settable("clean session")) {
        m_d->m_cleanSession = cleanSession;
    }
}

bool MqttTransport::cleanSession() const {
    return m_d->m_cleanSession;
}

void MqttTransport::setKeepAlive(quint16 seconds) {
    if (m_d->settable("keep-alive")) {
        m_d->m_keepAlive = seconds;
    }
}

quint16 MqttTransport::keepAlive() const {
    return m_d->m_keepAlive;
}

void MqttTransport::setWillTopic(const QString& topic) {
    if (m_d->settable("will topic")) {
        m_d->m_willTopic = topic;
    }
}

QString MqttTransport::willTopic() const {
    return m_d->m_willTopic;
}

void MqttTransport::setWillMessage(const QByteArray& message) {
    if (m_d->settable("will message")) {
        m_d->m_willMessage = message;
    }
}

QByteArray MqttTransport::willMessage() const {
    return m_d->m_willMessage;
}

void MqttTransport::setWillQoS(quint8 qos) {
    if (m_d->settable("will QoS")) {
        m_d->m_willQoS = qos;
    }
}

quint8 MqttTransport::willQoS() const {
    return m_d->m_willQoS;
}

void MqttTransport::setWillRetain(bool retain) {
    if (m_d->settable("will retain")) {
        m_d->m_willRetain = retain;
    }
}

bool MqttTransport::willRetain() const {
    return m_d->m_willRetain;
}

MqttTransport::ClientState MqttTransport::state() const {
    return m_d->m_state;
}

MqttTransport::ClientError MqttTransport::error() const {
    return m_d->m_error;
}

QString MqttTransport::errorString() const {
    return m_d->m_errorString;
}

void MqttTransport::connectToHost() {
    if (m_d->m_state != Disconnected) {
        qDebug().noquote().nospace() << kTag << "Connection request ignored: not disconnected.";
        return;
    }
    m_d->m_error = NoError;  // a fresh attempt starts without the last one's error
    m_d->m_errorString.clear();
    ++m_d->m_generation;
    if (m_d->setState(Connecting) && m_d->m_state == Connecting) {
        m_d->startLookup();
    }
}

void MqttTransport::disconnectFromHost() {
    if (m_d->m_state == Disconnected) {
        return;
    }
    if (m_d->m_state == Connected && m_d->m_mosq) {
        // Sends DISCONNECT; the library may report the loss from inside this call,
        // which lands in the event list and is dropped with the attempt.
        mosquitto_disconnect(m_d->m_mosq);
    }
    m_d->endAttempt(NoError);
}

void MqttTransport::closeTransport() {
    if (m_d->m_state == Disconnected) {
        return;
    }
    m_d->endAttempt(TransportInvalid);
}

MqttSubscription* MqttTransport::subscribe(const QString& filter, quint8 qos) {
    if (m_d->m_state != Connected || !m_d->m_mosq || qos > 2) {
        return nullptr;
    }
    const QByteArray topic = filter.toUtf8();
    if (topic.isEmpty() || mosquitto_sub_topic_check(topic.constData()) != MOSQ_ERR_SUCCESS) {
        return nullptr;
    }
    MqttSubscription* existing = m_d->m_subscriptions.value(filter);
    if (existing && existing->qos() == qos) {
        return existing;
    }
    int mid = 0;
    const int rc = mosquitto_subscribe(m_d->m_mosq, &mid, topic.constData(), qos);
    if (m_d->m_writeNotifier && m_d->m_mosq) {
        m_d->m_writeNotifier->setEnabled(mosquitto_want_write(m_d->m_mosq));
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        return nullptr;
    }
    if (existing) {
        existing->deleteLater();
    }
    auto* subscription = new MqttSubscription(filter, qos, this);
    m_d->m_subscriptions.insert(filter, subscription);
    return subscription;
}

qint32 MqttTransport::publish(const QString& topic, const QByteArray& message, quint8 qos,
                              bool retain) {
    if (m_d->m_state != Connected || !m_d->m_mosq || qos > 2) {
        return -1;
    }
    const QByteArray name = topic.toUtf8();
    if (name.isEmpty() || mosquitto_pub_topic_check(name.constData()) != MOSQ_ERR_SUCCESS) {
        return -1;
    }
    int mid = 0;
    const int rc = mosquitto_publish(m_d->m_mosq, &mid, name.constData(), message.size(),
                                     message.constData(), qos, retain);
    if (m_d->m_writeNotifier && m_d->m_mosq) {
        m_d->m_writeNotifier->setEnabled(mosquitto_want_write(m_d->m_mosq));
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        return -1;
    }
    return qos == 0 ? 0 : mid;
}

}  // namespace manager
