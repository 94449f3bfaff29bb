#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "Config.h"
#include "EventLogin.h"
#include "EventLogout.h"
#include "GUIManager.h"
#include "LogCapture.h"
#include "SessionManager.h"

namespace {

// Records the session's signals in the order they come.
class SignalOrder : public QObject {
public:
    explicit SignalOrder(SessionManager& session) {
        connect(&session, &SessionManager::sessionActiveChanged, this,
                [this] { names.append("sessionActiveChanged"); });
        connect(&session, &SessionManager::accessGranted, this,
                [this] { names.append("accessGranted"); });
        connect(&session, &SessionManager::accessDenied, this,
                [this] { names.append("accessDenied"); });
    }
    QStringList take() {
        QStringList taken = names;
        names.clear();
        return taken;
    }
    QStringList names;
};

const QString GRANTED = QStringLiteral("accessGranted");
const QString DENIED = QStringLiteral("accessDenied");
const QString ACTIVE = QStringLiteral("sessionActiveChanged");

QTimer* sessionTimer(SessionManager& session) {
    return session.findChild<QTimer*>("sessionTimer");
}

}  // namespace

class TestSession : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void onlyDefaultPinOpensSession();
    void emptyPinOpensWithEmptyEntry();
    void pinChangeKeepsOpenSession();
    void logout();
    void sessionExpiresAfterTenMinutes();
    void secondLoginRestartsTimer();
    void loginAndLogoutEvents();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Config> m_config;
};

void TestSession::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_config = std::make_unique<Config>(m_dir->filePath("gui.conf"), GUIManager::Defaults);
}

void TestSession::cleanup() {
    m_config.reset();
    m_dir.reset();
}

void TestSession::onlyDefaultPinOpensSession() {
    SessionManager session(*m_config);
    SignalOrder order(session);
    QVERIFY(!session.sessionActive());
    QCOMPARE(session.user(), nullptr);
    QCOMPARE(session.remainingTime(), -1);

    LogCapture log;
    const QStringList wrong{QString(), "0000", "860", "86020", " 8602", "8602 ", "ZORV"};
    for (const QString& pin : wrong) {
        session.loginRequest(pin);
    }
    QCOMPARE(order.take(), QVector<QString>(wrong.size(), DENIED).toList());
    QVERIFY(!session.sessionActive());
    QCOMPARE(session.remainingTime(), -1);
    QCOMPARE(log.all().count("[SessionManager]  WARN: User entered wrong pin"), wrong.size());

    session.loginRequest("8602");
    QCOMPARE(order.take(), (QStringList{GRANTED, ACTIVE}));
    QVERIFY(session.sessionActive());
    QVERIFY(session.user());
    QCOMPARE(session.user()->id, 0);
    QCOMPARE(session.user()->name, QStringLiteral("ZORV"));
    QCOMPARE(session.user()->surname, QStringLiteral("Admin"));
    // A ten-minute timer may run a little late, never short of the ten minutes by much.
    QVERIFY(session.remainingTime() > 500000);
    QCOMPARE(log.all().last(),
             QStringLiteral("[SessionManager]  User logged-in :  \"ZORV\" ,  \"Admin\""));
    QCOMPARE(log.all().count("[SessionManager]  Login requested with PIN"), wrong.size() + 1);
}

void TestSession::emptyPinOpensWithEmptyEntry() {
    m_config->set("gui/settingsPin", QString());
    SessionManager session(*m_config);
    SignalOrder order(session);
    session.loginRequest("8602");
    QCOMPARE(order.take(), QStringList{DENIED});
    session.loginRequest(QString());
    QCOMPARE(order.take(), (QStringList{GRANTED, ACTIVE}));
    QVERIFY(session.sessionActive());
}

void TestSession::pinChangeKeepsOpenSession() {
    SessionManager session(*m_config);
    SignalOrder order(session);
    session.loginRequest("8602");
    order.take();
    QTimer* timer = sessionTimer(session);
    QVERIFY(timer);
    timer->start(100000);

    // The user table is rebuilt; the session and its user stay, with the new PIN.
    m_config->set("gui/settingsPin", "0042");
    m_config->set("gui/settingsPin", "0043");
    m_config->set("log/level", 3);
    QVERIFY(order.take().isEmpty());
    QVERIFY(session.sessionActive());
    QVERIFY(session.user());
    QCOMPARE(session.user()->pin, QStringLiteral("0043"));
    QCOMPARE(session.user()->name, QStringLiteral("ZORV"));
    QCOMPARE(session.user()->surname, QStringLiteral("Admin"));
    QVERIFY(timer->isActive());

    // A wrong entry during the session leaves session and timer alone.
    session.loginRequest("8602");
    session.loginRequest("43");
    QCOMPARE(order.take(), (QStringList{DENIED, DENIED}));
    QVERIFY(session.sessionActive());
    QVERIFY(session.remainingTime() <= 110000);

    session.loginRequest("0043");
    QCOMPARE(order.take(), (QStringList{GRANTED, ACTIVE}));
    QCOMPARE(session.user()->pin, QStringLiteral("0043"));
}

