#include "EntryReaders.h"

#include <algorithm>

namespace selvanix {

namespace {

constexpr qint64 kStoredPiece = 65535;

}  // namespace

std::optional<std::span<unsigned char>> EntryData::next() {
    const auto size = static_cast<qint64>(std::min<std::uint64_t>(length_ - consumed_, kBlock));
    if (!in_.readExactly(start_ + static_cast<qint64>(consumed_), buffer_, size)) {
        return std::nullopt;  // the data ends before the archive claims
    }
    if (decryption_.traditional) {
        decryption_.traditional->decrypt(buffer_, static_cast<std::size_t>(size));
    } else if (decryption_.aes) {
        decryption_.aes->decrypt(buffer_, static_cast<std::size_t>(size));
    }
    consumed_ += static_cast<std::uint64_t>(size);
    return std::span<unsigned char>(buffer_, static_cast<std::size_t>(size));
}

EntryPiece StoredContent::next() {
    if (at_ >= block_.size()) {
        if (data_.atEnd()) {
            return EntryPiece::end();
        }
        const std::optional<std::span<unsigned char>> block = data_.next();
        if (!block) {
            return EntryPiece::failed();
        }
        block_ = *block;
        at_ = 0;
    }
    const std::size_t size = std::min<std::size_t>(kStoredPiece, block_.size() - at_);
    if (!counted_) {
        // A piece counts as progress before it is written: the last report says 100.
        counted_ = true;
        given_ += static_cast<std::int64_t>(size);
        return EntryPiece::at(given_);
    }
    counted_ = false;
    const std::span<const unsigned char> piece = block_.subspan(at_, size);
    at_ += size;
    return EntryPiece::of(piece);
}

EntryPiece InflatedContent::next() {
    if (inStep_) {
        return slice();
    }
    if (needInput_) {
        if (data_.atEnd()) {
            return EntryPiece::end();
        }
        const std::optional<std::span<unsigned char>> block = data_.next();
        if (!block) {
            return EntryPiece::failed();
        }
        inflater_.setInput(block->data(), block->size());
        needInput_ = false;
    }
    // A step is reported before it inflates, with what the steps before it gave.
    inStep_ = true;
    stepProduced_ = 0;
    return EntryPiece::at(given_);
}

EntryPiece InflatedContent::slice() {
    unsigned char* const out = output_ + stepProduced_;
    const qint64 room = std::min(kSlice, EntryData::kBlock - stepProduced_);
    // Past the stream's end the rest of the claimed data is read, never inflated.
    const Inflater::Step step = streamEnded_
                                    ? Inflater::Step{0, true, false}
                                    : inflater_.inflate(out, static_cast<std::size_t>(room));
    if (step.failed) {
        return EntryPiece::failed();
    }
    const auto produced = static_cast<qint64>(step.produced);
    stepProduced_ += produced;
    given_ += produced;
    if (step.ended) {
        streamEnded_ = true;
        needInput_ = true;
        inStep_ = false;
    } else if (produced < room) {
        // The input is used up, or the step ends short of a full block with input left.
        inStep_ = false;
        needInput_ = stepProduced_ < EntryData::kBlock && inflater_.inputLeft() == 0;
    } else if (stepProduced_ >= EntryData::kBlock) {
        inStep_ = false;  // a full step: the next one goes on with the same input
    }
    return EntryPiece::of({out, static_cast<std::size_t>(produced)});
}

EntryPiece CheckedContent::next() {
    const EntryPiece piece = content_.next();
    if (piece.kind != EntryPiece::Kind::Bytes) {
        return piece;
    }
    // More than the entry's size can only fail: stop before a bomb fills the disk.
    if (given_ + piece.bytes.size() > size_) {
        return EntryPiece::failed();
    }
    crc_.update(piece.bytes.data(), piece.bytes.size());
    given_ += piece.bytes.size();
    return piece;
}

bool CheckedContent::passes(const EntryCheck& check) const {
    if (given_ != size_) {
        return false;
    }
    if (!check.checked) {
        return true;
    }
    if (check.aes) {
        // AE-1 keeps the CRC-32 as well; AE-2 stores 0 there.
        return check.aes->verify(check.aesCode) &&
               (check.aesVersion != 1 || crc_.value() == check.crc32);
    }
    return crc_.value() == check.crc32;
}

}  // namespace selvanix
