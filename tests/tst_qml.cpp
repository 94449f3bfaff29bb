// Qt Quick Test runner for the QML controls, screens and helpers in tests/qml/.
// Each test file's engine gets the real GUI manager and the service managers it owns
// under the context names the screens read (the managers have no broker to talk to),
// the product's compiled resource bundle (qrc:/qml/...) and our keyboard's input method.
#include <QQmlContext>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QtPlugin>
#include <QtQuickTest>
#include <memory>

#include "GUIManager.h"
#include "TintedIconProvider.h"

Q_IMPORT_PLUGIN(FreeVirtualKeyboardPlugin)

// Reached from the tests as "harness": what the services would otherwise bring.
class Setup : public QObject {
    Q_OBJECT

public:
    // The result record the result screens show, as the manager hands it on.
    Q_INVOKABLE void setTransaction(const QVariantMap& transaction) {
        m_engine->rootContext()->setContextProperty(QStringLiteral("transaction"), transaction);
    }

public slots:
    void applicationAvailable() {
        QCoreApplication::setApplicationVersion(QStringLiteral("0.0.0-test"));
        m_config = std::make_unique<Config>(m_dir.filePath(QStringLiteral("gui.conf")),
                                            GUIManager::Defaults, nullptr);
        m_config->addOverrides({{QStringLiteral("mqtt/host"), QStringLiteral("127.0.0.1")},
                                {QStringLiteral("mqtt/port"), 9},
                                {QStringLiteral("log/syslog"), false},
                                {QStringLiteral("gui/deviceId"), m_dir.filePath("serialnumber")}});
        m_gui =
            std::make_unique<GUIManager>(*m_config, m_dir.filePath(QStringLiteral("events.ini")));
    }
    void qmlEngineAvailable(QQmlEngine* engine) {
        m_engine = engine;
        // The keyboard module QtQuick.FreeVirtualKeyboard lives in the bundle.
        engine->addImportPath(QStringLiteral("qrc:/"));
        TintedIconProvider::install(*engine);
        QQmlContext* context = engine->rootContext();
        context->setContextProperty(QStringLiteral("harness"), this);
        for (const char* name : {"manager", "board", "inspector", "validatorManager", "session"}) {
            context->setContextProperty(name, m_gui->engine().rootContext()->contextProperty(name));
        }
        setTransaction(m_gui->engine().rootContext()->contextProperty("transaction").toMap());
    }
    void cleanupTestCase() { m_gui.reset(); }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Config> m_config;
    std::unique_ptr<GUIManager> m_gui;
    QQmlEngine* m_engine = nullptr;
};

QUICK_TEST_MAIN_WITH_SETUP(qml, Setup)

#include "tst_qml.moc"
