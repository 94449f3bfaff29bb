#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QImage;
class QQuickWindow;

// Saves a picture of every screen the window shows into a folder, numbered in
// order and named after the screen ("001-Busy.png", "002-ScanScreens.png", ...),
// so that a person can look at a run without a display. After a screen change it
// lets the page settle, then grabs the window once the next frame is drawn.
class ScreenRecorder : public QObject {
    Q_OBJECT

public:
    ScreenRecorder(QQuickWindow* window, const QString& folder, QObject* parent = nullptr);

    // True when the folder exists (it is created) and is writable.
    bool isReady() const { return m_ready; }
    QString folder() const { return m_folder; }
    int saved() const { return m_count; }

    // How long a page gets to settle before it is grabbed.
    static const int SettleMillis = 600;

public slots:
    // Call with the new screen's name after every screen change.
    void onScreenChanged(const QString& screen);

signals:
    void screenSaved(const QString& path);

private:
    void onSettled();
    void grab();
    // Saves the picture with its notes for comparing renderers (PictureNotes.h).
    void save(QImage image, const QString& path);

    QPointer<QQuickWindow> m_window;
    QString m_folder;
    QString m_pending;
    QTimer m_settleTimer;
    QMetaObject::Connection m_frameConnection;
    int m_number = 0;  // of the last picture taken
    int m_count = 0;   // pictures saved
    bool m_ready = false;
};
