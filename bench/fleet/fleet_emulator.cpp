// A fleet on one machine: N vehicle links to a depot, each behaving as the relay
// (relay/) does on a bus, all driven by one poll loop over every socket.
//
//   fleet_emulator --certs DIR --count N [--first 20000001] [--depot 127.0.0.1:8883]...
//                  [--duration 120] [--every 1] [--spread SECONDS] [--nodelay]
//                  [--certs-only]
//
// Each link: its own certificate from the fleet's CA (made in DIR on first use, with
// the CA, the depot's certificate and the depot tools' own, and kept there), client
// id = its name, a persistent session, the will "0" retained on bridge/state, "1"
// there on connect, the UI's four requests subscribed, its statuses published
// retained, the answers to requests as the UI gives them (/info/get -> /info,
// /status/get -> /status retained, /config/get -> /config), everything at QoS 1.
// Reconnection as the relay: a random first wait of 2 to 4 s, doubling up to 60 s,
// reset after a connection that lasted 60 s; with several --depot addresses a link
// moves to the next one whenever an attempt fails or a connection drops.
// It stops by itself after --duration seconds (at most a day) and opens at most
// 60,000 links. Every --every seconds it prints a line:
//   t=SECONDS wall=EPOCH up=U connecting=C waiting=W attempts=A drops=D requests=R answers=S
// and "ALL-UP t=SECONDS wall=EPOCH" each time every link has become connected.
#include "FleetBench.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>

using namespace fleetbench;

namespace {

// ---- Certificates ---------------------------------------------------------------

bool exists(const std::string& path) {
    return access(path.c_str(), R_OK) == 0;
}

bool writeKey(const std::string& path, EVP_PKEY* key) {
    const mode_t old = umask(077);
    FILE* file = std::fopen(path.c_str(), "w");
    umask(old);
    const bool ok = file && PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr);
    return file && std::fclose(file) == 0 && ok;
}

bool writeCert(const std::string& path, X509* cert) {
    FILE* file = std::fopen(path.c_str(), "w");
    const bool ok = file && PEM_write_X509(file, cert);
    return file && std::fclose(file) == 0 && ok;
}

void addExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer ? issuer : cert, cert, nullptr, nullptr, 0);
    if (X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value)) {
        X509_add_ext(cert, extension, -1);
        X509_EXTENSION_free(extension);
    }
}

// An EC P-256 certificate with CN = name, valid 30 days, signed by the CA (or by
// itself without one); sans: a subjectAltName for a server.
X509* makeCert(const std::string& name, EVP_PKEY* key, X509* ca, EVP_PKEY* caKey,
               const char* sans) {
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    BIGNUM* serial = BN_new();
    BN_rand(serial, 63, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY);
    BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(cert));
    BN_free(serial);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 30L * 86400);
    X509_set_pubkey(cert, key);
    X509_NAME* subject = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(name.c_str()), -1, -1, 0);
    X509_set_issuer_name(cert, ca ? X509_get_subject_name(ca) : subject);
    if (!ca) {
        addExtension(cert, nullptr, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(cert, nullptr, NID_key_usage, "critical,keyCertSign,cRLSign");
        addExtension(cert, nullptr, NID_subject_key_identifier, "hash");
    } else {
        addExtension(cert, ca, NID_basic_constraints, "CA:FALSE");
        addExtension(cert, ca, NID_authority_key_identifier, "keyid");
        if (sans) {
            addExtension(cert, ca, NID_subject_alt_name, sans);
        }
    }
    X509_sign(cert, caKey ? caKey : key, EVP_sha256());
    return cert;
}

struct Ca {
    X509* cert = nullptr;
    EVP_PKEY* key = nullptr;
};

bool loadOrMakeCa(const std::string& dir, Ca* ca) {
    const std::string crt = dir + "/ca.crt", key = dir + "/ca.key";
    if (exists(crt) && exists(key)) {
        FILE* c = std::fopen(crt.c_str(), "r");
        FILE* k = std::fopen(key.c_str(), "r");
        ca->cert = c ? PEM_read_X509(c, nullptr, nullptr, nullptr) : nullptr;
        ca->key = k ? PEM_read_PrivateKey(k, nullptr, nullptr, nullptr) : nullptr;
        if (c)
            std::fclose(c);
        if (k)
            std::fclose(k);
        return ca->cert && ca->key;
    }
    ca->key = EVP_EC_gen("P-256");
    ca->cert = makeCert("fleet-bench-ca", ca->key, nullptr, nullptr, nullptr);
    return ca->key && writeKey(key, ca->key) && writeCert(crt, ca->cert);
}

