#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QSaveFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "Config.h"
#include "GUIManager.h"
#include "LogCapture.h"

namespace {

QByteArray readBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QByteArray();
    }
    return file.readAll();
}

// As an editor that writes the file in place.
void writeInPlace(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), qint64(content.size()));
    file.close();
}

// As an editor that writes a new file and renames it over the old one.
void writeReplacing(const QString& path, const QByteArray& content) {
    QSaveFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), qint64(content.size()));
    QVERIFY(file.commit());
}

// "group/member" -> value text of an INI file, with the sections it holds in order.
QMap<QString, QString> parseIni(const QByteArray& content, QStringList* sections = nullptr) {
    QMap<QString, QString> entries;
    QString section;
    const QList<QByteArray> lines = content.split('\n');
    for (const QByteArray& raw : lines) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';'))) {
            continue;
        }
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2);
            if (sections) {
                sections->append(section);
            }
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        entries.insert(section + QLatin1Char('/') + line.left(equals), line.mid(equals + 1));
    }
    return entries;
}

QVariantMap withChange(QVariantMap map, const QString& key, const QVariant& value) {
    map.insert(key, value);
    return map;
}

// Effective values of every key, for "nothing in memory changed" checks.
QVariantMap snapshot(const Config& config) {
    QVariantMap values;
    const QStringList keys = config.keys();
    for (const QString& key : keys) {
        values.insert(key, config.get(key).toString());
    }
    return values;
}

QVariantMap defaultsAsText() {
    QVariantMap values;
    for (auto it = GUIManager::Defaults.cbegin(); it != GUIManager::Defaults.cend(); ++it) {
        values.insert(it.key(), it.value().toString());
    }
    return values;
}

const int SETTLE_MS = 400;

}  // namespace

class TestConfig : public QObject {
    Q_OBJECT

private slots:
    // Each case has a folder of its own, with the store's file at m_path.
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_path = m_dir->filePath("gui.conf");
    }
    void cleanup() { m_dir.reset(); }

    void defaultsTable();
    void firstStartWritesEveryDefault();
    void partialFileKeepsDefaultsAndIsNotRewritten();
    void outsideEditsAreReportedOnce();
    void ownWritesAndUnchangedSavesAreSilent();
    void setStoresOneValueAndRewritesTheFile();
    void overridesWinUntilSetChangesTheValue();
    void fromJsonImportsKnownChangedValues();
    void fromJsonDropsBadInput();
    void toJsonGroupsStoredSettings();
    void deletedFileIsWrittenAgainAndWatched();
    void replacedFileWithRelativeNameIsStillWatched();
    void sameSizeRewriteInOneTickIsSeen();
    void garbageFileNeverLosesValues();
    void unreadableFileStartsWithDefaults();
    void unwritableFileKeepsValuesInMemory();
    void printListsEffectiveValues();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

void TestConfig::defaultsTable() {
    const QVariantMap& d = GUIManager::Defaults;
    QCOMPARE(d.size(), 25);
    const QStringList ints{"log/level", "mqtt/port", "gui/displayOffMin", "gui/shutdownDelaySec",
                           "gui/animSwitchSec"};
    const QStringList bools{"log/syslog", "log/stderr", "log/color", "gui/showCursor",
                            "gui/showErrorDesc"};
    for (auto it = d.cbegin(); it != d.cend(); ++it) {
        const QVariant::Type expected = ints.contains(it.key())    ? QVariant::Int
                                        : bools.contains(it.key()) ? QVariant::Bool
                                                                   : QVariant::String;
        QVERIFY2(it.value().type() == expected, qPrintable(it.key()));
    }
    // The PIN is text so that leading zeros survive.
    QCOMPARE(d.value("gui/settingsPin").type(), QVariant::String);
    QCOMPARE(d.value("log/stderr").toBool(), true);
    QCOMPARE(d.value("gui/screenSaverImg").toString(),
             QStringLiteral("qrc:/qml/images/Icons/zorv.png"));
}

