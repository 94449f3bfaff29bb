// The validator's link to the depot: one MQTT client on the depot broker (TLS, the
// validator's certificate) and one on the on-board broker (its own user under the
// on-board ACL). Out to the depot go the configured status topics, under the
// validator's prefix, with their retain flag and their secrets masked. In from the
// depot comes nothing but the UI's four requests under that prefix (DepotFilter).
// A depot that is down, refuses or misbehaves costs the bus next to nothing: each
// side waits on a back-off between attempts, and nothing the depot sends sets the
// relay's memory or the size of its log.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "DepotFilter.h"
#include "RelayConfig.h"

struct mosquitto;
struct mosquitto_message;
struct ssl_st;
struct x509_store_ctx_st;

namespace fleet {

// The wait before the next connection attempt: the first one picked at random in
// [2, 4] s, so that a fleet does not come back all at once after the depot
// restarts, then doubling up to 60 s; back to the start only after a connection
// that lasted.
class Backoff {
public:
    static constexpr int kFirstWait = 2;
    static constexpr int kLongestWait = 60;

    explicit Backoff(unsigned seed) : m_random(seed) {}
    int next();
    void reset() { m_wait = 0; }

private:
    std::mt19937 m_random;
    int m_wait = 0;
};

// Lines and bytes that may go to the journal per minute for what a peer sends:
// a flood is counted, not written.
class LogBudget {
public:
    LogBudget(int lines, std::size_t bytes) : m_lines(lines), m_bytes(bytes) {}
    // True when a line of this size may be written now. A new minute hands back in
    // *suppressed how many lines the last one held back.
    bool take(std::size_t size, std::chrono::steady_clock::time_point now, int* suppressed);

private:
    int m_lines;
    std::size_t m_bytes;
    std::chrono::steady_clock::time_point m_minute;
    int m_linesUsed = 0;
    std::size_t m_bytesUsed = 0;
    int m_held = 0;
};

class Relay {
public:
    // Bytes the depot may send without completing a packet: the largest packet it
    // has reason to send (a request of kMaxPayload with a long topic) and some.
    static constexpr std::size_t kMaxPacketBytes = 3 * DepotFilter::kMaxPayload;

    explicit Relay(RelayConfig config);
    ~Relay();
    Relay(const Relay&) = delete;
    Relay& operator=(const Relay&) = delete;

    // Sets both connections up and starts them on their own threads; they reconnect
    // by themselves. False, after logging what failed, when one cannot be set up.
    bool start();
    // Says "0" on the link state, then disconnects both.
    void stop();

private:
    enum class Link { Down, Connecting, Up };
    struct Side {
        mosquitto* client = nullptr;
        const char* name = "";
        std::vector<Endpoint> endpoints;
        const std::atomic<bool>* waitFor = nullptr;
        std::atomic<Link> link{Link::Down};
        std::string why;  // the last failure, said by a callback (the side's thread)
    };

    bool setUpDepot();
    bool setUpLocal();
    static void onDepotConnect(mosquitto*, void* self, int rc);
    static void onDepotDisconnect(mosquitto*, void* self, int rc);
    static void onDepotMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void onDepotSubscribed(mosquitto*, void* self, int, int, const int*);
    static void onDepotPublished(mosquitto*, void* self, int);
    static void onLocalConnect(mosquitto*, void* self, int rc);
    static void onLocalDisconnect(mosquitto*, void* self, int rc);
    static void onLocalMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void onLibraryLog(mosquitto*, void* self, int level, const char* text);
    static void onTlsRecord(int outgoing, int version, int type, const void* bytes,
                            std::size_t size, ssl_st* ssl, void* self);
    static int verifyDepot(x509_store_ctx_st* store, void* self);

    void run(Side* side);
    void logDrop(const std::string& text);
    std::string stateTopic() const { return m_config.prefix + "bridge/state"; }
    void publishOut(const std::string& topic, const std::string& payload, bool retain);

    RelayConfig m_config;
    DepotFilter m_filter;
    SecretMask m_mask;
    Side m_depot;
    Side m_local;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_localUp{false};
    std::vector<std::thread> m_threads;
    std::mutex m_waitMutex;
    std::condition_variable m_stopping;
    std::mutex m_mutex;  // guards the two members below (the clients' threads)
    bool m_depotUp = false;
    // The latest retained message of each outgoing topic, sent again on every
    // connection to the depot, so a depot that lost its store has them back.
    std::map<std::string, std::string> m_retained;
    // The depot's thread only: what a rogue depot makes us log, and the bytes it has
    // sent since its last whole packet.
    LogBudget m_dropLog{20, 4096};
    std::size_t m_depotPending = 0;
    std::string m_depotHost;  // the name or address being connected to
    // A socket that reads nothing, put in place of the depot's when it must be cut.
    int m_deadSocket = -1;
};

void log(const std::string& text);

}  // namespace fleet
