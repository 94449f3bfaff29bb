#include "Config.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonValue>
#include <QMap>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryFile>

#include <cmath>
#include <limits>
#include <memory>

#include "DurableFile.h"
#include "logger.h"

namespace {

const char* const TAG = "[Config] ";

// Keys of the file are a group and a member joined by one "/", as the INI sections
// and entries produce them; anything else comes from a damaged file.
bool isWellFormedKey(const QString& key) {
    const QStringList parts = key.split(QLatin1Char('/'));
    if (parts.size() != 2 || parts.at(0).isEmpty() || parts.at(1).isEmpty()) {
        return false;
    }
    for (const QChar c : key) {
        if (!c.isPrint()) {
            return false;
        }
    }
    return true;
}

// An entry of the file that is not "group/key" but plainly written by someone (an
// integrator's "[General]" line, a deeper "a/b/c"): not the program's, kept as it is.
bool isOthersKey(const QString& key) {
    static const QRegularExpression plain(QStringLiteral("^[\\w.-]+(/[\\w.-]+)*$"));
    return !isWellFormedKey(key) && plain.match(key).hasMatch();
}

bool isScalar(const QVariant& value) {
    switch (static_cast<QMetaType::Type>(value.type())) {
        case QMetaType::QString:
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double:
            return true;
        default:
            return false;
    }
}

// A value from outside that its key cannot take; a secret's value stays out of the log.
void warnInvalidValue(const QString& key, const QVariant& value) {
    qWarning() << TAG << "WARN: Ignoring invalid value of " << key << " : "
               << manager::loggable(key, value);
}

// A file holding content, readable by this user only, under a name this process never
// used before. In memory where there is a place for it: QSettings syncs the drafts it
// writes too, which on the temporary folder's disk costs a flash write (and puts the
// PIN on it) for nothing.
std::unique_ptr<QTemporaryFile> privateCopy(const QByteArray& content) {
    static const QFileInfo memory(QStringLiteral("/dev/shm"));
    static const QString folder =
        memory.isDir() && memory.isWritable() ? memory.filePath() : QDir::tempPath();
    static quint64 serial = 0;
    auto copy = std::make_unique<QTemporaryFile>(
        QStringLiteral("%1/quellan-config-%2-XXXXXX.conf").arg(folder).arg(++serial));
    if (!copy->open() || copy->write(content) != content.size() || !copy->flush()) {
        return nullptr;
    }
    return copy;
}

bool isNumber(const QVariant& value) {
    return isScalar(value) && value.type() != QVariant::String && value.type() != QVariant::Bool;
}

}  // namespace

Config::Config(const QString& filename, const QVariantMap& defaults, QObject* parent)
    : QObject(parent), m_filename(filename), m_settings(defaults), m_defaults(defaults) {
    m_retryCreate.setSingleShot(true);
    m_retryCreate.setInterval(SaveRetryMillis);
    connect(&m_retryCreate, &QTimer::timeout, this, &Config::createDefaultFile);
    if (!QFileInfo::exists(m_filename)) {
        qWarning() << TAG << "Creating default config file : " << m_filename;
        createDefaultFile();
    }
    load();
    connect(&m_watch, &QFileSystemWatcher::fileChanged, this, &Config::onFileChanged);
    connect(&m_watch, &QFileSystemWatcher::directoryChanged, this, &Config::onDirectoryChanged);
    watchFile();
    // The folder is watched too, so that a file that was deleted or replaced and
    // comes back later is watched again.
    const QString folder = QFileInfo(m_filename).absolutePath();
    if (QFileInfo(folder).isDir()) {
        m_watch.addPath(folder);
    }
}

QVariant Config::get(const QString& key) const {
    if (m_overrides.contains(key)) {
        return m_overrides.value(key);
    }
    if (m_settings.contains(key)) {
        return m_settings.value(key);
    }
    return m_defaults.value(key);
}

bool Config::set(const QString& key, const QVariant& value) {
    if (m_settings.contains(key) && m_settings.value(key) == value) {
        return true;
    }
    // A value set while running wins over the command line from now on, once stored.
    const QVariantMap overrides = m_overrides;
    m_overrides.remove(key);
    if (!commit(QVariantMap{{key, value}})) {
        m_overrides = overrides;
        return false;
    }
    return true;
}

QStringList Config::keys() const {
    return m_settings.keys();
}

QVariantMap Config::defaults() const {
    return m_defaults;
}

QString Config::filename() const {
    return m_filename;
}

// One value per key: the most recently added one replaces an earlier one.
void Config::addDefaults(const QVariantMap& defaults) {
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it) {
        m_defaults.insert(it.key(), it.value());
    }
}

void Config::addOverrides(const QVariantMap& overrides) {
    for (auto it = overrides.cbegin(); it != overrides.cend(); ++it) {
        m_overrides.insert(it.key(), it.value());
    }
}

