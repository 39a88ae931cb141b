#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>
#include <span>

namespace selvanix {

// How a delta carries one entry of the new archive.
enum class PatchMethod : std::uint8_t {
    Whole = 0,   // its compressed bytes as the new archive holds them
    Zstd = 1,    // a zstd frame of its contents made against the old contents
    Bsdiff = 2,  // a suffix-sorting patch of its contents against the old ones
};

struct EntryPatch {
    PatchMethod method = PatchMethod::Whole;
    QByteArray bytes;
};

// Entries larger than this travel whole: their patches would cost a client too much memory
// and the publisher too much suffix sorting.
inline constexpr std::uint64_t kMaxPatchedEntry = 256ull << 20;
// A patch is read into memory to be applied; none may be larger.
inline constexpr std::uint64_t kMaxPatchBytes = 64ull << 20;

// The smaller of a zstd and a suffix-sorting patch of next against old, when it is smaller
// than smallerThan (the entry's compressed size) and kMaxPatchBytes; nothing otherwise.
std::optional<EntryPatch> smallestPatch(std::span<const char> old, std::span<const char> next,
                                        std::uint64_t smallerThan);

// Rebuilds the contents (out.size() bytes) from old and a patch; false when the patch does
// not make exactly that many bytes or is not one of its method.
bool applyPatch(PatchMethod method, std::span<const char> old, std::span<const char> patch,
                std::span<char> out);

}  // namespace selvanix
