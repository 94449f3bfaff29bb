// The update manager against a real broker, with a peer playing the update service:
// the status words the technician sees, the versions, both progress topics, the 5 s
// check, the install request and the loss of the broker.

#include <QtTest>
#include <memory>

#include "Update.h"
#include "support/ServiceRig.h"

using manager::Update;

namespace {
const QString kBase = QStringLiteral("zorv/device");
}  // namespace

class TestUpdate : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startsDisconnectedAndAsksOnConnection();
    void serviceStatusWithVersionText();
    void serviceStatusWithVersionObject();
    void softwareStatusLeavesTheStatusWord();
    void progress_data();
    void progress();
    void checkEndsAfterFiveSecondsFromWhatIsKnown();
    void progressCancelsTheCheckOutcome();
    void installOnlyWithAPendingVersion();
    void lossOfTheBrokerKeepsTheVersions();
    void malformedPayloadIsDroppedWithOneLine_data();
    void malformedPayloadIsDroppedWithOneLine();

private:
    std::unique_ptr<ServiceRig> m_rig;
    std::unique_ptr<Update> m_update;
};

void TestUpdate::init() {
    m_rig = std::make_unique<ServiceRig>(kBase);
    m_update = std::make_unique<Update>(m_rig->client(), kBase);
    QCOMPARE(m_update->status(), QStringLiteral("Disconnected"));
    QVERIFY(m_rig->start());
}

void TestUpdate::cleanup() {
    m_update.reset();
    m_rig.reset();
}

void TestUpdate::startsDisconnectedAndAsksOnConnection() {
    // Connected, but nothing heard from the service yet.
    QCOMPARE(m_update->status(), QStringLiteral("Disconnected"));
    QCOMPARE(m_update->progressPercent(), 0);
    QVERIFY(m_rig->waitForRequests("/status/get", 1));
    QCOMPARE(m_rig->requests("/status/get"), QList<QByteArray>{QByteArray()});

    emit m_rig->client().connected();
    QVERIFY(m_rig->waitForRequests("/status/get", 2));
}

void TestUpdate::serviceStatusWithVersionText() {
    QVERIFY(m_rig->send("/update/software/status", fixture("update/software-status.json")));
    QVERIFY(m_rig->send("/update/software/progress", fixture("update/progress-install.json")));
    QCOMPARE(m_update->progressPercent(), 75);

    Emissions watch(m_update.get());
    QVERIFY(m_rig->send("/status", R"({"update": {"software": "1.0.16"}})"));
    QCOMPARE(m_update->current(), QStringLiteral("1.0.16"));
    QCOMPARE(m_update->pending(), QStringLiteral("1.0.18"));  // kept
    QCOMPARE(m_update->status(), QStringLiteral("Ready to install"));
    QCOMPARE(m_update->progressMessage(), QStringLiteral("Idle"));
    QCOMPARE(m_update->progressPercent(), 0);
    QCOMPARE(watch.take(), QStringLiteral("statusChanged currentChanged progressMessageChanged "
                                          "progressPercentChanged"));
}

void TestUpdate::serviceStatusWithVersionObject() {
    Emissions watch(m_update.get());
    QVERIFY(m_rig->send("/status", fixture("update/status-pending.json")));
    QCOMPARE(m_update->current(), QStringLiteral("1.0.17"));
    QCOMPARE(m_update->pending(), QStringLiteral("1.0.18"));
    QCOMPARE(m_update->status(), QStringLiteral("Ready to install"));
    QCOMPARE(m_update->progressMessage(), QStringLiteral("Idle"));
    QCOMPARE(watch.take(), QStringLiteral("statusChanged currentChanged pendingChanged "
                                          "progressMessageChanged"));

    // The same again: no setter signals.
    QVERIFY(m_rig->send("/status", fixture("update/status-pending.json")));
    QCOMPARE(watch.take(), QString());

    QVERIFY(m_rig->send("/status", fixture("update/status-up-to-date.json")));
    QCOMPARE(m_update->current(), QStringLiteral("1.0.18"));
    QCOMPARE(m_update->pending(), QString());
    QCOMPARE(m_update->status(), QStringLiteral("No pending updates"));

    // Any other type of "software" changes neither version.
    QVERIFY(m_rig->send("/status", fixture("update/status-pending.json")));
    QVERIFY(m_rig->send("/status", R"({"update": {"software": 5}})"));
    QCOMPARE(m_update->current(), QStringLiteral("1.0.17"));
    QCOMPARE(m_update->pending(), QStringLiteral("1.0.18"));
    QCOMPARE(m_update->status(), QStringLiteral("Ready to install"));

    // An empty payload is an empty object: the status follows the held pending version.
    QVERIFY(m_rig->send("/status", QByteArray()));
    QCOMPARE(m_update->pending(), QStringLiteral("1.0.18"));
    QCOMPARE(m_update->status(), QStringLiteral("Ready to install"));
}

