// The application's message path through a real broker, without the screens.
//   bench_broker rate <host> <port> <count>    every manager subscribed (the GUI
//       manager and all it owns); prints "ready" once subscribed, then counts the
//       messages received until <count> arrived or 3 s pass without one.
//   bench_broker idle <host> <port> <seconds> [bare]   connected and idle: CPU time
//       used over <seconds>; "bare" uses the MQTT client alone, with one subscription.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "BenchProbe.h"
#include "Config.h"
#include "GUIManager.h"
#include "MqttClient.h"

namespace {

void line(const QString& text) {
    std::printf("QUELLAN_BENCH %s\n", qPrintable(text));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 5) {
        std::fprintf(stderr,
                     "usage: bench_broker rate|idle <host> <port> <count|seconds> [bare]\n");
        return 2;
    }
    const QString mode = args.at(1);
    const int amount = args.at(4).toInt();
    const bool bare = args.size() > 5 && args.at(5) == QLatin1String("bare");
    QTemporaryDir dir;
    Config config(dir.filePath(QStringLiteral("gui.conf")), GUIManager::Defaults);
    config.addOverrides({{QStringLiteral("mqtt/host"), args.at(2)},
                         {QStringLiteral("mqtt/port"), args.at(3).toInt()},
                         {QStringLiteral("log/level"), 0},
                         {QStringLiteral("gui/deviceId"), dir.filePath(QStringLiteral("sn"))}});

    std::unique_ptr<GUIManager> gui;
    std::unique_ptr<manager::MqttClient> own;
    manager::MqttClient* client = nullptr;
    if (bare) {
        own = std::make_unique<manager::MqttClient>();
        own->setHostname(args.at(2));
        own->setPort(args.at(3).toUInt());
        own->subscribe(QStringLiteral("zorv/blm/#"));
        own->connect();
        client = own.get();
    } else {
        gui = std::make_unique<GUIManager>(config, dir.filePath(QStringLiteral("events.ini")));
        client = gui->findChild<manager::MqttClient*>();  // the manager's own
    }

    int received = 0;
    QElapsedTimer clock;
    qint64 firstNs = -1;
    qint64 lastNs = 0;
    QTimer silence;
    silence.setSingleShot(true);
    silence.setInterval(3000);
    auto finish = [&]() {
        const double seconds = (lastNs - firstNs) / 1e9;
        line(QStringLiteral("rate received=%1 seconds=%2 msgs_per_s=%3")
                 .arg(received)
                 .arg(seconds, 0, 'f', 4)
                 .arg(seconds > 0 ? (received - 1) / seconds : 0.0, 0, 'f', 0));
        QCoreApplication::quit();
    };
    QObject::connect(&silence, &QTimer::timeout, finish);

    QObject::connect(client, &manager::MqttClient::connected, [&]() {
        // Give the broker time to answer every subscription.
        QTimer::singleShot(1000, [&]() {
            if (mode == QLatin1String("rate")) {
                clock.start();
                silence.start();
                line(QStringLiteral("ready"));
                return;
            }
            const qint64 cpu0 = BenchProbe::cpuUs();
            QElapsedTimer wall;
            wall.start();
            QTimer::singleShot(amount * 1000, [&, cpu0, wall]() {
                line(QStringLiteral("idle cpu_ms=%1 wall_ms=%2 bare=%3")
                         .arg((BenchProbe::cpuUs() - cpu0) / 1000.0, 0, 'f', 1)
                         .arg(wall.elapsed())
                         .arg(bare ? 1 : 0));
                QCoreApplication::quit();
            });
        });
    });
    // Connected after the managers, so each count comes after every handler ran.
    QObject::connect(client, &manager::MqttClient::received, [&]() {
        if (mode != QLatin1String("rate") || !clock.isValid()) {
            return;
        }
        lastNs = clock.nsecsElapsed();
        if (firstNs < 0) {
            firstNs = lastNs;
        }
        ++received;
        silence.start();
        if (received >= amount) {
            silence.stop();
            finish();
        }
    });
    return app.exec();
}
