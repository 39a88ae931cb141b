#include "ArchiveStream.h"

#include <algorithm>
#include <cstring>

namespace selvanix {

std::optional<ArchiveStream> ArchiveStream::open(const QString& path) {
    auto file = platform::File::open(path, platform::File::Mode::Read);
    if (!file) {
        return std::nullopt;
    }
    return ArchiveStream(std::move(*file));
}

ArchiveStream::ArchiveStream(platform::File file) : file_(std::move(file)) {
    size_ = std::max<qint64>(0, file_->size());
}

ArchiveStream::ArchiveStream(QByteArray bytes) : memory_(std::move(bytes)), size_(memory_.size()) {}

qint64 ArchiveStream::readAt(qint64 offset, char* data, qint64 count) const {
    if (offset < 0 || count <= 0 || offset >= size_) {
        return 0;
    }
    count = std::min(count, size_ - offset);
    if (file_) {
        return file_->readAt(offset, data, count);
    }
    std::memcpy(data, memory_.constData() + offset, static_cast<size_t>(count));
    return count;
}

bool ArchiveStream::readExactly(qint64 offset, void* data, qint64 count) const {
    return count >= 0 && readAt(offset, static_cast<char*>(data), count) == count;
}

QByteArray ArchiveStream::readBytes(qint64 offset, qint64 count) const {
    if (offset < 0 || offset >= size_ || count <= 0) {
        return {};
    }
    QByteArray bytes(static_cast<qsizetype>(std::min(count, size_ - offset)), Qt::Uninitialized);
    const qint64 n = readAt(offset, bytes.data(), bytes.size());
    bytes.truncate(static_cast<qsizetype>(std::max<qint64>(0, n)));
    return bytes;
}

bool BufferedReader::readExactly(qint64 offset, void* data, qint64 count) {
    if (count > kBlock || offset < 0) {
        return stream_.readExactly(offset, data, count);
    }
    if (blockStart_ < 0 || offset < blockStart_ || offset + count > blockStart_ + block_.size()) {
        block_ = stream_.readBytes(offset, kBlock);
        blockStart_ = offset;
        if (count > block_.size()) {
            return false;
        }
    }
    std::memcpy(data, block_.constData() + (offset - blockStart_), static_cast<size_t>(count));
    return true;
}

}  // namespace selvanix
