// The clock manager: time zone through a fake timedatectl first on PATH, NTP through
// a real broker with a peer playing the clock service.

#include <signal.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaMethod>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <memory>
#include <vector>

#include "Broker.h"
#include "Clock.h"
#include "Emissions.h"
#include "Fixtures.h"
#include "LogCapture.h"
#include "MqttClient.h"
#include "Peer.h"

namespace {

QByteArray clockFixture(const QString& name) {
    return fixture("clock/" + name);
}

// A stand-in for timedatectl in a private folder put first on PATH for the test.
// Every call appends its arguments to calls.log, one per line, then "--end--".
// <command>.out is printed for "list-timezones" and "status"; "set-timezone" writes
// a status line for the new zone, as the real tool's next status would show. With
// <command>.hang present the tool prints its output, notes its pid and hangs.
class FakeTool {
public:
    FakeTool() : m_path(qEnvironmentVariable("PATH")) {
        write("timedatectl",
              "#!/bin/sh\n"
              "here=$(dirname \"$0\")\n"
              "for arg in \"$@\"; do printf '%s\\n' \"$arg\"; done >> \"$here/calls.log\"\n"
              "echo --end-- >> \"$here/calls.log\"\n"
              "command=$1\n"
              "[ \"$1\" = --no-pager ] && command=$2\n"
              "[ -f \"$here/$command.out\" ] && cat \"$here/$command.out\"\n"
              "if [ \"$command\" = set-timezone ]; then\n"
              "  printf '                Time zone: %s (XYZ, +0000)\\n' \"$2\" > "
              "\"$here/status.out\"\n"
              "fi\n"
              "if [ -f \"$here/$command.hang\" ]; then\n"
              "  echo $$ > \"$here/$command.pid\"\n"
              "  exec sleep 30\n"
              "fi\n");
        QFile::setPermissions(m_dir.filePath("timedatectl"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        write("list-timezones.out", clockFixture("timezones.txt"));
        write("status.out", clockFixture("timedatectl-status.txt"));
        qputenv("PATH", (m_dir.path() + ':' + m_path).toLocal8Bit());
    }
    ~FakeTool() { qputenv("PATH", m_path.toLocal8Bit()); }

    void write(const QString& name, const QByteArray& content) {
        QFile file(m_dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    // Leaves nothing named timedatectl on PATH.
    void remove() {
        QFile::remove(m_dir.filePath("timedatectl"));
        qputenv("PATH", m_dir.path().toLocal8Bit());
    }
    // Each call's arguments, one list per call.
    QList<QStringList> calls() const {
        QFile file(m_dir.filePath("calls.log"));
        QList<QStringList> out;
        if (!file.open(QIODevice::ReadOnly)) {
            return out;
        }
        QStringList current;
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
        for (const QString& line : lines) {
            if (line == "--end--") {
                out << current;
                current.clear();
            } else if (!line.isEmpty()) {
                current << line;
            }
        }
        return out;
    }
    // How many calls carried this argument.
    int count(const QString& argument) const {
        int n = 0;
        for (const QStringList& call : calls()) {
            n += call.contains(argument) ? 1 : 0;
        }
        return n;
    }
    void clearCalls() { QFile::remove(m_dir.filePath("calls.log")); }
    qint64 pid(const QString& command) const {
        QFile file(m_dir.filePath(command + ".pid"));
        return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong() : 0;
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
};

bool processGone(qint64 pid) {
    return pid > 0 && ::kill(pid_t(pid), 0) == -1 && errno == ESRCH;
}

const QString kBase = QStringLiteral("zorv/device");
const QString kTopics = QStringLiteral("zorv/device/clock/ntp");

}  // namespace

class TestClock : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void readsZoneListAndCurrentZone();
    void statusLine_data();
    void statusLine();
    void setTimezoneSendsNameAsOneArgument();
    void zoneNamesThatLookLikeOptionsAreRefused();
    void missingTool();
    void hangingToolIsCutOffAfterWait();

    void asksForNtpStateOnConnect();
    void mirrorsNtpStatusAndConfig();
    void ntpRequestsLeaveStateToService();
    void topicsAreMatchedByContent();
    void malformedPayloadsAreDropped_data();
    void malformedPayloadsAreDropped();

private:
    // The peer listens to the clock's topics; returns once the manager's own
    // subscriptions are live (an unparsable probe comes back as its log line).
    void connectAll(manager::MqttClient& client, Peer& peer, LogCapture& log);

    Broker m_broker;
};

void TestClock::initTestCase() {
    QVERIFY(m_broker.start());
}

void TestClock::connectAll(manager::MqttClient& client, Peer& peer, LogCapture& log) {
    QVERIFY(peer.connect(m_broker.host(), m_broker.port()));
    QVERIFY(peer.subscribe(kTopics + "/#"));
    client.setHostname(m_broker.host());
    client.setPort(m_broker.port());
    client.connect();
    bool live = false;
    for (int attempt = 0; attempt < 20 && !live; ++attempt) {
        QVERIFY(peer.publish(kTopics + "/status", QByteArrayLiteral("probe")));
        live = waitUntil([&] { return log.count("Failed to parse JSON message") > 0; }, 500);
    }
    QVERIFY2(live, "the clock's subscriptions never became live");
    QTest::qWait(50);
    log.clear();
    peer.clear();
}

// --- Time zone through timedatectl ---------------------------------------------------

void TestClock::readsZoneListAndCurrentZone() {
    FakeTool tool;
    manager::MqttClient client;
    manager::Clock clock(client, kBase);

    // The list is read once, one zone per line; the final line end leaves an empty
    // last entry.
    QCOMPARE(clock.timezones(), (QStringList{"Africa/Abidjan", "America/New_York", "Europe/Athens",
                                             "Europe/London", "UTC", ""}));
    QCOMPARE(tool.calls(), (QList<QStringList>{{"--no-pager", "list-timezones"}}));

    // The current zone is asked for on every read.
    QCOMPARE(clock.timezone(), QStringLiteral("Europe/Athens"));
    tool.write("status.out", "                Time zone: Europe/London (GMT, +0000)\n");
    QCOMPARE(clock.property("timezone").toString(), QStringLiteral("Europe/London"));
    QCOMPARE(tool.calls().size(), 3);
    QCOMPARE(tool.calls().last(), QStringList{"status"});
    QCOMPARE(clock.timezones().size(), 6);
    QCOMPARE(tool.count("list-timezones"), 1);
}

void TestClock::statusLine_data() {
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QString>("zone");
    QTest::newRow("full status") << clockFixture("timedatectl-status.txt") << "Europe/Athens";
    QTest::newRow("negative offset")
        << QByteArray("Time zone: America/Argentina/Buenos_Aires (-03, -0300)\n")
        << "America/Argentina/Buenos_Aires";
    QTest::newRow("blank in name")
        << QByteArray("Time zone: America/New York (EST, -0500)\n") << "America/New York";
    QTest::newRow("parenthesis further on")
        << QByteArray("Time zone: Etc/UTC (UTC, +0000)\nNTP service: n/a (inactive)\n")
        << "Etc/UTC";
    QTest::newRow("no parenthesis") << QByteArray("Time zone: n/a\n") << "";
    QTest::newRow("no label") << QByteArray("Local time: Sun 2026-12-06 (EET)\n") << "";
    QTest::newRow("empty") << QByteArray() << "";
}

void TestClock::statusLine() {
    QFETCH(QByteArray, status);
    QFETCH(QString, zone);
    FakeTool tool;
    tool.write("status.out", status);
    manager::MqttClient client;
    manager::Clock clock(client, kBase);
    QCOMPARE(clock.timezone(), zone);
}

void TestClock::setTimezoneSendsNameAsOneArgument() {
    FakeTool tool;
    manager::MqttClient client;
    manager::Clock clock(client, kBase);
    Emissions emitted(&clock);
    tool.clearCalls();

    clock.setTimezone("America/New York");
    QCOMPARE(tool.calls(), (QList<QStringList>{{"status"}, {"set-timezone", "America/New York"}}));
    QCOMPARE(emitted.take(), QStringLiteral("timezoneChanged"));
    QCOMPARE(clock.timezone(), QStringLiteral("America/New York"));

    // Already the current zone: only read, not set.
    tool.clearCalls();
    clock.setProperty("timezone", "America/New York");
    QCOMPARE(tool.calls(), (QList<QStringList>{{"status"}}));
    QCOMPARE(emitted.take(), QString());

    // Quotes and semicolons are characters of the one argument, nothing more.
    tool.clearCalls();
    clock.setTimezone("Europe/Athens'; touch hacked; '");
    QCOMPARE(tool.calls().value(1),
             (QStringList{"set-timezone", "Europe/Athens'; touch hacked; '"}));
    QCOMPARE(emitted.take(), QStringLiteral("timezoneChanged"));
}

void TestClock::zoneNamesThatLookLikeOptionsAreRefused() {
    FakeTool tool;
    LogCapture log(LogCapture::SkipClient);
    manager::MqttClient client;
    manager::Clock clock(client, kBase);
    Emissions emitted(&clock);
    tool.clearCalls();
    log.clear();

    for (const char* name : {"--help", "-H root@host", "-"}) {
        clock.setTimezone(name);
    }
    QCOMPARE(tool.calls(), QList<QStringList>());
    QCOMPARE(emitted.take(), QString());
    QCOMPARE(log.all(), (QStringList{"WARN: Time zone rejected :  \"--help\"",
                                     "WARN: Time zone rejected :  \"-H root@host\"",
                                     "WARN: Time zone rejected :  \"-\""}));
    QCOMPARE(clock.timezone(), QStringLiteral("Europe/Athens"));
}

void TestClock::missingTool() {
    FakeTool tool;
    tool.remove();
    LogCapture log(LogCapture::SkipClient);
    manager::MqttClient client;
    manager::Clock clock(client, kBase);
    Emissions emitted(&clock);

    QCOMPARE(clock.timezones(), QStringList{QString()});
    QCOMPARE(clock.timezone(), QString());
    // With no current zone to compare with, a set always counts as a change.
    clock.setTimezone("Europe/Athens");
    QCOMPARE(emitted.take(), QStringLiteral("timezoneChanged"));
    QVERIFY(log.count("WARN: timedatectl could not be started") >= 3);
}

void TestClock::hangingToolIsCutOffAfterWait() {
    FakeTool tool;
    // The list is printed in part, then the tool hangs.
    tool.write("list-timezones.out", "Europe/Athens\nEurope/Lon");
    tool.write("list-timezones.hang", "");
    LogCapture log(LogCapture::SkipClient);
    manager::MqttClient client;
    manager::Clock clock(client, kBase);
    Emissions emitted(&clock);

    QCOMPARE(clock.timezones(), (QStringList{"Europe/Athens", "Europe/Lon"}));
    QVERIFY(processGone(tool.pid("list-timezones")));
    QCOMPARE(log.count("WARN: timedatectl did not finish within  1000  msec(s)"), 1);

    // What the status printed before hanging still counts.
    tool.write("status.hang", "");
    QCOMPARE(clock.timezone(), QStringLiteral("Europe/Athens"));
    QVERIFY(processGone(tool.pid("status")));

    // A set that hangs is given up after the wait and still announced.
    tool.write("set-timezone.hang", "");
    clock.setTimezone("Europe/Paris");
    QCOMPARE(emitted.take(), QStringLiteral("timezoneChanged"));
    QVERIFY(processGone(tool.pid("set-timezone")));
    QCOMPARE(tool.calls().last(), (QStringList{"set-timezone", "Europe/Paris"}));
}

// --- NTP through the clock service ---------------------------------------------------

void TestClock::asksForNtpStateOnConnect() {
    FakeTool tool;
    LogCapture log(LogCapture::SkipClient);
    manager::MqttClient client;
    manager::Clock clock(client, kBase);
    QCOMPARE(log.all(), QStringList());  // subscribing logs nothing
    Peer peer;
    QVERIFY(peer.connect(m_broker.host(), m_broker.port()));
    QVERIFY(peer.subscribe(kTopics + "/#"));
    client.setHostname(m_broker.host());
    client.setPort(m_broker.port());
    client.connect();

    QVERIFY(waitUntil([&] { return peer.messages().size() >= 2; }));
    QTest::qWait(100);
    const QList<Peer::Message> sent = peer.messages();
    QCOMPARE(sent.size(), 2);
    QCOMPARE(sent[0].topic, kTopics + "/status/get");
    QCOMPARE(sent[0].payload, QByteArray());
    QCOMPARE(sent[1].topic, kTopics + "/config/get");
    QCOMPARE(sent[1].payload, QByteArray());
    QCOMPARE(log.count("Refreshing Clock status and config"), 1);

    // The settings page asks again when it opens; the zone list is not read again.
    peer.clear();
    clock.refresh();
    QVERIFY(waitUntil([&] { return peer.messages().size() == 2; }));
    QCOMPARE(tool.count("list-timezones"), 1);
}

void TestClock::mirrorsNtpStatusAndConfig() {
    FakeTool tool;
    LogCapture log(LogCapture::SkipClient);
    manager::MqttClient client;
    manager::Clock clock(client, kBase);
    Peer peer;
    connectAll(client, peer, log);
    Emissions emitted(&clock);

    QVERIFY(peer.publish(kTopics + "/status", clockFixture("ntp-status-synced.json")));
    QVERIFY(waitUntil([&] { return clock.ntpSynced(); }));
    QVERIFY(clock.ntpEnabled());
    QCOMPARE(emitted.take(), QStringLiteral("ntpEnabledChanged ntpSyncedChanged"));

    QVERIFY(peer.publish(kTopics + "/config", clockFixture("ntp-config.json")));
    QVERIFY(waitUntil([&] { return clock.ntpServer() == "pool.ntp.org"; }));
    QCOMPARE(emitted.take(), QStringLiteral("ntpServerChanged"));

    // Repeats change nothing.
    QVERIFY(peer.publish(kTopics + "/status", clockFixture("ntp-status-synced.json")));
    QVERIFY(peer.publish(kTopics + "/config", clockFixture("ntp-config.json")));
    QVERIFY(peer.publish(kTopics + "/status", "{\"enabled\": false, \"synced\": false}"));
    QVERIFY(waitUntil([&] { return !clock.ntpSynced(); }));
    QCOMPARE(emitted.take(), QStringLiteral("ntpEnabledChanged ntpSyncedChanged"));

    // Missing members count as false and empty text.
    QVERIFY(peer.publish(kTopics + "/status", clockFixture("ntp-status-synced.json")));
    QVERIFY(waitUntil([&] { return clock.ntpSynced(); }));
    emitted.take();
    QVERIFY(peer.publish(kTopics + "/config", clockFixture("ntp-config-disabled.json")));
    QVERIFY(waitUntil([&] { return clock.ntpServer().isEmpty(); }));
    QCOMPARE(emitted.take(), QStringLiteral("ntpServerChanged ntpEnabledChanged"));
    QVERIFY(!clock.ntpEnabled());
    QVERIFY(clock.ntpSynced());
    QCOMPARE(log.all(), QStringList());  // the handlers log nothing
}

void TestClock::ntpRequestsLeaveStateToService() {
    FakeTool tool;
    LogCapture log(LogCapture::SkipClient);
    manager::MqttClient client;
    manager::Clock clock(client, kBase);
    Peer peer;
    connectAll(client, peer, log);
    QVERIFY(peer.publish(kTopics + "/config", clockFixture("ntp-config.json")));
    QVERIFY(waitUntil([&] { return clock.ntpServer() == "pool.ntp.org"; }));
    QTest::qWait(50);
    peer.clear();
    Emissions emitted(&clock);
    const QString set = kTopics + "/config/set";

    // The server held already: nothing goes out.
    clock.setNtpServer("pool.ntp.org");
    clock.setNtpEnabled(true);
    // A new server goes out with the current flag; the property waits for the answer.
    clock.setNtpServer("ntp.example.org");
    QVERIFY(waitUntil([&] { return peer.count(set) == 1; }));
    QCOMPARE(peer.messages(set).at(0).payload,
             QByteArray("{\n    \"enabled\": true,\n    \"server\": \"ntp.example.org\"\n}\n"));
    QCOMPARE(clock.ntpServer(), QStringLiteral("pool.ntp.org"));

    clock.setProperty("ntpEnabled", false);
    QVERIFY(waitUntil([&] { return peer.count(set) == 2; }));
    QCOMPARE(peer.messages(set).at(1).payload,
             indented(R"({"enabled": false, "server": "pool.ntp.org"})"));
    QVERIFY(clock.ntpEnabled());
    QCOMPARE(emitted.take(), QString());
    QCOMPARE(log.all(),
             (QStringList{"Setting NTP server :  \"ntp.example.org\"", "Setting NTP :  disabled"}));

    // A sync request clears the flag at once, signalled even when already false.
    log.clear();
    clock.ntpSync();
    QCOMPARE(emitted.take(), QStringLiteral("ntpSyncedChanged"));
    QVERIFY(!clock.ntpSynced());
    QVERIFY(waitUntil([&] { return peer.count(kTopics + "/sync") == 1; }));
    QCOMPARE(peer.messages(kTopics + "/sync").at(0).payload, QByteArray());
    QCOMPARE(log.all(), QStringList{"Requesting NTP sync"});

    QTest::qWait(100);
    QCOMPARE(peer.messages().size(), 3);
    QVERIFY(!peer.messages().at(0).retained);
}

void TestClock::topicsAreMatchedByContent() {
    FakeTool tool;
    LogCapture log(LogCapture::SkipClient);
    manager::MqttClient client;
    manager::Clock clock(client, kBase);
    Emissions emitted(&clock);
    const QByteArray synced = clockFixture("ntp-status-synced.json");

    // Outside the base topic: dropped by the scope test.
    emit client.received(synced, QByteArrayLiteral("other/clock/ntp/status"));
    QCOMPARE(emitted.take(), QString());

    // Both texts in one topic: the status handler wins (it alone reads "synced").
    emit client.received(synced, (kTopics + "/config/ntp/status").toUtf8());
    QCOMPARE(emitted.take(), QStringLiteral("ntpEnabledChanged ntpSyncedChanged"));

    // Anywhere in the topic, even with more after it.
    emit client.received(clockFixture("ntp-config.json"), (kTopics + "/config/latest").toUtf8());
    QCOMPARE(clock.ntpServer(), QStringLiteral("pool.ntp.org"));

    // Under the base topic but neither text: ignored without a word.
    emit client.received(synced, (kTopics + "/sync").toUtf8());
    QCOMPARE(emitted.take(), QStringLiteral("ntpServerChanged"));
    QCOMPARE(log.all(), QStringList());
}

void TestClock::malformedPayloadsAreDropped_data() {
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("status empty") << "/status" << QByteArray();
    QTest::newRow("status cut") << "/status" << QByteArray("{\"enabled\": fal");
    QTest::newRow("config text") << "/config" << QByteArray("synced");
    QTest::newRow("config binary") << "/config" << QByteArray("\x00\x01\xfe", 3);
}

void TestClock::malformedPayloadsAreDropped() {
    QFETCH(QString, suffix);
    QFETCH(QByteArray, payload);
    FakeTool tool;
    LogCapture log(LogCapture::SkipClient);
    manager::MqttClient client;
    manager::Clock clock(client, kBase);
    Peer peer;
    connectAll(client, peer, log);
    QVERIFY(peer.publish(kTopics + "/status", clockFixture("ntp-status-synced.json")));
    QVERIFY(peer.publish(kTopics + "/config", clockFixture("ntp-config.json")));
    QVERIFY(waitUntil([&] { return clock.ntpSynced() && clock.ntpServer() == "pool.ntp.org"; }));
    Emissions emitted(&clock);

    QVERIFY(peer.publish(kTopics + suffix, payload));
    QVERIFY(waitUntil([&] { return !log.all().isEmpty(); }));
    QTest::qWait(50);
    // No tag, and the payload itself rather than the parser's complaint.
    QString quoted;
    QDebug(&quoted).nospace() << payload;
    QCOMPARE(log.all(), QStringList{"Failed to parse JSON message:  " + quoted});
    QCOMPARE(emitted.take(), QString());
    QVERIFY(clock.ntpEnabled());
    QVERIFY(clock.ntpSynced());
    QCOMPARE(clock.ntpServer(), QStringLiteral("pool.ntp.org"));

    QVERIFY(peer.publish(kTopics + "/status", "{\"enabled\": true, \"synced\": false}"));
    QVERIFY(waitUntil([&] { return !clock.ntpSynced(); }));
}

QTEST_GUILESS_MAIN(TestClock)
#include "tst_clock.moc"
