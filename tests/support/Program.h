#pragma once

#include <QProcess>
#include <QString>

// A program the test runs: its output (both channels) is collected while the test's
// event loop runs, and it is ended with the test.
struct Program {
    QProcess process;
    QString output;
    bool start(const QString& path, const QStringList& arguments, const QString& workDir = {}) {
        process.setWorkingDirectory(workDir);
        process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&process, &QProcess::readyRead,
                         [this] { output += QString::fromUtf8(process.readAll()); });
        process.start(path, arguments);
        return process.waitForStarted(10000);
    }
    ~Program() {
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
};
