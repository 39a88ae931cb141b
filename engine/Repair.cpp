// Repair: the recorded files that differ come again from the very package the record names.
#include "FailureDetail.h"
#include "InstallEngine.h"
#include "platform/FaultPoint.h"
#include "platform/Paths.h"
#include "platform/StagedFile.h"
#include "store/Recovery.h"

#include <set>

namespace selvanix {

namespace {

// Where an entry of the archive lands below the target, as the installation put it.
QString recordedPathOf(const TDirItem& item, bool underPts) {
    return underPts ? QStringLiteral("pts/") + item.Name : item.Name;
}

// The recorded files that are no longer as recorded, by path: the repair's work.
std::map<QString, Manifest::Entry> differingFiles(const platform::FolderHandle& folder,
                                                  const Manifest& record) {
    std::map<QString, Manifest::Entry> differing;
    for (const Manifest::Entry& entry : record.files) {
        if (checkFile(folder, entry) != FileCheck::Matches) {
            differing.emplace(entry.path, entry);
        }
    }
    return differing;
}

// A staged repair put in place: its files still there, on disk, then committed.
std::optional<RunResult> commitRepair(TargetTransaction& transaction, const QString& target) {
    if (const std::optional<QString> gone = transaction.missingStaged()) {
        return RunResult{RunOutcome::TargetFailed, stagedFileGone(target, *gone)};
    }
    syncStaged({&transaction, 1});
    if (const RollForward done = transaction.commit(); !done.done) {
        return RunResult{RunOutcome::TargetFailed, done.lost.isEmpty()
                                                       ? unfinishedCommit(target)
                                                       : lostStagedFiles(target, done.lost)};
    }
    return std::nullopt;
}

}  // namespace

// The package's entries for the differing files, staged into the transaction; what was
// staged leaves `differing`.
InstalledFiles InstallEngine::stageRepairs(TargetTransaction& transaction, const QString& target,
                                           std::map<QString, Manifest::Entry>& differing) {
    targetSkips_ = 0;
    targetAborted_ = false;
    abortReason_.clear();
    archiver_.FileName = state_.cestazip;
    archiver_.ArchiveFile = archive_;
    archiver_.BaseAnchor = target;
    archiver_.OpenArchive(0);
    InstalledFiles staged;
    for (const bool underPts : {false, true}) {
        // An entry is taken when it is the recorded file: same place, size and CRC.
        InstalledFiles again = extractInto(
            archiver_, transaction, underPts ? target + QStringLiteral("\\pts") : target,
            underPts ? QStringLiteral("pts/") : QString(), [&] {
                archiver_.ExtractEntries([&](const TDirItem& item) {
                    const auto at = differing.find(recordedPathOf(item, underPts));
                    return !item.isFolder() && at != differing.end() &&
                           at->second.crc == item.CentralDir.crc32 &&
                           at->second.size == item.uncompressedSize();
                });
            });
        for (const auto& [path, file] : again) {
            differing.erase(path);
        }
        staged.merge(again);
        if (stop_ || targetAborted_) {
            break;
        }
    }
    archiver_.CloseArchive();
    return staged;
}

RunResult InstallEngine::repairSteps(const RunRequest& request, const QString& target,
                                     QStringList& repaired) {
    RunResult refused;
    const std::optional<HeldTargets> held = lockTargets({target}, refused);
    if (!held) {
        return refused;
    }
    const std::optional<platform::FolderHandle> folder = platform::FolderHandle::open(target);
    const Recovered recovered =
        folder && held->of(target) ? recoverTarget(*folder, *held->of(target)) : Recovered{};
    if (recovered.state == Recovery::Failed) {
        return RunResult{RunOutcome::TargetFailed, recovered.lost.isEmpty()
                                                       ? unfinishedCommit(target)
                                                       : lostStagedFiles(target, recovered.lost)};
    }
    const std::optional<Manifest> record = folder ? readManifest(*folder) : std::nullopt;
    if (!record) {
        return RunResult{RunOutcome::NoTarget, noRecord(target)};
    }
    if (record->sha256.isEmpty()) {
        return RunResult{RunOutcome::Refused, partialRecord(target)};
    }
    std::optional<TargetLock> downloads;
    if (std::optional<RunResult> busy = holdDownloads(request, downloads)) {
        return *busy;
    }
    if (std::optional<RunResult> failed = fetchPackage(request)) {
        return *failed;
    }
    if (archiveSha_ != record->sha256) {
        return RunResult{RunOutcome::Refused, otherPackage(target, record->version)};
    }
    std::map<QString, Manifest::Entry> differing = differingFiles(*folder, *record);
    RunResult result;
    if (differing.empty()) {
        return result;
    }
    std::optional<TargetTransaction> transaction =
        TargetTransaction::begin(*folder, Journal::Kind::Repair, platform::randomTag());
    if (!transaction) {
        return RunResult{RunOutcome::TargetFailed, unwritableTarget(target)};
    }
    startTarget(target, 0, 1);
    const InstalledFiles staged = stageRepairs(*transaction, target, differing);
    if (stop_ || targetAborted_) {
        transaction->discard();
        return stop_ ? RunResult{RunOutcome::Interrupted, QStringLiteral("Oprava byla přerušena.")}
                     : RunResult{RunOutcome::TargetFailed, abortedEntry(target, abortReason_)};
    }
    downloads.reset();
    platform::pausePoint("repair-staged");
    if (std::optional<RunResult> failed = commitRepair(*transaction, target)) {
        return *failed;
    }
    for (const auto& [path, file] : staged) {
        repaired << path;
    }
    result.installed = 1;
    result.skippedEntries = static_cast<int>(differing.size());
    if (!differing.empty()) {
        result.outcome = RunOutcome::Skipped;
        result.reason = QStringLiteral("%1 souborů se nepodařilo opravit.").arg(differing.size());
    }
    return result;
}

}  // namespace selvanix
