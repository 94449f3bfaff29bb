#pragma once

#include <QByteArray>
#include <QDebug>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

class QTimer;

namespace manager {

class MqttClient;

// Stores value into field and tells whether it changed: the comparing half of every
// property setter of the service managers.
template <typename T>
bool assignIfChanged(T& field, const T& value) {
    if (field == value) {
        return false;
    }
    field = value;
    return true;
}

// The path between the broker and one service manager's handlers: scope test on the
// base topic, the empty-payload rule, JSON parsing with one log line on failure, and
// dispatch by topic in a fixed order. It also publishes the manager's requests (QoS 0,
// not retained, JSON in the indented form) and runs the refresh/monitor timer. Each
// manager gives what is its own as named options and as routes.
class ServiceChannel {
public:
    // What an empty payload becomes before parsing.
    enum class EmptyPayload {
        AsEmptyObject,  // parsed as the text "{ }" (board, inspector, network, ethernet)
        Tolerated,      // parse error ignored, the handler gets an empty object (validator, update)
        Rejected,       // fails like any unparsable text (clock)
    };

    using Handler = std::function<void(const QJsonObject& message, const QString& topic)>;

    // Given by name, for example
    //   ServiceChannel::Options().withTag("[Board] ").withEmptyPayload(EmptyPayload::AsEmptyObject)
    // Whatever is not named keeps its default.
    struct Options {
        const char* tag = "";  // log tag with its trailing blank, such as "[Board] "; "" for none
        EmptyPayload emptyPayload = EmptyPayload::AsEmptyObject;
        bool scopeTest = true;       // ignore topics that do not contain the base topic
        bool logRawPayload = false;  // on a parse error log the payload, not the parser's text

        Options& withTag(const char* value) {
            tag = value;
            return *this;
        }
        Options& withEmptyPayload(EmptyPayload value) {
            emptyPayload = value;
            return *this;
        }
        // Topics outside the base topic reach the routes too.
        Options& withoutScopeTest() {
            scopeTest = false;
            return *this;
        }
        // A payload that fails to parse is logged as it came, without the tag.
        Options& withRawPayloadLogged() {
            logRawPayload = true;
            return *this;
        }
    };

    ServiceChannel(MqttClient& client, const QString& baseTopic, const Options& options);

    const QString& base() const { return m_base; }
    MqttClient& client() const { return m_client; }
    const char* tag() const { return m_options.tag; }

    // Dispatch table, tried in the order the routes were added; the first match wins.
    void route(const QString& suffix, Handler handler);         // topic == base + suffix
    void routeAbsolute(const QString& topic, Handler handler);  // topic == topic, outside the base
    void routeContains(const QString& text, Handler handler);   // topic contains text anywhere
    // A topic handled before the payload is parsed (the payload is not looked at).
    void routeUnparsed(const QString& absoluteTopic, std::function<void()> handler);

    // Subscriptions at QoS 0, recorded by the client and renewed on reconnection.
    void subscribe(const QStringList& suffixes);
    void subscribeAbsolute(const QString& topic);

    // The receive path, for the client's received(payload, topic) signal.
    void receive(const QByteArray& payload, const QByteArray& topic);

    // Requests to base + suffix: an object (indented JSON) or raw bytes.
    bool publish(const QString& suffix, const QJsonObject& message);
    bool publishRaw(const QString& suffix, const QByteArray& payload);
    bool publishAbsolute(const QString& topic, const QByteArray& payload);

    // monitor(msec) of the managers that have one: starts the repeating timer and
    // refreshes at once, or stops it for 0.
    void monitor(QTimer& timer, int msec, const std::function<void()>& refresh);

    // Log streams beginning with the manager's tag.
    QDebug info() const;
    QDebug warning() const;
    QDebug critical() const;
    QDebug debug() const;

private:
    enum class Match { Suffix, Absolute, Contains };
    struct Route {
        Match match;
        QString text;
        Handler handler;
    };
    bool matches(const Route& route, const QString& topic) const;
    QDebug tagged(QDebug stream) const;

    MqttClient& m_client;
    QString m_base;
    Options m_options;
    QVector<Route> m_routes;
    QVector<QPair<QString, std::function<void()>>> m_unparsed;
};

}  // namespace manager
