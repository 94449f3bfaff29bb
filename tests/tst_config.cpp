// The settings store on real files: defaults, the watched INI file, overrides, JSON.

#include <QSaveFile>
#include <QtTest>

#include "Config.h"
#include "LogCapture.h"
#include "support/Files.h"

namespace {

const QVariantMap kDefaults{
    {"mqtt/host", "local"}, {"mqtt/port", 1883}, {"log/color", false}, {"gui/settingsPin", "0042"}};

QByteArray read(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

void write(const QString& path, const QByteArray& content, bool atomic = false) {
    QSaveFile file(path);
    file.setDirectWriteFallback(!atomic);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    QVERIFY(file.commit());
}

}  // namespace

class TestConfig : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_path = m_dir->filePath("gui.conf");
    }

    void firstStartAndLayers() {
        Config config(m_path, kDefaults);
        // Every default is written, grouped, and a text keeps its leading zeros.
        QVERIFY(read(m_path).contains("[mqtt]\nhost=local\nport=1883\n"));
        QCOMPARE(Config(m_path, {}).get("gui/settingsPin").toString(), QString("0042"));

        QSignalSpy changed(&config, &Config::configChanged);
        folderSynced(m_dir->path());
        bool durable = false;  // reported (confirmed) only once on disk, its folder synced
        connect(&config, &Config::configChanged, this, [&] {
            durable = read(m_path).contains("port=1884") && folderSynced(m_dir->path());
        });
        config.addOverrides({{"mqtt/port", 1999}});
        QCOMPARE(config.get("mqtt/port").toInt(), 1999);
        config.set("mqtt/port", 1883);  // the stored value: nothing happens
        QCOMPARE(config.get("mqtt/port").toInt(), 1999);
        config.set("mqtt/port", 1884);  // a value set while running wins from now on
        QCOMPARE(config.get("mqtt/port").toInt(), 1884);
        QCOMPARE(changed.first().first().toMap(), (QVariantMap{{"mqtt/port", 1884}}));
        QVERIFY(durable);
    }

    void fileValues_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value");
        // A value must be usable as the type of its default; a bad entry is left out.
        QTest::newRow("list for a text")
            << QByteArray("[mqtt]\nhost=a, b\n") << "mqtt/host" << QVariant("local");
        QTest::newRow("key without group")
            << QByteArray("port=1\n[mqtt]\nhost=h\n") << "mqtt/host" << QVariant("h");
        QTest::newRow("garbage") << QByteArray("\x00\xff[[\n=\n", 7) << "mqtt/host"
                                 << QVariant("local");
    }

    void fileValues() {
        QFETCH(QByteArray, file);
        write(m_path, file);
        Config config(m_path, kDefaults);
        QFETCH(QString, key);
        QTEST(config.get(key), "value");
        QCOMPARE(config.keys(), kDefaults.keys());
        QCOMPARE(read(m_path), file);  // a file that exists is not rewritten
        QVERIFY(config.set("mqtt/host", "new") &&
                read(m_path).contains("host=new"));  // damaged too
    }

    // The one type rule for values from outside (the file, "/config/set"): usable as the
    // type of the key's default, and text as the store itself exports it after an edit.
    void valueTypes() {
        const QList<std::tuple<const char*, const char*, bool>> rows = {
            {"mqtt/port", "\"1884\"", true},     {"mqtt/port", "1.5", false},
            {"mqtt/port", "\"18a\"", false},     {"mqtt/port", "2147483647", true},
            {"mqtt/port", "2147483648", false},  {"mqtt/port", "-2147483648", true},
            {"mqtt/port", "-2147483649", false}, {"log/color", "\"TRUE\"", true},
            {"log/color", "\"0\"", true},        {"log/color", "\"yes\"", false},
            {"log/color", "1", false},           {"mqtt/host", "42", false}};
        for (const auto& [key, json, accepted] : rows) {
            const QJsonValue value =
                QJsonDocument::fromJson(QByteArray("[") + json + "]").array()[0];
            Config config(m_dir->filePath(QString(key).replace('/', '_')), kDefaults);
            config.fromJson({{QString(key).section('/', 0, 0),
                              QJsonObject{{QString(key).section('/', 1), value}}}});
            QVERIFY2((config.get(key) == value.toVariant()) == accepted, json);
        }
    }

    void outsideEdits() {
        Config config(m_path, kDefaults);
        QStringList order;
        connect(&config, &Config::configFileChanged, this, [&] { order << "file"; });
        connect(&config, &Config::configChanged, this, [&](const QVariantMap& changes) {
            order << changes.firstKey() + "=" + changes.first().toString();
        });
        // In place, replaced by a rename, and twice within one time-stamp tick.
        write(m_path, read(m_path).replace("host=local", "host=one"));
        QTRY_COMPARE(order.size(), 2);
        write(m_path, read(m_path).replace("host=one", "host=two"), true);
        QTRY_COMPARE(order.size(), 4);
        write(m_path, read(m_path).replace("host=two", "host=six"));
        QTRY_COMPARE(order.size(), 6);
        // Its own writes are changes, but not outside edits.
        config.set("mqtt/host", "own");
        // A file deleted and written again is watched again.
        const QByteArray content = read(m_path);
        QFile::remove(m_path);
        QTest::qWait(100);
        write(m_path, QByteArray(content).replace("host=own", "host=back"));
        QTRY_COMPARE(order.size(), 9);
        write(m_path, QByteArray(content).replace("host=own", "host=again"));
        QTRY_COMPARE(order.size(), 11);
        QCOMPARE(order, (QStringList{"file", "mqtt/host=one", "file", "mqtt/host=two", "file",
                                     "mqtt/host=six", "mqtt/host=own", "file", "mqtt/host=back",
                                     "file", "mqtt/host=again"}));
    }

    void json() {
        Config config(m_path, kDefaults);
        QSignalSpy changed(&config, &Config::configChanged);
        folderSynced(m_dir->path());
        bool durable = false;
        connect(&config, &Config::configChanged, this, [&] {
            durable = read(m_path).contains("host=broker") && folderSynced(m_dir->path());
        });
        LogCapture log;
        config.fromJson(
            QJsonObject{{"mqtt", QJsonObject{{"host", "broker"}, {"port", "abc"}, {"other", 1}}},
                        {"log", QJsonObject{{"color", true}}},
                        {"gui", QJsonObject{{"settingsPin", 4711}}},
                        {"flat", 3}});
        QCOMPARE(changed.count(), 1);
        QVERIFY(durable);
        QCOMPARE(changed.first().first().toMap(),
                 (QVariantMap{{"mqtt/host", "broker"}, {"log/color", true}}));
        QCOMPARE(log.lines(QtWarningMsg).size(), 4);  // the group, the unknown key, two values
        config.print();  // no secret in the log: neither a refused one nor in the printout
        QVERIFY(log.contains("Pin : ********") && !log.contains("4711") && !log.contains("0042"));
        QCOMPARE(config.toJson(),
                 (QJsonObject{{"gui", QJsonObject{{"settingsPin", "0042"}}},
                              {"log", QJsonObject{{"color", true}}},
                              {"mqtt", QJsonObject{{"host", "broker"}, {"port", 1883}}}}));
    }

    // An integrator's own lines (a [General] entry, a deeper key) survive the next save.
    void saveKeepsUnknownEntries() {
        write(m_path, "[General]\nintegrator=yes\n[a]\nb\\c=kept\n[mqtt]\nport=1884\n");
        Config config(m_path, kDefaults);
        config.set("mqtt/host", "broker");
        const QByteArray written = read(m_path);
        QVERIFY(written.contains("[General]\nintegrator=yes\n"));
        QVERIFY(written.contains("[a]\nb\\c=kept\n"));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
