#pragma once

#include <QByteArray>
#include <QString>

namespace selvanix::net {

// Writes a received body into a file (installer path). A body that starts at offset 0
// replaces the file through a temporary file renamed into place; a later part is written
// into the existing file at its offset, and a failure there cuts the file back to its old
// length. So a failed save never leaves a new or a longer file. lastModifiedMs (0 = none)
// becomes the file's last-write time.
bool SaveBodyToFile(const QString& path, const QByteArray& body, qint64 offset,
                    qint64 lastModifiedMs);

}  // namespace selvanix::net
