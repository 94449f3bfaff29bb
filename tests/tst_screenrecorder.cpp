// The screen recorder on a real Qt Quick window (offscreen): one picture per
// screen, in order, named after the screen, showing what the window drew for it.

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "ScreenRecorder.h"

namespace {
bool waitForCount(QSignalSpy& spy, int count) {
    return QTest::qWaitFor([&] { return spy.count() >= count; }, 5000);
}
}  // namespace

class TestScreenRecorder : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void savesEachScreenInOrder();
    void aScreenReplacedBeforeItSettledIsStillSaved();
    void unusableFolderRecordsNothing();
    void screenNameCannotLeaveTheFolder();

private:
    // Shows a screen the way the main window does: the page changes, then the
    // recorder is told.
    void show(ScreenRecorder& recorder, const QString& name, const QColor& color);

    QQmlEngine m_engine;
    std::unique_ptr<QQuickWindow> m_window;
};

void TestScreenRecorder::init() {
    QQmlComponent component(&m_engine);
    component.setData(
        "import QtQuick 2.15\nimport QtQuick.Window 2.15\n"
        "Window { width: 48; height: 80; visible: true\n"
        "  Rectangle { objectName: \"page\"; anchors.fill: parent; color: \"black\" } }",
        QUrl());
    m_window.reset(qobject_cast<QQuickWindow*>(component.create()));
    QVERIFY2(m_window, qPrintable(component.errorString()));
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestScreenRecorder::cleanup() {
    m_window.reset();
}

void TestScreenRecorder::show(ScreenRecorder& recorder, const QString& name, const QColor& color) {
    QQuickItem* page = m_window->findChild<QQuickItem*>(QStringLiteral("page"));
    QVERIFY(page);
    page->setProperty("color", color);
    recorder.onScreenChanged(name);
}

void TestScreenRecorder::savesEachScreenInOrder() {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("shots/run"));  // created by the recorder
    ScreenRecorder recorder(m_window.get(), folder);
    QVERIFY(recorder.isReady());
    QSignalSpy saved(&recorder, &ScreenRecorder::screenSaved);

    show(recorder, QStringLiteral("Busy"), Qt::red);
    QVERIFY(saved.wait(5000));
    show(recorder, QStringLiteral("ScanScreens"), Qt::blue);
    QVERIFY(saved.wait(5000));
    QCOMPARE(saved.count(), 2);
    QCOMPARE(saved.at(0).at(0).toString(), QDir(folder).filePath(QStringLiteral("001-Busy.png")));
    QCOMPARE(saved.at(1).at(0).toString(),
             QDir(folder).filePath(QStringLiteral("002-ScanScreens.png")));
    QCOMPARE(QDir(folder).entryList(QDir::Files),
             QStringList({QStringLiteral("001-Busy.png"), QStringLiteral("002-ScanScreens.png")}));

    // Each picture shows its own screen, not the one before.
    const QImage busy(QDir(folder).filePath(QStringLiteral("001-Busy.png")));
    const QImage scan(QDir(folder).filePath(QStringLiteral("002-ScanScreens.png")));
    QVERIFY(!busy.isNull());
    QCOMPARE(busy.size(), m_window->size() * m_window->devicePixelRatio());
    QCOMPARE(QColor(busy.pixel(10, 10)), QColor(Qt::red));
    QCOMPARE(QColor(scan.pixel(10, 10)), QColor(Qt::blue));
    QCOMPARE(recorder.saved(), 2);
}

void TestScreenRecorder::aScreenReplacedBeforeItSettledIsStillSaved() {
    QTemporaryDir dir;
    ScreenRecorder recorder(m_window.get(), dir.path());
    QSignalSpy saved(&recorder, &ScreenRecorder::screenSaved);
    show(recorder, QStringLiteral("Valid"), Qt::green);
    show(recorder, QStringLiteral("ScanScreens"), Qt::blue);
    QVERIFY(waitForCount(saved, 2));
    QVERIFY(saved.at(0).at(0).toString().endsWith(QLatin1String("001-Valid.png")));
    QVERIFY(saved.at(1).at(0).toString().endsWith(QLatin1String("002-ScanScreens.png")));
    // Nothing more is saved while no screen changes.
    QTest::qWait(3 * ScreenRecorder::SettleMillis);
    QCOMPARE(saved.count(), 2);
}

void TestScreenRecorder::unusableFolderRecordsNothing() {
    QTemporaryDir dir;
    // A file where the folder should be.
    const QString blocked = dir.filePath(QStringLiteral("taken"));
    QFile file(blocked);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("Cannot write screenshots into")));
    ScreenRecorder recorder(m_window.get(), blocked + QStringLiteral("/shots"));
    QVERIFY(!recorder.isReady());
    QSignalSpy saved(&recorder, &ScreenRecorder::screenSaved);
    show(recorder, QStringLiteral("Busy"), Qt::red);
    QTest::qWait(3 * ScreenRecorder::SettleMillis);
    QCOMPARE(saved.count(), 0);

    // No window at all: nothing to record, and no crash.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("No window to record")));
    ScreenRecorder without(nullptr, dir.path());
    QVERIFY(!without.isReady());
    without.onScreenChanged(QStringLiteral("Busy"));
}

void TestScreenRecorder::screenNameCannotLeaveTheFolder() {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("inner"));
    ScreenRecorder recorder(m_window.get(), folder);
    QSignalSpy saved(&recorder, &ScreenRecorder::screenSaved);
    show(recorder, QStringLiteral("../../Out Of/Order"), Qt::red);
    QVERIFY(saved.wait(5000));
    QCOMPARE(saved.at(0).at(0).toString(),
             QDir(folder).filePath(QStringLiteral("001-OutOfOrder.png")));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
}

QTEST_MAIN(TestScreenRecorder)
#include "tst_screenrecorder.moc"
