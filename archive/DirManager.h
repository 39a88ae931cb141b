#pragma once

#include "ArchiveStream.h"
#include "DirItem.h"
#include "ZipRecords.h"

#include <QByteArray>
#include <optional>
#include <vector>

namespace selvanix {

// Reads the archive's directory: the end record, the central directory, names and the extra
// fields it knows; rebuilds the directory from local headers when it cannot be read.
class TArcDirManager {
public:
    struct Options {
        bool oemFileNames = true;
        bool openCorruptedArchives = true;
    };

    // When true the directory is always rebuilt from local headers.
    static inline bool ForceBuildCentralDir = false;

    TArcDirManager(const ArchiveStream& stream, Options options);

    // Searches the end record; true also when missing while corrupted archives may be opened.
    bool HasCentralDirEnd();
    // Raises native errors 35, 40 and 44 (without a component name).
    void LoadDir();

    int Count() const { return static_cast<int>(CDir.size()); }
    const TDirItem& Item(int index) const { return CDir.at(static_cast<size_t>(index)); }
    TDirItem& Item(int index) { return CDir.at(static_cast<size_t>(index)); }
    // A multi-volume archive's last disk is not 0.
    bool isMultiVolume() const { return lastDisk_ != 0; }

    std::vector<TDirItem> CDir;
    TArcZipCentralDirEnd CentralDirEnd;
    QByteArray ArchiveComment;
    bool FZip64 = false;
    TArcZip64CentralDirEndLocator Zip64CentralDirEndLocator;
    TArcZip64CentralDirEnd Zip64CentralDirEnd;
    std::uint64_t StubSize = 0;
    std::uint64_t CentralDirOffset = 0;

private:
    // The end record's file offset, or nothing.
    std::optional<qint64> GetCentralDirEnd();
    void readEntries(qint64 position, std::uint64_t count, bool endFound, qint64 dirEnd);
    void detectStub(qint64 endPosition);
    bool startsLocalHeader(std::uint64_t offset) const;
    void TryToBuildCentralDir(bool endFound);
    void readExtraField(TDirItem& item, const QByteArray& extra) const;
    QByteArray oemConverted(const QByteArray& name, std::uint16_t flags, bool endFound) const;

    const ArchiveStream& stream_;
    Options options_;
    std::uint32_t lastDisk_ = 0;
};

}  // namespace selvanix
