#pragma once

#include "Manifest.h"
#include "TargetLock.h"

#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

namespace selvanix {

// What a rollback did to a target.
struct RollbackResult {
    enum class Outcome { RolledBack, NoRecord, NoPrevious, Failed };
    Outcome outcome = Outcome::Failed;
    QStringList restored;  // put back from the previous version
    QStringList removed;   // added by the newer version
    QStringList kept;      // added by the newer version and changed since: the user's now
    // Replaced by the newer version and changed since: the user's file, and where it now is.
    std::vector<std::pair<QString, QString>> keptBeside;
};

// Puts the previous version back: each file the newer version replaced returns, each file it
// added goes (unless changed since), and the previous record becomes the record. Journalled,
// so a kill on the way is finished by the next touch.
RollbackResult rollBackTarget(const platform::FolderHandle& target, const TargetLock& held);

}  // namespace selvanix
