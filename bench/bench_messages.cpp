// Cost of handling one message, for counting instructions under callgrind:
//   valgrind --tool=callgrind --collect-atstart=no bench_messages <kind> <count>
// Only the loop over <count> messages is collected; the total divided by <count> is
// the cost of one. Kinds:
//   validator-status         the validator service's status, the same one repeated
//   validator-status-change  its status alternating between online and degraded
//   scan-result              a card scan result, parsed and turned into toMap()
//   board-status             the board controller's status
//   eventlog-push [store]    one event pushed onto a log that holds 1,000 events,
//                            loaded from store (made by eventlog-fill, natively:
//                            filling it push by push is too slow under callgrind)
//   eventlog-fill <store>    writes a store of 1,000 events (count is ignored)
//   eventlog-gui <count> <store>  natively: <count> pushes onto the loaded log, each
//                            followed by 200 ms of event loop (the log hands its
//                            events to its writer thread in that time); prints the
//                            GUI thread's CPU time per push and the time one write
//                            of the store takes in the writer
#include <valgrind/callgrind.h>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <ctime>

#include "Board.h"
#include "Config.h"
#include "Event.h"
#include "EventManager.h"
#include "GUIManager.h"
#include "MqttClient.h"
#include "Transaction.h"
#include "Validator.h"

