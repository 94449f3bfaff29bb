#pragma once

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QVariant>

namespace manager {

// What a log line never shows: the value of a member named "password",
// "obu_password" or "settingsPin" (in any case), also as the last part of a
// configuration key such as "gui/settingsPin". The member is known by its name as
// the JSON parser reads it, escapes decoded. Both functions below follow that one rule.

// A configuration value as a log line may show it: "********" for a secret key.
QVariant loggable(const QString& key, const QVariant& value);

// A payload as a log line may show it: as it came when it holds no secret member; with
// the value of every secret member, at any depth, reading "********" (and the JSON
// laid out anew) when it does; and only its size when it is not JSON.
QString maskSecrets(const QByteArray& payload);

// The process-wide log output. It installs Qt's message handler on first use, lets
// through the levels of the configured log level, prefixes each line with the
// seconds since start and writes it to syslog, standard error, or both.
//
// Under systemd, standard error already is a stream into the journal. A line
// written to both would be in the journal twice, so when standard error is that
// stream a line goes there only, its priority as the "<N>" prefix the journal reads
// off a service's output (sd-daemon(3)), and not to syslog.
class Logger {
public:
    enum Level { ERROR = 0, WARNING = 1, INFO = 2, DEBUG = 3, TRACE = 4 };

    static Logger* instance();

    QMutex* getMutex();
    bool getSyslog();
    bool getStderr();
    bool getStderrIsJournal();
    double getStartTime();

    void setSyslog(bool enabled);
    // Also looks whether standard error is the journal's stream.
    void setStderr(bool enabled);
    void setColor(bool enabled);
    void setLevel(Level level);
    // 0, 1, 3 and 4 are error, warning, debug and trace; any other number is info.
    void setLevel(int level);

private:
    Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    static Logger* m_instance;

    QMutex m_mutex;
    bool m_syslog;
    bool m_stderr;
    bool m_stderrIsJournal = false;
    double m_startTime;
};

}  // namespace manager
