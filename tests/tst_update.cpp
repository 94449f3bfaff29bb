// The software update manager against a real broker and a peer playing its service.

#include <QtTest>
#include <memory>

#include "Update.h"
#include "support/ServiceRig.h"

using manager::Update;

class TestUpdate : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_rig = std::make_unique<ServiceRig>("zorv/device");
        m_update = m_rig->make<Update>("zorv/device");
        QCOMPARE(m_update->status(), QString("Disconnected"));
        QVERIFY(m_rig->start());
        QCOMPARE(m_rig->sent(), QStringList{"/status/get "});
    }

    void cleanup() { m_rig.reset(); }

    void mirror_data() {
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("shown");  // status, current, pending, message, percent
        QTest::newRow("version text")
            << QStringList{"/status status-current"}
            << QStringList{"No pending updates", "1.0.17", "", "Idle", "0"};
        QTest::newRow("pending") << QStringList{"/status status-pending"}
                                 << QStringList{"Ready to install", "1.0.17", "1.0.18", "Idle",
                                                "0"};
        QTest::newRow("up to date")
            << QStringList{"/status status-pending", "/status status-up-to-date"}
            << QStringList{"No pending updates", "1.0.18", "", "Idle", "0"};
        QTest::newRow("empty status")
            << QStringList{"/status status-pending", "/status"}
            << QStringList{"Ready to install", "1.0.17", "1.0.18", "Idle", "0"};
        QTest::newRow("software status keeps the word")
            << QStringList{"/status status-current", "/update/software/status software-status"}
            << QStringList{"No pending updates", "1.0.17", "1.0.18", "Idle", "0"};
        QTest::newRow("download") << QStringList{"/update/software/progress progress-download"}
                                  << QStringList{"Downloading", "", "1.0.18", "12/40 MB", "30"};
        QTest::newRow("install, old spelling")
            << QStringList{"/update/software/progess progress-install"}
            << QStringList{"Installing", "", "1.0.18", "Installing packages", "75"};
    }

    void mirror() {
        QFETCH(QStringList, messages);
        for (const QString& message : messages) {
            send(message);
        }
        QTEST((QStringList{m_update->status(), m_update->current(), m_update->pending(),
                           m_update->progressMessage(),
                           QString::number(m_update->progressPercent())}),
              "shown");
    }

    void checkEndsAfterItsTimeout() {
        send("/status status-pending");
        m_rig->sent();
        m_update->check();
        QCOMPARE(m_rig->sent(), QStringList{"/software/check "});
        QTest::qWait(4700);  // a check ends after five seconds
        QCOMPARE(m_update->status(), QString("Checking for updates"));
        QTRY_COMPARE_WITH_TIMEOUT(m_update->status(), QString("Ready to install"), 800);

        // Progress during a check ends it.
        m_update->check();
        send("/update/software/progress progress-download");
        QTest::qWait(5200);
        QCOMPARE(m_update->status(), QString("Downloading"));
    }

    void installOnlyWithAPendingVersion() {
        LogCapture log;
        m_update->install();
        QCOMPARE(m_rig->sent(), QStringList());
        QVERIFY(log.contains("WARN: Cannot install. There are no pending versions"));
        send("/status status-pending");
        m_rig->sent();
        m_update->install();
        QCOMPARE(m_rig->sent(), QStringList{"/update/software/install "});
        // A lost broker shows as such; the pending version is kept.
        m_rig->broker().kill();
        QTRY_COMPARE_WITH_TIMEOUT(m_update->status(), QString("Disconnected"), 15000);
        QCOMPARE(m_update->pending(), QString("1.0.18"));
    }

private:
    // "suffix name" sends examples/messages/update/name.json; "suffix" alone an empty payload.
    void send(const QString& message) {
        const QString name = message.section(' ', 1);
        QVERIFY(m_rig->send(message.section(' ', 0, 0),
                            name.isEmpty() ? QByteArray() : fixture("update/" + name + ".json")));
    }
    std::unique_ptr<ServiceRig> m_rig;
    Update* m_update = nullptr;
};

QTEST_GUILESS_MAIN(TestUpdate)
#include "tst_update.moc"
