#include "Relay.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace fleet {

namespace {

// TLS 1.2 or newer, and for TLS 1.2 only forward-secret AEAD suites (TLS 1.3 has
// no others). The depot's listener pins the same.
const char* const kTlsVersion = "tlsv1.2";
const char* const kCiphers = "ECDHE+AESGCM:ECDHE+CHACHA20";
const char* const kRequests[] = {"/info/get", "/status/get", "/config/get", "/config/set"};
constexpr int kKeepAlive = 60;
constexpr int kQos = 1;
// A connection that has not been accepted by then is given up and tried again on
// the back-off; one that lasted this long resets the back-off.
constexpr auto kConnectTimeout = std::chrono::seconds(20);
constexpr auto kLasting = std::chrono::seconds(60);
// While a connection is being set up the loop takes at least this long a round, so
// that a socket the library keeps waking on cannot make it spin.
constexpr auto kSetUpRound = std::chrono::milliseconds(50);

// The secret that keys the masks of this vehicle: its private key, or its depot
// password. Neither leaves the bus, so the depot cannot recompute a mask.
std::string maskKey(const RelayConfig& config) {
    std::string material = "quellan-fleet-relay mask\n";
    if (!config.keyfile.empty()) {
        std::ifstream key(config.keyfile, std::ios::binary);
        material.append(std::istreambuf_iterator<char>(key), std::istreambuf_iterator<char>());
    } else {
        material += config.depotPassword;
    }
    return material;
}

// False, with *why set, when the socket of a connection being set up has failed.
bool connecting(int socket, std::string* why) {
    if (socket < 0) {
        *why = "the connection was closed";
        return false;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error != 0) {
        *why = std::strerror(error);
        return false;
    }
    tcp_info info{};
    length = sizeof info;
    if (getsockopt(socket, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 &&
        info.tcpi_state == TCP_CLOSE) {
        *why = "the connection was refused or closed";
        return false;
    }
    return true;
}

}  // namespace

void log(const std::string& text) {
    // One write per line: the two clients' threads log at the same time.
    std::fprintf(stderr, "[FleetRelay] %s\n", text.c_str());
}

int Backoff::next() {
    m_wait = m_wait == 0 ? std::uniform_int_distribution<int>(kFirstWait, 2 * kFirstWait)(m_random)
                         : std::min(2 * m_wait, kLongestWait);
    return m_wait;
}

bool LogBudget::take(std::size_t size, std::chrono::steady_clock::time_point now, int* suppressed) {
    *suppressed = 0;
    if (now - m_minute >= std::chrono::minutes(1)) {
        *suppressed = m_held;
        m_minute = now;
        m_linesUsed = 0;
        m_bytesUsed = 0;
        m_held = 0;
    }
    if (m_linesUsed >= m_lines || m_bytesUsed + size > m_bytes) {
        ++m_held;
        return false;
    }
    ++m_linesUsed;
    m_bytesUsed += size;
    return true;
}

Relay::Relay(RelayConfig config)
    : m_config(std::move(config)),
      m_filter(m_config.prefix, m_config.uiBase, m_config.allow),
      m_mask(maskKey(m_config)) {
    m_depot.name = "depot";
    m_depot.endpoints = m_config.depots;
    m_depot.waitFor = &m_localUp;  // requests have nowhere to go before the local broker
    m_local.name = "on-board broker";
    m_local.endpoints = {m_config.local};
}

Relay::~Relay() {
    stop();
    mosquitto_destroy(m_depot.client);
    mosquitto_destroy(m_local.client);
    if (m_deadSocket >= 0) {
        ::close(m_deadSocket);
    }
}

bool Relay::start() {
    if (m_config.allow.empty()) {
        log("no 'allow' line: the depot may set nothing in the UI's configuration");
    }
    // An unconnected socket: reading it fails at once.
    m_deadSocket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_deadSocket < 0) {
        log(std::string("cannot make a socket: ") + std::strerror(errno));
        return false;
    }
    m_depot.client = mosquitto_new(m_config.clientId.c_str(), false, this);
    m_local.client = mosquitto_new(nullptr, true, this);
    if (!m_depot.client || !m_local.client) {
        log("cannot create the MQTT clients");
        return false;
    }
    if (!setUpDepot() || !setUpLocal()) {
        return false;
    }
    m_running = true;
    m_threads.emplace_back(&Relay::run, this, &m_local);
    m_threads.emplace_back(&Relay::run, this, &m_depot);
    return true;
}

