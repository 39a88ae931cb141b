#include "InstallEngine.h"

#include "FailureDetail.h"
#include "InstallerSettings.h"
#include "ProductTable.h"
#include "RunLog.h"
#include "VerifiedArchive.h"
#include "Version.h"
#include "archive/InstallMasks.h"
#include "archive/PasswordStep.h"
#include "config/PackageDescriptor.h"
#include "config/PackageSignature.h"
#include "config/PackageVersion.h"
#include "config/PublisherKey.h"
#include "net/WebHTTPGet.h"
#include "platform/AtomicFile.h"
#include "platform/FaultPoint.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"
#include "platform/Places.h"
#include "platform/ShellOpen.h"
#include "platform/StagedFile.h"
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

}  // namespace

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

InstallEngine::InstallEngine(RunObserver& observer, InstallerState& state, net::WebHTTPGet& get,
                             TPakovna& archiver, FolderListings& listings)
    : observer_(observer), state_(state), get_(get), archiver_(archiver), listings_(listings) {
    hookArchiver();
}

void InstallEngine::hookArchiver() {
    archiver_.OnOverallProgress = [this](TArcBaseArchiver&, double progress, TArcProcessOperation,
                                         TArcProgressPhase, bool& cancel) {
        observer_.extractionProgress(progress);
        const RunProgress::Clock::time_point now = RunProgress::Clock::now();
        if (!currentEntry_.isEmpty() && progress_.reportDue(now)) {
            observer_.extractionStatus(currentEntry_, progress_.secondsLeft(progress, now));
        }
        cancel = cancel || stop_;
    };
    archiver_.OnFileProgress = [this](TArcBaseArchiver&, const QString& fileName, double,
                                      TArcProcessOperation, TArcProgressPhase phase, bool& cancel) {
        cancel = cancel || stop_;
        if (phase == ppStart) {
            currentEntry_ = QString(fileName).replace(u'\\', u'/');
        }
    };
    archiver_.OnProcessFileFailure = [this](TPakovna&, const QString& fileName,
                                            TArcProcessOperation, int nativeError, int,
                                            const QString& message, TArcAction& action) {
        action = stop_ ? fxaAbort : TPakovna::askFailureAction(nativeError, message);
        const EntryFailure failure{fileName, nativeError, message, action};
        if (action == fxaIgnore) {
            ++targetSkips_;
        } else if (action == fxaAbort && !stop_) {
            targetAborted_ = true;
            if (abortReason_.isEmpty()) {
                abortReason_ = message;
            }
        }
        observer_.entryFailed(failure);
        log(QStringLiteral("entry %1: error %2, %3; answer %4")
                .arg(fileName, QString::number(nativeError), message, answerName(action)));
    };
    archiver_.OnPassword = [this](TArcBaseArchiver&, const QString& fileName, QByteArray& password,
                                  bool& skip) {
        askPasswordDialog(fileName, password, skip);
        if (skip) {
            ++targetSkips_;
            observer_.entrySkipped(fileName);
            log(QStringLiteral("entry %1: no password, skipped").arg(fileName));
        }
    };
}

void InstallEngine::requestStop() noexcept {
    stop_ = true;
    get_.Stop();
}

void InstallEngine::log(const QString& text) const {
    if (log_) {
        log_->line(text);
    }
}

