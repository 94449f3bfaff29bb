// The technician's session: the PIN that opens it, the wait after wrong ones, its ten
// minutes, and the events that record logging in and out.
#include <QTemporaryDir>
#include <QtTest>

#include "Config.h"
#include "EventLogin.h"
#include "EventLogout.h"
#include "GUIManager.h"
#include "SessionManager.h"

class TestSession : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_config = std::make_unique<Config>(m_dir->filePath("gui.conf"), GUIManager::Defaults);
    }
    void onlyTheConfiguredPinOpens_data();
    void onlyTheConfiguredPinOpens();
    void wrongPinsWait_data();
    void wrongPinsWait();
    void sessionLastsTenMinutes();
    void loginAndLogoutEvents();

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

void TestSession::onlyTheConfiguredPinOpens_data() {
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

void TestSession::onlyTheConfiguredPinOpens() {
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
// may restart or the board reboot (or the state file is found damaged). Then the right
// PIN is refused unchecked until the wait's last millisecond has passed, and opens after.
void TestSession::wrongPinsWait_data() {
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
    QTest::newRow("damaged state") << 2 << "damaged" << 30;
}

void TestSession::wrongPinsWait() {
    QFETCH(int, wrong);
    QFETCH(QString, then);
    QFETCH(int, waitSec);
    auto session = std::make_unique<SessionManager>(*m_config, state(), clock());
    for (int i = 0; i < wrong; ++i) {
        m_now += session->lockRemaining() * 1000;
        session->loginRequest("0000");
    }
    m_now += 10000;
    if (then == "damaged") {
        QVERIFY(QFile(state()).open(QIODevice::WriteOnly | QIODevice::Truncate));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("WARN: State unreadable"));
    }
    if (!then.isEmpty()) {
        session = std::make_unique<SessionManager>(*m_config, state(),
                                                   clock(then == "reboot" ? "boot-2" : "boot-1"));
        QCOMPARE(session->failedLogins(), then == "damaged" ? 5 : wrong);
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

void TestSession::sessionLastsTenMinutes() {
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

void TestSession::loginAndLogoutEvents() {
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

QTEST_MAIN(TestSession)
#include "tst_session.moc"
