#include <QFile>
#include <QPointer>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "Config.h"
#include "Event.h"
#include "EventLogin.h"
#include "EventManager.h"
#include "LogCapture.h"
#include "SessionManager.h"

namespace {

struct Entry {
    QString category;
    QString name;
    QString desc;
    QDateTime timestamp;
};

// Writes a store the way the device keeps it: one INI array "events".
void writeStore(const QString& path, const QVector<Entry>& entries) {
    QSettings store(path, QSettings::IniFormat);
    store.beginWriteArray("events");
    for (int i = 0; i < entries.size(); ++i) {
        store.setArrayIndex(i);
        store.setValue("category", entries[i].category);
        store.setValue("name", entries[i].name);
        store.setValue("desc", entries[i].desc);
        store.setValue("timestamp", entries[i].timestamp);
    }
    store.endArray();
}

QVector<Entry> readStore(const QString& path) {
    QSettings store(path, QSettings::IniFormat);
    QVector<Entry> entries;
    const int size = store.beginReadArray("events");
    for (int i = 0; i < size; ++i) {
        store.setArrayIndex(i);
        entries.append({store.value("category").toString(), store.value("name").toString(),
                        store.value("desc").toString(), store.value("timestamp").toDateTime()});
    }
    return entries;
}

// A line that QSettings drops when it rewrites the file: tells whether it was rewritten.
void appendMarker(const QString& path) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::Append));
    file.write("; untouched\n");
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<QObject*> visible(const EventManager& log) {
    return log.data().value<QList<QObject*>>();
}

QStringList visibleNames(const EventManager& log) {
    QStringList names;
    for (QObject* object : visible(log)) {
        names.append(qobject_cast<Event*>(object)->name());
    }
    return names;
}

Event* makeEvent(const QString& name, const QDateTime& time) {
    return new Event("General", name, QString(), time);
}

void flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

const QRegularExpression DELETED_NONE(
    QStringLiteral("^\\[EventManager\\] Deleted 0 event\\(s\\) older than \\d{4}-\\d\\d-\\d\\d "
                   "\\d\\d:\\d\\d:\\d\\d$"));

}  // namespace

class TestEventManager : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void loadsLastThousandOfLargeStore();
    void pushKeepsAtMost1001();
    void prunesOldEventsAtStart();
    void nothingToPruneLeavesFileAlone();
    void todayAndYesterdayBounds();
    void nameFilterIgnoresCase();
    void filtersCombine();
    void filterFromEndsAtTheCall();
    void savedEventsReloadWithEveryField();
    void clearAll();
    void clearBefore();
    void garbageStoreKeptAside();
    void unwritableStoreKeepsMemory();
    void badPushesAreDropped();
    void qmlSeesNewestFirstList();

private:
    QString storePath() const { return m_dir->filePath("events.ini"); }
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Config> m_config;
};

void TestEventManager::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_config = std::make_unique<Config>(m_dir->filePath("gui.conf"),
                                        QVariantMap{{"gui/settingsPin", "8602"}});
}

void TestEventManager::cleanup() {
    flushDeletes();
    m_config.reset();
    m_dir.reset();
}

void TestEventManager::loadsLastThousandOfLargeStore() {
    const QDateTime now = QDateTime::currentDateTime();
    QVector<Entry> entries;
    for (int i = 0; i < 1500; ++i) {
        entries.append(
            {"Board", QStringLiteral("event %1").arg(i), QString(), now.addSecs(i - 1500)});
    }
    writeStore(storePath(), entries);
    appendMarker(storePath());
    const QByteArray before = contents(storePath());

    LogCapture log;
    EventManager events(*m_config, storePath());
    QVERIFY(log.all().contains("[EventManager] Loading saved events : from=500 to=1500"));
    QVERIFY(log.contains(DELETED_NONE));

    const QStringList names = visibleNames(events);
    QCOMPARE(names.size(), 1000);
    QCOMPARE(names.first(), QStringLiteral("event 1499"));
    QCOMPARE(names.last(), QStringLiteral("event 500"));
    // Loading alone does not rewrite the store.
    QCOMPARE(contents(storePath()), before);
}

