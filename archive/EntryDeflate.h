#pragma once

#include <QByteArray>
#include <functional>
#include <memory>

namespace selvanix {

// Raw deflate exactly as the publisher writes an entry: zlib at its default level with a
// 32 KiB window, fed in pieces of kPiece. The same contents always give the same bytes with
// the same zlib, which is what lets a client rebuild an entry and hash it.
class EntryDeflater {
public:
    static constexpr qint64 kPiece = 1 << 20;
    using Output = std::function<bool(const char* data, qint64 size)>;

    // Names the deflate: the zlib this process runs and every parameter that shapes its bytes.
    static QByteArray recipe();

    EntryDeflater();
    EntryDeflater(const EntryDeflater&) = delete;
    EntryDeflater& operator=(const EntryDeflater&) = delete;
    ~EntryDeflater();

    bool valid() const;
    // Compresses the next piece of at most kPiece bytes (the last one may be empty), handing
    // what comes out to out; false when zlib or out fails.
    bool feed(const char* data, qint64 size, bool last, const Output& out);

    // Compresses contents whole, piece by piece as the publisher reads a file.
    static bool deflate(const QByteArray& contents, const Output& out);

private:
    struct Stream;
    std::unique_ptr<Stream> stream_;
    QByteArray packed_;
};

}  // namespace selvanix
