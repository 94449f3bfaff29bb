// Loads the whole QML bundle (qrc:/qml/main.qml) offscreen, as the program does,
// with a fake GUI manager, walks every screen in both languages and fails on any
// warning or error the QML engine reports: a missing import, an unknown property,
// a failed binding, a picture that is not in the bundle.
#include <QPainter>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickItemGrabResult>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QtPlugin>
#include <QtTest>

#include "FakeManager.h"
#include "FreeVirtualKeyboardPlugin.h"
#include "TintedIconProvider.h"

Q_IMPORT_PLUGIN(FreeVirtualKeyboardPlugin)

namespace {
QStringList g_problems;
QtMessageHandler g_previous = nullptr;

void recordProblems(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg)
        g_problems << text;
    if (g_previous)
        g_previous(type, context, text);
}

// Items made by a Repeater have no QObject parent: search the visual tree.
QQuickItem* findItem(QQuickItem* root, const QString& name) {
    if (!root)
        return nullptr;
    if (root->objectName() == name)
        return root;
    for (QQuickItem* child : root->childItems()) {
        if (QQuickItem* found = findItem(child, name))
            return found;
    }
    return nullptr;
}

QQuickItem* findItem(QObject* window, const QString& name) {
    auto* quickWindow = qobject_cast<QQuickWindow*>(window);
    return quickWindow ? findItem(quickWindow->contentItem(), name) : nullptr;
}

// A real click through the window, so that anything lying over the item (the
// cursor area, the version label, another screen) would catch it instead.
bool click(QObject* window, QQuickItem* item) {
    auto* quickWindow = qobject_cast<QQuickWindow*>(window);
    if (!quickWindow || !item)
        return false;
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(quickWindow, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    return true;
}

const QStringList kScreens = {
    "InitPage",     "Busy",  "ScanCard",   "ScanBarcode",  "ScanScreens", "Valid",    "Invalid",
    "AlreadyValid", "Retry", "OutOfOrder", "OutOfService", "ScreenSaver", "Settings", "Login"};
}  // namespace

class TestQmlBundle : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void loadsEveryScreenWithoutWarnings();
    void showsTheScreenTheManagerNames();
    void scanPagesSwitchToEachOther();
    void showsErrorsInThePopup();
    void savesScreenshotsOnRequest();

private:
    QQuickItem* loader(QObject* window, const QString& name) const;
    QObject* load(QQmlApplicationEngine& engine, FakeManager& manager);
    void settle(int ms);
};

void TestQmlBundle::initTestCase() {
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.18"));
    QQuickStyle::setStyle(QStringLiteral("Material"));
    g_previous = qInstallMessageHandler(recordProblems);
}

void TestQmlBundle::init() {
    g_problems.clear();
}

void TestQmlBundle::cleanup() {
    if (!g_problems.isEmpty())
        QFAIL(qPrintable("QML reported problems:\n" + g_problems.join('\n')));
}

QQuickItem* TestQmlBundle::loader(QObject* window, const QString& name) const {
    return findItem(window, QStringLiteral("screen_") + name);
}

QObject* TestQmlBundle::load(QQmlApplicationEngine& engine, FakeManager& manager) {
    manager.setLanguage(QStringLiteral("el_GR"));
    engine.addImportPath(QStringLiteral("qrc:/"));
    TintedIconProvider::install(engine);
    engine.load(QUrl(QStringLiteral("qrc:/qml/main.qml")));
    if (engine.rootObjects().size() != 1)
        return nullptr;
    return engine.rootObjects().first();
}

