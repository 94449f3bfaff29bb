#include "CommandReader.h"

#include <unistd.h>

#include <QDebug>

#include "Command.h"
#include "DeviceSimulator.h"

namespace devsim {

CommandReader::CommandReader(DeviceSimulator& simulator, QObject* parent)
    : QObject(parent), m_simulator(simulator) {}

void CommandReader::start(int fd) {
    m_fd = fd;
    m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &CommandReader::onReadable);
}

void CommandReader::onReadable() {
    char chunk[4096];
    const ssize_t count = ::read(m_fd, chunk, sizeof chunk);
    if (count <= 0) {
        // End of input (or a closed terminal): the services go on without it.
        m_notifier->setEnabled(false);
        if (!m_buffer.isEmpty()) {
            feed(QByteArrayLiteral("\n"));
        }
        emit endOfInput();
        return;
    }
    feed(QByteArray(chunk, int(count)));
}

QString CommandReader::feed(const QByteArray& bytes) {
    QString lastError;
    m_buffer += bytes;
    int end;
    while ((end = m_buffer.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_buffer.left(end));
        m_buffer.remove(0, end + 1);
        ++m_line;
        QString error;
        const Command command = Command::parse(line, &error);
        if (!error.isEmpty()) {
            lastError = QStringLiteral("line %1: %2").arg(m_line).arg(error);
            qWarning().noquote() << "[devsim]" << lastError;
            continue;
        }
        m_simulator.run(command);
    }
    if (m_buffer.size() > 65536) {
        // No command is that long: drop the runaway line rather than grow.
        m_buffer.clear();
        lastError = QStringLiteral("line %1: line too long; dropped").arg(m_line + 1);
        qWarning().noquote() << "[devsim]" << lastError;
    }
    return lastError;
}

}  // namespace devsim
