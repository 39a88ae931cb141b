// Decoding one entry into an output: its claimed data, decrypted, decoded and checked by the
// layers of EntryReaders, under one write loop.
#include "ArcException.h"
#include "ArcOutput.h"
#include "BaseArchiver.h"
#include "EntryReaders.h"

#include <algorithm>
#include <array>

namespace selvanix {

std::optional<std::uint64_t> TArcBaseArchiver::claimLimit(int index, std::uint64_t begin) const {
    auto next = claims_.upper_bound(begin);
    if (next != claims_.begin()) {
        const auto previous = std::prev(next);
        if (previous->second.first > begin && previous->second.second != index) {
            return std::nullopt;
        }
    }
    while (next != claims_.end() && next->second.second == index) {
        ++next;
    }
    return next == claims_.end() ? UINT64_MAX : next->first;
}

void TArcBaseArchiver::claim(int index, std::uint64_t begin, std::uint64_t end) {
    auto& range = claims_[begin];
    range = std::make_pair(std::max(end, range.second == index ? range.first : end), index);
}

// Where an entry's data lies, as far as it may be read: from start, length bytes.
struct EntryDataRange {
    qint64 start = 0;
    std::uint64_t length = 0;
};

// The bytes an entry's decoding consumed are claimed however it ends, so a failing entry
// cannot be decoded again under another name either.
class ClaimOnExit {
public:
    ClaimOnExit(TArcBaseArchiver& archiver, int index, std::uint64_t begin)
        : archiver_(archiver), index_(index), begin_(begin) {}
    ClaimOnExit(const ClaimOnExit&) = delete;
    ClaimOnExit& operator=(const ClaimOnExit&) = delete;
    ~ClaimOnExit() {
        const std::uint64_t unused = inflater_ ? inflater_->unusedInput() : 0;
        const std::uint64_t consumed = data_ ? data_->consumed() : 0;
        const std::uint64_t used = consumed > unused ? consumed - unused : 0;
        archiver_.claim(index_, begin_,
                        std::max(begin_ + 1, static_cast<std::uint64_t>(start_) + used));
    }
    void reads(qint64 start, const EntryData* data, const Inflater* inflater) {
        start_ = start;
        data_ = data;
        inflater_ = inflater;
    }

private:
    TArcBaseArchiver& archiver_;
    int index_;
    std::uint64_t begin_;
    qint64 start_ = 0;
    const EntryData* data_ = nullptr;
    const Inflater* inflater_ = nullptr;
};

std::optional<EntryDataRange> TArcBaseArchiver::entryData(int index, const TDirItem& item,
                                                          TArcZipLocalHeader& local) const {
    std::array<unsigned char, TArcZipLocalHeader::kSize> raw{};
    if (!stream_->readExactly(
            static_cast<qint64>(std::min<std::uint64_t>(item.LocalHeaderOffset, INT64_MAX)),
            raw.data(), raw.size())) {
        return std::nullopt;
    }
    local = TArcZipLocalHeader::parse(raw.data());
    if (local.signature != kLocalHeaderSignature) {
        return std::nullopt;  // not where the directory says: other bytes, never decoded
    }
    EntryDataRange range;
    range.start = static_cast<qint64>(item.LocalHeaderOffset) + TArcZipLocalHeader::kSize +
                  local.nameLength + local.extraLength;
    range.length = item.compressedSize();
    const auto start = static_cast<std::uint64_t>(range.start);
    if (!dir_->isMultiVolume()) {
        const auto dirStart = static_cast<std::uint64_t>(dir_->CentralDirOffset);
        range.length = std::min(range.length, start < dirStart ? dirStart - start : 0);
    }
    // An entry reads no further than where bytes another entry decoded begin, and claims
    // only what its decoding consumed: a size declared too wide costs no neighbour.
    const std::optional<std::uint64_t> limit = claimLimit(index, item.LocalHeaderOffset);
    if (!limit) {
        return std::nullopt;
    }
    range.length = std::min(range.length, *limit > start ? *limit - start : 0);
    return range;
}

void TArcBaseArchiver::ExtractItem(int index, ArcOutput& out) {
    if (!isOpen() || index < 0 || index >= dir_->Count()) {
        raise(ARC_ERROR_BAD_INDEX);
    }
    FSkipFile = false;
    const std::uint64_t u = dir_->Item(index).uncompressedSize();
    FProgressMax = u == 0 ? 2 : static_cast<std::int64_t>(std::min<std::uint64_t>(u, INT64_MAX));
    FProgress = 0;
    if (!decodeItem(index, out) && !FProgressCancel && !FSkipFile && !ExtractCorruptedFiles) {
        raise(ARC_ERROR_INVALID_DATA);
    }
}

bool TArcBaseArchiver::decodeItem(int index, ArcOutput& out) {
    const TDirItem& item = dir_->Item(index);
    TArcZipLocalHeader local{};
    std::optional<EntryDataRange> range = entryData(index, item, local);
    if (!range) {
        return false;
    }
    ClaimOnExit claim(*this, index, item.LocalHeaderOffset);
    claim.reads(range->start, nullptr, nullptr);
    const std::uint16_t method = item.CompressionMethod;
    if (method == ZipMethod::Deflate64) {
        raiseArcError(ARC_ERROR_DEFLATE64);
    }
    if (method != ZipMethod::Stored && method != ZipMethod::Deflated) {
        return false;
    }
    std::optional<EntryDecryption> decryption = decryptionFor(item, local, *range);
    if (!decryption) {
        return FSkipFile;
    }
    if (!input_) {
        input_.reset(new unsigned char[EntryData::kBlock + 2]);
        output_.reset(new unsigned char[EntryData::kBlock]);
    }
    // Stored data is as long as the entry: what a wider declared size covers besides is
    // unused, as every peer but Info-ZIP reads it.
    const std::uint64_t u = item.uncompressedSize();
    EntryData data(*stream_, range->start,
                   method == ZipMethod::Stored ? std::min(range->length, u) : range->length,
                   *decryption, input_.get());
    std::optional<StoredContent> stored;
    std::optional<InflatedContent> inflated;
    if (method == ZipMethod::Stored) {
        stored.emplace(data);
    } else {
        if (!inflater_) {
            inflater_ = std::make_unique<Inflater>();
        }
        inflater_->reset();
        inflated.emplace(data, *inflater_, output_.get());
    }
    claim.reads(range->start, &data, method == ZipMethod::Deflated ? inflater_.get() : nullptr);
    CheckedContent content(stored ? static_cast<EntryContent&>(*stored) : *inflated, u);
    if (!writeContent(content, item, out)) {
        return false;
    }
    EntryCheck check{item.CentralDir.extractVersion < kNoCheckVersion,
                     item.CentralDir.crc32,
                     decryption->aes.get(),
                     item.AesVersion,
                     {}};
    if (check.checked && check.aes) {
        check.aesCode = stream_->readBytes(range->start + static_cast<qint64>(range->length),
                                           AesDecryptor::kCodeLength);
    }
    return content.passes(check);
}

std::optional<EntryDecryption> TArcBaseArchiver::decryptionFor(const TDirItem& item,
                                                               const TArcZipLocalHeader& local,
                                                               EntryDataRange& range) {
    if (!item.encrypted()) {
        return EntryDecryption{};
    }
    std::optional<EntryDecryption> passed = passwordStep(*this, *stream_, item, local, range.start);
    if (!passed || FSkipFile) {
        return std::nullopt;
    }
    const auto overhead = static_cast<std::uint64_t>(passed->headerLength + passed->trailerLength);
    if (range.length < overhead) {
        return std::nullopt;
    }
    range.length -= overhead;
    range.start += passed->headerLength;
    return passed;
}

// Writes the content as it comes, reporting progress where it says; false when its data
// failed or the extraction was cancelled.
bool TArcBaseArchiver::writeContent(CheckedContent& content, const TDirItem& item, ArcOutput& out) {
    const QString displayName = QString(item.Name).replace(u'/', u'\\');
    for (;;) {
        const EntryPiece piece = content.next();
        switch (piece.kind) {
            case EntryPiece::Kind::End:
                return true;
            case EntryPiece::Kind::Failed:
                return false;
            case EntryPiece::Kind::Progress:
                FProgress = piece.progress;
                fireProgress(displayName);
                break;
            case EntryPiece::Kind::Bytes:
                if (!piece.bytes.empty() &&
                    !put(out, reinterpret_cast<const char*>(piece.bytes.data()),
                         static_cast<qint64>(piece.bytes.size()))) {
                    return false;
                }
                break;
        }
        if (FProgressCancel) {
            return false;
        }
    }
}

// Writes one piece, asking what to do when the medium is full; false when the user cancels.
bool TArcBaseArchiver::put(ArcOutput& out, const char* data, qint64 size) {
    const qint64 at = out.position();
    for (;;) {
        if (out.write(data, size) == size) {
            return true;
        }
        if (!OnDiskFull) {
            raiseArcError(ARC_ERROR_DISK_FULL);
        }
        bool cancel = false;
        OnDiskFull(*this, 0, FileName, cancel);
        if (cancel) {
            FProgressCancel = true;
            return false;
        }
        out.seek(at);
    }
}

}  // namespace selvanix
