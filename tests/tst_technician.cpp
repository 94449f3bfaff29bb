// The technician's way through the real GUI manager and the real QML bundle, with the
// device services played by the simulator program on a real broker: three quick taps
// on the header clock open the PIN entry, a wrong PIN is refused with a shake, the
// right one opens the settings, every settings page opens from the menu without a QML
// warning and its opening and closing requests reach the services, a volume set on the
// Audio page comes back from the inspector service, and Logout returns to the passenger
// screen. A picture of every page is saved in build/screenshots/settings.
#include <QDir>
#include <QPointer>
#include <QProcess>
#include <QQuickItem>
#include <QQuickItemGrabResult>
#include <QQuickWindow>
#include <QtPlugin>
#include <QtTest>

#include "AppFixture.h"
#include "Inspector.h"
#include "LogCapture.h"

Q_IMPORT_PLUGIN(FreeVirtualKeyboardPlugin)

namespace {
constexpr int kWait = 15000;  // generous: the machine may be busy with other builds

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
}  // namespace

class TestTechnician : public QObject {
    Q_OBJECT

private slots:
    void technicianWalksThroughTheSettings();

private:
    // A tap through the window, as a finger does, in the middle of the named item.
    void tap(QQuickItem* item) {
        QVERIFY(item && item->isVisible() && item->isEnabled());
        const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
        QTest::mouseClick(m_window, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    }
    void tap(const QString& name, QQuickItem* within) { tap(findItem(within, name)); }
    void typePin(const QString& pin) {
        // Phone layout: 1 to 9 on the first three rows, 0 in the middle of the last.
        for (const QChar digit : pin) {
            tap(QStringLiteral("key%1").arg(digit == '0' ? 10 : digit.digitValue() - 1), m_login);
        }
        tap(QStringLiteral("loginButton"), m_login);
    }
    void screenshot(const QString& name) {
        const QSharedPointer<QQuickItemGrabResult> grab = m_window->contentItem()->grabToImage();
        QTRY_VERIFY_WITH_TIMEOUT(!grab->image().isNull(), kWait);
        QDir().mkpath(QStringLiteral(SCREENSHOT_DIR));
        QVERIFY(grab->image().save(QStringLiteral(SCREENSHOT_DIR "/%1_%2.png")
                                       .arg(m_shots++, 2, 10, QLatin1Char('0'))
                                       .arg(name)));
    }
    QString title() {
        return findItem(m_settings, QStringLiteral("headerTitle"))->property("text").toString();
    }

    QQuickWindow* m_window = nullptr;
    QQuickItem* m_login = nullptr;
    QQuickItem* m_settings = nullptr;
    int m_shots = 0;
};

void TestTechnician::technicianWalksThroughTheSettings() {
    AppFixture app({{QStringLiteral("gui/locale"), QStringLiteral("en_IE")}});
    QVERIFY(app.ready());
    LogCapture log;
    app.gui().load();
    m_window = qobject_cast<QQuickWindow*>(app.gui().engine().rootObjects().value(0));
    m_login = findItem(m_window->contentItem(), QStringLiteral("screen_Login"));
    m_settings = findItem(m_window->contentItem(), QStringLiteral("screen_Settings"));

    // The device services: the simulator, with the vehicle running and the validator
    // in service.
    QProcess devsim;
    devsim.setProcessChannelMode(QProcess::ForwardedChannels);
    devsim.start(QStringLiteral(QUELLAN_DEVSIM_BINARY),
                 {"-H", app.broker().host(), "-P", QString::number(app.broker().port())});
    QVERIFY(devsim.waitForStarted(kWait));
    auto stopSimulator = qScopeGuard([&devsim] {
        devsim.terminate();
        if (!devsim.waitForFinished(5000)) {
            devsim.kill();
            devsim.waitForFinished(5000);
        }
    });
    devsim.write("ignition on\nstatus online\n");
    QTRY_COMPARE_WITH_TIMEOUT(app.gui().screen(), QStringLiteral("ScanScreens"), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(app.gui().inspector().audioVolume(), 40, kWait);

    // Three quick taps on the clock; the gesture counts them over one second.
    QQuickItem* clock = findItem(m_window->contentItem(), QStringLiteral("headerClock"));
    for (int i = 0; i < 3; ++i) {
        tap(clock);
    }
    QTRY_COMPARE_WITH_TIMEOUT(app.gui().screen(), QStringLiteral("Login"), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(m_login->isVisible(), kWait);
    screenshot(QStringLiteral("Login"));
    QSignalSpy shaken(m_login->findChild<QObject*>(QStringLiteral("formOffset")),
                      SIGNAL(xChanged()));
    typePin(QStringLiteral("1234"));
    QTRY_VERIFY_WITH_TIMEOUT(shaken.count() > 0, kWait);
    QCOMPARE(app.gui().screen(), QStringLiteral("Login"));
    typePin(QStringLiteral("8602"));
    QTRY_COMPARE_WITH_TIMEOUT(app.gui().screen(), QStringLiteral("Settings"), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(m_settings->isVisible(), kWait);
    screenshot(QStringLiteral("Settings"));

    QQuickItem* stack = findItem(m_settings, QStringLiteral("settingsStack"));
    const QStringList titles = {"Validator", "Diagnostics", "Region", "Audio",
                                "Display",   "Network",     "Update", "Event Log"};
    const QString displayGet = QStringLiteral("zorv/board/display/get");
    const QString ntpStatusGet = QStringLiteral("zorv/device/clock/ntp/status/get");
    const QString volumeSet = QStringLiteral("zorv/inspector/audio/set");
    for (int row = 0; row < titles.size(); ++row) {
        const QString& name = titles.at(row);
        const int displayBefore = app.peer().count(displayGet);
        const int ntpBefore = app.peer().count(ntpStatusGet);
        tap(QStringLiteral("menuRow%1").arg(row), m_settings);
        QTRY_VERIFY_WITH_TIMEOUT(!stack->property("busy").toBool(), kWait);
        QCOMPARE(title(), name);
        QPointer<QQuickItem> page = stack->property("currentItem").value<QQuickItem*>();
        if (name == QLatin1String("Diagnostics")) {
            QVERIFY(log.contains(QStringLiteral("Starting Diagnostic check")));
        } else if (name == QLatin1String("Region")) {
            QTRY_VERIFY_WITH_TIMEOUT(app.peer().count(ntpStatusGet) > ntpBefore, kWait);
        } else if (name == QLatin1String("Display")) {
            // Monitored every second while the page is open.
            QTRY_VERIFY_WITH_TIMEOUT(app.peer().count(displayGet) >= displayBefore + 2, kWait);
        } else if (name == QLatin1String("Audio")) {
            // A tap three quarters along the slider sets the volume there; the
            // inspector service stores it and reports it back.
            QQuickItem* slider = findItem(page, QStringLiteral("volumeSlider"));
            QTRY_COMPARE_WITH_TIMEOUT(slider->property("value").toInt(), 40, kWait);
            const qreal x = slider->property("leftPadding").toReal() +
                            slider->property("availableWidth").toReal() * 0.75;
            QTest::mouseClick(m_window, Qt::LeftButton, Qt::NoModifier,
                              slider->mapToScene(QPointF(x, slider->height() / 2)).toPoint());
            const int chosen = qRound(slider->property("value").toReal());
            QVERIFY2(chosen > 60 && chosen < 90, qPrintable(QString::number(chosen)));
            QTRY_VERIFY_WITH_TIMEOUT(app.peer().count(volumeSet) == 1, kWait);
            QCOMPARE(AppFixture::object(app.requests(volumeSet).first()),
                     QJsonObject({{"internal", QJsonObject{{"volume", chosen}}}}));
            QTRY_COMPARE_WITH_TIMEOUT(app.gui().inspector().audioVolume(), chosen, kWait);
        }
        screenshot(QStringLiteral("page_") + QString(name).remove(' '));
        tap(QStringLiteral("backButton"), m_settings);
        QTRY_VERIFY_WITH_TIMEOUT(page.isNull(), kWait);  // closing handlers have run
        QCOMPARE(title(), QStringLiteral("Settings"));
        if (name == QLatin1String("Diagnostics")) {
            QVERIFY(log.contains(QStringLiteral("Stopping Diagnostic check")));
        } else if (name == QLatin1String("Display")) {
            QTest::qWait(300);  // a request already on its way
            const int after = app.peer().count(displayGet);
            QTest::qWait(2500);
            QCOMPARE(app.peer().count(displayGet), after);
        }
    }

    // Logout from the header menu.
    tap(QStringLiteral("menuButton"), m_settings);
    QObject* menu = m_settings->findChild<QObject*>(QStringLiteral("headerMenu"));
    QTRY_VERIFY_WITH_TIMEOUT(menu->property("opened").toBool(), kWait);
    QQuickItem* logout = nullptr;
    QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem*, logout), Q_ARG(int, 4));
    QCOMPARE(logout->objectName(), QStringLiteral("logoutItem"));
    tap(logout);
    QTRY_COMPARE_WITH_TIMEOUT(app.gui().screen(), QStringLiteral("ScanScreens"), kWait);
    QVERIFY(!app.gui().session().sessionActive());
    const QStringList problems =
        (log.lines(QtWarningMsg) + log.lines(QtCriticalMsg)).filter(QStringLiteral("qrc:/"));
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
}

QTEST_MAIN(TestTechnician)
#include "tst_technician.moc"
