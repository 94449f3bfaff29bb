// The screen flow of the passenger display, driven through a real broker by a peer
// that plays the validator, board and inspector services.
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QQmlContext>
#include <QSignalSpy>
#include <QtTest>

#include "AppFixture.h"
#include "LogCapture.h"
#include "support/Files.h"

namespace {
const QString kAudioPlay = QStringLiteral("zorv/inspector/audio/play");
const QString kPowerSet = QStringLiteral("zorv/board/power/set");

QJsonObject tx(bool valid, int type, int deny = 0) {
    return QJsonObject{{QStringLiteral("result"), valid},
                       {QStringLiteral("type"), type},
                       {QStringLiteral("denyReason"), QJsonObject{{QStringLiteral("id"), deny}}}};
}

QStringList eventNames(AppFixture& app) {
    QStringList names;
    for (QObject* event :
         app.part<EventManager>("eventLogManager").data().value<QList<QObject*>>()) {
        names << event->property("name").toString();
    }
    return names;
}

// Ignition on and the validator in service: the passenger's idle screen.
bool inService(AppFixture& app) {
    app.ignition(true);
    app.validatorOnline();
    return waitUntil([&] { return app.gui().screen() == QLatin1String("ScanScreens"); }, kAppWait);
}
}  // namespace

class TestGUIManager : public QObject {
    Q_OBJECT

private slots:
    void idleChoiceFollowsValidatorStatus() {
        AppFixture app;
        QVERIFY(app.ready());
        app.ignition(true);
        QTRY_VERIFY(app.part<manager::Board>("board").ignition());

        app.validatorStatus(AppFixture::object(R"({"service": true, "state": {"init": true}})"));
        QTRY_COMPARE(app.gui().message(), QStringLiteral("Please Wait"));
        QCOMPARE(app.gui().screen(), QStringLiteral("Busy"));

        // Degraded (no on-board computer): both readers on, then the scan screens.
        app.validatorStatus(AppFixture::object(
            R"({"service": true, "state": {"hasRfid": true, "hasRoute": true, "hasQr": true, "hasObu": false}})"));
        QTRY_COMPARE(app.gui().screen(), QStringLiteral("ScanScreens"));
        QTRY_COMPARE(app.requests(QStringLiteral("zorv/rfid/enable")),
                     QList<QByteArray>{"{\n    \"autoread\": true\n}\n"});
        QTRY_COMPARE(app.requests(QStringLiteral("zorv/barcode/enable")).size(), 1);

        app.validatorStatus(
            AppFixture::object(R"({"service": true, "state": {"hasRfid": false}})"));
        QTRY_COMPARE(app.gui().screen(), QStringLiteral("OutOfOrder"));
        QCOMPARE(app.gui().message(), QStringLiteral("#0004"));
        app.gui().setShowErrorDesc(true);
        QTRY_COMPARE(app.gui().message(), QStringLiteral("#0004\nRFID is not operational"));
    }

    void ignitionRules() {
        AppFixture app;
        QVERIFY(app.ready());
        // Until the board has reported the ignition on, a silent validator cannot bring up
        // the out-of-order screen.
        app.validatorStatus(AppFixture::object(R"({"service": false})"));
        QTRY_COMPARE(app.part<manager::Validator>("validatorManager").status(),
                     QStringLiteral("offline"));
        QCOMPARE(app.gui().screen(), QStringLiteral("Busy"));

        // Ignition off: the screen saver, the session ends, readers go off unseen.
        QVERIFY(inService(app));
        app.gui().settingsLoginRequest(QStringLiteral("8602"));
        app.ignition(false);
        QTRY_COMPARE(app.gui().screen(), QStringLiteral("ScreenSaver"));
        QVERIFY(!app.part<SessionManager>("session").sessionActive());
        app.peer().clear();
        app.validatorStatus(AppFixture::object(
            R"({"service": false, "device": {"rfid": {"state": 2}, "barcode": {"enabled": true}}})"));
        QTRY_COMPARE(app.requests(QStringLiteral("zorv/rfid/disable")).size(), 1);
        QTRY_COMPARE(app.requests(QStringLiteral("zorv/barcode/disable")).size(), 1);
        QCOMPARE(app.gui().screen(), QStringLiteral("ScreenSaver"));
        app.ignition(true);
        QTRY_COMPARE(app.gui().screen(), QStringLiteral("OutOfOrder"));
        QVERIFY(eventNames(app).contains(QStringLiteral("Ignition off")));
        QVERIFY(eventNames(app).contains(QStringLiteral("Ignition on")));
    }