void InstallEngine::beginRun(const RunRequest& request, const QString& what) {
    startProblem_.clear();
    skips_ = {};
    const Product* product = productByCode(request.product);
    nazini_ = product ? QString::fromUtf16(product->descriptorName) : QString();
    nazzip_ = product ? QString::fromUtf16(product->archiveName) : QString();
    stem_ = product ? QString::fromUtf16(product->stem) : QString();
    state_.cisloProgramu = request.product;
    state_.odkudinstC = request.source;
    state_.cilinstalace = request.targetMode;
    log(QStringLiteral("Selvanix %1: %2 %3 from %4")
            .arg(selvanixVersion(), what, stem_.isEmpty() ? QStringLiteral("(none)") : stem_,
                 request.source == 1 ? request.baseUrl : request.packageFolder));
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

std::optional<RunResult> InstallEngine::fetchPackage(const RunRequest& request) {
    GetDrives(state_);
    takeKeyStatements(request);
    if (std::optional<RunResult> missing = locatePackage(request)) {
        return missing;
    }
    if (std::optional<RunResult> refused = checkPackage()) {
        return refused;
    }
    observer_.descriptorRead(JedenINI());
    log(QStringLiteral("package %1, version %2, date %3")
            .arg(state_.nazev, state_.verze, state_.datum));
    return std::nullopt;
}

// Runs of one product fetch into the same files of the installer's folder; one at a time.
std::optional<RunResult> InstallEngine::holdDownloads(const RunRequest& request,
                                                      std::optional<TargetLock>& held) {
    if (request.source != 1 || stem_.isEmpty()) {
        return std::nullopt;
    }
    const QString folder = platform::installerFolder();
    auto taken = TargetLock::takeDownloads(folder, stem_);
    if (TargetLock* lock = std::get_if<TargetLock>(&taken)) {
        held.emplace(std::move(*lock));
        return std::nullopt;
    }
    const LockRefusal& refused = std::get<LockRefusal>(taken);
    log(QStringLiteral("downloads of %1: %2").arg(stem_, refused.reason));
    if (refused.kind == LockRefusal::Kind::Busy) {
        observer_.targetBusy(folder, refused.reason);
        return RunResult{RunOutcome::Busy, refused.reason};
    }
    return fail(RunOutcome::NoPackage, QStringLiteral("Nebyl nalezen"),
                QStringLiteral("instalační balíček"), refused.reason);
}

RunResult InstallEngine::runSteps(const RunRequest& request) {
    std::optional<TargetLock> downloads;
    if (std::optional<RunResult> busy = holdDownloads(request, downloads)) {
        return *busy;
    }
    if (std::optional<RunResult> failed = fetchPackage(request)) {
        return *failed;
    }
    std::optional<RunResult> failed;
    const QStringList targets = findTargets(request, failed);
    if (failed) {
        return *failed;
    }
    RunResult result;
    result.version = state_.verze;
    installTargets(targets, request, downloads, result);
    if (result.outcome == RunOutcome::Installed || result.outcome == RunOutcome::Skipped) {
        observer_.installed(result, skips_, startProblem_);
    }
    return result;
}

std::optional<RunResult> InstallEngine::locatePackage(const RunRequest& request) {
    QStringList found;
    const auto checkDescriptor = [&] {
        if (!state_.odkudCesta.isEmpty()) {
            state_.Cestaini = state_.odkudCesta + u'\\' + nazini_;
            if (platform::fileExists(state_.Cestaini)) {
                found << state_.odkudCesta;
            }
        }
    };
    downloadProblem_.clear();
    if (request.source == 1) {
        observer_.fetchingPackage();
        kopirujzWebu(request.baseUrl, nazini_, nazzip_);
        if (iniAn_ && zipAn_) {
            state_.odkudCesta = withoutTrailingSeparator(platform::installerFolder());
            checkDescriptor();
        }
    } else if (request.source == 2) {
        state_.odkudCesta = request.packageFolder;
        checkDescriptor();
    }
    observer_.packageLooked(state_.odkudCesta, !found.isEmpty());
    state_.pocetradkuINI = static_cast<int>(found.size());
    if (found.isEmpty()) {
        const QString reason = request.source == 1 && !downloadProblem_.isEmpty()
                                   ? downloadProblem_
                                   : missingPackageFile(state_.odkudCesta, nazini_);
        return fail(RunOutcome::NoPackage, QStringLiteral("Nebyl nalezen"),
                    QStringLiteral("instalační balíček"), reason);
    }
    state_.cestabez = found.first();
    state_.Cestaini = state_.cestabez + u'\\' + nazini_;
    state_.cestazip = state_.cestabez + u'\\' + nazzip_;
    state_.odkudCesta = state_.cestabez;
    return std::nullopt;
}

// The descriptor is read once and the archive opened once, here: what is checked is what the
// run shows, starts and extracts. With a publisher key configured nothing unsigned is shown,
// extracted or started.
std::optional<RunResult> InstallEngine::checkPackage() {
    if (QFileInfo(platform::toHostPath(state_.Cestaini)).size() > kMaxProfileBytes) {
        return fail(RunOutcome::NoPackage, QStringLiteral("Nebyl nalezen"),
                    QStringLiteral("instalační balíček"),
                    oversizedDescriptor(state_.cestabez, nazini_));
    }
    descriptor_ = readPackageDescriptor(state_.Cestaini);
    descriptorFrom_ = state_.Cestaini;
    std::optional<VerifiedArchive> archive = openVerifiedArchive(state_.cestazip);
    archive_ = archive ? archive->file : nullptr;
    archiveSha_ = archive ? archive->sha256 : QByteArray();
    const PublisherKey publisher = PublisherKey::fromText(publicKey_);
    if (!publisher.required) {
        return std::nullopt;
    }
    const PackageCheck check = !archive
                                   ? PackageCheck::NoArchive
                                   : selvanix::checkPackage(descriptor_, stem_, archiveSha_,
                                                            publisher.keys, QDate::currentDate());
    const auto refused = [&](const QString& reason) {
        return fail(RunOutcome::Refused, QStringLiteral("Podpis balíčku nesouhlasí"),
                    QStringLiteral("instalace byla zastavena"), reason);
    };
    switch (check) {
        case PackageCheck::Verified:
            return std::nullopt;
        case PackageCheck::Unsigned:
            return fail(RunOutcome::Refused, QStringLiteral("Balíček není podepsán"),
                        QStringLiteral("instalace byla zastavena"),
                        QStringLiteral("Soubor %1 nenese podpis vydavatele.").arg(nazini_));
        case PackageCheck::NoArchive:
            return fail(RunOutcome::NoPackage, QStringLiteral("Nebyl nalezen"),
                        QStringLiteral("instalační balíček"),
                        missingPackageFile(state_.cestabez, nazzip_));
        case PackageCheck::OldForm:
            return refused(
                QStringLiteral("Balíček je podepsán starým způsobem, který nejmenuje "
                               "program; vydavatel ho musí podepsat znovu."));
        case PackageCheck::Expired:
            return fail(RunOutcome::Refused, QStringLiteral("Platnost balíčku skončila"),
                        QStringLiteral("instalace byla zastavena"),
                        QStringLiteral("Balíček bylo možné instalovat jen do %1.")
                            .arg(descriptor_.platnost.value_or(QString())));
        case PackageCheck::BadSignature:
            break;
    }
    // Signed by a key the publisher revoked: that is what the user should learn, not a
    // change after signing.
    const PublisherKey revoked = PublisherKey::fromText(revokedKeys().join(u' '));
    if (selvanix::checkPackage(descriptor_, stem_, archiveSha_, revoked.keys,
                               QDate::currentDate()) == PackageCheck::Verified) {
        return refused(
            QStringLiteral("Balíček je podepsán klíčem vydavatele, který byl odvolán; "
                           "vydavatel ho musí podepsat platným klíčem."));
    }
    return refused(QStringLiteral(
        "Balíček byl po podpisu změněn, je podepsán jiným klíčem nebo patří jinému programu."));
}

PackageInfo InstallEngine::JedenINI() {
    // The values the check saw, not the file as it may be now.
    if (descriptorFrom_ != state_.Cestaini) {
        descriptor_ = readPackageDescriptor(state_.Cestaini);
        descriptorFrom_ = state_.Cestaini;
    }
    const PackageDescriptor& descriptor = descriptor_;
    const std::pair<const std::optional<QString>&, QString&> values[] = {
        {descriptor.hledany, state_.exac}, {descriptor.nazev, state_.nazev},
        {descriptor.verze, state_.verze},  {descriptor.datum, state_.datum},
        {descriptor.run, state_.run},
    };
    for (const auto& [read, kept] : values) {
        if (read) {
            kept = *read;
        }
    }
    return {state_.exac, state_.nazev, state_.verze, state_.datum, state_.run};
}

QStringList InstallEngine::findTargets(const RunRequest& request,
                                       std::optional<RunResult>& failed) {
    QStringList targets;
    const auto noTarget = [&](const QString& reason) {
        observer_.noTarget(reason, skips_);
        failed = RunResult{stop_ ? RunOutcome::Interrupted : RunOutcome::NoTarget, reason};
    };
    if (request.targetMode == 0) {
        for (const QString& field : request.fields) {
            if (!field.isEmpty()) {
                targets << field;
                observer_.targetFound(field);
            }
        }
    } else {
        // A marker that could name something outside its folder is not searched for.
        if (!isMarkerName(state_.exac)) {
            noTarget(badMarkerReason(nazini_, state_.exac));
            return {};
        }
        observer_.searchStarted(state_.exac);
        Hits hits(targets, observer_);
        skips_ = NajdiSouborHD(state_.exac, QStringLiteral("HD"), state_, listings_, hits,
                               observer_.searchProgress(0), observer_.searchProgress(1));
        state_.refusedFolders = skips_.refused;
        state_.cizich = skips_.foreign;
        observer_.searchEnded();
    }
    state_.pocetradkuEXE = static_cast<int>(targets.size());
    if (targets.isEmpty()) {
        noTarget(noTargetReason(request.targetMode, state_.exac));
    }
    return targets;
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
QStringList InstallEngine::targetsToChange(const QStringList& targets, const RunRequest& request,
                                           const HeldTargets& held, RunResult& result) {
    QStringList chosen;
    for (const QString& target : targets) {
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
        if (request.keepUnchanged && holdsThisPackage(target)) {
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
void InstallEngine::installTargets(const QStringList& targets, const RunRequest& request,
                                   std::optional<TargetLock>& downloads, RunResult& result) {
    if (const platform::Places own = platform::ownPlaces(); own.installed) {
        if (const std::optional<TargetProblem> problem =
                ownFolderProblem(targets, own.installerFolder)) {
            targetFailure(problem->target, problem->reason, result);
            return;
        }
    }
    const std::optional<HeldTargets> held = lockTargets(targets, result);
    if (!held) {
        return;
    }
    const QStringList chosen = targetsToChange(targets, request, *held, result);
    if (chosen.isEmpty()) {
        return;
    }
    if (!downgradeAllowed(chosen)) {
        result = fail(RunOutcome::Refused, QStringLiteral("Starší verze balíčku"),
                      QStringLiteral("instalace byla zastavena"), downgradeReason_);
        return;
    }
    if (const std::optional<QString> refused = otherProductRefused(chosen)) {
        result = fail(RunOutcome::Refused, QStringLiteral("Jiný program ve složce"),
                      QStringLiteral("instalace byla zastavena"), *refused);
        return;
    }
    if (const std::optional<TargetProblem> problem = checkTargets(chosen, plannedFiles())) {
        targetFailure(problem->target, problem->reason, result);
        return;
    }
    const SameFolders folders = sameFolders(chosen);
    std::optional<std::vector<TargetTransaction>> staged =
        stageTargets(folders.once, request, result);
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
    }
    commitTargets(*staged, folders.once, result);
    // A folder named again counts again, as the fields named it; it was installed once.
    for (const auto& [again, first] : folders.again) {
        if (result.targets.contains(first)) {
            ++result.installed;
            result.targets << again;
        }
    }
}

// Every target staged under one tag, in order; nothing when one failed (all are discarded).
std::optional<std::vector<TargetTransaction>> InstallEngine::stageTargets(
    const QStringList& targets, const RunRequest& request, RunResult& result) {
    const QByteArray tag = platform::randomTag();
    std::vector<TargetTransaction> staged;
    const int count = static_cast<int>(targets.size());
    for (int i = 0; i < count && !stop_; ++i) {
        const QString& target = targets[i];
        startTarget(target, i, count);
        try {
            staged.push_back(stageTarget(target, request, tag));
        } catch (const std::exception& error) {
            staged.clear();
            const QString reason = installFailure(target, error);
            observer_.targetFailed(target, reason);
            log(QStringLiteral("target %1: failed, %2").arg(target, reason));
            throw;
        }
        if (targetAborted_ && !stop_) {
            staged.clear();
            targetFailure(target, abortedEntry(target, abortReason_), result);
            return std::nullopt;
        }
        result.skippedEntries += targetSkips_;
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
    currentEntry_.clear();
    observer_.targetStarted(target, index, count);
}

bool InstallEngine::downgradeAllowed(const QStringList& targets) {
    for (const QString& target : targets) {
        const std::optional<platform::FolderHandle> folder = platform::FolderHandle::open(target);
        const std::optional<Manifest> held = folder ? readManifest(*folder) : std::nullopt;
        if (!held || held->stem != stem_) {
            continue;
        }
        const VersionOrder order = compareVersions(state_.verze, held->version);
        if (order == VersionOrder::Older || order == VersionOrder::Incomparable) {
            const bool comparable = order == VersionOrder::Older;
            downgradeReason_ =
                comparable ? QStringLiteral(
                                 "Balíček má starší verzi %1, než je verze %2 "
                                 "nainstalovaná ve složce %3.")
                                 .arg(state_.verze, held->version, platform::displayPath(target))
                           : QStringLiteral(
                                 "Verzi balíčku %1 nelze porovnat s verzí %2 "
                                 "nainstalovanou ve složce %3.")
                                 .arg(state_.verze, held->version, platform::displayPath(target));
            const bool allowed = observer_.allowDowngrade(state_.verze, held->version, comparable);
            log(QStringLiteral("target %1 holds %2, the package is %3: %4")
                    .arg(target, held->version, state_.verze,
                         allowed ? QStringLiteral("installed on request")
                                 : QStringLiteral("refused")));
            return allowed;  // one question a run
        }
    }
    return true;
}

// Every staged file of every target is looked at before the first commit record: one that
// another hand removed or replaced fails the run while nothing is changed yet. Once the first
// record is down the commit is finished whatever comes; a stop that came by then only keeps
// the programs from starting.
// A target that holds another product than this package's is asked about once per run: a
// mistyped product would otherwise leave that program's files behind untracked.
std::optional<QString> InstallEngine::otherProductRefused(const QStringList& targets) {
    for (const QString& target : targets) {
        const std::optional<platform::FolderHandle> folder = platform::FolderHandle::open(target);
        const std::optional<Manifest> held = folder ? readManifest(*folder) : std::nullopt;
        if (!held || held->stem == stem_) {
            continue;
        }
        const bool allowed = observer_.allowOtherProduct(target, held->stem, held->name);
        log(QStringLiteral("target %1 holds %2, the package is %3: %4")
                .arg(target, held->stem, stem_,
                     allowed ? QStringLiteral("installed on request") : QStringLiteral("refused")));
        if (allowed) {
            return std::nullopt;
        }
        return QStringLiteral("Ve složce %1 je nainstalován jiný program (%2).")
            .arg(platform::displayPath(target), held->name);
    }
    return std::nullopt;
}

void InstallEngine::commitTargets(std::vector<TargetTransaction>& staged,
                                  const QStringList& targets, RunResult& result) {
    platform::pausePoint("commit");
    for (std::size_t i = 0; i < staged.size(); ++i) {
        if (const std::optional<QString> gone = staged[i].missingStaged()) {
            staged.clear();
            targetFailure(targets[int(i)], stagedFileGone(targets[int(i)], *gone), result);
            return;
        }
    }
    syncStaged(staged);
    std::vector<bool> committed(staged.size(), false);
    for (std::size_t i = 0; i < staged.size(); ++i) {
        const RollForward done = staged[i].commit();
        committed[i] = done.done;
        if (i == 0) {
            platform::pausePoint("committing");
        }
        if (committed[i]) {
            ++result.installed;
            result.targets << targets[int(i)];
            log(QStringLiteral("target %1: installed").arg(targets[int(i)]));
        } else {
            targetFailure(targets[int(i)],
                          done.lost.isEmpty() ? unfinishedCommit(targets[int(i)])
                                              : lostStagedFiles(targets[int(i)], done.lost),
                          result);
        }
    }
    if (stop_ && result.installed > 0) {
        startProblem_ = programsHeldByStop();
        if (result.outcome != RunOutcome::TargetFailed) {
            result.reason = startProblem_;
        }
        observer_.programsNotStarted(startProblem_);
        log(QStringLiteral("programs not started: stopped while committing"));
        return;
    }
    for (std::size_t i = 0; i < staged.size(); ++i) {
        if (committed[i]) {
            startProgram(targets[int(i)]);
        }
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

void InstallEngine::startProgram(const QString& target) {
    if (!state_.run.isEmpty()) {
        platform::fileStep();
        SpustFile(state_.run, QString(), target + u'\\', platform::SW_SHOWNORMAL);
    }
}

// What every target gets, for the check of room before anything is written.
std::vector<PlannedFile> InstallEngine::plannedFiles() {
    std::vector<PlannedFile> files{{QString::fromUtf16(kSettingsFileName), 64 * 1024}};
    archiver_.FileName = state_.cestazip;
    archiver_.ArchiveFile = archive_;
    archiver_.OpenArchive(0);
    const auto plan = [&](const QString& prefix, const char* mask) {
        archiver_.TagFiles(QString::fromLatin1(mask), DefaultSearchAttr, QString());
        for (const TDirItem& item : archiver_.directory().CDir) {
            if (item.Tagged && !item.isFolder()) {
                files.push_back({prefix + TPakovna::landingPath(item.Name).value_or(item.Name),
                                 item.uncompressedSize()});
            }
        }
    };
    for (const InstallMask& m : kInstallMasks) {
        plan(m.prefix(), m.mask);
    }
    archiver_.CloseArchive();
    return files;
}

bool InstallEngine::holdsThisPackage(const QString& target) const {
    const std::optional<platform::FolderHandle> folder = platform::FolderHandle::open(target);
    if (!folder) {
        return false;
    }
    const std::optional<Manifest> held = readManifest(*folder);
    return held && held->samePackage(packageRecord()) && filesMatch(*folder, *held);
}

Manifest InstallEngine::packageRecord() const {
    Manifest m;
    m.stem = stem_;
    m.name = state_.nazev;
    m.version = state_.verze;
    m.date = state_.datum;
    m.sha256 = archiveSha_;
    return m;
}

void InstallEngine::dejtam(const QString& target, const RunRequest& request) {
    RunResult result;
    const std::optional<HeldTargets> held = lockTargets({target}, result);
    if (!held) {
        return;
    }
    TargetTransaction staged = stageTarget(target, request, platform::randomTag());
    if (stop_ || targetAborted_ || staged.missingStaged()) {
        return;  // nothing was replaced; the staged files go with the transaction
    }
    syncStaged({&staged, 1});
    if (staged.commit().done) {
        startProgram(target);
    }
}

TargetTransaction InstallEngine::stageTarget(const QString& target, const RunRequest& request,
                                             const QByteArray& tag) {
    state_.TmpCestaAdresar = target;
    const SettingsToWrite settings = request.settingsFor(target, state_.odkudCesta);
    state_.KamCesta = settings.targets;
    state_.Koukani = settings.koukani ? QStringLiteral("Y") : QStringLiteral("N");
    state_.Automaticky = settings.automaticky ? QStringLiteral("Y") : QStringLiteral("N");
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
    const std::vector<PlannedFile> planned = plannedFiles();
    std::vector<QString> paths;
    for (const PlannedFile& file : planned) {
        paths.push_back(file.path);
    }
    if (!transaction->makeFolders(paths) ||
        !transaction->stageFile(
            QString::fromUtf16(kSettingsFileName),
            settingsContent(settingsFile, existing.value_or(QByteArray()), settings),
            existing ? &*old : nullptr)) {
        raiseUnableToWrite(settingsFile);
    }
    const InstalledFiles installed = rozbal(*transaction);
    if (!stop_ && !targetAborted_ &&
        (!dropOldFiles(target, *folder, *transaction, paths) ||
         !transaction->stageManifest(targetRecord(installed)))) {
        raiseUnableToWrite(settingsFile);
    }
    return std::move(*transaction);
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

InstalledFiles InstallEngine::rozbal(TargetTransaction& transaction) {
    targetSkips_ = 0;
    targetAborted_ = false;
    abortReason_.clear();
    archiver_.FileName = state_.cestazip;
    archiver_.ArchiveFile = archive_;
    archiver_.OpenArchive(0);
    archiver_.BaseAnchor = state_.TmpCestaAdresar;
    InstalledFiles installed;
    for (const InstallMask& m : kInstallMasks) {
        if (stop_ || targetAborted_) {
            break;
        }
        installed.merge(
            extractInto(archiver_, transaction, m.below(state_.TmpCestaAdresar), m.prefix(), [&] {
                archiver_.ExtractFiles(QString::fromLatin1(m.mask), DefaultSearchAttr, QString());
            }));
    }
    archiver_.CloseArchive();
    return installed;
}

// The record of what the target got. One that did not get every entry keeps no archive
// hash: it is never taken for a whole copy of the package.
Manifest InstallEngine::targetRecord(const InstalledFiles& installed) const {
    Manifest record = packageRecord();
    for (const auto& [path, file] : installed) {
        record.files.push_back({path, file.size, file.crc});
    }
    if (targetSkips_ > 0) {
        record.sha256.clear();
    }
    return record;
}

RunResult InstallEngine::fail(RunOutcome outcome, const QString& lineA, const QString& lineB,
                              const QString& reason) {
    observer_.packageMissing(lineA, lineB, reason);
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
