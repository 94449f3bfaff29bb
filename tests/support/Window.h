#pragma once

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QQuickItem>
#include <QQuickItemGrabResult>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>

#include "PictureNotes.h"

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
    picture::note(shot, window);
    return shot;
}

#ifdef GALLERY_DIR
// The folder of a suite's pictures, build/screenshots/<renderer>/<suite>, named after the
// renderer that really drew the window ("software" or "opengl").
// Emptied on its first use in a run, so that no picture of an earlier run stays in it.
inline QString galleryFolder(QQuickWindow* window, const QString& suite) {
    static QStringList emptied;
    const QString folder =
        QStringLiteral(GALLERY_DIR "/%1/%2").arg(picture::renderer(window), suite);
    if (!emptied.contains(folder)) {
        emptied << folder;
        QDir(folder).removeRecursively();
    }
    return QDir().mkpath(folder) ? folder : QString();
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
