// Compiles the QML files of Qt's Material style, which the validator's screens are
// drawn with, into a QML disk cache folder, for the service to read:
//
//   quellan-qmlcache FOLDER
//
// Qt Quick compiles a QML file that it reads from disk (rather than from a program's
// resources, which ours are compiled into ahead of time) at every start, unless a
// disk cache holds its compiled form. The service may not keep that cache itself: the
// system is read-only to it, and compiled code that the service could write and then
// load at its next start would be code it could plant. So the package's installation
// script runs this tool as root into /var/cache/quellan/qml, and the unit points the
// service there (QML_DISK_CACHE_PATH) with read access only. Qt checks each cached
// file against its source's time stamp and its own build, and compiles the source as
// before when either differs (Qt updated before this tool ran again): a stale cache
// costs start time, never a wrong screen.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] != '/') {
        std::fprintf(stderr, "usage: quellan-qmlcache FOLDER (an absolute path)\n");
        return 2;
    }
    // Read by Qt when it saves the first compiled file. Nothing is shown: the platform
    // without a display serves, at installation time on a board or in an image build.
    qputenv("QML_DISK_CACHE_PATH", argv[1]);
    qunsetenv("QML_DISABLE_DISK_CACHE");
    qunsetenv("QML_FORCE_DISK_CACHE");
    qputenv("QT_QPA_PLATFORM", "minimal");
    // An installation script has no session: a runtime folder of its own spares Qt's
    // warning about the missing one in the package manager's output.
    const QTemporaryDir runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime.isValid()) {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    }
    QGuiApplication app(argc, argv);
    if (!QDir().mkpath(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "quellan-qmlcache: cannot make %s\n", argv[1]);
        return 1;
    }

    const QDir style(QLibraryInfo::location(QLibraryInfo::Qml2ImportsPath) +
                     QStringLiteral("/QtQuick/Controls.2/Material"));
    QQmlEngine engine;
    int compiled = 0;
    for (const QFileInfo& file :
         style.entryInfoList({QStringLiteral("*.qml")}, QDir::Files, QDir::Name)) {
        // A file on disk loads synchronously; compiling it writes its cache file.
        QQmlComponent component(&engine, QUrl::fromLocalFile(file.filePath()));
        if (component.isError()) {
            std::fprintf(stderr, "quellan-qmlcache: %s: %s\n", qPrintable(file.filePath()),
                         qPrintable(component.errorString().trimmed()));
            continue;
        }
        ++compiled;
    }
    std::printf("quellan-qmlcache: %d QML files of %s compiled into %s\n", compiled,
                qPrintable(style.path()), argv[1]);
    return compiled > 0 ? 0 : 1;
}
