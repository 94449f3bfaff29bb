#pragma once

#include <QString>
#include <functional>

// Slows down guessing of the settings PIN. The login page can be opened by any
// passenger; without a limit the four digits fall in a few hours. After
// FreeAttempts wrong PINs in a row the login waits FirstWaitMs, and every further
// wrong PIN doubles the wait up to LongestWaitMs; a correct PIN forgets them.
//
// The count and the end of the wait are kept in a small file, so that a restart
// of the program (watchdog, crash, "Restart Application") does not reopen the
// door. The wait runs on the kernel's boot-time clock, which neither NTP nor a
// technician can set: a wall clock set back or forward changes nothing. That
// clock starts again at each boot, so the file also names the boot it counts
// from; after a reboot a wait that was running starts again from its full length.
class LoginThrottle {
public:
    struct Clock {
        // Milliseconds on a clock that only runs forward, counted from boot.
        std::function<qint64()> now;
        // Which boot `now` counts from; empty when unknown (never taken as the same).
        QString bootId;
        // CLOCK_BOOTTIME and the kernel's boot id.
        static Clock system();
    };

    static constexpr int FreeAttempts = 5;
    static constexpr qint64 FirstWaitMs = 30000;
    static constexpr qint64 LongestWaitMs = 900000;

    // statePath: the file that keeps the count and the wait; read at once.
    explicit LoginThrottle(const QString& statePath, Clock clock = Clock::system());

    QString statePath() const { return m_path; }
    // Wrong PINs in a row since the last correct one.
    int failures() const { return m_failures; }
    // Milliseconds until PINs are checked again; 0 when they are.
    qint64 remainingMs() const;

    // A wrong PIN, typed while PINs are checked. True when it starts a wait.
    bool fail();
    // A correct PIN: the count starts again.
    void succeed();
    // The wait is over: forget its end, so that a reboot does not start it again.
    void expire();

private:
    void load();
    void save() const;

    QString m_path;
    Clock m_clock;
    int m_failures = 0;
    // End of the running or last wait on the clock, 0 when none is kept.
    qint64 m_until = 0;
    // Length of that wait.
    qint64 m_waitMs = 0;
};
