#pragma once

#include <QByteArray>
#include <QFile>
#include <QFileDevice>
#include <QString>
#include <cstdint>

namespace selvanix::publish {

// Writes a ZIP archive entry by entry, streaming each file through raw deflate, so that the
// same files (names, bytes, modes, times) always give the same bytes. Entries are marked as
// made on Unix, so their permission bits travel with them; names are UTF-8. Sizes stay below
// 4 GiB (no Zip64).
class ZipBuilder {
public:
    explicit ZipBuilder(QFileDevice& out) : out_(out) {}

    // Adds the open file in, read from its start, as name ('/' between folders); shown is
    // what messages call it.
    bool addFile(const QString& name, QFile& in, const QString& shown, unsigned mode,
                 std::int64_t modifiedUtcSeconds);
    // Writes the central directory; the archive is complete afterwards.
    bool finish();
    const QString& error() const { return error_; }

private:
    struct Record {
        QByteArray name;
        std::uint16_t flags;
        std::uint16_t method;
        std::uint16_t time;
        std::uint16_t date;
        std::uint32_t crc;
        std::uint32_t compressedSize;
        std::uint32_t size;
        std::uint32_t mode;
        std::uint32_t offset;
    };
    bool fail(const QString& message);
    bool addWhole(QFile& in, const QString& hostPath, std::uint16_t method, std::uint64_t& size,
                  std::uint64_t& compressed, unsigned long& crc);
    bool addStreamed(QFile& in, const QString& hostPath, std::uint16_t method, std::uint64_t& size,
                     std::uint64_t& compressed, unsigned long& crc);
    bool write(const QByteArray& bytes);

    QFileDevice& out_;
    QByteArray central_;
    std::uint32_t count_ = 0;
    QString error_;
};

}  // namespace selvanix::publish
