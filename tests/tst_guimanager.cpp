// The screen flow of the passenger display, driven through a real broker by a peer
// that plays the validator, board and inspector services.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QQmlContext>
#include <QSignalSpy>
#include <QtTest>

#include "AppFixture.h"
#include "LogCapture.h"

namespace {
const QString kAudioPlay = QStringLiteral("zorv/inspector/audio/play");
const QString kRfidEnable = QStringLiteral("zorv/rfid/enable");
const QString kBarcodeEnable = QStringLiteral("zorv/barcode/enable");

QJsonObject tx(bool valid, int type, int deny = 0) {
    return QJsonObject{{QStringLiteral("result"), valid},
                       {QStringLiteral("type"), type},
                       {QStringLiteral("fareProductName"), QStringLiteral("Single trip")},
                       {QStringLiteral("denyReason"), QJsonObject{{QStringLiteral("id"), deny}}}};
}

QString soundOf(const QByteArray& request) {
    return AppFixture::object(request).value(QStringLiteral("filepath")).toString();
}
}  // namespace

class TestGUIManager : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QCoreApplication::setApplicationName(QStringLiteral("Quellan"));
        QCoreApplication::setApplicationVersion(QStringLiteral("1.0.18-1-g376f268"));
    }
    void startsBusyAndAnnouncesItself();
    void idleChoiceFollowsValidatorStatus();
    void outOfOrderNeedsIgnition();
    void validationsShowResultsWithSounds();
    void secondValidationRestartsTimer();
    void sessionSuppressesScreens();
    void cardRetryShowsRetry();
    void maintenanceButtonTogglesLogin();
    void ignitionOffShowsScreenSaverAndEndsSession();
    void displaySwitchesOffOnOutOfOrder();
    void boardShutdownDelayKeepsMargin();
    void exitLeavesEventLoopAfterTwoSeconds();
    void deviceIdFileAndInitPage();
    void languageSwitching();
    void brokerLossShowsDisconnected();
    void animationSwitchNeverBelowFrameTick();
};

void TestGUIManager::startsBusyAndAnnouncesItself() {
    AppFixture app;
    QVERIFY(app.ready());
    QCOMPARE(app.gui().screen(), QStringLiteral("Busy"));
    QCOMPARE(app.gui().message(), QStringLiteral("Connected"));
    QVERIFY(app.gui().screenTimer().isActive());
    QCOMPARE(app.requests(QStringLiteral("zorv/ui/info")).size(), 1);
    QCOMPARE(app.requests(QStringLiteral("zorv/ui/status")).size(), 1);
    QCOMPARE(app.requests(QStringLiteral("zorv/ui/status")).first(),
             QByteArray("{\n    \"service\": true,\n    \"technician\": false\n}\n"));
    // The transaction property holds an empty transaction until the first validation.
    const QVariantMap transaction =
        app.gui().engine().rootContext()->contextProperty(QStringLiteral("transaction")).toMap();
    QCOMPARE(transaction.value(QStringLiteral("valid")).toBool(), false);
    QVERIFY(transaction.contains(QStringLiteral("passengeType")));
}

