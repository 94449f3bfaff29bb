#pragma once

#include <QImage>
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

// A picture of the whole window as the user sees it: the screens and, above them,
// every open popup and menu (the popup layer lies in the window's content item). The
// offscreen platform's window grab gives no image, so the content item is rendered,
// on the window colour where it is transparent.
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
    return shot;
}

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
