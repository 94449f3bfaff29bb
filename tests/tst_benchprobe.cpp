#include <unistd.h>
#include <QFile>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>

#include "BenchProbe.h"

namespace {

// Stands in for the GUI manager: the probe only reads its "screen" property.
class Screens : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString screen READ screen NOTIFY screenChanged)

public:
    QString screen() const { return m_screen; }
    void setScreen(const QString& value) {
        m_screen = value;
        emit screenChanged();
    }

signals:
    void screenChanged();

private:
    QString m_screen = QStringLiteral("Busy");
};

// Sends standard output to a file while it lives; the probe's lines go there.
class StdoutCapture {
public:
    explicit StdoutCapture(const QString& path) : m_path(path) {
        std::fflush(stdout);
        m_saved = dup(STDOUT_FILENO);
        FILE* file = std::fopen(QFile::encodeName(path).constData(), "w");
        dup2(fileno(file), STDOUT_FILENO);
        std::fclose(file);
    }
    ~StdoutCapture() { restore(); }
    QStringList restore() {
        if (m_saved >= 0) {
            std::fflush(stdout);
            dup2(m_saved, STDOUT_FILENO);
            close(m_saved);
            m_saved = -1;
        }
        QFile file(m_path);
        file.open(QIODevice::ReadOnly);
        return QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private:
    QString m_path;
    int m_saved = -1;
};

}  // namespace

// The measuring aid of the benchmarks: inert unless asked for, and when asked, the frame
// it reports after a screen change is one drawn after that change.
class TestBenchProbe : public QObject {
    Q_OBJECT

private slots:
    void frameAfterScreenChange() {
        QTemporaryDir dir;
        qputenv("QUELLAN_BENCH_PROBE", "0");
        QVERIFY(!BenchProbe::enabled());
        qputenv("QUELLAN_BENCH_PROBE", "1");
        QQuickWindow window;
        window.resize(100, 100);
        QQuickItem item(window.contentItem());
        Screens screens;
        BenchProbe probe;
        probe.attach(&window);
        probe.watchScreens(&screens);
        qunsetenv("QUELLAN_BENCH_PROBE");

        StdoutCapture capture(dir.filePath(QStringLiteral("out.txt")));
        QSignalSpy frames(&window, &QQuickWindow::frameSwapped);
        window.show();
        QVERIFY(frames.wait(5000));
        const qint64 before = BenchProbe::monotonicUs();
        screens.setScreen(QStringLiteral("Valid"));
        window.update();
        QVERIFY(frames.wait(5000));
        // A second frame without a change of screen is not reported again.
        window.update();
        QVERIFY(frames.wait(5000));
        const QStringList lines = capture.restore();

        QCOMPARE(lines.filter(QStringLiteral("QUELLAN_BENCH first-frame ")).size(), 1);
        const QStringList changes = lines.filter(QStringLiteral("QUELLAN_BENCH screen "));
        const QStringList after = lines.filter(QStringLiteral("QUELLAN_BENCH frame "));
        QCOMPARE(changes.size(), 1);
        QCOMPARE(after.size(), 1);
        QVERIFY(after.first().contains(QStringLiteral("screen=Valid")));
        const qint64 changed = changes.first().section(QStringLiteral("mono_us="), 1).toLongLong();
        const qint64 drawn = after.first().section(QStringLiteral("mono_us="), 1).toLongLong();
        QVERIFY(changed >= before);
        QVERIFY(drawn >= changed);
    }
};

QTEST_MAIN(TestBenchProbe)
#include "tst_benchprobe.moc"
