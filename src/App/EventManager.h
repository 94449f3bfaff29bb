#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariant>
#include <memory>

class Config;
class Event;
class EventStoreWriter;

// The device's event log. Events live in "events.ini" beside the executable,
// at most about a thousand of them; those older than thirty days are dropped at
// start. QML reads a filtered, newest-first view through the `data` property.
//
// The store is rewritten whole, atomically, by a writer thread: a change is
// handed over at most SAVE_DELAY_MS after it was made (a burst of pushes is
// written once), so a push costs the GUI thread no disk work, and what a push
// added is on disk within a second even if the process is killed afterwards.
class EventManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(QVariant data READ data NOTIFY dataChanged)

public:
    explicit EventManager(Config& config, QObject* parent = nullptr);
    // storePath replaces the file beside the executable (tests use their own folder).
    EventManager(Config& config, const QString& storePath, QObject* parent = nullptr);
    // Writes what is still pending before it returns.
    ~EventManager() override;

    static constexpr int SAVE_DELAY_MS = 100;

    QVariant data() const;
    QString storePath() const { return m_storePath; }

    static QString defaultStorePath();

    // Hands any pending change to the writer and waits until the store holds it.
    void flush();

signals:
    void dataChanged();

public slots:
    void push(Event* event);
    void clear(QDateTime before);
    void clear();
    void applyFilter(QString name);
    void applyFilter(int severity);
    void applyFilter(QDateTime from, QDateTime to);
    void applyFilter(QDateTime from);
    void applyFilterPeriod(QString period);

private:
    void load();
    void save();
    void handOver();
    void update();
    void release(QObject* event);

    Config& m_config;
    QList<QObject*> m_data;
    QList<QObject*> m_visible;
    // Each held event's time in milliseconds since the epoch, for filtering and sorting.
    QHash<const QObject*, qint64> m_timeKeys;
    int m_filterSeverity = 0;
    QString m_filterName;
    QDateTime m_filterFrom;
    QDateTime m_filterTo;
    QString m_storePath;
    QTimer m_saveTimer;
    std::unique_ptr<EventStoreWriter> m_writer;
};