// DIR/NAME.crt and DIR/NAME.key, made unless both are there already.
bool ensureCert(const std::string& dir, const Ca& ca, const std::string& name,
                const char* sans = nullptr) {
    const std::string crt = dir + "/" + name + ".crt", keyPath = dir + "/" + name + ".key";
    if (exists(crt) && exists(keyPath)) {
        return true;
    }
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* cert = key ? makeCert(name, key, ca.cert, ca.key, sans) : nullptr;
    const bool ok = cert && writeKey(keyPath, key) && writeCert(crt, cert);
    X509_free(cert);
    EVP_PKEY_free(key);
    return ok;
}

// ---- Links ------------------------------------------------------------------------

// The link's TLS context as the relay's libmosquitto would make it (the fleet's CA,
// its own certificate, TLS 1.2 with forward-secret AEAD suites or 1.3, the depot's
// certificate verified; libmosquitto checks its name), made once before the clock
// starts, all sharing one parsed CA: the emulator's own set-up is then not counted
// as the depot's time.
SSL_CTX* linkContext(X509_STORE* store, const std::string& certs, const std::string& name) {
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    const std::string crt = certs + "/" + name + ".crt", key = certs + "/" + name + ".key";
    if (!context || !SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) ||
        !SSL_CTX_set_cipher_list(context, "ECDHE+AESGCM:ECDHE+CHACHA20") ||
        SSL_CTX_use_certificate_file(context, crt.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, key.c_str(), SSL_FILETYPE_PEM) != 1) {
        SSL_CTX_free(context);
        return nullptr;
    }
    X509_STORE_up_ref(store);
    SSL_CTX_set_cert_store(context, store);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    return context;
}

constexpr int kQos = 1;
constexpr int kKeepAlive = 60;
constexpr int kFirstWait = 2;
constexpr int kLongestWait = 60;
const char* const kRequests[] = {"/info/get", "/status/get", "/config/get", "/config/set"};

struct Payloads {
    std::string uiStatus = R"({"service": true, "technician": false, "settingsLocked": false})";
    std::string uiInfo = R"({"version": "1.0.0"})";
    std::string blmStatus, boardStatus, uiConfig;
};

enum class State { Waiting, Connecting, Up };

// A process's figures, added up by the reporting process.
struct Counters {
    long up = 0, connecting = 0, attempts = 0, drops = 0, requests = 0, answers = 0, failures = 0;
    Counters& operator+=(const Counters& other) {
        up += other.up, connecting += other.connecting, attempts += other.attempts;
        drops += other.drops, requests += other.requests, answers += other.answers;
        failures += other.failures;
        return *this;
    }
};
constexpr long kPerProcess = 5000;

struct Link {
    std::string name;
    mosquitto* client = nullptr;
    SSL_CTX* context = nullptr;
    State state = State::Waiting;
    double nextAttempt = 0;
    double upSince = 0;
    int wait = 0;
    size_t depot = 0;
};

struct Fleet {
    std::vector<Link> links;
    std::vector<Endpoint> depots;
    Payloads payloads;
    std::mt19937 random{std::random_device{}()};
    Counters counters;
    std::vector<SSL_CTX*> contexts;  // one a link, made before the clock starts

    int firstWait() {
        return std::uniform_int_distribution<int>(kFirstWait, 2 * kFirstWait)(random);
    }

    void setState(Link& link, State state) {
        auto count = [this](State s) -> long* {
            return s == State::Up           ? &counters.up
                   : s == State::Connecting ? &counters.connecting
                                            : nullptr;
        };
        if (long* from = count(link.state))
            --*from;
        if (long* to = count(state))
            ++*to;
        link.state = state;
    }

    // A failed attempt or a dropped connection: wait, then try the next depot.
    void backOff(Link& link, double now) {
        if (link.state == State::Up) {
            ++counters.drops;
            if (now - link.upSince > kLongestWait)
                link.wait = firstWait();
        }
        setState(link, State::Waiting);
        link.nextAttempt = now + link.wait;
        link.wait = std::min(2 * link.wait, kLongestWait);
        link.depot = (link.depot + 1) % depots.size();
    }

    void attempt(Link& link, double now) {
        const Endpoint& depot = depots[link.depot];
        ++counters.attempts;
        setState(link, State::Connecting);
        const int rc =
            mosquitto_connect_async(link.client, depot.host.c_str(), depot.port, kKeepAlive);
        if (rc != MOSQ_ERR_SUCCESS) {
            if (counters.failures++ < 5) {  // the first few say why
                std::fprintf(stderr, "fleet_emulator: %s: %s (%s)\n", link.name.c_str(),
                             mosquitto_strerror(rc), std::strerror(errno));
            }
            backOff(link, now);
        }
    }

