#include "EntryDeflate.h"

#include <libdeflate.h>
#include <zlib.h>
#include <algorithm>

namespace selvanix {

namespace {

constexpr int kLevel = Z_DEFAULT_COMPRESSION;
constexpr int kWindowBits = MAX_WBITS;
constexpr int kMemLevel = 8;
constexpr int kStrategy = Z_DEFAULT_STRATEGY;

}  // namespace

struct EntryDeflater::Stream {
    z_stream z{};
    bool ready = false;
};

namespace {

constexpr int kWholeLevel = 6;

struct Compressor {
    Compressor() : c(libdeflate_alloc_compressor(kWholeLevel)) {}
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;
    ~Compressor() { libdeflate_free_compressor(c); }
    libdeflate_compressor* c;
};

}  // namespace

std::optional<QByteArray> deflateWhole(const QByteArray& contents, qint64 capacity) {
    const Compressor compressor;
    if (compressor.c == nullptr || contents.size() > kWholeDeflateLimit || capacity < 0) {
        return std::nullopt;
    }
    QByteArray out(std::min(capacity, deflateWholeBound(contents.size())), Qt::Uninitialized);
    const std::size_t n = libdeflate_deflate_compress(
        compressor.c, contents.constData(), static_cast<std::size_t>(contents.size()), out.data(),
        static_cast<std::size_t>(out.size()));
    if (n == 0 && !contents.isEmpty()) {
        return std::nullopt;
    }
    out.truncate(static_cast<qsizetype>(n));
    return out;
}

qint64 deflateWholeBound(qint64 size) {
    const Compressor compressor;
    return compressor.c == nullptr
               ? 0
               : static_cast<qint64>(libdeflate_deflate_compress_bound(
                     compressor.c, static_cast<std::size_t>(std::max<qint64>(size, 0))));
}

QByteArray deflateRecipe() {
    // "libdeflate version": a version right after "deflate " reads as an embedded zlib to lintian.
    return "libdeflate version " LIBDEFLATE_VERSION_STRING " level " +
           QByteArray::number(kWholeLevel) + " whole up to " +
           QByteArray::number(kWholeDeflateLimit);
}

EntryDeflater::EntryDeflater()
    : stream_(std::make_unique<Stream>()), packed_(kPiece, Qt::Uninitialized) {
    stream_->ready =
        deflateInit2(&stream_->z, kLevel, Z_DEFLATED, -kWindowBits, kMemLevel, kStrategy) == Z_OK;
}

EntryDeflater::~EntryDeflater() {
    if (stream_->ready) {
        deflateEnd(&stream_->z);
    }
}

bool EntryDeflater::valid() const {
    return stream_->ready;
}

bool EntryDeflater::feed(const char* data, qint64 size, bool last, const Output& out) {
    if (!stream_->ready || size < 0 || size > kPiece) {
        return false;
    }
    z_stream& z = stream_->z;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    z.avail_in = static_cast<uInt>(size);
    int rc = Z_OK;
    do {
        z.next_out = reinterpret_cast<Bytef*>(packed_.data());
        z.avail_out = static_cast<uInt>(packed_.size());
        rc = ::deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
        if (rc == Z_STREAM_ERROR) {
            return false;
        }
        const qint64 produced = packed_.size() - static_cast<qint64>(z.avail_out);
        if (produced > 0 && !out(packed_.constData(), produced)) {
            return false;
        }
    } while (z.avail_out == 0 || (last && rc != Z_STREAM_END));
    return true;
}

}  // namespace selvanix
