#pragma once

#include "ZipRecords.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace selvanix {

// Encryption of an entry: traditional PKWARE, or WinZip AES with 128, 192 or 256-bit keys.
enum ArcEncryption : std::uint8_t { caPkzipClassic = 0, caAes128 = 1, caAes192 = 2, caAes256 = 3 };

// One entry of the archive directory.
struct TDirItem {
    TArcZipCentralDir CentralDir;
    QString Name;  // '/' between folders, as stored
    QByteArray Comment;
    std::vector<TArcExtraFieldDataBlock> ExtraFields;
    std::uint8_t ArcEncryptionAlgorithm = caPkzipClassic;
    bool bHugeFile = false;
    TArcZip64ExtendedInfo Zip64ExtInfo;
    bool Tagged = false;
    std::uint8_t Operation = 0;
    std::uint16_t CompressionMethod = 0;
    std::uint16_t AesVersion = 0;  // 1 (AE-1) or 2 (AE-2) when the AES block was read
    // Where the local header starts, after the stub fix-up.
    std::uint64_t LocalHeaderOffset = 0;

    bool encrypted() const { return (CentralDir.genPurposeFlag & 0x0001) != 0; }
    bool hasDataDescriptor() const { return (CentralDir.genPurposeFlag & 0x0008) != 0; }
    bool isFolder() const {
        return (CentralDir.externalAttr & ZipAttribute::Directory) != 0 || Name.endsWith(u'/');
    }
    std::uint64_t compressedSize() const {
        return CentralDir.compSize == 0xFFFFFFFF ? Zip64ExtInfo.compSize : CentralDir.compSize;
    }
    std::uint64_t uncompressedSize() const {
        return CentralDir.unCompSize == 0xFFFFFFFF ? Zip64ExtInfo.uncompSize
                                                   : CentralDir.unCompSize;
    }
};

}  // namespace selvanix
