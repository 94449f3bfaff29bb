// What the fleet relay lets in from the depot and what it lets out, and how it reads
// its configuration.
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>

#include "DepotFilter.h"
#include "RelayConfig.h"

using fleet::DepotFilter;

class TestFleetRelay : public QObject {
    Q_OBJECT

private slots:
    void admit_data() {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<bool>("retain");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("local");  // empty: dropped
        QTest::addColumn<QByteArray>("forwarded");
        const QString p = QStringLiteral("fleet/K1/zorv/ui");
        const QByteArray most(DepotFilter::kMaxPayload, 'x');
        QTest::newRow("request") << p + "/status/get" << false << most << "zorv/ui/status/get"
                                 << most;
        QTest::newRow("too big") << p + "/info/get" << false << most + 'x' << "" << QByteArray();
        QTest::newRow("retained") << p + "/config/get" << true << QByteArray() << ""
                                  << QByteArray();
        QTest::newRow("deeper") << p + "/config/set/x" << false << QByteArray("{}") << ""
                                << QByteArray();
        QTest::newRow("another vehicle")
            << "fleet/K10/zorv/ui/info/get" << false << QByteArray() << "" << QByteArray();
        QTest::newRow("allowed keys")
            << p + "/config/set" << false << QByteArray("{ \"gui\": {\"locale\": \"en_US\"} }")
            << "zorv/ui/config/set" << QByteArray("{\"gui\":{\"locale\":\"en_US\"}}");
        QTest::newRow("escaped refused key")
            << p + "/config/set" << false << QByteArray(R"({"mqtt": {"h\u006fst": "x"}})") << ""
            << QByteArray();
        QTest::newRow("mixed") << p + "/config/set" << false
                               << QByteArray(R"({"gui": {"locale": "x", "deviceId": "x"}})") << ""
                               << QByteArray();
        QTest::newRow("group not an object")
            << p + "/config/set" << false << QByteArray(R"({"gui": 1})") << "" << QByteArray();
        QTest::newRow("not JSON") << p + "/config/set" << false << QByteArray("{") << ""
                                  << QByteArray();
    }

    void admit() {
        QFETCH(QString, topic);
        QFETCH(bool, retain);
        QFETCH(QByteArray, payload);
        QFETCH(QString, local);
        QFETCH(QByteArray, forwarded);
        const DepotFilter filter("fleet/K1/", "zorv/ui", {"gui/locale"});
        std::string localTopic, localPayload, why;
        const bool admitted = filter.admit(topic.toStdString(), retain, payload.toStdString(),
                                           &localTopic, &localPayload, &why);
        QCOMPARE(admitted, !local.isEmpty());
        QCOMPARE(QString::fromStdString(localTopic), local);
        QCOMPARE(QByteArray::fromStdString(localPayload), forwarded);
        QCOMPARE(why.empty(), admitted);
        QVERIFY(!QString::fromStdString(why).contains(QLatin1String("\"x\"")));
    }

    void secretsMasked() {
        const fleet::SecretMask mask("key"), other("other key");
        const std::string config = R"({"gui": {"locale": "el_GR", "settingsPin": "4711"},)"
                                   R"( "mqtt": {"password": "pw"}})";
        const std::string masked = mask.apply(config);
        QVERIFY(masked.find("4711") == std::string::npos &&
                masked.find("pw\"") == std::string::npos);
        QVERIFY(masked.find("\"locale\": \"el_GR\"") != std::string::npos);
        QCOMPARE(mask.apply(config), masked);  // stable: the depot sees whether it changed
        QVERIFY(mask.apply(R"({"gui": {"settingsPin": "4712"}})") !=
                mask.apply(R"({"gui": {"settingsPin": "4711"}})"));
        QVERIFY(other.apply(config) != masked);
        const std::string plain = "{\"service\":  true}";
        QCOMPARE(mask.apply(plain), plain);
    }

    void configLoad_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");  // empty: loads
        const QByteArray base = "depot d\ncafile ca\nclientid K1\nprefix fleet/K1/\ncertfile c\n";
        QTest::newRow("complete") << base + "keyfile k\ndepot e:1\nallow gui/locale\n"
                                  << "";
        QTest::newRow("no key") << base << "certfile and keyfile";
        QTest::newRow("no depot") << QByteArray("cafile ca\n") << "are required";
        QTest::newRow("bad port") << base + "keyfile k\ndepot d:65536\n"
                                  << ":7: 'd:65536' is not";
        QTest::newRow("never allowed") << base + "allow mqtt/host\n"
                                       << "can never be set";
        QTest::newRow("device id") << base + "allow gui/deviceId\n"
                                   << "can never be set";
        QTest::newRow("not a key") << base + "allow gui\n"
                                   << "not a configuration key";
        QTest::newRow("unknown") << base + "bridge x\n"
                                 << "unknown key 'bridge'";
        QTest::newRow("two values") << base + "prefix a/ b/\n"
                                    << "exactly one value";
    }

    void configLoad() {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const std::string path = dir.filePath("relay.conf").toStdString();
        std::ofstream(path) << text.toStdString();
        fleet::RelayConfig config;
        std::string why;
        QCOMPARE(fleet::RelayConfig::load(path, &config, &why), error.isEmpty());
        QVERIFY2(QString::fromStdString(why).contains(error), why.c_str());
        if (error.isEmpty()) {
            QCOMPARE(config.depots.size(), std::size_t(2));
            QCOMPARE(config.depots[1].port, 1);
        }
        QVERIFY(!fleet::RelayConfig::load(path + ".missing", &config, &why));
    }
};

QTEST_GUILESS_MAIN(TestFleetRelay)
#include "tst_fleetrelay.moc"
