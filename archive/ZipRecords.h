#pragma once

#include <QByteArray>
#include <cstdint>
#include <vector>

namespace selvanix {

// Little-endian fields, read from bytes the caller has checked to be there.
inline std::uint16_t le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(le16(p)) | (static_cast<std::uint32_t>(le16(p + 2)) << 16);
}
inline std::uint64_t le64(const unsigned char* p) {
    return static_cast<std::uint64_t>(le32(p)) | (static_cast<std::uint64_t>(le32(p + 4)) << 32);
}

// The compression methods of an entry's records.
struct ZipMethod {
    enum : std::uint16_t {
        Stored = 0,
        Deflated = 8,
        Deflate64 = 9,  // known, and refused with its own error
    };
};

// The external attribute bits of an entry, as the system that wrote it knew them.
struct ZipAttribute {
    enum : std::uint32_t {
        Directory = 0x10,
        Archive = 0x20,
    };
};

inline constexpr std::uint32_t kCentralDirEndSignature = 0x06054B50;
inline constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;
inline constexpr std::uint32_t kZip64EndSignature = 0x06064B50;
inline constexpr std::uint32_t kCentralDirSignature = 0x02014B50;
inline constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50;
inline constexpr std::uint32_t kDataDescriptorSignature = 0x08074B50;

inline constexpr std::uint16_t kZip64ExtraFieldHeaderID = 0x0001;
inline constexpr std::uint16_t UnicodeExtraFieldHeaderID = 0x554E;
inline constexpr std::uint32_t UnicodeAdditionalSignature = 0x5843554E;
inline constexpr std::uint16_t AesExtraFieldHeaderID = 0x9901;

// Version-needed value from which entries carry neither CRC test nor AES block.
inline constexpr std::uint16_t kNoCheckVersion = 0x4114;

struct TArcZipCentralDirEnd {
    static constexpr int kSize = 22;
    std::uint32_t signature = 0;
    std::uint16_t diskNumber = 0;
    std::uint16_t startDiskNumber = 0;
    std::uint16_t entriesOnDisk = 0;
    std::uint16_t entriesCentralDir = 0;
    std::uint32_t centralDirSize = 0;
    std::uint32_t offsetStartDir = 0;
    std::uint16_t commentLength = 0;
    static TArcZipCentralDirEnd parse(const unsigned char* p);
};

struct TArcZip64CentralDirEndLocator {
    static constexpr int kSize = 20;
    std::uint32_t signature = 0;
    std::uint32_t startDiskNumber = 0;
    std::uint64_t offsetStartDirEnd = 0;
    std::uint32_t totalNumberOfDisks = 0;
    static TArcZip64CentralDirEndLocator parse(const unsigned char* p);
};

struct TArcZip64CentralDirEnd {
    static constexpr int kSize = 56;
    std::uint32_t signature = 0;
    std::uint64_t centralDirEndSize = 0;
    std::uint16_t versionMadeBy = 0;
    std::uint16_t versionNeededToExtract = 0;
    std::uint32_t diskNumber = 0;
    std::uint32_t startDiskNumber = 0;
    std::uint64_t entriesOnDisk = 0;
    std::uint64_t entriesCentralDir = 0;
    std::uint64_t centralDirSize = 0;
    std::uint64_t offsetStartDir = 0;
    static TArcZip64CentralDirEnd parse(const unsigned char* p);
};

struct TArcZipCentralDir {
    static constexpr int kSize = 46;
    std::uint32_t signature = 0;
    std::uint16_t versionMadeBy = 0;
    std::uint16_t extractVersion = 0;
    std::uint16_t genPurposeFlag = 0;
    std::uint16_t compMethod = 0;
    std::uint16_t lastModTime = 0;
    std::uint16_t lastModDate = 0;
    std::uint32_t crc32 = 0;
    std::uint32_t compSize = 0;
    std::uint32_t unCompSize = 0;
    std::uint16_t nameLength = 0;
    std::uint16_t extraLength = 0;
    std::uint16_t commentLength = 0;
    std::uint16_t diskNumberStart = 0;
    std::uint16_t internalAttr = 0;
    std::uint32_t externalAttr = 0;
    std::uint32_t relOffsetLH = 0;
    static TArcZipCentralDir parse(const unsigned char* p);
};

struct TArcZipLocalHeader {
    static constexpr int kSize = 30;
    std::uint32_t signature = 0;
    std::uint16_t extractVersion = 0;
    std::uint16_t genPurposeFlag = 0;
    std::uint16_t compMethod = 0;
    std::uint16_t lastModTime = 0;
    std::uint16_t lastModDate = 0;
    std::uint32_t crc32 = 0;
    std::uint32_t compSize = 0;
    std::uint32_t unCompSize = 0;
    std::uint16_t nameLength = 0;
    std::uint16_t extraLength = 0;
    static TArcZipLocalHeader parse(const unsigned char* p);
};

struct TArcExtraFieldDataBlock {
    std::uint16_t headerID = 0;
    std::uint16_t dataSize = 0;
    QByteArray pData;
};

struct TArcZip64ExtendedInfo {
    std::uint64_t uncompSize = 0;
    std::uint64_t compSize = 0;
    std::uint64_t relOffsetLH = 0;
    std::uint32_t diskNumberStart = 0;
};

}  // namespace selvanix
