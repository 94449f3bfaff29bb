#pragma once

#include <sys/inotify.h>
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

inline int watchFolder(const QString& folder) {
    const int fd = inotify_init1(IN_NONBLOCK);
    inotify_add_watch(fd, QFile::encodeName(folder).constData(), IN_OPEN);
    return fd;
}

// Whether the watched folder itself, not a file in it, was opened since the last call:
// the stores open it only to sync it, the sync itself is not to be seen.
inline bool folderOpened(int watch) {
    alignas(inotify_event) char buffer[65536];
    bool opened = false;
    for (ssize_t at = 0, size = read(watch, buffer, sizeof buffer); at < size;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        opened = opened || event->len == 0;
        at += ssize_t(sizeof(inotify_event) + event->len);
    }
    return opened;
}
