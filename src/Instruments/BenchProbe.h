#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QQuickWindow;

// Measuring aid for the benchmark programs in bench/. It does nothing unless one of
// these environment variables is set when the program starts:
//   QUELLAN_BENCH_EXIT_AFTER_FIRST_FRAME=1  print the time of the first frame shown
//                                           on screen, then quit;
//   QUELLAN_BENCH_PROBE=1                   print every screen change and the first
//                                           frame shown after it;
//   QUELLAN_BENCH_IDLE_SECONDS=<n>          once idle, count frames and CPU time for
//                                           n seconds, print them, then quit.
// Lines go to standard output, start with "QUELLAN_BENCH " and carry the monotonic
// clock in microseconds, which the benchmark driver shares with this process.
class BenchProbe : public QObject {
    Q_OBJECT

public:
    explicit BenchProbe(QObject* parent = nullptr);

    static bool enabled();
    static qint64 monotonicUs();
    // CPU time (user and system) this process has used so far, in microseconds.
    static qint64 cpuUs();

    // The window whose frames are watched. For a program without screens the idle
    // count starts at the first frame.
    void attach(QQuickWindow* window);
    // The screen changes of the object with a "screen" property and its
    // screenChanged() signal (the GUI manager) are reported, and the idle count
    // starts on the passengers' idle screen. Taken by its properties only, so the
    // floor programs in bench/ can build this class alone.
    void watchScreens(QObject* manager);

private slots:
    void onScreenChanged();

private:
    void onFrameSwapped();
    void startIdleCount();
    void finishIdleCount();

    QQuickWindow* m_window = nullptr;
    QObject* m_manager = nullptr;
    bool m_exitAfterFirstFrame = false;
    bool m_probe = false;
    int m_idleSeconds = 0;
    bool m_firstFrameSeen = false;
    bool m_frameAfterChangePending = false;
    QString m_screen;
    bool m_idleStarted = false;
    bool m_counting = false;
    int m_frames = 0;
    qint64 m_cpuStartUs = 0;
    QElapsedTimer m_idleClock;
};
