#include "TintedIconProvider.h"

#include <QColor>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QPainter>
#include <QQmlEngine>

#include <algorithm>

namespace {

const char* const kTag = "[TintedIconProvider] ";

// A picture's path in the resources or on disk from its URL text.
QString localPath(QString url) {
    if (url.startsWith(QLatin1String("qrc:"))) {
        return url.mid(3);  // ":/qml/..."
    }
    if (url.startsWith(QLatin1String("file://"))) {
        return url.mid(7);
    }
    return url;
}

// The shape of an SVG icon as drawn ahead by tools/artwork, the largest size first:
// Icons/masks/<name>-<side>.png beside Icons/<name>.svg, the coverage as grey levels.
struct Mask {
    int side;
    QString path;
};

QVector<Mask> masksOf(const QString& svgPath) {
    const QFileInfo svg(svgPath);
    const QString prefix = svg.completeBaseName() + QLatin1Char('-');
    QVector<Mask> masks;
    const QDir folder(svg.path() + QStringLiteral("/masks"));
    const QStringList files =
        folder.entryList({prefix + QStringLiteral("*.png")}, QDir::Files, QDir::NoSort);
    for (const QString& file : files) {
        bool ok = false;
        const int side = file.mid(prefix.size(), file.size() - prefix.size() - 4).toInt(&ok);
        if (ok && side > 0) {
            masks.append({side, folder.filePath(file)});
        }
    }
    std::sort(masks.begin(), masks.end(),
              [](const Mask& a, const Mask& b) { return a.side > b.side; });
    return masks;
}

// The icon's coverage at target (black, premultiplied alpha): the mask drawn at that
// size when there is one, else the nearest larger one (or the largest) scaled.
QImage coverage(const QString& svgPath, const QSize& requested) {
    const QVector<Mask> masks = masksOf(svgPath);
    if (masks.isEmpty()) {
        return QImage();
    }
    const int wanted = requested.isValid() && !requested.isEmpty()
                           ? qMax(requested.width(), requested.height())
                           : masks.first().side;
    const Mask* chosen = &masks.first();
    for (const Mask& mask : masks) {
        if (mask.side >= wanted) {
            chosen = &mask;
        }
    }
    QImage grey(chosen->path);
    if (grey.isNull() || grey.format() != QImage::Format_Grayscale8) {
        return QImage();
    }
    // The grey level is the coverage: the same bytes read as an alpha channel.
    grey.reinterpretAsFormat(QImage::Format_Alpha8);
    QImage shape = grey.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QSize target = requested.isValid() && !requested.isEmpty() ? requested : shape.size();
    if (shape.size() != target) {
        shape = shape.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return shape;
}

}  // namespace

TintedIconProvider::TintedIconProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}

void TintedIconProvider::install(QQmlEngine& engine) {
    engine.addImageProvider(QStringLiteral("tinted"), new TintedIconProvider);
    engine.addImageProvider(QStringLiteral("kept"), new KeptPictureProvider);
}

QImage TintedIconProvider::requestImage(const QString& id, QSize* size,
                                        const QSize& requestedSize) {
    const int slash = id.indexOf(QLatin1Char('/'));
    const QColor color(QLatin1Char('#') + id.left(slash));
    const QString path = slash < 0 ? QString() : localPath(id.mid(slash + 1));
    if (!color.isValid() || path.isEmpty()) {
        qWarning() << kTag << "WARN: Bad icon request : " << id;
        return QImage();
    }

    QImage image;
    if (path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        // Drawn from the shapes made at build time: no SVG is parsed on the device.
        image = coverage(path, requestedSize);
    } else {
        QImage source(path);
        if (!source.isNull() && requestedSize.isValid() && !requestedSize.isEmpty()) {
            source = source.scaled(requestedSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
        image = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    if (image.isNull()) {
        qWarning() << kTag << "WARN: Cannot read icon : " << path;
        return QImage();
    }

    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), color);
    painter.end();

    if (size) {
        *size = image.size();
    }
    return image;
}

KeptPictureProvider::KeptPictureProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}

QImage KeptPictureProvider::requestImage(const QString& id, QSize* size,
                                         const QSize& requestedSize) {
    Q_UNUSED(requestedSize)  // shown at the size they were drawn
    QMutexLocker lock(&m_mutex);
    auto found = m_pictures.constFind(id);
    if (found == m_pictures.constEnd()) {
        const QImage picture = QImage(localPath(id));
        if (picture.isNull()) {
            qWarning() << kTag << "WARN: Cannot read picture : " << id;
            return QImage();
        }
        // In the format the scene graph draws, so that no copy is made per showing.
        found =
            m_pictures.insert(id, picture.convertToFormat(picture.hasAlphaChannel()
                                                              ? QImage::Format_ARGB32_Premultiplied
                                                              : QImage::Format_RGB32));
    }
    if (size) {
        *size = found->size();
    }
    return *found;
}
