// Every passenger screen driven through the real GUI manager and the real QML bundle,
// with the device services played by a peer on a real broker. Each screen is saved
// as a picture in Greek and in English (build/screenshots/passenger) so that a person
// can look at all of them; no text may run past the 480-pixel-wide display, and the
// QML engine may report nothing.
#include <QDir>
#include <QQuickItem>
#include <QQuickItemGrabResult>
#include <QQuickWindow>
#include <QtPlugin>
#include <QtTest>

#include "AppFixture.h"
#include "LogCapture.h"

Q_IMPORT_PLUGIN(FreeVirtualKeyboardPlugin)

namespace {
QQuickItem* findItem(QQuickItem* root, const QString& name) {
    if (!root || root->objectName() == name) {
        return root;
    }
    for (QQuickItem* child : root->childItems()) {
        if (QQuickItem* found = findItem(child, name)) {
            return found;
        }
    }
    return nullptr;
}

// Texts that neither wrap nor elide must fit inside the display.
void collectOverflow(QQuickItem* item, QStringList& out) {
    if (!item->isVisible() || item->opacity() == 0.0) {
        return;
    }
    if (item->inherits("QQuickText") && item->property("wrapMode").toInt() == 0 &&
        item->property("elide").toInt() == 0) {
        const qreal width = item->property("contentWidth").toReal();
        const int align = item->property("horizontalAlignment").toInt();
        const qreal x = item->mapToScene(QPointF(0, 0)).x() +
                        (align == Qt::AlignRight     ? item->width() - width
                         : align == Qt::AlignHCenter ? (item->width() - width) / 2
                                                     : 0);
        if (x < -1 || x + width > 481) {
            out << item->property("text").toString();
        }
    }
    for (QQuickItem* child : item->childItems()) {
        collectOverflow(child, out);
    }
}

QJsonObject ticket(bool valid, int type, int deny, const char* card) {
    QJsonObject t{{"result", valid},
                  {"type", type},
                  {"fareProductName", "Adult 90 minutes"},
                  {"denyReason", QJsonObject{{"id", deny}}}};
    if (card) {
        t.insert(QStringLiteral("card"), AppFixture::object(card));
    }
    return t;
}
}  // namespace

class TestScreens : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationVersion(QStringLiteral("1.0.18")); }
    void everyScreenInBothLanguages_data();
    void everyScreenInBothLanguages();

private:
    void show(AppFixture& app, const QString& expected);
    QString m_language;
    int m_index = 0;
};

void TestScreens::everyScreenInBothLanguages_data() {
    QTest::addColumn<QString>("language");
    QTest::newRow("greek") << QStringLiteral("el_GR");
    QTest::newRow("english") << QStringLiteral("en_IE");
}

void TestScreens::show(AppFixture& app, const QString& expected) {
    QTRY_COMPARE(app.gui().screen(), expected);
    auto* window = qobject_cast<QQuickWindow*>(app.gui().engine().rootObjects().value(0));
    QQuickItem* loader = findItem(window->contentItem(), QStringLiteral("screen_") + expected);
    QTRY_VERIFY(loader->isVisible());
    QTest::qWait(350);  // let the frame timers and bindings settle
    QStringList overflow;
    collectOverflow(loader, overflow);
    QVERIFY2(overflow.isEmpty(), qPrintable(expected + ": " + overflow.join(QStringLiteral("; "))));
    const QSharedPointer<QQuickItemGrabResult> grab = window->contentItem()->grabToImage();
    QTRY_VERIFY(!grab->image().isNull());
    const QString folder = QStringLiteral(SCREENSHOT_DIR "/") + m_language;
    QDir().mkpath(folder);
    QVERIFY(grab->image().save(QStringLiteral("%1/%2_%3.png")
                                   .arg(folder)
                                   .arg(m_index++, 2, 10, QLatin1Char('0'))
                                   .arg(expected)));
}

void TestScreens::everyScreenInBothLanguages() {
    QFETCH(QString, language);
    m_language = language;
    m_index = 0;
    AppFixture app({{QStringLiteral("gui/locale"), language}});
    QVERIFY(app.ready());
    LogCapture log;
    app.gui().load();
    show(app, QStringLiteral("Busy"));
    app.ignition(true);
    app.validatorOnline();
    show(app, QStringLiteral("ScanScreens"));
    const struct {
        QJsonObject transaction;
        const char* screen;
    } results[] = {
        {ticket(true, 2, 0, R"({"balanceBefore": 1250, "balanceAfter": 1130})"), "Valid"},
        {ticket(true, 5, 0, R"({"storedJourneys": {"after": 9, "transferRemainingMin": 75}})"),
         "Valid"},
        {ticket(true, 8, 0, R"({"periodPass": {"remainingDays": 12}})"), "Valid"},
        {ticket(true, 0, 0, nullptr), "Valid"},
        {ticket(false, 5, 207, R"({"storedJourneys": {"after": 3, "transferRemainingMin": 20}})"),
         "AlreadyValid"},
        {ticket(false, 2, 205, R"({"balanceBefore": 40, "balanceAfter": 40})"), "Invalid"},
    };
    for (const auto& result : results) {
        app.scan(result.transaction);
        show(app, QString::fromLatin1(result.screen));
    }
    app.publish(QStringLiteral("zorv/blm/rfid/retry"), QJsonObject());
    show(app, QStringLiteral("Retry"));
    app.gui().setShowErrorDesc(true);
    app.validatorStatus(
        AppFixture::object(R"({"service": true, "state": {"hasRfid": true, "hasNtp": false}})"));
    show(app, QStringLiteral("OutOfOrder"));
    QCOMPARE(app.gui().message(), QStringLiteral("#0007\nNTP not synchronized"));
    app.validatorStatus(
        AppFixture::object(R"({"service": true, "state": {"hasRfid": true, "hasRoute": false}})"));
    show(app, QStringLiteral("OutOfService"));
    app.ignition(false);
    show(app, QStringLiteral("ScreenSaver"));
    app.ignition(true);
    app.gui().setMaintenanceScreen();
    show(app, QStringLiteral("Login"));
    const QStringList problems =
        (log.lines(QtWarningMsg) + log.lines(QtCriticalMsg)).filter(QStringLiteral("qrc:/"));
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
}

QTEST_MAIN(TestScreens)
#include "tst_screens.moc"
