// The UI as a service on the broker: its info, status and configuration topics and
// the live configuration.
#include <sys/mount.h>

#include <QProcess>
#include <QQmlComponent>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

#include "AppFixture.h"
#include "LogCapture.h"
#include "support/Window.h"

namespace {

// A small file system of its own for the configuration, to fill up or make read-only
// (as root, a folder's mode does not stop a write). Mounting needs root, as in CI.
struct ConfigMount {
    ConfigMount() { mounted = ::mount("tmpfs", path, "tmpfs", 0, "size=256k") == 0; }
    ~ConfigMount() {
        if (mounted) {
            ::umount2(path, MNT_DETACH);
        }
    }
    bool fill() const {
        QFile filler(dir.filePath("filler"));
        return filler.open(QIODevice::WriteOnly) &&
               filler.write(QByteArray(1 << 20, 'x')) < (1 << 20);
    }
    bool makeReadOnly() const {
        return ::mount(nullptr, path, nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    const char* path = folder.constData();
    bool mounted = false;
};

}  // namespace

class TestUiMqtt : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QCoreApplication::setApplicationName(QStringLiteral("Quellan"));
        QCoreApplication::setApplicationVersion(QStringLiteral("1.0.18-1-g376f268"));
    }

    // Requests that are not an object of groups change nothing; a good one after them (a
    // text value, as the UI publishes it after an outside edit of the file) is stored,
    // applied and published again, never with the broker password. At debug level the log
    // shows neither secret, though the PIN's name is spelled with an escape.
    void configSetAppliedAndRepublished() {
        AppFixture app({{QStringLiteral("mqtt/password"), QStringLiteral("s3cr3t-pass")},
                        {QStringLiteral("log/level"), 3}});
        QVERIFY(app.ready());
        LogCapture log;
        QSignalSpy changed(&app.config(), &Config::configChanged);
        for (const char* bad : {"not json", "[1]", "{\"gui\": 5}", "{\"gui\": {\"no\": 1}}"}) {
            app.peer().publish(QStringLiteral("zorv/ui/config/set"), bad);
        }
        app.peer().clear();
        app.peer().publish(
            QStringLiteral("zorv/ui/config/set"),
            R"({"gui": {"displayOffMin": "7", "settings\u0050in": "4711"}, "mqtt": {"password": "x-pass"}})");
        QTRY_COMPARE(app.gui().displayOffMin(), 7);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(app.config().toJson()["mqtt"].toObject()["password"], QJsonValue("x-pass"));
        QCOMPARE(app.config().get("gui/settingsPin"), QVariant("4711"));
        QVERIFY(log.contains("Data : ") && log.contains("Received on topic: zorv/ui/config/set"));
        QCOMPARE(log.count("4711") + log.count("x-pass"), 0);
        QTRY_VERIFY(!app.requests(QStringLiteral("zorv/ui/config")).isEmpty());
        QVERIFY(app.requests(QStringLiteral("zorv/ui/config")).first().contains("\"7\""));
        for (const Peer::Message& m : app.peer().messages()) {
            if (m.topic != QLatin1String("zorv/ui/config/set")) {
                QVERIFY2(!m.payload.contains("-pass") && !m.payload.contains("\"password\""),
                         qPrintable(m.topic));
            }
        }
    }

