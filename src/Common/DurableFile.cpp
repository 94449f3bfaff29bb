#include "DurableFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>

namespace durable {

bool syncFolderOf(const QString& filePath) {
    const QByteArray folder = QFile::encodeName(QFileInfo(filePath).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    const int reason = errno;
    ::close(fd);
    errno = reason;
    return synced;
}

Result replace(const QString& path, const QByteArray& data, QString* error) {
    QSaveFile file(path);
    const auto fail = [&file, error](const QString& reason) {
        if (error) {
            *error = reason;
        }
        file.cancelWriting();
        return Result::Failed;
    };
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.flush()) {
        return fail(file.errorString());
    }
    // QSaveFile syncs the new file on commit too, but goes on to the rename whatever
    // the sync said: a write the disk could not take would be renamed over the good
    // file. The sync is ours, and so is its result.
    if (::fsync(file.handle()) != 0) {
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (!file.commit()) {
        return fail(file.errorString());
    }
    if (!syncFolderOf(path)) {
        if (error) {
            *error = QString::fromLocal8Bit(std::strerror(errno));
        }
        return Result::NotDurable;
    }
    return Result::Durable;
}

}  // namespace durable
