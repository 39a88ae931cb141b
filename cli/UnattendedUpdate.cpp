// update --all: what the daily timer installs when the administrator allows it, within the
// rules a user is not there to judge.
#include "UnattendedUpdate.h"
#include "Language.h"
#include "engine/CzechPlural.h"

#include "Commands.h"
#include "ConsoleReport.h"
#include "ExitCode.h"
#include "StopSignals.h"
#include "engine/ProductTable.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"

#include <map>

namespace selvanix::cli {

std::optional<QString> heldBack(const TargetUpdate& update, bool verified,
                                const UpdatePolicy& policy, Metered metered, const QDateTime& now) {
    if (!verified) {
        return QStringLiteral("Bez klíče vydavatele Selvanix bez obsluhy neinstaluje.");
    }
    if (metered == Metered::Yes && !policy.onMetered) {
        return QStringLiteral(
            "Připojení se účtuje podle objemu dat; bez obsluhy se na něm "
            "neinstaluje.");
    }
    if (!update.releasedAt.isValid() || update.releasedAt.addDays(policy.coolDownDays) > now) {
        return czechPlural(policy.coolDownDays,
                           u"Verze %2 se bez obsluhy nainstaluje %1 den po vydání, od %3.",
                           u"Verze %2 se bez obsluhy nainstaluje %1 dny po vydání, od %3.",
                           u"Verze %2 se bez obsluhy nainstaluje %1 dní po vydání, od %3.")
            .arg(update.availableVersion)
            .arg(update.releasedAt.addDays(policy.coolDownDays)
                     .toLocalTime()
                     .toString(QStringLiteral("d.M.yyyy H:mm")));
    }
    return std::nullopt;
}

std::vector<UnattendedStep> updateUnattended(InstallEngine& engine, const RunRequest& request,
                                             const AvailableUpdates& check,
                                             const UpdatePolicy& policy, Metered metered) {
    std::vector<UnattendedStep> steps;
    std::map<QString, std::vector<std::size_t>> byProduct;  // the steps that install
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const TargetUpdate& update : check.targets) {
        UnattendedStep step{update};
        if (update.status == TargetUpdate::Status::Newer) {
            step.held = heldBack(update, check.verified, policy, metered, now);
            if (!step.held) {
                byProduct[update.record->stem].push_back(steps.size());
            }
        }
        steps.push_back(std::move(step));
    }
    for (const auto& [stem, indexes] : byProduct) {
        if (engine.stopRequested()) {
            break;
        }
        RunRequest product = request;
        product.product = productByStem(stem)->code;
        std::vector<InstalledTarget> targets;
        for (const std::size_t i : indexes) {
            targets.push_back(steps[i].update.target);
        }
        const std::vector<RunResult> results = engine.updateRemembered(product, targets);
        for (std::size_t k = 0; k < indexes.size(); ++k) {
            steps[indexes[k]].result = results[k];
        }
    }
    return steps;
}

namespace {

// The action as the line says it; JSON keeps the name.
QString actionWords(const QString& action) {
    static const Words kCzech[] = {{u"updated", u"aktualizováno"},
                                   {u"held", u"odloženo"},
                                   {u"failed", u"selhalo"},
                                   {u"current", u"aktuální"},
                                   {u"unknown", u"neznámé"},
                                   {u"rollout", u"zatím nenabídnuto"},
                                   {u"gone", u"pryč"}};
    return nameAsSaid(action, kCzech);
}

QString actionOf(const UnattendedStep& step) {
    if (step.result) {
        switch (step.result->outcome) {
            case RunOutcome::Installed:
            case RunOutcome::Skipped:
                return QStringLiteral("updated");
            case RunOutcome::Busy:
            case RunOutcome::Interrupted:
                return QStringLiteral("held");  // the next run tries again
            default:
                return QStringLiteral("failed");
        }
    }
    if (step.held) {
        return QStringLiteral("held");
    }
    switch (step.update.status) {
        case TargetUpdate::Status::Current:
            return QStringLiteral("current");
        case TargetUpdate::Status::Unknown:
            return QStringLiteral("unknown");
        case TargetUpdate::Status::Rollout:
            return QStringLiteral("rollout");
        case TargetUpdate::Status::Newer:
        case TargetUpdate::Status::Gone:
            break;
    }
    return QStringLiteral("gone");
}

QString reasonOf(const UnattendedStep& step) {
    if (step.result) {
        return step.result->reason;
    }
    if (step.update.status == TargetUpdate::Status::Rollout) {
        return QStringLiteral("Vydavatel verzi %1 zatím nabízí jen %2 % instalací.")
            .arg(step.update.availableVersion)
            .arg(step.update.rollout);
    }
    return step.held ? *step.held : step.update.problem;
}

}  // namespace

int reportUnattended(const std::vector<UnattendedStep>& steps, const AvailableUpdates& check,
                     ConsoleReport& report) {
    bool failed = false;
    bool waiting = false;
    bool changed = false;
    for (const UnattendedStep& step : steps) {
        const TargetUpdate& u = step.update;
        const QString action = actionOf(step);
        const QString reason = reasonOf(step);
        QJsonObject fields = targetFields(u.target, u.state, u.record);
        fields.insert(QStringLiteral("action"), action);
        if (!u.availableVersion.isEmpty()) {
            fields.insert(QStringLiteral("available_version"), u.availableVersion);
        }
        fields.insert(QStringLiteral("reason"), reason);
        report.event(QStringLiteral("target"), fields,
                     QStringLiteral("%1: %2%3")
                         .arg(platform::linuxPath(u.target.path), actionWords(action),
                              reason.isEmpty() ? QString() : QStringLiteral(", ") + reason));
        failed = failed || action == u"failed";
        waiting = waiting || action == u"held";
        changed = changed || action == u"updated";
    }
    const QJsonObject extra{{QStringLiteral("verified"), check.verified}};
    if (failed) {
        report.outcome(outcomeName(RunOutcome::TargetFailed), kTargetFailed,
                       QStringLiteral("Do některé složky se nepodařilo nainstalovat."), changed,
                       extra);
        return kTargetFailed;
    }
    if (check.failure != RunOutcome::Installed) {
        const ExitCode code = exitCodeOf(check.failure);
        report.outcome(outcomeName(check.failure), code, check.problem, changed, extra);
        return code;
    }
    if (waiting) {
        report.outcome(QStringLiteral("update available"), kUpdateAvailable,
                       QStringLiteral("Některá nová verze čeká na instalaci."), changed, extra);
        return kUpdateAvailable;
    }
    report.outcome(changed ? QStringLiteral("installed") : QStringLiteral("current"), kInstalled,
                   QString(), changed, extra);
    return kInstalled;
}

UpdatePolicy ownPolicy() {
    return readUpdatePolicy(platform::installerFolder() + QString::fromUtf16(kSettingsFileName),
                            platform::systemSettingsFile());
}

int runUpdateAll(const CliOptions& options, StopSignals& stops) {
    const UpdatePolicy policy = ownPolicy();
    if (!policy.problem.isEmpty()) {
        ConsoleReport report(options.json, stdout);
        return refuseCommand(report, kUsage, policy.problem);
    }
    return withEngine(
        options, stops, false,
        [&policy](InstallEngine& engine, const RunRequest& r, ConsoleReport& report) {
            const AvailableUpdates check = engine.checkUpdates(r, rememberedTargets());
            return reportUnattended(updateUnattended(engine, r, check, policy, meteredConnection()),
                                    check, report);
        });
}

}  // namespace selvanix::cli