void TestConfig::firstStartWritesEveryDefault() {
    LogCapture log;
    Config config(m_path, GUIManager::Defaults);
    QVERIFY(log.contains("Creating default config file"));

    QStringList sections;
    const QMap<QString, QString> entries = parseIni(readBytes(m_path), &sections);
    QCOMPARE(sections, (QStringList{"gui", "log", "mqtt", "topics"}));
    QCOMPARE(QStringList(entries.keys()), GUIManager::Defaults.keys());
    for (auto it = GUIManager::Defaults.cbegin(); it != GUIManager::Defaults.cend(); ++it) {
        QCOMPARE(entries.value(it.key()), it.value().toString());
    }
    QCOMPARE(entries.value("gui/settingsPin"), QStringLiteral("8602"));
    QCOMPARE(entries.value("log/syslog"), QStringLiteral("true"));
    QCOMPARE(entries.value("topics/barcode"), QStringLiteral("zorv/barcode"));
    QCOMPARE(config.keys(), GUIManager::Defaults.keys());

    // A PIN with leading zeros keeps them through the file.
    config.set("gui/settingsPin", "0042");
    Config again(m_path, GUIManager::Defaults);
    QCOMPARE(again.get("gui/settingsPin").toString(), QStringLiteral("0042"));
}

void TestConfig::partialFileKeepsDefaultsAndIsNotRewritten() {
    const QByteArray content =
        "; written by hand\n[General]\nintegrator=yes\n[a]\nb\\c=kept\n[mqtt]\nport=1884\n";
    writeInPlace(m_path, content);

    Config config(m_path, GUIManager::Defaults);
    QCOMPARE(config.get("mqtt/port").toInt(), 1884);
    QCOMPARE(snapshot(config), withChange(defaultsAsText(), "mqtt/port", "1884"));
    QCOMPARE(readBytes(m_path), content);
}

void TestConfig::outsideEditsAreReportedOnce() {
    Config config(m_path, GUIManager::Defaults);
    const QByteArray original = readBytes(m_path);

    QStringList order;
    connect(&config, &Config::configFileChanged, this, [&] { order << "file"; });
    connect(&config, &Config::configChanged, this, [&] { order << "changed"; });
    QSignalSpy fileSpy(&config, &Config::configFileChanged);
    QSignalSpy changedSpy(&config, &Config::configChanged);

    // In place, as most editors on the device write.
    QByteArray edited = original;
    edited.replace("host=localhost", "host=broker.example");
    writeInPlace(m_path, edited);
    QTRY_COMPARE(changedSpy.count(), 1);
    QTest::qWait(SETTLE_MS);
    QCOMPARE(fileSpy.count(), 1);
    QCOMPARE(changedSpy.count(), 1);
    QCOMPARE(order, (QStringList{"file", "changed"}));
    QCOMPARE(changedSpy.at(0).at(0).toMap(),
             (QVariantMap{{"mqtt/host", QStringLiteral("broker.example")}}));
    QCOMPARE(config.get("mqtt/host").toString(), QStringLiteral("broker.example"));

    // Replaced by rename, twice: the watch must follow the new file each time.
    edited.replace("port=1883", "port=1999");
    writeReplacing(m_path, edited);
    QTRY_COMPARE(changedSpy.count(), 2);
    QCOMPARE(changedSpy.at(1).at(0).toMap(), (QVariantMap{{"mqtt/port", QStringLiteral("1999")}}));
    QCOMPARE(config.get("mqtt/port").toInt(), 1999);

    edited.replace("level=2", "level=3");
    writeReplacing(m_path, edited);
    QTRY_COMPARE(changedSpy.count(), 3);
    QTest::qWait(SETTLE_MS);
    QCOMPARE(changedSpy.count(), 3);
    QCOMPARE(fileSpy.count(), 3);
    QCOMPARE(changedSpy.at(2).at(0).toMap(), (QVariantMap{{"log/level", QStringLiteral("3")}}));

    // A key removed from the file keeps its value.
    edited.replace("level=3\n", "");
    writeInPlace(m_path, edited);
    QTest::qWait(SETTLE_MS);
    QCOMPARE(changedSpy.count(), 3);
    QCOMPARE(config.get("log/level").toInt(), 3);
}

