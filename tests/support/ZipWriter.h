#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>
#include <vector>

namespace selvanix::test {

// One entry of a test archive; every field can be set wrong on purpose.
struct ZipEntry {
    QByteArray name;
    QByteArray data;           // the uncompressed bytes
    std::uint16_t method = 8;  // 8 deflates; any other number stores data as it is
    std::uint16_t flags = 0;
    std::uint16_t versionNeeded = 20;
    std::uint16_t versionMadeBy = 20;
    std::uint32_t externalAttr = 0x20;
    std::uint16_t time = 0x6000;
    std::uint16_t date = 0x5A21;
    std::optional<std::uint32_t> crc;             // instead of the true CRC-32
    std::optional<QByteArray> compressed;         // instead of the encoded data
    std::optional<std::uint32_t> storedCompSize;  // in both headers, instead of the truth
    QByteArray extra;                             // central and local extra field
    QByteArray comment;
    QByteArray password;  // traditional encryption when not empty
    bool dataDescriptor = false;
    bool zip64 = false;    // sizes and offset in a Zip64 block
    QByteArray gapBefore;  // unused bytes in front of the local header
};

// Builds ZIP archives in memory for tests.
class ZipWriter {
public:
    std::vector<ZipEntry> entries;
    QByteArray comment;
    QByteArray stub;            // bytes in front of the archive
    bool adjustOffsets = true;  // whether offsets count the stub
    bool zip64End = false;      // Zip64 end record and locator

    QByteArray build() const;
};

QByteArray rawDeflate(const QByteArray& data, int level = 6);
// An extra block: id, size and data.
QByteArray extraBlock(std::uint16_t id, const QByteArray& data);
// The Unicode name block of the archiver's own format.
QByteArray unicodeNameBlock(const QString& name);

}  // namespace selvanix::test
