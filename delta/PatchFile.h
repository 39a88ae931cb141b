#pragma once

#include "EntryPatch.h"

#include <QByteArray>
#include <cstdint>
#include <optional>
#include <vector>

namespace selvanix {

namespace platform {
class File;
}

// One entry of the new archive as a delta carries it.
struct PatchRecord {
    std::uint64_t newOffset = 0;  // its local header in the new archive
    std::uint64_t oldOffset = 0;  // the old entry's local header in the archive it starts from
    PatchMethod method = PatchMethod::Whole;
    std::uint64_t size = 0;       // the new contents' size (Whole: its compressed size)
    std::uint64_t payloadAt = 0;  // where its patch (or bytes) lie in the delta file
    std::uint64_t payloadLength = 0;
};

// A delta: "selvanix-delta 1\n", the record count, then each record's fixed fields and its
// payload, all numbers little-endian. Written by the publisher, read by a client only after
// the file's SHA-256 matched the signed index.
class PatchFile {
public:
    static constexpr std::uint32_t kMaxRecords = 1 << 20;

    // The delta holding these records (payloadAt ignored) with their payloads.
    static QByteArray write(const std::vector<std::pair<PatchRecord, QByteArray>>& records);

    // Reads the record headers of a delta file; nothing when any lies outside the file, two
    // overlap, or a size exceeds what its method allows.
    static std::optional<std::vector<PatchRecord>> read(const platform::File& file);
};

}  // namespace selvanix
