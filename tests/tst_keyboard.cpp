#include <QGuiApplication>
#include <QProcess>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QTemporaryDir>
#include <QtPlugin>
#include <QtTest>

#include <qpa/qplatforminputcontext.h>

#include "FreeVirtualKeyboardPlugin.h"

Q_IMPORT_PLUGIN(FreeVirtualKeyboardPlugin)

// The on-screen keyboard as a page uses it: a text field and the InputPanel of
// QtQuick.FreeVirtualKeyboard, with the input method chosen by QT_IM_MODULE exactly as
// the program chooses it. Keys are pressed with the mouse on the real panel.

namespace {

const char* const kPage = R"(
import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.FreeVirtualKeyboard 1.0

Item {
    width: 480
    height: 800

    property int enterCount: 0
    property int acceptedCount: 0
    property int hiddenEnterCount: 0

    TextField {
        objectName: "field"
        width: 300
        height: 60
        onAccepted: acceptedCount++
    }
    TextField {
        objectName: "strictField"
        y: 100
        width: 300
        height: 60
        validator: RegExpValidator { regExp: /[0-9]{3}/ }
        onAccepted: acceptedCount++
    }
    InputPanel {
        objectName: "panel"
        width: parent.width
        y: active ? parent.height - height : parent.height
        onEnterPressed: enterCount++
    }
    // A second page, hidden, with its own keyboard panel, as the main window holds
    // every screen at once.
    Item {
        visible: false
        anchors.fill: parent

        InputPanel {
            objectName: "hiddenPanel"
            width: parent.width
            y: active ? parent.height - height : parent.height
            onEnterPressed: hiddenEnterCount++
        }
    }
}
)";

// Qt's key codes of the panel's function keys.
const int kShiftKey = Qt::Key_Shift;
const int kSymbolModeKey = Qt::Key_Context1;
const int kEnterKey = Qt::Key_Return;

}  // namespace

class TestKeyboard : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void inputMethodIsOursAndKeepsItsName();
    void pluginAnswersOnlyToItsOwnKey();
    void typesSerialNumberThroughKeys();
    void serialNumberStaysLatinInGreek();
    void typesDotsAndSlashes();
    void enterHidesPanelAndTellsPage();
    void enterHidesPanelAlsoOnRefusedText();
    void keysFillTheHeightThePageGives();
    void followsInterfaceLanguage();
    void unknownLanguageFallsBackToEnglish();
    void pageOpensWithoutInputMethod();

private:
    QList<QQuickItem*> keys() const;
    QQuickItem* findKey(int key, const QString& text = QString()) const;
    bool clickKey(int key, const QString& text = QString());
    bool typeText(const QString& text);
    QString fieldText() const;
    bool openPanel();

    QTemporaryDir m_dir;
    QScopedPointer<QQuickView> m_view;
    QQuickItem* m_field = nullptr;
    QQuickItem* m_panel = nullptr;
};

void TestKeyboard::initTestCase() {
    QVERIFY(m_dir.isValid());
    QFile page(m_dir.filePath(QStringLiteral("Page.qml")));
    QVERIFY(page.open(QIODevice::WriteOnly));
    page.write(kPage);
}

void TestKeyboard::init() {
    m_view.reset(new QQuickView);
    m_view->engine()->addImportPath(QStringLiteral("qrc:/"));
    m_view->setSource(QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("Page.qml"))));
    QVERIFY2(m_view->errors().isEmpty(), qPrintable(m_view->errors().value(0).toString()));
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.data()));
    m_field = m_view->rootObject()->findChild<QQuickItem*>(QStringLiteral("field"));
    m_panel = m_view->rootObject()->findChild<QQuickItem*>(QStringLiteral("panel"));
    QVERIFY(m_field);
    QVERIFY(m_panel);
}

void TestKeyboard::cleanup() {
    QGuiApplication::inputMethod()->hide();
    m_view.reset();
    m_field = nullptr;
    m_panel = nullptr;
}

