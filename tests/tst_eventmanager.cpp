// The event log: its store on disk (limits, pruning, damaged files) and the
// filtered, newest-first view the Event Log page shows.
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "Config.h"
#include "Event.h"
#include "EventManager.h"
#include "support/Files.h"

namespace {
QStringList storedNames(const QString& path) {
    QSettings store(path, QSettings::IniFormat);
    QStringList names;
    const int size = store.beginReadArray("events");
    for (int i = 0; i < size; ++i) {
        store.setArrayIndex(i);
        names << store.value("name").toString();
    }
    return names;
}

QStringList visibleNames(const EventManager& log) {
    QStringList names;
    for (QObject* object : log.data().value<QList<QObject*>>()) {
        names.append(qobject_cast<Event*>(object)->name());
    }
    return names;
}

Event* makeEvent(const QString& name, const QDateTime& time) {
    return new Event("General", name, QString(), time);
}
}  // namespace

class TestEventManager : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_config = std::make_unique<Config>(m_dir->filePath("gui.conf"), QVariantMap());
    }

    void loadsNewestThousandAndPushKeeps1001() {
        {
            QSettings writer(store(), QSettings::IniFormat);
            writer.beginWriteArray("events");
            for (int i = 0; i < 1500; ++i) {
                writer.setArrayIndex(i);
                writer.setValue("category", "Board");
                writer.setValue("name", QStringLiteral("event %1").arg(i));
                writer.setValue("timestamp", QDateTime::currentDateTime().addSecs(i - 1500));
            }
            writer.endArray();
        }
        EventManager events(*m_config, store());
        folderSynced(m_dir->path());
        QStringList names = visibleNames(events);
        QCOMPARE(names.size(), 1000);
        QCOMPARE(names.first(), QStringLiteral("event 1499"));
        QCOMPARE(names.last(), QStringLiteral("event 500"));

        QPointer<QObject> oldest = events.data().value<QList<QObject*>>().last();
        const QString description = QStringLiteral("line 1\nline 2 = [x] ; \"q\" \\ Καλημέρα %1 #");
        const QDateTime time = QDateTime::currentDateTime().addMSecs(123);
        events.push(new Event("Board", "new 1", description, time));
        QCOMPARE(visibleNames(events).size(), 1001);
        events.push(makeEvent("new 2", QDateTime::currentDateTime().addSecs(1)));
        QCOMPARE(visibleNames(events).size(), 1001);
        events.flush();  // the writer thread has it on disk, and its folder synced
        QVERIFY(folderSynced(m_dir->path()));
        QCOMPARE(storedNames(store()).first(), QStringLiteral("event 501"));
        // The dropped event stays usable until control returns to the event loop.
        QVERIFY(!oldest.isNull());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(oldest.isNull());

        // Every field comes back from the store as it went in.
        EventManager reloaded(*m_config, store());
        auto* loaded = qobject_cast<Event*>(reloaded.data().value<QList<QObject*>>().value(1));
        QCOMPARE(QStringList({loaded->category(), loaded->name(), loaded->description()}),
                 QStringList({"Board", "new 1", description}));
        QCOMPARE(loaded->timestamp(), time);
    }

    void prunesOlderThanThirtyDaysAtStart() {
        const QDateTime now = QDateTime::currentDateTime();
        {
            EventManager events(*m_config, store());
            events.push(makeEvent("too old", now.addDays(-30).addSecs(-60)));
            events.push(makeEvent("kept", now.addDays(-30).addSecs(60)));
        }
        EventManager events(*m_config, store());
        QCOMPARE(visibleNames(events), QStringList{"kept"});
        events.flush();
        QCOMPARE(storedNames(store()), QStringList{"kept"});
        // Clearing up to a moment takes the events at that moment too.
        const QDateTime limit = now.addSecs(-10);
        events.push(makeEvent("at the limit", limit));
        events.push(makeEvent("after", limit.addMSecs(1)));
        events.clear(limit);
        events.flush();
        QCOMPARE(storedNames(store()), QStringList{"after"});
        events.clear();
        QVERIFY(visibleNames(events).isEmpty());
        events.flush();
        QVERIFY(storedNames(store()).isEmpty());
    }

    // Each period against events of known age (seconds before now; minus is after).
    void periods_data() {
        QTest::addColumn<QString>("period");
        QTest::addColumn<int>("shown");
        QTest::newRow("last hour") << "Last hour" << 2;
        QTest::newRow("2 hours") << "Last 2 hours" << 3;
        QTest::newRow("5 hours") << "Last 5 hours" << 4;
        QTest::newRow("week") << "Last week" << 5;
        QTest::newRow("month") << "Last month" << 6;
        QTest::newRow("all") << "All history" << 8;
    }

    void periods() {
        QFETCH(QString, period);
        QFETCH(int, shown);
        const QDateTime now = QDateTime::currentDateTime();
        EventManager events(*m_config, store());
        for (const qint64 age : {-86400, 1, 3541, 7141, 17941, 86401, 8 * 86400, 40 * 86400}) {
            events.push(makeEvent(QString::number(age), now.addSecs(-age)));
        }
        events.applyFilterPeriod(period);
        QCOMPARE(visibleNames(events).size(), shown);
    }

    void filtersByDayAndName() {
        const QDate today = QDate::currentDate();
        EventManager events(*m_config, store());
        events.push(makeEvent("Ignition on", QDateTime(today, QTime(0, 0))));
        events.push(makeEvent("Ignition off", QDateTime(today, QTime(23, 59, 59))));
        events.push(makeEvent("too late", QDateTime(today, QTime(23, 59, 59, 500))));
        events.push(
            makeEvent("Application started", QDateTime(today.addDays(-1), QTime(23, 59, 59))));
        events.applyFilterPeriod("Today");
        QCOMPARE(visibleNames(events), (QStringList{"Ignition off", "Ignition on"}));
        events.applyFilterPeriod("Yesterday");
        QCOMPARE(visibleNames(events), QStringList{"Application started"});
        events.applyFilterPeriod("All history");
        events.applyFilter("IGN");
        QCOMPARE(visibleNames(events), (QStringList{"Ignition off", "Ignition on"}));
    }

    void damagedStoresKeepWorking() {
        const QByteArray garbage("\x01\x02\xff garbage\n[events\nsize=3\n\x7f");
        QVERIFY(writeFile(store(), garbage));
        // Kept aside before the next write replaces it.
        EventManager events(*m_config, store());
        events.push(makeEvent("Application started", QDateTime::currentDateTime()));
        events.flush();
        QCOMPARE(storedNames(store()), QStringList{"Application started"});
        QFile copy(store() + ".bad");
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), garbage);
        // Pushed twice or empty: dropped.
        Event* once = makeEvent("once", QDateTime::currentDateTime());
        events.push(once);
        events.push(once);
        events.push(nullptr);
        QCOMPARE(visibleNames(events).size(), 2);
    }

private:
    QString store() const { return m_dir->filePath("events.ini"); }
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Config> m_config;
};

QTEST_MAIN(TestEventManager)
#include "tst_eventmanager.moc"
