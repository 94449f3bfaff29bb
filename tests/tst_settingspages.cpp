// The settings pages against the real application core: the GUI manager and its
// service managers on a real broker, a peer playing the device services with their
// example messages. Every page opens and closes on a StackView, as the settings
// shell shows them, without a QML warning; what a page asks of a service on opening,
// closing and saving reaches that service as a request.
#include <QPainter>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickItemGrabResult>
#include <QQuickWindow>
#include <QtTest>

#include "AppFixture.h"
#include "Ethernet.h"
#include "Event.h"
#include "EventManager.h"
#include "IPv4.h"
#include "Network.h"
#include "support/ServiceRig.h"

namespace {
QStringList g_problems;
QtMessageHandler g_previous = nullptr;

// QML warnings name the file they come from, or come under a "qml" or "js" category.
void recordQmlProblems(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    const QByteArray category(context.category ? context.category : "");
    if (type != QtDebugMsg && type != QtInfoMsg &&
        (text.contains(QLatin1String("qrc:/")) || category.startsWith("qml") ||
         category.startsWith("js"))) {
        g_problems << text;
    }
    if (g_previous) {
        g_previous(type, context, text);
    }
}

const QByteArray kHost = R"(
import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Window 2.15
Window {
    readonly property int depth: stack.depth
    function openPage(name) {
        return stack.push("qrc:/qml/screens/settings/" + name + ".qml", {}, StackView.Immediate);
    }
    function closePage() {
        stack.pop(StackView.Immediate);
    }
    width: 480
    height: 800
    visible: true
    StackView {
        id: stack
        anchors.fill: parent
        initialItem: Item {}
    }
}
)";
}  // namespace

class TestSettingsPages : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void pagesOpenAndCloseWithoutWarnings();
    void displayPageMonitorsTheBoardWhileOpen();
    void ethernetSaveReachesTheNetworkService();

private:
    // The application with the services' example states delivered.
    bool start(AppFixture& app);
    // A window with a StackView, as the settings shell has; it must go before the
    // application does, as the engine's objects go before the managers they show.
    std::unique_ptr<QObject> host(AppFixture& app);
    QQuickItem* open(QObject* stack, const QString& name);
    void close(QObject* stack);
    // With QUELLAN_SCREENSHOTS naming a folder, saves the window there as name.png.
    void screenshot(QObject* window, const QString& name);
};

void TestSettingsPages::init() {
    g_problems.clear();
}

void TestSettingsPages::cleanup() {
    qInstallMessageHandler(g_previous);
    g_previous = nullptr;
    if (!g_problems.isEmpty()) {
        QFAIL(qPrintable("QML reported problems:\n" + g_problems.join('\n')));
    }
}

bool TestSettingsPages::start(AppFixture& app) {
    if (!app.ready()) {
        return false;
    }
    // After the GUI manager's logger, so that both see every line.
    g_previous = qInstallMessageHandler(recordQmlProblems);
    const QList<QPair<QString, QString>> reports = {
        {"zorv/board/display", "board/display.json"},
        {"zorv/board/audio", "board/audio-unmuted.json"},
        {"zorv/inspector/audio", "inspector/audio.json"},
        {"zorv/network/status", "network/status.json"},
        {"zorv/network/ethernet/state", "network/ethernet-state-eth0.json"},
        {"zorv/network/ethernet/config", "network/ethernet-config-manual.json"},
        {"zorv/device/status", "update/status-pending.json"},
        {"zorv/device/clock/ntp/config", "clock/ntp-config.json"},
        {"zorv/device/clock/ntp/status", "clock/ntp-status-synced.json"}};
    EventManager& log = app.gui().eventLog();
    const QDateTime now = QDateTime::currentDateTime();
    log.push(new Event("Board", "Ignition off", "", now.addDays(-1)));
    log.push(new Event("Board", "Ignition on", "Engine started", now));
    manager::Ethernet* ethernet = app.gui().network().ethernet();
    auto delivered = [&] {
        return ethernet->config()->address() == QLatin1String("10.0.0.5") &&
               !app.gui().network().connectionState().isEmpty() &&
               !app.gui().update()->pending().isEmpty() &&
               app.gui().board().ambientLightSensor() != 0;
    };
    // The UI's subscriptions may still be on their way to the broker: report again
    // until the reports have arrived.
    for (int attempt = 0; attempt < 5; ++attempt) {
        for (const auto& report : reports) {
            if (!app.peer().publish(report.first, fixture(report.second))) {
                return false;
            }
        }
        if (waitUntil(delivered, 1000)) {
            return true;
        }
    }
    return false;
}

std::unique_ptr<QObject> TestSettingsPages::host(AppFixture& app) {
    QQmlEngine& engine = app.gui().engine();
    QQmlComponent component(&engine);
    component.setData(kHost, QUrl(QStringLiteral("qrc:/test/Host.qml")));
    std::unique_ptr<QObject> window(component.create(engine.rootContext()));
    if (!window) {
        qWarning() << component.errors();
    }
    return window;
}