void TestConfig::ownWritesAndUnchangedSavesAreSilent() {
    Config config(m_path, GUIManager::Defaults);
    QSignalSpy fileSpy(&config, &Config::configFileChanged);
    QSignalSpy changedSpy(&config, &Config::configChanged);

    const QByteArray content = readBytes(m_path);
    writeInPlace(m_path, content);
    writeReplacing(m_path, content);
    QTest::qWait(SETTLE_MS);
    QCOMPARE(fileSpy.count(), 0);
    QCOMPARE(changedSpy.count(), 0);

    // The store's own writes are not outside edits.
    config.set("gui/locale", "en_US");
    config.set("gui/displayOffMin", 5);
    QTest::qWait(SETTLE_MS);
    QCOMPARE(fileSpy.count(), 0);
    QCOMPARE(changedSpy.count(), 2);

    // ... and the file is still watched after them.
    QByteArray edited = readBytes(m_path);
    edited.replace("host=localhost", "host=after.own.write");
    writeInPlace(m_path, edited);
    QTRY_COMPARE(fileSpy.count(), 1);
    QTRY_COMPARE(changedSpy.count(), 3);
}

void TestConfig::setStoresOneValueAndRewritesTheFile() {
    const QByteArray content =
        "; written by hand\n[General]\nintegrator=yes\n[a]\nb\\c=kept\n[mqtt]\nport=1884\n";
    writeInPlace(m_path, content);
    Config config(m_path, GUIManager::Defaults);
    QSignalSpy changedSpy(&config, &Config::configChanged);

    // The same value, as number or as its text: nothing stored, written or emitted.
    config.set("mqtt/port", 1884);
    config.set("mqtt/port", "1884");
    config.set("mqtt/host", "localhost");
    QCOMPARE(changedSpy.count(), 0);
    QCOMPARE(readBytes(m_path), content);

    config.set("mqtt/host", "broker.example");
    QCOMPARE(changedSpy.count(), 1);
    QCOMPARE(changedSpy.at(0).at(0).toMap(),
             (QVariantMap{{"mqtt/host", QStringLiteral("broker.example")}}));
    QCOMPARE(config.get("mqtt/host").toString(), QStringLiteral("broker.example"));

    // The whole file is written: every key, the hand-written comment gone, the
    // entries the program does not know kept.
    const QByteArray written = readBytes(m_path);
    QVERIFY(!written.contains("written by hand"));
    QVERIFY(written.contains("[General]\nintegrator=yes\n"));
    QVERIFY(written.contains("[a]\nb\\c=kept\n"));
    const QMap<QString, QString> entries = parseIni(written);
    QCOMPARE(entries.size(), 27);
    QCOMPARE(entries.value("mqtt/host"), QStringLiteral("broker.example"));
    QCOMPARE(entries.value("mqtt/port"), QStringLiteral("1884"));
    QCOMPARE(entries.value("gui/locale"), QStringLiteral("el_GR"));

    // A key the defaults do not know is stored too.
    config.set("extra/key", "value");
    QCOMPARE(changedSpy.count(), 2);
    QCOMPARE(parseIni(readBytes(m_path)).value("extra/key"), QStringLiteral("value"));
}

