// What a configuration change applies while the program runs, through the store's
// change signal and the GUI manager's table of rules, without a broker.
#include <QtTest>

#include "GUIManager.h"
#include "LogCapture.h"

class TestConfigRules : public QObject {
    Q_OBJECT

private slots:
    void rulesApplyInOrder_data();
    void rulesApplyInOrder();
};

void TestConfigRules::rulesApplyInOrder_data() {
    QTest::addColumn<QByteArray>("changes");
    QTest::addColumn<QByteArray>("signal");
    QTest::addColumn<QStringList>("logged");
    QTest::newRow("words") << QByteArray(R"({"gui": {"showErrorDesc": "true"}})")
                           << QByteArray("showErrorDescChanged")
                           << QStringList{"Show Error description changed : YES"};
    QTest::newRow("value") << QByteArray(R"({"gui": {"shutdownDelaySec": 90}})")
                           << QByteArray("shutdownDelaySecChanged")
                           << QStringList{"Shutdown delay changed : 90 sec(s)"};
    QTest::newRow("apply") << QByteArray(R"({"gui": {"deviceId": "sn"}})")
                           << QByteArray("deviceIdChanged")
                           << QStringList{"Device id changed. Re-loading"};
    // A group's rule once for several keys, after the rule of a single key.
    QTest::newRow("two rules")
        << QByteArray(R"({"gui": {"showCursor": false}, "log": {"level": 3, "stderr": false}})")
        << QByteArray("showCursorChanged")
        << QStringList{"Cursor changed : hidden", "Log configuration changed. Applying."};
}

void TestConfigRules::rulesApplyInOrder() {
    QFETCH(QByteArray, changes);
    QFETCH(QByteArray, signal);
    QTemporaryDir dir;
    QVERIFY(QDir::setCurrent(dir.path()));  // "sn" is a serial-number file in it
    QFile serial(dir.filePath("sn"));
    QVERIFY(serial.open(QIODevice::WriteOnly) && serial.write("K2\n") == 3);
    serial.close();
    Config config(dir.filePath("gui.conf"), GUIManager::Defaults);
    config.addOverrides({{"mqtt/host", "127.0.0.1"}, {"mqtt/port", 9}, {"log/syslog", false}});
    GUIManager gui(config, dir.filePath("events.ini"));
    QSignalSpy notified(&gui, ("2" + signal + "()").constData());
    LogCapture log;
    config.fromJson(QJsonDocument::fromJson(changes).object());
    QCOMPARE(notified.count(), 1);
    QFETCH(QStringList, logged);
    const QStringList lines = log.lines(QtInfoMsg).filter(QRegularExpression("changed|Re-load"));
    QCOMPARE(lines.size(), logged.size());
    for (int i = 0; i < logged.size(); ++i) {
        QVERIFY2(lines[i].endsWith(logged[i]), qPrintable(lines[i]));
    }
}

QTEST_MAIN(TestConfigRules)
#include "tst_configrules.moc"
