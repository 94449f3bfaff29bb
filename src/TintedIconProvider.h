#pragma once

#include <QQuickImageProvider>

class QQmlEngine;

// Draws an icon in one colour: "image://tinted/<rrggbb>/<url>" renders the picture at
// <url> (an SVG or PNG in the resource bundle or on disk) at the requested size and
// paints every opaque pixel in the colour. It works the same with the OpenGL and the
// software scene-graph backends, and costs nothing per frame once drawn.
class TintedIconProvider : public QQuickImageProvider {
public:
    TintedIconProvider();

    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;

    static void install(QQmlEngine& engine);
};