// Lets timers, animations and deferred bindings run.
void TestQmlBundle::settle(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void TestQmlBundle::loadsEveryScreenWithoutWarnings() {
    QQmlApplicationEngine engine;
    // Owned by the engine, so that it outlives the window the engine deletes.
    FakeManager& manager = *new FakeManager(engine.rootContext(), &engine);
    QObject* window = load(engine, manager);
    QVERIFY(window);
    QCOMPARE(window->property("title").toString(), QStringLiteral("Validator"));
    QCOMPARE(window->property("width").toInt(), 480);
    QCOMPARE(window->property("height").toInt(), 800);
    QCOMPARE(window->property("currentScreen").toString(), QStringLiteral("Busy"));

    auto* version = findItem(window, QStringLiteral("version"));
    QVERIFY(version);
    QCOMPARE(version->property("text").toString(), QStringLiteral("v1.0.18"));

    // Every screen is loaded once, synchronously, at start; only "Busy" shows.
    for (const QString& name : kScreens) {
        QQuickItem* item = loader(window, name);
        QVERIFY2(item, qPrintable(name));
        QCOMPARE(item->property("status").toInt(), 1);  // Loader.Ready
        QVERIFY2(item->property("item").value<QObject*>(), qPrintable(name));
        QCOMPARE(item->isVisible(), name == QLatin1String("Busy"));
    }
    settle(1200);

    // Results of every kind in both languages, so each binding of each block runs.
    const QList<int> types = {0, 2, 5, 8, 10, 12, 13, 14, 15, 16};
    for (const QString& language : {QStringLiteral("en_IE"), QStringLiteral("el_GR")}) {
        manager.setLanguage(language);
        for (int type : types) {
            manager.setTransaction(QVariantMap{
                {"valid", true},
                {"type", type},
                {"denyReason", "The card is blocked"},
                {"denyReasonId", 250},
                {"fareProduct", "Adult 90'"},
                {"passengeType", "Adult"},
                {"details", QVariantMap{{"deducted", 1.5},
                                        {"remaining", type == 8 ? QVariant(2880) : QVariant(1.0)},
                                        {"expires", QDateTime::currentDateTime().addDays(2)},
                                        {"activationTimestamp", QDateTime()},
                                        {"transferRemainingMin", 90}}}});
            for (const QString& name : QStringList{"Valid", "AlreadyValid", "Invalid"}) {
                manager.setScreen(name, 3000);
                QCoreApplication::processEvents();
            }
        }
    }
    for (const QString& name : kScreens) {
        manager.setScreen(name, 0);
        settle(50);
    }
    settle(700);
}

// With QUELLAN_SCREENSHOTS naming a folder, saves every screen in both languages
// there, for a person to look at (a valid stored-journeys card on the result pages).
void TestQmlBundle::savesScreenshotsOnRequest() {
    const QString folder = qEnvironmentVariable("QUELLAN_SCREENSHOTS");
    if (folder.isEmpty())
        QSKIP("QUELLAN_SCREENSHOTS not set");
    QVERIFY(QDir().mkpath(folder));
    QQmlApplicationEngine engine;
    FakeManager& manager = *new FakeManager(engine.rootContext(), &engine);
    auto* window = qobject_cast<QQuickWindow*>(load(engine, manager));
    QVERIFY(window);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    manager.setMessage(QStringLiteral("#0002\nReader offline"));
    manager.setTransaction(
        QVariantMap{{"valid", true},
                    {"type", 5},
                    {"denyReason", "The card does not have sufficient balance"},
                    {"denyReasonId", 205},
                    {"fareProduct", "Adult 10 trips"},
                    {"details", QVariantMap{{"remaining", 7}, {"transferRemainingMin", 90}}}});
    for (const QString& language : {QStringLiteral("en_IE"), QStringLiteral("el_GR")}) {
        manager.setLanguage(language);
        for (const QString& name : kScreens) {
            manager.setScreen(name, 0);
            settle(100);
            QImage shot = window->grabWindow();
            if (shot.isNull()) {
                // The offscreen platform's backing store gives no image: render
                // the content through an item grab instead.
                QSharedPointer<QQuickItemGrabResult> grab = window->contentItem()->grabToImage();
                QVERIFY(grab);
                QSignalSpy ready(grab.data(), &QQuickItemGrabResult::ready);
                QVERIFY(ready.wait(5000));
                // The item grab is transparent where the window shows its colour.
                shot = QImage(grab->image().size(), QImage::Format_RGB32);
                shot.fill(window->color());
                QPainter(&shot).drawImage(0, 0, grab->image());
            }
            g_problems.clear();  // missing pictures are the other tests' business
            QVERIFY(!shot.isNull());
            QVERIFY(shot.save(QStringLiteral("%1/%2_%3.png").arg(folder, name, language)));
        }
    }
}

void TestQmlBundle::showsTheScreenTheManagerNames() {
    QQmlApplicationEngine engine;
    // Owned by the engine, so that it outlives the window the engine deletes.
    FakeManager& manager = *new FakeManager(engine.rootContext(), &engine);
    QObject* window = load(engine, manager);
    QVERIFY(window);
    auto* header = findItem(window, QStringLiteral("header"));
    QVERIFY(header);

    for (const QString& name : kScreens) {
        manager.setScreen(name, 3000);
        QCOMPARE(window->property("currentScreen").toString(), name);
        for (const QString& other : kScreens)
            QCOMPARE(loader(window, other)->isVisible(), other == name);
        // The header is hidden only on the settings area and the screen saver.
        const bool hidden =
            name == QLatin1String("Settings") || name == QLatin1String("ScreenSaver");
        QCOMPARE(header->isVisible(), !hidden);
    }

    // The header's hidden button asks the manager for the maintenance login.
    manager.setScreen(QStringLiteral("ScanScreens"), 0);
    manager.clearCalls();
    auto* clock = findItem(window, QStringLiteral("headerClock"));
    QVERIFY(clock);
    QVERIFY(QMetaObject::invokeMethod(clock, "pressAndHold"));
    QCOMPARE(manager.calls(), QStringList{"setMaintenanceScreen"});

    // The flag switches the language between Greek and English.
    QVERIFY(QTest::qWaitForWindowExposed(qobject_cast<QQuickWindow*>(window)));
    auto* flag = findItem(window, QStringLiteral("languageButton"));
    QVERIFY(flag);
    QCOMPARE(flag->property("icon").toUrl(), QUrl("qrc:/qml/images/Flags/uk.png"));
    QVERIFY(click(window, flag));
    QCOMPARE(manager.language(), QStringLiteral("en_IE"));
    QCOMPARE(flag->property("icon").toUrl(), QUrl("qrc:/qml/images/Flags/gr.png"));
    QCOMPARE(window->property("locale").value<QLocale>().name(), QStringLiteral("en_IE"));
    QVERIFY(click(window, flag));
    QCOMPARE(manager.language(), QStringLiteral("el_GR"));
    QCOMPARE(window->property("locale").value<QLocale>().name(), QStringLiteral("el_GR"));
}

void TestQmlBundle::scanPagesSwitchToEachOther() {
    QQmlApplicationEngine engine;
    // Owned by the engine, so that it outlives the window the engine deletes.
    FakeManager& manager = *new FakeManager(engine.rootContext(), &engine);
    QObject* window = load(engine, manager);
    QVERIFY(window);
    QVERIFY(QTest::qWaitForWindowExposed(qobject_cast<QQuickWindow*>(window)));
    manager.setScreen(QStringLiteral("ScanCard"), 0);
    manager.clearCalls();

    auto button = [&](const QString& screen) {
        auto* page = loader(window, screen)->property("item").value<QQuickItem*>();
        return findItem(page, QStringLiteral("switchButton"));
    };
    QVERIFY(button("ScanCard"));
    QVERIFY(click(window, button("ScanCard")));
    QCOMPARE(window->property("currentScreen").toString(), QStringLiteral("ScanBarcode"));
    QVERIFY(loader(window, "ScanBarcode")->isVisible());
    QVERIFY(click(window, button("ScanBarcode")));
    QCOMPARE(window->property("currentScreen").toString(), QStringLiteral("ScanCard"));
    // The manager was not asked: this switch is the page's own.
    QVERIFY(manager.calls().isEmpty());
    QCOMPARE(manager.screen(), QStringLiteral("ScanCard"));
}

void TestQmlBundle::showsErrorsInThePopup() {
    QQmlApplicationEngine engine;
    // Owned by the engine, so that it outlives the window the engine deletes.
    FakeManager& manager = *new FakeManager(engine.rootContext(), &engine);
    QObject* window = load(engine, manager);
    QVERIFY(window);
    auto* popup = window->findChild<QObject*>(QStringLiteral("errorPopup"));
    QVERIFY(popup);
    QCOMPARE(popup->property("opened").toBool(), false);

    manager.raiseError(QStringLiteral("Permission denied"));
    QTRY_VERIFY(popup->property("opened").toBool());
    QCOMPARE(popup->property("text").toString(), QStringLiteral("Permission denied"));
    QCOMPARE(popup->property("isDialog").toBool(), false);
}

QTEST_MAIN(TestQmlBundle)

#include "tst_qmlbundle.moc"