QQuickItem* TestSettingsPages::open(QObject* stack, const QString& name) {
    QVariant page;
    QMetaObject::invokeMethod(stack, "openPage", Q_RETURN_ARG(QVariant, page),
                              Q_ARG(QVariant, name));
    return page.value<QQuickItem*>();
}

void TestSettingsPages::close(QObject* stack) {
    QMetaObject::invokeMethod(stack, "closePage");
    // Pages are deleted later; let their destruction handlers run.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

void TestSettingsPages::screenshot(QObject* window, const QString& name) {
    const QString folder = qEnvironmentVariable("QUELLAN_SCREENSHOTS");
    auto* quickWindow = qobject_cast<QQuickWindow*>(window);
    if (folder.isEmpty() || !quickWindow || !QDir().mkpath(folder)) {
        return;
    }
    // The offscreen platform gives no window image: grab the content instead.
    QSharedPointer<QQuickItemGrabResult> grab = quickWindow->contentItem()->grabToImage();
    QSignalSpy ready(grab.data(), &QQuickItemGrabResult::ready);
    if (!grab || !ready.wait(5000)) {
        return;
    }
    QImage shot(grab->image().size(), QImage::Format_RGB32);
    shot.fill(quickWindow->color());
    QPainter(&shot).drawImage(0, 0, grab->image());
    shot.save(QStringLiteral("%1/settings_%2.png").arg(folder, name));
}

void TestSettingsPages::pagesOpenAndCloseWithoutWarnings() {
    AppFixture app;
    QVERIFY(start(app));
    std::unique_ptr<QObject> window = host(app);
    QObject* stack = window.get();
    QVERIFY(stack);
    const QString clockGet = QStringLiteral("zorv/device/clock/ntp/config/get");
    const QStringList pages = {"Region",         "Audio",  "Display", "Network",
                               "EthernetConfig", "Update", "EventLog"};
    for (const QString& name : pages) {
        const int clockRequests = app.peer().count(clockGet);
        QQuickItem* page = open(stack, name);
        QVERIFY2(page, qPrintable(name));
        QVERIFY(!page->property("title").toString().isEmpty());
        QTest::qWait(1100);  // the pages' one-second timers and monitors run once
        screenshot(stack, name);
        close(stack);
        // Only the Region page asks the clock service again when it opens.
        if (name == QLatin1String("Region")) {
            QVERIFY(waitUntil([&] { return app.peer().count(clockGet) > clockRequests; }));
        }
    }
}

void TestSettingsPages::displayPageMonitorsTheBoardWhileOpen() {
    AppFixture app;
    QVERIFY(start(app));
    std::unique_ptr<QObject> window = host(app);
    QObject* stack = window.get();
    QVERIFY(stack);
    const QString displayGet = QStringLiteral("zorv/board/display/get");
    const int before = app.peer().count(displayGet);
    QVERIFY(open(stack, QStringLiteral("Display")));
    QVERIFY(waitUntil([&] { return app.peer().count(displayGet) >= before + 2; }, 5000));
    close(stack);
    QTest::qWait(300);  // a request already on its way
    const int after = app.peer().count(displayGet);
    QTest::qWait(2500);
    QCOMPARE(app.peer().count(displayGet), after);
}

void TestSettingsPages::ethernetSaveReachesTheNetworkService() {
    AppFixture app;
    QVERIFY(start(app));
    std::unique_ptr<QObject> window = host(app);
    QObject* stack = window.get();
    QVERIFY(stack);
    QQuickItem* page = open(stack, QStringLiteral("EthernetConfig"));
    QVERIFY(page);
    // Prefilled from the stored settings the service reported.
    auto* address = page->findChild<QObject*>(QStringLiteral("addressField"));
    QVERIFY(address);
    QCOMPARE(address->property("text").toString(), QStringLiteral("10.0.0.5"));
    QVERIFY(address->property("enabled").toBool());

    // A refused address stays on the page and sends nothing.
    const QString setTopic = QStringLiteral("zorv/network/ethernet/config/set");
    address->setProperty("text", QStringLiteral("10.0.0.005"));
    QMetaObject::invokeMethod(page, "save");
    auto* popup = page->findChild<QObject*>(QStringLiteral("messagePopup"));
    QVERIFY(popup);
    QCOMPARE(popup->property("text").toString(),
             QStringLiteral("IPv4 address is not a valid IP address"));
    QTest::qWait(300);
    QCOMPARE(app.peer().count(setTopic), 0);
    QMetaObject::invokeMethod(popup, "close");

    address->setProperty("text", QStringLiteral("10.0.0.7"));
    page->findChild<QObject*>(QStringLiteral("dns1Field"))->setProperty("text", QString());
    QMetaObject::invokeMethod(page, "save");
    QVERIFY(waitUntil([&] { return app.peer().count(setTopic) == 1; }));
    QCOMPARE(app.requests(setTopic).first(), indented(R"({"interface": "eth0", "method": "manual",
        "address": "10.0.0.7", "netmask": "255.255.255.0", "gateway": "10.0.0.1",
        "dns0": "10.0.0.1", "dns1": ""})"));
    QCOMPARE(stack->property("depth").toInt(), 1);
}

QTEST_MAIN(TestSettingsPages)
#include "tst_settingspages.moc"
