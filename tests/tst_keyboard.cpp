// The on-screen keyboard as a page uses it: a text field and the InputPanel of
// QtQuick.FreeVirtualKeyboard, with the input method chosen by QT_IM_MODULE exactly as
// the program chooses it. Keys are pressed with the mouse on the real panel.
#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QtPlugin>
#include <QtTest>

Q_IMPORT_PLUGIN(FreeVirtualKeyboardPlugin)

namespace {
// A page with a field, its panel, and a hidden page's panel, as the main window
// holds every screen at once.
const char* const kPage = R"(
import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.FreeVirtualKeyboard 1.0
Item {
    property int enterCount: 0
    property int acceptedCount: 0
    width: 480
    height: 800
    TextField {
        objectName: "field"
        width: 300
        onAccepted: acceptedCount++
    }
    InputPanel {
        objectName: "panel"
        width: parent.width
        onEnterPressed: enterCount++
    }
    Item {
        visible: false
        InputPanel {
            onEnterPressed: enterCount += 100
        }
    }
}
)";
}  // namespace

class TestKeyboard : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QFile page(m_dir.filePath(QStringLiteral("Page.qml")));
        QVERIFY(page.open(QIODevice::WriteOnly) && page.write(kPage) > 0);
        page.close();
        m_view.reset(new QQuickView);
        m_view->engine()->addImportPath(QStringLiteral("qrc:/"));
        m_view->setSource(QUrl::fromLocalFile(page.fileName()));
        QVERIFY2(m_view->errors().isEmpty(), qPrintable(m_view->errors().value(0).toString()));
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.data()));
        m_field = m_view->rootObject()->findChild<QQuickItem*>(QStringLiteral("field"));
        m_panel = m_view->rootObject()->findChild<QQuickItem*>(QStringLiteral("panel"));
    }
    void cleanup() {
        QGuiApplication::inputMethod()->hide();
        m_view.reset();
    }
    void typesThroughTheKeys_data();
    void typesThroughTheKeys();
    void enterHidesPanelAndTellsPage();

private:
    // A visible key of the current layout with this code and, if given, this text.
    QQuickItem* findKey(int key, const QString& text = QString()) const {
        QList<QQuickItem*> pending{m_panel};
        while (!pending.isEmpty()) {
            QQuickItem* item = pending.takeFirst();
            if (!item->isVisible()) {
                continue;
            }
            if (item->property("key").toInt() == key && item->width() > 0 &&
                (text.isEmpty() ||
                 item->property("text").toString().compare(text, Qt::CaseInsensitive) == 0)) {
                return item;
            }
            pending << item->childItems();
        }
        return nullptr;
    }
    bool clickKey(int key, const QString& text = QString()) {
        QQuickItem* item = findKey(key, text);
        if (item) {
            const QPointF centre(item->width() / 2, item->height() / 2);
            QTest::mouseClick(m_view.data(), Qt::LeftButton, Qt::NoModifier,
                              item->mapToScene(centre).toPoint());
        }
        return item != nullptr;
    }
    // Digits and punctuation live on the symbol layout, letters on the main one; the
    // symbol-mode key switches between the two. Letters are shifted to their case.
    bool typeText(const QString& text) {
        for (const QChar c : text) {
            const int code = c.toUpper().unicode();
            if (!findKey(code, c) && (!clickKey(Qt::Key_Context1) ||
                                      !QTest::qWaitFor([&] { return findKey(code, c); }, 2000))) {
                return false;
            }
            for (int i = 0; c.isLetter() && i < 3 &&
                            findKey(code, c)->property("uppercased").toBool() != c.isUpper();
                 ++i) {
                clickKey(Qt::Key_Shift);
                QTest::qWait(50);
            }
            if (!clickKey(code, c)) {
                return false;
            }
        }
        return true;
    }
    bool openPanel() {
        m_field->forceActiveFocus();
        QGuiApplication::inputMethod()->show();
        return QTest::qWaitFor([this] { return findKey(Qt::Key_Return) != nullptr; }, 5000);
    }

    QTemporaryDir m_dir;
    QScopedPointer<QQuickView> m_view;
    QQuickItem* m_field = nullptr;
    QQuickItem* m_panel = nullptr;
};

void TestKeyboard::typesThroughTheKeys_data() {
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("text");
    // The serial-number field asks for Latin letters: a Greek interface must still
    // type a Latin "K", not a Greek kappa that looks the same.
    QTest::newRow("serial number, Greek") << "el_GR"
                                          << "el_GR"
                                          << "K12345678";
    QTest::newRow("address") << "en_IE"
                             << "en_US"
                             << "10.0.2.1/24";
    QTest::newRow("unknown") << "de_DE"
                             << "en_US"
                             << "Ok";
}

void TestKeyboard::typesThroughTheKeys() {
    QFETCH(QString, language);
    QFETCH(QString, layout);
    QFETCH(QString, text);
    m_panel->setProperty("language", language);
    QCOMPARE(m_panel->property("layoutLocale").toString(), layout);
    m_field->setProperty("inputMethodHints", int(Qt::ImhLatinOnly | Qt::ImhNoPredictiveText));
    QVERIFY(openPanel());
    QVERIFY(typeText(text));
    QTRY_COMPARE(m_field->property("text").toString(), text);
}

void TestKeyboard::enterHidesPanelAndTellsPage() {
    m_panel->setProperty("language", QStringLiteral("el_GR"));
    QVERIFY(openPanel());
    QTRY_VERIFY(findKey(0x3A3 /* Greek capital sigma */, QString::fromUtf8("σ")));
    QVERIFY(typeText(QString::fromUtf8("καλη")));
    QVERIFY(clickKey(Qt::Key_Return));
    QTRY_VERIFY(!m_panel->property("active").toBool());
    QVERIFY(!QGuiApplication::inputMethod()->isVisible());
    // Only the visible page's panel answers; the field gets its own Enter too.
    QCOMPARE(m_view->rootObject()->property("enterCount").toInt(), 1);
    QCOMPARE(m_view->rootObject()->property("acceptedCount").toInt(), 1);
    QCOMPARE(m_field->property("text").toString(), QString::fromUtf8("καλη"));
}

int main(int argc, char** argv) {
    // As the program does it: the variable is set before the application exists.
    qputenv("QT_IM_MODULE", "freevirtualkeyboard");
    QGuiApplication app(argc, argv);
    TestKeyboard test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_keyboard.moc"
