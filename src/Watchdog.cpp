#include "Watchdog.h"

#include <systemd/sd-daemon.h>
#include <QByteArray>
#include <QDebug>
#include <QQuickWindow>
#include <QThread>

namespace {

const char* const TAG = "[Watchdog]";

// Test aid: QUELLAN_TEST_HANG_GUI_MS=N blocks the GUI thread for good N ms after
// "READY=1", to prove that a hung GUI stops the pings. Unset, it does nothing.
void scheduleTestHang(QObject* context) {
    bool ok = false;
    const int after = qEnvironmentVariableIntValue("QUELLAN_TEST_HANG_GUI_MS", &ok);
    if (!ok || after < 0) {
        return;
    }
    QTimer::singleShot(after, context, [] {
        qWarning() << TAG << "WARN: GUI thread blocked on request (QUELLAN_TEST_HANG_GUI_MS)";
        for (;;) {
            QThread::sleep(3600);
        }
    });
}

}  // namespace

Watchdog::Watchdog(QObject* parent) : QObject(parent) {
    // The variables are taken out of the environment, so that the programs we start
    // (timedatectl) do not report to systemd as if they were the service.
    m_socket = qgetenv("NOTIFY_SOCKET");
    qunsetenv("NOTIFY_SOCKET");
    uint64_t usec = 0;
    // Only when the watchdog is meant for this process (WATCHDOG_PID, if set, is ours).
    if (sd_watchdog_enabled(1, &usec) > 0 && usec > 0 && !m_socket.isEmpty()) {
        const uint64_t half = usec / 2000;
        m_pet.setInterval(static_cast<int>(qBound<uint64_t>(1, half, 3600 * 1000)));
        connect(&m_pet, &QTimer::timeout, this, &Watchdog::pet);
        m_enabled = true;
        qInfo() << TAG << "systemd watchdog every" << usec / 1000 << "ms, pinged every"
                << m_pet.interval() << "ms";
    }
}

void Watchdog::attach(QQuickWindow* window) {
    if (!window) {
        ready();
        return;
    }
    // The threaded render loop swaps on its own thread: queued onto the GUI thread.
    connect(window, &QQuickWindow::frameSwapped, this, &Watchdog::ready, Qt::QueuedConnection);
}

void Watchdog::ready() {
    if (m_ready) {
        return;
    }
    m_ready = true;
    if (notify("READY=1")) {
        qInfo() << TAG << "First frame shown, told systemd the service is ready";
    }
    if (m_enabled) {
        pet();
        m_pet.start();
    }
    scheduleTestHang(this);
}

void Watchdog::pet() {
    notify("WATCHDOG=1");
}

bool Watchdog::notify(const char* state) {
    if (m_socket.isEmpty()) {
        return false;
    }
    // Back for the one call, which takes it out again.
    qputenv("NOTIFY_SOCKET", m_socket);
    return sd_notify(1, state) > 0;
}
