#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QtTest>
#include <vector>

#include "QrCodeGenerator.h"

using qrcodegen::QrCode;

namespace {

const QString HEADER = QStringLiteral(
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" "
    "\"http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd\">"
    "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" viewBox=\"0 0 %1 %1\" "
    "stroke=\"none\"><rect width=\"100%\" height=\"100%\" fill=\"#FFFFFF\"/><path d=\"");
const QString FOOTER = QStringLiteral("\" fill=\"#000000\"/></svg>");

// Renders the SVG and reads every module back from the centre of its cell:
// result[y][x] is true for a dark module. The border must come out light.
QVector<QVector<bool>> decode(const QString& svg, int size, int border, bool* ok) {
    *ok = false;
    const int n = size + 2 * border;
    const int scale = 8;
    QSvgRenderer renderer(svg.toUtf8());
    if (!renderer.isValid() || renderer.viewBox() != QRect(0, 0, n, n)) {
        qWarning() << "unexpected SVG" << renderer.isValid() << renderer.viewBox();
        return {};
    }
    QImage image(n * scale, n * scale, QImage::Format_RGB32);
    image.fill(Qt::red);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();

    QVector<QVector<bool>> modules(n, QVector<bool>(n));
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const QColor colour = image.pixelColor(x * scale + scale / 2, y * scale + scale / 2);
            if (colour != Qt::black && colour != Qt::white) {
                qWarning() << "neither black nor white at" << x << y << colour;
                return {};
            }
            modules[y][x] = colour == Qt::black;
        }
    }
    *ok = true;
    return modules;
}

// Compares the decoded picture with the symbol's modules, border included.
bool sameModules(const QVector<QVector<bool>>& picture, const QrCode& qr, int border) {
    const int n = qr.getSize() + 2 * border;
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const int mx = x - border;
            const int my = y - border;
            const bool inside = mx >= 0 && my >= 0 && mx < qr.getSize() && my < qr.getSize();
            const bool expected = inside && qr.getModule(mx, my);
            if (picture[y][x] != expected) {
                qWarning() << "module differs at" << mx << my;
                return false;
            }
        }
    }
    return true;
}

QrCode encodeBytes(const QByteArray& bytes, QrCode::Ecc ecc) {
    return QrCode::encodeBinary(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), ecc);
}

}  // namespace

class TestQrCode : public QObject {
    Q_OBJECT

private slots:
    void versionOneSymbolText();
    void borderSetsViewBoxOffset_data();
    void borderSetsViewBoxOffset();
    void sameInputSameSvg();
    void decodedSvgMatchesSymbol_data();
    void decodedSvgMatchesSymbol();
    void nonAsciiEncodedAsUtf8();
    void unencodableTextGivesEmptyText();
};

void TestQrCode::versionOneSymbolText() {
    QrCodeGenerator generator;
    const QString svg = generator.generateSvgQr(QStringLiteral("HELLO"), 1, QrCode::Ecc::MEDIUM);

    QVERIFY(svg.startsWith(HEADER.arg(23) + QStringLiteral("M1,1h1v1h-1z M2,1h1v1h-1z")));
    QVERIFY(svg.endsWith(FOOTER));
    QVERIFY(!svg.contains(QLatin1Char('\n')));
    QCOMPARE(svg.count(QStringLiteral("<path")), 1);

    // One square per dark module of the 21 x 21 symbol.
    const QrCode qr = QrCode::encodeText("HELLO", QrCode::Ecc::MEDIUM);
    QCOMPARE(qr.getSize(), 21);
    int dark = 0;
    for (int y = 0; y < 21; ++y) {
        for (int x = 0; x < 21; ++x) {
            dark += qr.getModule(x, y) ? 1 : 0;
        }
    }
    QCOMPARE(svg.count(QStringLiteral("h1v1h-1z")), dark);
    QCOMPARE(svg.count(QStringLiteral(" M")), dark - 1);
}

void TestQrCode::borderSetsViewBoxOffset_data() {
    QTest::addColumn<int>("border");
    QTest::addColumn<QString>("start");
    QTest::newRow("no border") << 0 << HEADER.arg(21) + QStringLiteral("M0,0h1v1h-1z M1,0h1");
    QTest::newRow("four") << 4 << HEADER.arg(29) + QStringLiteral("M4,4h1v1h-1z M5,4h1");
    QTest::newRow("wide") << 300 << HEADER.arg(621) + QStringLiteral("M300,300h1v1h-1z");
}