void TestEventManager::pushKeepsAtMost1001() {
    const QDateTime now = QDateTime::currentDateTime();
    QVector<Entry> entries;
    for (int i = 0; i < 1000; ++i) {
        entries.append(
            {"General", QStringLiteral("old %1").arg(i), QString(), now.addSecs(i - 2000)});
    }
    writeStore(storePath(), entries);
    EventManager events(*m_config, storePath());
    QCOMPARE(visible(events).size(), 1000);
    QPointer<QObject> oldest = visible(events).last();
    QSignalSpy changed(&events, &EventManager::dataChanged);

    events.push(makeEvent("new 1", now));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(visible(events).size(), 1001);
    events.flush();
    QCOMPARE(readStore(storePath()).size(), 1001);
    QVERIFY(!oldest.isNull());

    events.push(makeEvent("new 2", now.addSecs(1)));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(visible(events).size(), 1001);
    QVERIFY(!visibleNames(events).contains("old 0"));
    events.flush();
    const QVector<Entry> stored = readStore(storePath());
    QCOMPARE(stored.size(), 1001);
    QCOMPARE(stored.first().name, QStringLiteral("old 1"));
    QCOMPARE(stored.last().name, QStringLiteral("new 2"));

    // The dropped event stays usable until control returns to the event loop.
    QVERIFY(!oldest.isNull());
    QCOMPARE(qobject_cast<Event*>(oldest)->name(), QStringLiteral("old 0"));
    flushDeletes();
    QVERIFY(oldest.isNull());
}

void TestEventManager::prunesOldEventsAtStart() {
    const QDateTime now = QDateTime::currentDateTime();
    writeStore(storePath(), {{"Board", "Ignition on", "", now.addDays(-31)},
                             {"Board", "Ignition off", "", now.addDays(-29)},
                             {"General", "Application started", "", now.addSecs(-60)}});
    appendMarker(storePath());

    LogCapture log;
    EventManager events(*m_config, storePath());
    QCOMPARE(visibleNames(events), (QStringList{"Application started", "Ignition off"}));
    QVERIFY(log.contains(QRegularExpression(
        QString("^\\[EventManager\\] Deleted 1 event\\(s\\) older than %1 \\d\\d:")
            .arg(now.addDays(-30).date().toString("yyyy-MM-dd")))));

    events.flush();
    QVERIFY(!contents(storePath()).contains("; untouched"));
    const QVector<Entry> stored = readStore(storePath());
    QCOMPARE(stored.size(), 2);
    QCOMPARE(stored[0].name, QStringLiteral("Ignition off"));
}

void TestEventManager::nothingToPruneLeavesFileAlone() {
    writeStore(storePath(),
               {{"Board", "Ignition off", "", QDateTime::currentDateTime().addDays(-29)}});
    appendMarker(storePath());
    const QByteArray before = contents(storePath());

    LogCapture log;
    EventManager events(*m_config, storePath());
    QVERIFY(log.contains(DELETED_NONE));
    QCOMPARE(visible(events).size(), 1);
    events.flush();
    QCOMPARE(contents(storePath()), before);
}

void TestEventManager::todayAndYesterdayBounds() {
    const QDate today = QDate::currentDate();
    const QDate yesterday = today.addDays(-1);
    EventManager events(*m_config, storePath());
    events.push(makeEvent("today last second", QDateTime(today, QTime(23, 59, 59, 0))));
    events.push(makeEvent("today too late", QDateTime(today, QTime(23, 59, 59, 500))));
    events.push(makeEvent("today first", QDateTime(today, QTime(0, 0, 0, 0))));
    events.push(makeEvent("yesterday noon", QDateTime(yesterday, QTime(12, 0))));
    events.push(makeEvent("yesterday too late", QDateTime(yesterday, QTime(23, 59, 59, 1))));
    events.push(makeEvent("two days ago", QDateTime(yesterday.addDays(-1), QTime(23, 59))));

    QSignalSpy changed(&events, &EventManager::dataChanged);
    LogCapture log;
    events.applyFilterPeriod("Today");
    if (QDate::currentDate() != today) {
        QSKIP("the day changed during the test");
    }
    QCOMPARE(changed.count(), 1);
    QCOMPARE(visibleNames(events), (QStringList{"today last second", "today first"}));
    const QString from = QDateTime(today, QTime(0, 0)).toString(Qt::TextDate);
    const QString to = QDateTime(today, QTime(23, 59, 59)).toString(Qt::TextDate);
    QCOMPARE(log.all(),
             (QStringList{"[EventManager] Filtering (period) : Today",
                          QString("[EventManager] Filtering : from=%1 to=%2").arg(from, to)}));

    events.applyFilterPeriod("Yesterday");
    QCOMPARE(visibleNames(events), QStringList{"yesterday noon"});

    events.applyFilterPeriod("All history");
    QCOMPARE(visible(events).size(), 6);
    QCOMPARE(visibleNames(events).first(), QStringLiteral("today too late"));
    QCOMPARE(visibleNames(events).last(), QStringLiteral("two days ago"));
}