QList<QQuickItem*> TestKeyboard::keys() const {
    // Every visible key of the current layout: items of the panel with a key code.
    QList<QQuickItem*> found;
    QList<QQuickItem*> pending{m_panel};
    while (!pending.isEmpty()) {
        QQuickItem* item = pending.takeFirst();
        if (!item->isVisible()) {
            continue;
        }
        if (item != m_panel && item->property("key").isValid() && item->width() > 0 &&
            item->height() > 0) {
            found << item;
        }
        pending << item->childItems();
    }
    return found;
}

QQuickItem* TestKeyboard::findKey(int key, const QString& text) const {
    const QList<QQuickItem*> all = keys();
    for (QQuickItem* item : all) {
        if (item->property("key").toInt() != key) {
            continue;
        }
        if (text.isEmpty() ||
            item->property("text").toString().compare(text, Qt::CaseInsensitive) == 0) {
            return item;
        }
    }
    return nullptr;
}

bool TestKeyboard::clickKey(int key, const QString& text) {
    QQuickItem* item = findKey(key, text);
    if (!item) {
        return false;
    }
    const QPoint centre =
        item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
    QTest::mouseClick(m_view.data(), Qt::LeftButton, Qt::NoModifier, centre);
    QCoreApplication::processEvents();
    return true;
}

bool TestKeyboard::typeText(const QString& text) {
    // Digits and punctuation live on the symbol layout, letters on the main one; the
    // symbol-mode key switches between the two, and the new layout loads on its own time.
    for (const QChar c : text) {
        const int code = c.toUpper().unicode();
        const QString keyText(c);
        if (!findKey(code, keyText)) {
            if (!clickKey(kSymbolModeKey) ||
                !QTest::qWaitFor([&] { return findKey(code, keyText) != nullptr; }, 2000)) {
                qWarning() << "no key for" << c;
                return false;
            }
        }
        // Letters: shift until the key types the wanted case.
        if (c.isLetter()) {
            auto uppercased = [&] {
                return findKey(code, keyText)->property("uppercased").toBool();
            };
            for (int i = 0; i < 3 && uppercased() != c.isUpper(); ++i) {
                const bool before = uppercased();
                clickKey(kShiftKey);
                (void)QTest::qWaitFor([&] { return uppercased() != before; }, 1000);
            }
            if (uppercased() != c.isUpper()) {
                qWarning() << "cannot shift for" << c;
                return false;
            }
        }
        if (!clickKey(code, keyText)) {
            return false;
        }
    }
    return true;
}

QString TestKeyboard::fieldText() const {
    return m_field->property("text").toString();
}

bool TestKeyboard::openPanel() {
    m_field->forceActiveFocus();
    QGuiApplication::inputMethod()->show();
    return QTest::qWaitFor(
        [this] { return m_panel->property("active").toBool() && !keys().isEmpty(); }, 5000);
}

void TestKeyboard::inputMethodIsOursAndKeepsItsName() {
    // The variable names our plug-in before and after the keyboard's context exists;
    // the platform found a context behind it that shows the panel.
    QCOMPARE(qgetenv("QT_IM_MODULE"), QByteArray("freevirtualkeyboard"));
    QVERIFY(m_panel->property("available").toBool());
    QVERIFY(!m_panel->property("active").toBool());
    QVERIFY(openPanel());
    QVERIFY(QGuiApplication::inputMethod()->isVisible());
    QCOMPARE(qgetenv("QT_IM_MODULE"), QByteArray("freevirtualkeyboard"));
    QVERIFY(!keys().isEmpty());
}

void TestKeyboard::pluginAnswersOnlyToItsOwnKey() {
    FreeVirtualKeyboardPlugin plugin;
    QCOMPARE(plugin.create(QStringLiteral("compose"), {}), nullptr);
    QCOMPARE(plugin.create(QString(), {}), nullptr);
    QCOMPARE(plugin.create(QStringLiteral("qtvirtualkeyboard"), {}), nullptr);
    QCOMPARE(qgetenv("QT_IM_MODULE"), QByteArray("freevirtualkeyboard"));

    // Its own key gives Qt Virtual Keyboard's context, and the variable is left as it
    // was, whatever it was.
    QScopedPointer<QPlatformInputContext> context(
        plugin.create(QStringLiteral("FreeVirtualKeyboard"), {}));
    QVERIFY(context);
    QVERIFY(context->isValid());
    QCOMPARE(qgetenv("QT_IM_MODULE"), QByteArray("freevirtualkeyboard"));
    context.reset();
    qputenv("QT_IM_MODULE", "other");
    context.reset(plugin.create(QStringLiteral("freevirtualkeyboard"), {}));
    QCOMPARE(qgetenv("QT_IM_MODULE"), QByteArray("other"));
    context.reset();
    qunsetenv("QT_IM_MODULE");
    context.reset(plugin.create(QStringLiteral("freevirtualkeyboard"), {}));
    QVERIFY(!qEnvironmentVariableIsSet("QT_IM_MODULE"));
    context.reset();
    qputenv("QT_IM_MODULE", "freevirtualkeyboard");
}

