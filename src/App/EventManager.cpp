#include "EventManager.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QMetaType>
#include <QSettings>
#include <QVector>
#include <algorithm>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>

#include "Config.h"
#include "DurableFile.h"
#include "Event.h"

namespace {

const QString TAG = QStringLiteral("[EventManager] ");
const QString ARRAY = QStringLiteral("events");

// Loading keeps the newest 1000 stored events; a push onto 1001 drops the oldest.
constexpr int LOAD_LIMIT = 1000;
constexpr int PUSH_LIMIT = 1000;
constexpr int RETENTION_DAYS = 30;

// The event log writes its lines as plain text, without the blanks and quotes
// that the debug stream would add.
void logInfo(const QString& text) {
    qInfo().noquote() << TAG + text;
}

void logWarning(const QString& text) {
    qWarning().noquote() << TAG + text;
}

// Sort key of an event: its time in milliseconds; an unreadable time counts as
// older than any real one, so every comparison stays well defined.
qint64 timeKey(const QDateTime& time) {
    return time.isValid() ? time.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
}

// The four stored fields of one event, copied out of the log for the writer.
struct StoredEvent {
    QString category;
    QString name;
    QString desc;
    QDateTime timestamp;
};
using Snapshot = QVector<StoredEvent>;

// Rewrites the store, atomically (QSettings writes a new file, syncs it and renames
// it over the old one), in the order of the log. The rename lasts through a power
// cut only once the folder is synced too.
void writeStore(const QString& path, const Snapshot& events) {
    QSettings store(path, QSettings::NativeFormat);
    store.clear();
    store.beginWriteArray(ARRAY);
    for (int i = 0; i < events.size(); ++i) {
        const StoredEvent& event = events.at(i);
        store.setArrayIndex(i);
        store.setValue(QStringLiteral("category"), event.category);
        store.setValue(QStringLiteral("name"), event.name);
        store.setValue(QStringLiteral("desc"), event.desc);
        store.setValue(QStringLiteral("timestamp"), event.timestamp);
    }
    store.endArray();
    store.sync();
    // A store that could not be parsed reports a format error although the
    // write itself went through; only an access error means the file is stale.
    if (store.status() == QSettings::AccessError || !durable::syncFolderOf(path)) {
        logWarning(QStringLiteral("WARN: Cannot write saved events : ") + path);
    }
}

}  // namespace

// One thread that writes the store's latest contents. A newer snapshot
// replaces one not yet written, so a burst ends in one write, and the writes
// follow each other in the order they were handed over.
class EventStoreWriter {
public:
    explicit EventStoreWriter(QString path) : m_path(std::move(path)) {}

    ~EventStoreWriter() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

    void submit(Snapshot events) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_pending = std::move(events);
            if (!m_thread.joinable()) {
                m_thread = std::thread([this] { run(); });
            }
        }
        m_wake.notify_one();
    }

    void waitIdle() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_idle.wait(lock, [this] { return !m_pending && !m_busy; });
    }

private:
    void run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_pending || m_stop; });
            if (!m_pending) {
                return;
            }
            const Snapshot events = std::move(*m_pending);
            m_pending.reset();
            m_busy = true;
            lock.unlock();
            writeStore(m_path, events);
            lock.lock();
            m_busy = false;
            m_idle.notify_all();
        }
    }

    const QString m_path;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::optional<Snapshot> m_pending;
    bool m_busy = false;
    bool m_stop = false;
    std::thread m_thread;
};

EventManager::EventManager(Config& config, QObject* parent)
    : EventManager(config, defaultStorePath(), parent) {}

EventManager::EventManager(Config& config, const QString& storePath, QObject* parent)
    : QObject(parent),
      m_config(config),
      m_storePath(storePath),
      m_writer(std::make_unique<EventStoreWriter>(storePath)) {
    qRegisterMetaType<QList<QObject*>>("QList<QObject*>");
    // Not restarted by later changes: the first unsaved change bounds the delay.
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(SAVE_DELAY_MS);
    connect(&m_saveTimer, &QTimer::timeout, this, &EventManager::handOver);
    load();
    clear(QDateTime::currentDateTime().addDays(-RETENTION_DAYS));
}

EventManager::~EventManager() {
    flush();
}

void EventManager::flush() {
    if (m_saveTimer.isActive()) {
        handOver();
    }
    m_writer->waitIdle();
}

QString EventManager::defaultStorePath() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/events.ini");
}

QVariant EventManager::data() const {
    return QVariant::fromValue(m_visible);
}

void EventManager::push(Event* event) {
    if (!event) {
        logWarning(QStringLiteral("WARN: Ignoring an empty event"));
        return;
    }
    if (m_data.contains(event)) {
        logWarning(QStringLiteral("WARN: Ignoring an event pushed twice : ") + event->name());
        return;
    }
    if (m_data.size() > PUSH_LIMIT) {
        release(m_data.takeFirst());
    }
    event->setParent(this);
    m_data.append(event);
    m_timeKeys.insert(event, timeKey(event->timestamp()));
    save();
    update();
}

void EventManager::clear(QDateTime before) {
    const qint64 limit = timeKey(before);
    int count = 0;
    for (auto it = m_data.begin(); it != m_data.end();) {
        if (m_timeKeys.value(*it) <= limit) {
            release(*it);
            it = m_data.erase(it);
            ++count;
        } else {
            ++it;
        }
    }
    logInfo(QStringLiteral("Deleted %1 event(s) older than %2")
                .arg(count)
                .arg(before.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))));
    if (count != 0) {
        save();
    }
    update();
}

