#pragma once

#include <QByteArray>
#include <functional>
#include <memory>
#include <optional>

namespace selvanix {

// Entries up to this size are compressed whole, as a client can compress them again.
inline constexpr qint64 kWholeDeflateLimit = 256ll << 20;

// How the publisher compresses an entry's contents of at most kWholeDeflateLimit bytes: raw
// deflate through libdeflate at level 6, whole. The same contents always give the same bytes
// with the same libdeflate, which lets a client rebuild an entry and hash it, and it runs three
// times as fast as zlib's default level for smaller output. Nothing when the output would
// exceed capacity bytes.
std::optional<QByteArray> deflateWhole(const QByteArray& contents, qint64 capacity);
// The most bytes deflateWhole can give for size bytes of contents.
qint64 deflateWholeBound(qint64 size);
// Names that deflate: the libdeflate it was built with and its level.
QByteArray deflateRecipe();

// Raw deflate for larger contents, streamed: zlib at its default level with a 32 KiB window,
// fed in pieces of kPiece.
class EntryDeflater {
public:
    static constexpr qint64 kPiece = 1 << 20;
    using Output = std::function<bool(const char* data, qint64 size)>;

    EntryDeflater();
    EntryDeflater(const EntryDeflater&) = delete;
    EntryDeflater& operator=(const EntryDeflater&) = delete;
    ~EntryDeflater();

    bool valid() const;
    // Compresses the next piece of at most kPiece bytes (the last one may be empty), handing
    // what comes out to out; false when zlib or out fails.
    bool feed(const char* data, qint64 size, bool last, const Output& out);

private:
    struct Stream;
    std::unique_ptr<Stream> stream_;
    QByteArray packed_;
};

}  // namespace selvanix
