#include "logger.h"

#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QString>
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

const QString MASK = QStringLiteral("********");

// A member name or a configuration key ("gui/settingsPin") that names a secret, as
// the JSON parser hands it over: escapes decoded, so "settings\u0050in" is the PIN.
// Case does not matter, so that no spelling the reader of the log sees as the PIN
// carries its value.
bool isSecret(const QString& key) {
    static const QStringList names{QStringLiteral("password"), QStringLiteral("obu_password"),
                                   QStringLiteral("settingsPin")};
    return names.contains(key.section(QLatin1Char('/'), -1), Qt::CaseInsensitive);
}

// Replaces the value of every secret member, at any depth; true if there was one.
bool maskValue(QJsonValue* value);

bool maskObject(QJsonObject* object) {
    bool masked = false;
    for (auto it = object->begin(); it != object->end(); ++it) {
        if (isSecret(it.key())) {
            it.value() = MASK;
            masked = true;
        } else {
            QJsonValue inner = it.value();
            if (maskValue(&inner)) {
                it.value() = inner;
                masked = true;
            }
        }
    }
    return masked;
}

bool maskValue(QJsonValue* value) {
    if (value->isObject()) {
        QJsonObject object = value->toObject();
        if (maskObject(&object)) {
            *value = object;
            return true;
        }
    } else if (value->isArray()) {
        QJsonArray array = value->toArray();
        bool masked = false;
        for (auto it = array.begin(); it != array.end(); ++it) {
            QJsonValue inner = *it;
            if (maskValue(&inner)) {
                *it = inner;
                masked = true;
            }
        }
        if (masked) {
            *value = array;
            return true;
        }
    }
    return false;
}

}  // namespace

QVariant loggable(const QString& key, const QVariant& value) {
    return isSecret(key) ? QVariant(MASK) : value;
}

QString maskSecrets(const QByteArray& payload) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError) {
        // What the parser cannot read it cannot show as members either.
        return QStringLiteral("(%1 bytes, not JSON)").arg(payload.size());
    }
    QJsonValue root =
        document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
    if (!maskValue(&root)) {
        return QString::fromUtf8(payload);
    }
    // Laid out as it came: on one line, or indented.
    const QJsonDocument masked =
        root.isArray() ? QJsonDocument(root.toArray()) : QJsonDocument(root.toObject());
    return QString::fromUtf8(masked.toJson(payload.contains('\n') ? QJsonDocument::Indented
                                                                  : QJsonDocument::Compact))
        .trimmed();
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