bool Relay::setUpDepot() {
    mosquitto* client = m_depot.client;
    // Each client runs its loop on its own thread and the other thread publishes
    // through it: threaded mode makes such a publication a queued packet that wakes
    // the loop, instead of a write from the wrong thread.
    mosquitto_threaded_set(client, true);
    // A request and its answer are one small packet each: without this, Nagle's
    // algorithm and the depot's delayed acknowledgement add 40 ms to each.
    mosquitto_int_option(client, MOSQ_OPT_TCP_NODELAY, 1);
    // Our own TLS context, on which the library sets the CA, the certificate and the
    // suites as usual, for what it has no option for: the depot's certificate must be
    // meant for a server, and the depot's packets are bounded while they are read.
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (!context) {
        log("cannot create the TLS context");
        return false;
    }
    SSL_CTX_set_cert_verify_callback(context, &Relay::verifyDepot, this);
    SSL_CTX_set_msg_callback(context, &Relay::onTlsRecord);
    SSL_CTX_set_msg_callback_arg(context, this);
    const int shared = mosquitto_void_option(client, MOSQ_OPT_SSL_CTX, context);
    SSL_CTX_free(context);  // the client holds its own reference
    if (shared != MOSQ_ERR_SUCCESS ||
        mosquitto_int_option(client, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 1) != MOSQ_ERR_SUCCESS) {
        log("cannot hand the TLS context to the depot's client");
        return false;
    }
    const char* cert = m_config.certfile.empty() ? nullptr : m_config.certfile.c_str();
    const char* key = m_config.keyfile.empty() ? nullptr : m_config.keyfile.c_str();
    int rc = mosquitto_tls_set(client, m_config.cafile.c_str(), nullptr, cert, key, nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
        log("cannot use the CA '" + m_config.cafile + "'" +
            (cert ? ", the certificate '" + m_config.certfile + "' or the key '" +
                        m_config.keyfile + "'"
                  : std::string()) +
            ": " + mosquitto_strerror(rc) + " (are they there and readable?)");
        return false;
    }
    if (mosquitto_tls_opts_set(client, 1, kTlsVersion, kCiphers) != MOSQ_ERR_SUCCESS ||
        mosquitto_tls_insecure_set(client, false) != MOSQ_ERR_SUCCESS) {
        log("cannot pin TLS to " + std::string(kTlsVersion) + " with " + kCiphers);
        return false;
    }
    if (!m_config.depotUsername.empty() &&
        mosquitto_username_pw_set(client, m_config.depotUsername.c_str(),
                                  m_config.depotPassword.c_str()) != MOSQ_ERR_SUCCESS) {
        log("cannot set the depot user name and password");
        return false;
    }
    // The depot shows "0" on the link state when the link drops.
    if (mosquitto_will_set(client, stateTopic().c_str(), 1, "0", kQos, true) != MOSQ_ERR_SUCCESS) {
        log("cannot set the will on '" + stateTopic() + "'");
        return false;
    }
    mosquitto_log_callback_set(client, &Relay::onLibraryLog);
    mosquitto_connect_callback_set(client, &Relay::onDepotConnect);
    mosquitto_disconnect_callback_set(client, &Relay::onDepotDisconnect);
    mosquitto_message_callback_set(client, &Relay::onDepotMessage);
    mosquitto_subscribe_callback_set(client, &Relay::onDepotSubscribed);
    mosquitto_publish_callback_set(client, &Relay::onDepotPublished);
    return true;
}

bool Relay::setUpLocal() {
    mosquitto* client = m_local.client;
    mosquitto_threaded_set(client, true);
    // The local side speaks MQTT 5 for "retain as published": a status the
    // on-board broker holds retained reaches the depot retained too.
    mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    if (!m_config.localUsername.empty() &&
        mosquitto_username_pw_set(
            client, m_config.localUsername.c_str(),
            m_config.localPassword.empty() ? nullptr : m_config.localPassword.c_str()) !=
            MOSQ_ERR_SUCCESS) {
        log("cannot set the on-board broker's user name and password");
        return false;
    }
    mosquitto_log_callback_set(client, &Relay::onLibraryLog);
    mosquitto_connect_callback_set(client, &Relay::onLocalConnect);
    mosquitto_disconnect_callback_set(client, &Relay::onLocalDisconnect);
    mosquitto_message_callback_set(client, &Relay::onLocalMessage);
    return true;
}

