#include <fontconfig/fontconfig.h>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QOpenGLContext>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QSGRendererInterface>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <QtPlugin>

#include <csignal>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <memory>

#include "CommandLine.h"
#include "Config.h"
#include "GUIManager.h"
#include "Watchdog.h"
#ifdef QUELLAN_INSTRUMENTS
#include "BenchProbe.h"
#include "ScreenRecorder.h"
#endif

// The on-screen keyboard input method, linked into the program.
Q_IMPORT_PLUGIN(FreeVirtualKeyboardPlugin)
// The PNG reader every picture of the screens goes through (see PngReaderPlugin.h).
Q_IMPORT_PLUGIN(PngReaderPlugin)

namespace {

void setIdentity() {
    QCoreApplication::setApplicationName(QStringLiteral("Quellan"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUELLAN_VERSION));
    QCoreApplication::setOrganizationName(QStringLiteral("zorv"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("zorv.example"));
}

// Whether the command line asks for the help or the version ("-h", "--version", or
// a group of short switches holding one, such as "-eh").
bool asksForHelpOrVersion(int argc, char** argv) {
    static const QRegularExpression option(
        QStringLiteral("^(--help|--version|-[ecVh]*[Vh][ecVh]*)$"));
    for (int i = 1; i < argc; ++i) {
        if (option.match(QString::fromLocal8Bit(argv[i])).hasMatch()) {
            return true;
        }
    }
    return false;
}

// Qt Quick draws with OpenGL unless told otherwise. Where no OpenGL context can be
// had (no driver, a platform without it) and nobody chose a scene-graph backend, the
// software renderer draws the screens instead of the program aborting.
void chooseRenderer() {
    if (!qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND") ||
        !QQuickWindow::sceneGraphBackend().isEmpty()) {
        return;
    }
    QOpenGLContext probe;
    if (probe.create()) {
        return;
    }
    qWarning("WARN: No OpenGL context available, drawing with the software renderer");
    QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
}

// The program draws every text in its own font, from its resources. A font
// configuration of its own, without font folders, keeps the start from scanning
// and matching the fonts installed on the system: every family asked for (Qt's
// defaults, the keyboard's) ends at the application font, with the rendering
// settings of Debian's default configuration.
void useOwnFontConfiguration() {
    static const char config[] = R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <match target="pattern">
    <edit name="family" mode="append_last"><string>DejaVu Sans</string></edit>
    <edit name="antialias" mode="assign"><bool>true</bool></edit>
    <edit name="hinting" mode="assign"><bool>true</bool></edit>
    <edit name="hintstyle" mode="assign"><const>hintslight</const></edit>
    <edit name="rgba" mode="assign"><const>none</const></edit>
    <edit name="lcdfilter" mode="assign"><const>lcddefault</const></edit>
  </match>
</fontconfig>
)";
    FcConfig* own = FcConfigCreate();
    if (own == nullptr ||
        !FcConfigParseAndLoadFromMemory(own, reinterpret_cast<const FcChar8*>(config), FcTrue) ||
        !FcConfigSetCurrent(own)) {
        // The system's configuration then serves, only slower.
        if (own != nullptr) {
            FcConfigDestroy(own);
        }
        return;
    }
    // The library holds its own reference to the current configuration.
    FcConfigDestroy(own);
}

#ifdef QUELLAN_INSTRUMENTS
// Pictures of every screen, for runs without a display (scripts/run); none without
// QUELLAN_SCREENSHOT_DIR.
std::unique_ptr<ScreenRecorder> startRecorder(GUIManager& manager) {
    const QString screenshotDir = qEnvironmentVariable("QUELLAN_SCREENSHOT_DIR");
    if (screenshotDir.isEmpty()) {
        return nullptr;
    }
    auto* window = qobject_cast<QQuickWindow*>(manager.engine().rootObjects().value(0));
    auto recorder = std::make_unique<ScreenRecorder>(window, screenshotDir);
    ScreenRecorder* shown = recorder.get();
    QObject::connect(&manager, &GUIManager::screenChanged, shown,
                     [shown, &manager] { shown->onScreenChanged(manager.screen()); });
    shown->onScreenChanged(manager.screen());
    return recorder;
}
#endif

// Makes every screen.
void loadScreens(GUIManager& manager) {
    // Qt Quick lists the formats of every image plug-in installed on the system
    // the first time it shows a picture, which loads them all (the SVG one brings
    // Qt SVG and Qt Widgets with it). The screens' pictures are PNG, read by the
    // PNG reader linked in: the plug-in folders are out of sight while the
    // screens are made and back right after, so that a picture of another format
    // shown later (the diagnostics' QR code, an SVG) still finds its plug-in.
    const QStringList pluginFolders = QCoreApplication::libraryPaths();
    QCoreApplication::setLibraryPaths({});
    manager.load();
    QCoreApplication::setLibraryPaths(pluginFolders);
}

// The program's folder holds its event store, so the service can write there: nothing
// the program loads may come from it. Qt's own qt.conf is in the resources
// (":/qt/etc/qt.conf", which Qt reads before any beside the program), and plug-ins
// come from Qt's folder only. Qt adds the program's folder to the plug-in folders
// while it makes the application object (the platform, its theme and the input
// method are loaded right then) and replays what was set before on top of that: a
// folder named in QT_PLUGIN_PATH and then left out is replayed as removed, the
// program's folder too. The variable is cleared right after, so that nothing the
// program starts inherits it.
void usePluginsOfQtOnly() {
    const QString ownFolder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    const QByteArray pluginPath = qgetenv("QT_PLUGIN_PATH");
    qputenv("QT_PLUGIN_PATH", QFile::encodeName(ownFolder));
    QCoreApplication::setLibraryPaths({QLibraryInfo::location(QLibraryInfo::PluginsPath)});
    if (pluginPath.isNull()) {
        qunsetenv("QT_PLUGIN_PATH");
    } else {
        qputenv("QT_PLUGIN_PATH", pluginPath);
    }
}

// After the application object: the plug-in folders and the QML import folders
// without the program's own folder (the QML engine adds it to its import folders).
void dropOwnFolder(QQmlEngine& engine) {
    const QString ownFolder = QDir(QCoreApplication::applicationDirPath()).canonicalPath();
    const auto without = [&ownFolder](const QStringList& folders) {
        QStringList kept;
        for (const QString& folder : folders) {
            if (QDir(folder).canonicalPath() != ownFolder) {
                kept << folder;
            }
        }
        return kept;
    };
    QCoreApplication::setLibraryPaths(without(QCoreApplication::libraryPaths()));
    engine.setImportPathList(without(engine.importPathList()));
}

// Memory and start-up settings for the board, each left to the environment when it
// names one (the service's environment file can tune them there).
void applyRuntimeSettings() {
#ifdef __GLIBC__
    // One malloc arena for every thread: the QML loader, the picture reader, the
    // event-log writer and the MQTT thread allocate little and seldom at the same
    // time, and a heap of their own each would keep its freed memory to itself.
    if (qEnvironmentVariableIsEmpty("MALLOC_ARENA_MAX")) {
        mallopt(M_ARENA_MAX, 1);
    }
#endif
    // The program's regular expressions (options, configuration values, addresses)
    // each match a handful of texts: compiling them to machine code costs more time
    // and memory than it saves. Read by Qt at the first expression, so set first.
    if (!qEnvironmentVariableIsSet("QT_ENABLE_REGEXP_JIT")) {
        qputenv("QT_ENABLE_REGEXP_JIT", "0");
    }
    // The same holds for the QML engine's JavaScript. Its JIT compiles each binding
    // and function once it has run three times, and at start many do: the bindings of
    // the controls the screens share, compiled to run a few times more and then never
    // again. A verdict or the idle screen costs about the same either way, so
    // the interpreter runs the byte code compiled into the program as it stands.
    if (!qEnvironmentVariableIsSet("QV4_FORCE_INTERPRETER")) {
        qputenv("QV4_FORCE_INTERPRETER", "1");
    }
}

}  // namespace