void Config::print() const {
    const QString line = QString::fromLatin1(TAG) + QString(60, QLatin1Char('-'));
    const QStringList all = keys();
    int width = 0;
    for (const QString& key : all) {
        width = qMax(width, key.size());
    }
    qInfo("%s", qUtf8Printable(line));
    qInfo("%s", qUtf8Printable(QString::fromLatin1(TAG) + QStringLiteral(" SETTINGS (") +
                               m_filename + QStringLiteral(")")));
    qInfo("%s", qUtf8Printable(line));
    for (const QString& key : all) {
        const QString text = QString::fromLatin1(TAG) + QStringLiteral(" %1 : %2");
        qInfo("%s", qUtf8Printable(text.arg(key.leftJustified(width),
                                            manager::loggable(key, get(key)).toString())));
    }
    qInfo("%s", qUtf8Printable(line));
}

QJsonObject Config::toJson() const {
    QMap<QString, QVariantMap> groups;
    for (auto it = m_settings.cbegin(); it != m_settings.cend(); ++it) {
        const QStringList parts = it.key().split(QLatin1Char('/'));
        // A key without a group has no place in the grouped export.
        if (parts.size() < 2) {
            continue;
        }
        groups[parts.at(0)].insert(parts.at(1), it.value());
    }
    QJsonObject json;
    for (auto it = groups.cbegin(); it != groups.cend(); ++it) {
        json.insert(it.key(), QJsonDocument::fromVariant(it.value()).object());
    }
    return json;
}

Config& Config::fromJson(const QJsonObject& json) {
    QVariantMap flat;
    for (auto group = json.constBegin(); group != json.constEnd(); ++group) {
        if (!group.value().isObject()) {
            qWarning() << TAG << "WARN: Ignoring configuration member that is not a group : "
                       << group.key();
            continue;
        }
        const QJsonObject members = group.value().toObject();
        for (auto member = members.constBegin(); member != members.constEnd(); ++member) {
            flat.insert(group.key() + QLatin1Char('/') + member.key(), member.value().toVariant());
        }
    }

    QVariantMap changes;
    for (auto it = flat.cbegin(); it != flat.cend(); ++it) {
        if (!m_settings.contains(it.key())) {
            qWarning() << TAG << "WARN: Ignoring unknown configuration key : " << it.key();
            continue;
        }
        if (m_settings.value(it.key()) == it.value()) {
            continue;
        }
        if (!isUsableValue(it.key(), it.value())) {
            warnInvalidValue(it.key(), it.value());
            continue;
        }
        changes.insert(it.key(), it.value());
    }
    if (!changes.isEmpty()) {
        commit(changes);
    }
    return *this;
}

void Config::onFileChanged(const QString& path) {
    Q_UNUSED(path)
    const QVariantMap changes = takeFileChanges();
    if (!changes.isEmpty()) {
        emit configFileChanged();
        emit configChanged(changes);
    }
    watchFile();
}

void Config::onDirectoryChanged(const QString& path) {
    Q_UNUSED(path)
    // Only of interest when the file came back after it was deleted or replaced;
    // while the file itself is watched its own notifications are enough.
    if (m_watch.files().contains(m_filename) || !QFileInfo::exists(m_filename)) {
        return;
    }
    onFileChanged(m_filename);
}

void Config::load() {
    const QVariantMap changes = takeFileChanges();
    if (!changes.isEmpty()) {
        emit configChanged(changes);
    }
}

bool Config::commit(const QVariantMap& changes) {
    const QVariantMap stored = m_settings;
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
        m_settings.insert(it.key(), it.value());
    }
    QString error;
    if (save(&error) == durable::Result::Failed) {
        // Memory stays what the file holds, so that no one is told of a value that a
        // restart would take back.
        m_settings = stored;
        qCritical() << TAG << "ERROR: Could not write config file, change dropped : " << m_filename
                    << error;
        emit saveFailed(changes.keys(), error);
        return false;
    }
    emit configChanged(changes);
    return true;
}

durable::Result Config::save(QString* error) {
    if (m_watch.files().contains(m_filename)) {
        m_watch.removePath(m_filename);
    }
    QByteArray text;
    const durable::Result result =
        iniText(&text, error) ? durable::replace(m_filename, text, error) : durable::Result::Failed;
    watchFile();
    if (result == durable::Result::NotDurable) {
        // The file holds the change: it stands, though a power cut may still undo it.
        qWarning() << TAG << "WARN: Config file saved, not yet durable : " << m_filename << *error;
    }
    return result;
}

void Config::createDefaultFile() {
    if (QFileInfo::exists(m_filename)) {
        return;
    }
    QString error;
    if (save(&error) == durable::Result::Failed) {
        if (!m_createFailing) {
            qWarning() << TAG << "WARN: Could not write config file : " << m_filename << error
                       << " (trying again every" << SaveRetryMillis / 1000 << "s)";
        }
        m_createFailing = true;
        m_retryCreate.start();
    } else if (m_createFailing) {
        qInfo() << TAG << "Config file written : " << m_filename;
        m_createFailing = false;
    }
}

