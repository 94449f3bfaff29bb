// The gallery of tst_screens and tst_technician drawn twice, by the software renderer and
// by OpenGL (tests/CMakeLists.txt): every open popup shows its own face, not the page below
// it, on either renderer, and each picture looks the same on both beyond shadows and
// anti-aliasing. What differs is listed in the output.
#include <QDirIterator>
#include <QRegion>
#include <QtTest>

namespace {

const QString kGallery = QStringLiteral(GALLERY_DIR);
// A pixel differs when a channel differs by more than kTolerance; it counts when the whole
// square of kSpan x kSpan pixels from it differs: an edge drawn a pixel apart or in other
// shades (glyphs, curves) or a soft shadow is thinner than that, a face drawn by one
// renderer only is not. Measured: text and anti-aliasing leave at most 475 such pixels in a
// picture (the large bold "ALREADY VALIDATED"), a missing switch knob 160; the faintest
// missing face, a drop-down box 18 shades off the page, leaves about 3000.
constexpr int kTolerance = 16;
constexpr int kSpan = 6;
constexpr int kMaxPixels = 1000;
// Share of a popup face's pixels (inside its edge) in the face's own colour: its texts,
// buttons, pictures and a list's highlighted row cover the rest. Measured: at least 45 %
// (a list of two rows, one highlighted); a face that is not drawn, 1 %.
constexpr double kMinFace = 0.2;

QRect rectOf(const QStringList& numbers) {
    return QRect(numbers.value(0).toInt(), numbers.value(1).toInt(), numbers.value(2).toInt(),
                 numbers.value(3).toInt());
}

bool near(QRgb a, QRgb b, int tolerance) {
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance &&
           qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}

}  // namespace

class TestRenderers : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void sameOnBothRenderers_data();
    void sameOnBothRenderers();
};

void TestRenderers::initTestCase() {
    for (const QString renderer : {"software", "opengl"}) {
        QFile note(kGallery + '/' + renderer + "/renderer.txt");
        QVERIFY2(note.open(QIODevice::ReadOnly), qPrintable(note.fileName()));
        const QString drawnBy = note.readAll();
        qInfo().noquote() << "Gallery" << renderer << "drawn by" << drawnBy;
        QVERIFY(drawnBy.startsWith(renderer));
    }
}

void TestRenderers::sameOnBothRenderers_data() {
    QTest::addColumn<QString>("name");
    const QDir software(kGallery + "/software");
    QDirIterator it(software.path(), {"*.png"}, QDir::Files, QDirIterator::Subdirectories);
    QStringList names;
    while (it.hasNext()) {
        names << software.relativeFilePath(it.next());
    }
    names.sort();
    for (const QString& name : qAsConst(names)) {
        QTest::newRow(qPrintable(name)) << name;
    }
}

void TestRenderers::sameOnBothRenderers() {
    QFETCH(QString, name);
    const QImage pictures[] = {QImage(kGallery + "/software/" + name),
                               QImage(kGallery + "/opengl/" + name)};
    QVERIFY2(!pictures[1].isNull(), "not drawn by OpenGL");
    QCOMPARE(pictures[1].size(), pictures[0].size());

    QList<QRect> masks;
    for (const QImage& picture : pictures) {
        const QStringList popups = picture.text("popups").split(';', Qt::SkipEmptyParts);
        for (const QString& popup : popups) {
            const QStringList place = popup.split(',');
            const QRect face = rectOf(place).adjusted(6, 6, -6, -6) & picture.rect();
            const QRgb colour = QColor(place.value(4)).rgb();
            int own = 0;
            for (int y = face.top(); y <= face.bottom(); ++y) {
                for (int x = face.left(); x <= face.right(); ++x) {
                    own += near(picture.pixel(x, y), colour, 3);
                }
            }
            const double share = own / double(qMax(1, face.width() * face.height()));
            qInfo("popup %s: %.0f %% of its face in %s", qPrintable(popup), share * 100,
                  &picture == pictures ? "software" : "opengl");
            QVERIFY2(share >= kMinFace, qPrintable("the page shows through popup " + popup));
        }
        for (const QString& mask : picture.text("masks").split(';', Qt::SkipEmptyParts)) {
            masks << rectOf(mask.split(','));
        }
    }

    const int w = pictures[0].width() + 1;
    QVector<int> sum(w * (pictures[0].height() + 1));  // differing pixels above and left
    for (int y = 1; y <= pictures[0].height(); ++y) {
        for (int x = 1; x < w; ++x) {
            const QPoint p(x - 1, y - 1);
            const bool masked = std::any_of(masks.cbegin(), masks.cend(),
                                            [&p](const QRect& m) { return m.contains(p); });
            const bool differs =
                !masked && !near(pictures[0].pixel(p), pictures[1].pixel(p), kTolerance);
            sum[y * w + x] =
                differs + sum[(y - 1) * w + x] + sum[y * w + x - 1] - sum[(y - 1) * w + x - 1];
        }
    }
    int count = 0;
    QRegion differing;
    for (int y = kSpan; y < sum.size() / w; ++y) {
        for (int x = kSpan; x < w; ++x) {
            if (sum[y * w + x] - sum[(y - kSpan) * w + x] - sum[y * w + x - kSpan] +
                    sum[(y - kSpan) * w + x - kSpan] ==
                kSpan * kSpan) {
                ++count;
                differing += QRect((x - kSpan) & ~15, (y - kSpan) & ~15, 16, 16);
            }
        }
    }
    QStringList where;
    for (const QRect& r : differing) {
        where << QString("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    }
    qInfo().noquote() << name << count << "pixels differ" << where.join(' ');
    QVERIFY2(count <= kMaxPixels, qPrintable(QString::number(count) + " pixels differ"));
}

QTEST_GUILESS_MAIN(TestRenderers)
#include "tst_renderers.moc"
