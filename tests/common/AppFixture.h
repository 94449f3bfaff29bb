#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlContext>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "Broker.h"
#include "Config.h"
#include "GUIManager.h"
#include "Peer.h"

// A loaded two-core CI machine runs two suites at once: the waits of the suites on this
// fixture allow 20 s (they return as soon as the condition holds, so green costs nothing).
constexpr int kAppWait = 20000;
#undef QTRY_VERIFY
#define QTRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT((expr), kAppWait)
#undef QTRY_COMPARE
#define QTRY_COMPARE(expr, expected) QTRY_COMPARE_WITH_TIMEOUT((expr), (expected), kAppWait)

// The whole application core against a real broker: a configuration in a temporary
// folder, a serial-number file, the GUI manager, and a peer client that plays the
// device services and records every request the UI publishes.
class AppFixture {
public:
    // configFolder: where gui.conf lives, if not beside the other files.
    explicit AppFixture(const QVariantMap& overrides = {}, bool withDeviceId = true,
                        const QString& configFolder = QString(),
                        LoginThrottle::Clock clock = LoginThrottle::Clock::system());
    ~AppFixture();

    bool ready() const { return m_ready; }
    GUIManager& gui() { return *m_gui; }
    // A manager by the name QML knows it by ("board", "session", ...).
    template <class T>
    T& part(const char* name) {
        const QVariant value = m_gui->engine().rootContext()->contextProperty(name);
        return *qobject_cast<T*>(value.value<QObject*>());
    }
    Config& config() { return *m_config; }
    Peer& peer() { return m_peer; }
    Broker& broker() { return m_broker; }
    QString path(const QString& name) const { return m_dir.filePath(name); }

    // The device services' reports.
    void validatorStatus(const QJsonObject& status);
    void validatorOnline();
    void ignition(bool on);
    void scan(const QJsonObject& transaction);
    bool publish(const QString& topic, const QJsonObject& object);

    // Requests the UI sent on a topic since the last clear().
    QList<QByteArray> requests(const QString& topic) const;

    static QJsonObject object(const QByteArray& json);

private:
    QTemporaryDir m_dir;
    Broker m_broker;
    Peer m_peer;
    std::unique_ptr<Config> m_config;
    std::unique_ptr<GUIManager> m_gui;
    bool m_ready = false;
};
