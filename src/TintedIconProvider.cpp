#include "TintedIconProvider.h"

#include <QColor>
#include <QDebug>
#include <QPainter>
#include <QQmlEngine>
#include <QSvgRenderer>

TintedIconProvider::TintedIconProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}

void TintedIconProvider::install(QQmlEngine& engine) {
    engine.addImageProvider(QStringLiteral("tinted"), new TintedIconProvider);
}

QImage TintedIconProvider::requestImage(const QString& id, QSize* size,
                                        const QSize& requestedSize) {
    const int slash = id.indexOf(QLatin1Char('/'));
    const QColor color(QLatin1Char('#') + id.left(slash));
    QString path = slash < 0 ? QString() : id.mid(slash + 1);
    if (path.startsWith(QLatin1String("qrc:"))) {
        path = path.mid(3);  // ":/qml/..."
    } else if (path.startsWith(QLatin1String("file://"))) {
        path = path.mid(7);
    }
    if (!color.isValid() || path.isEmpty()) {
        qWarning() << "[TintedIconProvider] "
                   << "WARN: Bad icon request : " << id;
        return QImage();
    }

    QImage image;
    if (path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        QSvgRenderer renderer(path);
        if (!renderer.isValid()) {
            qWarning() << "[TintedIconProvider] "
                       << "WARN: Cannot read icon : " << path;
            return QImage();
        }
        const QSize target = requestedSize.isValid() && !requestedSize.isEmpty()
                                 ? requestedSize
                                 : renderer.defaultSize();
        image = QImage(target, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(target)));
    } else {
        QImage source(path);
        if (source.isNull()) {
            qWarning() << "[TintedIconProvider] "
                       << "WARN: Cannot read icon : " << path;
            return QImage();
        }
        if (requestedSize.isValid() && !requestedSize.isEmpty()) {
            source = source.scaled(requestedSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
        image = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
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