    void publish(Link& link, const std::string& suffix, const std::string& payload, bool retain) {
        const std::string topic = "fleet/" + link.name + "/" + suffix;
        mosquitto_publish(link.client, nullptr, topic.c_str(), int(payload.size()), payload.data(),
                          kQos, retain);
    }
};

Fleet* g_fleet = nullptr;
volatile sig_atomic_t g_stop = 0;

void onConnect(mosquitto* client, void* object, int rc) {
    Link& link = *static_cast<Link*>(object);
    if (rc != 0) {
        return;  // the library ends the connection: onDisconnect backs off
    }
    Fleet& fleet = *g_fleet;
    fleet.setState(link, State::Up);
    link.upSince = monotonic();
    fleet.publish(link, "bridge/state", "1", true);
    std::vector<std::string> topics;
    std::vector<char*> pointers;
    for (const char* request : kRequests) {
        topics.push_back("fleet/" + link.name + "/zorv/ui" + request);
    }
    for (std::string& topic : topics)
        pointers.push_back(topic.data());
    mosquitto_subscribe_multiple(client, nullptr, int(pointers.size()), pointers.data(), kQos, 0,
                                 nullptr);
    fleet.publish(link, "zorv/ui/status", fleet.payloads.uiStatus, true);
    fleet.publish(link, "zorv/blm/status", fleet.payloads.blmStatus, true);
    fleet.publish(link, "zorv/board/status", fleet.payloads.boardStatus, true);
}

void onDisconnect(mosquitto*, void* object, int) {
    Link& link = *static_cast<Link*>(object);
    if (link.state != State::Waiting) {
        g_fleet->backOff(link, monotonic());
    }
}

void onMessage(mosquitto*, void* object, const mosquitto_message* message) {
    Link& link = *static_cast<Link*>(object);
    Fleet& fleet = *g_fleet;
    const std::string topic = message->topic;
    const std::string base = "fleet/" + link.name + "/zorv/ui";
    ++fleet.counters.requests;
    if (message->retain || topic.compare(0, base.size(), base) != 0) {
        return;  // the relay drops it
    }
    const std::string request = topic.substr(base.size());
    if (request == "/info/get") {
        fleet.publish(link, "zorv/ui/info", fleet.payloads.uiInfo, false);
    } else if (request == "/status/get") {
        fleet.publish(link, "zorv/ui/status", fleet.payloads.uiStatus, true);
    } else if (request == "/config/get") {
        fleet.publish(link, "zorv/ui/config", fleet.payloads.uiConfig, false);
    } else {
        return;  // /config/set: stored by the UI, no answer
    }
    ++fleet.counters.answers;
}

std::string readFile(const std::string& path, const std::string& fallback) {
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        return fallback;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    std::fclose(file);
    return text;
}