void TestConfig::overridesWinUntilSetChangesTheValue() {
    Config config(m_path, GUIManager::Defaults);
    config.addOverrides({{"mqtt/port", 1884}, {"config", m_path}});
    QSignalSpy changedSpy(&config, &Config::configChanged);

    QCOMPARE(config.get("mqtt/port").toInt(), 1884);
    QCOMPARE(config.get("config").toString(), m_path);
    QVERIFY(!config.keys().contains("config"));

    // Overrides never reach the file nor the export.
    config.set("mqtt/host", "broker.example");
    QCOMPARE(parseIni(readBytes(m_path)).value("mqtt/port"), QStringLiteral("1883"));
    QVERIFY(!parseIni(readBytes(m_path)).contains("/config"));
    QCOMPARE(config.toJson().value("mqtt").toObject().value("port").toInt(), 1883);
    QVERIFY(!config.toJson().contains("config"));
    changedSpy.clear();

    // The stored value again: nothing happens, the override stays.
    config.set("mqtt/port", 1883);
    QCOMPARE(changedSpy.count(), 0);
    QCOMPARE(config.get("mqtt/port").toInt(), 1884);

    // An import changes the stored value but not the effective one.
    config.fromJson(QJsonObject{{"mqtt", QJsonObject{{"port", 1890}}}});
    QCOMPARE(changedSpy.count(), 1);
    QCOMPARE(config.get("mqtt/port").toInt(), 1884);

    // A new value set while running wins over the command line.
    config.set("mqtt/port", 1885);
    QCOMPARE(changedSpy.count(), 2);
    QCOMPARE(config.get("mqtt/port").toInt(), 1885);
    QCOMPARE(parseIni(readBytes(m_path)).value("mqtt/port"), QStringLiteral("1885"));

    // The most recently added override is the one looked up.
    config.addOverrides({{"mqtt/host", "first"}});
    config.addOverrides({{"mqtt/host", "second"}});
    QCOMPARE(config.get("mqtt/host").toString(), QStringLiteral("second"));
    QCOMPARE(changedSpy.count(), 2);
}

void TestConfig::fromJsonImportsKnownChangedValues() {
    const QByteArray content = "; written by hand\n[mqtt]\nport=1883\n";
    writeInPlace(m_path, content);
    Config config(m_path, GUIManager::Defaults);
    QSignalSpy changedSpy(&config, &Config::configChanged);

    // Unknown groups and members, non-object groups, the same values: nothing at all.
    Config& self = config.fromJson(
        QJsonObject{{"nope", QJsonObject{{"x", 1}}},
                    {"mqtt", QJsonObject{{"nope", 1}, {"port", 1883}, {"host", "localhost"}}},
                    {"log", 5},
                    {"gui", QJsonObject{{"showCursor", true}}}});
    QCOMPARE(&self, &config);
    config.fromJson(QJsonObject());
    QCOMPARE(changedSpy.count(), 0);
    QCOMPARE(readBytes(m_path), content);
    QCOMPARE(config.keys(), GUIManager::Defaults.keys());

    // Two changes: one notification with both, sent after the file holds them.
    QByteArray fileAtSignal;
    connect(&config, &Config::configChanged, this, [&] { fileAtSignal = readBytes(m_path); });
    config.fromJson(QJsonObject{{"mqtt", QJsonObject{{"port", 1999}, {"host", "broker.example"}}},
                                {"gui", QJsonObject{{"locale", "el_GR"}}}});
    QCOMPARE(changedSpy.count(), 1);
    const QVariantMap changes = changedSpy.at(0).at(0).toMap();
    QCOMPARE(changes.keys(), (QStringList{"mqtt/host", "mqtt/port"}));
    QCOMPARE(changes.value("mqtt/port").toInt(), 1999);
    QCOMPARE(changes.value("mqtt/host").toString(), QStringLiteral("broker.example"));
    const QMap<QString, QString> entries = parseIni(fileAtSignal);
    QCOMPARE(entries.value("mqtt/port"), QStringLiteral("1999"));
    QCOMPARE(entries.value("mqtt/host"), QStringLiteral("broker.example"));
    QCOMPARE(config.get("mqtt/port").toInt(), 1999);
}