void TestKeyboard::typesSerialNumberThroughKeys() {
    QVERIFY(openPanel());
    QVERIFY(typeText(QStringLiteral("K12345678")));
    QTRY_COMPARE(fieldText(), QStringLiteral("K12345678"));
    QVERIFY(m_panel->property("active").toBool());
}

void TestKeyboard::serialNumberStaysLatinInGreek() {
    // The serial-number field asks for Latin letters: a Greek interface must still
    // type a Latin "K", not a Greek kappa that looks the same.
    m_panel->setProperty("language", QStringLiteral("el_GR"));
    m_field->setProperty("inputMethodHints", int(Qt::ImhLatinOnly | Qt::ImhNoPredictiveText));
    QVERIFY(openPanel());
    QVERIFY(typeText(QStringLiteral("K12345678")));
    QTRY_COMPARE(fieldText(), QStringLiteral("K12345678"));
    QCOMPARE(fieldText().at(0).unicode(), ushort('K'));
}

void TestKeyboard::typesDotsAndSlashes() {
    QVERIFY(openPanel());
    QVERIFY(typeText(QStringLiteral("10.0.2.1/24")));
    QTRY_COMPARE(fieldText(), QStringLiteral("10.0.2.1/24"));
}

void TestKeyboard::enterHidesPanelAndTellsPage() {
    QVERIFY(openPanel());
    QVERIFY(typeText(QStringLiteral("7")));
    QSignalSpy activeSpy(m_panel, SIGNAL(activeChanged()));
    QVERIFY(clickKey(kEnterKey));
    QTRY_VERIFY(!m_panel->property("active").toBool());
    QVERIFY(!QGuiApplication::inputMethod()->isVisible());
    QCOMPARE(activeSpy.count(), 1);
    QCOMPARE(m_view->rootObject()->property("enterCount").toInt(), 1);
    // The panel of a hidden page does not answer for the visible one.
    QCOMPARE(m_view->rootObject()->property("hiddenEnterCount").toInt(), 0);
    // The field still gets its own Enter, and keeps what was typed.
    QCOMPARE(m_view->rootObject()->property("acceptedCount").toInt(), 1);
    QCOMPARE(fieldText(), QStringLiteral("7"));

    // Shown again, the panel works as before.
    QVERIFY(openPanel());
    QVERIFY(typeText(QStringLiteral("8")));
    QTRY_COMPARE(fieldText(), QStringLiteral("78"));
}

void TestKeyboard::enterHidesPanelAlsoOnRefusedText() {
    // A field whose text is not yet acceptable ignores Enter; the panel still hides
    // and the page still hears of it.
    m_field = m_view->rootObject()->findChild<QQuickItem*>(QStringLiteral("strictField"));
    QVERIFY(m_field);
    QVERIFY(openPanel());
    QVERIFY(typeText(QStringLiteral("7")));
    QTRY_COMPARE(fieldText(), QStringLiteral("7"));
    QVERIFY(clickKey(kEnterKey));
    QTRY_VERIFY(!m_panel->property("active").toBool());
    QCOMPARE(m_view->rootObject()->property("enterCount").toInt(), 1);
    QCOMPARE(m_view->rootObject()->property("acceptedCount").toInt(), 0);
}

