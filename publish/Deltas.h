#pragma once

#include "OutputFile.h"
#include "config/Signature.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

namespace selvanix::publish {

// The deltas from each previous archive to the new one (its temporary path, published as
// archiveName) and the signed index beside them, staged in outDir; each delta is applied
// against its previous archive and must rebuild every entry it carries before anything is
// published. The reason when something failed.
struct PublishedDeltas {
    std::vector<std::unique_ptr<OutputFile>> files;  // the deltas, then the index
};
std::optional<QString> stageDeltas(const QString& newArchive, const QString& archiveName,
                                   const QByteArray& stem, const QStringList& previous,
                                   const QString& outDir, const signing::PrivateKey& key,
                                   std::optional<int> rollout, PublishedDeltas& staged);

}  // namespace selvanix::publish
