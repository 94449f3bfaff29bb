#include "RelayConfig.h"

#include <fstream>
#include <map>
#include <sstream>

namespace fleet {

namespace {

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

// What the depot may never set, whatever a configuration says: where the UI finds
// its broker and with which login, the topics of the device services, and the path
// of the serial-number file the UI reads and writes. Any of them would take the UI
// off its bus, or turn it against a file, with nobody on the bus able to see why.
bool isNeverAllowed(const std::string& key) {
    return key.compare(0, 5, "mqtt/") == 0 || key.compare(0, 7, "topics/") == 0 ||
           key == "gui/deviceId";
}

// "group/member", as the UI's configuration names its keys.
bool isConfigKey(const std::string& key) {
    const auto slash = key.find('/');
    return slash != std::string::npos && slash > 0 && slash + 1 < key.size() &&
           key.find('/', slash + 1) == std::string::npos &&
           key.find_first_not_of(
               "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
               "0123456789_./-") == std::string::npos;
}

}  // namespace

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
        const auto field = plain.find(key);
        if (field != plain.end()) {
            config->*(field->second) = value;
        } else if (key == "depot") {
            Endpoint depot;
            if (!parseEndpoint(value, 8883, &depot)) {
                return bad("'" + value + "' is not HOST[:PORT]");
            }
            config->depots.push_back(depot);
        } else if (key == "local") {
            if (!parseEndpoint(value, 1883, &config->local)) {
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
        } else if (key == "allow") {
            if (!isConfigKey(value)) {
                return bad("'" + value + "' is not a configuration key (group/member)");
            }
            if (isNeverAllowed(value)) {
                return bad("'" + value + "' can never be set from the depot");
            }
            config->allow.insert(value);
        } else {
            return bad("unknown key '" + key + "'");
        }
    }
    if (config->depots.empty() || config->cafile.empty() || config->prefix.empty() ||
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

}  // namespace fleet
