#pragma once

#include <QByteArray>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace selvanix {

namespace platform {
class File;
}

// One directory record as stored, read strictly: what decides whether an entry's bytes can
// be taken from another archive and where they lie.
struct ZipRecord {
    QByteArray name;  // the stored bytes
    std::uint16_t versionNeeded = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t time = 0;
    std::uint16_t date = 0;
    std::uint32_t crc = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t size = 0;
    std::uint64_t localOffset = 0;

    bool hasDataDescriptor() const { return (flags & 0x0008) != 0; }
    // The same content stored the same way; the time does not count, since a rebuilt release
    // gives unchanged files new times.
    bool sameContent(const ZipRecord& other) const;
    // The local header that repeats this record with no extra field.
    QByteArray derivedLocalHeader() const;
};

// An archive's central directory.
struct ZipDirectory {
    std::vector<ZipRecord> entries;  // in directory order
    std::uint64_t offset = 0;        // where the directory starts
    QByteArray comment;
    // The archive says its local headers repeat the directory records (no extra fields, no
    // data descriptors), so they can be made here instead of fetched.
    bool headersFollowDirectory() const;
};

// The archive comment that promises local headers derived from the directory.
inline constexpr char kDerivedHeadersComment[] =
    "selvanix-publish: local headers follow the directory";

struct ZipTail {
    enum class State { Read, NeedsMore, Unreadable };
    State state = State::Unreadable;
    qint64 needFrom = 0;  // NeedsMore: the directory starts this far into the file
    ZipDirectory directory;
};

// Reads the directory from the last tail.size() bytes of a file of fileSize bytes. The end
// record must end the file; every record must lie in the directory and every entry before it.
ZipTail readZipTail(const QByteArray& tail, qint64 fileSize);

// The same, asking more(from, length) for the bytes just before the tail while the directory
// starts earlier; tail grows by what came. Nothing when it cannot be read.
using BytesBefore = std::function<std::optional<QByteArray>(qint64 from, qint64 length)>;
std::optional<ZipDirectory> readZipDirectory(QByteArray& tail, qint64 fileSize,
                                             const BytesBefore& more);

// The directory of an open archive file, and where each entry's compressed data starts as its
// local header says; nothing when either cannot be read as stored.
struct ZipLayout {
    ZipDirectory directory;
    std::vector<std::uint64_t> dataOffsets;  // per entry, in directory order
    qint64 size = 0;                         // of the whole file
};
std::optional<ZipLayout> readZipLayout(const platform::File& file);

// The length of the local header at the start of bytes when it agrees with the record (name,
// version, flags, method, CRC and sizes unless a data descriptor carries them); nothing
// otherwise or when fewer than 30 bytes are given.
std::optional<qint64> agreeingLocalHeaderLength(const QByteArray& bytes, const ZipRecord& record);

}  // namespace selvanix