// One process's share of the links, [begin, end), on one poll loop until the
// duration is over or it is told to stop; its counters go to *slot.
int runLinks(Fleet& fleet, long first, long begin, long end, double start, double duration,
             double spread, bool nodelay, Counters* slot) {
    mosquitto_lib_init();
    g_fleet = &fleet;
    fleet.links.resize(size_t(end - begin));
    std::uniform_real_distribution<double> startAt(0, spread);
    for (long i = begin; i < end; ++i) {
        Link& link = fleet.links[size_t(i - begin)];
        link.name = vehicleName(first, i);
        link.context = fleet.contexts[size_t(i)];
        link.client = mosquitto_new(link.name.c_str(), false, &link);
        link.wait = fleet.firstWait();
        link.nextAttempt = start + (spread > 0 ? startAt(fleet.random) : 0);
        link.depot = size_t(i) % fleet.depots.size();  // spread over the depots from the start
        if (!link.client || !link.context ||
            mosquitto_void_option(link.client, MOSQ_OPT_SSL_CTX, link.context) !=
                MOSQ_ERR_SUCCESS ||
            mosquitto_int_option(link.client, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0) !=
                MOSQ_ERR_SUCCESS ||
            mosquitto_will_set(link.client, ("fleet/" + link.name + "/bridge/state").c_str(), 1,
                               "0", kQos, true) != MOSQ_ERR_SUCCESS) {
            std::fprintf(stderr, "fleet_emulator: cannot set up link %s (%s)\n", link.name.c_str(),
                         std::strerror(errno));
            return 1;
        }
        // The relay leaves Nagle's algorithm on, as libmosquitto does by default.
        if (nodelay)
            mosquitto_int_option(link.client, MOSQ_OPT_TCP_NODELAY, 1);
        mosquitto_connect_callback_set(link.client, onConnect);
        mosquitto_disconnect_callback_set(link.client, onDisconnect);
        mosquitto_message_callback_set(link.client, onMessage);
    }
    std::vector<pollfd> fds;
    std::vector<Link*> owners;
    double nextMisc = start + 1;
    while (!g_stop && monotonic() - start < duration) {
        double now = monotonic();
        for (Link& link : fleet.links) {
            if (link.state == State::Waiting && link.nextAttempt <= now)
                fleet.attempt(link, now);
        }
        fds.clear();
        owners.clear();
        for (Link& link : fleet.links) {
            const int fd = link.state == State::Waiting ? -1 : mosquitto_socket(link.client);
            if (fd < 0)
                continue;
            fds.push_back(
                {fd, short(POLLIN | (mosquitto_want_write(link.client) ? POLLOUT : 0)), 0});
            owners.push_back(&link);
        }
        poll(fds.data(), fds.size(), 100);
        for (size_t i = 0; i < fds.size(); ++i) {
            Link& link = *owners[i];
            if (!fds[i].revents || link.state == State::Waiting)
                continue;
            // Reading also drives the TLS handshake; writing flushes what is queued.
            if (mosquitto_loop_read(link.client, 10) != MOSQ_ERR_SUCCESS &&
                link.state != State::Waiting && mosquitto_socket(link.client) < 0) {
                fleet.backOff(link, monotonic());
                continue;
            }
            if (link.state != State::Waiting && mosquitto_want_write(link.client) &&
                mosquitto_socket(link.client) >= 0) {
                mosquitto_loop_write(link.client, 10);
            }
        }
        now = monotonic();
        if (now >= nextMisc) {  // keep-alive and timeouts, once a second
            nextMisc = now + 1;
            for (Link& link : fleet.links) {
                if (link.state == State::Waiting)
                    continue;
                mosquitto_loop_misc(link.client);
                if (link.state != State::Waiting && mosquitto_socket(link.client) < 0) {
                    fleet.backOff(link, now);
                }
            }
        }
        *slot = fleet.counters;
    }
    for (Link& link : fleet.links)
        mosquitto_destroy(link.client);  // the depot sends the wills
    mosquitto_lib_cleanup();
    return 0;
}

