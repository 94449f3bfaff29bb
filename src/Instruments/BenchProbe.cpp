#include "BenchProbe.h"

#include <sys/resource.h>
#include <QCoreApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTimer>
#include <QVariant>
#include <cstdio>
#include <ctime>

namespace {

qint64 nowUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// Taken while the program's static objects are built, before main runs.
const qint64 kProcessStartUs = nowUs();

void emitLine(const QByteArray& line) {
    std::fputs("QUELLAN_BENCH ", stdout);
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Settling time before the idle count, so start-up work is not counted.
constexpr int kIdleSettleMs = 1000;

}  // namespace

BenchProbe::BenchProbe(QObject* parent)
    : QObject(parent),
      m_exitAfterFirstFrame(qEnvironmentVariableIntValue("QUELLAN_BENCH_EXIT_AFTER_FIRST_FRAME") ==
                            1),
      m_probe(qEnvironmentVariableIntValue("QUELLAN_BENCH_PROBE") == 1),
      m_idleSeconds(qEnvironmentVariableIntValue("QUELLAN_BENCH_IDLE_SECONDS")) {}

bool BenchProbe::enabled() {
    return qEnvironmentVariableIntValue("QUELLAN_BENCH_EXIT_AFTER_FIRST_FRAME") == 1 ||
           qEnvironmentVariableIntValue("QUELLAN_BENCH_PROBE") == 1 ||
           qEnvironmentVariableIntValue("QUELLAN_BENCH_IDLE_SECONDS") > 0;
}

qint64 BenchProbe::monotonicUs() {
    return nowUs();
}

qint64 BenchProbe::cpuUs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (static_cast<qint64>(usage.ru_utime.tv_sec) + usage.ru_stime.tv_sec) * 1000000 +
           usage.ru_utime.tv_usec + usage.ru_stime.tv_usec;
}

void BenchProbe::attach(QQuickWindow* window) {
    if (window == nullptr || m_window != nullptr) {
        return;
    }
    m_window = window;
    // Direct: on the threaded render loop the signal comes from the render thread,
    // and the time must be taken when the frame is swapped, not when it is queued.
    connect(window, &QQuickWindow::frameSwapped, this, &BenchProbe::onFrameSwapped,
            Qt::DirectConnection);
}

void BenchProbe::watchScreens(QObject* manager) {
    m_manager = manager;
    m_screen = manager->property("screen").toString();
    connect(manager, SIGNAL(screenChanged()), this, SLOT(onScreenChanged()));
}

void BenchProbe::onFrameSwapped() {
    const qint64 now = nowUs();
    if (!m_firstFrameSeen) {
        m_firstFrameSeen = true;
        emitLine(QStringLiteral("first-frame mono_us=%1 since_start_ms=%2")
                     .arg(now)
                     .arg((now - kProcessStartUs) / 1000.0, 0, 'f', 1)
                     .toLatin1());
        if (m_exitAfterFirstFrame) {
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
            return;
        }
        if (m_manager == nullptr && m_idleSeconds > 0) {
            QMetaObject::invokeMethod(this, &BenchProbe::startIdleCount, Qt::QueuedConnection);
        }
    }
    if (m_frameAfterChangePending) {
        m_frameAfterChangePending = false;
        if (m_probe) {
            emitLine(
                QStringLiteral("frame screen=%1 mono_us=%2").arg(m_screen).arg(now).toLatin1());
        }
    }
    if (m_counting) {
        ++m_frames;
    }
}

void BenchProbe::onScreenChanged() {
    m_screen = m_manager->property("screen").toString();
    m_frameAfterChangePending = true;
    if (m_probe) {
        emitLine(
            QStringLiteral("screen screen=%1 mono_us=%2").arg(m_screen).arg(nowUs()).toLatin1());
    }
    if (m_idleSeconds > 0 && m_screen == QLatin1String("ScanScreens")) {
        startIdleCount();
    }
}

void BenchProbe::startIdleCount() {
    if (m_idleStarted) {
        return;
    }
    m_idleStarted = true;
    QTimer::singleShot(kIdleSettleMs, this, [this]() {
        m_frames = 0;
        m_cpuStartUs = cpuUs();
        m_idleClock.start();
        m_counting = true;
        QTimer::singleShot(m_idleSeconds * 1000, this, &BenchProbe::finishIdleCount);
    });
}

void BenchProbe::finishIdleCount() {
    m_counting = false;
    const qint64 cpu = cpuUs() - m_cpuStartUs;
    // The item with the keyboard focus: a focused text field blinks its cursor and
    // draws frames even while its page is hidden.
    const QQuickItem* focus = m_window != nullptr ? m_window->activeFocusItem() : nullptr;
    const QString focusName =
        focus == nullptr
            ? QStringLiteral("-")
            : QString::fromLatin1(focus->metaObject()->className()) + QLatin1Char(':') +
                  (focus->objectName().isEmpty() ? QStringLiteral("?") : focus->objectName());
    emitLine(QStringLiteral("idle frames=%1 cpu_ms=%2 wall_ms=%3 screen=%4 focus=%5")
                 .arg(m_frames)
                 .arg(cpu / 1000.0, 0, 'f', 1)
                 .arg(m_idleClock.elapsed())
                 .arg(m_manager != nullptr ? m_manager->property("screen").toString()
                                           : QStringLiteral("-"))
                 .arg(focusName)
                 .toLatin1());
    QCoreApplication::quit();
}
