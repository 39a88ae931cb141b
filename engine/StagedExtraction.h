#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <map>

#include "archive/Pakovna.h"
#include "store/Transaction.h"

namespace selvanix {

struct InstalledFile {
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
};
// What a target got: each file below the target ('/' between folders) and what it is.
using InstalledFiles = std::map<QString, InstalledFile>;

// Runs extract (the archiver's ExtractFiles or ExtractEntries) into baseDir with every new
// file staged into the transaction, recorded under prefix ("" for the target itself, "pts/"
// below it) and its path. Returns the files it installed, for install and repair alike.
InstalledFiles extractInto(TPakovna& archiver, TargetTransaction& transaction,
                           const QString& baseDir, const QString& prefix,
                           const std::function<void()>& extract);

}  // namespace selvanix
