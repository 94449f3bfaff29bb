#include <QImage>
#include <QtTest>

#include "Artwork.h"

// The committed pictures are the painter's output: a change to the painter that was
// not followed by painting the pictures again (or a picture edited by hand) shows
// here. Text is rendered by the platform's font engine, so a few pixels may differ.

namespace {

double differingShare(const QImage& a, const QImage& b) {
    const QImage left = a.convertToFormat(QImage::Format_ARGB32);
    const QImage right = b.convertToFormat(QImage::Format_ARGB32);
    int differing = 0;
    for (int y = 0; y < left.height(); ++y) {
        for (int x = 0; x < left.width(); ++x) {
            const QRgb p = left.pixel(x, y);
            const QRgb q = right.pixel(x, y);
            if (qAbs(qRed(p) - qRed(q)) > 2 || qAbs(qGreen(p) - qGreen(q)) > 2 ||
                qAbs(qBlue(p) - qBlue(q)) > 2 || qAbs(qAlpha(p) - qAlpha(q)) > 2) {
                ++differing;
            }
        }
    }
    return double(differing) / (left.width() * left.height());
}

}  // namespace

class TestArtwork : public QObject {
    Q_OBJECT

private slots:
    void committedPicturesArePainted_data();
    void committedPicturesArePainted();
    void framesOutOfRangeAreClamped();
    void writesIntoFolderAndFailsOnUnwritablePath();
};

void TestArtwork::committedPicturesArePainted_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QImage>("painted");
    QTest::newRow("background") << QStringLiteral("background.png") << Artwork::background();
    for (int i = 0; i < Artwork::kNfcFrames; ++i) {
        const QString path = QStringLiteral("NFC/%1.png").arg(i);
        QTest::newRow(qPrintable(path)) << path << Artwork::nfcFrame(i);
    }
    for (int i = 0; i < Artwork::kBarcodeFrames; ++i) {
        const QString path = QStringLiteral("Barcode/%1.png").arg(i);
        QTest::newRow(qPrintable(path)) << path << Artwork::barcodeFrame(i);
    }
    for (const char* country : {"gr", "uk", "us"}) {
        const QString path = QStringLiteral("Flags/%1.png").arg(QLatin1String(country));
        QTest::newRow(qPrintable(path)) << path << Artwork::flag(QLatin1String(country));
    }
    QTest::newRow("zorv") << QStringLiteral("Icons/zorv.png") << Artwork::logo();
    QTest::newRow("menu") << QStringLiteral("Icons/menu.png") << Artwork::menu();
}

void TestArtwork::committedPicturesArePainted() {
    QFETCH(QString, path);
    QFETCH(QImage, painted);
    const QImage committed(QStringLiteral(":/qml/images/") + path);
    QVERIFY2(!committed.isNull(), qPrintable(path));
    QCOMPARE(committed.size(), painted.size());
    const double share = differingShare(committed, painted);
    QVERIFY2(
        share < 0.01,
        qPrintable(QStringLiteral("%1: %2 % of the pixels differ").arg(path).arg(share * 100)));
}

void TestArtwork::framesOutOfRangeAreClamped() {
    QCOMPARE(Artwork::nfcFrame(-3), Artwork::nfcFrame(0));
    QCOMPARE(Artwork::nfcFrame(99), Artwork::nfcFrame(Artwork::kNfcFrames - 1));
    QCOMPARE(Artwork::barcodeFrame(Artwork::kBarcodeFrames),
             Artwork::barcodeFrame(Artwork::kBarcodeFrames - 1));
    // An unknown country still gives a round picture rather than nothing.
    QCOMPARE(Artwork::flag(QStringLiteral("xx")).size(), QSize(100, 100));
}

void TestArtwork::writesIntoFolderAndFailsOnUnwritablePath() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("menu.png"));
    QVERIFY(Artwork::save(Artwork::menu(), path));
    QCOMPARE(QImage(path).size(), QSize(64, 64));
    QVERIFY(!Artwork::save(Artwork::menu(), dir.filePath(QStringLiteral("missing/menu.png"))));
}

QTEST_MAIN(TestArtwork)
#include "tst_artwork.moc"
