// The screen recorder on a real Qt Quick window (offscreen): one picture per
// screen, in order, named after the screen, showing what the window drew for it.
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtTest>

#include "ScreenRecorder.h"
#include "support/Files.h"

class TestScreenRecorder : public QObject {
    Q_OBJECT

private slots:
    void savesEachScreenInOrder_data();
    void savesEachScreenInOrder();
};

void TestScreenRecorder::savesEachScreenInOrder_data() {
    QTest::addColumn<bool>("usable");
    QTest::newRow("folder made by the recorder") << true;
    QTest::newRow("a file where the folder should be") << false;
}

void TestScreenRecorder::savesEachScreenInOrder() {
    QFETCH(bool, usable);
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData(
        "import QtQuick 2.15\nimport QtQuick.Window 2.15\nWindow { width: 48; "
        "height: 80; visible: true\nRectangle { anchors.fill: parent } }",
        QUrl());
    std::unique_ptr<QQuickWindow> window(qobject_cast<QQuickWindow*>(component.create()));
    QVERIFY(window && QTest::qWaitForWindowExposed(window.get()));
    QQuickItem* page = window->contentItem()->childItems().value(0);
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("taken"), ""));
    const QString folder = dir.filePath(usable ? "shots/run" : "taken/shots");
    if (!usable) {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Cannot write screenshots into"));
    }
    ScreenRecorder recorder(window.get(), folder);
    QCOMPARE(recorder.isReady(), usable);
    QSignalSpy saved(&recorder, &ScreenRecorder::screenSaved);
    // As the main window does: the page changes, then the recorder is told.
    page->setProperty("color", QColor(Qt::red));
    recorder.onScreenChanged("Busy");
    QCOMPARE(saved.wait(usable ? 15000 : 3 * ScreenRecorder::SettleMillis), usable);
    // Replaced before it settled, and with a name that tries to leave the folder.
    page->setProperty("color", QColor(Qt::green));
    recorder.onScreenChanged("Valid");
    recorder.onScreenChanged("../../Out Of/Order");
    QTRY_COMPARE(saved.count(), usable ? 3 : 0);
    QTest::qWait(3 * ScreenRecorder::SettleMillis);
    QCOMPARE(saved.count(), usable ? 3 : 0);
    const QStringList pictures{"001-Busy.png", "002-Valid.png", "003-OutOfOrder.png"};
    QCOMPARE(QDir(folder).entryList(QDir::Files), usable ? pictures : QStringList());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"taken"});
    if (usable) {  // each picture shows its own screen, not the one before
        const QImage busy(QDir(folder).filePath("001-Busy.png"));
        QCOMPARE(busy.size(), window->size() * window->devicePixelRatio());
        QCOMPARE(QColor(busy.pixel(10, 10)), QColor(Qt::red));
    }
}

QTEST_MAIN(TestScreenRecorder)
#include "tst_screenrecorder.moc"