    void baseTopicChangeMovesEverything() {
        AppFixture app;
        QVERIFY(app.ready());
        app.peer().clear();
        app.publish(QStringLiteral("zorv/ui/config/set"),
                    AppFixture::object(R"({"mqtt": {"base": "fleet/bus7/ui"}})"));
        QTRY_COMPARE(app.requests(QStringLiteral("fleet/bus7/ui/config")).size(), 1);
        // Each request there is answered once, whatever its payload.
        app.peer().clear();
        app.peer().publish(QStringLiteral("fleet/bus7/ui/status/get"), "");
        app.peer().publish(QStringLiteral("fleet/bus7/ui/info/get"), "garbage");
        app.peer().publish(QStringLiteral("fleet/bus7/ui/config/get"), "{}");
        QTRY_COMPARE(app.requests(QStringLiteral("fleet/bus7/ui/config")).size(), 1);
        QTest::qWait(200);
        QCOMPARE(app.requests(QStringLiteral("fleet/bus7/ui/status")).size(), 1);
        QCOMPARE(app.requests(QStringLiteral("fleet/bus7/ui/info")),
                 QList<QByteArray>{"{\n    \"version\": \"1.0.18-1-g376f268\"\n}\n"});
        QCOMPARE(app.gui().findChild<manager::MqttClient*>()->transport()->willTopic(),
                 QStringLiteral("fleet/bus7/ui/status"));
        // A later monitor hears the UI only at its new place (retained: in subscription order).
        Peer late;
        QVERIFY(late.connect(app.broker().host(), app.broker().port()));
        QVERIFY(late.subscribe(QStringLiteral("zorv/ui/status")));
        QVERIFY(late.subscribe(QStringLiteral("fleet/bus7/ui/status")));
        QTRY_COMPARE(late.count(QStringLiteral("fleet/bus7/ui/status")), 1);
        QCOMPARE(late.count(QStringLiteral("zorv/ui/status")), 0);
    }

    // The program is killed (its last will {"service": false} stays retained at the broker)
    // and started again: a peer that subscribes afterwards must hear that the UI is up.
    void lateSubscriberHearsTheRunningUiAfterACrash() {
        Broker broker;
        QVERIFY(broker.start());
        Peer watcher;
        QVERIFY(watcher.connect(broker.host(), broker.port()));
        QVERIFY(watcher.subscribe(QStringLiteral("zorv/ui/status")));
        const auto lastService = [&watcher] {
            const QList<Peer::Message> all = watcher.messages(QStringLiteral("zorv/ui/status"));
            return all.isEmpty()
                       ? QVariant()
                       : AppFixture::object(all.last().payload).value("service").toVariant();
        };
        QTemporaryDir dir;
        QProcess program;
        program.setWorkingDirectory(dir.path());
        const QStringList args{"-H", broker.host(), "-P", QString::number(broker.port())};
        for (int run = 0; run < 2; ++run) {
            program.start(QStringLiteral(QUELLAN_BINARY), args);
            QVERIFY(program.waitForStarted());
            QTRY_COMPARE_WITH_TIMEOUT(lastService(), QVariant(true), 2 * kAppWait);
            if (run == 0) {
                ::kill(static_cast<pid_t>(program.processId()), SIGKILL);
                QVERIFY(program.waitForFinished());
                QTRY_COMPARE(lastService(), QVariant(false));
            }
        }
        Peer late;
        QVERIFY(late.connect(broker.host(), broker.port()));
        QVERIFY(late.subscribe(QStringLiteral("zorv/ui/status")));
        QTRY_VERIFY(late.count(QStringLiteral("zorv/ui/status")) > 0);
        const Peer::Message first = late.messages(QStringLiteral("zorv/ui/status")).first();
        QVERIFY(first.retained);
        QCOMPARE(first.payload,
                 QByteArray("{\n    \"service\": true,\n    \"settingsLocked\": false,\n"
                            "    \"technician\": false\n}\n"));
        program.kill();
        program.waitForFinished();
    }

