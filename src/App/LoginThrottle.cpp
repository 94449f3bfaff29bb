#include "LoginThrottle.h"

#include <time.h>

#include <QDebug>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <algorithm>

#include "DurableFile.h"

namespace {

const char* const TAG = "[SessionManager][Throttle] ";

// Qt's monotonic clock (QElapsedTimer, QDeadlineTimer) is CLOCK_MONOTONIC, which
// stands still while the board is suspended; the boot-time clock runs on, so a
// wait never outlasts the time that really passed.
qint64 bootTimeMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_BOOTTIME, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// A whole number of at least 0 and at most `most`, as the file stores them.
bool wholeNumber(const QJsonValue& value, double most) {
    const double number = value.toDouble(-1);
    return value.isDouble() && number >= 0 && number <= most && number == qint64(number);
}

}  // namespace

LoginThrottle::Clock LoginThrottle::Clock::system() {
    return Clock{bootTimeMs, QString::fromLatin1(QSysInfo::bootUniqueId())};
}

LoginThrottle::LoginThrottle(const QString& statePath, Clock clock)
    : m_path(statePath), m_clock(std::move(clock)) {
    load();
}

qint64 LoginThrottle::remainingMs() const {
    return m_until == 0 ? 0 : std::max<qint64>(0, m_until - m_clock.now());
}

bool LoginThrottle::fail() {
    m_failures = std::min(m_failures + 1, 1000000);
    const bool waits = m_failures >= FreeAttempts;
    if (waits) {
        const int doublings = std::min(m_failures - FreeAttempts, 16);
        m_waitMs = std::min(FirstWaitMs << doublings, LongestWaitMs);
        m_until = m_clock.now() + m_waitMs;
    }
    save();
    return waits;
}

void LoginThrottle::succeed() {
    if (m_failures == 0 && m_until == 0) {
        return;
    }
    m_failures = 0;
    m_until = 0;
    m_waitMs = 0;
    save();
}

void LoginThrottle::expire() {
    if (m_until != 0) {
        m_until = 0;
        save();
    }
}

void LoginThrottle::load() {
    m_failures = 0;
    m_until = 0;
    m_waitMs = 0;
    QFile file(m_path);
    if (!file.exists()) {
        return;
    }
    const qint64 now = m_clock.now();
    QJsonParseError error{};
    const QJsonObject state = file.open(QIODevice::ReadOnly)
                                  ? QJsonDocument::fromJson(file.read(4096), &error).object()
                                  : QJsonObject();
    const QJsonValue until = state.value(QStringLiteral("until"));
    const QJsonValue wait = state.value(QStringLiteral("wait"));
    const bool good = error.error == QJsonParseError::NoError &&
                      state.value(QStringLiteral("boot")).isString() &&
                      wholeNumber(state.value(QStringLiteral("failures")), 1000000) &&
                      wholeNumber(until, 9e15) && wholeNumber(wait, LongestWaitMs) &&
                      (until.toDouble() == 0 || wait.toDouble() >= FirstWaitMs);
    if (!good) {
        // Whatever the file held is lost: wait as after the first refusals, and let
        // the next wrong PIN double it. Writing the state again repairs the file.
        m_failures = FreeAttempts;
        m_waitMs = FirstWaitMs;
        m_until = now + m_waitMs;
        qWarning().noquote() << TAG
                             << QStringLiteral(
                                    "WARN: State unreadable, settings locked for %1 s : %2")
                                    .arg(m_waitMs / 1000)
                                    .arg(m_path);
        save();
        return;
    }
    m_failures = state.value(QStringLiteral("failures")).toInt();
    m_waitMs = qint64(wait.toDouble());
    const qint64 end = qint64(until.toDouble());
    if (end == 0) {
        return;
    }
    if (m_clock.bootId.isEmpty() ||
        state.value(QStringLiteral("boot")).toString() != m_clock.bootId) {
        // The end was counted on the clock of an earlier boot, and how long the
        // board was off is unknown: the wait starts again.
        m_until = now + m_waitMs;
        qInfo().noquote()
            << TAG << QStringLiteral("Wait restarted after a reboot : %1 s").arg(m_waitMs / 1000);
        save();
        return;
    }
    // Never longer than the wait itself, whatever the file says.
    m_until = std::min(end, now + m_waitMs);
}

void LoginThrottle::save() const {
    const QJsonObject state{{QStringLiteral("boot"), m_clock.bootId},
                            {QStringLiteral("failures"), m_failures},
                            {QStringLiteral("until"), double(m_until)},
                            {QStringLiteral("wait"), double(m_waitMs)}};
    if (durable::replace(m_path, QJsonDocument(state).toJson()) == durable::Result::Failed) {
        qWarning().noquote() << TAG << QStringLiteral("WARN: Cannot write state : ") + m_path;
    }
}
