// Every passenger screen through the real GUI manager and QML bundle, the services played
// by a peer on a real broker. Each screen, and each popup over it, is saved as a picture in
// Greek and English (build/screenshots/<renderer>/passenger); the GUI manager must still
// name that screen when it is taken, and Qt may not complain about the QML while it shows.
#include <QQuickItem>
#include <QQuickWindow>
#include <QtPlugin>
#include <QtTest>

#include "AppFixture.h"
#include "LogCapture.h"
#include "support/Window.h"

Q_IMPORT_PLUGIN(FreeVirtualKeyboardPlugin)
// The screens' pictures read by the program's own PNG reader, as on the device.
Q_IMPORT_PLUGIN(PngReaderPlugin)

namespace {

QJsonObject ticket(bool valid, int type, int deny, const char* card) {
    QJsonObject t{{"result", valid},
                  {"type", type},
                  {"fareProductName", "Adult 90 minutes"},
                  {"denyReason", QJsonObject{{"id", deny}}}};
    if (card) {
        t.insert("card", AppFixture::object(card));
    }
    return t;
}

const QStringList kScreens = {
    "InitPage",     "Busy",  "ScanCard",   "ScanBarcode",  "ScanScreens", "Valid",    "Invalid",
    "AlreadyValid", "Retry", "OutOfOrder", "OutOfService", "ScreenSaver", "Settings", "Login"};

}  // namespace

class TestScreens : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QCoreApplication::setApplicationName("Quellan");
        QCoreApplication::setApplicationVersion("1.0.18-1-g376f268");
    }

    // The whole bundle (qrc:/qml/main.qml) as the program loads it: every screen is made
    // once and shown when named, the card and ticket pages animate and switch, the flag
    // changes the language, errors reach the popup, and the QML engine warns of nothing
    // (a missing import, an unknown property, a failed binding, a missing picture).
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
        QCOMPARE(findItem(root, "version")->property("text").toString(),
                 QStringLiteral("v1.0.18-1-g376f268"));

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
        // It ticks only while shown: under a verdict or the settings it waits.
        auto* scan = findItem(root, "screen_ScanScreens")->property("item").value<QObject*>();
        auto* frameTimer = scan->findChild<QObject*>("frameTimer");
        QVERIFY(!frameTimer->property("running").toBool());
        gui.setScreen(QStringLiteral("ScanScreens"), 0);
        QVERIFY(frameTimer->property("running").toBool());
        QVERIFY(scan->setProperty("mode", 0) && scan->setProperty("frame", 0));
        QString modes;
        for (int tick = 0; tick < 15; ++tick) {
            QVERIFY(QMetaObject::invokeMethod(frameTimer, "triggered"));
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
        QVERIFY(!window->findChild<QObject*>(QStringLiteral("errorPopup")));
        emit gui.errorOccured(QStringLiteral("Permission denied"));
        auto* popup = window->findChild<QObject*>(QStringLiteral("errorPopup"));
        QVERIFY(popup);
        // In the middle of the window, wherever the popup is made.
        auto* box = popup->property("background").value<QQuickItem*>();
        QCOMPARE(box->mapToScene(QPointF(box->width(), box->height()) / 2),
                 QPointF(window->width(), window->height()) / 2);
        QTRY_VERIFY(popup->property("opened").toBool());
        QCOMPARE(popup->property("text").toString(), QStringLiteral("Permission denied"));
        QTest::qWait(300);
        const QStringList problems =
            (log.lines(QtWarningMsg) + log.lines(QtCriticalMsg)).filter(QStringLiteral("qrc:/"));
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    }

    void everyScreenInBothLanguages_data() {
        QTest::addColumn<QString>("language");
        QTest::newRow("greek") << "el_GR";
        QTest::newRow("english") << "en_IE";
    }

    void everyScreenInBothLanguages() {
        QFETCH(QString, language);
        AppFixture app({{"gui/locale", language}});
        QVERIFY(app.ready());
        LogCapture log;  // after the program's own logger is in place
        m_log = &log;
        app.gui().load();
        int n = 0;
        show(app, "Busy", language, n++);

        app.ignition(true);
        app.validatorOnline();
        show(app, "ScanScreens", language, n++);

        const struct {
            QJsonObject transaction;
            const char* screen;
        } results[] = {
            {ticket(true, 2, 0, R"({"balanceBefore": 1250, "balanceAfter": 1130})"), "Valid"},
            {ticket(true, 5, 0, R"({"storedJourneys": {"after": 9, "transferRemainingMin": 75}})"),
             "Valid"},
            {ticket(true, 8, 0, R"({"periodPass": {"remainingDays": 12}})"), "Valid"},
            {ticket(true, 0, 0, nullptr), "Valid"},
            {ticket(false, 5, 207,
                    R"({"storedJourneys": {"after": 3, "transferRemainingMin": 20}})"),
             "AlreadyValid"},
            {ticket(false, 2, 205, R"({"balanceBefore": 40, "balanceAfter": 40})"), "Invalid"},
            {ticket(false, 2, 206, nullptr), "Invalid"},
        };
        for (const auto& result : results) {
            app.scan(result.transaction);
            show(app, QString::fromLatin1(result.screen), language, n++);
        }

        app.publish("zorv/blm/rfid/retry", QJsonObject());
        show(app, "Retry", language, n++);

        app.gui().setShowErrorDesc(true);
        app.validatorStatus(AppFixture::object(
            R"({"service": true, "state": {"hasRfid": true, "hasNtp": false}})"));
        show(app, "OutOfOrder", language, n++);

        app.validatorStatus(AppFixture::object(
            R"({"service": true, "state": {"hasRfid": true, "hasRoute": false}})"));
        show(app, "OutOfService", language, n++);

        app.ignition(false);
        show(app, "ScreenSaver", language, n++);

        app.ignition(true);
        QTRY_VERIFY(app.part<manager::Board>("board").ignition());
        app.gui().setMaintenanceScreen();
        show(app, "Login", language, n++);

        // The first start's page with its confirmation, and the error popup.
        app.gui().setDeviceId(QString());
        app.gui().setIdleScreen();
        show(app, "InitPage", language, n++);
        auto* window = qobject_cast<QQuickWindow*>(app.gui().engine().rootObjects().value(0));
        auto* initPage = findItem(window->contentItem(), "screen_InitPage")
                             ->property("item")
                             .value<QQuickItem*>();
        QVERIFY(initPage);
        findItem(initPage, "serialField")->setProperty("text", "K12345678");
        QVERIFY(QMetaObject::invokeMethod(initPage, "requestSave"));
        QObject* confirm = initPage->findChild<QObject*>("confirmPopup");
        QVERIFY(confirm);
        show(app, "InitPage", language, n++, confirm);
        QCOMPARE(confirm->property("text").toString(),
                 "Please confirm the serial number\n\nK12345678");
        // "No" keeps the page, with no number.
        auto* answers = confirm->property("contentItem").value<QQuickItem*>();
        tap(window, findItem(answers, "noButton"));
        QTRY_VERIFY(!confirm->property("visible").toBool());
        QCOMPARE(app.gui().deviceId(), QString());
        emit app.gui().errorOccured("No space left on device");
        QObject* error = window->findChild<QObject*>("errorPopup");
        QVERIFY(error);
        show(app, "InitPage", language, n++, error);
        QVERIFY(QMetaObject::invokeMethod(error, "close"));
        QTRY_VERIFY(!error->property("visible").toBool());
        // "Yes" hands the number to the GUI manager.
        QVERIFY(QMetaObject::invokeMethod(initPage, "requestSave"));
        QTRY_VERIFY(confirm->property("opened").toBool());
        tap(window, findItem(answers, "yesButton"));
        QTRY_COMPARE(app.gui().deviceId(), QStringLiteral("K12345678"));
    }