void TestSession::logout() {
    SessionManager session(*m_config);
    SignalOrder order(session);
    {
        LogCapture log;
        session.logoutRequest();
        QVERIFY(order.take().isEmpty());
        QVERIFY(log.all().isEmpty());
    }

    session.loginRequest("8602");
    order.take();
    LogCapture log;
    session.logoutRequest();
    QCOMPARE(order.take(), QStringList{ACTIVE});
    QVERIFY(!session.sessionActive());
    QCOMPARE(session.user(), nullptr);
    QCOMPARE(session.remainingTime(), -1);
    QVERIFY(!sessionTimer(session)->isActive());
    QCOMPARE(log.all(), QStringList{"[SessionManager]  User logged-out :  \"ZORV\" ,  \"Admin\""});

    session.logoutRequest();
    QVERIFY(order.take().isEmpty());
}

void TestSession::sessionExpiresAfterTenMinutes() {
    SessionManager session(*m_config);
    SignalOrder order(session);
    session.loginRequest("8602");
    order.take();

    QTimer* timer = sessionTimer(session);
    QVERIFY(timer);
    QVERIFY(timer->isActive());
    QVERIFY(timer->isSingleShot());
    QCOMPARE(timer->interval(), 600000);

    // Let the real timer run out without waiting ten minutes.
    LogCapture log;
    timer->start(1);
    QTRY_VERIFY(!session.sessionActive());
    QCOMPARE(order.take(), QStringList{ACTIVE});
    QCOMPARE(log.all(),
             (QStringList{"[SessionManager]  Session expired",
                          "[SessionManager]  User logged-out :  \"ZORV\" ,  \"Admin\""}));
    QVERIFY(!timer->isActive());
    QCOMPARE(session.remainingTime(), -1);

    // Once closed, the session stays closed.
    QTest::qWait(20);
    QVERIFY(order.take().isEmpty());
}

void TestSession::secondLoginRestartsTimer() {
    SessionManager session(*m_config);
    SignalOrder order(session);
    session.loginRequest("8602");
    QTimer* timer = sessionTimer(session);
    timer->start(100000);
    order.take();

    session.loginRequest("8602");
    QCOMPARE(order.take(), (QStringList{GRANTED, ACTIVE}));
    QVERIFY(session.sessionActive());
    QCOMPARE(timer->interval(), 600000);
    QVERIFY(timer->isSingleShot());
    QVERIFY(session.remainingTime() > 500000);

    // Keeping the session alive on request; without a session there is nothing to keep.
    SessionManager closed(*m_config);
    closed.resetTimer();
    QCOMPARE(closed.remainingTime(), -1);

    timer->start(100000);
    session.resetTimer();
    QCOMPARE(timer->interval(), 600000);
    QVERIFY(session.remainingTime() > 500000);
    QVERIFY(order.take().isEmpty());
}

void TestSession::loginAndLogoutEvents() {
    const User user{12, "Μαρία %2", "Παπαδοπούλου", "1111"};
    const QDateTime before = QDateTime::currentDateTime();
    EventLogin login(&user);
    EventLogout logout;
    const QDateTime after = QDateTime::currentDateTime();

    QCOMPARE(login.category(), QStringLiteral("General"));
    QCOMPARE(login.name(), QStringLiteral("Maintenance login"));
    QVERIFY(login.timestamp() >= before && login.timestamp() <= after);
    QCOMPARE(
        login.description(),
        QStringLiteral("User ID : 12\nFirst name : Μαρία %2\nLast name : Παπαδοπούλου\nDate : ") +
            login.timestamp().toString(Qt::TextDate));

    QCOMPARE(logout.category(), QStringLiteral("General"));
    QCOMPARE(logout.name(), QStringLiteral("Maintenance logout"));
    QVERIFY(logout.timestamp() >= before && logout.timestamp() <= after);
    QCOMPARE(logout.description(),
             QStringLiteral("Date : ") + logout.timestamp().toString(Qt::TextDate));

    // Without a user the event is still well formed.
    LogCapture log;
    EventLogin nobody(nullptr);
    QCOMPARE(nobody.name(), QStringLiteral("Maintenance login"));
    QVERIFY(nobody.description().startsWith("User ID : \nFirst name : \n"));
    QCOMPARE(log.all(), QStringList{"[EventLogin]  WARN: Login event without a user"});
}

QTEST_MAIN(TestSession)
#include "tst_session.moc"
