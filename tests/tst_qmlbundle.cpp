// Loads the whole QML bundle (qrc:/qml/main.qml) offscreen through the real GUI
// manager, as the program does, shows every screen and fails on any warning the QML
// engine reports: a missing import, an unknown property, a failed binding, a picture
// that is not in the bundle.
#include <QQuickItem>
#include <QQuickWindow>
#include <QtPlugin>
#include <QtTest>

#include "AppFixture.h"
#include "LogCapture.h"
#include "support/Window.h"

Q_IMPORT_PLUGIN(FreeVirtualKeyboardPlugin)

namespace {
const QStringList kScreens = {
    "InitPage",     "Busy",  "ScanCard",   "ScanBarcode",  "ScanScreens", "Valid",    "Invalid",
    "AlreadyValid", "Retry", "OutOfOrder", "OutOfService", "ScreenSaver", "Settings", "Login"};
}  // namespace

class TestQmlBundle : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationVersion(QStringLiteral("1.0.18")); }

    void everyScreenWithoutWarnings() {
        AppFixture app({{QStringLiteral("gui/locale"), QStringLiteral("el_GR")}});
        QVERIFY(app.ready());
        GUIManager& gui = app.gui();
        LogCapture log;
        gui.load();
        auto* window = qobject_cast<QQuickWindow*>(gui.engine().rootObjects().value(0));
        QVERIFY(window && QTest::qWaitForWindowExposed(window));
        QQuickItem* root = window->contentItem();
        QCOMPARE(window->title(), QStringLiteral("Validator"));
        QCOMPARE(window->size(), QSize(480, 800));
        QCOMPARE(findItem(root, "version")->property("text").toString(), QStringLiteral("v1.0.18"));

        // Every screen is loaded once, at start; only the one the manager names shows, and
        // the header is hidden only on the settings area and the screen saver.
        QQuickItem* header = findItem(root, "header");
        for (const QString& name : kScreens) {
            gui.setScreen(name, 0);
            QCOMPARE(window->property("currentScreen").toString(), name);
            for (const QString& other : kScreens) {
                QQuickItem* loader = findItem(root, "screen_" + other);
                QVERIFY2(loader && loader->property("item").value<QObject*>(), qPrintable(other));
                QCOMPARE(loader->isVisible(), other == name);
            }
            QCOMPARE(header->isVisible(), name != "Settings" && name != "ScreenSaver");
            QTest::qWait(50);
        }

        // The card and ticket pages each run through all the pictures of their folder.
        for (const char* name : {"screen_ScanCard", "screen_ScanBarcode"}) {
            auto* page = findItem(root, name)->property("item").value<QObject*>();
            const QDir frames(page->property("frameFolder").toString().mid(3));  // "qrc:/" to ":/"
            QCOMPARE(page->property("lastFrame").toInt() + 1, frames.entryList({"*.png"}).size());
        }
        // The combined screen alone: card frames 0 to 5, then ticket frames 0 to 7, and so on.
        auto* scan = findItem(root, "screen_ScanScreens")->property("item").value<QObject*>();
        QVERIFY(scan->setProperty("mode", 0) && scan->setProperty("frame", 0));
        QString modes;
        for (int tick = 0; tick < 15; ++tick) {
            QVERIFY(
                QMetaObject::invokeMethod(scan->findChild<QObject*>("frameTimer"), "triggered"));
            modes += scan->property("mode").toString() + scan->property("frame").toString();
        }
        QCOMPARE(modes, "010203040510111213141516170001");

        // The card and ticket pages switch to each other on their own, without the manager.
        gui.setScreen(QStringLiteral("ScanCard"), 0);
        tap(window, findItem(findItem(root, "screen_ScanCard"), "switchButton"));
        QCOMPARE(window->property("currentScreen").toString(), QStringLiteral("ScanBarcode"));
        tap(window, findItem(findItem(root, "screen_ScanBarcode"), "switchButton"));
        QCOMPARE(window->property("currentScreen").toString(), QStringLiteral("ScanCard"));
        QCOMPARE(gui.screen(), QStringLiteral("ScanCard"));

        // The flag switches the language between Greek and English, kept in the
        // configuration, with the catalogue and the locale that go with it.
        QQuickItem* flag = findItem(root, "languageButton");
        QCOMPARE(flag->property("icon").toUrl(), QUrl("qrc:/qml/images/Flags/uk.png"));
        tap(window, flag);
        QCOMPARE(app.config().get(QStringLiteral("gui/locale")).toString(),
                 QStringLiteral("en_IE"));
        QCOMPARE(flag->property("icon").toUrl(), QUrl("qrc:/qml/images/Flags/gr.png"));
        QCOMPARE(window->property("locale").value<QLocale>().name(), QStringLiteral("en_IE"));
        QCOMPARE(QLocale().name(), QStringLiteral("en_IE"));
        QCOMPARE(QCoreApplication::translate("GUIManager", "Exiting"), QStringLiteral("Exiting"));
        tap(window, flag);
        QCOMPARE(gui.language(), QStringLiteral("el_GR"));
        QCOMPARE(QCoreApplication::translate("GUIManager", "Exiting"), QStringLiteral("Έξοδος"));

        // Errors reach the technician in the popup.
        auto* popup = window->findChild<QObject*>(QStringLiteral("errorPopup"));
        emit gui.errorOccured(QStringLiteral("Permission denied"));
        QTRY_VERIFY(popup->property("opened").toBool());
        QCOMPARE(popup->property("text").toString(), QStringLiteral("Permission denied"));
        QTest::qWait(300);
        const QStringList problems =
            (log.lines(QtWarningMsg) + log.lines(QtCriticalMsg)).filter(QStringLiteral("qrc:/"));
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    }
};

QTEST_MAIN(TestQmlBundle)
#include "tst_qmlbundle.moc"
