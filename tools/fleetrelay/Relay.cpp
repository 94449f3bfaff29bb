#include "Relay.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

namespace fleet {

namespace {

// TLS 1.2 or newer, and for TLS 1.2 only forward-secret AEAD suites (TLS 1.3 has
// no others). The depot's listener pins the same.
const char* const kTlsVersion = "tlsv1.2";
const char* const kCiphers = "ECDHE+AESGCM:ECDHE+CHACHA20";
const char* const kRequests[] = {"/info/get", "/status/get", "/config/get", "/config/set"};
constexpr int kKeepAlive = 60;
constexpr int kQos = 1;
// Reconnection back-off in seconds: the first wait is picked at random in
// [kFirstWait, 2 * kFirstWait] so that a fleet does not come back all at once
// after the depot restarts, then doubles up to kLongestWait.
constexpr int kFirstWait = 2;
constexpr int kLongestWait = 60;

bool isTopicName(const std::string& topic) {
    return !topic.empty() && topic.find_first_of("+# \t") == std::string::npos &&
           topic.front() != '/' && topic.back() != '/';
}

bool parseEndpoint(const std::string& text, int defaultPort, Endpoint* endpoint) {
    const auto colon = text.rfind(':');
    endpoint->host = text.substr(0, colon);
    endpoint->port = defaultPort;
    if (colon != std::string::npos) {
        const std::string port = text.substr(colon + 1);
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != port.npos) {
            return false;
        }
        endpoint->port = std::stoi(port);
    }
    return !endpoint->host.empty() && endpoint->port > 0 && endpoint->port <= 65535;
}

}  // namespace

void log(const std::string& text) {
    // One write per line: the two clients' threads log at the same time.
    std::fprintf(stderr, "[FleetRelay] %s\n", text.c_str());
}

bool RelayConfig::load(const std::string& path, RelayConfig* config, std::string* error) {
    std::ifstream file(path);
    if (!file) {
        *error = "cannot read '" + path + "'";
        return false;
    }
    std::string line;
    int number = 0;
    auto bad = [&](const std::string& why) {
        *error = path + ":" + std::to_string(number) + ": " + why;
        return false;
    };
    while (std::getline(file, line)) {
        ++number;
        std::istringstream words(line);
        std::string key, value, extra;
        words >> key >> value >> extra;
        if (key.empty() || key[0] == '#') {
            continue;
        }
        if (value.empty() || !extra.empty()) {
            return bad("'" + key + "' needs exactly one value");
        }
        // Keys whose value is taken as it stands.
        static const std::map<std::string, std::string RelayConfig::*> plain{
            {"cafile", &RelayConfig::cafile},
            {"certfile", &RelayConfig::certfile},
            {"keyfile", &RelayConfig::keyfile},
            {"depot_username", &RelayConfig::depotUsername},
            {"depot_password", &RelayConfig::depotPassword},
            {"clientid", &RelayConfig::clientId},
            {"local_username", &RelayConfig::localUsername},
            {"local_password", &RelayConfig::localPassword}};
        const auto field = plain.find(key);
        if (field != plain.end()) {
            config->*(field->second) = value;
        } else if (key == "depot" || key == "local") {
            const bool depot = key == "depot";
            if (!parseEndpoint(value, depot ? 8883 : 1883,
                               depot ? &config->depot : &config->local)) {
                return bad("'" + value + "' is not HOST[:PORT]");
            }
        } else if (key == "prefix") {
            if (value.back() != '/' || !isTopicName(value.substr(0, value.size() - 1))) {
                return bad("prefix '" + value + "' must be a topic name ending in /");
            }
            config->prefix = value;
        } else if (key == "ui_base" || key == "out") {
            if (!isTopicName(value)) {
                return bad("'" + value + "' is not a topic name (no wildcards, no / at the ends)");
            }
            (key == "out" ? config->out.emplace_back() : config->uiBase) = value;
        } else {
            return bad("unknown key '" + key + "'");
        }
    }
    if (config->depot.host.empty() || config->cafile.empty() || config->prefix.empty() ||
        config->clientId.empty()) {
        *error = path + ": depot, cafile, prefix and clientid are required";
        return false;
    }
    if (config->certfile.empty() != config->keyfile.empty() ||
        config->certfile.empty() == config->depotUsername.empty()) {
        *error = path + ": give either certfile and keyfile or depot_username";
        return false;
    }
    return true;
}

Relay::Relay(RelayConfig config) : m_config(std::move(config)) {}

Relay::~Relay() {
    stop();
    mosquitto_destroy(m_depot);
    mosquitto_destroy(m_local);
}

