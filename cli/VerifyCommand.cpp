#include "Commands.h"
#include "ConsoleReport.h"
#include "ExitCode.h"
#include "Language.h"
#include "engine/CzechPlural.h"
#include "engine/FailureDetail.h"
#include "engine/RunLog.h"
#include "platform/Paths.h"
#include "platform/handles/FolderHandle.h"
#include "store/Manifest.h"
#include "store/Recovery.h"

#include <QFileInfo>
#include <variant>

namespace selvanix::cli {

std::variant<HeldTarget, ExitCode> heldTarget(const QString& target, ConsoleReport& report,
                                              const RunLog& log, const QString& command,
                                              platform::FileLock::Access access) {
    std::optional<platform::FolderHandle> folder =
        QFileInfo(target).isDir() ? platform::FolderHandle::open(target) : std::nullopt;
    if (!folder) {
        return static_cast<ExitCode>(refuseCommand(
            report, kNoTarget,
            say(u"the target %1 is not a folder", u"cíl %1 není složka").arg(target)));
    }
    auto taken = TargetLock::take(*folder, target, TargetLock::kWait, access);
    if (const LockRefusal* refused = std::get_if<LockRefusal>(&taken)) {
        const bool reader = access == platform::FileLock::Access::Read;
        if (refused->kind == LockRefusal::Kind::Unreadable && reader) {
            // Another user's lock: this run only reads, and leaves any journal to its owner.
            return HeldTarget{std::move(*folder), std::nullopt};
        }
        log.line(QStringLiteral("%1 %2: %3").arg(command, target, refused->reason));
        if (refused->kind == LockRefusal::Kind::Busy) {
            report.targetBusy(target, refused->reason);
            report.outcome(outcomeName(RunOutcome::Busy), kBusy, refused->reason, false);
            return kBusy;
        }
        report.outcome(outcomeName(RunOutcome::TargetFailed), kTargetFailed, refused->reason,
                       false);
        return kTargetFailed;
    }
    HeldTarget held{std::move(*folder), std::move(std::get<TargetLock>(taken))};
    // A killed run's journal is finished before the target is read.
    const Recovered recovered = recoverTarget(held.folder, *held.lock);
    if (recovered.state == Recovery::Failed) {
        const QString reason = recovered.lost.isEmpty() ? unfinishedCommit(target)
                                                        : lostStagedFiles(target, recovered.lost);
        log.line(QStringLiteral("%1 %2: %3").arg(command, target, reason));
        report.outcome(outcomeName(RunOutcome::TargetFailed), kTargetFailed, reason, false);
        return kTargetFailed;
    }
    return held;
}

std::variant<RecordedTarget, ExitCode> recordedTarget(const QString& target, ConsoleReport& report,
                                                      const RunLog& log, const QString& command,
                                                      platform::FileLock::Access access) {
    auto held = heldTarget(target, report, log, command, access);
    if (const ExitCode* code = std::get_if<ExitCode>(&held)) {
        return *code;
    }
    HeldTarget& h = std::get<HeldTarget>(held);
    std::optional<Manifest> record = readManifest(h.folder);
    if (!record) {
        log.line(QStringLiteral("%1 %2: no record").arg(command, target));
        report.outcome(QStringLiteral("no record"), kNoTarget, noRecord(target), false);
        return kNoTarget;
    }
    return RecordedTarget{std::move(h), std::move(*record)};
}

// Every recorded file is looked at: the list of what differs is the answer, not just its
// first entry.
int runVerify(const CliOptions& options) {
    const QString target = options.targets.first();
    ConsoleReport report(options.json, stdout);
    const RunLog log = commandLog(options);
    auto opened = recordedTarget(target, report, log, QStringLiteral("verify"),
                                 platform::FileLock::Access::Read);
    if (const ExitCode* code = std::get_if<ExitCode>(&opened)) {
        return *code;
    }
    const platform::FolderHandle& folder = std::get<RecordedTarget>(opened).held.folder;
    const Manifest& record = std::get<RecordedTarget>(opened).record;
    int missing = 0;
    int changed = 0;
    for (const Manifest::Entry& entry : record.files) {
        const FileCheck check = checkFile(folder, entry);
        if (check == FileCheck::Matches) {
            continue;
        }
        const bool gone = check == FileCheck::Missing;
        (gone ? missing : changed) += 1;
        const QString state = gone ? QStringLiteral("missing") : QStringLiteral("changed");
        report.event(QStringLiteral("difference"),
                     {{QStringLiteral("path"), entry.path}, {QStringLiteral("state"), state}},
                     state + u' ' + entry.path);
    }
    const bool same = missing == 0 && changed == 0;
    const QString reason =
        same ? QString()
             : czechPlural(missing, u"%1 soubor chybí", u"%1 soubory chybí", u"%1 souborů chybí") +
                   QStringLiteral(", ") + QStringLiteral("%1 se liší.").arg(changed);
    const qsizetype files = record.files.size();
    report.event(QStringLiteral("checked"),
                 {{QStringLiteral("target"), platform::linuxPath(target)},
                  {QStringLiteral("name"), record.name},
                  {QStringLiteral("package_version"), record.version},
                  {QStringLiteral("files"), files},
                  {QStringLiteral("missing"), missing},
                  {QStringLiteral("changed"), changed}},
                 say(u"checked %1 of %2 %3 in %4: %5", u"zkontrolováno %1 programu %2 %3 v %4: %5")
                     .arg(counted(files, u"file", u"files", u"soubor", u"soubory", u"souborů"),
                          record.name, record.version, platform::linuxPath(target),
                          same ? say(u"all as installed", u"vše jako po instalaci")
                               : say(u"%1 missing, %2 changed", u"chybí %1, liší se %2")
                                     .arg(QString::number(missing), QString::number(changed))));
    log.line(QStringLiteral("verify %1: %2 %3, %4 files, missing %5, changed %6")
                 .arg(target, record.name, record.version)
                 .arg(record.files.size())
                 .arg(missing)
                 .arg(changed));
    const ExitCode code = same ? kInstalled : kDifferences;
    report.outcome(same ? QStringLiteral("verified") : QStringLiteral("differences"), code, reason,
                   false);
    return code;
}

}  // namespace selvanix::cli
