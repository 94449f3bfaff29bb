#include "DepotFilter.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageAuthenticationCode>

#include <functional>
#include <utility>
#include <vector>

namespace fleet {

namespace {

const char* const kRequests[] = {"/info/get", "/status/get", "/config/get", "/config/set"};
const char* const kMask = "********:";
// The member names whose values are secrets wherever they stand, as the UI's own
// log names them: the settings PIN and any password.
const char* const kSecretNames[] = {"settingsPin", "password", "obu_password"};
// Refused keys named in one log line, each cut to a readable length.
constexpr std::size_t kKeysNamed = 8;
constexpr std::size_t kKeyLength = 40;

bool isSecretName(const QString& name) {
    for (const char* secret : kSecretNames) {
        if (name == QLatin1String(secret)) {
            return true;
        }
    }
    return false;
}

std::string namedKeys(const std::vector<std::string>& keys) {
    std::string text;
    for (std::size_t i = 0; i < keys.size() && i < kKeysNamed; ++i) {
        text += (i ? ", " : "") + loggableText(keys[i], kKeyLength);
    }
    if (keys.size() > kKeysNamed) {
        text += " and " + std::to_string(keys.size() - kKeysNamed) + " more";
    }
    return text;
}

}  // namespace

std::string loggableText(const std::string& text, std::size_t keep) {
    std::string shown = text.substr(0, keep);
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = '?';
        }
    }
    if (text.size() > keep) {
        shown += "... (" + std::to_string(text.size()) + " bytes)";
    }
    return shown;
}

DepotFilter::DepotFilter(std::string prefix, std::string uiBase, std::set<std::string> allow)
    : m_prefix(std::move(prefix)), m_uiBase(std::move(uiBase)), m_allow(std::move(allow)) {}

bool DepotFilter::admit(const std::string& topic, bool retain, const std::string& payload,
                        std::string* localTopic, std::string* localPayload,
                        std::string* why) const {
    const std::string base = m_prefix + m_uiBase;
    if (topic.compare(0, base.size(), base) == 0) {
        for (const char* request : kRequests) {
            if (topic.compare(base.size(), std::string::npos, request) != 0) {
                continue;
            }
            if (retain) {
                *why = "retained (a request is never stored)";
            } else if (payload.size() > std::size_t(kMaxPayload)) {
                *why = std::to_string(payload.size()) + " bytes (at most " +
                       std::to_string(kMaxPayload) + ")";
            } else if (std::string(request) == "/config/set") {
                if (!admitConfig(payload, localPayload, why)) {
                    return false;
                }
                *localTopic = m_uiBase + request;
                return true;
            } else {
                *localTopic = m_uiBase + request;
                *localPayload = payload;
                return true;
            }
            return false;
        }
    }
    *why = "not one of the UI's four requests";
    return false;
}

bool DepotFilter::admitConfig(const std::string& payload, std::string* localPayload,
                              std::string* why) const {
    // Checked as the UI will read it: parsed, escapes decoded, so that a key spelled
    // with \u escapes is the key it stands for.
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(payload.data(), int(payload.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        *why = "a configuration that is not a JSON object";
        return false;
    }
    const QJsonObject groups = document.object();
    std::vector<std::string> refused;
    for (auto group = groups.begin(); group != groups.end(); ++group) {
        if (!group.value().isObject()) {
            refused.push_back(group.key().toStdString());
            continue;
        }
        const QJsonObject members = group.value().toObject();
        for (auto member = members.begin(); member != members.end(); ++member) {
            const std::string key = (group.key() + QLatin1Char('/') + member.key()).toStdString();
            if (m_allow.count(key) == 0) {
                refused.push_back(key);
            }
        }
    }
    if (!refused.empty()) {
        // Never in part: a request that moves one setting the depot may not touch
        // is not a request for the others either.
        *why = "a configuration with keys the depot may not set: " + namedKeys(refused);
        return false;
    }
    const QByteArray checked = document.toJson(QJsonDocument::Compact);
    localPayload->assign(checked.constData(), std::size_t(checked.size()));
    return true;
}

SecretMask::SecretMask(const std::string& key) : m_key(key) {}

std::string SecretMask::apply(const std::string& payload) const {
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(payload.data(), int(payload.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return payload;
    }
    const QByteArray key = QByteArray::fromStdString(m_key);
    bool masked = false;
    // Depth-first over objects and arrays; each secret value becomes its digest,
    // keyed and bound to the member's name.
    std::function<QJsonValue(const QString&, const QJsonValue&)> walk =
        [&](const QString& name, const QJsonValue& value) -> QJsonValue {
        if (value.isObject()) {
            QJsonObject object = value.toObject();
            for (auto member = object.begin(); member != object.end(); ++member) {
                *member = walk(member.key(), member.value());
            }
            return object;
        }
        if (value.isArray()) {
            QJsonArray array = value.toArray();
            for (auto item = array.begin(); item != array.end(); ++item) {
                *item = walk(QString(), *item);
            }
            return array;
        }
        if (!isSecretName(name)) {
            return value;
        }
        masked = true;
        const QByteArray text =
            name.toUtf8() + '=' + QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
        const QByteArray digest =
            QMessageAuthenticationCode::hash(text, key, QCryptographicHash::Sha256)
                .toHex()
                .left(16);
        return QString::fromLatin1(kMask + digest);
    };
    const QJsonValue result = walk(QString(), document.object());
    if (!masked) {
        return payload;
    }
    return QJsonDocument(result.toObject()).toJson().toStdString();
}

}  // namespace fleet
