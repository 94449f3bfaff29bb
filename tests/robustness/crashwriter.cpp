// A child process for the crash-safety test: it opens the configuration store and
// the event log in the given folder and keeps writing to both, every few
// milliseconds from its event loop, printing one line after each write has returned
// ("config <n>", "event <tag> <n> <ms since the epoch>"), until it is killed.
// The test kills it with SIGKILL at a random moment and checks what the files hold.
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QTimer>
#include <cstdio>

#include "Config.h"
#include "Event.h"
#include "EventManager.h"
#include "GUIManager.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QDir folder(args.at(1));
    const QString tag = args.at(2);
    Config config(folder.filePath(QStringLiteral("gui.conf")), GUIManager::Defaults);
    EventManager log(config, folder.filePath(QStringLiteral("events.ini")));
    int n = config.get(QStringLiteral("gui/animSwitchSec")).toInt();
    std::printf("started %d\n", n);
    std::fflush(stdout);
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        ++n;
        config.set(QStringLiteral("gui/animSwitchSec"), n);
        std::printf("config %d\n", n);
        std::fflush(stdout);
        log.push(new Event(QStringLiteral("General"), QStringLiteral("Write %1 %2").arg(tag).arg(n),
                           QStringLiteral("line one\nline two"), QDateTime::currentDateTime()));
        std::printf("event %s %d %lld\n", qPrintable(tag), n, QDateTime::currentMSecsSinceEpoch());
        std::fflush(stdout);
    });
    tick.start(20);
    return app.exec();
}