void Relay::stop() {
    if (!m_running.exchange(false)) {
        return;
    }
    {
        // Wakes a side that waits out its back-off.
        std::lock_guard<std::mutex> lock(m_waitMutex);
        m_stopping.notify_all();
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_depotUp) {
            mosquitto_publish(m_depot.client, nullptr, stateTopic().c_str(), 1, "0", kQos, true);
        }
    }
    mosquitto_disconnect(m_depot.client);
    mosquitto_disconnect(m_local.client);
    for (std::thread& thread : m_threads) {
        thread.join();
    }
    m_threads.clear();
}

// One client's life: connect, serve until the connection ends, wait, connect again
// (to the next address, if there are several), until stop(). libmosquitto's own
// loop_forever() gives up for good on a TLS or protocol error, which is exactly
// what a revoked certificate or a broken depot produce, so the relay runs the loop
// itself; and it ends an attempt as soon as a callback says the connection was
// refused or lost, rather than trusting the loop's return code, which stays a
// success on some refusals.
void Relay::run(Side* side) {
    Backoff backoff{std::random_device{}()};
    std::size_t next = 0;
    while (m_running) {
        if (side->waitFor && !*side->waitFor) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        const Endpoint& endpoint = side->endpoints[next];
        next = (next + 1) % side->endpoints.size();
        side->why.clear();
        side->link = Link::Connecting;
        if (side == &m_depot) {
            // Before the call: on loopback the handshake may finish inside it.
            m_depotHost = endpoint.host;
            m_depotPending = 0;
        }
        int rc =
            mosquitto_connect_async(side->client, endpoint.host.c_str(), endpoint.port, kKeepAlive);
        const auto attempt = std::chrono::steady_clock::now();
        auto upSince = attempt;
        bool wasUp = false;
        // After stop() a last second or two to send the goodbye and DISCONNECT.
        int grace = 4;
        while (rc == MOSQ_ERR_SUCCESS && (m_running || grace-- > 0)) {
            const auto round = std::chrono::steady_clock::now();
            rc = mosquitto_loop(side->client, 1000, 1);
            const Link link = side->link;
            if (link == Link::Up && !wasUp) {
                wasUp = true;
                upSince = std::chrono::steady_clock::now();
            }
            if (!m_running || rc != MOSQ_ERR_SUCCESS) {
                continue;
            }
            if (link == Link::Down) {
                break;
            }
            if (link == Link::Connecting) {
                // A refused or unreachable address shows only on the socket: the
                // library goes on waking on it without a word.
                std::string why;
                if (!connecting(mosquitto_socket(side->client), &why)) {
                    // One more round lets the library read what the peer said before
                    // it went (a TLS alert: revoked, expired), and say it.
                    rc = mosquitto_loop(side->client, 100, 1);
                    if (side->why.empty() && rc == MOSQ_ERR_SUCCESS) {
                        side->why = why;
                    }
                    break;
                }
                if (round - attempt > kConnectTimeout) {
                    side->why = "no answer in " + std::to_string(kConnectTimeout.count()) + " s";
                    break;
                }
                std::this_thread::sleep_until(round + kSetUpRound);
            }
        }
        const int error = errno;
        if (!m_running) {
            break;
        }
        // Closes the socket of an attempt that is still open (timed out, refused).
        mosquitto_disconnect(side->client);
        side->link = Link::Down;
        if (wasUp && std::chrono::steady_clock::now() - upSince >= kLasting) {
            backoff.reset();
        }
        std::string why = side->why;
        if (why.empty()) {
            why = rc == MOSQ_ERR_ERRNO ? std::strerror(error) : mosquitto_strerror(rc);
        }
        const int wait = backoff.next();
        log(std::string(side->name) + " " + endpoint.host + ":" + std::to_string(endpoint.port) +
            " not connected (" + why + "), trying again in " + std::to_string(wait) + " s");
        // Asleep until the wait is over or stop(): a peer that is away costs no
        // wake-ups (on a slow board each one shows in the CPU figure).
        std::unique_lock<std::mutex> lock(m_waitMutex);
        m_stopping.wait_for(lock, std::chrono::seconds(wait), [this] { return !m_running; });
    }
}

