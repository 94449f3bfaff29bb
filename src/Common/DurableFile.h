#pragma once

#include <QByteArray>
#include <QString>

// Files the device must find again after its power is cut (the configuration, the
// event store, small state files). A replace by rename is atomic, but the rename
// itself lives in the folder: until the folder is synced too, a power cut can
// bring back the old file even though the new one was written and synced.
namespace durable {

// How far a replace got.
enum class Result {
    // Nothing replaced: the old file is as it was (full disk, read-only file system,
    // an I/O error while writing or syncing the new contents).
    Failed,
    // The new contents are synced and renamed over the old file, but the folder could
    // not be synced: the file holds them now, a power cut may still bring back the old.
    NotDurable,
    // Synced, renamed and the folder synced: the new contents survive a power cut.
    Durable,
};

// Syncs the folder that holds filePath, so a rename or a new file in it survives
// a power cut. Returns false if the folder cannot be opened or synced (errno says why).
bool syncFolderOf(const QString& filePath);

// Writes data to a temporary file beside path, syncs it, renames it over path and
// syncs the folder. Either the old contents or the new ones are found after a
// crash or a power cut, never a mixture. Short of Durable, the reason is in error
// if one is given.
Result replace(const QString& path, const QByteArray& data, QString* error = nullptr);

}  // namespace durable
