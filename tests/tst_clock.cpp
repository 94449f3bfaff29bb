// The clock manager: the time zone through a fake timedatectl, NTP over a real broker.

#include <QtTest>
#include <memory>

#include "Clock.h"
#include "support/Files.h"
#include "support/ServiceRig.h"

using manager::Clock;

namespace {

// A stand-in for timedatectl in a private folder first on PATH. Each call appends its
// arguments joined by '|' to calls.log and prints <command>.out.
class FakeTool {
public:
    FakeTool() : m_path(qgetenv("PATH")) {
        write("timedatectl",
              "#!/bin/sh\nhere=$(dirname \"$0\")\n"
              "(IFS='|'; echo \"$*\") >> \"$here/calls.log\"\n"
              "c=$1; [ \"$1\" = --no-pager ] && c=$2\n"
              // A board slow at boot: the first list read after "slow" is written hangs.
              "[ \"$c\" = list-timezones ] && rm \"$here/slow\" 2>/dev/null && exec sleep 60\n"
              "cat \"$here/$c.out\" 2>/dev/null\nexit 0\n");
        QFile::setPermissions(m_dir.filePath("timedatectl"), QFile::ReadOwner | QFile::ExeOwner);
        write("list-timezones.out", testFile("clock/timezones.txt"));
        write("status.out", testFile("clock/timedatectl-status.txt"));
        qputenv("PATH", m_dir.path().toLocal8Bit() + ':' + m_path);
    }
    ~FakeTool() { qputenv("PATH", m_path); }
    void write(const QString& name, const QByteArray& content) {
        QVERIFY(writeFile(m_dir.filePath(name), content));
    }
    QStringList calls() {
        QFile file(m_dir.filePath("calls.log"));
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        const QStringList out = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        file.remove();
        return out;
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_path;
};

}  // namespace

class TestClock : public QObject {
    Q_OBJECT

private slots:
    void timezone_data() {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QString>("zone");
        QTest::newRow("full status") << testFile("clock/timedatectl-status.txt") << "Europe/Athens";
        QTest::newRow("blank in name")
            << QByteArray("Time zone: America/New York (EST, -0500)\n") << "America/New York";
        QTest::newRow("no parenthesis") << QByteArray("Time zone: n/a\n") << "";
    }

    void timezone() {
        FakeTool tool;
        QFETCH(QByteArray, status);
        tool.write("status.out", status);
        tool.write("slow", "");
        manager::MqttClient client;
        Clock clock(client, "zorv/device");
        QTEST(clock.timezone(), "zone");
        // The list is read once at start, one zone per line, while the event loop runs: a
        // read that hangs is given up and asked again.
        QSignalSpy listed(&clock, &Clock::timezonesChanged);
        QVERIFY(clock.timezones().isEmpty() && listed.wait(10000));
        QCOMPARE(clock.timezones().mid(0, 3),
                 (QStringList{"Africa/Abidjan", "America/New_York", "Europe/Athens"}));
    }

    void setTimezone() {
        FakeTool tool;
        manager::MqttClient client;
        Clock clock(client, "zorv/device");
        QSignalSpy changed(&clock, &Clock::timezoneChanged);
        QTRY_VERIFY(!clock.timezones().isEmpty());
        tool.calls();
        // The name is one argument, however it reads; the current zone is not set again.
        clock.setTimezone("Europe/Athens");
        clock.setTimezone("America/New York; touch x");
        QCOMPARE(tool.calls(),
                 (QStringList{"status", "status", "set-timezone|America/New York; touch x"}));
        QCOMPARE(changed.count(), 1);
        // timedatectl would take a name beginning with a dash as an option.
        LogCapture log;
        clock.setTimezone("-H root@host");
        QCOMPARE(tool.calls(), QStringList());
        QCOMPARE(log.all(), QStringList{"WARN: Time zone rejected :  \"-H root@host\""});
    }

    void ntp() {
        FakeTool tool;
        ServiceRig rig("zorv/device/clock/ntp");
        Clock clock(rig.client(), "zorv/device");
        QVERIFY(rig.start());
        QCOMPARE(rig.sent(), (QStringList{"/status/get ", "/config/get "}));

        Emissions watch(&clock);
        QVERIFY(rig.send("/status", fixture("clock/ntp-status-synced.json")));
        QVERIFY(rig.send("/config", fixture("clock/ntp-config.json")));
        QCOMPARE(watch.take(), QString("ntpServerChanged ntpEnabledChanged ntpSyncedChanged"));
        QVERIFY(clock.ntpEnabled() && clock.ntpSynced());
        QCOMPARE(clock.ntpServer(), QString("pool.ntp.org"));

        // Requests leave the state to the service's next report.
        rig.sent();
        clock.setNtpServer("pool.ntp.org");
        clock.setNtpServer("time.example");
        clock.setNtpEnabled(true);
        clock.setNtpEnabled(false);
        clock.ntpSync();
        QCOMPARE(
            rig.sent(),
            (QStringList{R"(/config/set {"enabled":true,"server":"time.example"})",
                         R"(/config/set {"enabled":false,"server":"pool.ntp.org"})", "/sync "}));
        QCOMPARE(watch.take(), QString("ntpSyncedChanged"));
        QVERIFY(!clock.ntpSynced());

        // An empty payload is no JSON here; the log shows the payload itself.
        LogCapture log;
        QVERIFY(rig.send("/config", ""));
        QCOMPARE(log.lines(QtCriticalMsg), QStringList{"Failed to parse JSON message:  \"\""});
        QCOMPARE(watch.take(), QString());
    }
};

QTEST_GUILESS_MAIN(TestClock)
#include "tst_clock.moc"
