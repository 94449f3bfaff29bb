// The soak run (scripts/soak; also built with AddressSanitizer by scripts/fuzz): the
// application core takes a long message stream on every manager's topics and many
// event-log pushes; prints resident memory samples and the slope after warm-up.
//   quellan_soak [messages] [pushes]     (defaults 100000 and 1000)
#include <mosquitto.h>
#include <QFile>
#include <QGuiApplication>
#include <atomic>
#include <cstdio>

#include "AppFixture.h"
#include "Event.h"
#include "Fixtures.h"

namespace {

long residentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    return -1;
}

// Least-squares slope of y over x.
double slope(const QVector<double>& x, const QVector<double>& y) {
    const int n = x.size();
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (int i = 0; i < n; ++i) {
        sx += x[i];
        sy += y[i];
        sxx += x[i] * x[i];
        sxy += x[i] * y[i];
    }
    const double d = n * sxx - sx * sx;
    return d == 0 ? 0 : (n * sxy - sx * sy) / d;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const long messages = argc > 1 ? std::atol(argv[1]) : 100000;
    const int pushes = argc > 2 ? std::atoi(argv[2]) : 1000;
    // Line by line: a leak report at exit must not swallow the figures.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    // Messages on the topics of every manager, from the example messages; plus garbage.
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
    if (!fixtureApp.ready()) {
        std::fprintf(stderr, "soak: the application did not connect\n");
        return 1;
    }
    // The peer that records everything is not needed for the stream: publish from a
    // bare client, in batches, and wait until the application has taken each batch.
    fixtureApp.peer().disconnect();
    std::atomic<long> received{0};
    QObject::connect(&fixtureApp.gui().mqtt(), &manager::MqttClient::received,
                     [&received] { ++received; });
    mosquitto* source = mosquitto_new(nullptr, true, nullptr);
    if (mosquitto_connect(source, "127.0.0.1", fixtureApp.broker().port(), 30) !=
        MOSQ_ERR_SUCCESS) {
        std::fprintf(stderr, "soak: no source connection\n");
        return 1;
    }
    mosquitto_loop_start(source);

    QVector<double> xs, ys;
    const long batch = 500;
    const long sampleEvery = qMax(1L, messages / 20);
    long sent = 0;
    long lost = 0;
    std::printf("messages,rss_kb\n%ld,%ld\n", 0L, residentKb());
    while (sent < messages) {
        for (long i = 0; i < batch && sent < messages; ++i, ++sent) {
            const auto& m = stream.at(int(sent % stream.size()));
            mosquitto_publish(source, nullptr, m.first.toUtf8().constData(), m.second.size(),
                              m.second.constData(), 0, false);
        }
        // QoS 0: a broker may drop a message for a client that falls behind (the
        // sanitizer build is slow); that is counted, not waited for.
        if (!waitUntil([&] { return received + lost >= sent; }, 20000)) {
            lost = sent - received;
            std::fprintf(stderr, "soak: %ld message(s) not delivered so far\n", lost);
        }
        if (sent % sampleEvery == 0) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            const long rss = residentKb();
            std::printf("%ld,%ld\n", sent, rss);
            std::fflush(stdout);
            // The first quarter is warm-up: caches, pools and the first screens.
            if (sent > messages / 4) {
                xs.append(sent);
                ys.append(rss);
            }
        }
    }
    const double perMessage = slope(xs, ys);
    std::printf("messages taken: %ld of %ld\n", long(received), messages);
    std::printf("rss slope after warm-up: %.4f kB per 1000 messages\n", perMessage * 1000);

    const long beforePushes = residentKb();
    for (int i = 0; i < pushes; ++i) {
        fixtureApp.gui().eventLog().push(
            new Event(QStringLiteral("General"), QStringLiteral("Soak %1").arg(i),
                      QStringLiteral("pushed by the soak run"), QDateTime::currentDateTime()));
        if (i % 100 == 0) {
            QCoreApplication::processEvents();
        }
    }
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::printf("event-log pushes: %d, rss %ld kB -> %ld kB\n", pushes, beforePushes, residentKb());

    mosquitto_disconnect(source);
    mosquitto_loop_stop(source, false);
    mosquitto_destroy(source);
    // More than one in a thousand missing is not the broker's doing.
    return received * 1000 >= messages * 999 ? 0 : 1;
}