int main(int argc, char** argv) {
    applyRuntimeSettings();

    // A broker connection that breaks while writing must not end the program.
    signal(SIGPIPE, SIG_IGN);

    // The screens type text through the on-screen keyboard plug-in.
    qputenv("QT_IM_MODULE", QByteArrayLiteral("freevirtualkeyboard"));

    // Help and version print and end without a display (a technician's shell on the
    // board, a build machine): no GUI application, no window system, for them.
    if (asksForHelpOrVersion(argc, argv)) {
        QCoreApplication commandLine(argc, argv);
        setIdentity();
        parseCLIArgs();  // exits
    }

    // Before the application object, which sets up the font database.
    useOwnFontConfiguration();

    // Qt reads this attribute only while it creates the application object.
    QGuiApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    usePluginsOfQtOnly();
    QGuiApplication app(argc, argv);
    setIdentity();
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Quellan"));

    // Readiness and watchdog pings for systemd; nothing without it. Made first, so
    // that it takes systemd's variables before any child process is started.
    Watchdog watchdog;

    const QVariantMap overrides = parseCLIArgs();
    const QString configFile = overrides.contains(QStringLiteral("config"))
                                   ? overrides.value(QStringLiteral("config")).toString()
                                   : QStringLiteral("gui.conf");

    Config config(configFile, GUIManager::Defaults);
    config.addOverrides(overrides);

    // A font that cannot be registered falls back to the platform's font. The
    // window's font loader names this font and does not register it again.
    QFontDatabase::addApplicationFont(QStringLiteral(":/qml/fonts/DejaVuSans.ttf"));
    QGuiApplication::setFont(QFont(QStringLiteral("DejaVu Sans")));

    chooseRenderer();
    GUIManager manager(config);
    dropOwnFolder(manager.engine());
    loadScreens(manager);

    watchdog.attach(qobject_cast<QQuickWindow*>(manager.engine().rootObjects().value(0)));

#ifdef QUELLAN_INSTRUMENTS
    const std::unique_ptr<ScreenRecorder> recorder = startRecorder(manager);

    // Measuring aid for the benchmarks in bench/: inert unless a QUELLAN_BENCH_
    // environment variable is set.
    BenchProbe probe;
    if (BenchProbe::enabled()) {
        probe.attach(qobject_cast<QQuickWindow*>(manager.engine().rootObjects().value(0)));
        probe.watchScreens(&manager);
    }
#endif
    return app.exec();
}