void TestUpdate::softwareStatusLeavesTheStatusWord() {
    Emissions watch(m_update.get());
    LogCapture log;
    QVERIFY(m_rig->send("/update/software/status", fixture("update/software-status.json")));
    QCOMPARE(m_update->current(), QStringLiteral("1.0.17"));
    QCOMPARE(m_update->pending(), QStringLiteral("1.0.18"));
    QCOMPARE(m_update->status(), QStringLiteral("Disconnected"));
    QCOMPARE(watch.take(), QStringLiteral("currentChanged pendingChanged"));
    QVERIFY(log.startingWith("[Update] ").isEmpty());  // the setters never log

    // Missing versions read as empty.
    QVERIFY(m_rig->send("/update/software/status", R"({"current": "1.0.17"})"));
    QCOMPARE(m_update->pending(), QString());
}

void TestUpdate::progress_data() {
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("percent");

    const QByteArray download = fixture("update/progress-download.json");
    const QByteArray install = fixture("update/progress-install.json");
    for (const char* suffix : {"/update/software/progress", "/update/software/progess"}) {
        const QString name = QString::fromLatin1(suffix).section('/', -1);
        QTest::newRow(qPrintable(name + ": download")) << suffix << download << "Downloading"
                                                       << "12/40 MB" << 30;
        QTest::newRow(qPrintable(name + ": install")) << suffix << install << "Installing"
                                                      << "Installing packages" << 75;
        QTest::newRow(qPrintable(name + ": no text"))
            << suffix << QByteArray(R"({"version": "1.0.18"})") << "Installing"
            << "" << 0;
    }
}

void TestUpdate::progress() {
    QFETCH(QString, suffix);
    QFETCH(QByteArray, payload);
    QFETCH(QString, status);
    QFETCH(QString, message);
    QFETCH(int, percent);

    QVERIFY(m_rig->send("/status", fixture("update/status-current.json")));
    QSignalSpy statusSpy(m_update.get(), &Update::statusChanged);
    QSignalSpy pending(m_update.get(), &Update::pendingChanged);
    QVERIFY(m_rig->send(suffix, payload));
    QCOMPARE(m_update->status(), status);
    QCOMPARE(m_update->progressMessage(), message);
    QCOMPARE(m_update->progressPercent(), percent);
    QCOMPARE(m_update->pending(), QStringLiteral("1.0.18"));
    QCOMPARE(statusSpy.count(), 1);
    QCOMPARE(pending.count(), 1);

    // The next message of the same stage moves only the numbers.
    QVERIFY(m_rig->send(suffix, payload));
    QCOMPARE(statusSpy.count(), 1);
    QCOMPARE(pending.count(), 1);
}

void TestUpdate::checkEndsAfterFiveSecondsFromWhatIsKnown() {
    QVERIFY(m_rig->send("/status", fixture("update/status-current.json")));
    QCOMPARE(m_update->status(), QStringLiteral("No pending updates"));

    LogCapture log;
    QSignalSpy status(m_update.get(), &Update::statusChanged);
    m_update->check();
    QCOMPARE(m_update->status(), QStringLiteral("Checking for updates"));
    QVERIFY(log.contains(QtInfoMsg, "[Update]  Checking for updates"));
    QVERIFY(m_rig->waitForRequests("/software/check", 1));
    QCOMPARE(m_rig->requests("/software/check"), QList<QByteArray>{QByteArray()});
    QCOMPARE(m_rig->service().count(kBase + "/update/software/check"), 0);

    // A pending version reported meanwhile decides the outcome.
    QVERIFY(m_rig->send("/update/software/status", fixture("update/software-status.json")));
    QCOMPARE(m_update->status(), QStringLiteral("Checking for updates"));
    QVERIFY(waitUntil([&] { return status.count() == 2; }, 8000));
    QCOMPARE(m_update->status(), QStringLiteral("Ready to install"));
    QVERIFY(log.contains(QtInfoMsg, "[Update]  No pedning updates"));

    // Nothing pending: the other outcome, with the same line.
    QVERIFY(m_rig->send("/status", fixture("update/status-up-to-date.json")));
    log.clear();
    m_update->check();
    QVERIFY(waitUntil([&] { return m_update->status() == "No pending updates"; }, 8000));
    QVERIFY(log.contains(QtInfoMsg, "[Update]  No pedning updates"));
}