private:
    // popup: open over the screen in the picture, named after it.
    void show(AppFixture& app, const QString& expected, const QString& language, int index,
              QObject* popup = nullptr) {
        QTRY_COMPARE(app.gui().screen(), expected);
        auto* window = qobject_cast<QQuickWindow*>(app.gui().engine().rootObjects().value(0));
        QVERIFY(window);
        QQuickItem* loader = findItem(window->contentItem(), "screen_" + expected);
        QVERIFY2(loader, qPrintable(expected));
        QTRY_VERIFY(loader->isVisible());
        if (popup) {
            QTRY_VERIFY(popup->property("opened").toBool());
        }
        QTest::qWait(350);  // let the frame timers and bindings settle
        const QImage image = windowShot(window);
        QVERIFY(!image.isNull());
        // What the picture shows is what the GUI manager names now, with no keyboard:
        // no text field has focus.
        QCOMPARE(app.gui().screen(), expected);
        QCOMPARE(visibleKeyboards(window->contentItem()), 0);
        QVERIFY(!popup || popup->property("opened").toBool());
        const QStringList warnings = m_log->qmlWarnings();
        QVERIFY2(warnings.isEmpty(), qPrintable(expected + ": " + warnings.join('\n')));

        const QString folder = galleryFolder(window, "passenger/" + language);
        QVERIFY(!folder.isEmpty());
        QVERIFY(image.save(
            QString("%1/%2_%3%4.png")
                .arg(folder)
                .arg(index, 2, 10, QLatin1Char('0'))
                .arg(expected, popup ? QLatin1Char('_') + popup->objectName() : QString())));
    }

    LogCapture* m_log = nullptr;
};

QTEST_MAIN(TestScreens)
#include "tst_screens.moc"
