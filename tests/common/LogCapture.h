#pragma once

#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Every log line written while it lives; each line still reaches the previous handler
// (Qt Test's), so a failing run shows it.
class LogCapture {
public:
    struct Line {
        QtMsgType type;
        QString text;
    };

    LogCapture() {
        s_current = this;
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    void clear() {
        QMutexLocker lock(&m_mutex);
        m_lines.clear();
    }
    QStringList all() const {
        return linesWhere([](const Line&) { return true; });
    }
    QStringList lines(QtMsgType type) const {
        return linesWhere([type](const Line& line) { return line.type == type; });
    }
    // How many lines hold part.
    int count(const QString& part) const { return all().filter(part).size(); }
    bool contains(const QString& part) const { return count(part) > 0; }
    // Warnings of Qt's own about the QML a window shows: binding and type errors
    // ("qrc:/...: ...") and properties whose type QML cannot read ("QMetaProperty").
    QStringList qmlWarnings() const {
        return linesWhere([](const Line& line) {
            return line.type != QtDebugMsg && line.type != QtInfoMsg &&
                   (line.text.startsWith(QLatin1String("qrc:")) ||
                    line.text.startsWith(QLatin1String("file:")) ||
                    line.text.contains(QLatin1String("QMetaProperty")) ||
                    line.text.contains(QLatin1String("unregistered")));
        });
    }

private:
    template <typename Test>
    QStringList linesWhere(Test test) const {
        QMutexLocker lock(&m_mutex);
        QStringList out;
        for (const Line& line : m_lines) {
            if (test(line)) {
                out << line.text;
            }
        }
        return out;
    }
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (LogCapture* self = s_current) {
            {
                QMutexLocker lock(&self->m_mutex);
                self->m_lines.append({type, text});
            }
            if (self->m_previous) {
                self->m_previous(type, context, text);
            }
        }
    }

    inline static LogCapture* s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
    mutable QMutex m_mutex;
    QList<Line> m_lines;
};