bool Relay::start() {
    m_depot = mosquitto_new(m_config.clientId.c_str(), false, this);
    m_local = mosquitto_new(nullptr, true, this);
    if (!m_depot || !m_local) {
        log("cannot create the MQTT clients");
        return false;
    }
    // Each client runs its loop on its own thread and the other thread publishes
    // through it: threaded mode makes such a publication a queued packet that wakes
    // the loop, instead of a write from the wrong thread.
    mosquitto_threaded_set(m_depot, true);
    mosquitto_threaded_set(m_local, true);
    // The local side speaks MQTT 5 for "retain as published": a status the
    // on-board broker holds retained reaches the depot retained too.
    mosquitto_int_option(m_local, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    const std::string down = "0";
    const bool ok =
        mosquitto_tls_set(m_depot, m_config.cafile.c_str(), nullptr,
                          m_config.certfile.empty() ? nullptr : m_config.certfile.c_str(),
                          m_config.keyfile.empty() ? nullptr : m_config.keyfile.c_str(),
                          nullptr) == MOSQ_ERR_SUCCESS &&
        mosquitto_tls_opts_set(m_depot, 1, kTlsVersion, kCiphers) == MOSQ_ERR_SUCCESS &&
        mosquitto_tls_insecure_set(m_depot, false) == MOSQ_ERR_SUCCESS &&
        (m_config.depotUsername.empty() ||
         mosquitto_username_pw_set(m_depot, m_config.depotUsername.c_str(),
                                   m_config.depotPassword.c_str()) == MOSQ_ERR_SUCCESS) &&
        (m_config.localUsername.empty() ||
         mosquitto_username_pw_set(
             m_local, m_config.localUsername.c_str(),
             m_config.localPassword.empty() ? nullptr : m_config.localPassword.c_str()) ==
             MOSQ_ERR_SUCCESS) &&
        // The depot shows "0" on the link state when the link drops.
        mosquitto_will_set(m_depot, stateTopic().c_str(), 1, down.c_str(), kQos, true) ==
            MOSQ_ERR_SUCCESS;
    if (!ok) {
        log("cannot set up TLS or the credentials (are the certificate and key readable?)");
        return false;
    }
    mosquitto_log_callback_set(m_depot, &Relay::onLibraryLog);
    mosquitto_connect_callback_set(m_depot, &Relay::onDepotConnect);
    mosquitto_disconnect_callback_set(m_depot, &Relay::onDepotDisconnect);
    mosquitto_message_callback_set(m_depot, &Relay::onDepotMessage);
    mosquitto_log_callback_set(m_local, &Relay::onLibraryLog);
    mosquitto_connect_callback_set(m_local, &Relay::onLocalConnect);
    mosquitto_disconnect_callback_set(m_local, &Relay::onLocalDisconnect);
    mosquitto_message_callback_set(m_local, &Relay::onLocalMessage);
    m_running = true;
    m_threads.emplace_back(&Relay::run, this, m_local, "on-board broker", m_config.local, nullptr);
    // Requests from the depot have nowhere to go before the on-board broker is there.
    m_threads.emplace_back(&Relay::run, this, m_depot, "depot", m_config.depot, &m_localUp);
    return true;
}

void Relay::stop() {
    if (!m_running.exchange(false)) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_depotUp) {
            mosquitto_publish(m_depot, nullptr, stateTopic().c_str(), 1, "0", kQos, true);
        }
    }
    mosquitto_disconnect(m_depot);
    mosquitto_disconnect(m_local);
    for (std::thread& thread : m_threads) {
        thread.join();
    }
    m_threads.clear();
}

// One client's life: connect, serve until the connection ends, wait, connect
// again, until stop(). libmosquitto's own loop_forever() gives up for good on a
// TLS or protocol error, which is exactly what a revoked certificate or a broken
// depot produce, so the relay runs the loop itself.
void Relay::run(mosquitto* client, const char* name, Endpoint endpoint,
                const std::atomic<bool>* waitFor) {
    std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<int> firstWait(kFirstWait, 2 * kFirstWait);
    int wait = firstWait(random);
    bool first = true;
    while (m_running) {
        if (waitFor && !*waitFor) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        int rc = first ? mosquitto_connect_async(client, endpoint.host.c_str(), endpoint.port,
                                                 kKeepAlive)
                       : mosquitto_reconnect_async(client);
        first = false;
        const auto since = std::chrono::steady_clock::now();
        // After stop() a last second or two to send the goodbye and DISCONNECT.
        int grace = 4;
        while (rc == MOSQ_ERR_SUCCESS && (m_running || grace-- > 0)) {
            rc = mosquitto_loop(client, 500, 1);
        }
        const int error = errno;
        if (!m_running) {
            break;
        }
        // A connection that lasted resets the back-off.
        if (std::chrono::steady_clock::now() - since > std::chrono::seconds(kLongestWait)) {
            wait = firstWait(random);
        }
        log(std::string(name) + " " + endpoint.host + ":" + std::to_string(endpoint.port) +
            " not connected (" +
            (rc == MOSQ_ERR_ERRNO ? std::strerror(error) : mosquitto_strerror(rc)) +
            "), trying again in " + std::to_string(wait) + " s");
        for (int tenths = 0; tenths < wait * 10 && m_running; ++tenths) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        wait = std::min(2 * wait, kLongestWait);
    }
}

