#pragma once

#include "InstallerState.h"
#include "RunObserver.h"
#include "RunProgress.h"
#include "RunRequest.h"
#include "StagedExtraction.h"
#include "TargetCheck.h"
#include "config/PackageDescriptor.h"
#include "delta/ArchiveDelta.h"
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

// The installation run: finds the package, reads its descriptor, finds the targets and
// installs into each, telling the observer every step. The window and the command line both
// drive it; neither holds any of its logic.
class InstallEngine {
public:
    InstallEngine(RunObserver& observer, InstallerState& state, net::WebHTTPGet& get,
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
    // Fetches the descriptor and the archive from baseUrl into the installer's folder.
    void kopirujzWebu(const QString& baseUrl, const QString& nazini, const QString& nazzip);
    ArchiveHashCheck signedArchiveCheck(const QString& nazini) const;
    // Reads the descriptor at state.Cestaini into the state.
    PackageInfo JedenINI();
    // Installs into one target: settings, extraction, record, program.
    void dejtam(const QString& target, const RunRequest& request);
    // Stages one target's new files (settings, extraction, record) under tag, replacing none.
    TargetTransaction stageTarget(const QString& target, const RunRequest& request,
                                  const QByteArray& tag);
    // Extracts the package by the masks into the target's transaction.
    InstalledFiles rozbal(TargetTransaction& transaction);
    // Starts the file below defaultDir that passes the checks of a checked program, from the
    // open file; returns the shell's result.
    int SpustFile(const QString& fileName, const QString& params, const QString& defaultDir,
                  int showCmd);

    bool iniAn() const { return iniAn_; }
    bool zipAn() const { return zipAn_; }

    void setLog(const RunLog* log) { log_ = log; }
    // From any thread: the run stops at its next entry or download block.
    void requestStop() noexcept;
    bool stopRequested() const noexcept { return stop_.load(); }

private:
    void beginRun(const RunRequest& request, const QString& what);
    void logOutcome(const RunResult& result) const;
    RunResult runSteps(const RunRequest& request);
    std::optional<RunResult> fetchPackage(const RunRequest& request);
    // Takes the publisher's key statements, if any, into the run and the settings.
    void takeKeyStatements(const RunRequest& request);
    RunResult repairSteps(const RunRequest& request, const QString& target, QStringList& repaired);
    InstalledFiles stageRepairs(TargetTransaction& transaction, const QString& target,
                                std::map<QString, Manifest::Entry>& differing);
    std::optional<RunResult> locatePackage(const RunRequest& request);
    std::optional<RunResult> checkPackage();
    QStringList findTargets(const RunRequest& request, std::optional<RunResult>& failed);
    bool holdsThisPackage(const QString& target) const;
    Manifest packageRecord() const;
    Manifest targetRecord(const InstalledFiles& installed) const;
    std::vector<PlannedFile> plannedFiles();
    std::optional<RunResult> holdDownloads(const RunRequest& request,
                                           std::optional<TargetLock>& held);
    std::optional<HeldTargets> lockTargets(const QStringList& targets, RunResult& result);
    QStringList targetsToChange(const QStringList& targets, const RunRequest& request,
                                const HeldTargets& held, RunResult& result);
    // Locks, checks and stages every target, then commits them; the downloads' lock goes
    // once every target is staged.
    void installTargets(const QStringList& targets, const RunRequest& request,
                        std::optional<TargetLock>& downloads, RunResult& result);
    std::optional<std::vector<TargetTransaction>> stageTargets(const QStringList& targets,
                                                               const RunRequest& request,
                                                               RunResult& result);
    // The newest version the targets hold that this package would replace with an older
    // or incomparable one, asked about; false when the run must end.
    bool downgradeAllowed(const QStringList& targets);
    // Why the run must end, when a target holds another product and that was not allowed.
    std::optional<QString> otherProductRefused(const QStringList& targets);
    bool dropOldFiles(const QString& target, const platform::FolderHandle& folder,
                      TargetTransaction& transaction, const std::vector<QString>& planned);
    void commitTargets(std::vector<TargetTransaction>& staged, const QStringList& targets,
                       RunResult& result);
    void startProgram(const QString& target);
    void targetFailure(const QString& target, const QString& reason, RunResult& result);
    RunResult fail(RunOutcome outcome, const QString& lineA, const QString& lineB,
                   const QString& reason);
    void log(const QString& text) const;
    void hookArchiver();
    // Target index of count begins: the observer learns it, and the pace is measured from the
    // first.
    void startTarget(const QString& target, int index, int count);

    RunObserver& observer_;
    InstallerState& state_;
    net::WebHTTPGet& get_;
    TPakovna& archiver_;
    FolderListings& listings_;
    const RunLog* log_ = nullptr;
    std::atomic<bool> stop_{false};

    bool iniAn_ = false;
    bool zipAn_ = false;
    QString downloadProblem_;  // the first download of the run that left no file, and why
    QString startProblem_;     // the first program of the run that was not started, and why
    QString downgradeReason_;
    QString publicKey_;  // the run's keys: the request's, as key statements left them
    SearchSkips skips_;
    QString nazini_;
    QString nazzip_;
    QString stem_;
    QByteArray archiveSha_;
    // What the run checked: the descriptor's values and the open archive every target gets.
    PackageDescriptor descriptor_;
    QString descriptorFrom_;
    std::shared_ptr<const platform::File> archive_;
    RunProgress progress_;
    QString currentEntry_;
    // The target being installed: entries skipped, or the one that ended it.
    int targetSkips_ = 0;
    bool targetAborted_ = false;
    QString abortReason_;
};

}  // namespace selvanix
