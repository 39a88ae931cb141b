#include "Commands.h"
#include "ConsoleReport.h"
#include "ExitCode.h"
#include "Language.h"
#include "engine/FailureDetail.h"
#include "engine/RunLog.h"
#include "store/Rollback.h"

#include <QFileInfo>

namespace selvanix::cli {

int runRollback(const CliOptions& options) {
    const QString target = options.targets.first();
    ConsoleReport report(options.json, stdout);
    const RunLog log = commandLog(options);
    auto opened = heldTarget(target, report, log, QStringLiteral("rollback"),
                             platform::FileLock::Access::Write);
    if (const ExitCode* code = std::get_if<ExitCode>(&opened)) {
        return *code;
    }
    const HeldTarget& held = std::get<HeldTarget>(opened);
    const RollbackResult result = rollBackTarget(held.folder, *held.lock);
    for (const auto& [path, keptAs] : result.keptBeside) {
        report.event(QStringLiteral("kept"),
                     {{QStringLiteral("path"), path}, {QStringLiteral("kept_as"), keptAs}},
                     say(u"kept %1 as %2: changed since it was installed",
                         u"ponechán %1 jako %2: od instalace změněn")
                         .arg(path, keptAs));
    }
    for (const QString& path : result.kept) {
        report.event(
            QStringLiteral("kept"), {{QStringLiteral("path"), path}},
            say(u"kept %1: changed since it was installed", u"ponechán %1: od instalace změněn")
                .arg(path));
    }
    log.line(QStringLiteral("rollback %1: restored %2, removed %3, kept %4")
                 .arg(target)
                 .arg(result.restored.size())
                 .arg(result.removed.size())
                 .arg(result.kept.size()));
    switch (result.outcome) {
        case RollbackResult::Outcome::RolledBack:
            report.outcome(QStringLiteral("rolled back"), kInstalled, QString(), true);
            return kInstalled;
        case RollbackResult::Outcome::NoRecord:
            report.outcome(QStringLiteral("no record"), kNoTarget, noRecord(target), false);
            return kNoTarget;
        case RollbackResult::Outcome::NoPrevious:
            report.outcome(QStringLiteral("no previous version"), kNoTarget,
                           QStringLiteral("Složka %1 nemá uloženou předchozí verzi.").arg(target),
                           false);
            return kNoTarget;
        case RollbackResult::Outcome::Failed:
            break;
    }
    report.outcome(QStringLiteral("target failed"), kTargetFailed, unfinishedCommit(target), true);
    return kTargetFailed;
}

}  // namespace selvanix::cli
