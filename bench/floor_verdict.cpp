// Floor for the passenger's verdict: the least a 480 x 800 window costs to show the
// verdict of a scan result that arrives over MQTT. It shows a prepared picture of the
// idle screen, subscribes to the validator's scan results on the broker (libmosquitto
// on the Qt event loop, as the program drives it), reads each result's verdict (valid,
// already validated, invalid) and shows that verdict's prepared picture for 3 s.
//
//   floor_verdict <idle> <valid> <already> <invalid> [host [port]]
#include <mosquitto.h>

#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickWindow>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include "BenchProbe.h"

namespace {

// The verdict's page as the program names it, from a scan result of the validator.
QString verdict(const QByteArray& payload) {
    const QJsonObject transaction =
        QJsonDocument::fromJson(payload).object().value(QStringLiteral("transaction")).toObject();
    if (transaction.value(QStringLiteral("result")).toBool()) {
        return QStringLiteral("Valid");
    }
    const int deny = transaction.value(QStringLiteral("denyReason"))
                         .toObject()
                         .value(QStringLiteral("id"))
                         .toInt();
    return deny == 103 || deny == 207 ? QStringLiteral("AlreadyValid") : QStringLiteral("Invalid");
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() < 5) {
        qCritical("usage: floor_verdict <idle> <valid> <already> <invalid> [host [port]]");
        return 2;
    }
    QQmlApplicationEngine engine;
    const char* const names[] = {"idleUrl", "validUrl", "alreadyUrl", "invalidUrl"};
    for (int i = 0; i < 4; ++i) {
        engine.rootContext()->setContextProperty(QLatin1String(names[i]),
                                                 QUrl::fromLocalFile(args.at(i + 1)));
    }
    engine.loadData(
        QByteArrayLiteral("import QtQuick 2.15\n"
                          "import QtQuick.Window 2.15\n"
                          "Window {\n"
                          "    property string verdict\n"
                          "    visible: true\n"
                          "    width: 480\n"
                          "    height: 800\n"
                          "    Image { anchors.fill: parent; source: idleUrl }\n"
                          "    Image {\n"
                          "        anchors.fill: parent\n"
                          "        source: validUrl\n"
                          "        visible: verdict === \"Valid\"\n"
                          "    }\n"
                          "    Image {\n"
                          "        anchors.fill: parent\n"
                          "        source: alreadyUrl\n"
                          "        visible: verdict === \"AlreadyValid\"\n"
                          "    }\n"
                          "    Image {\n"
                          "        anchors.fill: parent\n"
                          "        source: invalidUrl\n"
                          "        visible: verdict === \"Invalid\"\n"
                          "    }\n"
                          "}\n"));
    QObject* window = engine.rootObjects().value(0);
    if (window == nullptr) {
        return 1;
    }
    BenchProbe probe;
    probe.attach(qobject_cast<QQuickWindow*>(window));

    QTimer back;  // the page's time, as the program's, then the idle screen
    back.setSingleShot(true);
    back.setInterval(3000);
    QObject::connect(&back, &QTimer::timeout, window,
                     [window] { window->setProperty("verdict", QString()); });

    mosquitto_lib_init();
    struct Shown {
        QObject* window;
        QTimer* back;
    } shown{window, &back};
    mosquitto* mosq = mosquitto_new(nullptr, true, &shown);
    mosquitto_message_callback_set(mosq, [](mosquitto*, void* data,
                                            const mosquitto_message* message) {
        const auto* s = static_cast<Shown*>(data);
        s->window->setProperty(
            "verdict",
            verdict(QByteArray(static_cast<const char*>(message->payload), message->payloadlen)));
        s->back->start();
    });
    const QByteArray host = args.value(5, QStringLiteral("localhost")).toUtf8();
    if (mosquitto_connect(mosq, host.constData(), args.value(6, QStringLiteral("1883")).toInt(),
                          60) != MOSQ_ERR_SUCCESS) {
        qCritical("floor_verdict: no broker at %s", host.constData());
        return 1;
    }
    mosquitto_subscribe(mosq, nullptr, "zorv/blm/+/scanned", 0);
    QSocketNotifier readable(mosquitto_socket(mosq), QSocketNotifier::Read);
    QSocketNotifier writable(mosquitto_socket(mosq), QSocketNotifier::Write);
    const auto wantWrite = [&] { writable.setEnabled(mosquitto_want_write(mosq)); };
    QObject::connect(&readable, &QSocketNotifier::activated, [&] {
        mosquitto_loop_read(mosq, 1);
        wantWrite();
    });
    QObject::connect(&writable, &QSocketNotifier::activated, [&] {
        mosquitto_loop_write(mosq, 1);
        wantWrite();
    });
    QTimer misc;  // keep-alive pings
    QObject::connect(&misc, &QTimer::timeout, [&] {
        mosquitto_loop_misc(mosq);
        wantWrite();
    });
    misc.start(1000);
    wantWrite();
    const int rc = app.exec();
    mosquitto_destroy(mosq);
    mosquitto_lib_cleanup();
    return rc;
}
