// The measuring aid of the benchmarks: inert unless asked for, and when asked, the frame
// it reports after a screen change is one drawn after that change.
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtTest>

#include "BenchProbe.h"
#include "support/Files.h"

class TestBenchProbe : public QObject {
    Q_OBJECT

private slots:
    void frameAfterScreenChange() {
        qputenv("QUELLAN_BENCH_PROBE", "0");
        QVERIFY(!BenchProbe::enabled());
        qputenv("QUELLAN_BENCH_PROBE", "1");
        QQuickWindow window;
        window.resize(100, 100);
        QQuickItem item(window.contentItem());
        // Stands in for the GUI manager: the probe reads only its "screen" property.
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData("import QtQml 2.15\nQtObject { property string screen: \"Busy\" }", {});
        std::unique_ptr<QObject> screens(component.create());
        BenchProbe probe;
        probe.attach(&window);
        probe.watchScreens(screens.get());
        qunsetenv("QUELLAN_BENCH_PROBE");

        QSignalSpy frames(&window, &QQuickWindow::frameSwapped);
        qint64 before = 0;
        const QStringList lines = outputOf(STDOUT_FILENO, [&] {
            window.show();
            QVERIFY(frames.wait(15000));
            before = BenchProbe::monotonicUs();
            screens->setProperty("screen", QStringLiteral("Valid"));
            window.update();
            QVERIFY(frames.wait(15000));
            // A second frame without a change of screen is not reported again.
            window.update();
            QVERIFY(frames.wait(15000));
        });
        QCOMPARE(lines.filter(QStringLiteral("QUELLAN_BENCH first-frame ")).size(), 1);
        const QStringList changes = lines.filter(QStringLiteral("QUELLAN_BENCH screen "));
        const QStringList after = lines.filter(QStringLiteral("QUELLAN_BENCH frame "));
        QCOMPARE(changes.size(), 1);
        QCOMPARE(after.size(), 1);
        QVERIFY(after.first().contains(QStringLiteral("screen=Valid")));
        const qint64 changed = changes.first().section(QStringLiteral("mono_us="), 1).toLongLong();
        QVERIFY(changed >= before);
        QVERIFY(after.first().section(QStringLiteral("mono_us="), 1).toLongLong() >= changed);
    }
};

QTEST_MAIN(TestBenchProbe)
#include "tst_benchprobe.moc"
