#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace devsim {

class DeviceSimulator;

// Reads commands from standard input, one per line, and hands them to the
// simulator. A line that is not a command is reported with its number and
// skipped; the reader goes on with the next line.
class CommandReader : public QObject {
    Q_OBJECT

public:
    CommandReader(DeviceSimulator& simulator, QObject* parent = nullptr);

    // Starts reading file descriptor fd (standard input by default).
    void start(int fd = 0);
    // Takes bytes as if read; complete lines are carried out. Returns the
    // error text of the last bad line in this piece, or an empty text.
    QString feed(const QByteArray& bytes);
    int lineNumber() const { return m_line; }

signals:
    void endOfInput();

private:
    void onReadable();

    DeviceSimulator& m_simulator;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QByteArray m_buffer;
    int m_fd = 0;
    int m_line = 0;
};

}  // namespace devsim
