#include "EntryDeflate.h"

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

QByteArray EntryDeflater::recipe() {
    return "zlib " + QByteArray(zlibVersion()) + " level " + QByteArray::number(kLevel) +
           " window " + QByteArray::number(kWindowBits) + " memory " +
           QByteArray::number(kMemLevel) + " strategy " + QByteArray::number(kStrategy) +
           " piece " + QByteArray::number(kPiece);
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

bool EntryDeflater::deflate(const QByteArray& contents, const Output& out) {
    EntryDeflater deflater;
    qint64 at = 0;
    for (;;) {
        const qint64 piece = std::min<qint64>(kPiece, contents.size() - at);
        // The publisher reads until a read returns nothing: the end comes with an empty piece.
        if (!deflater.feed(contents.constData() + at, piece, piece == 0, out)) {
            return false;
        }
        if (piece == 0) {
            return true;
        }
        at += piece;
    }
}

}  // namespace selvanix