void TestGUIManager::idleChoiceFollowsValidatorStatus() {
    AppFixture app;
    QVERIFY(app.ready());
    app.ignition(true);
    QTRY_VERIFY(app.gui().board().ignition());

    app.validatorStatus(AppFixture::object(R"({"service": true, "state": {"init": true}})"));
    QTRY_COMPARE(app.gui().screen(), QStringLiteral("Busy"));
    QCOMPARE(app.gui().message(), QStringLiteral("Please Wait"));

    // degraded: both readers on, then the scan screens
    app.validatorStatus(AppFixture::object(
        R"({"service": true, "state": {"hasRfid": true, "hasRoute": true, "hasQr": true, "hasObu": false}})"));
    QTRY_COMPARE(app.gui().screen(), QStringLiteral("ScanScreens"));
    QTRY_COMPARE(app.requests(kRfidEnable).size(), 1);
    QCOMPARE(app.requests(kRfidEnable).first(), QByteArray("{\n    \"autoread\": true\n}\n"));
    QTRY_COMPARE(app.requests(kBarcodeEnable).size(), 1);

    app.validatorStatus(
        AppFixture::object(R"({"service": true, "state": {"hasRfid": true, "hasRoute": false}})"));
    QTRY_COMPARE(app.gui().screen(), QStringLiteral("OutOfService"));

    app.validatorStatus(AppFixture::object(R"({"service": true, "state": {"hasRfid": false}})"));
    QTRY_COMPARE(app.gui().screen(), QStringLiteral("OutOfOrder"));
    QCOMPARE(app.gui().message(), QStringLiteral("#0004"));

    app.gui().setShowErrorDesc(true);
    QTRY_COMPARE(app.gui().message(), QStringLiteral("#0004\nRFID is not operational"));
}

void TestGUIManager::outOfOrderNeedsIgnition() {
    AppFixture app;
    QVERIFY(app.ready());
    // Until the board has reported the ignition on, a silent validator cannot bring up
    // the out-of-order screen: the start-up screen stays.
    app.validatorStatus(AppFixture::object(R"({"service": false})"));
    QTRY_COMPARE(app.gui().validatorManager().status(), QStringLiteral("offline"));
    QCOMPARE(app.gui().screen(), QStringLiteral("Busy"));

    // Readers reported switched on by their services.
    const char* readersOn = R"({"service": true,
        "device": {"rfid": {"state": 2, "active": true}, "barcode": {"enabled": true}},
        "state": {"hasRfid": true, "hasRoute": true, "hasQr": true, "hasObu": true}})";
    app.ignition(true);
    app.validatorStatus(AppFixture::object(readersOn));
    QTRY_COMPARE(app.gui().screen(), QStringLiteral("ScanScreens"));

    app.ignition(false);
    QTRY_COMPARE(app.gui().screen(), QStringLiteral("ScreenSaver"));
    app.peer().clear();
    app.validatorStatus(AppFixture::object(
        R"({"service": false, "device": {"rfid": {"state": 2}, "barcode": {"enabled": true}}})"));
    QTRY_COMPARE(app.requests(QStringLiteral("zorv/rfid/disable")).size(), 1);
    QTRY_COMPARE(app.requests(QStringLiteral("zorv/barcode/disable")).size(), 1);
    QCOMPARE(app.gui().screen(), QStringLiteral("ScreenSaver"));
}

void TestGUIManager::validationsShowResultsWithSounds() {
    AppFixture app;
    QVERIFY(app.ready());
    app.ignition(true);
    app.validatorOnline();
    QTRY_COMPARE(app.gui().screen(), QStringLiteral("ScanScreens"));

    struct Case {
        QJsonObject transaction;
        QString screen;
        QString sound;
    };
    const QList<Case> cases = {
        {tx(true, 2), QStringLiteral("Valid"), QStringLiteral("/opt/zorv/quellan/Valid.wav")},
        {tx(false, 5, 207), QStringLiteral("AlreadyValid"),
         QStringLiteral("/opt/zorv/quellan/Invalid.wav")},
        {tx(false, 0, 103), QStringLiteral("AlreadyValid"),
         QStringLiteral("/opt/zorv/quellan/Invalid.wav")},
        {tx(false, 2, 205), QStringLiteral("Invalid"),
         QStringLiteral("/opt/zorv/quellan/Invalid.wav")},
    };
    for (const Case& c : cases) {
        app.peer().clear();
        app.scan(c.transaction);
        QTRY_COMPARE(app.gui().screen(), c.screen);
        QTRY_COMPARE(app.requests(kAudioPlay).size(), 1);
        QCOMPARE(soundOf(app.requests(kAudioPlay).first()), c.sound);
        QCOMPARE(app.gui().screenTimer().interval(), 3000);
        const QVariantMap shown = app.gui()
                                      .engine()
                                      .rootContext()
                                      ->contextProperty(QStringLiteral("transaction"))
                                      .toMap();
        QCOMPARE(shown.value(QStringLiteral("type")).toInt(),
                 c.transaction.value(QStringLiteral("type")).toInt());
    }
    // Back to the idle screen when the result has been shown for 3 s.
    QTRY_COMPARE_WITH_TIMEOUT(app.gui().screen(), QStringLiteral("ScanScreens"), 4000);
}