void TestConfig::fromJsonDropsBadInput() {
    Config config(m_path, GUIManager::Defaults);
    const QByteArray content = readBytes(m_path);
    QSignalSpy changedSpy(&config, &Config::configChanged);
    LogCapture log;

    // Values that the readers could not use are refused with a log line.
    config.fromJson(
        QJsonObject{{"mqtt", QJsonObject{{"port", "abc"}, {"host", QJsonObject{{"a", 1}}}}},
                    {"log", QJsonObject{{"stderr", "maybe"}, {"level", QJsonArray{1}}}},
                    {"gui", QJsonObject{{"locale", QJsonValue::Null}}}});
    QCOMPARE(changedSpy.count(), 0);
    QCOMPARE(readBytes(m_path), content);
    QCOMPARE(snapshot(config), defaultsAsText());
    QVERIFY(log.contains("Ignoring invalid value"));

    // Good values next to bad ones still go in.
    config.fromJson(QJsonObject{{"mqtt", QJsonObject{{"port", "abc"}, {"username", 42}}},
                                {"log", QJsonObject{{"color", "true"}, {"level", "3"}}}});
    QCOMPARE(changedSpy.count(), 1);
    QCOMPARE(changedSpy.at(0).at(0).toMap().keys(),
             (QStringList{"log/color", "log/level", "mqtt/username"}));
    QCOMPARE(config.get("mqtt/username").toString(), QStringLiteral("42"));
    QCOMPARE(config.get("log/color").toBool(), true);
    QCOMPARE(config.get("log/level").toInt(), 3);
    QCOMPARE(config.get("mqtt/port").toInt(), 1883);
}

void TestConfig::toJsonGroupsStoredSettings() {
    Config config(m_path, GUIManager::Defaults);

    const QJsonObject json = config.toJson();
    QCOMPARE(json.keys(), (QStringList{"gui", "log", "mqtt", "topics"}));
    QCOMPARE(json.value("log").toObject().keys(),
             (QStringList{"color", "level", "stderr", "syslog"}));
    QCOMPARE(json.value("mqtt").toObject().size(), 5);
    QCOMPARE(json.value("gui").toObject().size(), 10);
    QCOMPARE(json.value("topics").toObject().size(), 6);
    QCOMPARE(json.value("log").toObject().value("level"), QJsonValue(2));
    QCOMPARE(json.value("log").toObject().value("syslog"), QJsonValue(true));
    QCOMPARE(json.value("mqtt").toObject().value("host"), QJsonValue("localhost"));
    QCOMPARE(json.value("mqtt").toObject().value("password"), QJsonValue(""));
    QCOMPARE(json.value("topics").toObject().value("barcode"), QJsonValue("zorv/barcode"));

    // Its own export imports as no change.
    QSignalSpy changedSpy(&config, &Config::configChanged);
    config.fromJson(json);
    QCOMPARE(changedSpy.count(), 0);
}

void TestConfig::deletedFileIsWrittenAgainAndWatched() {
    Config config(m_path, GUIManager::Defaults);
    config.set("gui/locale", "en_US");
    const QVariantMap before = snapshot(config);
    QSignalSpy fileSpy(&config, &Config::configFileChanged);
    QSignalSpy changedSpy(&config, &Config::configChanged);

    QVERIFY(QFile::remove(m_path));
    QTest::qWait(SETTLE_MS);
    QCOMPARE(fileSpy.count(), 0);
    QCOMPARE(changedSpy.count(), 0);
    QCOMPARE(snapshot(config), before);

    // The next change writes the whole file again, and the new file is watched.
    config.set("gui/displayOffMin", 7);
    QCOMPARE(changedSpy.count(), 1);
    const QMap<QString, QString> entries = parseIni(readBytes(m_path));
    QCOMPARE(entries.size(), 25);
    QCOMPARE(entries.value("gui/locale"), QStringLiteral("en_US"));
    QCOMPARE(entries.value("gui/displayOffMin"), QStringLiteral("7"));

    QByteArray edited = readBytes(m_path);
    edited.replace("host=localhost", "host=broker.example");
    writeInPlace(m_path, edited);
    QTRY_COMPARE(changedSpy.count(), 2);
    QCOMPARE(fileSpy.count(), 1);

    // Deleted, then put back by someone else: noticed as an edit.
    QVERIFY(QFile::remove(m_path));
    QTest::qWait(SETTLE_MS);
    edited.replace("level=2", "level=1");
    writeInPlace(m_path, edited);
    QTRY_COMPARE(changedSpy.count(), 3);
    QCOMPARE(changedSpy.at(2).at(0).toMap(), (QVariantMap{{"log/level", QStringLiteral("1")}}));
    QCOMPARE(fileSpy.count(), 2);
}