    void validationsShowResultsWithSounds() {
        AppFixture app;
        QVERIFY(app.ready());
        QVERIFY(inService(app));
        const QJsonValue valid("/opt/zorv/quellan/Valid.wav"),
            invalid("/opt/zorv/quellan/Invalid.wav");
        const struct {
            QJsonObject transaction;
            QString screen;
            QJsonValue sound;
        } cases[] = {
            {tx(true, 2), QStringLiteral("Valid"), valid},
            {tx(false, 5, 207), QStringLiteral("AlreadyValid"), invalid},
            {tx(false, 0, 103), QStringLiteral("AlreadyValid"), invalid},
            {tx(false, 0, 104), QStringLiteral("Invalid"), invalid},
            {tx(false, 2, 206), QStringLiteral("Invalid"), invalid},
            {QJsonObject(), QStringLiteral("Retry"), invalid},
        };
        for (const auto& c : cases) {
            app.peer().clear();
            // A second result restarts the 3 s.
            app.gui().findChild<QTimer*>("screenTimer")->start(100000);
            QSignalSpy changed(&app.gui(), &GUIManager::screenChanged);
            if (c.transaction.isEmpty()) {
                app.publish(QStringLiteral("zorv/blm/rfid/retry"), QJsonObject());
            } else {
                app.scan(c.transaction);
            }
            QTRY_COMPARE(changed.count(), 1);
            QCOMPARE(app.gui().screen(), c.screen);
            QCOMPARE(app.gui().findChild<QTimer*>("screenTimer")->interval(), 3000);
            QTRY_COMPARE(app.requests(kAudioPlay).size(), 1);
            QCOMPARE(AppFixture::object(app.requests(kAudioPlay).first())["filepath"], c.sound);
        }
        QTRY_COMPARE(app.gui().screen(), QStringLiteral("ScanScreens"));
    }

    // A verdict's garbage is collected once its page is on the display, not whenever a
    // later scan's allocation finds the script heap full.
    void verdictCollectsGarbageAfterItsFrame() {
        AppFixture app;
        QVERIFY(app.ready());
        app.gui().load();
        QVERIFY(inService(app));
        // Held by the script engine alone: the next collection destroys it.
        const QPointer<QObject> garbage = new QObject;
        app.gui().engine().newQObject(garbage);
        QTest::qWait(200);
        QVERIFY(garbage);
        app.scan(tx(true, 2));
        QTRY_VERIFY(garbage.isNull());
    }

    void sessionSuppressesScreens() {
        AppFixture app;
        QVERIFY(app.ready());
        QVERIFY(inService(app));
        // The maintenance button opens the PIN entry for 15 s, and closes it again.
        app.gui().setMaintenanceScreen();
        QCOMPARE(app.gui().screen(), QStringLiteral("Login"));
        QCOMPARE(app.gui().findChild<QTimer*>("screenTimer")->interval(), 15000);
        app.gui().setMaintenanceScreen();
        QCOMPARE(app.gui().screen(), QStringLiteral("ScanScreens"));
        app.gui().setMaintenanceScreen();
        // While the PIN page is open a lost validator does not take the screen.
        app.validatorStatus(AppFixture::object(R"({"service": false})"));
        QTRY_COMPARE(app.part<manager::Validator>("validatorManager").status(),
                     QStringLiteral("offline"));
        QCOMPARE(app.gui().screen(), QStringLiteral("Login"));
        app.peer().clear();
        app.gui().settingsLoginRequest(QStringLiteral("8602"));
        app.gui().setMaintenanceScreen();
        QCOMPARE(app.gui().screen(), QStringLiteral("Settings"));
        QTRY_COMPARE(app.requests(QStringLiteral("zorv/ui/status")).size(), 1);
        QVERIFY(
            app.requests(QStringLiteral("zorv/ui/status")).last().contains("\"technician\": true"));

        // Results and retries stay silent behind the settings.
        app.peer().clear();
        app.scan(tx(true, 8));
        QQmlContext* context = app.gui().engine().rootContext();
        QTRY_COMPARE(context->contextProperty("transaction").toMap().value("type").toInt(), 8);
        app.publish(QStringLiteral("zorv/blm/rfid/retry"), QJsonObject());
        QTest::qWait(200);
        QCOMPARE(app.gui().screen(), QStringLiteral("Settings"));
        QCOMPARE(app.requests(kAudioPlay).size(), 0);

        // Logging out returns to the idle choice and records both events.
        app.gui().settingsLogoutRequest();
        QTRY_COMPARE(app.gui().screen(), QStringLiteral("OutOfOrder"));
        QVERIFY(eventNames(app).contains(QStringLiteral("Maintenance login")));
        QVERIFY(eventNames(app).contains(QStringLiteral("Maintenance logout")));
    }