void TestGUIManager::secondValidationRestartsTimer() {
    AppFixture app;
    QVERIFY(app.ready());
    app.ignition(true);
    app.validatorOnline();
    QTRY_COMPARE(app.gui().screen(), QStringLiteral("ScanScreens"));

    app.scan(tx(true, 2));
    QTRY_COMPARE(app.gui().screen(), QStringLiteral("Valid"));
    QTest::qWait(2000);
    QSignalSpy changed(&app.gui(), &GUIManager::screenChanged);
    app.scan(tx(true, 2));
    QTRY_COMPARE(changed.count(), 1);  // the same screen is announced again
    QElapsedTimer elapsed;
    elapsed.start();
    QTest::qWait(1500);
    QCOMPARE(app.gui().screen(), QStringLiteral("Valid"));  // 3.5 s after the first
    QTRY_COMPARE_WITH_TIMEOUT(app.gui().screen(), QStringLiteral("ScanScreens"), 3000);
    QVERIFY(elapsed.elapsed() >= 1400);
}

void TestGUIManager::sessionSuppressesScreens() {
    AppFixture app;
    QVERIFY(app.ready());
    app.ignition(true);
    app.validatorOnline();
    QTRY_COMPARE(app.gui().screen(), QStringLiteral("ScanScreens"));

    QSignalSpy granted(&app.gui(), &GUIManager::settingsAccessGranted);
    QSignalSpy denied(&app.gui(), &GUIManager::settingsAccessDenied);
    app.gui().settingsLoginRequest(QStringLiteral("0000"));
    QCOMPARE(denied.count(), 1);
    app.gui().settingsLoginRequest(QStringLiteral("8602"));
    QCOMPARE(granted.count(), 1);
    app.gui().setScreen(QStringLiteral("Settings"));
    QTRY_COMPARE(app.requests(QStringLiteral("zorv/ui/status")).size(), 2);
    QCOMPARE(AppFixture::object(app.requests(QStringLiteral("zorv/ui/status")).last())
                 .value(QStringLiteral("technician"))
                 .toBool(),
             true);

    app.peer().clear();
    app.scan(tx(true, 8));
    QTRY_COMPARE(app.gui()
                     .engine()
                     .rootContext()
                     ->contextProperty(QStringLiteral("transaction"))
                     .toMap()
                     .value(QStringLiteral("type"))
                     .toInt(),
                 8);
    app.publish(QStringLiteral("zorv/blm/rfid/retry"), QJsonObject());
    app.validatorStatus(AppFixture::object(R"({"service": true, "state": {"hasRfid": false}})"));
    QTRY_COMPARE(app.gui().validatorManager().status(), QStringLiteral("offline"));
    QTest::qWait(200);
    QCOMPARE(app.gui().screen(), QStringLiteral("Settings"));
    QCOMPARE(app.requests(kAudioPlay).size(), 0);

    // Logging out returns to the idle choice and records both events.
    app.gui().settingsLogoutRequest();
    QTRY_COMPARE(app.gui().screen(), QStringLiteral("OutOfOrder"));
    QTRY_COMPARE(app.requests(QStringLiteral("zorv/ui/status")).size(), 1);
    QCOMPARE(AppFixture::object(app.requests(QStringLiteral("zorv/ui/status")).first())
                 .value(QStringLiteral("technician"))
                 .toBool(),
             false);
    QStringList names;
    for (QObject* event : app.gui().eventLog().data().value<QList<QObject*>>()) {
        names << event->property("name").toString();
    }
    QVERIFY(names.contains(QStringLiteral("Maintenance login")));
    QVERIFY(names.contains(QStringLiteral("Maintenance logout")));
}