void TestConfig::replacedFileWithRelativeNameIsStillWatched() {
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    struct Restore {
        QString path;
        ~Restore() { QDir::setCurrent(path); }
    } restore{previous};

    Config config("gui.conf", GUIManager::Defaults);
    QVERIFY(QFileInfo::exists(m_dir->filePath("gui.conf")));
    QCOMPARE(config.filename(), QStringLiteral("gui.conf"));
    QSignalSpy changedSpy(&config, &Config::configChanged);

    QByteArray edited = readBytes("gui.conf");
    for (int round = 1; round <= 3; ++round) {
        edited.replace(
            QByteArray("displayOffMin=") + QByteArray::number(round == 1 ? 3 : round - 1),
            QByteArray("displayOffMin=") + QByteArray::number(round));
        writeReplacing("gui.conf", edited);
        QTRY_COMPARE(changedSpy.count(), round);
        QCOMPARE(config.get("gui/displayOffMin").toInt(), round);
    }
}

// Two writes of the same size within one tick of the file system's clock leave the
// size and time stamp as they were; the second one must still be read.
void TestConfig::sameSizeRewriteInOneTickIsSeen() {
    const QDateTime stamp = QDateTime::currentDateTime().addSecs(-60);
    auto writeStamped = [&](const QByteArray& content) {
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::ReadWrite | QIODevice::Truncate));
        file.write(content);
        QVERIFY(file.flush());
        QVERIFY(file.setFileTime(stamp, QFileDevice::FileModificationTime));
    };
    writeStamped("[mqtt]\nport=1884\n");
    Config config(m_path, GUIManager::Defaults);
    QCOMPARE(config.get("mqtt/port").toInt(), 1884);
    QSignalSpy changedSpy(&config, &Config::configChanged);

    writeStamped("[mqtt]\nport=1885\n");
    QCOMPARE(QFileInfo(m_path).lastModified(), stamp);
    QTRY_COMPARE(changedSpy.count(), 1);
    QCOMPARE(changedSpy.at(0).at(0).toMap(), (QVariantMap{{"mqtt/port", QStringLiteral("1885")}}));
    QCOMPARE(config.get("mqtt/port").toInt(), 1885);
}

void TestConfig::garbageFileNeverLosesValues() {
    QByteArray garbage;
    for (int i = 0; i < 600; ++i) {
        garbage.append(char((i * 37) % 256));
    }
    garbage.append("\n\x01\x7f\x02 junk=\x03\n");
    writeInPlace(m_path, garbage);
    LogCapture log;
    {
        Config config(m_path, GUIManager::Defaults);
        QCOMPARE(config.keys(), GUIManager::Defaults.keys());
        QCOMPARE(snapshot(config), defaultsAsText());
        QVERIFY(log.contains("Ignoring malformed key"));

        // The next change writes a sound file over the garbage.
        config.set("gui/locale", "en_US");
        const QMap<QString, QString> entries = parseIni(readBytes(m_path));
        QCOMPARE(QStringList(entries.keys()), GUIManager::Defaults.keys());
        QCOMPARE(entries.value("gui/locale"), QStringLiteral("en_US"));
    }

    // Readable text with bad values: the good ones are taken, the bad ones logged.
    writeInPlace(m_path,
                 "hello\n[mqtt]\nport=abc\nhost=broker.example\n=5\n[log]\nstderr=maybe\n"
                 "level=3\n[broken\n");
    Config config(m_path, GUIManager::Defaults);
    QCOMPARE(config.get("mqtt/host").toString(), QStringLiteral("broker.example"));
    QCOMPARE(config.get("log/level").toInt(), 3);
    QCOMPARE(config.get("mqtt/port").toInt(), 1883);
    QCOMPARE(config.get("log/stderr").toBool(), true);
    QCOMPARE(config.keys(), GUIManager::Defaults.keys());

    // Garbage written while running changes nothing in memory.
    const QVariantMap before = snapshot(config);
    QSignalSpy fileSpy(&config, &Config::configFileChanged);
    QSignalSpy changedSpy(&config, &Config::configChanged);
    writeInPlace(m_path, garbage);
    QTest::qWait(SETTLE_MS);
    QCOMPARE(fileSpy.count(), 0);
    QCOMPARE(changedSpy.count(), 0);
    QCOMPARE(snapshot(config), before);
}

