// The table of what configuration changes apply: every rule whose key pattern is
// found in a changed key, in table order, once, with its log line.
#include <QtTest>

#include "ConfigRules.h"
#include "LogCapture.h"

class TestConfigRules : public QObject {
    Q_OBJECT

private slots:
    void rulesApplyInOrder() {
        QStringList done;
        const auto note = [&done](const QString& what) { return [&done, what] { done << what; }; };
        const ConfigRules rules({
            {QRegularExpression("^a/on$"), "On : %1", {"no", "yes"}, {}, note("on")},
            {QRegularExpression("b/.+"),
             "Group b",
             {},
             [&](const QVariant& v) { done << v.toString(); },
             note("b")},
            {QRegularExpression("^a/password$"), "N : %1 s", {}, {}, note("n")},
            {QRegularExpression("^c/x$"), "C", {}, {}, note("c")},
        });
        LogCapture log;
        rules.apply({{"a/password", 5},
                     {"b/y", 2},
                     {"b/x", 1},
                     {"a/on", "true"},
                     {"xa/on", false},
                     {"gui/settingsPin", "4711"}});
        QVERIFY(!log.all().join('\n').contains("4711"));  // the PIN never reaches the log
        QCOMPARE(done, (QStringList{"on", "1", "b", "n"}));
        QCOMPARE(log.lines(QtInfoMsg),
                 (QStringList{"[GUIManager]  On : yes", "[GUIManager]  Group b",
                              "[GUIManager]  N : ******** s"}));
    }
};

QTEST_GUILESS_MAIN(TestConfigRules)
#include "tst_configrules.moc"
