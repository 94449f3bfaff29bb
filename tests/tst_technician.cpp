// The technician's way through the real GUI manager and the real QML bundle, with the
// device services played by the simulator program on a real broker: three quick taps
// on the header clock open the PIN entry, a wrong PIN is refused with a shake, the
// right one opens the settings, every settings page opens from the menu and its
// opening and closing requests reach the services, a volume set on the Audio page
// comes back from the inspector service, and Logout returns to the passenger screen.
// A picture of every page is saved in build/screenshots/settings.
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
    if (!root) {
        return nullptr;
    }
    if (root->objectName() == name) {
        return root;
    }
    const auto children = root->childItems();
    for (QQuickItem* child : children) {
        if (QQuickItem* found = findItem(child, name)) {
            return found;
        }
    }
    return nullptr;
}

int keyIndex(QChar digit) {
    // Phone layout: 1 to 9 on the first three rows, 0 in the middle of the last.
    return digit == QLatin1Char('0') ? 10 : digit.digitValue() - 1;
}

}  // namespace

class TestTechnician : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void technicianWalksThroughTheSettings();

private:
    bool click(const QString& name, QQuickItem* within = nullptr);
    bool typePin(const QString& pin);
    bool screenshot(const QString& name);
    QQuickItem* settingsItem(const QString& name) { return findItem(m_settings, name); }
    QString title() {
        QQuickItem* text = settingsItem(QStringLiteral("headerTitle"));
        return text ? text->property("text").toString() : QString();
    }

    QQuickWindow* m_window = nullptr;
    QQuickItem* m_login = nullptr;
    QQuickItem* m_settings = nullptr;
    int m_shots = 0;
};