std::string Relay::admit(const std::string& topic, bool retain, int size, std::string* why) const {
    const std::string base = m_config.prefix + m_config.uiBase;
    if (topic.compare(0, base.size(), base) == 0) {
        for (const char* request : kRequests) {
            if (topic.compare(base.size(), std::string::npos, request) != 0) {
                continue;
            }
            if (retain) {
                *why = "retained (a request is never stored)";
            } else if (size > kMaxPayload) {
                *why =
                    std::to_string(size) + " bytes (at most " + std::to_string(kMaxPayload) + ")";
            } else {
                return m_config.uiBase + request;
            }
            return {};
        }
    }
    *why = "not one of the UI's four requests";
    return {};
}

void Relay::publishOut(const std::string& topic, const std::string& payload, bool retain) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (retain && payload.empty()) {
        m_retained.erase(topic);
    } else if (retain) {
        m_retained[topic] = payload;
    }
    if (m_depotUp) {
        mosquitto_publish(m_depot, nullptr, (m_config.prefix + topic).c_str(), int(payload.size()),
                          payload.data(), kQos, retain);
    }
}

void Relay::onDepotConnect(mosquitto* client, void* self, int rc) {
    auto* relay = static_cast<Relay*>(self);
    if (rc != 0) {
        log("the depot refused the connection: " + std::string(mosquitto_connack_string(rc)));
        return;
    }
    log("connected to the depot as " + relay->m_config.clientId);
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
    std::lock_guard<std::mutex> lock(relay->m_mutex);
    if (relay->m_depotUp) {
        log("disconnected from the depot (" + std::string(mosquitto_strerror(rc)) + ")");
    }
    relay->m_depotUp = false;
}

void Relay::onDepotMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* relay = static_cast<Relay*>(self);
    std::string why;
    const std::string local =
        relay->admit(message->topic, message->retain, message->payloadlen, &why);
    if (local.empty()) {
        relay->logDrop(message->topic, why);
        return;
    }
    if (mosquitto_publish(relay->m_local, nullptr, local.c_str(), message->payloadlen,
                          message->payload, kQos, false) != MOSQ_ERR_SUCCESS) {
        log("lost a request from the depot on '" + local + "': the on-board broker is away");
    }
}

void Relay::logDrop(const std::string& topic, const std::string& why) {
    constexpr int kDropsLogged = 20;  // a minute
    const auto now = std::chrono::steady_clock::now();
    if (now - m_dropMinute > std::chrono::minutes(1)) {
        if (m_drops > kDropsLogged) {
            log(std::to_string(m_drops - kDropsLogged) + " more messages from the depot dropped");
        }
        m_dropMinute = now;
        m_drops = 0;
    }
    if (++m_drops <= kDropsLogged) {
        log("dropped from the depot: '" + topic + "': " + why);
    }
}

void Relay::onLocalConnect(mosquitto* client, void* self, int rc) {
    auto* relay = static_cast<Relay*>(self);
    if (rc != 0) {
        log("the on-board broker refused the connection: " +
            std::string(mosquitto_reason_string(rc)));
        return;
    }
    log("connected to the on-board broker");
    relay->m_localUp = true;
    for (const std::string& topic : relay->m_config.out) {
        mosquitto_subscribe_v5(client, nullptr, topic.c_str(), kQos,
                               MQTT_SUB_OPT_RETAIN_AS_PUBLISHED, nullptr);
    }
}

void Relay::onLocalDisconnect(mosquitto*, void* self, int rc) {
    static_cast<Relay*>(self)->m_localUp = false;
    if (rc != 0) {
        log("disconnected from the on-board broker (" + std::string(mosquitto_strerror(rc)) + ")");
    }
}

void Relay::onLocalMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* relay = static_cast<Relay*>(self);
    if (message->payloadlen > kMaxPayload) {
        log("dropped for the depot: '" + std::string(message->topic) +
            "': " + std::to_string(message->payloadlen) + " bytes");
        return;
    }
    const char* bytes = static_cast<const char*>(message->payload);
    relay->publishOut(message->topic, std::string(bytes, bytes + message->payloadlen),
                      message->retain);
}

void Relay::onLibraryLog(mosquitto*, void*, int level, const char* text) {
    if (level & (MOSQ_LOG_ERR | MOSQ_LOG_WARNING)) {
        log(text);
    }
}

}  // namespace fleet