void TestGUIManager::cardRetryShowsRetry() {
    AppFixture app;
    QVERIFY(app.ready());
    app.ignition(true);
    app.validatorOnline();
    QTRY_COMPARE(app.gui().screen(), QStringLiteral("ScanScreens"));
    app.peer().clear();
    app.publish(QStringLiteral("zorv/blm/rfid/retry"), QJsonObject());
    QTRY_COMPARE(app.gui().screen(), QStringLiteral("Retry"));
    QCOMPARE(app.gui().screenTimer().interval(), 3000);
    QTRY_COMPARE(app.requests(kAudioPlay).size(), 1);
    QCOMPARE(soundOf(app.requests(kAudioPlay).first()),
             QStringLiteral("/opt/zorv/quellan/Invalid.wav"));
}

void TestGUIManager::maintenanceButtonTogglesLogin() {
    AppFixture app;
    QVERIFY(app.ready());
    app.ignition(true);
    app.validatorOnline();
    QTRY_COMPARE(app.gui().screen(), QStringLiteral("ScanScreens"));

    app.gui().setMaintenanceScreen();
    QCOMPARE(app.gui().screen(), QStringLiteral("Login"));
    QCOMPARE(app.gui().screenTimer().interval(), 15000);
    app.gui().setMaintenanceScreen();
    QCOMPARE(app.gui().screen(), QStringLiteral("ScanScreens"));
    app.gui().setMaintenanceScreen();
    QCOMPARE(app.gui().screen(), QStringLiteral("Login"));
    QVERIFY(app.gui().screenTimer().isActive());

    // While the PIN page is open a lost validator does not take the screen.
    app.validatorStatus(AppFixture::object(R"({"service": false})"));
    QTRY_COMPARE(app.gui().validatorManager().status(), QStringLiteral("offline"));
    QCOMPARE(app.gui().screen(), QStringLiteral("Login"));

    app.gui().settingsLoginRequest(QStringLiteral("8602"));
    app.gui().setMaintenanceScreen();
    QCOMPARE(app.gui().screen(), QStringLiteral("Settings"));
}

void TestGUIManager::ignitionOffShowsScreenSaverAndEndsSession() {
    AppFixture app;
    QVERIFY(app.ready());
    app.ignition(true);
    app.validatorOnline();
    QTRY_COMPARE(app.gui().screen(), QStringLiteral("ScanScreens"));
    app.gui().settingsLoginRequest(QStringLiteral("8602"));
    QVERIFY(app.gui().session().sessionActive());

    app.ignition(false);
    QTRY_COMPARE(app.gui().screen(), QStringLiteral("ScreenSaver"));
    QVERIFY(!app.gui().session().sessionActive());

    app.ignition(true);
    QTRY_COMPARE(app.gui().screen(), QStringLiteral("ScanScreens"));
    QStringList names;
    for (QObject* event : app.gui().eventLog().data().value<QList<QObject*>>()) {
        names << event->property("name").toString();
    }
    QVERIFY(names.contains(QStringLiteral("Ignition off")));
    QVERIFY(names.contains(QStringLiteral("Ignition on")));
}

