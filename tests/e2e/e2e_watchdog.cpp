// The program under systemd's watchdog: with a notify socket and WATCHDOG_USEC in
// its environment it must send READY=1 once its first frame is shown, then
// WATCHDOG=1 pings from its GUI thread, and the pings must stop when that thread
// hangs (blocked on purpose by the test aid QUELLAN_TEST_HANG_GUI_MS). The notify
// socket is the test's own datagram socket, standing in for systemd.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "../support/Program.h"
#include "Broker.h"
#include "LogCapture.h"
#include "Peer.h"
#include "Watchdog.h"

namespace {

// A datagram socket bound to a path, as systemd's NOTIFY_SOCKET.
class NotifySocket {
public:
    explicit NotifySocket(const QString& path) {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = path.toLocal8Bit();
        qstrncpy(address.sun_path, name.constData(), sizeof(address.sun_path));
        m_bound =
            m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    }
    ~NotifySocket() { ::close(m_fd); }
    bool isBound() const { return m_bound; }

    // Every message received since the last call.
    QList<QByteArray> take() {
        QList<QByteArray> messages;
        char buffer[512];
        ssize_t size;
        while ((size = ::recv(m_fd, buffer, sizeof(buffer), MSG_DONTWAIT)) > 0) {
            messages << QByteArray(buffer, static_cast<int>(size)).trimmed();
        }
        return messages;
    }

private:
    int m_fd = -1;
    bool m_bound = false;
};

}  // namespace

class TestWatchdog : public QObject {
    Q_OBJECT

private slots:
    void readyAtOnceWithoutAWindow();
    void readyThenPingsUntilTheGuiHangs();
};

// In this process: a failed QML load (no window) must not keep the service starting,
// and the pings come from this thread's event loop at half the interval.
void TestWatchdog::readyAtOnceWithoutAWindow() {
    QTemporaryDir dir;
    NotifySocket notify(dir.filePath("notify"));
    QVERIFY(notify.isBound());
    qputenv("NOTIFY_SOCKET", QFile::encodeName(dir.filePath("notify")));
    qputenv("WATCHDOG_USEC", "200000");
    LogCapture log;
    Watchdog watchdog;
    QVERIFY(log.contains(QStringLiteral("pinged every 100 ms")));  // half the interval
    QVERIFY(qEnvironmentVariableIsEmpty("NOTIFY_SOCKET"));         // not handed to children
    watchdog.attach(nullptr);
    QList<QByteArray> received;
    const auto pinged = [&] {
        received += notify.take();
        return received.count("WATCHDOG=1") >= 2;
    };
    QVERIFY2(waitUntil(pinged, 20000) && received.value(0) == "READY=1",
             received.join(' ').constData());
}

void TestWatchdog::readyThenPingsUntilTheGuiHangs() {
    QTemporaryDir dir;
    NotifySocket notify(dir.filePath("notify"));
    QVERIFY(notify.isBound());
    // The program keeps its event store beside itself: run a copy in the folder.
    const QString quellan = dir.filePath("quellan");
    QVERIFY(QFile::copy(QStringLiteral(QUELLAN_BINARY), quellan));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("NOTIFY_SOCKET", dir.filePath("notify"));
    env.insert("WATCHDOG_USEC", "400000");  // pings every 200 ms
    env.insert("QUELLAN_TEST_HANG_GUI_MS", "1500");
    Program ui;
    ui.process.setProcessEnvironment(env);
    // No broker on that port: the program runs on, waiting for one.
    QVERIFY(ui.start(quellan,
                     {"-e", "-H", "127.0.0.1", "-P", QString::number(Broker::freePort()), "-f",
                      dir.filePath("gui.conf")},
                     dir.path()));

    QList<QByteArray> received;
    const auto hung = [&] {
        received += notify.take();
        return ui.output.contains(QLatin1String("GUI thread blocked"));
    };
    QVERIFY2(waitUntil(hung, 60000), qPrintable(ui.output));
    QVERIFY2(received.value(0) == "READY=1" && received.count("READY=1") == 1,
             received.join(' ').constData());
    QVERIFY2(received.count("WATCHDOG=1") >= 2, received.join(' ').constData());

    // Blocked: four intervals pass without a single ping.
    QTest::qWait(800);
    notify.take();  // a ping may have been on its way when the thread stopped
    QTest::qWait(800);
    QCOMPARE(notify.take(), QList<QByteArray>());
    ui.process.kill();  // hung: it would not end on a request
}

QTEST_GUILESS_MAIN(TestWatchdog)
#include "e2e_watchdog.moc"
