#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

class Config;
class Event;

// The device's event log. Events live in "events.ini" beside the executable,
// at most about a thousand of them; those older than thirty days are dropped at
// start. QML reads a filtered, newest-first view through the `data` property.
class EventManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(QVariant data READ data NOTIFY dataChanged)

public:
    explicit EventManager(Config& config, QObject* parent = nullptr);
    // storePath replaces the file beside the executable (tests use their own folder).
    EventManager(Config& config, const QString& storePath, QObject* parent = nullptr);

    QVariant data() const;
    QString storePath() const { return m_storePath; }

    static QString defaultStorePath();

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
    void update();
    void release(QObject* event);

    Config& m_config;
    QList<QObject*> m_data;
    QList<QObject*> m_visible;
    int m_filterSeverity = 0;
    QString m_filterName;
    QDateTime m_filterFrom;
    QDateTime m_filterTo;
    QString m_storePath;
};
