#pragma once

#include "platform/handles/AtomicFile.h"

#include <QChar>
#include <QString>
#include <optional>

namespace selvanix {

// The private-profile functions the profile object stands on. File names are installer paths.

// Without a section: the section names; without a key: the section's key names. Lists go into
// the buffer as NUL-ended names closed by an empty name; the result is the count of units
// before the closing NUL, or size - 2 when the list did not fit. With both: the value (or the
// default when the key is missing), cut to size - 1 units; the result is its length.
// The largest profile file read, 1 MiB: a larger one reads as if empty (every read gives its
// default) and refuses every write, so it is neither parsed into memory nor replaced.
inline constexpr qint64 kMaxProfileBytes = 1 << 20;

int GetPrivateProfileStringW(const std::optional<QString>& section,
                             const std::optional<QString>& key,
                             const std::optional<QString>& defaultValue, QChar* buffer, int size,
                             const QString& fileName);

// With all three: sets the value. Without a value: removes the key. Without a key: erases the
// section. Changes stay pending (reads see them) until written in one atomic rewrite: without a
// section (a flush), when another file is used, and at exit. A write that could not be made
// fails at once. False on failure, with the platform error code in platform::lastError().
// Under LinkAtName::Replace a link at the file name is neither read nor written through: the
// write puts a regular file in its place.
bool WritePrivateProfileStringW(const std::optional<QString>& section,
                                const std::optional<QString>& key,
                                const std::optional<QString>& value, const QString& fileName,
                                platform::LinkAtName links = platform::LinkAtName::Follow);

}  // namespace selvanix
