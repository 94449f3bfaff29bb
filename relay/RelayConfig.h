// The relay's configuration: "key value" lines, written by quellan-fleet-bridge from
// relay.conf.in. It names the depot (one or more addresses), the credentials, the
// validator's prefix, the on-board broker, the topics carried out, and the keys of
// the UI's configuration that the depot may set.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace fleet {

struct Endpoint {
    std::string host;
    int port = 0;
};

struct RelayConfig {
    // TLS only. Several addresses are the nodes of a clustered depot: the relay moves
    // on to the next one whenever a connection fails or drops.
    std::vector<Endpoint> depots;
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
    // The UI's configuration keys ("group/member") that a /config/set from the
    // depot may carry; a request with any other key is dropped whole.
    std::set<std::string> allow;

    // Reads the file. False with *error set (saying which line and why) on an
    // unknown key, a bad value, a key the depot may never set, or a missing
    // required key.
    static bool load(const std::string& path, RelayConfig* config, std::string* error);
};

}  // namespace fleet
