#include "Picture.h"

#include <QImage>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QVector>
#include <algorithm>

namespace {

QString placeOf(QQuickItem* item) {
    const QRect r = item->mapRectToScene(QRectF(QPointF(), item->size())).toRect();
    return QStringLiteral("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// "x,y,w,h;" for each visible item from item down that is named in names.
QString placesOf(QQuickItem* item, const QStringList& names) {
    if (!item->isVisible()) {
        return QString();
    }
    QString places = names.contains(item->objectName()) ? placeOf(item) + ';' : QString();
    const auto children = item->childItems();
    for (QQuickItem* child : children) {
        places += placesOf(child, names);
    }
    return places;
}

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

void note(QImage& image, QQuickWindow* window) {
    if (!window) {
        return;
    }
    // Popups lie in the window's popup layer, each as an item with a background.
    QString popups;
    const auto layer = window->property("overlay").value<QQuickItem*>();
    const auto items = layer ? layer->childItems() : QList<QQuickItem*>();
    for (QQuickItem* popup : items) {
        auto* face =
            popup->isVisible() ? popup->property("background").value<QQuickItem*>() : nullptr;
        if (face && face->isVisible()) {
            popups += placeOf(face) + ',' + face->property("color").value<QColor>().name() + ';';
        }
    }
    image.setText(QStringLiteral("popups"), popups);
    image.setText(
        QStringLiteral("masks"),
        placesOf(window->contentItem(), {"headerClock", "animation", "busyIndicator", "timeText"}));
}

QString renderer(QQuickWindow* window) {
    switch (window->rendererInterface()->graphicsApi()) {
        case QSGRendererInterface::OpenGL:
            return QStringLiteral("opengl");
        case QSGRendererInterface::Software:
            return QStringLiteral("software");
        default:
            return QStringLiteral("api%1").arg(window->rendererInterface()->graphicsApi());
    }
}

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
