#include "Watchdog.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <QByteArray>
#include <QDebug>
#include <QQuickWindow>

#include <cstddef>
#include <cstring>

namespace {

const char* const TAG = "[Watchdog]";

// The watchdog interval systemd asks for (WATCHDOG_USEC), in microseconds, when it
// is meant for this process (WATCHDOG_PID unset or ours); 0 otherwise.
quint64 watchdogInterval() {
    bool ok = false;
    const quint64 usec = qgetenv("WATCHDOG_USEC").toULongLong(&ok);
    if (!ok) {
        return 0;
    }
    const QByteArray pid = qgetenv("WATCHDOG_PID");
    if (!pid.isEmpty() && pid.toLongLong() != static_cast<qint64>(getpid())) {
        return 0;
    }
    return usec;
}

// One datagram to systemd's notify socket: a path, or an abstract name written
// with a leading '@'. True when it was sent whole.
bool sendNotify(const QByteArray& socketName, const char* state) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketName.size() < 2 ||
        static_cast<size_t>(socketName.size()) >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, socketName.constData(), static_cast<size_t>(socketName.size()));
    if (address.sun_path[0] == '@') {
        address.sun_path[0] = '\0';
    }
    const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) +
                                                    static_cast<size_t>(socketName.size()));
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const size_t size = std::strlen(state);
    const ssize_t sent =
        sendto(fd, state, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address), length);
    close(fd);
    return sent == static_cast<ssize_t>(size);
}

}  // namespace

Watchdog::Watchdog(QObject* parent) : QObject(parent) {
    // The variables are taken out of the environment, so that the programs we start
    // (timedatectl) do not report to systemd as if they were the service.
    m_socket = qgetenv("NOTIFY_SOCKET");
    qunsetenv("NOTIFY_SOCKET");
    const quint64 usec = watchdogInterval();
    qunsetenv("WATCHDOG_USEC");
    qunsetenv("WATCHDOG_PID");
    if (usec > 0 && !m_socket.isEmpty()) {
        const quint64 half = usec / 2000;
        m_pet.setInterval(static_cast<int>(qBound<quint64>(1, half, 3600 * 1000)));
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
}

void Watchdog::pet() {
    notify("WATCHDOG=1");
}

bool Watchdog::notify(const char* state) {
    if (m_socket.isEmpty()) {
        return false;
    }
    return sendNotify(m_socket, state);
}
