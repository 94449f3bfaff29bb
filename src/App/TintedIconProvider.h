#pragma once

#include <QHash>
#include <QMutex>
#include <QQuickImageProvider>

class QQmlEngine;

// Draws an icon in one colour: "image://tinted/<rrggbb>/<url>" takes the picture at
// <url> (an SVG or PNG in the resource bundle or on disk) at the requested size and
// paints every opaque pixel in the colour. It works the same with the OpenGL and the
// software scene-graph backends, and costs nothing per frame once drawn. An SVG is
// not parsed: tools/artwork draws its shape ahead, at the sizes the screens show it,
// into Icons/masks/<name>-<side>.png beside it (another size is scaled from the
// nearest), so that the program needs neither Qt SVG nor the Qt Widgets it loads.
class TintedIconProvider : public QQuickImageProvider {
public:
    TintedIconProvider();

    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;

    // Installs this provider ("tinted") and the kept pictures' ("kept").
    static void install(QQmlEngine& engine);
};

// Pictures read once and kept for the program's life: "image://kept/<url>" decodes
// the PNG at <url> the first time it is asked for and hands out the same decoded
// picture from then on. For the few small pictures that are shown over and over,
// such as the layers of the idle animations: Qt keeps only 2 MB of pictures nobody
// shows, which would have them read and decoded again on every tick.
class KeptPictureProvider : public QQuickImageProvider {
public:
    KeptPictureProvider();

    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;

private:
    QMutex m_mutex;
    QHash<QString, QImage> m_pictures;
};