void Relay::publishOut(const std::string& topic, const std::string& payload, bool retain) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (retain && payload.empty()) {
        m_retained.erase(topic);
    } else if (retain) {
        m_retained[topic] = payload;
    }
    if (m_depotUp) {
        mosquitto_publish(m_depot.client, nullptr, (m_config.prefix + topic).c_str(),
                          int(payload.size()), payload.data(), kQos, retain);
    }
}

void Relay::onDepotConnect(mosquitto* client, void* self, int rc) {
    auto* relay = static_cast<Relay*>(self);
    relay->m_depotPending = 0;
    if (rc != 0) {
        relay->m_depot.why =
            "the depot refused the connection: " + std::string(mosquitto_connack_string(rc));
        relay->m_depot.link = Link::Down;
        return;
    }
    log("connected to the depot as " + relay->m_config.clientId);
    relay->m_depot.link = Link::Up;
    std::lock_guard<std::mutex> lock(relay->m_mutex);
    relay->m_depotUp = true;
    mosquitto_publish(client, nullptr, relay->stateTopic().c_str(), 1, "1", kQos, true);
    for (const char* request : kRequests) {
        const std::string topic = relay->m_config.prefix + relay->m_config.uiBase + request;
        mosquitto_subscribe(client, nullptr, topic.c_str(), kQos);
    }
    for (const auto& [topic, payload] : relay->m_retained) {
        mosquitto_publish(client, nullptr, (relay->m_config.prefix + topic).c_str(),
                          int(payload.size()), payload.data(), kQos, true);
    }
}

void Relay::onDepotDisconnect(mosquitto*, void* self, int rc) {
    auto* relay = static_cast<Relay*>(self);
    relay->m_depot.link = Link::Down;
    std::lock_guard<std::mutex> lock(relay->m_mutex);
    if (relay->m_depotUp) {
        log("disconnected from the depot (" + std::string(mosquitto_strerror(rc)) + ")");
    }
    relay->m_depotUp = false;
}

void Relay::onDepotMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* relay = static_cast<Relay*>(self);
    relay->m_depotPending = 0;
    const char* bytes = static_cast<const char*>(message->payload);
    const std::string payload(bytes, bytes + message->payloadlen);
    std::string local, forward, why;
    if (!relay->m_filter.admit(message->topic, message->retain, payload, &local, &forward, &why)) {
        relay->logDrop("dropped from the depot: '" + loggableText(message->topic) + "': " + why);
        return;
    }
    if (mosquitto_publish(relay->m_local.client, nullptr, local.c_str(), int(forward.size()),
                          forward.data(), kQos, false) != MOSQ_ERR_SUCCESS) {
        log("lost a request from the depot on '" + local + "': the on-board broker is away");
    }
}

// Acknowledgements of our subscriptions and publications: whole packets, too. A
// request subscription the depot refused (a clustered depot that timed out, a
// wrong ACL) would leave the link up but deaf: the link is dropped and tried again.
void Relay::onDepotSubscribed(mosquitto*, void* self, int, int count, const int* granted) {
    auto* relay = static_cast<Relay*>(self);
    relay->m_depotPending = 0;
    for (int i = 0; i < count; ++i) {
        if (granted[i] >= 0x80) {
            relay->m_depot.why = "the depot refused a subscription to the requests";
            relay->m_depot.link = Link::Down;
        }
    }
}

void Relay::onDepotPublished(mosquitto*, void* self, int) {
    static_cast<Relay*>(self)->m_depotPending = 0;
}

void Relay::logDrop(const std::string& text) {
    int suppressed = 0;
    const bool logged = m_dropLog.take(text.size(), std::chrono::steady_clock::now(), &suppressed);
    if (suppressed > 0) {
        log(std::to_string(suppressed) + " more messages from the depot dropped");
    }
    if (logged) {
        log(text);
    }
}