    void displaySwitchesOffOnOutOfOrder() {
        AppFixture app;
        QVERIFY(app.ready());
        app.ignition(true);
        app.validatorStatus(AppFixture::object(R"({"service": false})"));
        QTRY_COMPARE(app.gui().screen(), QStringLiteral("OutOfOrder"));
        QTimer* off = app.gui().findChild<QTimer*>("displayOffTimer");
        QVERIFY(off->isActive());
        QCOMPARE(off->interval(), 3 * 60000);

        app.peer().clear();
        off->start(1);
        QTRY_COMPARE(app.requests(kPowerSet), QList<QByteArray>{"{\n    \"display\": false\n}\n"});

        // Any other screen stops the timer and switches the display back on.
        app.peer().clear();
        app.validatorOnline();
        QTRY_COMPARE(app.gui().screen(), QStringLiteral("ScanScreens"));
        QVERIFY(!off->isActive());
        QTRY_COMPARE(app.requests(kPowerSet), QList<QByteArray>{"{\n    \"display\": true\n}\n"});

        // With 0 minutes the screen flow leaves the display alone. A lost broker is
        // out of order too.
        app.gui().setDisplayOffMin(0);
        app.broker().kill();
        QTRY_COMPARE(app.gui().screen(), QStringLiteral("OutOfOrder"));
        QCOMPARE(app.gui().message(), QStringLiteral("Disconnected"));
        QVERIFY(!off->isActive());
    }

    void boardShutdownDelayKeepsMargin() {
        AppFixture app;
        QVERIFY(app.ready());
        const QString topic = QStringLiteral("zorv/board/config/set");
        const QString config = QStringLiteral("zorv/board/config");
        app.publish(config, AppFixture::object(R"({"device": {"delayShutdownFor": 30}})"));
        QTRY_COMPARE(app.requests(topic).size(), 1);
        QCOMPARE(AppFixture::object(app.requests(topic).first()),
                 AppFixture::object(R"({"device": {"delayShutdownFor": 120}})"));

        // A board that already holds the wanted delay is the board manager's (tst_board).
        app.peer().clear();
        app.gui().setShutdownDelaySec(90);
        QTRY_COMPARE(app.requests(topic).size(), 1);
        QCOMPARE(AppFixture::object(app.requests(topic).first()),
                 AppFixture::object(R"({"device": {"delayShutdownFor": 150}})"));
    }

    void exitLeavesEventLoopAfterTwoSeconds() {
        AppFixture app;
        QVERIFY(app.ready());
        QElapsedTimer elapsed;
        elapsed.start();
        app.gui().exitRequest();
        QEventLoop loop;
        QTimer::singleShot(kAppWait, &loop, [&loop] { loop.exit(42); });
        QCOMPARE(loop.exec(), 0);
        QVERIFY(elapsed.elapsed() >= 1850);  // a coarse 2000 ms timer may fire 5 % early
    }

    // Without a serial number the first-start page shows until one is entered; one that
    // cannot be written is reported and kept.
    void initPageUntilSerialNumber() {
        AppFixture app({{QStringLiteral("gui/deviceId"), QStringLiteral("/nonexistent/dir/sn")}},
                       false);
        QVERIFY(app.ready());
        app.ignition(true);
        app.validatorOnline();
        QTRY_COMPARE(app.part<manager::Validator>("validatorManager").status(),
                     QStringLiteral("online"));
        QCOMPARE(app.gui().screen(), QStringLiteral("InitPage"));
        QSignalSpy error(&app.gui(), &GUIManager::errorOccured);
        app.gui().saveDeviceIdRequest(QStringLiteral("C87654321"));
        QCOMPARE(error.count(), 1);
        QCOMPARE(app.gui().deviceId(), QStringLiteral("C87654321"));
        QCOMPARE(app.gui().screen(), QStringLiteral("ScanScreens"));
        // Pointed at another file, the manager reads the number from it at once.
        QVERIFY(writeFile(app.path("other"), "K00000007\n"));
        app.config().set(QStringLiteral("gui/deviceId"), app.path("other"));
        QTRY_COMPARE(app.gui().deviceId(), QStringLiteral("K00000007"));
    }