void TestEventManager::nameFilterIgnoresCase() {
    const QDateTime now = QDateTime::currentDateTime();
    EventManager events(*m_config, storePath());
    events.push(makeEvent("Ignition on", now.addSecs(-30)));
    events.push(makeEvent("Application started", now.addSecs(-20)));
    events.push(makeEvent("Ignition off", now.addSecs(-10)));

    LogCapture log;
    events.applyFilter("ign");
    QCOMPARE(visibleNames(events), (QStringList{"Ignition off", "Ignition on"}));
    QCOMPARE(log.all(), QStringList{"[EventManager] Filtering : name=ign"});
    events.applyFilter("STARTED");
    QCOMPARE(visibleNames(events), QStringList{"Application started"});

    // A severity is only recorded: events carry none.
    QSignalSpy changed(&events, &EventManager::dataChanged);
    events.applyFilter(3);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(log.all().last(), QStringLiteral("[EventManager] Filtering : severity=3"));
    QCOMPARE(visibleNames(events), QStringList{"Application started"});

    events.applyFilter(QString());
    QCOMPARE(visible(events).size(), 3);
}

void TestEventManager::filtersCombine() {
    const QDateTime now = QDateTime::currentDateTime();
    EventManager events(*m_config, storePath());
    events.push(makeEvent("Ignition on", now.addSecs(-7201)));
    events.push(makeEvent("Ignition off", now.addSecs(-600)));
    events.push(makeEvent("Application started", now.addSecs(-300)));

    events.applyFilter("ignition");
    events.applyFilterPeriod("Last hour");
    QCOMPARE(visibleNames(events), QStringList{"Ignition off"});

    // Pushed while the filters are set: shown only inside the bounds.
    QSignalSpy changed(&events, &EventManager::dataChanged);
    events.push(makeEvent("Ignition on", now.addSecs(-60)));
    events.push(makeEvent("Ignition off", now.addSecs(3600)));
    events.push(makeEvent("Maintenance login", now.addSecs(-30)));
    QCOMPARE(changed.count(), 3);
    QCOMPARE(visibleNames(events), (QStringList{"Ignition on", "Ignition off"}));

    events.applyFilterPeriod("Last 2 hours");
    QCOMPARE(visibleNames(events).size(), 2);
    events.applyFilterPeriod("Last week");
    QCOMPARE(visibleNames(events).size(), 3);
    events.applyFilter(QString());
    events.applyFilterPeriod("Last month");
    QCOMPARE(visibleNames(events).size(), 5);
    events.applyFilterPeriod("Last 5 hours");
    QCOMPARE(visibleNames(events).size(), 5);
    events.applyFilterPeriod("All history");
    QCOMPARE(visibleNames(events).size(), 6);
}

void TestEventManager::filterFromEndsAtTheCall() {
    const QDateTime now = QDateTime::currentDateTime();
    EventManager events(*m_config, storePath());
    events.push(makeEvent("before", now.addSecs(-120)));
    events.push(makeEvent("inside", now.addSecs(-30)));

    LogCapture log;
    events.applyFilter(now.addSecs(-60));
    QCOMPARE(visibleNames(events), QStringList{"inside"});
    QCOMPARE(log.count("[EventManager] Filtering : from=" +
                       now.addSecs(-60).toString(Qt::TextDate) + QStringLiteral(" to=")),
             1);

    // Events after the moment of the call stay outside until the filter is set again.
    events.push(makeEvent("later", QDateTime::currentDateTime().addSecs(5)));
    QCOMPARE(visibleNames(events), QStringList{"inside"});
    events.applyFilter(now.addSecs(-60), now.addSecs(60));
    QCOMPARE(visibleNames(events), (QStringList{"later", "inside"}));
}

