// Floor for start-up and memory: the least a 480 x 800 Quick Controls 2 window
// with the device's style costs on this machine.
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>

#include "BenchProbe.h"

int main(int argc, char** argv) {
    QGuiApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Material"));
    QQmlApplicationEngine engine;
    engine.loadData(
        QByteArrayLiteral("import QtQuick 2.15\n"
                          "import QtQuick.Controls 2.15\n"
                          "ApplicationWindow {\n"
                          "    visible: true\n"
                          "    width: 480\n"
                          "    height: 800\n"
                          "    Label { anchors.centerIn: parent; text: \"Floor\" }\n"
                          "}\n"));
    BenchProbe probe;
    probe.attach(qobject_cast<QQuickWindow*>(engine.rootObjects().value(0)));
    return app.exec();
}
