#pragma once

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QMutex>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPainter>
#include <QQuickItem>
#include <QQuickItemGrabResult>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>

// The item below root with this object name; items made by a Repeater have no QObject
// parent, so the visual tree is searched.
inline QQuickItem* findItem(QQuickItem* root, const QString& name) {
    if (!root || root->objectName() == name) {
        return root;
    }
    const auto children = root->childItems();
    for (QQuickItem* child : children) {
        if (QQuickItem* found = findItem(child, name)) {
            return found;
        }
    }
    return nullptr;
}

// A tap through the window in the middle of the item, as a finger does, so that anything
// lying over the item would catch it instead.
inline void tap(QQuickWindow* window, QQuickItem* item) {
    QVERIFY(item);
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
}

// "x,y,w,h" of the item as placed in the window.
inline QString placeOf(QQuickItem* item) {
    const QRect r = item->mapRectToScene(QRectF(QPointF(), item->size())).toRect();
    return QString("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// "x,y,w,h;" for each visible item below item named in names.
inline QString placesOf(QQuickItem* item, const QStringList& names) {
    QString places =
        item->isVisible() && names.contains(item->objectName()) ? placeOf(item) + ';' : "";
    const auto children = item->isVisible() ? item->childItems() : QList<QQuickItem*>();
    for (QQuickItem* child : children) {
        places += placesOf(child, names);
    }
    return places;
}

// A picture of the whole window as the user sees it: the screens and, above them,
// every open popup and menu (the popup layer lies in the window's content item). The
// offscreen platform's window grab gives no image, so the content item is rendered,
// on the window colour where it is transparent. Noted in the picture for the renderer
// comparison: "popups" (each open popup's face and colour) and "masks" (what changes
// with time: the clock, the animations, the busy indicator).
inline QImage windowShot(QQuickWindow* window, int timeoutMs = 15000) {
    QQuickItem* root = window ? window->contentItem() : nullptr;
    if (!root) {
        return QImage();
    }
    const QSharedPointer<QQuickItemGrabResult> grab = root->grabToImage();
    if (!grab) {
        return QImage();
    }
    QSignalSpy ready(grab.data(), &QQuickItemGrabResult::ready);
    if (grab->image().isNull() && !ready.wait(timeoutMs)) {
        return QImage();
    }
    QImage shot(grab->image().size(), QImage::Format_RGB32);
    shot.fill(window->color());
    QPainter(&shot).drawImage(0, 0, grab->image());
    QString popups;  // "x,y,w,h,#colour;" each
    const auto layer = window->property("overlay").value<QQuickItem*>();
    for (QQuickItem* popup : layer ? layer->childItems() : QList<QQuickItem*>()) {
        auto* face =
            popup->isVisible() ? popup->property("background").value<QQuickItem*>() : nullptr;
        if (face && face->isVisible()) {
            popups += placeOf(face) + ',' + face->property("color").value<QColor>().name() + ';';
        }
    }
    shot.setText("popups", popups);
    shot.setText("masks",
                 placesOf(root, {"headerClock", "animation", "busyIndicator", "timeText"}));
    return shot;
}

#ifdef GALLERY_DIR
// The folder of a suite's pictures, build/screenshots/<renderer>/<suite>, named after
// the renderer that really drew the window ("software" or "opengl"); the platform and
// the OpenGL driver are printed and noted in its renderer.txt. A run that must draw
// with a renderer (QUELLAN_RENDERER) and does not gets no folder.
inline QString galleryFolder(QQuickWindow* window, const QString& suite) {
    const bool gl = window->rendererInterface()->graphicsApi() == QSGRendererInterface::OpenGL;
    const QString renderer = gl ? "opengl" : "software";
    static QString note;  // one renderer for the whole process
    if (note.isEmpty()) {
        QString driver;  // asked in the render thread, while the window's context is current
        QMutex lock;
        const auto asked = QObject::connect(
            window, &QQuickWindow::beforeRendering, window,
            [&] {
                const QMutexLocker locked(&lock);
                driver = reinterpret_cast<const char*>(
                    QOpenGLContext::currentContext()->functions()->glGetString(GL_RENDERER));
            },
            Qt::DirectConnection);
        window->update();
        (void)QTest::qWaitFor([&] {
            const QMutexLocker locked(&lock);
            return !gl || !driver.isEmpty();
        });
        QObject::disconnect(asked);
        const QMutexLocker locked(&lock);
        note = QString("%1 on %2 %3").arg(renderer, QGuiApplication::platformName(), driver);
        qInfo().noquote() << "Drawn by" << note;
    }
    const QString folder = QStringLiteral(GALLERY_DIR "/%1/%2").arg(renderer, suite);
    QFile file(QStringLiteral(GALLERY_DIR "/%1/renderer.txt").arg(renderer));
    if (qEnvironmentVariable("QUELLAN_RENDERER", renderer) != renderer || !QDir().mkpath(folder) ||
        !file.open(QIODevice::WriteOnly) || file.write(note.toUtf8()) < 0) {
        return QString();
    }
    return folder;
}
#endif

// How many on-screen keyboard panels below root can be seen, wherever Qt put them (it
// lifts a panel into the popup layer while a popup is open).
inline int visibleKeyboards(QQuickItem* root) {
    if (!root) {
        return 0;
    }
    int count = root->objectName() == QLatin1String("keyboardPanel") && root->isVisible() ? 1 : 0;
    const auto children = root->childItems();
    for (QQuickItem* child : children) {
        count += visibleKeyboards(child);
    }
    return count;
}
