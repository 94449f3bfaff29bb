#pragma once

#include <QByteArray>
#include <QString>

// Files the device must find again after its power is cut (the configuration, the
// event store, small state files). A replace by rename is atomic, but the rename
// itself lives in the folder: until the folder is synced too, a power cut can
// bring back the old file even though the new one was written and synced.
namespace durable {

// Syncs the folder that holds filePath, so a rename or a new file in it survives
// a power cut. Returns false if the folder cannot be opened or synced.
bool syncFolderOf(const QString& filePath);

// Writes data to a temporary file beside path, syncs it, renames it over path and
// syncs the folder. Either the old contents or the new ones are found after a
// crash or a power cut, never a mixture. Returns false on any failure, with the
// old file left as it was, and the reason in error if one is given.
bool replace(const QString& path, const QByteArray& data, QString* error = nullptr);

}  // namespace durable
