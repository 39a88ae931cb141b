#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <map>

#include "Package.h"
#include "archive/InstallMasks.h"
#include "archive/Pakovna.h"
#include "store/Transaction.h"

namespace selvanix {

struct InstalledFile {
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
};
// What a target got: each file below the target ('/' between folders) and what it is.
using InstalledFiles = std::map<QString, InstalledFile>;

// The package's archive open in the archiver (its checked bytes, never the file by name again)
// for as long as this lives.
class OpenPackage {
public:
    OpenPackage(TPakovna& archiver, const Package& package);
    ~OpenPackage();
    OpenPackage(const OpenPackage&) = delete;
    OpenPackage& operator=(const OpenPackage&) = delete;

private:
    TPakovna& archiver_;
};

// Which of the entries a mask takes are extracted, by the path each lands at below the target:
// every one to install, the differing ones to repair.
using EntrySelection = std::function<bool(const QString& path, const TDirItem& entry)>;

// Extracts the package's entries that the masks and select take into the target's
// transaction, every new file staged and none replaced, mask by mask until ended() says the
// run or the target has ended. Returns the files staged, for install and repair alike.
InstalledFiles extractSelection(TPakovna& archiver, const Package& package, const QString& target,
                                TargetTransaction& transaction, const EntrySelection& select,
                                const std::function<bool()>& ended);

// The path below the target an entry taken by the mask lands at.
QString landedPath(const InstallMask& mask, const TDirItem& entry);

}  // namespace selvanix
