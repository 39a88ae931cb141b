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

class BodyFile;
// The same rules for a body kept in a file beside the destination: from offset 0 the file
// itself takes the destination's name (no copy); a later part is copied in at its offset.
bool SaveBodyToFile(const QString& path, BodyFile& body, qint64 offset, qint64 lastModifiedMs);

}  // namespace selvanix::net
