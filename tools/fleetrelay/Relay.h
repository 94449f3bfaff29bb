// The validator's link to the depot: one MQTT client on the depot broker (TLS, the
// validator's certificate) and one on the on-board broker (its own user under the
// on-board ACL). Out to the depot go the configured status topics, under the
// validator's prefix, with their retain flag. In from the depot comes nothing but
// the UI's four requests under that prefix, never retained, whatever the depot sends.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace fleet {

struct Endpoint {
    std::string host;
    int port = 0;
};

struct RelayConfig {
    Endpoint depot;             // TLS only
    std::string cafile;         // CA(s) that signed the depot's certificate
    std::string certfile;       // this validator's certificate (CN = serial number)
    std::string keyfile;        // and its key
    std::string depotUsername;  // or a user name and password at the depot
    std::string depotPassword;
    std::string clientId;  // the serial number
    std::string prefix;    // "fleet/SERIAL/"
    Endpoint local{"localhost", 1883};
    std::string localUsername;
    std::string localPassword;
    std::string uiBase = "zorv/ui";
    std::vector<std::string> out;  // local topics carried to the depot

    // Reads "key value" lines ('#' starts a comment). False with *error set on an
    // unknown key, a bad value or a missing required key.
    static bool load(const std::string& path, RelayConfig* config, std::string* error);
};

class Relay {
public:
    // Payloads above this many bytes are dropped in both directions: the largest
    // message carried (the UI's whole configuration) is about one kilobyte.
    static constexpr int kMaxPayload = 64 * 1024;

    explicit Relay(RelayConfig config);
    ~Relay();
    Relay(const Relay&) = delete;
    Relay& operator=(const Relay&) = delete;

    // Starts both connections on their own threads; they reconnect by themselves.
    bool start();
    // Says "0" on the link state, then disconnects both.
    void stop();

    // The local topic a message from the depot may be republished on, or "" when it
    // must be dropped (*why then says why).
    std::string admit(const std::string& topic, bool retain, int size, std::string* why) const;

private:
    static void onDepotConnect(mosquitto*, void* self, int rc);
    static void onDepotDisconnect(mosquitto*, void* self, int rc);
    static void onDepotMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void onLocalConnect(mosquitto*, void* self, int rc);
    static void onLocalDisconnect(mosquitto*, void* self, int rc);
    static void onLocalMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void onLibraryLog(mosquitto*, void* self, int level, const char* text);

    void run(mosquitto* client, const char* name, Endpoint endpoint,
             const std::atomic<bool>* waitFor);
    void logDrop(const std::string& topic, const std::string& why);
    std::string stateTopic() const { return m_config.prefix + "bridge/state"; }
    void publishOut(const std::string& topic, const std::string& payload, bool retain);

    RelayConfig m_config;
    mosquitto* m_depot = nullptr;
    mosquitto* m_local = nullptr;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_localUp{false};
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;  // guards the two members below (the clients' threads)
    bool m_depotUp = false;
    // Drops logged in the current minute (the depot's thread only): a flood from a
    // rogue depot must not fill the board's journal.
    std::chrono::steady_clock::time_point m_dropMinute;
    int m_drops = 0;
    // The latest retained message of each outgoing topic, sent again on every
    // connection to the depot, so a depot that lost its store has them back.
    std::map<std::string, std::string> m_retained;
};

void log(const std::string& text);

}  // namespace fleet
