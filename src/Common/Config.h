#pragma once

#include <QFileSystemWatcher>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariant>
#include <QVariantMap>

#include "DurableFile.h"

// The settings of the user interface: defaults given by the program, values kept in
// an INI file, and overrides from the command line, layered in that order. The file
// is watched, so that edits made by other programs while the front end runs take
// effect at once; every change of a stored value is reported through configChanged.
//
// A change is reported only once the file holds it, synced with its folder: a
// listener may confirm it (the UI publishes the configuration), and a confirmed
// change must survive a power cut. A change the file cannot take (full disk,
// read-only file system, I/O error) is not kept in memory either, and saveFailed
// says so.
class Config : public QObject {
    Q_OBJECT

public:
    // How often a missing file that could not be created at start is tried again.
    static const int SaveRetryMillis = 10000;

    Config(const QString& filename, const QVariantMap& defaults, QObject* parent = nullptr);

    QVariant get(const QString& key) const;
    // False when the file could not take the value: the stored one stays.
    bool set(const QString& key, const QVariant& value);
    QStringList keys() const;
    QVariantMap defaults() const;
    QString filename() const;
    void addDefaults(const QVariantMap& defaults);
    void addOverrides(const QVariantMap& overrides);
    void print() const;
    QJsonObject toJson() const;
    Config& fromJson(const QJsonObject& json);

signals:
    // Each key whose stored value changed, with its new value; never empty.
    void configChanged(QVariantMap changes);
    // Someone else changed the file and at least one value differs now; always
    // followed at once by configChanged.
    void configFileChanged();
    // A change that could not be written: the values of keys are still those of the
    // file, and reason says why (the system's words, such as "No space left on device").
    void saveFailed(QStringList keys, QString reason);

private:
    void onFileChanged(const QString& path);
    void onDirectoryChanged(const QString& path);
    void load();
    // Stores changes in memory and in the file; reports them, or takes them back.
    bool commit(const QVariantMap& changes);
    durable::Result save(QString* error);
    // The INI text of the stored settings and of others' entries the file holds.
    bool iniText(QByteArray* text, QString* error) const;
    // First start: the file with every default, tried again while it cannot be made.
    void createDefaultFile();

    // The well-formed keys and usable values of the file; bad entries are logged and
    // left out, an unreadable file yields nothing.
    QVariantMap readFile() const;
    // Stores every value of the file that differs from memory; returns those.
    QVariantMap takeFileChanges();
    bool isUsableValue(const QString& key, const QVariant& value) const;
    // Watches the file as it is now on disk (a replaced file is a new inode).
    void watchFile();

    QString m_filename;
    QVariantMap m_settings;
    QVariantMap m_defaults;
    QVariantMap m_overrides;
    QFileSystemWatcher m_watch;
    QTimer m_retryCreate;
    bool m_createFailing = false;
};
