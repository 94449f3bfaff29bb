#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

class QQuickWindow;

// Tells systemd how the program is doing when the service runs it (Type=notify):
// "READY=1" once the window has shown its first frame, then "WATCHDOG=1" from a
// timer of the GUI thread's event loop at half the watchdog interval, so that a
// GUI thread that hangs stops the pings and systemd restarts the service. Outside
// systemd (no NOTIFY_SOCKET, no WATCHDOG_USEC) it sends nothing.
class Watchdog : public QObject {
    Q_OBJECT

public:
    explicit Watchdog(QObject* parent = nullptr);

    // Sends "READY=1" after the window's first frame, or at once without a window
    // (a failed QML load must not keep the service in its start-up state).
    void attach(QQuickWindow* window);

private:
    void ready();
    void pet();
    bool notify(const char* state);

    QByteArray m_socket;
    QTimer m_pet;
    bool m_enabled = false;
    bool m_ready = false;
};
