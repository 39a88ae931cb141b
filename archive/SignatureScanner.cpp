#include "SignatureScanner.h"

#include "ZipRecords.h"

#include <cstring>

namespace selvanix {

SignatureScanner::SignatureScanner(const ArchiveStream& stream, std::uint32_t signature,
                                   qint64 block, qint64 minRemaining)
    : stream_(stream), signature_(signature), block_(block), minRemaining_(minRemaining) {}

bool SignatureScanner::load(qint64 from) {
    buffer_ = stream_.readBytes(from, block_);
    bufferStart_ = from;
    return buffer_.size() >= 4;
}

std::optional<qint64> SignatureScanner::find(qint64 from) {
    const qint64 size = stream_.size();
    from = std::max<qint64>(0, from);
    const char first = static_cast<char>(signature_ & 0xFF);
    while (from + 4 <= size) {
        const bool inside =
            bufferStart_ >= 0 && from >= bufferStart_ && from + 4 <= bufferStart_ + buffer_.size();
        if (!inside && !load(from)) {
            return std::nullopt;
        }
        const char* data = buffer_.constData();
        const qsizetype end = buffer_.size() - 3;  // last start with four bytes after it
        qsizetype i = static_cast<qsizetype>(from - bufferStart_);
        while (i < end) {
            const void* hit = std::memchr(data + i, first, static_cast<size_t>(end - i));
            if (hit == nullptr) {
                break;
            }
            i = static_cast<const char*>(hit) - data;
            const qint64 at = bufferStart_ + i;
            if (le32(reinterpret_cast<const unsigned char*>(data + i)) == signature_ &&
                size - at >= minRemaining_) {
                return at;
            }
            ++i;
        }
        // Go on from the first start not yet tried; the next block overlaps this one.
        from = bufferStart_ + end;
        if (bufferStart_ + buffer_.size() >= size) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace selvanix
