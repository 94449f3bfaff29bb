// The depot's own tools under load, each with its own certificate and identity:
//
//   fleet_probe monitor --certs DIR --depot HOST:PORT --count N [--first SERIAL] [--qos Q]
//                       [--portion B] [--timeout S] [--quiet S]
//     as fleet-monitor: subscribes to the retained statuses of the whole fleet, with
//     one wildcard filter a kind, or with --portion B bus by bus, B buses at a time,
//     the next B once the last have arrived; counts which of the N vehicles'
//     statuses arrive (all four kinds each):
//     MONITOR qos=Q seen=K/4N bridge/state=.. ui/status=.. blm/status=.. board/status=.. last=S
//
//   fleet_probe config --certs DIR --depot HOST:PORT --count N [--first SERIAL] [--rate R]
//                      [--duration S] [--qos Q] [--nodelay 1]
//     as fleet-config: sends /config/get to R buses a second for S seconds (each bus
//     once before any twice) and times
//     each answer on /config: CONFIG sent=.. answered=.. p50=..ms p99=..ms max=..ms
//
//   fleet_probe flood --certs DIR --depot HOST:PORT --as VEHICLE [--duration S] [--size BYTES]
//     as one vehicle gone rogue: publishes its blm/status at QoS 0 as fast as the
//     depot takes it, BYTES (at most 65,000) each: FLOOD sent=.. bytes=..
//
// All stop by themselves (timeouts at most an hour); the exit status is 1 when a
// status or an answer is missing.
#include "FleetBench.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <set>

using namespace fleetbench;

