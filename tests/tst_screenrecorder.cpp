// The screen recorder on a real Qt Quick window (offscreen): one picture per
// screen, in order, named after the screen, showing what the window drew for it.
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

class TestScreenRecorder : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QQmlComponent component(&m_engine);
        component.setData(
            "import QtQuick 2.15\nimport QtQuick.Window 2.15\n"
            "Window { width: 48; height: 80; visible: true\n"
            "  Rectangle { objectName: \"page\"; anchors.fill: parent } }",
            QUrl());
        m_window.reset(qobject_cast<QQuickWindow*>(component.create()));
        QVERIFY(m_window && QTest::qWaitForWindowExposed(m_window.get()));
    }
    void savesEachScreenInOrder();
    void unusableFolderRecordsNothing();

private:
    // Shows a screen the way the main window does: the page changes, then the
    // recorder is told.
    void show(ScreenRecorder& recorder, const QString& name, const QColor& color) {
        m_window->findChild<QQuickItem*>(QStringLiteral("page"))->setProperty("color", color);
        recorder.onScreenChanged(name);
    }
    QQmlEngine m_engine;
    std::unique_ptr<QQuickWindow> m_window;
};

void TestScreenRecorder::savesEachScreenInOrder() {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("shots/run"));  // created by the recorder
    ScreenRecorder recorder(m_window.get(), folder);
    QVERIFY(recorder.isReady());
    QSignalSpy saved(&recorder, &ScreenRecorder::screenSaved);
    show(recorder, QStringLiteral("Busy"), Qt::red);
    QVERIFY(saved.wait(5000));
    // Replaced before it settled, and with a name that tries to leave the folder.
    show(recorder, QStringLiteral("Valid"), Qt::green);
    show(recorder, QStringLiteral("../../Out Of/Order"), Qt::blue);
    QTRY_COMPARE(saved.count(), 3);
    QTest::qWait(3 * ScreenRecorder::SettleMillis);
    QCOMPARE(saved.count(), 3);
    QCOMPARE(QDir(folder).entryList(QDir::Files),
             (QStringList{"001-Busy.png", "002-Valid.png", "003-OutOfOrder.png"}));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
    // Each picture shows its own screen, not the one before.
    const QImage busy(QDir(folder).filePath(QStringLiteral("001-Busy.png")));
    QCOMPARE(busy.size(), m_window->size() * m_window->devicePixelRatio());
    QCOMPARE(QColor(busy.pixel(10, 10)), QColor(Qt::red));
}

void TestScreenRecorder::unusableFolderRecordsNothing() {
    QTemporaryDir dir;
    QFile blocked(dir.filePath(QStringLiteral("taken")));  // a file where the folder should be
    QVERIFY(blocked.open(QIODevice::WriteOnly));
    blocked.close();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Cannot write screenshots into"));
    ScreenRecorder recorder(m_window.get(), blocked.fileName() + QStringLiteral("/shots"));
    QVERIFY(!recorder.isReady());
    QSignalSpy saved(&recorder, &ScreenRecorder::screenSaved);
    show(recorder, QStringLiteral("Busy"), Qt::red);
    QTest::qWait(3 * ScreenRecorder::SettleMillis);
    QCOMPARE(saved.count(), 0);
}

QTEST_MAIN(TestScreenRecorder)
#include "tst_screenrecorder.moc"