void TestKeyboard::keysFillTheHeightThePageGives() {
    QVERIFY(openPanel());
    const qreal naturalHeight = m_panel->height();
    QVERIFY(naturalHeight > 100 && naturalHeight < 250);
    auto keySpan = [this] {
        qreal top = 1e9;
        qreal bottom = -1e9;
        for (QQuickItem* key : keys()) {
            top = qMin(top, key->mapToItem(m_panel, QPointF(0, 0)).y());
            bottom = qMax(bottom, key->mapToItem(m_panel, QPointF(0, key->height())).y());
        }
        return bottom - top;
    };
    const qreal naturalSpan = keySpan();

    m_panel->setHeight(250);
    QTRY_COMPARE(m_panel->property("keyboard").value<QQuickItem*>()->height(), 250.0);
    QTRY_VERIFY(keySpan() > naturalSpan + 80);
    QVERIFY(keySpan() <= 250);
    // Still types, at the new key positions.
    QVERIFY(typeText(QStringLiteral("k1")));
    QTRY_COMPARE(fieldText(), QStringLiteral("k1"));
}

void TestKeyboard::followsInterfaceLanguage() {
    m_panel->setProperty("language", QStringLiteral("el_GR"));
    QVERIFY(openPanel());
    QTRY_VERIFY(findKey(0x3A3 /* Greek capital sigma */, QString::fromUtf8("σ")));
    QVERIFY(typeText(QString::fromUtf8("καλη")));
    QTRY_COMPARE(fieldText(), QString::fromUtf8("καλη"));

    m_panel->setProperty("language", QStringLiteral("en_IE"));
    QTRY_VERIFY(findKey(Qt::Key_Q, QStringLiteral("q")));
    QVERIFY(!findKey(0x3A3, QString::fromUtf8("σ")));
    QVERIFY(typeText(QStringLiteral("ok")));
    QTRY_COMPARE(fieldText(), QString::fromUtf8("καληok"));
}

void TestKeyboard::unknownLanguageFallsBackToEnglish() {
    for (const QString& language :
         {QStringLiteral(""), QStringLiteral("xx"), QStringLiteral("el")}) {
        m_panel->setProperty("language", language);
        QCOMPARE(m_panel->property("layoutLocale").toString(), language == QLatin1String("el")
                                                                   ? QStringLiteral("el_GR")
                                                                   : QStringLiteral("en_US"));
    }
    m_panel->setProperty("language", QStringLiteral("de_DE"));
    QVERIFY(openPanel());
    QTRY_VERIFY(findKey(Qt::Key_Q, QStringLiteral("q")));
}

void TestKeyboard::pageOpensWithoutInputMethod() {
    // The same page in a process whose QT_IM_MODULE does not name our input method.
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_IM_MODULE"));
    child.setProcessEnvironment(environment);
    child.start(
        QCoreApplication::applicationFilePath(),
        {QStringLiteral("--without-input-method"), m_dir.filePath(QStringLiteral("Page.qml"))});
    QVERIFY(child.waitForFinished(60000));
    const QByteArray output = child.readAllStandardOutput() + child.readAllStandardError();
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QVERIFY2(child.exitCode() == 0, output.constData());
    QVERIFY2(output.contains("[Keyboard] WARN: on-screen keyboard not available"),
             output.constData());
}

// The child of pageOpensWithoutInputMethod: loads the page given and exits 0 when it
// opened with an inactive, unavailable panel.
static int openPageWithoutInputMethod(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QQuickView view;
    view.engine()->addImportPath(QStringLiteral("qrc:/"));
    view.setSource(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[2])));
    if (!view.errors().isEmpty() || !view.rootObject()) {
        return 2;
    }
    view.show();
    QQuickItem* panel = view.rootObject()->findChild<QQuickItem*>(QStringLiteral("panel"));
    QQuickItem* field = view.rootObject()->findChild<QQuickItem*>(QStringLiteral("field"));
    if (!panel || !field) {
        return 3;
    }
    field->forceActiveFocus();
    QGuiApplication::inputMethod()->show();
    QTest::qWait(200);
    const bool ok = !panel->property("available").toBool() && !panel->property("active").toBool() &&
                    panel->property("keyboard").value<QQuickItem*>() == nullptr;
    return ok ? 0 : 4;
}

int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], "--without-input-method") == 0) {
        return openPageWithoutInputMethod(argc, argv);
    }
    // As the program does it: the variable is set before the application exists.
    qputenv("QT_IM_MODULE", "freevirtualkeyboard");
    QGuiApplication app(argc, argv);
    TestKeyboard test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_keyboard.moc"
