#include "DeltaBuilder.h"

#include "EntryContents.h"
#include "PatchFile.h"

#include <QCryptographicHash>
#include <QHash>

namespace selvanix {

namespace {

constexpr std::uint64_t kAnySize = 4ull << 30;

std::span<const char> view(const QByteArray& b) {
    return {b.constData(), static_cast<std::size_t>(b.size())};
}

}  // namespace

std::optional<BuiltDelta> buildDelta(const platform::File& previous, const platform::File& next) {
    const std::optional<ZipLayout> old = readZipLayout(previous);
    const std::optional<ZipLayout> now = readZipLayout(next);
    if (!old || !now) {
        return std::nullopt;
    }
    QHash<QByteArray, std::size_t> oldByName;
    for (std::size_t i = 0; i < old->directory.entries.size(); ++i) {
        oldByName.insert(old->directory.entries[i].name, i);
    }
    BuiltDelta built;
    std::vector<std::pair<PatchRecord, QByteArray>> records;
    for (std::size_t i = 0; i < now->directory.entries.size(); ++i) {
        const ZipRecord& entry = now->directory.entries[i];
        const std::optional<QByteArray> compressed = entryCompressed(next, *now, i, kAnySize);
        if (!compressed) {
            return std::nullopt;
        }
        const auto match = oldByName.constFind(entry.name);
        std::optional<QByteArray> oldCompressed;
        if (match != oldByName.constEnd()) {
            oldCompressed = entryCompressed(previous, *old, *match, kAnySize);
        }
        if (oldCompressed && *oldCompressed == *compressed &&
            old->directory.entries[*match].sameContent(entry)) {
            ++built.unchanged;  // the assembly takes it from the kept archive
            continue;
        }
        PatchRecord record{.newOffset = entry.localOffset,
                           .method = PatchMethod::Whole,
                           .size = static_cast<std::uint64_t>(compressed->size())};
        QByteArray payload = *compressed;
        if (oldCompressed && entry.size <= kMaxPatchedEntry) {
            const auto oldContents = entryContents(previous, *old, *match, kMaxPatchedEntry);
            const auto contents = entryContents(next, *now, i, kMaxPatchedEntry);
            const auto patch =
                oldContents && contents
                    ? smallestPatch(view(*oldContents), view(*contents), entry.compressedSize)
                    : std::nullopt;
            if (patch) {
                record.oldOffset = old->directory.entries[*match].localOffset;
                record.method = patch->method;
                record.size = entry.size;
                payload = patch->bytes;
            }
        }
        ++(record.method == PatchMethod::Whole ? built.whole : built.patched);
        built.hashes[entry.localOffset] =
            QCryptographicHash::hash(*compressed, QCryptographicHash::Sha256).toHex();
        records.emplace_back(record, std::move(payload));
    }
    built.bytes = PatchFile::write(records);
    return built;
}

}  // namespace selvanix
