// The QR code of the diagnostics report as an SVG text: drawn with Qt SVG and read
// back module by module, it must be the symbol of exactly the text's UTF-8 bytes.
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QtTest>

#include "QrCodeGenerator.h"

using qrcodegen::QrCode;

namespace {
// Whether the drawing shows the symbol's modules, each read from the centre of its
// cell, with a light border of the given width around them.
bool showsSymbol(const QString& svg, const QrCode& qr, int border) {
    const int n = qr.getSize() + 2 * border;
    const int scale = 8;
    QSvgRenderer renderer(svg.toUtf8());
    QImage image(n * scale, n * scale, QImage::Format_RGB32);
    image.fill(Qt::red);
    QPainter painter(&image);
    renderer.render(&painter);
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const bool inside = x >= border && y >= border && x < n - border && y < n - border;
            const bool dark = inside && qr.getModule(x - border, y - border);
            if (image.pixelColor(x * scale + scale / 2, y * scale + scale / 2) !=
                QColor(dark ? Qt::black : Qt::white)) {
                qWarning() << "module differs at" << x << y;
                return false;
            }
        }
    }
    return true;
}
}  // namespace

class TestQrCode : public QObject {
    Q_OBJECT

private slots:
    void drawingIsTheSymbol_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("border");
        QTest::addColumn<int>("ecc");
        QTest::newRow("version 1") << QStringLiteral("HELLO") << 1 << int(QrCode::Ecc::MEDIUM);
        QTest::newRow("Greek") << QStringLiteral("Καλημέρα € ✓") << 4 << int(QrCode::Ecc::HIGH);
    }

    void drawingIsTheSymbol() {
        QFETCH(QString, text);
        QFETCH(int, border);
        QFETCH(int, ecc);
        const auto level = static_cast<QrCode::Ecc>(ecc);
        const QString svg = QrCodeGenerator().generateSvgQr(text, quint16(border), level);
        QVERIFY(showsSymbol(svg, QrCode::encodeText(text.toUtf8().constData(), level), border));
    }

    void unencodableTextGivesEmptyText() {
        // Byte mode at level HIGH holds at most 1273 bytes in a version-40 symbol.
        const QString text = QStringLiteral("é").repeated(700);
        QrCodeGenerator generator;
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("WARN: Text too long.*1400")));
        QCOMPARE(generator.generateSvgQr(text, 1, QrCode::Ecc::HIGH), QString());
        QVERIFY(!generator.generateSvgQr(text, 1, QrCode::Ecc::LOW).isEmpty());
        // A NUL would cut the text short without a word.
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("WARN: Text holds a NUL")));
        QCOMPARE(generator.generateSvgQr(QStringLiteral("ID=1") + QChar(0), 1, QrCode::Ecc::MEDIUM),
                 QString());
    }
};

QTEST_MAIN(TestQrCode)
#include "tst_qrcode.moc"
