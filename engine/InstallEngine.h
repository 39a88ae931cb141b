#pragma once

#include "ArchiverHooks.h"
#include "Fetcher.h"
#include "Package.h"
#include "RunObserver.h"
#include "RunProgress.h"
#include "RunQuestions.h"
#include "RunRequest.h"
#include "StagedExtraction.h"
#include "TargetCheck.h"
#include "UpdateCheck.h"
#include "config/PackageDescriptor.h"
#include "config/PackageSignature.h"
#include "config/PublisherKey.h"
#include "config/ReleaseIndex.h"
#include "delta/ArchiveDelta.h"
#include "store/InstalledTargets.h"
#include "store/Manifest.h"
#include "store/TargetLock.h"
#include "store/Transaction.h"

#include <QSet>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <variant>

namespace selvanix {

namespace net {
class WebHTTPGet;
}
class RunLog;

// Targets with one name for each folder (the first it was given), and the later names of a
// folder already named, each with that first name.
struct SameFolders {
    QStringList once;
    std::vector<std::pair<QString, QString>> again;
};
SameFolders sameFolders(const QStringList& targets);

// The locks of a run's targets, each reached by any of the names it was given.
struct HeldTargets {
    std::vector<TargetLock> locks;
    std::map<QString, std::size_t> byTarget;
    const TargetLock* of(const QString& target) const;
};

// A step of the run gives its value, or the result the run ends with.
template <typename T>
using Step = std::variant<T, RunResult>;

// The targets a run found, and the folders its search left out.
struct FoundTargets {
    QStringList targets;
    SearchSkips skips;
};

// What one target's extraction staged, and what the user answered on the way.
struct Extracted {
    InstalledFiles installed;
    EntryOutcomes entries;
};

// One target with its new files staged, none replaced yet.
struct StagedTarget {
    QString target;
    TargetTransaction transaction;
    EntryOutcomes entries;
};

// What is wrong with a package whose signature check failed, and the reason; sha256 is the
// archive's the signature was checked against.
std::pair<PackageProblem, QString> signatureRefusal(const PackageNames& names,
                                                    const PackageDescriptor& descriptor,
                                                    const QByteArray& sha256, PackageCheck check);

// Why an unattended run must leave a remembered target alone: another folder at its path,
// no record, another product, or (as root) a way others could change; nothing when it may go.
std::optional<QString> rememberedTargetProblem(const InstalledTarget& target, const QString& stem);

// The installation run: finds the package, reads its descriptor, finds the targets and
// installs into each, telling the observer every step. The window and the command line both
// drive it; neither holds any of its logic. Each step takes the values earlier steps gave.
class InstallEngine {
public:
    InstallEngine(RunObserver& observer, RunQuestions& questions, Fetcher& fetcher,
                  TPakovna& archiver, FolderListings& listings);
    InstallEngine(const InstallEngine&) = delete;
    InstallEngine& operator=(const InstallEngine&) = delete;

    // The whole run. A target that fails is reported to the observer, logged, and its error
    // raised again.
    RunResult run(const RunRequest& request);

    // Re-extracts the recorded files of target that differ, from the package the record
    // names (its archive's SHA-256), through the same stage and commit; repaired gets them.
    RunResult repair(const RunRequest& request, const QString& target, QStringList& repaired);

    // Steps of the run, also taken alone.
    // Fetches the descriptor and the archive from baseUrl into the installer's folder; keys
    // are the run's publisher keys, which a reused archive must satisfy.
    PackageFetched kopirujzWebu(const QString& baseUrl, const PackageNames& names,
                                const QString& keys);
    // The delta from the kept archive to the package the descriptor signs, when the publisher
    // made one and the keys verify its index.
    DeltaFetched fetchDelta(const QString& baseUrl, const PackageNames& names, const QString& keys,
                            const std::optional<PackageDescriptor>& descriptor);
    // Reads the descriptor (and, with a publisher key, the release index) of every remembered
    // target's product, once per product, and tells what each target could get; no archive
    // or delta is fetched.
    AvailableUpdates checkUpdates(const RunRequest& request,
                                  const std::vector<InstalledTarget>& remembered);
    // The product's package, fetched once, into each remembered target in a transaction of
    // its own: one that fails leaves the others to go on. No program is started. A result
    // per target, in order.
    std::vector<RunResult> updateRemembered(const RunRequest& request,
                                            const std::vector<InstalledTarget>& targets);
    // Installs the package into one target: settings, extraction, record, program.
    void dejtam(const Package& package, const QString& target, const RunRequest& request);
    // Starts the file below defaultDir that passes the checks of a checked program, from the
    // open file; returns the shell's result.
    int SpustFile(const QString& fileName, const QString& params, const QString& defaultDir,
                  int showCmd);

    void setLog(const RunLog* log) { log_ = log; }
    // From any thread: the run stops at its next entry or download block.
    void requestStop() noexcept;
    bool stopRequested() const noexcept { return stop_.load(); }

private:
    // Why a program was not started; nothing when it was.
    struct Started {
        int shellResult = 0;
        std::optional<QString> problem;
    };

