// Qt Quick Test runner for the QML controls, screens and helpers in tests/qml/.
// Each test file's engine gets a fake GUI manager and the other context objects
// the screens read, and the product's compiled resource bundle (qrc:/qml/...);
// the on-screen keyboard's input method is ours, as in the program.
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QtPlugin>
#include <QtQuickTest>

#include "FakeManager.h"
#include "FreeVirtualKeyboardPlugin.h"
#include "TintedIconProvider.h"

Q_IMPORT_PLUGIN(FreeVirtualKeyboardPlugin)

class Setup : public QObject {
    Q_OBJECT

public slots:
    void applicationAvailable() {
        QCoreApplication::setApplicationVersion(QStringLiteral("0.0.0-test"));
        QQuickStyle::setStyle(QStringLiteral("Material"));
    }

    void qmlEngineAvailable(QQmlEngine* engine) {
        // The keyboard module QtQuick.FreeVirtualKeyboard lives in the bundle.
        engine->addImportPath(QStringLiteral("qrc:/"));
        TintedIconProvider::install(*engine);
        new FakeManager(engine->rootContext(), engine);
    }
};

QUICK_TEST_MAIN_WITH_SETUP(qml, Setup)

#include "tst_qml.moc"
