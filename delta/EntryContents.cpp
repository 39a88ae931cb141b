#include "EntryContents.h"

#include "archive/Crc32.h"
#include "archive/Inflater.h"
#include "archive/ZipRecords.h"
#include "platform/handles/File.h"

#include <algorithm>

namespace selvanix {

namespace {

constexpr qint64 kPiece = 1 << 20;

bool readable(const ZipLayout& layout, std::size_t entry, std::uint64_t limit) {
    if (entry >= layout.directory.entries.size()) {
        return false;
    }
    const ZipRecord& r = layout.directory.entries[entry];
    const bool method = r.method == ZipMethod::Stored || r.method == ZipMethod::Deflated;
    return method && (r.flags & 0x0001) == 0 && r.size <= limit && r.compressedSize <= limit &&
           layout.dataOffsets[entry] + r.compressedSize <= static_cast<std::uint64_t>(layout.size);
}

bool whole(const ZipRecord& r, const QByteArray& contents) {
    return static_cast<std::uint64_t>(contents.size()) == r.size &&
           crc32Of(contents.constData(), static_cast<std::size_t>(contents.size())) == r.crc;
}

}  // namespace

std::optional<QByteArray> entryCompressed(const platform::File& archive, const ZipLayout& layout,
                                          std::size_t entry, std::uint64_t limit) {
    if (!readable(layout, entry, limit)) {
        return std::nullopt;
    }
    const ZipRecord& r = layout.directory.entries[entry];
    QByteArray bytes(static_cast<qsizetype>(r.compressedSize), Qt::Uninitialized);
    if (archive.readAt(static_cast<qint64>(layout.dataOffsets[entry]), bytes.data(),
                       bytes.size()) != bytes.size()) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<QByteArray> entryContents(const platform::File& archive, const ZipLayout& layout,
                                        std::size_t entry, std::uint64_t limit) {
    if (!readable(layout, entry, limit)) {
        return std::nullopt;
    }
    const ZipRecord& r = layout.directory.entries[entry];
    if (r.method == ZipMethod::Stored) {
        std::optional<QByteArray> stored = entryCompressed(archive, layout, entry, limit);
        return stored && whole(r, *stored) ? stored : std::nullopt;
    }
    // Inflated from pieces of the data, so only the contents are held whole.
    QByteArray contents(static_cast<qsizetype>(r.size), Qt::Uninitialized);
    QByteArray piece(kPiece, Qt::Uninitialized);
    Inflater inflater;
    std::uint64_t read = 0;
    std::size_t produced = 0;
    bool ended = false;
    while (!ended) {
        if (inflater.inputLeft() == 0) {
            const qint64 n =
                static_cast<qint64>(std::min<std::uint64_t>(kPiece, r.compressedSize - read));
            if (n == 0 || archive.readAt(static_cast<qint64>(layout.dataOffsets[entry] + read),
                                         piece.data(), n) != n) {
                return std::nullopt;
            }
            read += static_cast<std::uint64_t>(n);
            inflater.setInput(reinterpret_cast<const unsigned char*>(piece.constData()),
                              static_cast<std::size_t>(n));
        }
        // One byte of room past the size tells a stream that would grow beyond it.
        unsigned char spill = 0;
        const bool full = produced == static_cast<std::size_t>(contents.size());
        const Inflater::Step step =
            full ? inflater.inflate(&spill, 1)
                 : inflater.inflate(reinterpret_cast<unsigned char*>(contents.data()) + produced,
                                    static_cast<std::size_t>(contents.size()) - produced);
        if (step.failed || (full && step.produced > 0)) {
            return std::nullopt;
        }
        produced += full ? 0 : step.produced;
        ended = step.ended;
        if (!ended && step.produced == 0 && inflater.inputLeft() != 0) {
            return std::nullopt;  // no progress with input left: a stream that goes nowhere
        }
    }
    return whole(r, contents) ? std::optional<QByteArray>(std::move(contents)) : std::nullopt;
}

}  // namespace selvanix