    void beginRun(const RunRequest& request, const QString& what);
    void logOutcome(const RunResult& result) const;
    RunResult runSteps(const RunRequest& request);
    Step<Package> fetchPackage(const RunRequest& request, const PackageNames& names);
    // The publisher's key statements, if any, taken into the settings; returns the run's keys.
    QString takeKeyStatements(const RunRequest& request);
    RunResult repairSteps(const RunRequest& request, const QString& target, QStringList& repaired);
    RunResult repairFrom(const Package& package, const QString& target,
                         const platform::FolderHandle& folder, const Manifest& record,
                         std::optional<TargetLock>& downloads, QStringList& repaired);
    struct FetchedIndex {
        ReleaseIndex index;
        qint64 bytes = 0;
    };
    std::optional<ReleaseIndex> trustedIndex(const QByteArray& text, const PackageNames& names,
                                             const PackageDescriptor& descriptor,
                                             const std::vector<signing::PublicKey>& keys);
    std::optional<FetchedIndex> fetchReleaseIndex(const QString& baseUrl, const PackageNames& names,
                                                  const PackageDescriptor& descriptor,
                                                  const std::vector<signing::PublicKey>& keys);
    Step<PackageLocation> locatePackage(const RunRequest& request, const PackageNames& names,
                                        const QString& keys);
    Step<Package> checkPackage(const PackageNames& names, PackageLocation location,
                               const QString& keys);
    Step<FoundTargets> findTargets(const RunRequest& request, const Package& package);
    bool holdsThisPackage(const Package& package, const QString& target) const;
    std::vector<PlannedFile> plannedFiles(const Package& package);
    std::optional<RunResult> holdDownloads(const RunRequest& request, const PackageNames& names,
                                           std::optional<TargetLock>& held);
    // The package, fetched under the product's downloads lock, which downloads then holds.
    Step<Package> fetchHeld(const RunRequest& request, const PackageNames& names,
                            std::optional<TargetLock>& downloads);
    std::optional<HeldTargets> lockTargets(const QStringList& targets, RunResult& result);
    QStringList targetsToChange(const Package& package, const FoundTargets& found,
                                const RunRequest& request, const HeldTargets& held,
                                RunResult& result);
    // Locks, checks and stages every target, then commits them; the downloads' lock goes
    // once every target is staged.
    void installTargets(const Package& package, const FoundTargets& found,
                        const RunRequest& request, std::optional<TargetLock>& downloads,
                        RunResult& result, QString& startProblem);
    std::optional<std::vector<StagedTarget>> stageTargets(const Package& package,
                                                          const QStringList& targets,
                                                          const RunRequest& request,
                                                          RunResult& result);
    // Stages one target's new files (settings, extraction, record) under tag, replacing none.
    StagedTarget stageTarget(const Package& package, const QString& target,
                             const RunRequest& request, const QByteArray& tag);
    // Extracts the package's entries that select takes into the target's transaction.
    Extracted rozbal(const Package& package, const QString& target, TargetTransaction& transaction,
                     const EntrySelection& select);
    // Why the package must not replace what the targets hold (an older or incomparable
    // version), when that was not allowed; asked once per run.
    std::optional<QString> downgradeRefused(const Package& package, const QStringList& targets);
    // Why the run must end, when a target holds another product and that was not allowed.
    std::optional<QString> otherProductRefused(const Package& package, const QStringList& targets);
    bool dropOldFiles(const QString& target, const platform::FolderHandle& folder,
                      TargetTransaction& transaction, const std::vector<QString>& planned);
    void commitTargets(const Package& package, std::vector<StagedTarget>& staged, RunResult& result,
                       QString& startProblem, bool startPrograms);
    Started startProgram(const Package& package, const QString& target);
    Started startChecked(const QString& fileName, const QString& params, const QString& defaultDir,
                         int showCmd);
    void targetFailure(const QString& target, const QString& reason, RunResult& result);
    // A product's descriptor alone, bounded, from the server or the package folder.
    Step<PackageDescriptor> fetchDescriptor(const RunRequest& request, const PackageNames& names);
    int rolloutShare(const RunRequest& request, const PackageNames& names,
                     const PackageDescriptor& descriptor,
                     const std::vector<signing::PublicKey>& keys);
    ProductRelease productRelease(const RunRequest& request, const QString& stem,
                                  const PublisherKey& publisher);
    void rememberInstalled(const QString& stem, const QStringList& targets);
    RunResult fail(RunOutcome outcome, PackageProblem problem, const QString& reason);
    void log(const QString& text) const;
    // Target index of count begins: the observer learns it, and the pace is measured from the
    // first.
    void startTarget(const QString& target, int index, int count);

    RunObserver& observer_;
    RunQuestions& questions_;
    Fetcher& fetcher_;
    TPakovna& archiver_;
    FolderListings& listings_;
    const RunLog* log_ = nullptr;
    std::atomic<bool> stop_{false};
    RunProgress progress_;  // the run's pace, over all its targets
};

}  // namespace selvanix