namespace {

double threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

QByteArray fixture(const QString& name) {
    QFile file(QStringLiteral(QUELLAN_SOURCE_DIR "/examples/messages/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "fixture not readable: %s\n", qPrintable(file.fileName()));
        return QByteArray();
    }
    return file.readAll();
}

QByteArray degraded(const QByteArray& online) {
    QJsonObject root = QJsonDocument::fromJson(online).object();
    QJsonObject state = root.value(QStringLiteral("state")).toObject();
    state.insert(QStringLiteral("hasNtp"), false);
    root.insert(QStringLiteral("state"), state);
    return QJsonDocument(root).toJson();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: bench_messages <kind> <count>\n");
        return 2;
    }
    const QString kind = args.at(1);
    const int count = args.at(2).toInt();
    QTemporaryDir dir;
    Config config(dir.filePath(QStringLiteral("gui.conf")), GUIManager::Defaults);
    manager::MqttClient client;
    int handled = 0;
    QElapsedTimer clock;
    qint64 elapsedNs = 0;

    if (kind.startsWith(QLatin1String("validator-status")) ||
        kind == QLatin1String("scan-result")) {
        manager::Validator validator(client, QStringLiteral("zorv/blm"));
        const QByteArray online = fixture(QStringLiteral("validator/status-online.json"));
        const QByteArray other =
            kind == QLatin1String("validator-status-change") ? degraded(online) : online;
        const QByteArray scan = fixture(QStringLiteral("validator/scan-epurse.json"));
        int mapped = 0;
        QObject::connect(&validator, &manager::Validator::ticketValidated,
                         [&mapped](const Transaction& transaction) {
                             mapped += transaction.toMap().size() > 0 ? 1 : 0;
                         });
        emit client.received(online, QByteArrayLiteral("zorv/blm/status"));
        if (kind == QLatin1String("scan-result")) {
            emit client.received(scan, QByteArrayLiteral("zorv/blm/rfid/scanned"));
            mapped = 0;
            CALLGRIND_TOGGLE_COLLECT;
            clock.start();
            for (int i = 0; i < count; ++i) {
                emit client.received(scan, QByteArrayLiteral("zorv/blm/rfid/scanned"));
            }
            elapsedNs = clock.nsecsElapsed();
            CALLGRIND_TOGGLE_COLLECT;
            handled = mapped;
        } else {
            CALLGRIND_TOGGLE_COLLECT;
            clock.start();
            for (int i = 0; i < count; ++i) {
                emit client.received(i % 2 == 0 ? other : online,
                                     QByteArrayLiteral("zorv/blm/status"));
            }
            elapsedNs = clock.nsecsElapsed();
            CALLGRIND_TOGGLE_COLLECT;
            handled = validator.status().isEmpty() ? 0 : count;
        }
    } else if (kind == QLatin1String("board-status")) {
        manager::Board board(client, QStringLiteral("zorv/board"));
        const QByteArray status = fixture(QStringLiteral("board/status.json"));
        emit client.received(status, QByteArrayLiteral("zorv/board/status"));
        CALLGRIND_TOGGLE_COLLECT;
        clock.start();
        for (int i = 0; i < count; ++i) {
            emit client.received(status, QByteArrayLiteral("zorv/board/status"));
        }
        elapsedNs = clock.nsecsElapsed();
        CALLGRIND_TOGGLE_COLLECT;
        handled = board.ignition() ? count : 0;
    } else if (kind.startsWith(QLatin1String("eventlog-"))) {
        const QString store =
            args.size() > 3 ? args.at(3) : dir.filePath(QStringLiteral("events.ini"));
        const QDateTime now = QDateTime::currentDateTime();
        if (kind == QLatin1String("eventlog-fill")) {
            // Written in the store's own layout in one go: pushing them one by one
            // rewrites the whole file each time.
            QSettings out(store, QSettings::NativeFormat);
            out.clear();
            out.beginWriteArray(QStringLiteral("events"));
            for (int i = 0; i < 1000; ++i) {
                out.setArrayIndex(i);
                out.setValue(QStringLiteral("category"), QStringLiteral("Validator"));
                out.setValue(QStringLiteral("name"), QStringLiteral("Ticket validated"));
                out.setValue(QStringLiteral("desc"), QStringLiteral("warm-up %1").arg(i));
                out.setValue(QStringLiteral("timestamp"), now.addSecs(i - 1000));
            }
            out.endArray();
            out.sync();
            std::printf("QUELLAN_BENCH messages kind=%s count=1000 handled=1000\n",
                        qPrintable(kind));
            return out.status() == QSettings::NoError ? 0 : 1;
        }
        if (kind == QLatin1String("eventlog-gui")) {
            EventManager log(config, store);
            log.flush();
            double guiMs = 0;
            for (int i = 0; i < count; ++i) {
                const double before = threadCpuMs();
                log.push(new Event(QStringLiteral("Validator"), QStringLiteral("Ticket validated"),
                                   QStringLiteral("measured %1").arg(i), now));
                guiMs += threadCpuMs() - before;
                const double loopBefore = threadCpuMs();
                QEventLoop loop;
                QTimer::singleShot(200, &loop, &QEventLoop::quit);
                loop.exec();
                guiMs += threadCpuMs() - loopBefore;
            }
            // One write on its own: pushed, handed over at once, waited for.
            log.push(new Event(QStringLiteral("Validator"), QStringLiteral("Ticket validated"),
                               QStringLiteral("timed"), now));
            QElapsedTimer write;
            write.start();
            log.flush();
            std::printf(
                "QUELLAN_BENCH messages kind=%s count=%d handled=%d gui_ms_per_push=%.4f "
                "write_ms=%.1f\n",
                qPrintable(kind), count, count, guiMs / count, write.nsecsElapsed() / 1e6);
            return 0;
        }
        EventManager log(config, store);
        if (args.size() <= 3) {
            for (int i = 0; i < 1000; ++i) {
                log.push(new Event(QStringLiteral("Validator"), QStringLiteral("Ticket validated"),
                                   QStringLiteral("warm-up %1").arg(i), now));
            }
        }
        elapsedNs = clock.nsecsElapsed();
        CALLGRIND_TOGGLE_COLLECT;
        clock.start();
        for (int i = 0; i < count; ++i) {
            log.push(new Event(QStringLiteral("Validator"), QStringLiteral("Ticket validated"),
                               QStringLiteral("measured %1").arg(i), now));
        }
        elapsedNs = clock.nsecsElapsed();
        CALLGRIND_TOGGLE_COLLECT;
        handled = count;
    } else {
        std::fprintf(stderr, "unknown kind: %s\n", qPrintable(kind));
        return 2;
    }
    std::printf("QUELLAN_BENCH messages kind=%s count=%d handled=%d us_per_msg=%.1f\n",
                qPrintable(kind), count, handled, count > 0 ? elapsedNs / 1000.0 / count : 0.0);
    return handled == count ? 0 : 1;
}