void TestGUIManager::displaySwitchesOffOnOutOfOrder() {
    AppFixture app;
    QVERIFY(app.ready());
    app.ignition(true);
    app.validatorStatus(AppFixture::object(R"({"service": false})"));
    QTRY_COMPARE(app.gui().screen(), QStringLiteral("OutOfOrder"));
    QVERIFY(app.gui().displayOffTimer().isActive());
    QCOMPARE(app.gui().displayOffTimer().interval(), 3 * 60000);
    QVERIFY(app.gui().displayOffTimer().isSingleShot());

    // The timer's end switches the display off.
    app.peer().clear();
    app.gui().displayOffTimer().start(1);
    QTRY_COMPARE(app.requests(QStringLiteral("zorv/board/power/set")).size(), 1);
    QCOMPARE(app.requests(QStringLiteral("zorv/board/power/set")).first(),
             QByteArray("{\n    \"display\": false\n}\n"));
    app.publish(QStringLiteral("zorv/board/power"),
                QJsonObject{{QStringLiteral("display"), false}});
    QTRY_VERIFY(!app.gui().board().peripheralPower(QStringLiteral("display")));

    // Any other screen stops the timer and switches the display back on.
    app.peer().clear();
    app.validatorOnline();
    QTRY_COMPARE(app.gui().screen(), QStringLiteral("ScanScreens"));
    QVERIFY(!app.gui().displayOffTimer().isActive());
    QTRY_COMPARE(app.requests(QStringLiteral("zorv/board/power/set")).size(), 1);
    QCOMPARE(app.requests(QStringLiteral("zorv/board/power/set")).first(),
             QByteArray("{\n    \"display\": true\n}\n"));

    // With 0 minutes the screen flow leaves the display alone.
    app.gui().setDisplayOffMin(0);
    app.validatorStatus(AppFixture::object(R"({"service": false})"));
    QTRY_COMPARE(app.gui().screen(), QStringLiteral("OutOfOrder"));
    QVERIFY(!app.gui().displayOffTimer().isActive());
}

void TestGUIManager::boardShutdownDelayKeepsMargin() {
    AppFixture app;
    QVERIFY(app.ready());
    const QString topic = QStringLiteral("zorv/board/config/set");
    app.publish(QStringLiteral("zorv/board/config"),
                AppFixture::object(R"({"device": {"delayShutdownFor": 30}})"));
    QTRY_COMPARE(app.requests(topic).size(), 1);
    QCOMPARE(AppFixture::object(app.requests(topic).first()),
             AppFixture::object(R"({"device": {"delayShutdownFor": 120}})"));

    // A board that already holds the wanted delay gets no request.
    app.peer().clear();
    app.publish(QStringLiteral("zorv/board/config"),
                AppFixture::object(R"({"device": {"delayShutdownFor": 120}})"));
    QTRY_COMPARE(app.gui().board().delayShutdownFor(), 120);
    QTest::qWait(200);
    QCOMPARE(app.requests(topic).size(), 0);

    app.gui().setShutdownDelaySec(90);
    QTRY_COMPARE(app.requests(topic).size(), 1);
    QCOMPARE(AppFixture::object(app.requests(topic).first()),
             AppFixture::object(R"({"device": {"delayShutdownFor": 150}})"));
}

void TestGUIManager::exitLeavesEventLoopAfterTwoSeconds() {
    AppFixture app;
    QVERIFY(app.ready());
    QElapsedTimer elapsed;
    elapsed.start();
    app.gui().exitRequest();
    QCOMPARE(app.gui().screen(), QStringLiteral("Busy"));
    QCOMPARE(app.gui().message(), QStringLiteral("Exiting"));
    QEventLoop loop;
    QTimer::singleShot(5000, &loop, [&loop] { loop.exit(42); });
    const int code = loop.exec();
    QCOMPARE(code, 0);
    QVERIFY(elapsed.elapsed() >= 1850);  // a coarse 2000 ms timer may fire 5 % early
}