void EventManager::clear() {
    if (m_data.isEmpty()) {
        return;
    }
    for (QObject* event : qAsConst(m_data)) {
        release(event);
    }
    m_data.clear();
    save();
    update();
}

void EventManager::applyFilter(QString name) {
    logInfo(QStringLiteral("Filtering : name=") + name);
    m_filterName = name;
    update();
}

void EventManager::applyFilter(int severity) {
    logInfo(QStringLiteral("Filtering : severity=") + QString::number(severity));
    m_filterSeverity = severity;
    update();
}

void EventManager::applyFilter(QDateTime from, QDateTime to) {
    logInfo(QStringLiteral("Filtering : from=") + from.toString(Qt::TextDate) +
            QStringLiteral(" to=") + to.toString(Qt::TextDate));
    m_filterFrom = from;
    m_filterTo = to;
    update();
}

void EventManager::applyFilter(QDateTime from) {
    applyFilter(from, QDateTime::currentDateTime());
}

void EventManager::applyFilterPeriod(QString period) {
    logInfo(QStringLiteral("Filtering (period) : ") + period);
    const QDateTime now = QDateTime::currentDateTime();
    const QDate today = QDate::currentDate();
    const QTime startOfDay(0, 0, 0, 0);
    const QTime endOfDay(23, 59, 59, 0);
    QDateTime from;
    QDateTime to;
    if (period == QLatin1String("Last hour")) {
        from = now.addSecs(-3600);
        to = now;
    } else if (period == QLatin1String("Last 2 hours")) {
        from = now.addSecs(-7200);
        to = now;
    } else if (period == QLatin1String("Last 5 hours")) {
        from = now.addSecs(-18000);
        to = now;
    } else if (period == QLatin1String("Today")) {
        from = QDateTime(today, startOfDay);
        to = QDateTime(today, endOfDay);
    } else if (period == QLatin1String("Yesterday")) {
        from = QDateTime(today.addDays(-1), startOfDay);
        to = QDateTime(today.addDays(-1), endOfDay);
    } else if (period == QLatin1String("Last week")) {
        from = QDateTime(today.addDays(-7), startOfDay);
        to = now;
    } else if (period == QLatin1String("Last month")) {
        from = QDateTime(today.addMonths(-1), startOfDay);
        to = now;
    }
    applyFilter(from, to);
}

void EventManager::load() {
    QSettings store(m_storePath, QSettings::NativeFormat);
    const QSettings::Status status = store.status();
    if (status == QSettings::AccessError) {
        logWarning(QStringLiteral("WARN: Cannot read saved events : ") + m_storePath);
    } else if (status == QSettings::FormatError) {
        // The next save rewrites the store with what could be read; keep the
        // original beside it so that nothing of it is lost.
        const QString copy = m_storePath + QStringLiteral(".bad");
        QFile::remove(copy);
        const bool kept = QFile::copy(m_storePath, copy);
        logWarning(QStringLiteral("WARN: Saved events partly unreadable : ") + m_storePath +
                   (kept ? QStringLiteral(", copy kept as ") + copy
                         : QStringLiteral(", no copy could be kept")));
    }

    const int size = std::max(0, store.beginReadArray(ARRAY));
    const int first = size > LOAD_LIMIT ? size - LOAD_LIMIT : 0;
    logInfo(QStringLiteral("Loading saved events : from=%1 to=%2").arg(first).arg(size));
    for (int i = first; i < size; ++i) {
        store.setArrayIndex(i);
        auto* event = new Event(store.value(QStringLiteral("category")).toString(),
                                store.value(QStringLiteral("name")).toString(),
                                store.value(QStringLiteral("desc")).toString(),
                                store.value(QStringLiteral("timestamp")).toDateTime(), this);
        m_data.append(event);
        m_timeKeys.insert(event, timeKey(event->timestamp()));
    }
    store.endArray();
}

void EventManager::save() {
    if (!m_saveTimer.isActive()) {
        m_saveTimer.start();
    }
}

void EventManager::handOver() {
    m_saveTimer.stop();
    Snapshot events;
    events.reserve(m_data.size());
    for (const QObject* object : qAsConst(m_data)) {
        const auto* event = static_cast<const Event*>(object);
        events.append({event->category(), event->name(), event->description(), event->timestamp()});
    }
    m_writer->submit(std::move(events));
}

void EventManager::update() {
    // Local times are turned into sort keys once, when an event joins the log:
    // the conversion asks the time-zone rules each time.
    QVector<QPair<qint64, QObject*>> rows;
    rows.reserve(m_data.size());
    const bool hasFrom = m_filterFrom.isValid();
    const bool hasTo = m_filterTo.isValid();
    const qint64 from = timeKey(m_filterFrom);
    const qint64 to = timeKey(m_filterTo);
    for (QObject* object : qAsConst(m_data)) {
        const qint64 time = m_timeKeys.value(object);
        if (hasFrom && time < from) {
            continue;
        }
        if (hasTo && to < time) {
            continue;
        }
        if (!m_filterName.isEmpty() && !static_cast<const Event*>(object)->name().contains(
                                           m_filterName, Qt::CaseInsensitive)) {
            continue;
        }
        rows.append({time, object});
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const QPair<qint64, QObject*>& a, const QPair<qint64, QObject*>& b) {
                         return a.first > b.first;
                     });
    m_visible.clear();
    m_visible.reserve(rows.size());
    for (const auto& row : qAsConst(rows)) {
        m_visible.append(row.second);
    }
    emit dataChanged();
}

void EventManager::release(QObject* event) {
    m_timeKeys.remove(event);
    event->deleteLater();
}