void TestEventManager::savedEventsReloadWithEveryField() {
    const QDateTime time(QDate(2026, 11, 30), QTime(7, 8, 9, 123));
    const QString description =
        QStringLiteral("line 1\nline 2 = [x] ; \"quoted\" \\ Καλημέρα %1 #\ttab");
    User user{7, "Νίκος", "O'Brien", "1234"};
    {
        EventManager events(*m_config, storePath());
        events.push(new Event("Board", "Ignition on", description, time));
        events.push(new Event("General", "Empty", QString(), time.addMSecs(1)));
        events.push(new EventLogin(&user));
    }
    const QString login = readStore(storePath()).last().desc;

    EventManager events(*m_config, storePath());
    const QList<QObject*> list = visible(events);
    QCOMPARE(list.size(), 3);
    auto* loaded = qobject_cast<Event*>(list.at(2));
    QCOMPARE(loaded->category(), QStringLiteral("Board"));
    QCOMPARE(loaded->name(), QStringLiteral("Ignition on"));
    QCOMPARE(loaded->description(), description);
    QCOMPARE(loaded->timestamp(), time);
    QCOMPARE(loaded->timestamp().time().msec(), 123);
    auto* empty = qobject_cast<Event*>(list.at(1));
    QCOMPARE(empty->description(), QString());
    QCOMPARE(empty->timestamp(), time.addMSecs(1));
    auto* loginEvent = qobject_cast<Event*>(list.at(0));
    QCOMPARE(loginEvent->name(), QStringLiteral("Maintenance login"));
    QCOMPARE(loginEvent->description(), login);
    QVERIFY(login.startsWith("User ID : 7\nFirst name : Νίκος\nLast name : O'Brien\nDate : "));

    // The layout on disk: one array "events" with its four keys per entry.
    QSettings raw(storePath(), QSettings::IniFormat);
    QCOMPARE(raw.value("events/size").toInt(), 3);
    QCOMPARE(raw.value("events/1/category").toString(), QStringLiteral("Board"));
    QVERIFY(raw.contains("events/1/desc"));
    QVERIFY(raw.contains("events/1/timestamp"));
}

void TestEventManager::clearAll() {
    EventManager events(*m_config, storePath());
    QSignalSpy changed(&events, &EventManager::dataChanged);
    events.clear();
    QCOMPARE(changed.count(), 0);
    QVERIFY(!QFile::exists(storePath()));

    events.push(makeEvent("one", QDateTime::currentDateTime()));
    events.push(makeEvent("two", QDateTime::currentDateTime()));
    QPointer<QObject> first = visible(events).first();
    changed.clear();
    events.clear();
    QCOMPARE(changed.count(), 1);
    QVERIFY(visible(events).isEmpty());
    events.flush();
    QCOMPARE(readStore(storePath()).size(), 0);
    QVERIFY(!first.isNull());
    flushDeletes();
    QVERIFY(first.isNull());

    events.clear();
    QCOMPARE(changed.count(), 1);
}

void TestEventManager::clearBefore() {
    const QDateTime limit(QDate(2026, 12, 1), QTime(12, 0));
    EventManager events(*m_config, storePath());
    events.push(makeEvent("earlier", limit.addMSecs(-1)));
    events.push(makeEvent("at the limit", limit));
    events.push(makeEvent("after", limit.addMSecs(1)));

    QSignalSpy changed(&events, &EventManager::dataChanged);
    LogCapture log;
    events.clear(limit);
    QCOMPARE(visibleNames(events), QStringList{"after"});
    QCOMPARE(log.all(), QStringList{QStringLiteral(
                            "[EventManager] Deleted 2 event(s) older than 2026-12-01 12:00:00")});
    QCOMPARE(changed.count(), 1);
    events.flush();
    QCOMPARE(readStore(storePath()).size(), 1);

    // Nothing to delete: the line and the view, no write.
    appendMarker(storePath());
    events.clear(limit);
    QCOMPARE(changed.count(), 2);
    events.flush();
    QVERIFY(contents(storePath()).contains("; untouched"));
}

