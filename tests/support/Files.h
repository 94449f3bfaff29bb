#pragma once

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryFile>
#include <cstdio>
#include <functional>

// Writes the file whole, making its folder first.
inline bool writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

// Everything the process writes to the file descriptor fd (standard output or error)
// while fn runs, one entry per line.
inline QStringList outputOf(int fd, const std::function<void()>& fn) {
    QTemporaryFile file;
    file.open();
    std::fflush(nullptr);
    const int saved = dup(fd);
    dup2(file.handle(), fd);
    fn();
    std::fflush(nullptr);
    dup2(saved, fd);
    close(saved);
    file.seek(0);
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

// Whether the folder itself was fsync'ed since the last call (tests/common/SyncSpy.cpp):
// what the stores confirm must last through a power cut.
bool folderSynced(const QString& folder);
