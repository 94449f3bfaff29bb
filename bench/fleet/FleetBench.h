// Shared by the fleet emulator and its probes: names, addresses, clocks, TLS set-up.
#pragma once

#include <mosquitto.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace fleetbench {

// Vehicle i of a run is "K" and 8 digits, from the first serial number on.
inline std::string vehicleName(long first, long i) {
    char name[16];
    std::snprintf(name, sizeof name, "K%08ld", first + i);
    return name;
}

struct Endpoint {
    std::string host;
    int port = 8883;
};

// "HOST[:PORT]" on loopback only: the benchmarks never leave 127.0.0.0/8.
inline bool parseEndpoint(const std::string& text, Endpoint* endpoint) {
    const auto colon = text.rfind(':');
    endpoint->host = text.substr(0, colon);
    if (colon != std::string::npos) {
        endpoint->port = std::atoi(text.c_str() + colon + 1);
    }
    return endpoint->host.rfind("127.", 0) == 0 && endpoint->port > 0 && endpoint->port < 65536;
}

inline double monotonic() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline double wallclock() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The relay's TLS: the fleet's CA, the client's own certificate, TLS 1.2 with
// forward-secret AEAD suites or TLS 1.3, the depot's name checked.
inline bool setTls(mosquitto* client, const std::string& dir, const std::string& name) {
    const std::string ca = dir + "/ca.crt", crt = dir + "/" + name + ".crt",
                      key = dir + "/" + name + ".key";
    return mosquitto_tls_set(client, ca.c_str(), nullptr, crt.c_str(), key.c_str(), nullptr) ==
               MOSQ_ERR_SUCCESS &&
           mosquitto_tls_opts_set(client, 1, "tlsv1.2", "ECDHE+AESGCM:ECDHE+CHACHA20") ==
               MOSQ_ERR_SUCCESS &&
           mosquitto_tls_insecure_set(client, false) == MOSQ_ERR_SUCCESS;
}

// The statuses a vehicle keeps retained at the depot (what the relay carries out with
// the retain flag) and the monitor reads.
inline const std::vector<std::string>& retainedSuffixes() {
    static const std::vector<std::string> suffixes{"bridge/state", "zorv/ui/status",
                                                   "zorv/blm/status", "zorv/board/status"};
    return suffixes;
}

}  // namespace fleetbench
