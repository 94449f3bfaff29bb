#include <QDirIterator>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSvgRenderer>
#include <QtTest>

// The pictures and icons as the screens get them: from the resource bundle, under
// qrc:/qml/images. Animation frames must differ from one to the next, the flags and
// frames must be transparent where the screen behind should show, and the icons must
// be one colour on transparent so that the controls can tint them.

namespace {

// Every picture of the bundle whose name matches, as paths under qml/images.
QStringList bundled(const QString& under, const QString& pattern) {
    const QString root = QStringLiteral(":/qml/images/");
    QStringList found;
    QDirIterator it(root + under, {pattern}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        found << it.next().mid(root.size());
    }
    found.sort();
    return found;
}

QImage load(const QString& path) {
    return QImage(QStringLiteral(":/qml/images/") + path).convertToFormat(QImage::Format_ARGB32);
}

// Share of pixels that are not fully transparent.
double coverage(const QImage& image) {
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0) {
                ++opaque;
            }
        }
    }
    return double(opaque) / (image.width() * image.height());
}

// Share of pixels that differ between two images of one size.
double difference(const QImage& a, const QImage& b) {
    int changed = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) {
                ++changed;
            }
        }
    }
    return double(changed) / (a.width() * a.height());
}

}  // namespace

class TestImages : public QObject {
    Q_OBJECT

private slots:
    void backgroundFillsWindow();
    void animationFrames_data();
    void animationFrames();
    void flags_data();
    void flags();
    void pngIcons();
    void svgIcons_data();
    void svgIcons();
    void qmlImageLoadsEveryPicture_data();
    void qmlImageLoadsEveryPicture();
    void everyFileOfTheFolderIsInTheBundle();
};

void TestImages::backgroundFillsWindow() {
    const QImage background = load(QStringLiteral("background.png"));
    QCOMPARE(background.size(), QSize(480, 800));
    // Opaque everywhere, and dark: white texts must stay readable on it.
    qint64 lightness = 0;
    for (int y = 0; y < background.height(); y += 10) {
        for (int x = 0; x < background.width(); x += 10) {
            const QRgb pixel = background.pixel(x, y);
            QCOMPARE(qAlpha(pixel), 255);
            lightness += QColor(pixel).lightness();
        }
    }
    QVERIFY(lightness / (48 * 80) < 60);
}

void TestImages::animationFrames_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("count");
    QTest::newRow("card") << QStringLiteral("NFC") << 7;
    QTest::newRow("ticket") << QStringLiteral("Barcode") << 9;
}

void TestImages::animationFrames() {
    QFETCH(QString, folder);
    QFETCH(int, count);
    QList<QImage> frames;
    for (int i = 0; i < count; ++i) {
        const QImage frame = load(QStringLiteral("%1/%2.png").arg(folder).arg(i));
        QVERIFY2(!frame.isNull(), qPrintable(QStringLiteral("frame %1 missing").arg(i)));
        QCOMPARE(frame.size(), QSize(300, 300));
        QVERIFY(frame.hasAlphaChannel());
        QCOMPARE(qAlpha(frame.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(frame.pixel(299, 299)), 0);
        const double covered = coverage(frame);
        QVERIFY2(covered > 0.1 && covered < 0.9, qPrintable(QString::number(covered)));
        frames << frame;
    }
    // Each step of the animation shows a visible change; no frame repeats another.
    for (int i = 0; i < count; ++i) {
        for (int j = i + 1; j < count; ++j) {
            const double changed = difference(frames[i], frames[j]);
            QVERIFY2(changed > (j == i + 1 ? 0.005 : 0.0),
                     qPrintable(QStringLiteral("frames %1 and %2").arg(i).arg(j)));
        }
    }
    // One more frame than the screens use would be a sign of a wrong frame count.
    QVERIFY(load(QStringLiteral("%1/%2.png").arg(folder).arg(count)).isNull());
}

void TestImages::flags_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("gr") << QStringLiteral("gr");
    QTest::newRow("uk") << QStringLiteral("uk");
    QTest::newRow("us") << QStringLiteral("us");
}

