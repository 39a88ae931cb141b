// Decoding one entry into an output: stored and deflated data, in blocks of at most one
// mebibyte of compressed bytes, with the size and CRC-32 (or AES code) tests.
#include "ArcException.h"
#include "ArcOutput.h"
#include "BaseArchiver.h"
#include "Crc32.h"
#include "Inflater.h"
#include "PasswordStep.h"

#include <algorithm>
#include <array>

namespace selvanix {

namespace {

constexpr qint64 kBlock = 1048576;
constexpr qint64 kStoredPiece = 65535;
constexpr qint64 kSlice = 262144;

struct EntryFailed {};

}  // namespace

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

void TArcBaseArchiver::ExtractItem(int index, ArcOutput& out) {
    if (!isOpen() || index < 0 || index >= dir_->Count()) {
        raise(ARC_ERROR_BAD_INDEX);
    }
    const TDirItem& item = dir_->Item(index);
    const ArchiveStream& in = *stream_;
    QString displayName = item.Name;
    displayName.replace(u'/', u'\\');

    FSkipFile = false;
    bool failed = false;
    std::uint64_t written = 0;
    Crc32 crc;
    const std::uint64_t u = item.uncompressedSize();
    FProgressMax = u == 0 ? 2 : static_cast<std::int64_t>(std::min<std::uint64_t>(u, INT64_MAX));
    FProgress = 0;

    // What the decoding consumed is claimed however it ends, so a failing entry cannot be
    // decoded again under another name either.
    qint64 dataStart = 0;
    std::uint64_t consumed = 0;
    Inflater* inflater = nullptr;
    struct ClaimOnExit {
        TArcBaseArchiver& self;
        int index;
        const qint64& dataStart;
        const std::uint64_t& consumed;
        Inflater* const& inflater;
        std::optional<std::uint64_t> begin;
        ~ClaimOnExit() {
            if (begin) {
                const std::uint64_t unused = inflater ? inflater->unusedInput() : 0;
                const std::uint64_t used = consumed > unused ? consumed - unused : 0;
                self.claim(index, *begin,
                           std::max(*begin + 1, static_cast<std::uint64_t>(dataStart) + used));
            }
        }
    } claimOnExit{*this, index, dataStart, consumed, inflater, std::nullopt};

    // Writes one piece, asking what to do when the medium is full.
    const auto put = [&](const char* data, qint64 size) {
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
    };

    try {
        std::array<unsigned char, TArcZipLocalHeader::kSize> raw{};
        if (!in.readExactly(
                static_cast<qint64>(std::min<std::uint64_t>(item.LocalHeaderOffset, INT64_MAX)),
                raw.data(), raw.size())) {
            throw EntryFailed{};
        }
        const auto local = TArcZipLocalHeader::parse(raw.data());
        if (local.signature != kLocalHeaderSignature) {
            throw EntryFailed{};  // not where the directory says: other bytes, never decoded
        }
        dataStart = static_cast<qint64>(item.LocalHeaderOffset) + TArcZipLocalHeader::kSize +
                    local.nameLength + local.extraLength;
        std::uint64_t c = item.compressedSize();
        if (!dir_->isMultiVolume()) {
            const auto dirStart = static_cast<qint64>(dir_->CentralDirOffset);
            const std::uint64_t room =
                dataStart < dirStart ? static_cast<std::uint64_t>(dirStart - dataStart) : 0;
            c = std::min(c, room);
        }
        // An entry reads no further than where bytes another entry decoded begin, and claims
        // only what its decoding consumed: a size declared too wide costs no neighbour.
        const std::optional<std::uint64_t> limit = claimLimit(index, item.LocalHeaderOffset);
        if (!limit) {
            throw EntryFailed{};
        }
        c = std::min(c, *limit > static_cast<std::uint64_t>(dataStart)
                            ? *limit - static_cast<std::uint64_t>(dataStart)
                            : 0);
        claimOnExit.begin = item.LocalHeaderOffset;

        const std::uint16_t method = item.CompressionMethod;
        if (method == 9) {
            raiseArcError(ARC_ERROR_DEFLATE64);
        }
        if (method != 0 && method != 8) {
            throw EntryFailed{};
        }

        EntryDecryption decryption;
        if (item.encrypted()) {
            auto passed = passwordStep(*this, in, item, local, dataStart);
            if (!passed) {
                throw EntryFailed{};
            }
            if (FSkipFile) {
                return;
            }
            decryption = std::move(*passed);
            const auto overhead =
                static_cast<std::uint64_t>(decryption.headerLength + decryption.trailerLength);
            if (c < overhead) {
                throw EntryFailed{};
            }
            c -= overhead;
            dataStart += decryption.headerLength;
        }

        if (!input_) {
            input_.reset(new unsigned char[kBlock + 2]);
            output_.reset(new unsigned char[kBlock]);
        }
        unsigned char* const input = input_.get();
        unsigned char* const output = output_.get();
        if (method == 8) {
            if (!inflater_) {
                inflater_ = std::make_unique<Inflater>();
            }
            inflater = inflater_.get();
            inflater->reset();
        }
        // Stored data is as long as the entry: what a wider declared size covers besides is
        // unused, as every peer but Info-ZIP reads it.
        const std::uint64_t data = method == 0 ? std::min(c, u) : c;
        bool streamEnded = false;
        while (consumed < data && !FProgressCancel) {
            const auto size = static_cast<qint64>(std::min<std::uint64_t>(data - consumed, kBlock));
            if (!in.readExactly(dataStart + static_cast<qint64>(consumed), input, size)) {
                throw EntryFailed{};  // the data ends before the archive claims
            }
            if (decryption.traditional) {
                decryption.traditional->decrypt(input, static_cast<size_t>(size));
            } else if (decryption.aes) {
                decryption.aes->decrypt(input, static_cast<size_t>(size));
            }
            consumed += static_cast<std::uint64_t>(size);

            if (method == 0) {
                for (qint64 at = 0; at < size && !FProgressCancel; at += kStoredPiece) {
                    const qint64 piece = std::min(kStoredPiece, size - at);
                    const auto* p = reinterpret_cast<const char*>(input + at);
                    crc.update(p, static_cast<size_t>(piece));
                    FProgress += piece;
                    fireProgress(displayName);
                    if (FProgressCancel || !put(p, piece)) {
                        break;
                    }
                    written += static_cast<std::uint64_t>(piece);
                }
                continue;
            }

            inflater->setInput(input, static_cast<std::size_t>(size));
            for (;;) {
                FProgress = static_cast<std::int64_t>(written);
                fireProgress(displayName);
                if (FProgressCancel) {
                    break;
                }
                // One step fills the one-mebibyte output as the format has it, in slices that
                // stay in the cache from inflate through the CRC to the write.
                Inflater::Step step;
                qint64 stepProduced = 0;
                bool delivered = true;
                while (stepProduced < kBlock) {
                    unsigned char* const slice = output + stepProduced;
                    const qint64 room = std::min(kSlice, kBlock - stepProduced);
                    step = streamEnded ? Inflater::Step{0, true, false}
                                       : inflater->inflate(slice, static_cast<std::size_t>(room));
                    if (step.failed) {
                        throw EntryFailed{};
                    }
                    const auto produced = static_cast<qint64>(step.produced);
                    if (produced > 0) {
                        // More than the entry's size can only fail: stop before a bomb fills
                        // the disk.
                        if (written + static_cast<std::uint64_t>(produced) > u) {
                            throw EntryFailed{};
                        }
                        if (!put(reinterpret_cast<const char*>(slice), produced)) {
                            delivered = false;
                            break;
                        }
                        crc.update(slice, static_cast<size_t>(produced));
                        written += static_cast<std::uint64_t>(produced);
                        stepProduced += produced;
                    }
                    if (step.ended || produced < room) {
                        break;  // the stream ended or the input is used up
                    }
                }
                if (!delivered) {
                    break;
                }
                if (step.ended) {
                    streamEnded = true;
                    break;
                }
                if (stepProduced < kBlock && inflater->inputLeft() == 0) {
                    break;
                }
            }
        }
        if (FProgressCancel) {
            return;
        }
        if (written != u) {
            throw EntryFailed{};
        }
        if (item.CentralDir.extractVersion < kNoCheckVersion) {
            if (decryption.aes) {
                const QByteArray code =
                    in.readBytes(dataStart + static_cast<qint64>(c), AesDecryptor::kCodeLength);
                if (!decryption.aes->verify(code)) {
                    throw EntryFailed{};
                }
                // AE-1 keeps the CRC-32 as well; AE-2 stores 0 there.
                if (item.AesVersion == 1 && crc.value() != item.CentralDir.crc32) {
                    throw EntryFailed{};
                }
            } else if (crc.value() != item.CentralDir.crc32) {
                throw EntryFailed{};
            }
        }
    } catch (const EntryFailed&) {
        failed = true;
    }
    if (failed && !FProgressCancel && !FSkipFile && !ExtractCorruptedFiles) {
        raise(ARC_ERROR_INVALID_DATA);
    }
}

}  // namespace selvanix
