#pragma once

#include <QFileSystemWatcher>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariant>
#include <QVariantMap>

// The settings of the user interface: defaults given by the program, values kept in
// an INI file, and overrides from the command line, layered in that order. The file
// is watched, so that edits made by other programs while the front end runs take
// effect at once; every change of a stored value is reported through configChanged.
class Config : public QObject {
    Q_OBJECT

public:
    // How often a file that could not be written is tried again.
    static const int SaveRetryMillis = 10000;

    Config(const QString& filename, const QVariantMap& defaults, QObject* parent = nullptr);

    QVariant get(const QString& key) const;
    void set(const QString& key, const QVariant& value);
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

private:
    void onFileChanged(const QString& path);
    void onDirectoryChanged(const QString& path);
    void load();
    void save();

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
    // A file that could not be written (read-only folder, full disk) is written
    // again every SaveRetryMillis until it works.
    QTimer m_retrySave;
    bool m_saveFailing = false;
};