void TestGUIManager::deviceIdFileAndInitPage() {
    {
        AppFixture app({}, false);
        QVERIFY(app.ready());
        QVERIFY(app.gui().deviceId().isEmpty());
        app.ignition(true);
        app.validatorOnline();
        QTRY_COMPARE(app.gui().validatorManager().status(), QStringLiteral("online"));
        QCOMPARE(app.gui().screen(), QStringLiteral("InitPage"));
        app.gui().saveDeviceIdRequest(QStringLiteral("C87654321"));
        QFile saved(app.path(QStringLiteral("serialnumber")));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("C87654321"));
        QCOMPARE(app.gui().screen(), QStringLiteral("ScanScreens"));
    }
    {
        QTemporaryDir dir;
        QFile serial(dir.filePath(QStringLiteral("sn")));
        QVERIFY(serial.open(QIODevice::WriteOnly));
        serial.write("\n   \n  K00000042  \nK99\n");
        serial.close();
        AppFixture app({{QStringLiteral("gui/deviceId"), serial.fileName()}}, false);
        QVERIFY(app.ready());
        QCOMPARE(app.gui().deviceId(), QStringLiteral("K00000042"));
    }
    {
        // A serial-number file that cannot be written is reported, the value is kept.
        AppFixture app({{QStringLiteral("gui/deviceId"), QStringLiteral("/nonexistent/dir/sn")}},
                       false);
        QVERIFY(app.ready());
        QSignalSpy error(&app.gui(), &GUIManager::errorOccured);
        app.gui().setDeviceId(QStringLiteral("K11111111"));
        QCOMPARE(error.count(), 1);
        QCOMPARE(app.gui().deviceId(), QStringLiteral("K11111111"));
    }
}

void TestGUIManager::languageSwitching() {
    AppFixture app;
    QVERIFY(app.ready());
    QSignalSpy changed(&app.gui(), &GUIManager::languageChanged);
    app.gui().setLanguage(QStringLiteral("el_GR"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(QCoreApplication::translate("GUIManager", "Initializing"),
             QStringLiteral("Αρχικοποίηση"));
    app.gui().setLanguage(QStringLiteral("el_GR"));
    QCOMPARE(changed.count(), 1);

    app.gui().setLanguage(QStringLiteral("en_GB"));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(QCoreApplication::translate("GUIManager", "Initializing"),
             QStringLiteral("Initializing"));
    QCOMPARE(QLocale().name(), QStringLiteral("en_GB"));
    QCOMPARE(app.config().get(QStringLiteral("gui/locale")).toString(), QStringLiteral("en_GB"));

    // Any language that is not English shows the Greek catalogue.
    app.gui().setLanguage(QStringLiteral("de_DE"));
    QCOMPARE(QCoreApplication::translate("GUIManager", "Initializing"),
             QStringLiteral("Αρχικοποίηση"));
    app.gui().setLanguage(QStringLiteral("en_IE"));
}

void TestGUIManager::brokerLossShowsDisconnected() {
    AppFixture app;
    QVERIFY(app.ready());
    app.ignition(true);
    app.validatorOnline();
    QTRY_COMPARE(app.gui().screen(), QStringLiteral("ScanScreens"));
    app.broker().kill();
    QTRY_COMPARE(app.gui().screen(), QStringLiteral("OutOfOrder"));
    QCOMPARE(app.gui().message(), QStringLiteral("Disconnected"));
    QCOMPARE(app.gui().validatorManager().reason(), QStringLiteral("MQTT Disconnected"));
}

// "gui/animSwitchSec" is milliseconds; a positive value below the 300 ms frame tick
// (a technician typing seconds) is used as 300, with a warning.
void TestGUIManager::animationSwitchNeverBelowFrameTick() {
    AppFixture app;
    QVERIFY(app.ready());
    LogCapture log;
    const QList<QPair<int, int>> cases = {{10, 300}, {299, 300}, {300, 300}, {0, 0}, {5000, 5000}};
    for (const auto& [stored, used] : cases) {
        log.clear();
        app.config().set(QStringLiteral("gui/animSwitchSec"), stored);
        QCOMPARE(app.gui().animSwitchSec(), used);
        QCOMPARE(log.contains(QStringLiteral("WARN: gui/animSwitchSec")), stored != used);
    }
    // The setter stores what it is given, also a value read back as the frame tick.
    app.gui().setAnimSwitchSec(10);
    app.gui().setAnimSwitchSec(300);
    QCOMPARE(app.config().get(QStringLiteral("gui/animSwitchSec")).toInt(), 300);
}

QTEST_MAIN(TestGUIManager)
#include "tst_guimanager.moc"
