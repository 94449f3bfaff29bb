// The crash-safety test's child: writes the settings and the event log in a folder
// forever, printing "config <n>" / "event <tag> <n>" after each write has returned.
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <cstdio>

#include "Config.h"
#include "Event.h"
#include "EventManager.h"
#include "GUIManager.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: crashwriter <folder> <tag>\n");
        return 2;
    }
    const QDir folder(args.at(1));
    const QString tag = args.at(2);
    Config config(folder.filePath(QStringLiteral("gui.conf")), GUIManager::Defaults);
    EventManager log(config, folder.filePath(QStringLiteral("events.ini")));
    int n = config.get(QStringLiteral("gui/animSwitchSec")).toInt();
    std::printf("started %d\n", n);
    std::fflush(stdout);
    for (;;) {
        ++n;
        config.set(QStringLiteral("gui/animSwitchSec"), n);
        std::printf("config %d\n", n);
        std::fflush(stdout);
        log.push(new Event(QStringLiteral("General"), QStringLiteral("Write %1 %2").arg(tag).arg(n),
                           QStringLiteral("line one\nline two"), QDateTime::currentDateTime()));
        std::printf("event %s %d\n", qPrintable(tag), n);
        std::fflush(stdout);
    }
}
