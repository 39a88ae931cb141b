#include "InstallEngine.h"

#include "FailureDetail.h"
#include "InstallerSettings.h"
#include "RunLog.h"
#include "VerifiedArchive.h"
#include "Version.h"
#include "archive/InstallMasks.h"
#include "config/PackageDescriptor.h"
#include "config/PackageSignature.h"
#include "config/PackageVersion.h"
#include "config/PublisherKey.h"
#include "net/WebHTTPGet.h"
#include "platform/FaultPoint.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"
#include "platform/Places.h"
#include "platform/ShellOpen.h"
#include "platform/handles/StagedFile.h"
#include "profile/IniFile.h"
#include "profile/PrivateProfile.h"
#include "store/Recovery.h"

#include <sys/stat.h>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <map>
#include <set>

namespace selvanix {

namespace {

// The work list holds folders without a trailing separator; the installer's own folder has one.
QString withoutTrailingSeparator(const QString& folder) {
    QString result = folder;
    while (result.size() > 1 && (result.endsWith(u'/') || result.endsWith(u'\\'))) {
        result.chop(1);
    }
    return result;
}

class Hits : public SearchResults {
public:
    Hits(QStringList& list, RunObserver& observer) : list_(list), observer_(observer) {}
    void append(const QString& folder) override {
        list_ << folder;
        observer_.targetFound(folder);
    }

private:
    QStringList& list_;
    RunObserver& observer_;
};

// The record of what the target got. One that did not get every entry keeps no archive
// hash: it is never taken for a whole copy of the package.
Manifest targetRecord(const Package& package, const Extracted& extracted) {
    Manifest record = package.record();
    for (const auto& [path, file] : extracted.installed) {
        record.files.push_back({path, file.size, file.crc});
    }
    if (extracted.entries.skipped > 0) {
        record.sha256.clear();
    }
    return record;
}

}  // namespace

std::pair<PackageProblem, QString> signatureRefusal(const PackageNames& names,
                                                    const PackageDescriptor& descriptor,
                                                    const QByteArray& sha256, PackageCheck check) {
    switch (check) {
        case PackageCheck::Unsigned:
            return {PackageProblem::Unsigned,
                    QStringLiteral("Soubor %1 nenese podpis vydavatele.").arg(names.descriptor)};
        case PackageCheck::OldForm:
            return {PackageProblem::SignatureMismatch,
                    QStringLiteral("Balíček je podepsán starým způsobem, který nejmenuje "
                                   "program; vydavatel ho musí podepsat znovu.")};
        case PackageCheck::Expired:
            return {PackageProblem::Expired,
                    QStringLiteral("Balíček bylo možné instalovat jen do %1.")
                        .arg(descriptor.platnost.value_or(QString()))};
        case PackageCheck::Verified:
        case PackageCheck::NoArchive:
        case PackageCheck::BadSignature:
            break;
    }
    // Signed by a key the publisher revoked: that is what the user should learn, not a
    // change after signing.
    const PublisherKey revoked = PublisherKey::fromText(revokedKeys().join(u' '));
    if (selvanix::checkPackage(descriptor, names.signedStem, sha256, revoked.keys,
                               QDate::currentDate()) == PackageCheck::Verified) {
        return {PackageProblem::SignatureMismatch,
                QStringLiteral("Balíček je podepsán klíčem vydavatele, který byl "
                               "odvolán; vydavatel ho musí podepsat platným klíčem.")};
    }
    return {PackageProblem::SignatureMismatch,
            QStringLiteral("Balíček byl po podpisu změněn, je podepsán jiným klíčem "
                           "nebo patří jinému programu.")};
}

QString answerName(TArcAction answer) {
    switch (answer) {
        case fxaRetry:
            return QStringLiteral("Retry");
        case fxaIgnore:
            return QStringLiteral("Ignore");
        case fxaAbort:
            break;
    }
    return QStringLiteral("Abort");
}

SearchProgress& RunObserver::searchProgress(int) {
    class Unseen : public SearchProgress {
        void show() override {}
        void hide() override {}
        void setMaximum(int) override {}
        void setPosition(int) override {}
    };
    static Unseen unseen;
    return unseen;
}

InstallEngine::InstallEngine(RunObserver& observer, RunQuestions& questions, Fetcher& fetcher,
                             TPakovna& archiver, FolderListings& listings)
    : observer_(observer),
      questions_(questions),
      fetcher_(fetcher),
      archiver_(archiver),
      listings_(listings) {}

void InstallEngine::requestStop() noexcept {
    stop_ = true;
    fetcher_.stop();
}

void InstallEngine::log(const QString& text) const {
    if (log_) {
        log_->line(text);
    }
}

void InstallEngine::beginRun(const RunRequest& request, const QString& what) {
    const QString stem = PackageNames::of(request.product).stem;
    log(QStringLiteral("Selvanix %1: %2 %3 from %4")
            .arg(selvanixVersion(), what, stem.isEmpty() ? QStringLiteral("(none)") : stem,
                 request.source == PackageSource::Internet ? request.baseUrl
                                                           : request.packageFolder));
}

void InstallEngine::logOutcome(const RunResult& result) const {
    log(QStringLiteral("outcome: %1, installed %2, unchanged %3, skipped entries %4%5")
            .arg(outcomeName(result.outcome), QString::number(result.installed),
                 QString::number(result.unchanged), QString::number(result.skippedEntries),
                 result.reason.isEmpty() ? QString() : QStringLiteral(", ") + result.reason));
}

RunResult InstallEngine::run(const RunRequest& request) {
    beginRun(request, QStringLiteral("install"));
    RunResult result;
    try {
        result = runSteps(request);
    } catch (const std::exception& error) {
        log(QStringLiteral("outcome: failed, %1").arg(QString::fromUtf8(error.what())));
        throw;
    }
    logOutcome(result);
    return result;
}

RunResult InstallEngine::repair(const RunRequest& request, const QString& target,
                                QStringList& repaired) {
    beginRun(request, QStringLiteral("repair"));
    RunResult result;
    try {
        result = repairSteps(request, target, repaired);
    } catch (const std::exception& error) {
        log(QStringLiteral("outcome: failed, %1").arg(QString::fromUtf8(error.what())));
        throw;
    }
    logOutcome(result);
    return result;
}

Step<Package> InstallEngine::fetchPackage(const RunRequest& request, const PackageNames& names) {
    if (!request.channel.isEmpty() && !isChannelName(request.channel)) {
        return fail(RunOutcome::NoPackage, PackageProblem::NotFound, badChannel(request.channel));
    }
    const QString keys = takeKeyStatements(request);
    Step<PackageLocation> location = locatePackage(request, names, keys);
    if (RunResult* missing = std::get_if<RunResult>(&location)) {
        return std::move(*missing);
    }
    Step<Package> checked =
        checkPackage(names, std::move(std::get<PackageLocation>(location)), keys);
    if (const Package* read = std::get_if<Package>(&checked)) {
        const PackageInfo info = read->info();
        observer_.descriptorRead(info);
        log(QStringLiteral("package %1, version %2, date %3")
                .arg(info.name, info.version, info.date));
    }
    return checked;
}

// Runs of one product fetch into the same files of the installer's folder; one at a time.
std::optional<RunResult> InstallEngine::holdDownloads(const RunRequest& request,
                                                      const PackageNames& names,
                                                      std::optional<TargetLock>& held) {
    if (request.source != PackageSource::Internet || names.stem.isEmpty()) {
        return std::nullopt;
    }
    const QString folder = platform::installerFolder();
    auto taken = TargetLock::takeDownloads(folder, names.stem);
    if (TargetLock* lock = std::get_if<TargetLock>(&taken)) {
        held.emplace(std::move(*lock));
        return std::nullopt;
    }
    const LockRefusal& refused = std::get<LockRefusal>(taken);
    log(QStringLiteral("downloads of %1: %2").arg(names.stem, refused.reason));
    if (refused.kind == LockRefusal::Kind::Busy) {
        observer_.targetBusy(folder, refused.reason);
        return RunResult{RunOutcome::Busy, refused.reason};
    }
    return fail(RunOutcome::NoPackage, PackageProblem::NotFound, refused.reason);
}

Step<Package> InstallEngine::fetchHeld(const RunRequest& request, const PackageNames& names,
                                       std::optional<TargetLock>& downloads) {
    if (std::optional<RunResult> busy = holdDownloads(request, names, downloads)) {
        return *busy;
    }
    return fetchPackage(request, names);
}

RunResult InstallEngine::runSteps(const RunRequest& request) {
    const PackageNames names = PackageNames::of(request.product, request.channel);
    std::optional<TargetLock> downloads;
    const Step<Package> package = fetchHeld(request, names, downloads);
    if (const RunResult* failed = std::get_if<RunResult>(&package)) {
        return *failed;
    }
    const Package& checked = std::get<Package>(package);
    const Step<FoundTargets> found = findTargets(request, checked);
    if (const RunResult* failed = std::get_if<RunResult>(&found)) {
        return *failed;
    }
    RunResult result;
    result.version = checked.info().version;
    QString startProblem;
    installTargets(checked, std::get<FoundTargets>(found), request, downloads, result,
                   startProblem);
    rememberInstalled(checked.names.stem, result.targets);
    if (result.outcome == RunOutcome::Installed || result.outcome == RunOutcome::Skipped) {
        observer_.installed(result, std::get<FoundTargets>(found).skips, startProblem);
    }
    return result;
}

// The folder holding the product's descriptor: the installer's own once both files are
// fetched, or the package folder the request names.
Step<PackageLocation> InstallEngine::locatePackage(const RunRequest& request,
                                                   const PackageNames& names, const QString& keys) {
    QString folder = request.packageFolder;
    bool present = request.source == PackageSource::Folder;
    PackageFetched fetched;
    if (request.source == PackageSource::Internet) {
        observer_.fetchingPackage();
        fetched = kopirujzWebu(request.packageUrl(), names, keys);
        present = fetched.descriptor && fetched.archive;
        if (present) {
            folder = withoutTrailingSeparator(platform::installerFolder());
        }
    }
    // A fetch that saved both files is taken at its word; a folder is looked in.
    const bool found = present && !folder.isEmpty() && !names.descriptor.isEmpty() &&
                       (request.source == PackageSource::Internet ||
                        platform::fileExists(folder + u'\\' + names.descriptor));
    observer_.packageLooked(folder, found);
    if (!found) {
        const QString reason =
            request.source == PackageSource::Internet && !fetched.problem.isEmpty()
                ? fetched.problem
                : missingPackageFile(folder, names.descriptor);
        return fail(RunOutcome::NoPackage, PackageProblem::NotFound, reason);
    }
    return PackageLocation{folder, std::move(fetched.read)};
}

// The descriptor is read once (by the fetch, or here) and the archive opened once, here: what
// is checked is what the run shows, starts and extracts. With a publisher key configured
// nothing unsigned is shown, extracted or started.
Step<Package> InstallEngine::checkPackage(const PackageNames& names, PackageLocation location,
                                          const QString& keys) {
    Package package;
    package.names = names;
    package.folder = std::move(location.folder);
    if (location.descriptor) {
        package.descriptor = std::move(*location.descriptor);
    } else if (QFileInfo(platform::toHostPath(package.descriptorPath())).size() >
               kMaxProfileBytes) {
        return fail(RunOutcome::NoPackage, PackageProblem::NotFound,
                    oversizedDescriptor(package.folder, names.descriptor));
    } else {
        package.descriptor = readPackageDescriptor(package.descriptorPath());
    }
    std::optional<VerifiedArchive> archive = openVerifiedArchive(package.archivePath());
    if (archive) {
        package.archive = archive->file;
        package.sha256 = archive->sha256;
    }
    const PublisherKey publisher = PublisherKey::fromText(keys);
    if (!publisher.required) {
        return package;
    }
    const PackageCheck check =
        !archive ? PackageCheck::NoArchive
                 : selvanix::checkPackage(package.descriptor, names.signedStem, package.sha256,
                                          publisher.keys, QDate::currentDate());
    if (check == PackageCheck::Verified) {
        return package;
    }
    if (check == PackageCheck::NoArchive) {
        return fail(RunOutcome::NoPackage, PackageProblem::NotFound,
                    missingPackageFile(package.folder, names.archive));
    }
    const auto [problem, reason] =
        signatureRefusal(package.names, package.descriptor, package.sha256, check);
    return fail(RunOutcome::Refused, problem, reason);
}

Step<FoundTargets> InstallEngine::findTargets(const RunRequest& request, const Package& package) {
    FoundTargets found;
    const QString marker = package.info().marker;
    const auto noTarget = [&](const QString& reason) {
        observer_.noTarget(reason, found.skips);
        return RunResult{stop_ ? RunOutcome::Interrupted : RunOutcome::NoTarget, reason};
    };
    if (request.targetMode == TargetMode::Fields) {
        for (const QString& field : request.fields) {
            if (!field.isEmpty()) {
                found.targets << field;
                observer_.targetFound(field);
            }
        }
    } else {
        // A marker that could name something outside its folder is not searched for.
        if (!isMarkerName(marker)) {
            return noTarget(badMarkerReason(package.names.descriptor, marker));
        }
        observer_.searchStarted(marker);
        DriveInventory drives;
        GetDrives(drives);
        Hits hits(found.targets, observer_);
        found.skips = NajdiSouborHD(marker, QStringLiteral("HD"), drives, listings_, hits,
                                    observer_.searchProgress(0), observer_.searchProgress(1));
        observer_.searchEnded(found.skips);
    }
    if (found.targets.isEmpty()) {
        return noTarget(noTargetReason(request.targetMode, marker));
    }
    return found;
}

const TargetLock* HeldTargets::of(const QString& target) const {
    const auto at = byTarget.find(target);
    return at == byTarget.end() ? nullptr : &locks[at->second];
}

// Every target's lock, taken in the order of the folders' identities; a folder named twice
// is held once, as a second lock of it would wait on the first. Nothing when one could not
// be taken: the run has ended, nothing changed.
std::optional<HeldTargets> InstallEngine::lockTargets(const QStringList& targets,
                                                      RunResult& result) {
    struct Named {
        std::pair<dev_t, ino_t> identity;
        QString target;
        platform::FolderHandle folder;
    };
    std::vector<Named> named;
    for (const QString& target : targets) {
        std::optional<platform::FolderHandle> folder = platform::FolderHandle::open(target);
        struct stat st {};
        if (folder && ::fstat(folder->descriptor(), &st) == 0) {
            named.push_back({{st.st_dev, st.st_ino}, target, std::move(*folder)});
        }
    }
    std::stable_sort(named.begin(), named.end(),
                     [](const Named& a, const Named& b) { return a.identity < b.identity; });
    HeldTargets held;
    for (std::size_t i = 0; i < named.size(); ++i) {
        if (i > 0 && named[i].identity == named[i - 1].identity) {
            held.byTarget[named[i].target] = held.locks.size() - 1;
            continue;
        }
        auto taken = TargetLock::take(named[i].folder, named[i].target);
        if (TargetLock* lock = std::get_if<TargetLock>(&taken)) {
            held.locks.push_back(std::move(*lock));
            held.byTarget[named[i].target] = held.locks.size() - 1;
            continue;
        }
        const LockRefusal& refused = std::get<LockRefusal>(taken);
        if (refused.kind == LockRefusal::Kind::Busy) {
            observer_.targetBusy(named[i].target, refused.reason);
            log(QStringLiteral("target %1: busy").arg(named[i].target));
            result.outcome = RunOutcome::Busy;
            result.reason = refused.reason;
        } else {
            targetFailure(named[i].target, refused.reason, result);
        }
        return std::nullopt;
    }
    return held;
}

// Each target is recovered first; one that already holds this package is left alone. A
// journal that cannot be finished ends the run before anything changes.
QStringList InstallEngine::targetsToChange(const Package& package, const FoundTargets& found,
                                           const RunRequest& request, const HeldTargets& held,
                                           RunResult& result) {
    QStringList chosen;
    for (const QString& target : found.targets) {
        const std::optional<platform::FolderHandle> folder = platform::FolderHandle::open(target);
        const TargetLock* lock = held.of(target);
        const Recovered recovered = folder && lock ? recoverTarget(*folder, *lock) : Recovered{};
        if (recovered.state == Recovery::Failed) {
            targetFailure(target,
                          recovered.lost.isEmpty() ? unfinishedCommit(target)
                                                   : lostStagedFiles(target, recovered.lost),
                          result);
            return {};
        }
        if (recovered.state != Recovery::Clean) {
            log(QStringLiteral("target %1: an interrupted run was %2")
                    .arg(target, recovered.state == Recovery::Undone ? QStringLiteral("undone")
                                                                     : QStringLiteral("finished")));
        }
        if (request.keepUnchanged && holdsThisPackage(package, target)) {
            observer_.targetUnchanged(target);
            log(QStringLiteral("target %1: already holds this package").arg(target));
            ++result.unchanged;
            result.targets << target;
            continue;
        }
        chosen << target;
    }
    return chosen;
}

// Every target is checked, then staged; only when all are staged is any file replaced. A
// failure before that leaves every target as it was.
void InstallEngine::installTargets(const Package& package, const FoundTargets& found,
                                   const RunRequest& request, std::optional<TargetLock>& downloads,
                                   RunResult& result, QString& startProblem) {
    if (const platform::Places own = platform::ownPlaces(); own.installed) {
        if (const std::optional<TargetProblem> problem =
                ownFolderProblem(found.targets, own.installerFolder)) {
            targetFailure(problem->target, problem->reason, result);
            return;
        }
    }
    const std::optional<HeldTargets> held = lockTargets(found.targets, result);
    if (!held) {
        return;
    }
    // Looked at under the lock: what was remembered may have been swapped since.
    if (request.remembered) {
        if (const std::optional<QString> problem =
                rememberedTargetProblem(*request.remembered, package.names.stem)) {
            targetFailure(request.remembered->path, *problem, result);
            return;
        }
    }
    const QStringList chosen = targetsToChange(package, found, request, *held, result);
    if (chosen.isEmpty()) {
        return;
    }
    if (const std::optional<QString> refused = downgradeRefused(package, chosen)) {
        result = fail(RunOutcome::Refused, PackageProblem::OlderVersion, *refused);
        return;
    }
    if (const std::optional<QString> refused = otherProductRefused(package, chosen)) {
        result = fail(RunOutcome::Refused, PackageProblem::OtherProduct, *refused);
        return;
    }
    if (const std::optional<TargetProblem> problem = checkTargets(chosen, plannedFiles(package))) {
        targetFailure(problem->target, problem->reason, result);
        return;
    }
    const SameFolders folders = sameFolders(chosen);
    std::optional<std::vector<StagedTarget>> staged =
        stageTargets(package, folders.once, request, result);
    downloads.reset();  // the archive is read through its open file from here on
    if (!staged) {
        return;
    }
    if (stop_) {
        staged->clear();
        result.outcome = RunOutcome::Interrupted;
        result.reason = QStringLiteral("Instalace byla přerušena.");
        return;
    }
    if (result.skippedEntries > 0) {
        result.outcome = RunOutcome::Skipped;
        result.reason = notInstalledEntries(result.notInstalled, result.causes);
    }
    commitTargets(package, *staged, result, startProblem, request.startPrograms);
    // A folder named again counts again, as the fields named it; it was installed once.
    for (const auto& [again, first] : folders.again) {
        if (result.targets.contains(first)) {
            ++result.installed;
            result.targets << again;
        }
    }
}

// Every target staged under one tag, in order; nothing when one failed (all are discarded).
std::optional<std::vector<StagedTarget>> InstallEngine::stageTargets(const Package& package,
                                                                     const QStringList& targets,
                                                                     const RunRequest& request,
                                                                     RunResult& result) {
    const QByteArray tag = platform::randomTag();
    std::vector<StagedTarget> staged;
    const int count = static_cast<int>(targets.size());
    for (int i = 0; i < count && !stop_; ++i) {
        const QString& target = targets[i];
        startTarget(target, i, count);
        try {
            staged.push_back(stageTarget(package, target, request, tag));
        } catch (const std::exception& error) {
            staged.clear();
            const QString reason = installFailure(target, error);
            observer_.targetFailed(target, reason);
            log(QStringLiteral("target %1: failed, %2").arg(target, reason));
            throw;
        }
        const EntryOutcomes entries = staged.back().entries;  // kept past the clear below
        if (entries.aborted && !stop_) {
            staged.clear();
            QStringList others = entries.causes;
            others.removeAll(entries.abortReason);
            targetFailure(target,
                          abortedEntry(target, entries.abortReason) + u' ' +
                              notInstalledEntries(entries.notInstalled, others),
                          result);
            return std::nullopt;
        }
        result.skippedEntries += entries.skipped;
        result.notInstalled << entries.notInstalled;
        for (const QString& cause : entries.causes) {
            if (!result.causes.contains(cause)) {
                result.causes << cause;
            }
        }
        log(QStringLiteral("target %1: staged").arg(target));
        platform::pausePoint("staged");
    }
    return staged;
}

SameFolders sameFolders(const QStringList& targets) {
    SameFolders folders;
    std::map<std::pair<dev_t, ino_t>, QString> first;
    for (const QString& target : targets) {
        const std::optional<platform::FolderHandle> folder = platform::FolderHandle::open(target);
        const auto [at, added] =
            folder ? first.emplace(folder->identity(), target) : std::pair{first.end(), true};
        if (added) {
            folders.once << target;
        } else {
            folders.again.emplace_back(target, at->second);
        }
    }
    return folders;
}

void InstallEngine::startTarget(const QString& target, int index, int count) {
    if (index == 0) {
        progress_ = RunProgress(count, RunProgress::Clock::now());
    }
    progress_.startTarget(index);
    observer_.targetStarted(target, index, count);
}

std::optional<QString> InstallEngine::downgradeRefused(const Package& package,
                                                       const QStringList& targets) {
    const QString version = package.info().version;
    for (const QString& target : targets) {
        const std::optional<platform::FolderHandle> folder = platform::FolderHandle::open(target);
        const std::optional<Manifest> held = folder ? readManifest(*folder) : std::nullopt;
        if (!held || held->stem != package.names.stem) {
            continue;
        }
        const VersionOrder order = compareVersions(version, held->version);
        if (order != VersionOrder::Older && order != VersionOrder::Incomparable) {
            continue;
        }
        const bool comparable = order == VersionOrder::Older;
        const bool allowed = questions_.allowDowngrade(version, held->version, comparable);
        observer_.downgradeAnswered(version, held->version, comparable, allowed);
        log(QStringLiteral("target %1 holds %2, the package is %3: %4")
                .arg(target, held->version, version,
                     allowed ? QStringLiteral("installed on request") : QStringLiteral("refused")));
        if (allowed) {
            return std::nullopt;  // one question a run
        }
        return (comparable ? QStringLiteral("Balíček má starší verzi %1, než je verze %2 "
                                            "nainstalovaná ve složce %3.")
                           : QStringLiteral("Verzi balíčku %1 nelze porovnat s verzí %2 "
                                            "nainstalovanou ve složce %3."))
            .arg(version, held->version, platform::displayPath(target));
    }
    return std::nullopt;
}

// A target that holds another product than this package's is asked about once per run: a
// mistyped product would otherwise leave that program's files behind untracked.
std::optional<QString> InstallEngine::otherProductRefused(const Package& package,
                                                          const QStringList& targets) {
    for (const QString& target : targets) {
        const std::optional<platform::FolderHandle> folder = platform::FolderHandle::open(target);
        const std::optional<Manifest> held = folder ? readManifest(*folder) : std::nullopt;
        if (!held || held->stem == package.names.stem) {
            continue;
        }
        const bool allowed = questions_.allowOtherProduct(target, held->stem, held->name);
        observer_.otherProductAnswered(target, held->stem, held->name, allowed);
        log(QStringLiteral("target %1 holds %2, the package is %3: %4")
                .arg(target, held->stem, package.names.stem,
                     allowed ? QStringLiteral("installed on request") : QStringLiteral("refused")));
        if (allowed) {
            return std::nullopt;
        }
        return QStringLiteral("Ve složce %1 je nainstalován jiný program (%2).")
            .arg(platform::displayPath(target), held->name);
    }
    return std::nullopt;
}

// Every staged file of every target is looked at before the first commit record: one that
// another hand removed or replaced fails the run while nothing is changed yet. Once the first
// record is down the commit is finished whatever comes; a stop that came by then only keeps
// the programs from starting.
void InstallEngine::commitTargets(const Package& package, std::vector<StagedTarget>& staged,
                                  RunResult& result, QString& startProblem, bool startPrograms) {
    platform::pausePoint("commit");
    for (const StagedTarget& one : staged) {
        if (const std::optional<QString> gone = one.transaction.missingStaged()) {
            const QString target = one.target;
            staged.clear();
            targetFailure(target, stagedFileGone(target, *gone), result);
            return;
        }
    }
    std::vector<const TargetTransaction*> transactions;
    for (StagedTarget& one : staged) {
        transactions.push_back(&one.transaction);
    }
    syncStaged(transactions);
    QStringList committed;
    for (StagedTarget& one : staged) {
        const RollForward done = one.transaction.commit();
        if (&one == &staged.front()) {
            platform::pausePoint("committing");
        }
        if (done.done) {
            committed << one.target;
            ++result.installed;
            result.targets << one.target;
            log(QStringLiteral("target %1: installed").arg(one.target));
        } else {
            targetFailure(one.target,
                          done.lost.isEmpty() ? unfinishedCommit(one.target)
                                              : lostStagedFiles(one.target, done.lost),
                          result);
        }
    }
    if (stop_ && result.installed > 0) {
        startProblem = programsHeldByStop();
        if (result.outcome != RunOutcome::TargetFailed) {
            result.reason = startProblem;
        }
        observer_.programsNotStarted(startProblem);
        log(QStringLiteral("programs not started: stopped while committing"));
        return;
    }
    if (!startPrograms) {
        log(QStringLiteral("programs not started: an unattended run"));
        return;
    }
    for (const QString& target : committed) {
        const Started started = startProgram(package, target);
        if (started.problem && startProblem.isEmpty()) {
            startProblem = *started.problem;
        }
    }
}

// Every target that holds the package now is remembered for list and check; a list that
// cannot be written is the log's to say, never the run's failure.
void InstallEngine::rememberInstalled(const QString& stem, const QStringList& targets) {
    std::vector<InstalledTarget> installed;
    for (const QString& target : targets) {
        if (const std::optional<InstalledTarget> one = installedTarget(target, stem)) {
            installed.push_back(*one);
        }
    }
    if (installed.empty()) {
        return;
    }
    if (const std::optional<QString> problem =
            rememberTargets(platform::installerFolder(), installed)) {
        log(*problem);
    }
}

void InstallEngine::targetFailure(const QString& target, const QString& reason, RunResult& result) {
    observer_.targetFailed(target, reason);
    log(QStringLiteral("target %1: failed, %2").arg(target, reason));
    if (result.outcome != RunOutcome::TargetFailed) {
        result.outcome = RunOutcome::TargetFailed;
        result.reason = reason;
    }
}

InstallEngine::Started InstallEngine::startProgram(const Package& package, const QString& target) {
    const QString program = package.info().run;
    if (program.isEmpty()) {
        return {};
    }
    platform::fileStep();
    return startChecked(program, QString(), target + u'\\', platform::SW_SHOWNORMAL);
}

// What every target gets, for the check of room before anything is written.
std::vector<PlannedFile> InstallEngine::plannedFiles(const Package& package) {
    std::vector<PlannedFile> files{{QString::fromUtf16(kSettingsFileName), 64 * 1024}};
    const OpenPackage open(archiver_, package);
    for (const InstallMask& m : kInstallMasks) {
        archiver_.TagFiles(QString::fromLatin1(m.mask), DefaultSearchAttr, QString());
        for (const TDirItem& item : archiver_.directory().CDir) {
            if (item.Tagged && !item.isFolder()) {
                files.push_back({landedPath(m, item), item.uncompressedSize()});
            }
        }
    }
    return files;
}

bool InstallEngine::holdsThisPackage(const Package& package, const QString& target) const {
    const std::optional<platform::FolderHandle> folder = platform::FolderHandle::open(target);
    if (!folder) {
        return false;
    }
    const std::optional<Manifest> held = readManifest(*folder);
    return held && held->samePackage(package.record()) && filesMatch(*folder, *held);
}

void InstallEngine::dejtam(const Package& package, const QString& target,
                           const RunRequest& request) {
    RunResult result;
    const std::optional<HeldTargets> held = lockTargets({target}, result);
    if (!held) {
        return;
    }
    std::vector<StagedTarget> staged;
    staged.push_back(stageTarget(package, target, request, platform::randomTag()));
    if (stop_ || staged.front().entries.aborted) {
        return;  // nothing was replaced; the staged files go with the transaction
    }
    QString startProblem;
    commitTargets(package, staged, result, startProblem, request.startPrograms);
}

StagedTarget InstallEngine::stageTarget(const Package& package, const QString& target,
                                        const RunRequest& request, const QByteArray& tag) {
    const SettingsToWrite settings = request.settingsFor(target, package.folder);
    const QString settingsFile = settingsFileName(target);
    const std::optional<platform::FolderHandle> folder = platform::FolderHandle::open(target);
    std::optional<TargetTransaction> transaction =
        folder ? TargetTransaction::begin(*folder, Journal::Kind::Install, tag) : std::nullopt;
    if (!transaction) {
        raiseUnableToWrite(settingsFile);
    }
    // The settings file as a link or a second name of another file is replaced, never read;
    // one larger than a settings file may be is refused, as a write of it would be.
    const QByteArray leaf = QFile::encodeName(QString::fromUtf16(kSettingsFileName));
    const std::optional<struct stat> old = folder->status(leaf);
    if (old &&
        (S_ISDIR(old->st_mode) || (S_ISREG(old->st_mode) && old->st_size > kMaxProfileBytes))) {
        raiseUnableToWrite(settingsFile);
    }
    const std::optional<QByteArray> existing = old && !platform::isForeignLink(*old)
                                                   ? readBounded(*folder, leaf, kMaxProfileBytes)
                                                   : std::nullopt;
    std::vector<QString> paths;
    for (const PlannedFile& file : plannedFiles(package)) {
        paths.push_back(file.path);
    }
    if (!transaction->makeFolders(paths) ||
        !transaction->stageFile(
            QString::fromUtf16(kSettingsFileName),
            settingsContent(settingsFile, existing.value_or(QByteArray()), settings),
            existing ? &*old : nullptr)) {
        raiseUnableToWrite(settingsFile);
    }
    const Extracted extracted =
        rozbal(package, target, *transaction, [](const QString&, const TDirItem&) { return true; });
    if (!stop_ && !extracted.entries.aborted &&
        (!dropOldFiles(target, *folder, *transaction, paths) ||
         !transaction->stageManifest(targetRecord(package, extracted)))) {
        raiseUnableToWrite(settingsFile);
    }
    return {target, std::move(*transaction), extracted.entries};
}

// What the target's record lists and the new package no longer has (after the masks) goes
// into the previous version at the commit, so the target holds exactly the new package and
// the user's own files. A file the user changed since it was installed is theirs: it stays,
// and is named.
bool InstallEngine::dropOldFiles(const QString& target, const platform::FolderHandle& folder,
                                 TargetTransaction& transaction,
                                 const std::vector<QString>& planned) {
    const std::optional<Manifest> held = readManifest(folder);
    if (!held) {
        return true;
    }
    const std::set<QString> kept(planned.begin(), planned.end());
    for (const Manifest::Entry& entry : held->files) {
        if (kept.contains(entry.path) || entry.path == QString::fromUtf16(kSettingsFileName)) {
            continue;
        }
        switch (checkFile(folder, entry)) {
            case FileCheck::Matches:
                if (!transaction.dropping(entry.path)) {
                    return false;
                }
                break;
            case FileCheck::Changed:
                observer_.fileKept(target, entry.path);
                log(QStringLiteral("target %1: %2 changed since it was installed, kept")
                        .arg(target, entry.path));
                break;
            case FileCheck::Missing:
                break;
        }
    }
    return true;
}

Extracted InstallEngine::rozbal(const Package& package, const QString& target,
                                TargetTransaction& transaction, const EntrySelection& select) {
    const ArchiverHooks hooks(archiver_, observer_, questions_, progress_, stop_, log_);
    InstalledFiles installed = extractSelection(archiver_, package, target, transaction, select,
                                                [&] { return stop_ || hooks.outcomes().aborted; });
    return {std::move(installed), hooks.outcomes()};
}

RunResult InstallEngine::fail(RunOutcome outcome, PackageProblem problem, const QString& reason) {
    observer_.packageMissing(problem, reason);
    return RunResult{stop_ ? RunOutcome::Interrupted : outcome, reason};
}

QString outcomeName(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::Installed:
            return QStringLiteral("installed");
        case RunOutcome::NoPackage:
            return QStringLiteral("no package");
        case RunOutcome::Refused:
            return QStringLiteral("refused");
        case RunOutcome::NoTarget:
            return QStringLiteral("no target");
        case RunOutcome::TargetFailed:
            return QStringLiteral("target failed");
        case RunOutcome::Skipped:
            return QStringLiteral("entries skipped");
        case RunOutcome::Busy:
            return QStringLiteral("target busy");
        case RunOutcome::Interrupted:
            break;
    }
    return QStringLiteral("interrupted");
}

}  // namespace selvanix
