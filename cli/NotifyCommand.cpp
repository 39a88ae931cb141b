// What the daily user service runs: a check, and a notification for each new release of a
// remembered target, whose action opens the window for it. Nothing installs from here.
#include "Commands.h"
#include "ConsoleReport.h"
#include "DesktopNotice.h"
#include "ExitCode.h"
#include "StopSignals.h"
#include "UnattendedUpdate.h"
#include "engine/InstallEngine.h"
#include "engine/ProductTable.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"
#include "platform/handles/FileLock.h"
#include "store/NotifiedReleases.h"

#include <QCoreApplication>
#include <QProcess>
#include <map>

namespace selvanix::cli {

namespace {

// Long enough for a user away from the desk a moment, short enough that the service ends.
constexpr std::chrono::minutes kAnswerWait{10};

QString productName(const QString& stem) {
    const Product* product = productByStem(stem);
    return product ? QString::fromUtf16(product->displayName) : stem;
}

// Only this executable, by its own path, with the product and the folder as arguments.
void openWindow(const TargetUpdate& update) {
    QProcess::startDetached(QCoreApplication::applicationFilePath(),
                            {QStringLiteral("--product"), update.record->stem,
                             QStringLiteral("--target"), update.target.path});
}

// The releases not shown before, each shown once; what was shown is remembered at once, so a
// second service started meanwhile does not show it again.
std::map<quint32, TargetUpdate> showNew(DesktopNotices& notices, const AvailableUpdates& check) {
    std::map<quint32, TargetUpdate> shown;
    const std::optional<platform::FolderHandle> folder =
        platform::FolderHandle::open(platform::installerFolder());
    if (!folder) {
        return shown;
    }
    // Two services at once (the timer and a user's own run) show each release once between them.
    const auto lock = platform::FileLock::take(
        *folder, kNotifiedLockName, platform::FileLock::Access::Write, std::chrono::seconds(10));
    if (!std::holds_alternative<platform::FileLock>(lock)) {
        return shown;
    }
    NotifiedReleases notified = NotifiedReleases::read(*folder);
    for (const TargetUpdate& update : check.targets) {
        if (update.status != TargetUpdate::Status::Newer ||
            notified.contains(update.target, update.availableVersion)) {
            continue;
        }
        const QString summary =
            QStringLiteral("Nová verze programu %1").arg(productName(update.record->stem));
        // Servers may read the body as markup: a folder named "<b>" is shown as it is named.
        const QString body =
            QStringLiteral(
                "Je k dispozici verze %1 (%2) pro složku %3, kde je "
                "nainstalována verze %4.")
                .arg(update.availableVersion.toHtmlEscaped(), update.availableDate.toHtmlEscaped(),
                     platform::linuxPath(update.target.path).toHtmlEscaped(),
                     update.record->version.toHtmlEscaped());
        if (const std::optional<quint32> id =
                notices.show(summary, body, QStringLiteral("Instalovat"))) {
            shown.emplace(*id, update);
            notified.add(update.target, update.availableVersion);
        }
    }
    if (!shown.empty()) {
        notified.write(*folder);
    }
    return shown;
}

// Installs what the policy lets through; the check keeps only what is still news.
int installFirst(InstallEngine& engine, const RunRequest& r, AvailableUpdates& check,
                 const UpdatePolicy& policy, ConsoleReport& report) {
    const std::vector<UnattendedStep> steps =
        updateUnattended(engine, r, check, policy, meteredConnection());
    const int code = reportUnattended(steps, check, report);
    check.targets.clear();
    for (const UnattendedStep& step : steps) {
        if (!step.result || (step.result->outcome != RunOutcome::Installed &&
                             step.result->outcome != RunOutcome::Skipped)) {
            check.targets.push_back(step.update);
        }
    }
    return code;
}

}  // namespace

int runNotify(const CliOptions& options, StopSignals& stops) {
    // No desktop to tell: nothing is fetched either.
    const std::unique_ptr<DesktopNotices> notices = DesktopNotices::connect();
    if (!notices) {
        return kInstalled;
    }
    const UpdatePolicy policy = ownPolicy();
    if (!policy.problem.isEmpty()) {
        complain(policy.problem);
    }
    return withEngine(options, stops, false,
                      [&](InstallEngine& engine, const RunRequest& r, ConsoleReport& report) {
                          AvailableUpdates check = engine.checkUpdates(r, rememberedTargets());
                          const int code = policy.install
                                               ? installFirst(engine, r, check, policy, report)
                                               : reportCheck(check, report);
                          // An unverified release is never announced: the notification would
                          // vouch for it.
                          if (!check.verified || engine.stopRequested()) {
                              return code;
                          }
                          const std::map<quint32, TargetUpdate> shown = showNew(*notices, check);
                          DesktopNotices* waiting = notices.get();
                          stops.onStop([waiting] {
                              QMetaObject::invokeMethod(waiting, &DesktopNotices::stopWaiting,
                                                        Qt::QueuedConnection);
                          });
                          for (const quint32 id : notices->waitForAnswers(kAnswerWait)) {
                              openWindow(shown.at(id));
                          }
                          return code;
                      });
}

}  // namespace selvanix::cli
