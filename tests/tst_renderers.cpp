// The gallery of tst_screens and tst_technician drawn twice, by the software renderer and
// by OpenGL (tests/CMakeLists.txt): every open popup shows its own face, not the page below
// it, on either renderer, and each picture looks the same on both beyond shadows and
// anti-aliasing. What differs is listed in the output.
#include <QDirIterator>
#include <QPainter>
#include <QtTest>

#include "PictureCompare.h"

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

// The pictures below a renderer's folder, by their path in it.
QStringList gallery(const QString& renderer) {
    const QDir folder(kGallery + "/" + renderer);
    QDirIterator it(folder.path(), {"*.png"}, QDir::Files, QDirIterator::Subdirectories);
    QStringList names;
    while (it.hasNext()) {
        names << folder.relativeFilePath(it.next());
    }
    names.sort();
    return names;
}

}  // namespace

class TestRenderers : public QObject {
    Q_OBJECT

private slots:
    // Both galleries hold the same pictures, all drawn since this test was built (their
    // producers empty their folders first): none missing, none left over from another run.
    void initTestCase() {
        const QStringList software = gallery("software");
        QVERIFY2(software.size() >= 20, qPrintable(software.join(' ')));
        QCOMPARE(gallery("opengl"), software);
        const QDateTime built = QFileInfo(QCoreApplication::applicationFilePath()).lastModified();
        for (const char* renderer : {"software", "opengl"}) {
            for (const QString& name : software) {
                const QFileInfo picture(kGallery + "/" + renderer + "/" + name);
                QVERIFY2(picture.lastModified() >= built,
                         qPrintable(picture.filePath() + " is stale"));
            }
        }
    }

    void sameOnBothRenderers_data() {
        QTest::addColumn<QString>("name");
        for (const QString& name : gallery("software")) {
            QTest::newRow(qPrintable(name)) << name;
        }
    }

    void sameOnBothRenderers() {
        QFETCH(QString, name);
        QImage pictures[] = {QImage(kGallery + "/software/" + name),
                             QImage(kGallery + "/opengl/" + name)};
        QVERIFY2(!pictures[0].isNull() && !pictures[1].isNull(), "unreadable");
        QCOMPARE(pictures[1].size(), pictures[0].size());
        for (const QImage* shot : {&pictures[0], &pictures[1]}) {
            const auto faces = picture::faces(*shot);
            for (const picture::Face& face : faces) {
                const double share = picture::ownColour(*shot, face);
                qInfo("%s: popup at %d,%d shows its face on %.0f %%",
                      shot == pictures ? "software" : "opengl", face.place.x(), face.place.y(),
                      share * 100);
                QVERIFY2(share >= kMinFace, "the page below shows through a popup");
            }
        }
        if (name.endsWith("_report.png")) {
            // The saved report names its own folder and minute, which differ between the runs:
            // the inside of its popup is left out here (its face is checked above).
            QPainter painter(&pictures[1]);
            for (const picture::Face& face : picture::faces(pictures[0])) {
                painter.drawImage(face.place, pictures[0], face.place);
            }
        }
        QRegion cells;
        const int count = picture::differing(pictures[0], pictures[1], kTolerance, kSpan, &cells);
        QStringList where;
        for (const QRect& r : cells) {
            where << QString("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
        }
        qInfo().noquote() << count << "pixels differ, in" << where.join(' ');
        QVERIFY2(count <= kMaxPixels, "the renderers draw this screen differently");
    }
};

QTEST_GUILESS_MAIN(TestRenderers)
#include "tst_renderers.moc"