void TestEventManager::garbageStoreKeptAside() {
    static const char raw[] = "\x01\x02\xff garbage without sections\n[events\nsize=3\n\x00\x7f";
    const QByteArray garbage(raw, sizeof raw - 1);
    {
        QFile file(storePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(garbage);
    }

    LogCapture log;
    EventManager events(*m_config, storePath());
    QCOMPARE(log.count("[EventManager] WARN: Saved events partly unreadable : " + storePath()), 1);
    QCOMPARE(contents(storePath() + QStringLiteral(".bad")), garbage);

    // The log goes on working and the store becomes readable again.
    events.push(makeEvent("Application started", QDateTime::currentDateTime()));
    QCOMPARE(visibleNames(events), QStringList{"Application started"});
    events.flush();
    const QVector<Entry> stored = readStore(storePath());
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored[0].name, QStringLiteral("Application started"));
    QCOMPARE(contents(storePath() + QStringLiteral(".bad")), garbage);
}

void TestEventManager::unwritableStoreKeepsMemory() {
    // A store that loaded well and then cannot be written any more: a directory
    // took the file's place.
    const QDateTime now = QDateTime::currentDateTime();
    writeStore(storePath(), {{"Board", "Ignition on", "", now.addSecs(-60)}});
    EventManager events(*m_config, storePath());
    QCOMPARE(visible(events).size(), 1);
    QVERIFY(QFile::remove(storePath()));
    QVERIFY(QDir(m_dir->path()).mkdir("events.ini"));

    LogCapture log;
    events.push(makeEvent("Ignition off", now));
    events.push(makeEvent("Ignition on", now.addSecs(1)));
    // The two pushes are written together.
    events.flush();
    QCOMPARE(log.count("[EventManager] WARN: Cannot write saved events : " + storePath()), 1);
    QCOMPARE(visible(events).size(), 3);
    events.clear(now.addDays(-1));
    QCOMPARE(visible(events).size(), 3);
}

void TestEventManager::badPushesAreDropped() {
    // A store that cannot be read (a folder stands in its place) loads as empty.
    QVERIFY(QDir(m_dir->path()).mkdir("events.ini"));
    LogCapture log;
    EventManager events(*m_config, storePath());
    QVERIFY(log.all().contains("[EventManager] WARN: Cannot read saved events : " + storePath()));
    QVERIFY(visible(events).isEmpty());

    QSignalSpy changed(&events, &EventManager::dataChanged);
    events.push(nullptr);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(log.count("[EventManager] WARN: Ignoring an empty event"), 1);

    Event* once = makeEvent("once", QDateTime::currentDateTime());
    events.push(once);
    events.push(once);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(visible(events).size(), 1);
    QCOMPARE(log.count("[EventManager] WARN: Ignoring an event pushed twice : once"), 1);
}

void TestEventManager::qmlSeesNewestFirstList() {
    const QDateTime now = QDateTime::currentDateTime();
    EventManager events(*m_config, storePath());
    events.push(makeEvent("Ignition on", now.addSecs(-10)));

    QQmlEngine engine;
    engine.rootContext()->setContextProperty("eventLog", &events);
    QQmlComponent component(&engine);
    component.setData(
        "import QtQml 2.15\n"
        "QtObject {\n"
        "    property var names: eventLog.data.map(function(e) { return e.name })\n"
        "    property var first: eventLog.data.length ? eventLog.data[0].timestamp "
        ": undefined\n"
        "}\n",
        QUrl());
    std::unique_ptr<QObject> view(component.create());
    QVERIFY2(view, qPrintable(component.errorString()));
    QCOMPARE(view->property("names").toStringList(), QStringList{"Ignition on"});

    // The bindings follow every change of the view.
    events.push(makeEvent("Ignition off", now));
    QCOMPARE(view->property("names").toStringList(), (QStringList{"Ignition off", "Ignition on"}));
    QCOMPARE(view->property("first").toDateTime(), now);
    events.applyFilter("on on");
    QCOMPARE(view->property("names").toStringList(), QStringList{"Ignition on"});
}

QTEST_MAIN(TestEventManager)
#include "tst_eventmanager.moc"
