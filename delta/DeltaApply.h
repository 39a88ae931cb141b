#pragma once

#include "PatchFile.h"
#include "archive/ZipDirectory.h"

#include "platform/handles/File.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace selvanix {

// Where rebuilt bytes go as they come, before anyone knows they are right.
using RebuiltBytes = std::function<bool(const char* data, qint64 size)>;

// Rebuilds the compressed bytes of entry (a record of the new directory) from its delta record,
// through out; true when they came out at its compressed size, CRC-32 and SHA-256 (expected).
// Applying holds the old and the new contents and the patch: the entry's sizes are checked
// against the record and the limits before anything is allocated or decoded.
bool rebuildEntry(const platform::File& delta, const PatchRecord& record, const platform::File& old,
                  const ZipLayout& oldLayout, const ZipRecord& entry, const QByteArray& expected,
                  const RebuiltBytes& out);

// A fetched delta whose size and SHA-256 are the ones the signed index names, with its records
// and the index's hashes of the entries it carries. Nothing of it was read before that check.
struct VerifiedDelta {
    platform::File file;
    std::vector<PatchRecord> records;
    std::map<std::uint64_t, QByteArray> hashes;
};

// Opens the delta at path (installer path) when its size and SHA-256 are size and sha256 and
// its records can be read; nothing otherwise.
std::optional<VerifiedDelta> openVerifiedDelta(const QString& path, std::uint64_t size,
                                               const QByteArray& sha256,
                                               std::map<std::uint64_t, QByteArray> hashes);

}  // namespace selvanix
