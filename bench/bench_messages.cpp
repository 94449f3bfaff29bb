// Cost of handling one message, for counting instructions under callgrind:
//   valgrind --tool=callgrind --collect-atstart=no bench_messages <kind> <count>
// Only the loop over <count> messages is collected; the total divided by <count> is
// the cost of one. Kinds:
//   validator-status         the validator service's status, the same one repeated
//   validator-status-change  its status alternating between online and degraded
//   scan-result              a card scan result, parsed and turned into toMap()
//   board-status             the board controller's status
//   eventlog-push            one event pushed onto a log that holds 1,000 events
#include <valgrind/callgrind.h>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cstdio>

#include "Board.h"
#include "Config.h"
#include "Event.h"
#include "EventManager.h"
#include "GUIManager.h"
#include "MqttClient.h"
#include "Transaction.h"
#include "Validator.h"

namespace {

QByteArray fixture(const QString& name) {
    QFile file(QStringLiteral(QUELLAN_SOURCE_DIR "/tests/fixtures/") + name);
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
            for (int i = 0; i < count; ++i) {
                emit client.received(scan, QByteArrayLiteral("zorv/blm/rfid/scanned"));
            }
            CALLGRIND_TOGGLE_COLLECT;
            handled = mapped;
        } else {
            CALLGRIND_TOGGLE_COLLECT;
            for (int i = 0; i < count; ++i) {
                emit client.received(i % 2 == 0 ? other : online,
                                     QByteArrayLiteral("zorv/blm/status"));
            }
            CALLGRIND_TOGGLE_COLLECT;
            handled = validator.status().isEmpty() ? 0 : count;
        }
    } else if (kind == QLatin1String("board-status")) {
        manager::Board board(client, QStringLiteral("zorv/board"));
        const QByteArray status = fixture(QStringLiteral("board/status.json"));
        emit client.received(status, QByteArrayLiteral("zorv/board/status"));
        CALLGRIND_TOGGLE_COLLECT;
        for (int i = 0; i < count; ++i) {
            emit client.received(status, QByteArrayLiteral("zorv/board/status"));
        }
        CALLGRIND_TOGGLE_COLLECT;
        handled = board.ignition() ? count : 0;
    } else if (kind == QLatin1String("eventlog-push")) {
        EventManager log(config, dir.filePath(QStringLiteral("events.ini")));
        const QDateTime now = QDateTime::currentDateTime();
        for (int i = 0; i < 1000; ++i) {
            log.push(new Event(QStringLiteral("Validator"), QStringLiteral("Ticket validated"),
                               QStringLiteral("warm-up %1").arg(i), now));
        }
        CALLGRIND_TOGGLE_COLLECT;
        for (int i = 0; i < count; ++i) {
            log.push(new Event(QStringLiteral("Validator"), QStringLiteral("Ticket validated"),
                               QStringLiteral("measured %1").arg(i), now));
        }
        CALLGRIND_TOGGLE_COLLECT;
        handled = count;
    } else {
        std::fprintf(stderr, "unknown kind: %s\n", qPrintable(kind));
        return 2;
    }
    std::printf("QUELLAN_BENCH messages kind=%s count=%d handled=%d\n", qPrintable(kind), count,
                handled);
    return handled == count ? 0 : 1;
}
