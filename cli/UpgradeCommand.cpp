#include "Commands.h"
#include "ConsoleFetcher.h"
#include "ConsoleReport.h"
#include "ExitCode.h"
#include "Language.h"
#include "StopSignals.h"
#include "engine/InstallerSettings.h"
#include "engine/RunLog.h"
#include "engine/SelfUpdate.h"
#include "net/WebHTTPGet.h"
#include "platform/FileOps.h"
#include "platform/ShellOpen.h"

namespace selvanix::cli {

int runUpgrade(const CliOptions& options, StopSignals& stops) {
    net::WebHTTPGet get;
    ConsoleReport report(options.json, stdout);
    const auto loaded = commandSettings(options, get.InternetOptions());
    if (const QString* problem = std::get_if<QString>(&loaded)) {
        return refuseCommand(report, kUsage, *problem);
    }
    const InstallerSettings& settings = std::get<InstallerSettings>(loaded);
    stops.onStop([&get] { get.Stop(); });
    const RunLog log = commandLog(options);
    log.line(QStringLiteral("upgrade from %1").arg(settings.baseUrl));
    logProxy(log, settings.proxy);
    ConsoleFetcher fetcher(get, stops.stopped());
    const UpdateDownload update =
        fetchUpdate(fetcher, report, settings.baseUrl, settings.publicKey);
    stops.onStop({});

    ExitCode code = kInstalled;
    QString reason;
    if (stops.stopped()) {
        code = kInterrupted;
        reason = QStringLiteral("Stahování bylo zrušeno.");
    } else if (!update.complete) {
        code = kNoPackage;
        reason = update.problem;
    } else if (!update.trusted) {
        code = kRefused;
        reason = update.refusal.isEmpty()
                     ? QStringLiteral("Novou verzi programu Selvanix se nepodařilo ověřit.")
                     : update.refusal;
    }
    // Unknown without a signature, which alone names it.
    const QJsonValue newVersion =
        update.version.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(update.version);
    if (code != kInstalled) {
        platform::deleteFile(update.path);  // no cut or unchecked copy stays under its name
    } else {
        makeRunnable(update.path);
        report.event(
            QStringLiteral("update"),
            {{QStringLiteral("path"), update.path}, {QStringLiteral("new_version"), newVersion}},
            update.version.isEmpty()
                ? say(u"fetched a Selvanix of unknown version (no signature asked for): %1",
                      u"stažen Selvanix neznámé verze (podpis se nevyžaduje): %1")
                      .arg(update.path)
                : say(u"fetched Selvanix %1: %2", u"stažen Selvanix %1: %2")
                      .arg(update.version, update.path));
        // Only where a person sees it: without a display the administrator starts it.
        if (!qEnvironmentVariableIsEmpty("DISPLAY") ||
            !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
            platform::ShellOpen(update.path, QString(), QString(), platform::SW_SHOWNORMAL);
        }
    }
    log.line(QStringLiteral("upgrade outcome: exit %1%2")
                 .arg(QString::number(code),
                      reason.isEmpty() ? QString() : QStringLiteral(", ") + reason));
    report.outcome(code == kInstalled ? QStringLiteral("fetched") : QStringLiteral("not fetched"),
                   code, reason, code == kInstalled,
                   code == kInstalled ? QJsonObject{{QStringLiteral("new_version"), newVersion}}
                                      : QJsonObject{});
    return code;
}

}  // namespace selvanix::cli
