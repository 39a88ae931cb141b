// Repair: the recorded files that differ come again from the very package the record names.
#include "CzechPlural.h"
#include "FailureDetail.h"
#include "InstallEngine.h"
#include "platform/FaultPoint.h"
#include "platform/Paths.h"
#include "platform/handles/StagedFile.h"
#include "store/Recovery.h"

#include <set>

namespace selvanix {

namespace {

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
    syncStaged(transaction);
    if (const RollForward done = transaction.commit(); !done.done) {
        return RunResult{RunOutcome::TargetFailed, done.lost.isEmpty()
                                                       ? unfinishedCommit(target)
                                                       : lostStagedFiles(target, done.lost)};
    }
    return std::nullopt;
}

}  // namespace

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
    const PackageNames names = PackageNames::of(request.product, request.channel);
    std::optional<TargetLock> downloads;
    const Step<Package> fetched = fetchHeld(request, names, downloads);
    if (const RunResult* failed = std::get_if<RunResult>(&fetched)) {
        return *failed;
    }
    const Package& package = std::get<Package>(fetched);
    if (package.sha256 != record->sha256) {
        return RunResult{RunOutcome::Refused, otherPackage(target, record->version)};
    }
    return repairFrom(package, target, *folder, *record, downloads, repaired);
}

// The differing files staged from the package and committed; the downloads' lock goes once
// they are staged.
RunResult InstallEngine::repairFrom(const Package& package, const QString& target,
                                    const platform::FolderHandle& folder, const Manifest& record,
                                    std::optional<TargetLock>& downloads, QStringList& repaired) {
    std::map<QString, Manifest::Entry> differing = differingFiles(folder, record);
    RunResult result;
    if (differing.empty()) {
        return result;
    }
    std::optional<TargetTransaction> transaction =
        TargetTransaction::begin(folder, Journal::Kind::Repair, platform::randomTag());
    if (!transaction) {
        return RunResult{RunOutcome::TargetFailed, unwritableTarget(target)};
    }
    startTarget(target, 0, 1);
    // An entry is taken when it is the recorded file: same place, size and CRC.
    const Extracted staged =
        rozbal(package, target, *transaction, [&](const QString& path, const TDirItem& entry) {
            const auto at = differing.find(path);
            return !entry.isFolder() && at != differing.end() &&
                   at->second.crc == entry.CentralDir.crc32 &&
                   at->second.size == entry.uncompressedSize();
        });
    for (const auto& [path, file] : staged.installed) {
        differing.erase(path);
    }
    if (stop_ || staged.entries.aborted) {
        transaction->discard();
        return stop_ ? RunResult{RunOutcome::Interrupted, QStringLiteral("Oprava byla přerušena.")}
                     : RunResult{RunOutcome::TargetFailed,
                                 abortedEntry(target, staged.entries.abortReason) + u' ' +
                                     notInstalledEntries(staged.entries.notInstalled, {})};
    }
    downloads.reset();
    platform::pausePoint("repair-staged");
    if (std::optional<RunResult> failed = commitRepair(*transaction, target)) {
        return *failed;
    }
    for (const auto& [path, file] : staged.installed) {
        repaired << path;
    }
    result.installed = 1;
    result.skippedEntries = static_cast<int>(differing.size());
    if (!differing.empty()) {
        result.outcome = RunOutcome::Skipped;
        result.reason =
            czechPlural(static_cast<qint64>(differing.size()), u"%1 soubor se nepodařilo opravit.",
                        u"%1 soubory se nepodařilo opravit.", u"%1 souborů se nepodařilo opravit.");
    }
    return result;
}

}  // namespace selvanix
