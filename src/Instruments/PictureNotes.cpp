#include "PictureNotes.h"

#include <QImage>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSGRendererInterface>

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

}  // namespace picture
