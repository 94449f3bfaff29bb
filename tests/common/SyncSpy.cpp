// Every fsync(2) of a test that asks which folders were synced passes here first: the
// product's library, linked statically into the test, calls this one rather than the C
// library's. So a test sees the sync itself, not only that something opened the folder.
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QFileInfo>
#include <QStringList>
#include <mutex>

namespace {
std::mutex g_mutex;
QStringList g_synced;  // the folders synced since a test last asked
}  // namespace

extern "C" int fsync(int fd) {
    struct stat status {};
    char path[4096];
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    const ssize_t size = ::readlink(link.constData(), path, sizeof path);
    if (::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode) && size > 0) {
        const std::lock_guard<std::mutex> lock(g_mutex);
        g_synced << QString::fromLocal8Bit(path, int(size));
    }
    return int(::syscall(SYS_fsync, fd));
}

bool folderSynced(const QString& folder) {
    const QString path = QFileInfo(folder).canonicalFilePath();
    const std::lock_guard<std::mutex> lock(g_mutex);
    return g_synced.removeAll(path) > 0;
}
