#include "logger.h"

#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <QLoggingCategory>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace manager {

namespace {

const char* const PLAIN_PATTERN =
    "%{if-fatal}%{function} at %{file}:%{line} (%{pid}:%{threadid}:%{qthreadptr}) - "
    "%{endif}%{message}";

// Info uncoloured, warnings yellow, debug magenta, critical and fatal red; each
// coloured message ends with the reset to the default foreground.
const char* const COLOR_PATTERN =
    "%{if-category}[%{category}] %{endif}"
    "%{if-info}%{message}%{endif}"
    "%{if-warning}\033[33m%{message}\033[39m%{endif}"
    "%{if-debug}\033[35m%{message}\033[39m%{endif}"
    "%{if-critical}\033[31m%{message}\033[39m%{endif}"
    "%{if-fatal}%{function} at %{file}:%{line} (%{pid}:%{threadid}:%{qthreadptr}) - "
    "\033[31m%{message}\033[39m%{endif}";

const char* const RULES[] = {
    "*=true\n*.warning=false\n*.info=false\n*.debug=false\nqt.*=false",  // ERROR
    "*=true\n*.info=false\n*.debug=false\nqt.*=false",                   // WARNING
    "*=true\n*.debug=false\nqt.*=false",                                 // INFO
    "*=true\nqt.*=false",                                                // DEBUG
    "*=true",                                                            // TRACE
};

double nowMillis() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return (static_cast<double>(ts.tv_nsec) + static_cast<double>(ts.tv_sec) * 1e9) / 1e6;
}

// The syslog priority of each message type, and the tag its syslog line carries.
struct Priority {
    int value;
    const char* tag;
};

Priority priorityOf(QtMsgType type) {
    switch (type) {
        case QtDebugMsg:
            return {LOG_DEBUG, "[debug] "};
        case QtWarningMsg:
            return {LOG_WARNING, "[warning] "};
        case QtCriticalMsg:
            return {LOG_CRIT, "[error] "};
        case QtFatalMsg:
            return {LOG_ERR, "[fatal] "};
        case QtInfoMsg:
            break;
    }
    return {LOG_INFO, ""};
}

// systemd names the stream it hands a service as standard error in JOURNAL_STREAM,
// as "device:inode" (systemd.exec(5)); standard error that was redirected since
// (a script's 2>file) is another file.
bool stderrIsJournal() {
    const QList<QByteArray> stream = qgetenv("JOURNAL_STREAM").split(':');
    struct stat status {};
    bool device = false;
    bool inode = false;
    return stream.size() == 2 && fstat(STDERR_FILENO, &status) == 0 &&
           stream.at(0).toULongLong(&device) == status.st_dev && device &&
           stream.at(1).toULongLong(&inode) == status.st_ino && inode;
}

// Runs under the logger's mutex: nothing in here may log.
void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    Logger* logger = Logger::instance();
    logger->getMutex()->lock();
    QByteArray message = qFormatLogMessage(type, context, text).toUtf8();
    const double elapsed = (nowMillis() - logger->getStartTime()) / 1000.0;
    const Priority priority = priorityOf(type);
    // Into the journal through standard error rather than syslog: that stream stays
    // when syslog is switched off, keeps the order of Qt's own lines written there
    // before the logger starts, and carries the unit the journal files it under.
    const bool journal = logger->getStderr() && logger->getStderrIsJournal();

    if (logger->getSyslog() && !journal) {
        syslog(priority.value, "[%9.03f] %s%s", elapsed, priority.tag, message.constData());
    }
    if (journal) {
        // The journal takes each line of the stream as an entry of its own.
        const QByteArray prefix = '<' + QByteArray::number(priority.value) + '>';
        message.replace('\n', '\n' + prefix);
        fprintf(stderr, "%s[%9.03f] %s\n", prefix.constData(), elapsed, message.constData());
        fflush(stderr);
    } else if (logger->getStderr()) {
        fprintf(stderr, "[%9.03f] %s\n", elapsed, message.constData());
        fflush(stderr);
    }
    logger->getMutex()->unlock();

    if (type == QtFatalMsg) {
        abort();
    }
}

const QStringList& secretNames() {
    static const QStringList names{QStringLiteral("password"), QStringLiteral("obu_password"),
                                   QStringLiteral("settingsPin")};
    return names;
}

const QString MASK = QStringLiteral("********");

}  // namespace

QVariant loggable(const QString& key, const QVariant& value) {
    return secretNames().contains(key.section(QLatin1Char('/'), -1)) ? QVariant(MASK) : value;
}

QString maskSecrets(const QString& text) {
    const auto named = [&text](const QString& name) { return text.contains(name); };
    if (std::none_of(secretNames().cbegin(), secretNames().cend(), named)) {
        return text;
    }
    // The key in quotes, optionally after a group ("gui/"), then its value: a JSON
    // string or a bare token such as a number.
    static const QRegularExpression secret(
        QStringLiteral(R"re(("(?:[^"\\/]*/)?(?:%1)"\s*:\s*)("(?:[^"\\]|\\.)*"?|[^\s,}\]]+))re")
            .arg(secretNames().join(QLatin1Char('|'))));
    QString masked = text;
    masked.replace(secret, QStringLiteral("\\1\"") + MASK + QStringLiteral("\""));
    return masked;
}

Logger* Logger::m_instance = nullptr;

Logger* Logger::instance() {
    if (m_instance == nullptr) {
        m_instance = new Logger();
    }
    return m_instance;
}

Logger::Logger() : m_syslog(true), m_stderr(false), m_startTime(nowMillis()) {
    setColor(false);
    setLevel(INFO);
    qInstallMessageHandler(messageHandler);
}

QMutex* Logger::getMutex() {
    return &m_mutex;
}

bool Logger::getSyslog() {
    return m_syslog;
}

bool Logger::getStderr() {
    return m_stderr;
}

bool Logger::getStderrIsJournal() {
    return m_stderrIsJournal;
}

double Logger::getStartTime() {
    return m_startTime;
}

void Logger::setSyslog(bool enabled) {
    QMutexLocker locker(&m_mutex);
    m_syslog = enabled;
}

void Logger::setStderr(bool enabled) {
    QMutexLocker locker(&m_mutex);
    m_stderr = enabled;
    m_stderrIsJournal = stderrIsJournal();
}

void Logger::setColor(bool enabled) {
    QMutexLocker locker(&m_mutex);
    qSetMessagePattern(QString::fromLatin1(enabled ? COLOR_PATTERN : PLAIN_PATTERN));
}

void Logger::setLevel(Level level) {
    if (level < ERROR || level > TRACE) {
        return;
    }
    QMutexLocker locker(&m_mutex);
    QLoggingCategory::setFilterRules(QString::fromLatin1(RULES[level]));
}

void Logger::setLevel(int level) {
    switch (level) {
        case 0:
            setLevel(ERROR);
            break;
        case 1:
            setLevel(WARNING);
            break;
        case 3:
            setLevel(DEBUG);
            break;
        case 4:
            setLevel(TRACE);
            break;
        default:
            setLevel(INFO);
            break;
    }
}

}  // namespace manager