void TestTechnician::initTestCase() {
    QCoreApplication::setApplicationName(QStringLiteral("Quellan"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.18-1-g376f268"));
}

// A tap through the window, as a finger does, in the middle of the named item.
bool TestTechnician::click(const QString& name, QQuickItem* within) {
    QQuickItem* item = findItem(within ? within : m_window->contentItem(), name);
    if (!item || !item->isVisible() || !item->isEnabled()) {
        qWarning() << "cannot tap" << name;
        return false;
    }
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(m_window, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    return true;
}

bool TestTechnician::typePin(const QString& pin) {
    for (const QChar digit : pin) {
        if (!click(QStringLiteral("key%1").arg(keyIndex(digit)), m_login)) {
            return false;
        }
    }
    return click(QStringLiteral("loginButton"), m_login);
}

bool TestTechnician::screenshot(const QString& name) {
    const QSharedPointer<QQuickItemGrabResult> grab = m_window->contentItem()->grabToImage();
    if (!grab) {
        return false;
    }
    QSignalSpy ready(grab.data(), &QQuickItemGrabResult::ready);
    if (grab->image().isNull() && !ready.wait(kWait)) {
        return false;
    }
    const QString folder = QStringLiteral(SCREENSHOT_DIR);
    QDir().mkpath(folder);
    return grab->image().save(QStringLiteral("%1/%2_%3.png")
                                  .arg(folder)
                                  .arg(m_shots++, 2, 10, QLatin1Char('0'))
                                  .arg(name));
}

void TestTechnician::technicianWalksThroughTheSettings() {
    AppFixture app({{QStringLiteral("gui/locale"), QStringLiteral("en_IE")}});
    QVERIFY(app.ready());
    LogCapture log;
    app.gui().load();
    m_window = qobject_cast<QQuickWindow*>(app.gui().engine().rootObjects().value(0));
    QVERIFY(m_window);
    m_login = findItem(m_window->contentItem(), QStringLiteral("screen_Login"));
    m_settings = findItem(m_window->contentItem(), QStringLiteral("screen_Settings"));
    QVERIFY(m_login && m_settings);

    // The device services: the simulator, with the vehicle running and the validator
    // in service.
    QProcess devsim;
    devsim.setProcessChannelMode(QProcess::ForwardedChannels);
    devsim.start(QStringLiteral(QUELLAN_DEVSIM_BINARY),
                 {QStringLiteral("-H"), app.broker().host(), QStringLiteral("-P"),
                  QString::number(app.broker().port())});
    QVERIFY(devsim.waitForStarted(kWait));
    auto stopSimulator = qScopeGuard([&devsim] {
        devsim.closeWriteChannel();
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
    QQuickItem* header = findItem(m_window->contentItem(), QStringLiteral("header"));
    QVERIFY(header);
    for (int tap = 0; tap < 3; ++tap) {
        QVERIFY(click(QStringLiteral("headerClock"), header));
    }
    QTRY_COMPARE_WITH_TIMEOUT(app.gui().screen(), QStringLiteral("Login"), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(m_login->isVisible(), kWait);
    QVERIFY(screenshot(QStringLiteral("Login")));

    // A wrong PIN: the form shakes, the input is cleared, the screen stays.
    QObject* offset = m_login->findChild<QObject*>(QStringLiteral("formOffset"));
    QVERIFY(offset);
    QSignalSpy shaken(offset, SIGNAL(xChanged()));
    QVERIFY(typePin(QStringLiteral("1234")));
    QTRY_VERIFY_WITH_TIMEOUT(shaken.count() > 0, kWait);
    QCOMPARE(findItem(m_login, QStringLiteral("pinText"))->property("text").toString(),
             QStringLiteral("Pin"));
    QCOMPARE(app.gui().screen(), QStringLiteral("Login"));
    QVERIFY(!app.gui().session().sessionActive());

    QVERIFY(typePin(QStringLiteral("8602")));
    QTRY_COMPARE_WITH_TIMEOUT(app.gui().screen(), QStringLiteral("Settings"), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(m_settings->isVisible(), kWait);
    QCOMPARE(title(), QStringLiteral("Settings"));
    QVERIFY(screenshot(QStringLiteral("Settings")));

    QQuickItem* stack = settingsItem(QStringLiteral("settingsStack"));
    QVERIFY(stack);
    const QStringList titles = {"Validator", "Diagnostics", "Region", "Audio",
                                "Display",   "Network",     "Update", "Event Log"};
    const QString displayGet = QStringLiteral("zorv/board/display/get");
    const QString statusGet = QStringLiteral("zorv/board/status/get");
    const QString ntpStatusGet = QStringLiteral("zorv/device/clock/ntp/status/get");
    const QString volumeSet = QStringLiteral("zorv/inspector/audio/set");
    for (int row = 0; row < titles.size(); ++row) {
        const QString& name = titles.at(row);
        log.clear();
        const int displayBefore = app.peer().count(displayGet);
        const int statusBefore = app.peer().count(statusGet);
        const int ntpBefore = app.peer().count(ntpStatusGet);

        QVERIFY2(click(QStringLiteral("menuRow%1").arg(row), m_settings), qPrintable(name));
        QTRY_COMPARE_WITH_TIMEOUT(stack->property("depth").toInt(), 2, kWait);
        QTRY_VERIFY_WITH_TIMEOUT(!stack->property("busy").toBool(), kWait);
        QCOMPARE(title(), name);
        QPointer<QQuickItem> page = stack->property("currentItem").value<QQuickItem*>();
        QVERIFY(page);

        if (name == QLatin1String("Diagnostics")) {
            QVERIFY(log.all().join('\n').contains(QLatin1String("Starting Diagnostic check")));
        } else if (name == QLatin1String("Region")) {
            QTRY_VERIFY_WITH_TIMEOUT(app.peer().count(ntpStatusGet) > ntpBefore, kWait);
        } else if (name == QLatin1String("Display")) {
            // Monitored every second while the page is open.
            QTRY_VERIFY_WITH_TIMEOUT(app.peer().count(displayGet) >= displayBefore + 2, kWait);
            QVERIFY(app.peer().count(statusGet) >= statusBefore + 2);
        } else if (name == QLatin1String("Audio")) {
            // A tap three quarters along the slider sets the volume there; the
            // inspector service stores it and reports it back.
            QQuickItem* slider = findItem(page, QStringLiteral("volumeSlider"));
            QVERIFY(slider);
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
            QCOMPARE(qRound(slider->property("value").toReal()), chosen);
        }
        QVERIFY2(screenshot(QStringLiteral("page_") + QString(name).remove(' ')), qPrintable(name));

        QVERIFY(click(QStringLiteral("backButton"), m_settings));
        QTRY_COMPARE_WITH_TIMEOUT(stack->property("depth").toInt(), 1, kWait);
        QTRY_VERIFY_WITH_TIMEOUT(page.isNull(), kWait);  // closing handlers have run
        QCOMPARE(title(), QStringLiteral("Settings"));

        if (name == QLatin1String("Diagnostics")) {
            QVERIFY(log.all().join('\n').contains(QLatin1String("Stopping Diagnostic check")));
        } else if (name == QLatin1String("Display")) {
            QTest::qWait(300);  // a request already on its way
            const int after = app.peer().count(displayGet);
            QTest::qWait(2500);
            QCOMPARE(app.peer().count(displayGet), after);
        }
    }

    // Logout from the header menu.
    QVERIFY(click(QStringLiteral("menuButton"), m_settings));
    QObject* menu = m_settings->findChild<QObject*>(QStringLiteral("headerMenu"));
    QVERIFY(menu);
    QTRY_VERIFY_WITH_TIMEOUT(menu->property("opened").toBool(), kWait);
    QQuickItem* logout = nullptr;
    QVERIFY(QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem*, logout),
                                      Q_ARG(int, 4)));
    QVERIFY(logout);
    QCOMPARE(logout->objectName(), QStringLiteral("logoutItem"));
    QTest::mouseClick(
        m_window, Qt::LeftButton, Qt::NoModifier,
        logout->mapToScene(QPointF(logout->width() / 2, logout->height() / 2)).toPoint());
    QTRY_COMPARE_WITH_TIMEOUT(app.gui().screen(), QStringLiteral("ScanScreens"), kWait);
    QVERIFY(!app.gui().session().sessionActive());
    QTRY_VERIFY_WITH_TIMEOUT(!m_settings->isVisible(), kWait);
}

QTEST_MAIN(TestTechnician)
#include "tst_technician.moc"
