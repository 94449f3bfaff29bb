#include "PictureCompare.h"

#include <QImage>
#include <QVector>
#include <algorithm>

namespace {

// The "x,y,w,h" at the start of each ';'-separated entry of a note, with the rest.
QList<QStringList> entries(const QImage& image, const QString& key) {
    QList<QStringList> list;
    const QStringList parts = image.text(key).split(';', Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        list << part.split(',');
    }
    return list;
}

QRect rectOf(const QStringList& entry) {
    return QRect(entry.value(0).toInt(), entry.value(1).toInt(), entry.value(2).toInt(),
                 entry.value(3).toInt());
}

bool near(QRgb a, QRgb b, int tolerance) {
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance &&
           qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}

}  // namespace

namespace picture {

QList<Face> faces(const QImage& image) {
    QList<Face> list;
    const auto noted = entries(image, QStringLiteral("popups"));
    for (const QStringList& entry : noted) {
        list << Face{rectOf(entry), QColor(entry.value(4))};
    }
    return list;
}

double ownColour(const QImage& image, const Face& face) {
    // Inside the edge: the border and the rounded corners are not the face's colour.
    const QRect inside = face.place.adjusted(6, 6, -6, -6) & image.rect();
    int own = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            own += near(image.pixel(x, y), face.colour.rgb(), 3);
        }
    }
    return inside.isEmpty() ? 0.0 : own / double(inside.width() * inside.height());
}

int differing(const QImage& a, const QImage& b, int tolerance, int span, QRegion* where) {
    QList<QRect> masks;
    for (const QImage* image : {&a, &b}) {
        const auto noted = entries(*image, QStringLiteral("masks"));
        for (const QStringList& entry : noted) {
            masks << rectOf(entry);
        }
    }
    // sum[y][x]: differing pixels above and left of (x, y), so that any square's count
    // is four look-ups.
    const int w = a.width() + 1;
    const int h = a.height() + 1;
    QVector<int> sum(w * h);
    for (int y = 1; y < h; ++y) {
        for (int x = 1; x < w; ++x) {
            const QPoint p(x - 1, y - 1);
            const bool masked = std::any_of(masks.cbegin(), masks.cend(),
                                            [&p](const QRect& m) { return m.contains(p); });
            const bool differs =
                !masked && b.rect().contains(p) && !near(a.pixel(p), b.pixel(p), tolerance);
            sum[y * w + x] =
                differs + sum[(y - 1) * w + x] + sum[y * w + x - 1] - sum[(y - 1) * w + x - 1];
        }
    }
    int count = 0;
    for (int y = span; y < h; ++y) {
        for (int x = span; x < w; ++x) {
            const int square = sum[y * w + x] - sum[(y - span) * w + x] - sum[y * w + x - span] +
                               sum[(y - span) * w + x - span];
            if (square == span * span) {
                ++count;
                if (where) {
                    *where += QRect((x - span) & ~15, (y - span) & ~15, 16, 16);
                }
            }
        }
    }
    return count;
}

}  // namespace picture
