#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

#include "delta/AssemblyFile.h"
#include "delta/DeltaApply.h"
#include "delta/DeltaPlan.h"
#include "net/BodyAssembly.h"

namespace selvanix {

// Whether an assembled archive, by its SHA-256 (lowercase hex), is the one the signed
// descriptor names.
using ArchiveHashCheck = std::function<bool(const QByteArray& sha256)>;

// The private name beside the archive NAME in the download folder of the last archive that
// arrived whole.
QByteArray keptArchiveName(const QString& name);  // ".NAME.kept"

// After the archive NAME arrived whole in the folder (host path): it is kept under its private
// name as well (a hard link, so no space), and what an assembly left is gone.
void keepArchive(const QString& hostFolder, const QString& name);

// Builds the archive NAME in the folder from its kept copy and the ranges that changed, and,
// with a delta (under a hash check only), from the entries it rebuilds. Without a hash check,
// the kept copy is used only when nobody else may have written it, and every reused entry must
// pass its CRC-32. Nothing when there is no kept copy to use.
std::shared_ptr<net::BodyAssembly> archiveDelta(
    const QString& hostFolder, const QString& name, ArchiveHashCheck check,
    qint64 mergeGap = kDeltaMergeGap, std::shared_ptr<const VerifiedDelta> delta = nullptr);

}  // namespace selvanix
