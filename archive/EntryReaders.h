#pragma once

// The layers an entry's bytes pass through on their way out of the archive: its claimed
// range, the decryption, the decoder (stored or inflate), and the size and CRC-32 (or AES)
// check. Each takes the one below it; a failure of any is the entry's data failing.

#include "ArchiveStream.h"
#include "Crc32.h"
#include "Inflater.h"
#include "PasswordStep.h"

#include <cstdint>
#include <optional>
#include <span>

namespace selvanix {

// What a layer gives: bytes of the entry's content, a progress point the archiver reports
// before the bytes that follow, the end, or the failure of the data.
struct EntryPiece {
    enum class Kind { Bytes, Progress, End, Failed };
    Kind kind = Kind::End;
    std::span<const unsigned char> bytes{};
    std::int64_t progress = 0;  // of Progress: the content counted so far

    static EntryPiece of(std::span<const unsigned char> b) { return {Kind::Bytes, b, 0}; }
    static EntryPiece at(std::int64_t p) { return {Kind::Progress, {}, p}; }
    static EntryPiece end() { return {}; }
    static EntryPiece failed() { return {Kind::Failed, {}, 0}; }
};

// The entry's data as the archive holds it, within its claimed range, in blocks of at most
// kBlock, each decrypted in place.
class EntryData {
public:
    static constexpr qint64 kBlock = 1048576;

    EntryData(const ArchiveStream& in, qint64 start, std::uint64_t length,
              EntryDecryption& decryption, unsigned char* buffer)
        : in_(in), start_(start), length_(length), decryption_(decryption), buffer_(buffer) {}

    bool atEnd() const { return consumed_ >= length_; }
    // The next block; nothing when the archive ends before the range does.
    std::optional<std::span<unsigned char>> next();
    // Bytes read so far, from the range's start.
    std::uint64_t consumed() const { return consumed_; }

private:
    const ArchiveStream& in_;
    qint64 start_;
    std::uint64_t length_;
    EntryDecryption& decryption_;
    unsigned char* buffer_;
    std::uint64_t consumed_ = 0;
};

// An entry's content, decoded from its data.
class EntryContent {
public:
    virtual ~EntryContent() = default;
    virtual EntryPiece next() = 0;
};

// Stored data: the blocks as they are, in pieces of at most 65,535 bytes, each counted as
// progress before it is given.
class StoredContent final : public EntryContent {
public:
    explicit StoredContent(EntryData& data) : data_(data) {}
    EntryPiece next() override;

private:
    EntryData& data_;
    std::span<unsigned char> block_{};
    std::size_t at_ = 0;
    std::int64_t given_ = 0;
    bool counted_ = false;  // the piece at at_ was reported as progress
};

// Deflated data: one progress point, then up to kBlock of content in slices of kSlice that
// stay in the cache through the check and the write, step after step.
class InflatedContent final : public EntryContent {
public:
    static constexpr qint64 kSlice = 262144;

    InflatedContent(EntryData& data, Inflater& inflater, unsigned char* output)
        : data_(data), inflater_(inflater), output_(output) {}
    EntryPiece next() override;

private:
    EntryPiece slice();

    EntryData& data_;
    Inflater& inflater_;
    unsigned char* output_;
    std::int64_t given_ = 0;
    qint64 stepProduced_ = 0;
    bool inStep_ = false;
    bool needInput_ = true;
    bool streamEnded_ = false;
};

// What an entry's content is checked against.
struct EntryCheck {
    bool checked = true;  // false for an entry whose version turns the checks off
    std::uint32_t crc32 = 0;
    AesDecryptor* aes = nullptr;  // the entry's decryptor, which has seen all its data
    int aesVersion = 0;
    QByteArray aesCode;  // the code stored behind AES data
};

// The content checked as it passes: never more than the entry's size (a bomb fails before it
// fills the disk), and at the end its size and its CRC-32 or AES code.
class CheckedContent {
public:
    CheckedContent(EntryContent& content, std::uint64_t size) : content_(content), size_(size) {}
    EntryPiece next();
    // Whether the whole content passed: its size, then its AES code (and AE-1's CRC-32 as
    // well) or its CRC-32, unless the entry is one whose checks are off.
    bool passes(const EntryCheck& check) const;

private:
    EntryContent& content_;
    std::uint64_t size_;
    std::uint64_t given_ = 0;
    Crc32 crc_;
};

}  // namespace selvanix
