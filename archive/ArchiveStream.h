#pragma once

#include "platform/handles/File.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace selvanix {

// The open archive file, read at offsets.
class ArchiveStream {
public:
    // nullopt when the file cannot be opened; the platform error is in lastError().
    static std::optional<ArchiveStream> open(const QString& path);
    // An archive already open, read through that very file.
    explicit ArchiveStream(platform::File file);
    // Reading from memory, for tests and fuzzing.
    explicit ArchiveStream(QByteArray bytes);

    qint64 size() const { return size_; }
    // Bytes read: fewer than asked only at the end of the file; -1 on a read error.
    qint64 readAt(qint64 offset, char* data, qint64 count) const;
    // True when all count bytes were there.
    bool readExactly(qint64 offset, void* data, qint64 count) const;
    QByteArray readBytes(qint64 offset, qint64 count) const;

private:
    std::optional<platform::File> file_;
    QByteArray memory_;
    qint64 size_ = 0;
};

// Sequential small reads served from one block of the stream, as the directory is read.
class BufferedReader {
public:
    explicit BufferedReader(const ArchiveStream& stream) : stream_(stream) {}
    bool readExactly(qint64 offset, void* data, qint64 count);

private:
    static constexpr qint64 kBlock = 65536;
    const ArchiveStream& stream_;
    QByteArray block_;
    qint64 blockStart_ = -1;
};

}  // namespace selvanix