// Every TLS record the depot sends is announced here before its body is read.
// libmosquitto allocates and reads a whole packet of whatever size the depot
// announces (up to 256 MB) before the relay sees any of it, and has no limit of
// its own for a client; counting the records between two whole packets is the one
// place where an oversized packet shows while it is being read. Past the limit the
// depot's socket is swapped for one that reads nothing, so the library's next read
// fails and it drops the connection and the partial packet.
void Relay::onTlsRecord(int outgoing, int, int type, const void* bytes, std::size_t size,
                        ssl_st* ssl, void* self) {
    const auto* header = static_cast<const unsigned char*>(bytes);
    if (outgoing || type != SSL3_RT_HEADER || size < 5 || header[0] != SSL3_RT_APPLICATION_DATA) {
        return;
    }
    auto* relay = static_cast<Relay*>(self);
    relay->m_depotPending += std::size_t(header[3]) << 8 | header[4];
    if (relay->m_depotPending <= kMaxPacketBytes) {
        return;
    }
    relay->m_depotPending = 0;
    relay->m_depot.why = "the depot sent more than " + std::to_string(kMaxPacketBytes) +
                         " bytes in one packet; connection cut";
    ::dup2(relay->m_deadSocket, SSL_get_fd(ssl));
}

// The whole check of the depot's certificate: the chain to the fleet's CA, the name
// or address the relay connects to, a server's purpose, and that the certificate
// says it is a server's at all: one without a purpose (as a vehicle's or a tool's
// certificate made by hand) cannot pose as the depot, whatever name it carries.
// libmosquitto's own per-certificate callback is taken out: with a context of our
// own it finds no state of its own in libmosquitto 2.0 and refuses every depot.
int Relay::verifyDepot(x509_store_ctx_st* store, void* self) {
    auto* relay = static_cast<Relay*>(self);
    std::string& why = relay->m_depot.why;
    X509_STORE_CTX_set_verify_cb(store, [](int ok, X509_STORE_CTX*) { return ok; });
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(store);
    const char* host = relay->m_depotHost.c_str();
    if (X509_VERIFY_PARAM_set1_ip_asc(param, host) != 1 &&
        X509_VERIFY_PARAM_set1_host(param, host, 0) != 1) {
        why = "cannot check the depot's name";
        return 0;
    }
    if (X509_verify_cert(store) <= 0) {
        why = std::string("the depot's certificate: ") +
              X509_verify_cert_error_string(X509_STORE_CTX_get_error(store));
        return 0;
    }
    X509* depot = X509_STORE_CTX_get0_cert(store);
    if (!(X509_get_extension_flags(depot) & EXFLAG_XKUSAGE) ||
        !(X509_get_extended_key_usage(depot) & XKU_SSL_SERVER)) {
        X509_STORE_CTX_set_error(store, X509_V_ERR_INVALID_PURPOSE);
        why = "the depot's certificate is not a server's (no serverAuth)";
        return 0;
    }
    return 1;
}

void Relay::onLocalConnect(mosquitto* client, void* self, int rc) {
    auto* relay = static_cast<Relay*>(self);
    if (rc != 0) {
        relay->m_local.why = "the on-board broker refused the connection: " +
                             std::string(mosquitto_reason_string(rc));
        relay->m_local.link = Link::Down;
        return;
    }
    log("connected to the on-board broker");
    relay->m_local.link = Link::Up;
    relay->m_localUp = true;
    for (const std::string& topic : relay->m_config.out) {
        mosquitto_subscribe_v5(client, nullptr, topic.c_str(), kQos,
                               MQTT_SUB_OPT_RETAIN_AS_PUBLISHED, nullptr);
    }
}

void Relay::onLocalDisconnect(mosquitto*, void* self, int rc) {
    auto* relay = static_cast<Relay*>(self);
    relay->m_local.link = Link::Down;
    relay->m_localUp = false;
    if (rc != 0) {
        log("disconnected from the on-board broker (" + std::string(mosquitto_strerror(rc)) + ")");
    }
}

void Relay::onLocalMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* relay = static_cast<Relay*>(self);
    if (message->payloadlen > DepotFilter::kMaxPayload) {
        log("dropped for the depot: '" + loggableText(message->topic) +
            "': " + std::to_string(message->payloadlen) + " bytes");
        return;
    }
    const char* bytes = static_cast<const char*>(message->payload);
    relay->publishOut(message->topic,
                      relay->m_mask.apply(std::string(bytes, bytes + message->payloadlen)),
                      message->retain);
}

void Relay::onLibraryLog(mosquitto*, void*, int level, const char* text) {
    if (level & (MOSQ_LOG_ERR | MOSQ_LOG_WARNING)) {
        log(text);
    }
}

}  // namespace fleet
