// An update nobody watches: each remembered target on its own, looked at again before it is
// touched, and no program started.
#include "FailureDetail.h"
#include "InstallEngine.h"
#include "platform/FaultPoint.h"
#include "platform/OwnerRule.h"
#include "platform/Paths.h"
#include "platform/Places.h"

#include <unistd.h>

namespace selvanix {

std::optional<QString> rememberedTargetProblem(const InstalledTarget& target, const QString& stem) {
    const QString shown = platform::displayPath(target.path);
    const TargetNow now = targetNow(target);
    if (now.state == TargetNow::State::Replaced) {
        return QStringLiteral(
                   "Složka %1 už není ta, do které Selvanix instaloval; bez obsluhy "
                   "do ní neinstaluje.")
            .arg(shown);
    }
    if (now.state == TargetNow::State::Vanished) {
        return QStringLiteral("Ve složce %1 už program nainstalován není.").arg(shown);
    }
    if (now.record->stem != stem) {
        return QStringLiteral("Ve složce %1 je nainstalován jiný program (%2).")
            .arg(shown, now.record->name);
    }
    // Root installs unattended only where the search would: nobody else can change the way.
    if (::geteuid() == 0 &&
        !platform::trustedChain(target.path, platform::OwnerRule::forProcess())) {
        return QStringLiteral(
                   "Složku %1 mohou měnit i jiní uživatelé; bez obsluhy do ní "
                   "Selvanix neinstaluje.")
            .arg(shown);
    }
    return std::nullopt;
}

std::vector<RunResult> InstallEngine::updateRemembered(
    const RunRequest& request, const std::vector<InstalledTarget>& targets) {
    beginRun(request, QStringLiteral("unattended update"));
    const PackageNames names = PackageNames::of(request.product, request.channel);
    std::optional<TargetLock> downloads;
    const Step<Package> package = fetchHeld(request, names, downloads);
    if (const RunResult* failed = std::get_if<RunResult>(&package)) {
        logOutcome(*failed);
        return std::vector<RunResult>(targets.size(), *failed);
    }
    const Package& checked = std::get<Package>(package);
    platform::pausePoint("unattended");
    std::vector<RunResult> results;
    for (const InstalledTarget& target : targets) {
        RunRequest one = request;
        one.targetMode = TargetMode::Fields;
        one.fields = {target.path};
        one.remembered = target;
        one.startPrograms = false;
        RunResult result;
        result.version = checked.info().version;
        QString startProblem;
        try {
            installTargets(checked, FoundTargets{{target.path}, {}}, one, downloads, result,
                           startProblem);
        } catch (const std::exception& error) {
            // Said to the observer and logged where it failed; the next target goes on.
            result.outcome = RunOutcome::TargetFailed;
            result.reason = installFailure(target.path, error);
        }
        rememberInstalled(names.stem, result.targets);
        logOutcome(result);
        results.push_back(result);
    }
    return results;
}

}  // namespace selvanix
