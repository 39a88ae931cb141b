#include "Commands.h"
#include "ConsoleReport.h"
#include "ExitCode.h"
#include "Language.h"
#include "StopSignals.h"
#include "engine/Version.h"
#include "platform/FileOps.h"
#include "platform/Places.h"
#include "store/Recovery.h"

#include <QCoreApplication>
#include <cstdio>

namespace selvanix::cli {

void complain(const QString& message) {
    QString line = message;
    line.replace(u'\n', u' ');
    std::fprintf(stderr, "selvanix: %s\n", line.toUtf8().constData());
}

int refuseCommand(ConsoleReport& report, ExitCode code, const QString& problem) {
    complain(problem);
    if (report.json()) {
        report.outcome(code == kUsage      ? QStringLiteral("usage error")
                       : code == kNoTarget ? QStringLiteral("no target")
                                           : QStringLiteral("failed"),
                       code, problem, false);
    }
    return code;
}

std::variant<InstallerSettings, QString> commandSettings(const CliOptions& options,
                                                         net::TInternetOptions& downloads) {
    InstallerSettings settings = readInstallerSettings(downloads);
    if (!settings.keyProblem.isEmpty()) {
        return settings.keyProblem;
    }
    if (!settings.channelProblem.isEmpty()) {
        return settings.channelProblem;
    }
    for (const QString& warning : settings.keyWarnings) {
        complain(warning);
    }
    if (options.proxy) {
        const auto parsed = parseProxy(*options.proxy);
        if (const QString* problem = std::get_if<QString>(&parsed)) {
            return *problem;
        }
        settings.proxy = std::get<ProxySetting>(parsed);
    } else if (!settings.proxyProblem.isEmpty()) {
        return settings.proxyProblem +
               say(u" (proxy= in the settings file)", u" (proxy= v souboru nastavení)");
    }
    applyDownloadSettings(settings, downloads);
    return settings;
}

RunLog commandLog(const CliOptions& options) {
    RunLog log(options.logFile.value_or(QString()));
    if (log.problem()) {
        complain(*log.problem());
    }
    return log;
}

void logProxy(const RunLog& log, const ProxySetting& proxy) {
    if (proxy.kind == ProxySetting::Kind::Url) {
        log.line(QStringLiteral("proxy %1").arg(proxy.url));  // the log leaves out credentials
    } else if (proxy.kind == ProxySetting::Kind::Environment) {
        log.line(QStringLiteral("proxy from the environment"));
    }
}

ExitCode exitCodeOf(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::Installed:
            return kInstalled;
        case RunOutcome::NoPackage:
            return kNoPackage;
        case RunOutcome::Refused:
            return kRefused;
        case RunOutcome::NoTarget:
            return kNoTarget;
        case RunOutcome::TargetFailed:
            return kTargetFailed;
        case RunOutcome::Skipped:
            return kSkipped;
        case RunOutcome::Busy:
            return kBusy;
        case RunOutcome::Interrupted:
            break;
    }
    return kInterrupted;
}

std::optional<int> runCommandLine(int argc, char** argv) {
    if (argc <= 1 || windowArguments({QString::fromLocal8Bit(argv[1])})) {
        return std::nullopt;
    }
    // Before any thread exists, so that all of them leave the stop signals to it.
    StopSignals stops;
    const QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const auto parsed = parseCommandLine(arguments);
    if (const UsageError* error = std::get_if<UsageError>(&parsed)) {
        // --json anywhere asks for JSON, also when another word was wrong.
        ConsoleReport report(arguments.contains(QStringLiteral("--json")), stdout);
        return refuseCommand(
            report, kUsage,
            error->message + say(u" (see selvanix --help)", u" (viz selvanix --help)"));
    }
    const CliOptions& options = std::get<CliOptions>(parsed);
    if (options.command != CliOptions::Command::Help &&
        options.command != CliOptions::Command::Version) {
        // Before anything is read: settings, keys and downloads would come from anywhere.
        if (const std::optional<QString> problem = platform::placesProblem()) {
            ConsoleReport report(options.json, stdout);
            return refuseCommand(report, kUsage, *problem);
        }
        recoverNamedTargets(
            readSettings(platform::installerFolder() + QString::fromUtf16(kSettingsFileName)));
    }
    switch (options.command) {
        case CliOptions::Command::Help:
            std::fputs(usageText().toUtf8().constData(), stdout);
            return kInstalled;
        case CliOptions::Command::Version:
            std::printf("selvanix %s\n", selvanixVersion().toUtf8().constData());
            return kInstalled;
        case CliOptions::Command::Install:
            return runInstall(options, stops);
        case CliOptions::Command::Verify:
            return runVerify(options);
        case CliOptions::Command::Uninstall:
            return runUninstall(options);
        case CliOptions::Command::Rollback:
            return runRollback(options);
        case CliOptions::Command::Repair:
            return runRepair(options, stops);
        case CliOptions::Command::List:
            return runList(options);
        case CliOptions::Command::Check:
            return runCheck(options, stops);
        case CliOptions::Command::Notify:
            return runNotify(options, stops);
        case CliOptions::Command::UpdateAll:
            return runUpdateAll(options, stops);
        case CliOptions::Command::Upgrade:
            break;
    }
    return runUpgrade(options, stops);
}

}  // namespace selvanix::cli
