#include "ScreenRecorder.h"

#include "PictureNotes.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QQuickItem>
#include <QQuickItemGrabResult>
#include <QQuickWindow>
#include <QRegularExpression>

namespace {
const char* const Tag = "[ScreenRecorder] ";
}

ScreenRecorder::ScreenRecorder(QQuickWindow* window, const QString& folder, QObject* parent)
    : QObject(parent), m_window(window), m_folder(folder) {
    m_settleTimer.setSingleShot(true);
    m_settleTimer.setInterval(SettleMillis);
    connect(&m_settleTimer, &QTimer::timeout, this, &ScreenRecorder::onSettled);
    if (!m_window) {
        qWarning() << Tag << "WARN: No window to record";
        return;
    }
    if (!QDir().mkpath(m_folder) || !QFileInfo(m_folder).isWritable()) {
        qWarning() << Tag << "WARN: Cannot write screenshots into : " << m_folder;
        return;
    }
    m_ready = true;
}

void ScreenRecorder::onScreenChanged(const QString& screen) {
    if (!m_ready || !m_window) {
        return;
    }
    // A screen that is replaced before it settled is still saved, as it is now.
    if (m_settleTimer.isActive() || m_frameConnection) {
        m_settleTimer.stop();
        grab();
    }
    m_pending = screen;
    m_settleTimer.start();
}

void ScreenRecorder::onSettled() {
    if (!m_window) {
        return;
    }
    // Grab right after the next frame, so the picture is what the window shows.
    m_frameConnection = connect(m_window, &QQuickWindow::frameSwapped, this, &ScreenRecorder::grab,
                                Qt::QueuedConnection);
    m_window->update();
    // A window that draws no frame (hidden, minimised) is grabbed anyway.
    QTimer::singleShot(SettleMillis, this, [this] {
        if (m_frameConnection) {
            grab();
        }
    });
}

void ScreenRecorder::grab() {
    disconnect(m_frameConnection);
    m_frameConnection = QMetaObject::Connection();
    if (!m_window || m_pending.isEmpty()) {
        return;
    }
    // Only letters, digits, '-' and '_' of the screen's name reach the file name.
    QString name = m_pending;
    name.remove(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]")));
    m_pending.clear();
    ++m_number;
    const QString path = QDir(m_folder).filePath(
        QStringLiteral("%1-%2.png").arg(m_number, 3, 10, QLatin1Char('0')).arg(name));

    const QImage image = m_window->grabWindow();
    if (!image.isNull()) {
        save(image, path);
        return;
    }
    // Where the window cannot be read back (the offscreen platform), the scene
    // graph still renders the window's content into an image, a moment later.
    const QSharedPointer<QQuickItemGrabResult> result = m_window->contentItem()->grabToImage();
    if (!result) {
        qWarning() << Tag << "WARN: Screenshot not saved : " << path;
        return;
    }
    connect(result.data(), &QQuickItemGrabResult::ready, this,
            [this, result, path] { save(result->image(), path); });
}

void ScreenRecorder::save(QImage image, const QString& path) {
    picture::note(image, m_window);
    if (image.isNull() || !image.save(path)) {
        qWarning() << Tag << "WARN: Screenshot not saved : " << path;
        return;
    }
    ++m_count;
    qInfo() << Tag << "Screenshot saved : " << path;
    emit screenSaved(path);
}
