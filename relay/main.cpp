// quellan-fleet-relay: the validator's link to the depot broker. It reads the
// configuration that quellan-fleet-bridge writes and runs until SIGINT or SIGTERM.

#include <mosquitto.h>

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "Relay.h"

int main(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fprintf(argc == 2 ? stdout : stderr,
                     "Usage: quellan-fleet-relay CONFIG\n\n"
                     "Links the on-board broker to the depot broker (TLS): carries the\n"
                     "configured statuses out under the validator's prefix and lets in\n"
                     "only the UI's four requests. CONFIG is written by quellan-fleet-bridge.\n");
        return argc == 2 ? 0 : 2;
    }
    fleet::RelayConfig config;
    std::string error;
    if (!fleet::RelayConfig::load(argv[1], &config, &error)) {
        std::fprintf(stderr, "quellan-fleet-relay: %s\n", error.c_str());
        return 2;
    }
    // The signals are taken by sigwait() below, so they are blocked in every
    // thread, the clients' included; a peer that hangs up is a return code.
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    mosquitto_lib_init();
    int code = 1;
    {
        fleet::Relay relay(config);
        if (relay.start()) {
            std::string depots;
            for (const fleet::Endpoint& depot : config.depots) {
                depots +=
                    (depots.empty() ? "" : ", ") + depot.host + ":" + std::to_string(depot.port);
            }
            fleet::log("relaying " + config.prefix + " to " + depots);
            int signal = 0;
            sigwait(&stopSignals, &signal);
            fleet::log("stopping");
            // Saying goodbye takes a moment; should it hang, SIGALRM (not blocked,
            // default action) ends the process all the same.
            alarm(5);
            relay.stop();
            code = 0;
        }
    }
    mosquitto_lib_cleanup();
    return code;
}
