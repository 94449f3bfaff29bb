// Floor for idle cost: a 480 x 800 window showing one static image (the file named
// on the command line). With "--tick <ms>" it swaps between the image and its
// mirror at that interval: the least a screen animated by a frame timer can cost.
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickWindow>
#include <QStringList>
#include <QUrl>

#include "BenchProbe.h"

int main(int argc, char** argv) {
    QGuiApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() < 2) {
        qCritical("usage: floor_image <image> [--tick <ms>]");
        return 2;
    }
    const int tick =
        args.size() >= 4 && args.at(2) == QLatin1String("--tick") ? args.at(3).toInt() : 0;
    QQmlApplicationEngine engine;
    engine.rootContext()->setContextProperty(QStringLiteral("imageUrl"),
                                             QUrl::fromLocalFile(args.at(1)));
    engine.rootContext()->setContextProperty(QStringLiteral("tick"), tick);
    engine.loadData(
        QByteArrayLiteral("import QtQuick 2.15\n"
                          "import QtQuick.Window 2.15\n"
                          "Window {\n"
                          "    visible: true\n"
                          "    width: 480\n"
                          "    height: 800\n"
                          "    Image {\n"
                          "        id: image\n"
                          "        anchors.fill: parent\n"
                          "        source: imageUrl\n"
                          "    }\n"
                          "    Timer {\n"
                          "        interval: Math.max(1, tick)\n"
                          "        running: tick > 0\n"
                          "        repeat: true\n"
                          "        onTriggered: image.mirror = !image.mirror\n"
                          "    }\n"
                          "}\n"));
    BenchProbe probe;
    probe.attach(qobject_cast<QQuickWindow*>(engine.rootObjects().value(0)));
    return app.exec();
}