namespace {

struct Probe {
    std::string mode, certs, as;
    long size = 65000;
    Endpoint depot;
    long count = 0, first = 20000001;
    int qos = 1;
    long portion = 0;     // monitor: buses a subscription covers (0: the whole fleet at once)
    long subscribed = 0;  // monitor: buses subscribed so far
    double portionAt = 0;
    double timeout = 120, quiet = 5, rate = 10, duration = 60;
    bool connected = false, acknowledged = false, failed = false, nodelay = false;
    // monitor
    std::set<std::string> seen;
    std::map<std::string, long> perKind;
    double lastAt = 0;
    // config
    std::map<std::string, double> pending;  // vehicle -> time its request left
    std::vector<double> roundTrips;
};

std::string vehicleOf(const std::string& topic) {
    const size_t begin = topic.find('/') + 1, end = topic.find('/', begin);
    return topic.substr(begin, end - begin);
}

void onConnect(mosquitto* client, void* object, int rc) {
    Probe& probe = *static_cast<Probe*>(object);
    if (rc != 0) {
        std::fprintf(stderr, "fleet_probe: refused: %s\n", mosquitto_connack_string(rc));
        probe.failed = true;
        return;
    }
    probe.connected = true;
    if (probe.mode == "monitor" && probe.portion == 0) {
        for (const std::string& suffix : retainedSuffixes()) {
            mosquitto_subscribe(client, nullptr, ("fleet/+/" + suffix).c_str(), probe.qos);
        }
        probe.subscribed = probe.count;
    } else if (probe.mode == "config") {
        mosquitto_subscribe(client, nullptr, "fleet/+/zorv/ui/config", probe.qos);
    }
}

void onSubscribe(mosquitto*, void* object, int, int, const int*) {
    static_cast<Probe*>(object)->acknowledged = true;
}

void onMessage(mosquitto*, void* object, const mosquitto_message* message) {
    Probe& probe = *static_cast<Probe*>(object);
    const std::string topic = message->topic;
    const double now = monotonic();
    if (probe.mode == "monitor") {
        // Only the N buses asked for: a bus outside them is not counted.
        const std::string sn = vehicleOf(topic);
        const long number = sn.size() == 9 ? std::atol(sn.c_str() + 1) - probe.first : -1;
        if (message->retain && number >= 0 && number < probe.count &&
            vehicleName(probe.first, number) == sn && probe.seen.insert(topic).second) {
            ++probe.perKind[topic.substr(topic.find('/', 6) + 1)];
            probe.lastAt = now;
        }
        return;
    }
    const auto request = probe.pending.find(vehicleOf(topic));
    if (!message->retain && request != probe.pending.end()) {
        probe.roundTrips.push_back(now - request->second);
        probe.pending.erase(request);
    }
}

// Four filters a bus, one SUBSCRIBE for the whole portion.
void subscribePortion(mosquitto* client, Probe& probe) {
    std::vector<std::string> topics;
    const long end = std::min(probe.count, probe.subscribed + probe.portion);
    for (; probe.subscribed < end; ++probe.subscribed) {
        for (const std::string& suffix : retainedSuffixes()) {
            topics.push_back("fleet/" + vehicleName(probe.first, probe.subscribed) + "/" + suffix);
        }
    }
    std::vector<char*> pointers;
    for (std::string& topic : topics)
        pointers.push_back(topic.data());
    mosquitto_subscribe_multiple(client, nullptr, int(pointers.size()), pointers.data(), probe.qos,
                                 0, nullptr);
}

double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

int usage() {
    std::fprintf(stderr,
                 "usage: fleet_probe monitor|config --certs DIR --depot HOST:PORT "
                 "--count N [--first SERIAL] [--qos Q] [--timeout S] [--quiet S] "
                 "[--rate R] [--duration S]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Probe probe;
    if (argc < 2)
        return usage();
    probe.mode = argv[1];
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        const char* value = argv[i + 1];
        if (arg == "--certs")
            probe.certs = value;
        else if (arg == "--depot" && !parseEndpoint(value, &probe.depot))
            return usage();
        else if (arg == "--count")
            probe.count = std::atol(value);
        else if (arg == "--first")
            probe.first = std::atol(value);
        else if (arg == "--qos")
            probe.qos = std::atoi(value);
        else if (arg == "--portion")
            probe.portion = std::atol(value);
        else if (arg == "--as")
            probe.as = value;
        else if (arg == "--size")
            probe.size = std::atol(value);
        else if (arg == "--timeout")
            probe.timeout = std::atof(value);
        else if (arg == "--quiet")
            probe.quiet = std::atof(value);
        else if (arg == "--rate")
            probe.rate = std::atof(value);
        else if (arg == "--duration")
            probe.duration = std::atof(value);
        else if (arg == "--nodelay")
            probe.nodelay = std::atoi(value) != 0;
    }
    if (probe.mode == "flood")
        probe.count = 1;
    if ((probe.mode != "monitor" && probe.mode != "config" && probe.mode != "flood") ||
        probe.certs.empty() || probe.depot.host.empty() || probe.count < 1 ||
        (probe.mode == "flood" && probe.as.empty()) || probe.size < 1 || probe.size > 65000 ||
        probe.timeout > 3600 || probe.duration > 3600 || probe.rate <= 0 || probe.portion < 0 ||
        probe.qos < 0 || probe.qos > 1) {
        return usage();
    }
    const std::string name = probe.mode == "monitor" ? "fleet-monitor"
                             : probe.mode == "flood" ? probe.as
                                                     : "fleet-config";
    mosquitto_lib_init();
    mosquitto* client = mosquitto_new(name.c_str(), true, &probe);
    if (!client || !setTls(client, probe.certs, name))
        return 1;
    if (probe.nodelay)
        mosquitto_int_option(client, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(client, onConnect);
    mosquitto_message_callback_set(client, onMessage);
    mosquitto_subscribe_callback_set(client, onSubscribe);
    const double start = monotonic();
    if (mosquitto_connect(client, probe.depot.host.c_str(), probe.depot.port, 60) !=
        MOSQ_ERR_SUCCESS) {
        std::fprintf(stderr, "fleet_probe: cannot connect to %s:%d\n", probe.depot.host.c_str(),
                     probe.depot.port);
        return 1;
    }
    std::mt19937 random{std::random_device{}()};
    std::vector<long> order;
    long sent = 0;
    double subscribedAt = 0;
    while (!probe.failed) {
        const double now = monotonic();
        if (mosquitto_loop(client, 5, 100) != MOSQ_ERR_SUCCESS) {
            std::fprintf(stderr, "fleet_probe: the connection dropped\n");
            break;
        }
        if (probe.mode == "monitor") {
            if (size_t(probe.seen.size()) == 4 * size_t(probe.count) ||
                now - start > probe.timeout ||
                (probe.lastAt > 0 && now - probe.lastAt > probe.quiet)) {
                break;
            }
            // The next portion once the last one has arrived, or has been quiet a second
            // (a bus may be missing): the depot never holds more than one portion for us.
            if (probe.connected && probe.subscribed < probe.count &&
                (size_t(probe.seen.size()) >= 4 * size_t(probe.subscribed) ||
                 now - std::max(probe.portionAt, probe.lastAt) > 1)) {
                subscribePortion(client, probe);
                probe.portionAt = now;
            }
            continue;
        }
        if (!probe.connected || (probe.mode == "config" && !probe.acknowledged))
            continue;
        if (probe.mode == "flood") {
            if (now - start > probe.duration)
                break;
            // One message at a time, the next once the last has left: as fast as the
            // depot reads, without a queue growing here.
            if (!mosquitto_want_write(client)) {
                const std::string payload(size_t(probe.size), 'x');
                mosquitto_publish(client, nullptr,
                                  ("fleet/" + probe.as + "/zorv/blm/status").c_str(),
                                  int(payload.size()), payload.data(), 0, false);
                ++sent;
            }
            continue;
        }
        if (subscribedAt == 0)
            subscribedAt = now;
        const double end = subscribedAt + probe.duration;
        if (now >= subscribedAt && now < end && sent < (now - subscribedAt) * probe.rate) {
            // Round the fleet in a shuffled order: every bus is asked before any twice.
            if (order.empty()) {
                for (long i = 0; i < probe.count; ++i)
                    order.push_back(i);
                std::shuffle(order.begin(), order.end(), random);
            }
            const std::string sn = vehicleName(probe.first, order.back());
            order.pop_back();
            if (probe.pending.count(sn))
                continue;  // one outstanding request a bus
            probe.pending[sn] = monotonic();
            mosquitto_publish(client, nullptr, ("fleet/" + sn + "/zorv/ui/config/get").c_str(), 2,
                              "{}", 1, false);
            ++sent;
        }
        if (now >= end && (probe.pending.empty() || now > end + 10))
            break;
    }
    if (probe.mode == "flood") {
        std::printf("FLOOD sent=%ld bytes=%ld in %.1f s\n", sent, sent * probe.size,
                    monotonic() - start);
    } else if (probe.mode == "monitor") {
        std::printf("MONITOR qos=%d portion=%ld seen=%zu/%ld", probe.qos, probe.portion,
                    probe.seen.size(), 4 * probe.count);
        for (const std::string& suffix : retainedSuffixes()) {
            std::printf(" %s=%ld", suffix.c_str(), probe.perKind[suffix]);
        }
        std::printf(" last=%.2fs\n", probe.lastAt > 0 ? probe.lastAt - start : 0.0);
    } else {
        std::printf("CONFIG sent=%ld answered=%zu p50=%.1fms p99=%.1fms max=%.1fms\n", sent,
                    probe.roundTrips.size(), 1000 * percentile(probe.roundTrips, 0.5),
                    1000 * percentile(probe.roundTrips, 0.99),
                    1000 * percentile(probe.roundTrips, 1.0));
    }
    mosquitto_disconnect(client);
    mosquitto_destroy(client);
    mosquitto_lib_cleanup();
    // Failure: refused, or a status or an answer missing.
    const bool complete = probe.mode == "monitor"  ? probe.seen.size() == 4 * size_t(probe.count)
                          : probe.mode == "config" ? probe.roundTrips.size() == size_t(sent)
                                                   : true;
    return probe.failed || !complete ? 1 : 0;
}
