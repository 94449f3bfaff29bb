// libFuzzer targets for everything that takes bytes from outside: each service
// manager's message handler, the transaction record, the configuration import and the
// maintenance barcode. One source, built once per target (FUZZ_<NAME> defined).
//
// Manager targets: the first byte of the input picks one of the manager's topics, the
// rest is the payload, fed through the received signal of a client that is never
// connected, exactly as the broker's messages arrive.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlContext>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>

#include "Board.h"
#include "Clock.h"
#include "Config.h"
#include "GUIManager.h"
#include "Inspector.h"
#include "MqttClient.h"
#include "Network.h"
#include "Transaction.h"
#include "Update.h"
#include "Validator.h"

namespace {

// Never destroyed: Qt's own globals are gone by the time exit handlers would run.
QGuiApplication* g_app = nullptr;
std::unique_ptr<QTemporaryDir> g_dir;

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// The clock manager runs timedatectl: a harmless stand-in comes first on PATH.
void fakeTimedatectl() {
    const QString bin = g_dir->filePath(QStringLiteral("bin"));
    QDir().mkpath(bin);
    QFile tool(bin + QStringLiteral("/timedatectl"));
    tool.open(QIODevice::WriteOnly);
    tool.write("#!/bin/sh\necho Europe/Athens\n");
    tool.close();
    tool.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    qputenv("PATH", bin.toUtf8() + ':' + qgetenv("PATH"));
}

void settle() {
    // Objects a handler released with deleteLater go now, as the event loop would.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

[[maybe_unused]] void feed(manager::MqttClient& client, const QStringList& topics,
                           const uint8_t* data, size_t size) {
    if (size == 0) {
        return;
    }
    const QByteArray topic = topics.at(data[0] % topics.size()).toUtf8();
    const QByteArray payload(reinterpret_cast<const char*>(data + 1), int(size - 1));
    emit client.received(payload, topic);
    settle();
}

[[maybe_unused]] QStringList under(const QString& base, const QStringList& suffixes) {
    QStringList out;
    for (const QString& suffix : suffixes) {
        out.append(base + suffix);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_BACKEND", "software");
    // QUELLAN_FUZZ_VERBOSE=1 keeps the log, to see what an input reached.
    if (qEnvironmentVariableIntValue("QUELLAN_FUZZ_VERBOSE") == 0) {
        qInstallMessageHandler(quiet);
    }
    g_app = new QGuiApplication(*argc, *argv);
    g_dir = std::make_unique<QTemporaryDir>();
    fakeTimedatectl();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
#if defined(FUZZ_VALIDATOR)
    static manager::MqttClient client;
    static manager::Validator validator(client, QStringLiteral("zorv/blm"));
    static const QStringList topics =
        under(QStringLiteral("zorv/blm"),
              {"/info", "/status", "/config", "/rfid/retry", "/rfid/removed", "/rfid/scanned",
               "/barcode/scanned", "/barcode/maintenance/scanned"}) +
        QStringList{"zorv/rfid/card/removed", "zorv/rfid/card/found"};
    feed(client, topics, data, size);
#elif defined(FUZZ_BOARD)
    static manager::MqttClient client;
    static manager::Board board(client, QStringLiteral("zorv/board"));
    static const QStringList topics =
        under(QStringLiteral("zorv/board"),
              {"/info", "/status", "/config", "/display", "/power", "/audio", "/event"});
    feed(client, topics, data, size);
#elif defined(FUZZ_INSPECTOR)
    static manager::MqttClient client;
    static manager::Inspector inspector(client, QStringLiteral("zorv/inspector"));
    static const QStringList topics =
        under(QStringLiteral("zorv/inspector"),
              {"/info", "/status", "/audio", "/stats/cpu", "/stats/memory", "/stats/disk"});
    feed(client, topics, data, size);
#elif defined(FUZZ_NETWORK)
    static manager::MqttClient client;
    static manager::Network network(client, QStringLiteral("zorv/network"));
    static const QStringList topics =
        under(QStringLiteral("zorv/network"),
              {"/info", "/status", "/ethernet/state", "/ethernet/config"});
    feed(client, topics, data, size);
#elif defined(FUZZ_UPDATE)
    static manager::MqttClient client;
    static manager::Update update(client, QStringLiteral("zorv/device"));
    static const QStringList topics = under(
        QStringLiteral("zorv/device"), {"/status", "/update/software/status",
                                        "/update/software/progress", "/update/software/progess"});
    feed(client, topics, data, size);
#elif defined(FUZZ_CLOCK)
    static manager::MqttClient client;
    static manager::Clock clock(client, QStringLiteral("zorv/device"));
    static const QStringList topics =
        under(QStringLiteral("zorv/device/clock/ntp"), {"/status", "/config"});
    feed(client, topics, data, size);
#elif defined(FUZZ_TRANSACTION)
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(data), int(size)));
    QJsonObject json = document.object();
    // The scan results carry the record under "transaction"; take either form.
    if (json.value(QStringLiteral("transaction")).isObject()) {
        json = json.value(QStringLiteral("transaction")).toObject();
    }
    Transaction transaction(json);
    transaction.toMap();
    settle();
#elif defined(FUZZ_CONFIG)
    static Config config(g_dir->filePath(QStringLiteral("gui.conf")), GUIManager::Defaults);
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(data), int(size)));
    config.fromJson(document.object());
    config.toJson();
#elif defined(FUZZ_MAINTENANCE)
    // The whole GUI manager, with a technician logged in, as the barcode requires.
    static Config config(g_dir->filePath(QStringLiteral("gui.conf")), GUIManager::Defaults);
    static bool overridden = [] {
        config.addOverrides({{QStringLiteral("mqtt/host"), QStringLiteral("127.0.0.1")},
                             {QStringLiteral("mqtt/port"), 1},
                             {QStringLiteral("log/syslog"), false},
                             {QStringLiteral("log/stderr"),
                              qEnvironmentVariableIntValue("QUELLAN_FUZZ_VERBOSE") != 0}});
        return true;
    }();
    Q_UNUSED(overridden)
    static GUIManager gui(config, g_dir->filePath(QStringLiteral("events.ini")));
    // The session as QML sees it, and the client, the manager's child.
    static auto* session = qobject_cast<SessionManager*>(
        gui.engine().rootContext()->contextProperty(QStringLiteral("session")).value<QObject*>());
    static auto* client = gui.findChild<manager::MqttClient*>();
    if (!session->sessionActive()) {
        gui.settingsLoginRequest(config.get(QStringLiteral("gui/settingsPin")).toString());
    }
    const QByteArray topic = (config.get(QStringLiteral("topics/blm")).toString() +
                              QStringLiteral("/barcode/maintenance/scanned"))
                                 .toUtf8();
    emit client->received(QByteArray(reinterpret_cast<const char*>(data), int(size)), topic);
    settle();
#else
#error "define one FUZZ_<TARGET>"
#endif
    return 0;
}
