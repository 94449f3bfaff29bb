// The technician's session: the PIN that opens it, the wait after wrong ones, its ten
// minutes, and the events that record logging in and out.
#include <QTemporaryDir>
#include <QtTest>

#include "Config.h"
#include "EventLogin.h"
#include "EventLogout.h"
#include "GUIManager.h"
#include "LoginThrottle.h"
#include "SessionManager.h"

class TestSession : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_config = std::make_unique<Config>(m_dir->filePath("gui.conf"), GUIManager::Defaults);
    }

    void onlyTheConfiguredPinOpens_data() {
        QTest::addColumn<QString>("configured");
        QTest::addColumn<QString>("entered");
        QTest::addColumn<bool>("opens");
        const char* const rows[][2] = {{"8602", "8602"}, {"8602", ""},      {"8602", "0000"},
                                       {"8602", "860"},  {"8602", "86020"}, {"8602", " 8602"},
                                       {"", ""},         {"", "8602"}};
        for (const auto& row : rows) {
            const bool opens = qstrcmp(row[0], row[1]) == 0;
            QTest::addRow("'%s' '%s'", row[0], row[1]) << row[0] << row[1] << opens;
        }
    }

    void onlyTheConfiguredPinOpens() {
        QFETCH(QString, configured);
        QFETCH(QString, entered);
        QFETCH(bool, opens);
        m_config->set("gui/settingsPin", configured);
        SessionManager session(*m_config, state());
        QSignalSpy granted(&session, &SessionManager::accessGranted);
        session.loginRequest(entered);
        QCOMPARE(granted.count(), int(opens));
        QCOMPARE(session.sessionActive(), opens);
    }

    // Wrong PINs in a row, each typed once the wait before it is over; 10 s later the program
    // may restart or the board reboot. Then the right
    // PIN is refused unchecked until the wait's last millisecond has passed, and opens after.
    void wrongPinsWait_data() {
        QTest::addColumn<int>("wrong");
        QTest::addColumn<QString>("then");
        QTest::addColumn<int>("waitSec");
        QTest::newRow("4th") << 4 << "" << 0;
        QTest::newRow("4th, restart") << 4 << "restart" << 0;
        QTest::newRow("5th") << 5 << "" << 20;
        QTest::newRow("6th") << 6 << "" << 50;
        QTest::newRow("7th") << 7 << "" << 110;
        QTest::newRow("9th") << 9 << "" << 470;
        QTest::newRow("10th: capped") << 10 << "" << 890;
        QTest::newRow("11th") << 11 << "" << 890;
        QTest::newRow("6th, restart") << 6 << "restart" << 50;
        QTest::newRow("6th, reboot: all again") << 6 << "reboot" << 60;
    }

    void wrongPinsWait() {
        QFETCH(int, wrong);
        QFETCH(QString, then);
        QFETCH(int, waitSec);
        auto session = std::make_unique<SessionManager>(*m_config, state(), clock());
        for (int i = 0; i < wrong; ++i) {
            m_now += session->lockRemaining() * 1000;
            session->loginRequest("0000");
        }
        m_now += 10000;
        if (!then.isEmpty()) {
            session = std::make_unique<SessionManager>(
                *m_config, state(), clock(then == "reboot" ? "boot-2" : "boot-1"));
            QCOMPARE(session->failedLogins(), wrong);
        }
        QSignalSpy granted(session.get(), &SessionManager::accessGranted);
        QSignalSpy denied(session.get(), &SessionManager::accessDenied);
        session->loginRequest("8602");
        QCOMPARE(session->lockRemaining(), waitSec);
        QCOMPARE(granted.count(), int(waitSec == 0));
        if (waitSec > 0) {
            m_now += waitSec * 1000 - 1;
            session->loginRequest("8602");
            QCOMPARE(denied.count(), 2);
            QSignalSpy locked(session.get(), &SessionManager::lockedChanged);
            m_now += 1;
            session->findChild<QTimer*>("lockTimer")->start(0);
            QTRY_COMPARE(locked.count(), 1);
            session->loginRequest("8602");
            QCOMPARE(granted.count(), 1);
        }
        // The right PIN forgot the count: the fifth wrong PIN from here starts the wait.
        for (int i = 1; i <= 5; ++i) {
            session->loginRequest("0000");
            QCOMPARE(session->locked(), i == 5);
        }
    }

    // The state file as the throttle finds it on boot b: what it takes from it, and what it
    // writes at the next wrong PIN. A damaged or tampered file locks for the first wait; a wait
    // counted on another or an unknown boot starts again; a folder that cannot take the file
    // leaves the count in memory and says so.
    void stateFile_data() {
        QTest::addColumn<QByteArray>("content");  // null: the folder is a file
        QTest::addColumn<QString>("boot");
        QTest::addColumn<int>("failures");
        QTest::addColumn<qint64>("remainingMs");
        QTest::addColumn<QString>("message");
        const auto file = [this](const char* boot, double failures, double until, double wait) {
            return QJsonDocument(QJsonObject{{"boot", boot},
                                             {"failures", failures},
                                             {"until", until ? m_now + until : 0},
                                             {"wait", wait}})
                .toJson();
        };
        const auto row = [](const char* tag, const QByteArray& content, const char* boot,
                            int failures, qint64 remainingMs, const char* message) {
            QTest::newRow(tag) << content << boot << failures << remainingMs << message;
        };
        const char* const bad = "WARN: State unreadable, settings locked for 30 s";
        const char* const again = "Wait restarted after a reboot : 60 s";
        row("running wait", file("b", 6, 20000, 60000), "b", 6, 20000, "");
        row("end beyond its wait", file("b", 6, 60001, 60000), "b", 6, 60000, "");
        row("longest wait", file("b", 14, 900000, 900000), "b", 14, 900000, "");
        row("wait above the longest", file("b", 14, 1000, 900001), "b", 5, 30000, bad);
        row("first wait", file("b", 5, 1000, 30000), "b", 5, 1000, "");
        row("an end, wait below the first", file("b", 5, 1000, 29999), "b", 5, 30000, bad);
        row("most failures", file("b", 1000000, 0, 0), "b", 1000000, 0, "");
        row("too many failures", file("b", 1000001, 0, 0), "b", 5, 30000, bad);
        row("negative failures", file("b", -1, 0, 0), "b", 5, 30000, bad);
        row("failures not whole", file("b", 2.5, 0, 0), "b", 5, 30000, bad);
        row("negative end", file("b", 5, -m_now - 1, 30000), "b", 5, 30000, bad);
        row("failures as text", R"({"boot":"b","failures":"2","until":0,"wait":0})", "b", 5, 30000,
            bad);
        row("boot not text", R"({"boot":1,"failures":2,"until":0,"wait":0})", "b", 5, 30000, bad);
        row("empty file", "", "b", 5, 30000, bad);
        row("not an object", "[2]", "b", 5, 30000, bad);
        row("another boot", file("a", 6, 1000, 60000), "b", 6, 60000, again);
        row("boot unknown now", file("b", 6, 1000, 60000), "", 6, 60000, again);
        row("empty boot id in both", file("", 6, 1000, 60000), "", 6, 60000, again);
        row("unwritable folder", QByteArray(), "b", 0, 0, "WARN: Cannot write state");
    }

    void stateFile() {
        QFETCH(QByteArray, content);
        QFETCH(QString, boot);
        QFETCH(QString, message);
        QString path = state();
        if (content.isNull()) {
            QVERIFY(QFile(path).open(QIODevice::WriteOnly));  // as root, a mode would not stop it
            path += "/login-throttle.json";
        } else {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(content) == content.size());
        }
        if (!message.isEmpty()) {
            QTest::ignoreMessage(message.startsWith("WARN") ? QtWarningMsg : QtInfoMsg,
                                 QRegularExpression(QRegularExpression::escape(message)));
        }
        const LoginThrottle::Clock clock{[this] { return m_now; }, boot};
        LoginThrottle throttle(path, clock);
        QTEST(throttle.failures(), "failures");
        QTEST(throttle.remainingMs(), "remainingMs");
        // What it writes next reads back the same, whatever it found.
        throttle.fail();
        const LoginThrottle reloaded(path, clock);
        QCOMPARE(reloaded.failures(), content.isNull() ? 0 : throttle.failures());
        QCOMPARE(reloaded.remainingMs(), content.isNull() ? 0 : throttle.remainingMs());
    }

    void sessionLastsTenMinutes() {
        SessionManager session(*m_config, state());
        session.resetTimer();  // nothing to keep alive without a session
        QCOMPARE(session.remainingTime(), -1);
        session.loginRequest("8602");
        QTimer* timer = session.findChild<QTimer*>("sessionTimer");
        QVERIFY(timer && timer->isSingleShot());
        QCOMPARE(timer->interval(), 600000);
        // A second login and a reset both start the ten minutes again.
        timer->start(1000);
        session.loginRequest("8602");
        QVERIFY(session.remainingTime() > 590000);
        timer->start(1000);
        session.resetTimer();
        QVERIFY(session.remainingTime() > 590000);
        // A PIN change keeps the open session, with the new PIN.
        m_config->set("gui/settingsPin", "0043");
        QCOMPARE(session.user()->pin, QStringLiteral("0043"));
        QSignalSpy active(&session, &SessionManager::sessionActiveChanged);
        timer->start(1);
        QTRY_VERIFY(!session.sessionActive());
        QCOMPARE(session.remainingTime(), -1);
        session.logoutRequest();  // already closed: nothing more
        QCOMPARE(active.count(), 1);
    }

    void loginAndLogoutEvents() {
        const User user{12, "Μαρία %2", "Παπαδοπούλου", "1111"};
        EventLogin login(&user);
        EventLogout logout;
        QCOMPARE(login.description(),
                 "User ID : 12\nFirst name : Μαρία %2\nLast name : Παπαδοπούλου\nDate : " +
                     login.timestamp().toString(Qt::TextDate));
        QCOMPARE(logout.description(), "Date : " + logout.timestamp().toString(Qt::TextDate));
        // Without a user the event is still well formed.
        QTest::ignoreMessage(QtWarningMsg, "[EventLogin]  WARN: Login event without a user");
        QVERIFY(EventLogin(nullptr).description().startsWith("User ID : \nFirst name : \n"));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Config> m_config;
    // The wait's clock, in milliseconds since a boot named boot-1 unless told.
    qint64 m_now = 1000000;
    LoginThrottle::Clock clock(const char* boot = "boot-1") {
        return {[this] { return m_now; }, boot};
    }
    QString state() const { return m_dir->filePath("login-throttle.json"); }
};

QTEST_MAIN(TestSession)
#include "tst_session.moc"
