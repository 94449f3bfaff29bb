// What crosses the link and in which shape. In from the depot: nothing but the UI's
// four requests under the validator's prefix, never retained, and a /config/set only
// when every key it would change is on the allow-list. Out to the depot: every
// secret value of the UI's configuration (the settings PIN, passwords) replaced by a
// keyed digest, so the depot sees that a PIN changed but never which PIN it is.
#pragma once

#include <set>
#include <string>

namespace fleet {

class DepotFilter {
public:
    // Payloads above this many bytes are dropped in both directions: the largest
    // message carried (the UI's whole configuration) is about one kilobyte.
    static constexpr int kMaxPayload = 64 * 1024;

    DepotFilter(std::string prefix, std::string uiBase, std::set<std::string> allow);

    // The local topic and payload of a message from the depot, or false when it must
    // be dropped, *why then saying why (key names, never values). A /config/set goes
    // on as the document that was checked, so the UI applies exactly that.
    bool admit(const std::string& topic, bool retain, const std::string& payload,
               std::string* localTopic, std::string* localPayload, std::string* why) const;

private:
    bool admitConfig(const std::string& payload, std::string* localPayload, std::string* why) const;

    std::string m_prefix;
    std::string m_uiBase;
    std::set<std::string> m_allow;
};

class SecretMask {
public:
    // key: secret material of this vehicle only (its private key or its depot
    // password); the digests are stable across restarts and mean nothing elsewhere.
    explicit SecretMask(const std::string& key);

    // The payload with the value of every member named like a secret, at any depth,
    // replaced by "********:" and a digest of it; the payload itself when it holds no
    // secret or is no JSON object.
    std::string apply(const std::string& payload) const;

private:
    std::string m_key;
};

// Text from the depot made fit for one log line: printable, and cut to a length a
// person reads, with the full size said.
std::string loggableText(const std::string& text, std::size_t keep = 120);

}  // namespace fleet
