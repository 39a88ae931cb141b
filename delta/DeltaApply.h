#pragma once

#include "PatchFile.h"
#include "archive/ZipDirectory.h"

#include <QByteArray>
#include <functional>

namespace selvanix {

namespace platform {
class File;
}

// Where rebuilt bytes go as they come, before anyone knows they are right.
using RebuiltBytes = std::function<bool(const char* data, qint64 size)>;

// Rebuilds the compressed bytes of entry (a record of the new directory) from its delta record,
// through out; true when they came out at its compressed size, CRC-32 and SHA-256 (expected).
// Applying holds the old and the new contents and the patch: the entry's sizes are checked
// against the record and the limits before anything is allocated or decoded.
bool rebuildEntry(const platform::File& delta, const PatchRecord& record, const platform::File& old,
                  const ZipLayout& oldLayout, const ZipRecord& entry, const QByteArray& expected,
                  const RebuiltBytes& out);

}  // namespace selvanix
