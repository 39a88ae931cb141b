#pragma once

#include <QByteArray>
#include <QString>

struct stat;

namespace selvanix::platform {

// Replaces the content of a file (installer path) so that a crash or a full disk leaves either
// the old or the new content: a new file beside it, flushed, then renamed over it. A symbolic
// link is followed, and the old file's permissions are kept. A file without any write bit is
// refused, as is a missing folder. False on failure, with the code in lastError().
// Cached skips flushing to the device: for content that can be fetched again, where waiting
// for the disk would cost more than a crash could.
enum class Durability { Flushed, Cached };
// Replace is for files in folders others may control: a symbolic link (or a second hard link)
// at the name is replaced by the new file, and what it points to is neither read nor changed.
enum class LinkAtName { Follow, Replace };
bool replaceFileAtomically(const QString& path, const QByteArray& content,
                           Durability durability = Durability::Flushed,
                           LinkAtName links = LinkAtName::Follow);

// Whether replaceFileAtomically could replace the file now (its folder there and writable, the
// file, when there, writable), with the code in lastError() when not; writes nothing.
bool canReplaceFile(const QString& path, LinkAtName links = LinkAtName::Follow);

// Whether what stands at a host path is not the caller's to read or keep under the Replace
// rule: a symbolic link, or a file with more than one name.
bool isForeignLink(const struct stat& status);

}  // namespace selvanix::platform
