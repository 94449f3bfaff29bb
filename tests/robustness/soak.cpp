// The soak run (scripts/soak), built with AddressSanitizer by scripts/fuzz so that
// LeakSanitizer checks it: the application core takes a long message stream on every
// manager's topics and many event-log pushes. Memory growth over validations is the
// benchmarks' measure (bench/driver.py); this run is for leaks and lost messages.
//   quellan_soak [messages] [pushes]     (defaults 100000 and 1000)
#include <mosquitto.h>
#include <QGuiApplication>
#include <atomic>
#include <cstdio>

#include "AppFixture.h"
#include "Event.h"
#include "Fixtures.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const long messages = argc > 1 ? std::atol(argv[1]) : 100000;
    const int pushes = argc > 2 ? std::atoi(argv[2]) : 1000;
    // Messages on the topics of every manager, from the test fixtures; plus garbage.
    const QList<QPair<QString, QByteArray>> stream{
        {"zorv/blm/status", fixture("validator/status-online.json")},
        {"zorv/blm/config", fixture("validator/config.json")},
        {"zorv/blm/rfid/scanned", fixture("validator/scan-epurse.json")},
        {"zorv/rfid/card/found", fixture("validator/card-found.json")},
        {"zorv/board/status", fixture("board/status.json")},
        {"zorv/board/power", fixture("board/power.json")},
        {"zorv/inspector/status", fixture("inspector/status.json")},
        {"zorv/network/status", fixture("network/status.json")},
        {"zorv/network/ethernet/state", fixture("network/ethernet-state-eth0.json")},
        {"zorv/device/update/software/progress", fixture("update/progress-download.json")},
        {"zorv/device/clock/ntp/status", fixture("clock/ntp-status-synced.json")},
        {"zorv/blm/status", "{not json"},
    };
    AppFixture fixtureApp;
    // The peer that records everything is not needed: publish from a bare client, in
    // batches, and wait until the application has taken each batch.
    fixtureApp.peer().disconnect();
    std::atomic<long> received{0};
    QObject::connect(&fixtureApp.gui().mqtt(), &manager::MqttClient::received,
                     [&received] { ++received; });
    mosquitto* source = mosquitto_new(nullptr, true, nullptr);
    if (!fixtureApp.ready() || mosquitto_connect(source, "127.0.0.1", fixtureApp.broker().port(),
                                                 30) != MOSQ_ERR_SUCCESS) {
        std::fprintf(stderr, "soak: no connection to the broker\n");
        return 1;
    }
    mosquitto_loop_start(source);
    long sent = 0;
    while (sent < messages) {
        for (long i = 0; i < 500 && sent < messages; ++i, ++sent) {
            const auto& m = stream.at(int(sent % stream.size()));
            mosquitto_publish(source, nullptr, m.first.toUtf8().constData(), m.second.size(),
                              m.second.constData(), 0, false);
        }
        // QoS 0: a broker may drop a message for a client that falls behind (the
        // sanitizer build is slow); that is counted at the end, not waited for.
        waitUntil([&] { return received >= sent; }, 20000);
    }
    for (int i = 0; i < pushes; ++i) {
        fixtureApp.gui().eventLog().push(
            new Event(QStringLiteral("General"), QStringLiteral("Soak %1").arg(i),
                      QStringLiteral("pushed by the soak run"), QDateTime::currentDateTime()));
        QCoreApplication::processEvents();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::printf("messages taken: %ld of %ld; event-log pushes: %d\n", long(received), messages,
                pushes);
    mosquitto_disconnect(source);
    mosquitto_loop_stop(source, false);
    mosquitto_destroy(source);
    // More than one in a thousand missing is not the broker's doing.
    return received * 1000 >= messages * 999 ? 0 : 1;
}
