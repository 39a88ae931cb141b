#include "DeltaApply.h"

#include "EntryContents.h"
#include "archive/Crc32.h"
#include "archive/EntryDeflate.h"
#include "archive/ZipRecords.h"
#include "config/Signature.h"
#include "platform/handles/File.h"

#include <QCryptographicHash>
#include <algorithm>

namespace selvanix {

namespace {

constexpr qint64 kPiece = 1 << 20;
constexpr qint64 kDeflateSlack = 64;

// Counts and hashes what passes on to out.
class Hashed {
public:
    explicit Hashed(const RebuiltBytes& out) : out_(out) {}
    bool operator()(const char* data, qint64 size) {
        hash_.addData(QByteArrayView(data, size));
        length_ += static_cast<std::uint64_t>(size);
        return out_(data, size);
    }
    bool matches(const ZipRecord& entry, const QByteArray& expected) const {
        return length_ == entry.compressedSize && hash_.result().toHex() == expected;
    }

private:
    const RebuiltBytes& out_;
    QCryptographicHash hash_{QCryptographicHash::Sha256};
    std::uint64_t length_ = 0;
};

bool copyWhole(const platform::File& delta, const PatchRecord& record, Hashed& out) {
    QByteArray piece(kPiece, Qt::Uninitialized);
    for (std::uint64_t done = 0; done < record.payloadLength;) {
        const auto n =
            static_cast<qint64>(std::min<std::uint64_t>(kPiece, record.payloadLength - done));
        if (delta.readAt(static_cast<qint64>(record.payloadAt + done), piece.data(), n) != n ||
            !out(piece.constData(), n)) {
            return false;
        }
        done += static_cast<std::uint64_t>(n);
    }
    return true;
}

std::optional<std::size_t> entryAt(const ZipLayout& layout, std::uint64_t localOffset) {
    const auto& entries = layout.directory.entries;
    const auto found = std::find_if(entries.begin(), entries.end(), [&](const ZipRecord& r) {
        return r.localOffset == localOffset;
    });
    return found == entries.end() ? std::nullopt
                                  : std::optional<std::size_t>(found - entries.begin());
}

// The new contents from the old entry and the record's patch; the old contents and the patch
// are gone when this returns, before the compressor needs its room.
std::optional<QByteArray> patchedContents(const platform::File& delta, const PatchRecord& record,
                                          const platform::File& old, const ZipLayout& oldLayout,
                                          const ZipRecord& entry) {
    const std::optional<std::size_t> from = entryAt(oldLayout, record.oldOffset);
    if (!from || record.size != entry.size || entry.size > kMaxPatchedEntry ||
        record.payloadLength > kMaxPatchBytes) {
        return std::nullopt;
    }
    const std::optional<QByteArray> oldContents =
        entryContents(old, oldLayout, *from, kMaxPatchedEntry);
    if (!oldContents) {
        return std::nullopt;
    }
    QByteArray patch(static_cast<qsizetype>(record.payloadLength), Qt::Uninitialized);
    if (delta.readAt(static_cast<qint64>(record.payloadAt), patch.data(), patch.size()) !=
        patch.size()) {
        return std::nullopt;
    }
    QByteArray contents(static_cast<qsizetype>(entry.size), Qt::Uninitialized);
    const auto span = [](const QByteArray& b) {
        return std::span<const char>(b.constData(), static_cast<std::size_t>(b.size()));
    };
    if (!applyPatch(record.method, span(*oldContents), span(patch),
                    {contents.data(), static_cast<std::size_t>(contents.size())}) ||
        crc32Of(contents.constData(), static_cast<std::size_t>(contents.size())) != entry.crc) {
        return std::nullopt;
    }
    return contents;
}

bool applyRecord(const platform::File& delta, const PatchRecord& record, const platform::File& old,
                 const ZipLayout& oldLayout, const ZipRecord& entry, Hashed& out) {
    if (entry.method != ZipMethod::Stored && entry.method != ZipMethod::Deflated) {
        return false;
    }
    const std::optional<QByteArray> contents =
        patchedContents(delta, record, old, oldLayout, entry);
    if (!contents) {
        return false;
    }
    if (entry.method == ZipMethod::Stored) {
        return out(contents->constData(), contents->size());
    }
    // Room for the signed size and the compressor's few bytes of working slack, no more:
    // anything larger cannot be the signed bytes.
    const std::optional<QByteArray> packed =
        deflateWhole(*contents, static_cast<qint64>(entry.compressedSize) + kDeflateSlack);
    return packed && out(packed->constData(), packed->size());
}

}  // namespace

bool rebuildEntry(const platform::File& delta, const PatchRecord& record, const platform::File& old,
                  const ZipLayout& oldLayout, const ZipRecord& entry, const QByteArray& expected,
                  const RebuiltBytes& out) {
    if (record.newOffset != entry.localOffset || (entry.flags & 0x0001) != 0) {
        return false;
    }
    Hashed hashed(out);
    const bool made = record.method == PatchMethod::Whole
                          ? record.size == entry.compressedSize && copyWhole(delta, record, hashed)
                          : applyRecord(delta, record, old, oldLayout, entry, hashed);
    return made && hashed.matches(entry, expected);
}

std::optional<VerifiedDelta> openVerifiedDelta(const QString& path, std::uint64_t size,
                                               const QByteArray& sha256,
                                               std::map<std::uint64_t, QByteArray> hashes) {
    std::optional<platform::File> file = platform::File::openRegular(path);
    if (!file || static_cast<std::uint64_t>(file->size()) != size ||
        signing::sha256OfFile(*file) != sha256) {
        return std::nullopt;
    }
    std::optional<std::vector<PatchRecord>> records = PatchFile::read(*file);
    if (!records) {
        return std::nullopt;
    }
    return VerifiedDelta{std::move(*file), std::move(*records), std::move(hashes)};
}

}  // namespace selvanix