void TestImages::flags() {
    QFETCH(QString, name);
    const QImage flag = load(QStringLiteral("Flags/%1.png").arg(name));
    QVERIFY(!flag.isNull());
    QCOMPARE(flag.width(), flag.height());
    QVERIFY(flag.width() >= 64);
    // Round: transparent corners, opaque and colourful centre.
    QCOMPARE(qAlpha(flag.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(flag.pixel(flag.width() - 1, flag.height() - 1)), 0);
    const QRgb centre = flag.pixel(flag.width() / 2, flag.height() / 2);
    QCOMPARE(qAlpha(centre), 255);
}

void TestImages::pngIcons() {
    const QImage logo = load(QStringLiteral("Icons/zorv.png"));
    QCOMPARE(logo.size(), QSize(300, 300));
    QCOMPARE(qAlpha(logo.pixel(0, 0)), 0);
    QVERIFY(coverage(logo) > 0.1);

    // The menu icon is shown untinted on the dark header: white bars.
    const QImage menu = load(QStringLiteral("Icons/menu.png"));
    QVERIFY(!menu.isNull());
    QCOMPARE(menu.width(), menu.height());
    const QRgb bar = menu.pixel(menu.width() / 2, menu.height() / 2);
    QCOMPARE(qAlpha(bar), 255);
    QVERIFY(QColor(bar).lightness() > 200);
}

void TestImages::svgIcons_data() {
    QTest::addColumn<QString>("path");
    const QStringList icons = bundled(QStringLiteral("Icons"), QStringLiteral("*.svg"));
    QVERIFY(icons.size() > 10);
    for (const QString& icon : icons) {
        QTest::newRow(qPrintable(icon)) << QStringLiteral(":/qml/images/") + icon;
    }
}

void TestImages::svgIcons() {
    QFETCH(QString, path);
    QSvgRenderer renderer(path);
    QVERIFY2(renderer.isValid(), qPrintable(path));
    QVERIFY(!renderer.viewBoxF().isEmpty());
    QCOMPARE(renderer.viewBoxF().width(), renderer.viewBoxF().height());

    QImage image(96, 96, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        renderer.render(&painter);
    }
    // Something drawn, not a filled square, and only in black: the tint replaces the
    // colour, so any second colour would be lost.
    const double covered = coverage(image);
    QVERIFY2(covered > 0.04 && covered < 0.7, qPrintable(QString::number(covered)));
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) > 0) {
                QVERIFY2(qRed(pixel) == 0 && qGreen(pixel) == 0 && qBlue(pixel) == 0,
                         qPrintable(QStringLiteral("colour at %1,%2").arg(x).arg(y)));
            }
        }
    }
}

void TestImages::qmlImageLoadsEveryPicture_data() {
    QTest::addColumn<QString>("url");
    const QStringList pictures = bundled(QString(), QStringLiteral("*"));
    QVERIFY(pictures.size() > 30);
    for (const QString& picture : pictures) {
        QTest::newRow(qPrintable(picture)) << QStringLiteral("qrc:/qml/images/") + picture;
    }
}

void TestImages::qmlImageLoadsEveryPicture() {
    // The QML Image element, as the screens use it, including SVG at a large size.
    QFETCH(QString, url);
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData(QStringLiteral("import QtQuick 2.15\n"
                                     "Image { source: \"%1\"; sourceSize.width: 250 }")
                          .arg(url)
                          .toUtf8(),
                      QUrl());
    QScopedPointer<QObject> image(component.create());
    QVERIFY2(image, qPrintable(component.errorString()));
    QTRY_COMPARE(image->property("status").toInt(), 1 /* Image.Ready */);
    // Pictures keep their own size; icons are drawn at the size asked for, so that a
    // 250-pixel symbol is sharp.
    const qreal width = image->property("implicitWidth").toReal();
    if (url.endsWith(QLatin1String(".svg"))) {
        QCOMPARE(width, 250.0);
    } else {
        QVERIFY(width >= 64 && width <= 250);
    }
}

void TestImages::everyFileOfTheFolderIsInTheBundle() {
    // A picture added to qml/images but forgotten in images.qrc would be missing at
    // run time; an oversized one slows the start on the device. The other cases read every
    // picture the bundle holds.
    const QString source = qEnvironmentVariable("QUELLAN_SOURCE_DIR");
    if (source.isEmpty()) {
        QSKIP("QUELLAN_SOURCE_DIR not set (run through ctest)");
    }
    const QDir folder(source + QStringLiteral("/qml"));
    QDirIterator it(folder.filePath(QStringLiteral("images")), QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = folder.relativeFilePath(path);
        QVERIFY2(QFile::exists(QStringLiteral(":/qml/") + relative), qPrintable(relative));
        QVERIFY2(QFileInfo(path).size() < 64 * 1024, qPrintable(relative));
    }
}

QTEST_MAIN(TestImages)
#include "tst_images.moc"