int usage() {
    std::fprintf(stderr,
                 "usage: fleet_emulator --certs DIR --count N [--first SERIAL] "
                 "[--depot 127.x.x.x:PORT]... [--duration S] [--every S] [--spread S] "
                 "[--examples DIR] [--nodelay] [--certs-only]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string certs, examples;
    long count = 0, first = 20000001;
    double duration = 120, every = 1, spread = 0;
    bool certsOnly = false, nodelay = false;
    Fleet fleet;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--certs-only" || arg == "--nodelay") {
            (arg == "--nodelay" ? nodelay : certsOnly) = true;
            continue;
        }
        if (!value)
            return usage();
        ++i;
        if (arg == "--certs")
            certs = value;
        else if (arg == "--count")
            count = std::atol(value);
        else if (arg == "--first")
            first = std::atol(value);
        else if (arg == "--duration")
            duration = std::atof(value);
        else if (arg == "--every")
            every = std::atof(value);
        else if (arg == "--spread")
            spread = std::atof(value);
        else if (arg == "--examples")
            examples = value;
        else if (arg == "--depot") {
            Endpoint endpoint;
            if (!parseEndpoint(value, &endpoint)) {
                std::fprintf(stderr, "fleet_emulator: '%s' is not a loopback HOST:PORT\n", value);
                return 2;
            }
            fleet.depots.push_back(endpoint);
        } else
            return usage();
    }
    if (certs.empty() || count < 1 || count > 60000 || duration <= 0 || duration > 86400 ||
        every <= 0 || (fleet.depots.empty() && !certsOnly)) {
        return usage();
    }

    // The certificates: the CA, the depot's (for 127.0.0.1 to 127.0.0.3), the depot
    // tools' and every vehicle's.
    mkdir(certs.c_str(), 0700);
    Ca ca;
    if (!loadOrMakeCa(certs, &ca) ||
        !ensureCert(certs, ca, "depot-broker",
                    "IP:127.0.0.1,IP:127.0.0.2,IP:127.0.0.3,DNS:localhost")) {
        std::fprintf(stderr,
                     "fleet_emulator: cannot make the CA or the depot's certificate in %s\n",
                     certs.c_str());
        return 1;
    }
    for (const char* tool : {"fleet-monitor", "fleet-config"})
        ensureCert(certs, ca, tool);
    const double made = monotonic();
    for (long i = 0; i < count; ++i) {
        if (!ensureCert(certs, ca, vehicleName(first, i))) {
            std::fprintf(stderr, "fleet_emulator: cannot write %s's certificate\n",
                         vehicleName(first, i).c_str());
            return 1;
        }
    }
    std::fprintf(stderr, "fleet_emulator: %ld certificates ready in %.1f s\n", count,
                 monotonic() - made);
    if (certsOnly)
        return 0;

    // The statuses as the device services publish them (the repository's examples),
    // and a configuration of about the UI's size.
    const std::string dir = examples.empty() ? std::string(FLEET_EXAMPLES) : examples;
    fleet.payloads.blmStatus =
        readFile(dir + "/validator/status-online.json", R"({"online": true})");
    fleet.payloads.boardStatus = readFile(dir + "/board/status.json", R"({"rtc": true})");
    fleet.payloads.uiConfig =
        "{\"gui\": {\"locale\": \"el_GR\", \"pad\": \"" + std::string(900, 'x') + "\"}}";

    // libmosquitto takes three descriptors a client (its socket and a wake-up pair):
    // the links are shared among processes of at most kPerProcess links, which also
    // puts both cores to the handshakes. Each child counts into its slot of a shared
    // page; this process adds them up and reports.
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    const long perProcess = std::min<long>(kPerProcess, long(files.rlim_cur / 3) - 100);
    const long processes = (count + perProcess - 1) / perProcess;
    auto* slots =
        static_cast<Counters*>(mmap(nullptr, sizeof(Counters) * size_t(processes),
                                    PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    if (perProcess < 1 || slots == MAP_FAILED) {
        std::fprintf(stderr, "fleet_emulator: not enough descriptors (%lu)\n",
                     (unsigned long)files.rlim_cur);
        return 1;
    }
    const double contextsFrom = monotonic();
    X509_STORE* store = X509_STORE_new();
    if (!store || X509_STORE_load_file(store, (certs + "/ca.crt").c_str()) != 1) {
        std::fprintf(stderr, "fleet_emulator: cannot read %s/ca.crt\n", certs.c_str());
        return 1;
    }
    for (long i = 0; i < count; ++i) {
        fleet.contexts.push_back(linkContext(store, certs, vehicleName(first, i)));
    }
    std::fprintf(stderr, "fleet_emulator: %ld TLS contexts in %.1f s\n", count,
                 monotonic() - contextsFrom);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGINT, [](int) { g_stop = 1; });
    signal(SIGTERM, [](int) { g_stop = 1; });
    const double start = monotonic();
    std::vector<pid_t> children;
    for (long k = 0; k < processes; ++k) {
        const pid_t pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlive the emulator
            fleet.random.seed(std::random_device{}() + unsigned(k));
            return runLinks(fleet, first, k * perProcess, std::min(count, (k + 1) * perProcess),
                            start, duration, spread, nodelay, &slots[k]);
        }
        children.push_back(pid);
    }
    double nextReport = start + every;
    bool allUp = false;
    Counters sum;
    while (!g_stop && monotonic() - start < duration + 1) {
        usleep(20000);
        sum = Counters{};
        for (long k = 0; k < processes; ++k)
            sum += slots[k];
        const double now = monotonic();
        if (sum.up == count && !allUp) {
            std::printf("ALL-UP t=%.2f wall=%.3f\n", now - start, wallclock());
            std::fflush(stdout);
        }
        allUp = sum.up == count;
        if (now >= nextReport) {
            nextReport += every;
            std::printf(
                "t=%.1f wall=%.3f up=%ld connecting=%ld waiting=%ld attempts=%ld "
                "drops=%ld requests=%ld answers=%ld\n",
                now - start, wallclock(), sum.up, sum.connecting, count - sum.up - sum.connecting,
                sum.attempts, sum.drops, sum.requests, sum.answers);
            std::fflush(stdout);
        }
    }
    for (pid_t pid : children)
        kill(pid, SIGTERM);
    for (pid_t pid : children)
        waitpid(pid, nullptr, 0);
    std::printf("END t=%.1f up=%ld attempts=%ld drops=%ld requests=%ld answers=%ld\n",
                monotonic() - start, sum.up, sum.attempts, sum.drops, sum.requests, sum.answers);
    return 0;
}