void TestQrCode::borderSetsViewBoxOffset() {
    QFETCH(int, border);
    QFETCH(QString, start);
    QrCodeGenerator generator;
    const QString svg =
        generator.generateSvgQr(QStringLiteral("HELLO"), quint16(border), QrCode::Ecc::MEDIUM);
    QVERIFY2(svg.startsWith(start), qPrintable(svg.left(start.size() + 20)));
}

void TestQrCode::sameInputSameSvg() {
    const QString text = QStringLiteral("ID:000123;USB:OK;SD:OK;T:41.5");
    QrCodeGenerator first;
    QrCodeGenerator second;
    const QString a = first.generateSvgQr(text, 1, QrCode::Ecc::MEDIUM);
    QVERIFY(!a.isEmpty());
    QCOMPARE(first.generateSvgQr(text, 1, QrCode::Ecc::MEDIUM), a);
    QCOMPARE(second.generateSvgQr(text, 1, QrCode::Ecc::MEDIUM), a);
    QVERIFY(second.generateSvgQr(text, 1, QrCode::Ecc::HIGH) != a);
}

void TestQrCode::decodedSvgMatchesSymbol_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("border");
    QTest::addColumn<int>("ecc");
    QTest::newRow("version 1") << QStringLiteral("HELLO") << 1 << int(QrCode::Ecc::MEDIUM);
    QTest::newRow("numeric") << QStringLiteral("8602860286028602") << 0 << int(QrCode::Ecc::LOW);
    QTest::newRow("report")
        << QStringLiteral("Serial=QL-000123\nUSB=OK\nSD=ERROR\nTemp=41.5").repeated(4) << 1
        << int(QrCode::Ecc::MEDIUM);
    QTest::newRow("high, wide border")
        << QStringLiteral("https://example.org/obc?id=42") << 4 << int(QrCode::Ecc::HIGH);
}

void TestQrCode::decodedSvgMatchesSymbol() {
    QFETCH(QString, text);
    QFETCH(int, border);
    QFETCH(int, ecc);
    const auto level = static_cast<QrCode::Ecc>(ecc);
    QrCodeGenerator generator;
    const QString svg = generator.generateSvgQr(text, quint16(border), level);
    const QrCode qr = QrCode::encodeText(text.toUtf8().constData(), level);

    bool ok = false;
    const auto picture = decode(svg, qr.getSize(), border, &ok);
    QVERIFY(ok);
    QVERIFY(sameModules(picture, qr, border));
}

void TestQrCode::nonAsciiEncodedAsUtf8() {
    const QString text = QStringLiteral("Καλημέρα, κύριε € – ✓");
    QrCodeGenerator generator;
    const QString svg = generator.generateSvgQr(text, 1, QrCode::Ecc::MEDIUM);

    // Non-ASCII text travels as bytes; the symbol must hold exactly its UTF-8 form.
    const QrCode utf8 = encodeBytes(text.toUtf8(), QrCode::Ecc::MEDIUM);
    bool ok = false;
    const auto picture = decode(svg, utf8.getSize(), 1, &ok);
    QVERIFY(ok);
    QVERIFY(sameModules(picture, utf8, 1));

    const QrCode latin1 = encodeBytes(text.toLatin1(), QrCode::Ecc::MEDIUM);
    QVERIFY(latin1.getSize() != utf8.getSize() || !sameModules(picture, latin1, 1));
}

void TestQrCode::unencodableTextGivesEmptyText() {
    // Byte mode at level HIGH holds at most 1273 bytes in a version-40 symbol.
    const QString text = QStringLiteral("é").repeated(700);
    QrCodeGenerator generator;
    QTest::ignoreMessage(
        QtWarningMsg,
        QRegularExpression(QStringLiteral("^\\[QrCodeGenerator\\]  WARN: Text too long.*1400")));
    QCOMPARE(generator.generateSvgQr(text, 1, QrCode::Ecc::HIGH), QString());

    // The same text fits at a lower level, and the generator is still usable.
    QVERIFY(!generator.generateSvgQr(text, 1, QrCode::Ecc::LOW).isEmpty());

    // A NUL would cut the text short without a word.
    QTest::ignoreMessage(QtWarningMsg,
                         "[QrCodeGenerator]  WARN: Text holds a NUL character, no QR code");
    QCOMPARE(generator.generateSvgQr(QStringLiteral("ID=1") + QChar(0) + QStringLiteral("USB=OK"),
                                     1, QrCode::Ecc::MEDIUM),
             QString());
}

QTEST_MAIN(TestQrCode)
#include "tst_qrcode.moc"