    // The fifth wrong PIN locks the settings: the depot hears it in the status, once when
    // the wait starts and once when it ends, and the event log records the count.
    void settingsLockReported() {
        qint64 now = 1000000;
        AppFixture app({}, true, QString(), {[&now] { return now; }, QStringLiteral("boot")});
        QVERIFY(app.ready());
        app.peer().clear();
        const auto locked = [&app] {
            const QList<QByteArray> all = app.requests(QStringLiteral("zorv/ui/status"));
            return all.isEmpty()
                       ? QVariant()
                       : AppFixture::object(all.last()).value("settingsLocked").toVariant();
        };
        for (int i = 0; i < 5; ++i) {
            app.gui().settingsLoginRequest(QStringLiteral("0000"));
        }
        QTRY_COMPARE(locked(), QVariant(true));
        QStringList locks;
        for (const QObject* event :
             app.part<EventManager>("eventLogManager").data().value<QList<QObject*>>()) {
            if (event->property("name") == QStringLiteral("Settings locked")) {
                locks << event->property("description").toString().section('\n', 0, 1);
            }
        }
        QCOMPARE(locks, QStringList{"Wrong PINs : 5\nWait : 30 s"});
        now += 30000;
        app.part<SessionManager>("session").findChild<QTimer*>("lockTimer")->start(0);
        QTRY_COMPARE(locked(), QVariant(false));
        QCOMPARE(app.requests(QStringLiteral("zorv/ui/status")).size(), 2);
    }

    void unsavedChangeIsNotAcknowledged_data() {
        QTest::addColumn<bool>("full");
        QTest::addColumn<bool>("fromPage");
        QTest::newRow("full disk, /config/set") << true << false;
        QTest::newRow("full disk, Display page") << true << true;
        QTest::newRow("read-only, /config/set") << false << false;
        QTest::newRow("read-only, Display page") << false << true;
    }

    // A change the file cannot take is never confirmed: "/config" shows only the stored
    // value, memory keeps it, the error is logged and kept in the event log, and the page
    // that asked is told and shows the stored value again.
    void unsavedChangeIsNotAcknowledged() {
        QFETCH(bool, full);
        QFETCH(bool, fromPage);
        const ConfigMount mount;
        if (!mount.mounted) {
            QSKIP("mounting a tmpfs is not permitted here (needs root)");
        }
        AppFixture app({}, true, mount.dir.path());
        QVERIFY(app.ready());
        app.gui().load();
        auto* window = qobject_cast<QQuickWindow*>(app.gui().engine().rootObjects().value(0));
        QQmlComponent component(&app.gui().engine(), QUrl("qrc:/qml/screens/settings/Display.qml"));
        std::unique_ptr<QObject> page(component.create());
        auto* item = qobject_cast<QQuickItem*>(page.get());
        QVERIFY(window && item);
        item->setParentItem(window->contentItem());
        item->setSize(window->size());
        QQuickItem* cursorSwitch = findItem(item, "cursorSwitch");
        QVERIFY(cursorSwitch && cursorSwitch->property("checked").toBool());
        QVERIFY(full ? mount.fill() : mount.makeReadOnly());
        LogCapture log;
        app.peer().clear();
        if (fromPage) {
            tap(window, cursorSwitch);
        } else {
            app.publish("zorv/ui/config/set",
                        AppFixture::object(R"({"gui": {"showCursor": false}})"));
        }
        QTRY_COMPARE(app.requests("zorv/ui/config").size(), 1);
        const auto shown = [](const QJsonObject& config) {
            return config["gui"].toObject()["showCursor"].toVariant().toBool();
        };
        QVERIFY(shown(AppFixture::object(app.requests("zorv/ui/config").first())));
        QVERIFY(app.gui().showCursor() && cursorSwitch->property("checked").toBool());
        QCOMPARE(log.lines(QtCriticalMsg).filter("ERROR: Could not write config file").size(), 1);
        const auto events =
            app.part<EventManager>("eventLogManager").data().value<QList<QObject*>>();
        QVERIFY(!events.isEmpty() && events.first()->property("name") == "Configuration not saved");
        // The popup is made with the first error it shows.
        QObject* popup = window->findChild<QObject*>("errorPopup");
        QCOMPARE(popup && popup->property("visible").toBool(), fromPage);
        QVERIFY(!fromPage ||
                popup->property("text") == qApp->translate("GUIManager", "Setting not saved"));
    }
};

QTEST_MAIN(TestUiMqtt)
#include "tst_uimqtt.moc"