    // Address and netmask are required, every field given must be an address.
    void manualIpv4Rule() {
        const QString ok = QStringLiteral("10.1.1.5");
        QCOMPARE(GUIManager::manualIpv4Failure(ok, ok, "", "", ""), QString());
        QCOMPARE(GUIManager::manualIpv4Failure("", ok, ok, ok, ok),
                 QStringLiteral("IPv4 address cannot be empty in 'manual' mode"));
        QCOMPARE(GUIManager::manualIpv4Failure(ok, "", ok, ok, ok),
                 QStringLiteral("IPv4 netmask cannot be empty in 'manual' mode"));
        const QStringList names{"address", "netmask", "gateway", "DNS #0", "DNS #1"};
        for (int i = 0; i < names.size(); ++i) {
            QStringList fields{ok, ok, ok, ok, ok};
            fields[i] = i % 2 ? QStringLiteral("1.2.3") : QStringLiteral("10.01.1.5");
            QCOMPARE(GUIManager::manualIpv4Failure(fields[0], fields[1], fields[2], fields[3],
                                                   fields[4]),
                     QStringLiteral("IPv4 %1 is not a valid IP address").arg(names[i]));
        }
    }

    // "gui/animSwitchSec" is milliseconds; a positive value below the 300 ms frame tick
    // (a technician typing seconds) is used as 300, a negative one as 0, with a warning.
    void animationSwitchNeverBelowFrameTick() {
        AppFixture app;
        QVERIFY(app.ready());
        LogCapture log;
        const QList<QPair<int, int>> cases = {{1, 300}, {299, 300}, {300, 300},
                                              {0, 0},   {-1, 0},    {5000, 5000}};
        for (const auto& [stored, used] : cases) {
            log.clear();
            app.config().set(QStringLiteral("gui/animSwitchSec"), stored);
            QCOMPARE(app.gui().animSwitchSec(), used);
            QCOMPARE(log.contains(QStringLiteral("WARN: gui/animSwitchSec")), stored != used);
        }
    }

    // Each key the GUI manager applies while running: the line a technician greps the log
    // for, and the signal the screens follow.
    void changesLogAndNotify_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QByteArray>("notify");
        QTest::newRow("cursor") << "gui/showCursor" << QVariant(false) << "Cursor changed : hidden"
                                << QByteArray(SIGNAL(showCursorChanged()));
        QTest::newRow("display off")
            << "gui/displayOffMin" << QVariant(7) << "Display OFF interval changed : 7 min(s)"
            << QByteArray(SIGNAL(displayOffMinChanged()));
        QTest::newRow("shutdown") << "gui/shutdownDelaySec" << QVariant(20)
                                  << "Shutdown delay changed : 20 sec(s)"
                                  << QByteArray(SIGNAL(shutdownDelaySecChanged()));
        QTest::newRow("error text")
            << "gui/showErrorDesc" << QVariant(true) << "Show Error description changed : YES"
            << QByteArray(SIGNAL(showErrorDescChanged()));
        QTest::newRow("saver colour")
            << "gui/screenSaverBg" << QVariant("red") << "Screen-saver background changed : red"
            << QByteArray(SIGNAL(screenSaverBgChanged()));
        QTest::newRow("saver image") << "gui/screenSaverImg" << QVariant("qrc:/a.png")
                                     << "Screen-saver image changed : qrc:/a.png"
                                     << QByteArray(SIGNAL(screenSaverImgChanged()));
        QTest::newRow("animation")
            << "gui/animSwitchSec" << QVariant(500) << "GIFs animation changed : 500 msec(s)"
            << QByteArray(SIGNAL(animSwitchSecChanged()));
        QTest::newRow("log") << "log/color" << QVariant(true)
                             << "Log configuration changed. Applying."
                             << QByteArray(SIGNAL(languageChanged()));
    }

    void changesLogAndNotify() {
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        QFETCH(QString, line);
        QFETCH(QByteArray, notify);
        AppFixture app;
        QVERIFY(app.ready());
        QSignalSpy notified(&app.gui(), notify.constData());
        LogCapture log;
        app.config().set(key, value);
        QVERIFY2(log.lines(QtInfoMsg).join('\n').contains(line), qPrintable(log.all().join('\n')));
        QCOMPARE(notified.count(), key.startsWith("gui/") ? 1 : 0);
    }
};

QTEST_MAIN(TestGUIManager)
#include "tst_guimanager.moc"