void TestUpdate::progressCancelsTheCheckOutcome() {
    QVERIFY(m_rig->send("/status", fixture("update/status-current.json")));
    LogCapture log;
    m_update->check();
    QVERIFY(m_rig->send("/update/software/progess", fixture("update/progress-download.json")));
    QCOMPARE(m_update->status(), QStringLiteral("Downloading"));
    QTest::qWait(Update::kCheckTimeoutMsec + 1000);
    QCOMPARE(m_update->status(), QStringLiteral("Downloading"));
    QVERIFY(!log.contains(QtInfoMsg, "[Update]  No pedning updates"));

    // A later service status ends the run with "Idle" and 0 %.
    QVERIFY(m_rig->send("/status", fixture("update/status-up-to-date.json")));
    QCOMPARE(m_update->status(), QStringLiteral("No pending updates"));
    QCOMPARE(m_update->progressMessage(), QStringLiteral("Idle"));
    QCOMPARE(m_update->progressPercent(), 0);
}

void TestUpdate::installOnlyWithAPendingVersion() {
    QVERIFY(m_rig->send("/status", fixture("update/status-current.json")));
    LogCapture log;
    QSignalSpy status(m_update.get(), &Update::statusChanged);
    m_update->install();
    QVERIFY(m_rig->flush());
    QCOMPARE(m_rig->requests("/update/software/install").size(), 0);
    QVERIFY(log.contains(QtWarningMsg,
                         "[Update]  WARN: Cannot install. There are no pending versions"));
    QCOMPARE(status.count(), 0);

    QVERIFY(m_rig->send("/status", fixture("update/status-pending.json")));
    status.clear();
    m_update->install();
    QVERIFY(m_rig->waitForRequests("/update/software/install", 1));
    QCOMPARE(m_rig->requests("/update/software/install"), QList<QByteArray>{QByteArray()});
    QVERIFY(log.contains(QtInfoMsg, "[Update]  Installing pending update :  \"1.0.18\""));
    QCOMPARE(m_update->status(), QStringLiteral("Ready to install"));  // until progress comes
    QCOMPARE(status.count(), 0);
}

void TestUpdate::lossOfTheBrokerKeepsTheVersions() {
    QVERIFY(m_rig->send("/status", fixture("update/status-pending.json")));
    QSignalSpy status(m_update.get(), &Update::statusChanged);
    m_rig->broker().kill();
    QVERIFY(waitUntil([&] { return m_update->status() == "Disconnected"; }, 15000));
    QCOMPARE(status.count(), 1);
    QCOMPARE(m_update->current(), QStringLiteral("1.0.17"));
    QCOMPARE(m_update->pending(), QStringLiteral("1.0.18"));
    QCOMPARE(m_update->progressMessage(), QStringLiteral("Idle"));
}

void TestUpdate::malformedPayloadIsDroppedWithOneLine_data() {
    QTest::addColumn<QString>("suffix");
    for (const char* suffix : {"/status", "/update/software/status", "/update/software/progress",
                               "/update/software/progess"}) {
        QTest::newRow(suffix) << QString::fromLatin1(suffix);
    }
}

void TestUpdate::malformedPayloadIsDroppedWithOneLine() {
    QFETCH(QString, suffix);
    QVERIFY(m_rig->send("/status", fixture("update/status-pending.json")));
    m_update->check();

    LogCapture log;
    Emissions watch(m_update.get());
    QVERIFY(m_rig->send(suffix, R"({"message": "3/40 MB", "progress": )"));
    QVERIFY(watch.unchanged());
    QCOMPARE(watch.take(), QString());
    const auto lines = log.startingWith("[Update] ");
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines.first().type, QtCriticalMsg);
    QVERIFY2(lines.first().text.startsWith("[Update]  Failed to parse JSON message:  \""),
             qPrintable(lines.first().text));
}

QTEST_GUILESS_MAIN(TestUpdate)
#include "tst_update.moc"