// QSettings writes the INI text as the boards have always had it, but syncs its file
// without looking at the result: it writes a private draft, and the bytes go to the
// real file through durable::replace. QSettings also keeps every file it has read in a
// cache of the process and takes a file whose size and time stamp did not change as
// unchanged; a draft or a copy under a name never used before is always read afresh.
bool Config::iniText(QByteArray* text, QString* error) const {
    QByteArray current;
    if (QFileInfo::exists(m_filename)) {
        QFile file(m_filename);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = file.errorString();
            return false;
        }
        current = file.readAll();
        if (file.error() != QFile::NoError) {
            *error = file.errorString();
            return false;
        }
    }
    std::unique_ptr<QTemporaryFile> draft = privateCopy(current);
    if (!draft) {
        *error = QStringLiteral("cannot write a draft");
        return false;
    }
    {
        QSettings settings(draft->fileName(), QSettings::defaultFormat());
        // The file holds the stored settings and the entries of others, nothing left
        // from a damaged file.
        const QStringList present = settings.allKeys();
        for (const QString& key : present) {
            if (!m_settings.contains(key) && !isOthersKey(key)) {
                settings.remove(key);
            }
        }
        for (auto it = m_settings.cbegin(); it != m_settings.cend(); ++it) {
            settings.setValue(it.key(), it.value());
        }
        settings.sync();
        // A format error is the damaged file's, read before: the draft is written anew.
        if (settings.status() == QSettings::AccessError) {
            *error = QStringLiteral("cannot write a draft");
            return false;
        }
    }
    // QSettings replaced the draft by a new file of the same name.
    QFile written(draft->fileName());
    if (!written.open(QIODevice::ReadOnly)) {
        *error = written.errorString();
        return false;
    }
    *text = written.readAll();
    return written.error() == QFile::NoError;
}

QVariantMap Config::readFile() const {
    QVariantMap values;
    if (!QFileInfo::exists(m_filename)) {
        return values;
    }
    QFile file(m_filename);
    if (!QFileInfo(m_filename).isFile() || !file.open(QIODevice::ReadOnly)) {
        qWarning() << TAG << "WARN: Could not read config file : " << m_filename;
        return values;
    }
    const QByteArray content = file.readAll();
    file.close();

    // A file rewritten twice within one time-stamp tick would go unnoticed in the
    // cache of QSettings (see iniText): a private copy under a new name is read.
    const std::unique_ptr<QTemporaryFile> copy = privateCopy(content);
    const QString source = copy ? copy->fileName() : m_filename;
    QSettings settings(source, QSettings::defaultFormat());
    if (settings.status() == QSettings::AccessError) {
        qWarning() << TAG << "WARN: Could not read config file : " << m_filename;
        return values;
    }
    if (settings.status() == QSettings::FormatError) {
        qWarning() << TAG << "WARN: Format error in config file : " << m_filename;
    }
    const QStringList fileKeys = settings.allKeys();
    for (const QString& key : fileKeys) {
        if (isOthersKey(key)) {
            continue;
        }
        if (!isWellFormedKey(key)) {
            qWarning() << TAG << "WARN: Ignoring malformed key in config file : " << key;
            continue;
        }
        const QVariant value = settings.value(key);
        if (!isUsableValue(key, value)) {
            warnInvalidValue(key, value);
            continue;
        }
        values.insert(key, value);
    }
    return values;
}

QVariantMap Config::takeFileChanges() {
    QVariantMap changes;
    const QVariantMap values = readFile();
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (!m_settings.contains(it.key()) || m_settings.value(it.key()) != it.value()) {
            m_settings.insert(it.key(), it.value());
            changes.insert(it.key(), it.value());
        }
    }
    return changes;
}

// The one rule for a value from outside (the file, an import from the broker): it must
// be usable as the type of the key's default. The file holds text, which toJson then
// exports, so "1884" for a port and "true" for a switch are taken as well as 1884 and
// true; a port of "abc" or 1.5, a number for a host name, a word for a switch, or a
// list or group anywhere are refused rather than turned into 0 or an empty text.
bool Config::isUsableValue(const QString& key, const QVariant& value) const {
    if (!isScalar(value)) {
        return false;
    }
    if (!m_defaults.contains(key)) {
        return true;
    }
    const bool text = value.type() == QVariant::String;
    bool ok = false;
    switch (m_defaults.value(key).type()) {
        case QVariant::Int:
            if (text) {
                value.toString().toInt(&ok, 10);
                return ok;
            }
            return isNumber(value) && std::floor(value.toDouble()) == value.toDouble() &&
                   value.toDouble() >= std::numeric_limits<int>::min() &&
                   value.toDouble() <= std::numeric_limits<int>::max();
        case QVariant::Bool:
            if (text) {
                static const QStringList words{"true", "false", "1", "0"};
                return words.contains(value.toString().toLower());
            }
            return value.type() == QVariant::Bool;
        case QVariant::String:
            return text;
        default:
            return true;
    }
}

void Config::watchFile() {
    if (m_watch.files().contains(m_filename)) {
        m_watch.removePath(m_filename);
    }
    if (QFileInfo::exists(m_filename)) {
        m_watch.addPath(m_filename);
    }
}