void TestConfig::unreadableFileStartsWithDefaults() {
    // A folder where the file should be cannot be read, even by root.
    QVERIFY(QDir().mkpath(m_path));
    LogCapture log;
    Config config(m_path, GUIManager::Defaults);
    QCOMPARE(snapshot(config), defaultsAsText());
    QVERIFY(log.contains("Could not read config file"));

    QSignalSpy changedSpy(&config, &Config::configChanged);
    config.set("mqtt/host", "broker.example");
    QCOMPARE(changedSpy.count(), 1);
    QCOMPARE(config.get("mqtt/host").toString(), QStringLiteral("broker.example"));
    QVERIFY(log.contains("Could not write config file"));

    if (geteuid() != 0) {
        const QString locked = m_dir->filePath("locked.conf");
        writeInPlace(locked, "[mqtt]\nport=1884\n");
        QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
        Config lockedConfig(locked, GUIManager::Defaults);
        QCOMPARE(lockedConfig.get("mqtt/port").toInt(), 1883);
    }
}

void TestConfig::unwritableFileKeepsValuesInMemory() {
    // Its folder is a plain file: the file can neither be created nor written.
    writeInPlace(m_dir->filePath("notafolder"), "x");
    LogCapture log;
    Config config(m_dir->filePath("notafolder/gui.conf"), GUIManager::Defaults);
    QVERIFY(log.contains("Could not write config file"));
    QCOMPARE(snapshot(config), defaultsAsText());

    QSignalSpy changedSpy(&config, &Config::configChanged);
    config.set("mqtt/port", 1999);
    config.fromJson(QJsonObject{{"gui", QJsonObject{{"locale", "en_US"}}}});
    QCOMPARE(changedSpy.count(), 2);
    QCOMPARE(config.get("mqtt/port").toInt(), 1999);
    QCOMPARE(config.get("gui/locale").toString(), QStringLiteral("en_US"));
    QCOMPARE(config.toJson().value("gui").toObject().value("locale"), QJsonValue("en_US"));

    if (geteuid() != 0) {
        const QString readOnly = m_dir->filePath("readonly.conf");
        const QByteArray content = "[mqtt]\nport=1884\n";
        writeInPlace(readOnly, content);
        QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner));
        Config readOnlyConfig(readOnly, GUIManager::Defaults);
        readOnlyConfig.set("mqtt/port", 1999);
        QCOMPARE(readOnlyConfig.get("mqtt/port").toInt(), 1999);
        QCOMPARE(readBytes(readOnly), content);
    }
}

void TestConfig::printListsEffectiveValues() {
    Config config(m_path, GUIManager::Defaults);
    config.addOverrides({{"mqtt/port", 1884}});
    config.set("gui/locale", "en_US");

    LogCapture log;
    config.print();
    const QStringList lines = log.all();
    const QString rule = QStringLiteral("[Config] ") + QString(60, QLatin1Char('-'));
    QCOMPARE(lines.size(), 25 + 4);
    QCOMPARE(lines.at(0), rule);
    QCOMPARE(lines.at(1), QStringLiteral("[Config]  SETTINGS (%1)").arg(m_path));
    QCOMPARE(lines.at(2), rule);
    QCOMPARE(lines.last(), rule);
    // Keys ascending, padded to the longest key ("gui/shutdownDelaySec", 20 characters).
    QCOMPARE(lines.at(3), QStringLiteral("[Config]  gui/animSwitchSec    : 0"));
    QVERIFY(lines.contains("[Config]  gui/locale           : en_US"));
    QVERIFY(lines.contains("[Config]  gui/shutdownDelaySec : 60"));
    QVERIFY(lines.contains("[Config]  log/stderr           : true"));
    QVERIFY(lines.contains("[Config]  mqtt/password        : "));
    QVERIFY(lines.contains("[Config]  mqtt/port            : 1884"));
    QCOMPARE(lines.at(27), QStringLiteral("[Config]  topics/network       : zorv/network"));
}

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
