// The technician's session: the PIN that opens it, its ten minutes, and the events
// that record logging in and out.
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
    void sessionLastsTenMinutes();
    void loginAndLogoutEvents();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Config> m_config;
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
    SessionManager session(*m_config);
    QSignalSpy granted(&session, &SessionManager::accessGranted);
    session.loginRequest(entered);
    QCOMPARE(granted.count(), int(opens));
    QCOMPARE(session.sessionActive(), opens);
}

void TestSession::sessionLastsTenMinutes() {
    SessionManager session(*m_config);
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
