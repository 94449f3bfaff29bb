// The technician's way through the real GUI manager and QML bundle, the services played
// by the simulator on a real broker: the clock gesture and PIN open the settings, every
// page opens from the menu (a solid pane, no QML warnings) and its requests reach the
// services, and a session that ends with a reader test or "Scan Config QR" open leaves
// the readers on. Pictures of every page and popup go to
// build/screenshots/<renderer>/settings.
#include <QPointer>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtPlugin>
#include <QtTest>

#include "AppFixture.h"
#include "Inspector.h"
#include "LogCapture.h"
#include "support/Program.h"
#include "support/Window.h"

Q_IMPORT_PLUGIN(FreeVirtualKeyboardPlugin)

namespace {

constexpr int kWait = 15000;  // generous: the machine may be busy with other builds

QQuickItem* popupContent(QObject* popup) {
    return popup ? popup->property("contentItem").value<QQuickItem*>() : nullptr;
}

int keyIndex(QChar digit) {
    // Phone layout: 1 to 9 on the first three rows, 0 in the middle of the last.
    return digit == QLatin1Char('0') ? 10 : digit.digitValue() - 1;
}

}  // namespace

class TestTechnician : public QObject {
    Q_OBJECT

private slots:
    void technicianWalksThroughTheSettings() {
        AppFixture app({{"gui/locale", "en_IE"}});
        QVERIFY(app.ready());
        LogCapture log;
        app.gui().load();
        m_window = qobject_cast<QQuickWindow*>(app.gui().engine().rootObjects().value(0));
        QVERIFY(m_window);
        m_login = findItem(m_window->contentItem(), "screen_Login");
        m_settings = findItem(m_window->contentItem(), "screen_Settings");
        QVERIFY(m_login && m_settings);

        // The device services: the simulator, with the vehicle running and the validator
        // in service.
        Program devsim;
        QVERIFY(
            devsim.start(QStringLiteral(QUELLAN_DEVSIM_BINARY),
                         {"-H", app.broker().host(), "-P", QString::number(app.broker().port())}));
        devsim.process.write("ignition on\nstatus online\n");
        QTRY_COMPARE_WITH_TIMEOUT(app.gui().screen(), QStringLiteral("ScanScreens"), kWait);
        QTRY_COMPARE_WITH_TIMEOUT(app.part<manager::Inspector>("inspector").audioVolume(), 40,
                                  kWait);

        // A passenger never opens the technician's screens, nor a commissioned device its
        // first start's: their controls are made when first shown.
        QVERIFY(!findItem(m_login, "numberPad") && !findItem(m_settings, "settingsStack"));
        QQuickItem* firstStart = findItem(m_window->contentItem(), "screen_InitPage");
        QVERIFY(firstStart && !findItem(firstStart, "serialField"));
        QVERIFY(logIn(app, true));
        QVERIFY(screenshot("Settings", app));

        QQuickItem* stack = findItem(m_settings, "settingsStack");
        QVERIFY(stack);
        // The diagnostics report goes to the working directory, the program's folder.
        const auto back = qScopeGuard([home = QDir::currentPath()] { QDir::setCurrent(home); });
        QVERIFY(QDir::setCurrent(app.path(QString())));
        const QStringList titles = {"Validator", "Diagnostics", "Region", "Audio",
                                    "Display",   "Network",     "Update", "Event Log"};
        const QString displayGet = "zorv/board/display/get";
        const QString statusGet = "zorv/board/status/get";
        const QString ntpStatusGet = "zorv/device/clock/ntp/status/get";
        for (int row = 0; row < titles.size(); ++row) {
            const QString& name = titles.at(row);
            const QString shot = "page_" + QString(name).remove(' ');
            const int displayBefore = app.peer().count(displayGet);
            const int statusBefore = app.peer().count(statusGet);
            const int ntpBefore = app.peer().count(ntpStatusGet);

            QVERIFY2(click(QStringLiteral("menuRow%1").arg(row), m_settings), qPrintable(name));
            QTRY_COMPARE_WITH_TIMEOUT(stack->property("depth").toInt(), 2, kWait);
            QTRY_VERIFY_WITH_TIMEOUT(!stack->property("busy").toBool(), kWait);
            QCOMPARE(findItem(m_settings, "headerTitle")->property("text").toString(), name);
            QPointer<QQuickItem> page = stack->property("currentItem").value<QQuickItem*>();
            QVERIFY(page);
            // Every page alike: a pane on the solid background, not the passenger picture.
            QVERIFY2(page->inherits("QQuickPane"), qPrintable(name));
            auto* background = page->property("background").value<QQuickItem*>();
            QVERIFY2(background && background->property("color").value<QColor>().alpha() == 255,
                     qPrintable(name));

            if (name == QLatin1String("Validator")) {
                // The simulated reader's secure access module, as the page reads it.
                const auto sam = [&page] { return page->property("sam").value<QObject*>(); };
                QTRY_VERIFY_WITH_TIMEOUT(sam(), kWait);
                QCOMPARE(sam()->property("uid").toString(), QStringLiteral("0412AB34CD56EF"));
            } else if (name == QLatin1String("Event Log")) {
                // The content column of every page: 80 % of its width.
                QCOMPARE(findItem(page, QStringLiteral("eventList"))->width(), page->width() * 0.8);
            } else if (name == QLatin1String("Region")) {
                QTRY_VERIFY_WITH_TIMEOUT(app.peer().count(ntpStatusGet) > ntpBefore, kWait);
            } else if (name == QLatin1String("Display")) {
                // Monitored every second while the page is open.
                QTRY_VERIFY_WITH_TIMEOUT(app.peer().count(displayGet) >= displayBefore + 2, kWait);
                QVERIFY(app.peer().count(statusGet) >= statusBefore + 2);
            } else if (name == QLatin1String("Audio")) {
                // A tap three quarters along the slider sets the volume there; the
                // inspector service stores it and reports it back (the request's payload
                // is the inspector manager's suite's).
                QQuickItem* slider = findItem(page, "volumeSlider");
                QVERIFY(slider);
                QTRY_COMPARE_WITH_TIMEOUT(slider->property("value").toInt(), 40, kWait);
                const qreal x = slider->property("leftPadding").toReal() +
                                slider->property("availableWidth").toReal() * 0.75;
                QTest::mouseClick(m_window, Qt::LeftButton, Qt::NoModifier,
                                  slider->mapToScene(QPointF(x, slider->height() / 2)).toPoint());
                const int chosen = qRound(slider->property("value").toReal());
                QVERIFY2(chosen > 60 && chosen < 90, qPrintable(QString::number(chosen)));
                QTRY_COMPARE_WITH_TIMEOUT(app.part<manager::Inspector>("inspector").audioVolume(),
                                          chosen, kWait);
            }
            QVERIFY2(screenshot(shot, app), qPrintable(name));
            if (name == QLatin1String("Display")) {  // and its drop-down list, open
                QObject* list = findItem(page, "modeBox")->property("popup").value<QObject*>();
                QVERIFY(list && click("modeBox", page));
                QTRY_VERIFY_WITH_TIMEOUT(list->property("opened").toBool(), kWait);
                QVERIFY(screenshot(shot + "_list", app));
                QVERIFY(QMetaObject::invokeMethod(list, "close"));
            }

            if (name == QLatin1String("Diagnostics")) {
                // Its popups for the gallery: a question, the colour test, the report.
                QObject* test = page->findChild<QObject*>("testPopup");
                QObject* rgb = page->findChild<QObject*>("rgbPopup");
                QObject* report = page->findChild<QObject*>("reportPopup");
                QVERIFY(test && rgb && report);
                QVERIFY(click("testButton_Buzzer", page));
                QTRY_VERIFY_WITH_TIMEOUT(test->property("opened").toBool(), kWait);
                QVERIFY(screenshot(shot + "_buzzer", app));
                QVERIFY(click("noButton", popupContent(test)));
                QTRY_VERIFY_WITH_TIMEOUT(!test->property("visible").toBool(), kWait);
                QVERIFY(click("testButton_RGB", page));
                QTRY_VERIFY_WITH_TIMEOUT(rgb->property("opened").toBool(), kWait);
                QVERIFY(screenshot(shot + "_rgb", app));
                for (int tap = 0; tap < 3; ++tap) {
                    QVERIFY(click("rgbArea", popupContent(rgb)));
                }
                QTRY_VERIFY_WITH_TIMEOUT(test->property("opened").toBool(), kWait);
                QVERIFY(click("yesButton", popupContent(test)));
                QTRY_VERIFY_WITH_TIMEOUT(!test->property("visible").toBool(), kWait);
                QVERIFY(click("testButton_FINISH", page));
                QTRY_VERIFY_WITH_TIMEOUT(report->property("opened").toBool(), kWait);
                QVERIFY(screenshot(shot + "_report", app));
                // Closing the saved report leaves the page.
                QVERIFY(click("popupArea", popupContent(report)));
            } else {
                QVERIFY(click("backButton", m_settings));
            }
            QTRY_COMPARE_WITH_TIMEOUT(stack->property("depth").toInt(), 1, kWait);
            QTRY_VERIFY_WITH_TIMEOUT(page.isNull(), kWait);  // closing handlers have run
            const QStringList warnings = log.qmlWarnings();
            QVERIFY2(warnings.isEmpty(), qPrintable(name + ": " + warnings.join('\n')));
            if (name == QLatin1String("Display")) {
                QTest::qWait(1000);  // a request already on its way
                const int after = app.peer().count(displayGet);
                QTest::qWait(2500);
                QCOMPARE(app.peer().count(displayGet), after);
            }
        }

        // The header menu: every item can be seen, no keyboard over it. "Reboot" asks first.
        QObject* menu = m_settings->findChild<QObject*>("headerMenu");
        QObject* confirm = m_settings->findChild<QObject*>("confirmDialog");
        QObject* configPopup = m_settings->findChild<QObject*>("configPopup");
        QVERIFY(menu && confirm && configPopup);
        QVERIFY(tapMenuItem(2));
        QTRY_VERIFY_WITH_TIMEOUT(confirm->property("opened").toBool(), kWait);
        QCOMPARE(visibleKeyboards(m_window->contentItem()), 0);
        QVERIFY(screenshot("menu_reboot", app));
        QVERIFY(click("noButton", popupContent(confirm)));
        QTRY_VERIFY_WITH_TIMEOUT(!confirm->property("visible").toBool(), kWait);
        QVERIFY(click("menuButton", m_settings));
        QTRY_VERIFY_WITH_TIMEOUT(menu->property("opened").toBool(), kWait);
        QCOMPARE(visibleKeyboards(m_window->contentItem()), 0);
        QVERIFY(screenshot("menu", app));
        QVERIFY(QMetaObject::invokeMethod(menu, "close"));
        QTRY_VERIFY_WITH_TIMEOUT(!menu->property("visible").toBool(), kWait);

        // The session ends while "Scan Config QR" has the barcode reader on, then while the
        // card reader's test has it on: the passenger screen keeps both readers on.
        for (const char* disable : {"zorv/barcode/disable", "zorv/rfid/disable"}) {
            if (!app.part<SessionManager>("session").sessionActive()) {
                QVERIFY(logIn(app));
            }
            if (QByteArray(disable).contains("barcode")) {
                QVERIFY(tapMenuItem(0));
                QTRY_VERIFY_WITH_TIMEOUT(configPopup->property("opened").toBool(), kWait);
                QVERIFY(screenshot("menu_scanConfig", app));
            } else {
                QVERIFY(click("menuRow1", m_settings));
                QTRY_VERIFY_WITH_TIMEOUT(!stack->property("busy").toBool(), kWait);
                QQuickItem* page = stack->property("currentItem").value<QQuickItem*>();
                QVERIFY(page && click("testButton_RFID", page));
                QObject* test = page->findChild<QObject*>("testPopup");
                QTRY_VERIFY_WITH_TIMEOUT(test->property("opened").toBool(), kWait);
                QVERIFY(screenshot("page_Diagnostics_rfid", app));
            }
            app.peer().clear();
            app.gui().settingsLogoutRequest();
            QTRY_VERIFY_WITH_TIMEOUT(!m_settings->isVisible(), kWait);
            QTest::qWait(1000);  // closing handlers and the services' answers
            QCOMPARE(app.peer().count(QString::fromLatin1(disable)), 0);
            QVERIFY(app.part<manager::Validator>("validatorManager").barcode()->enabled());
            QVERIFY(app.part<manager::Validator>("validatorManager").rfid()->enabled());
        }
    }

private:
    bool click(const QString& name, QQuickItem* within = nullptr) {
        QQuickItem* item = findItem(within ? within : m_window->contentItem(), name);
        if (!item || !item->isVisible() || !item->isEnabled()) {
            qWarning() << "cannot tap" << name;
            return false;
        }
        tap(m_window, item);
        return true;
    }
    bool typePin(const QString& pin) {
        for (const QChar digit : pin) {
            if (!click(QStringLiteral("key%1").arg(keyIndex(digit)), m_login)) {
                return false;
            }
        }
        return click("loginButton", m_login);
    }
    // Three quick taps on the header clock and the technician's PIN.
    bool logIn(AppFixture& app, bool picture = false) {
        QQuickItem* header = findItem(m_window->contentItem(), "header");
        for (int tap = 0; tap < 3; ++tap) {
            if (!click("headerClock", header)) {
                return false;
            }
        }
        if (!waitUntil([&] { return m_login->isVisible(); }, kWait) ||
            (picture && !screenshot("Login", app, "Login")) || !typePin("8602")) {
            return false;
        }
        return waitUntil([&] { return m_settings->isVisible(); }, kWait);
    }
    // Opens the header menu and taps its item at index through the window.
    bool tapMenuItem(int index) {
        QObject* menu = m_settings->findChild<QObject*>("headerMenu");
        if (!menu || !click("menuButton", m_settings) ||
            !waitUntil([menu] { return menu->property("opened").toBool(); }, kWait)) {
            return false;
        }
        QQuickItem* item = nullptr;
        QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem*, item),
                                  Q_ARG(int, index));
        if (item && item->isVisible()) {
            tap(m_window, item);
        }
        return item && item->isVisible();
    }
    // The whole window, popups included, while the GUI manager names the screen.
    bool screenshot(const QString& name, AppFixture& app, const QString& screen = "Settings") {
        QTest::qWait(300);  // popups' opening transitions
        const QImage image = windowShot(m_window);
        if (image.isNull() || app.gui().screen() != screen) {
            qWarning() << "picture" << name << "shows" << app.gui().screen();
            return false;
        }
        const QString folder = galleryFolder(m_window, "settings");
        return !folder.isEmpty() && image.save(QString("%1/%2_%3.png")
                                                   .arg(folder)
                                                   .arg(m_shots++, 2, 10, QLatin1Char('0'))
                                                   .arg(name));
    }

    QQuickWindow* m_window = nullptr;
    QQuickItem* m_login = nullptr;
    QQuickItem* m_settings = nullptr;
    int m_shots = 0;
};

QTEST_MAIN(TestTechnician)
#include "tst_technician.moc"
