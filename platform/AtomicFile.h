#pragma once

#include <QByteArray>
#include <QString>

namespace selvanix::platform {

// Replaces the content of a file (installer path) so that a crash or a full disk leaves either
// the old or the new content: a new file beside it, flushed, then renamed over it. A symbolic
// link is followed, and the old file's permissions are kept. A file without any write bit is
// refused, as is a missing folder. False on failure, with the code in lastError().
// Cached skips flushing to the device: for content that can be fetched again, where waiting
// for the disk would cost more than a crash could.
enum class Durability { Flushed, Cached };
bool replaceFileAtomically(const QString& path, const QByteArray& content,
                           Durability durability = Durability::Flushed);

}  // namespace selvanix::platform
