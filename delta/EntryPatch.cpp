#include "EntryPatch.h"

#include "Bsdiff.h"
#include "ZstdFrames.h"

namespace selvanix {

namespace {

constexpr int kZstdLevel = 19;

}  // namespace

std::optional<EntryPatch> smallestPatch(std::span<const char> old, std::span<const char> next,
                                        std::uint64_t smallerThan) {
    if (old.size() > kMaxPatchedEntry || next.size() > kMaxPatchedEntry) {
        return std::nullopt;
    }
    std::optional<EntryPatch> best;
    const auto consider = [&](PatchMethod method, QByteArray bytes) {
        const auto size = static_cast<std::uint64_t>(bytes.size());
        if (!bytes.isEmpty() && size < smallerThan && size <= kMaxPatchBytes &&
            (!best || bytes.size() < best->bytes.size())) {
            best = EntryPatch{method, std::move(bytes)};
        }
    };
    consider(PatchMethod::Zstd, zstd::compressAgainst(old, next, kZstdLevel));
    consider(PatchMethod::Bsdiff, bsdiff::make(old, next));
    return best;
}

bool applyPatch(PatchMethod method, std::span<const char> old, std::span<const char> patch,
                std::span<char> out) {
    if (patch.size() > kMaxPatchBytes || out.size() > kMaxPatchedEntry ||
        old.size() > kMaxPatchedEntry) {
        return false;
    }
    switch (method) {
        case PatchMethod::Zstd:
            return zstd::decompressAgainst(old, patch, out);
        case PatchMethod::Bsdiff:
            return bsdiff::apply(old, patch, out);
        case PatchMethod::Whole:
            break;
    }
    return false;
}

}  // namespace selvanix
