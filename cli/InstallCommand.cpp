#include "AnswerDialogs.h"
#include "CommandAnswers.h"
#include "Commands.h"
#include "ConsoleFetcher.h"
#include "ConsoleReport.h"
#include "ExitCode.h"
#include "Language.h"
#include "StopSignals.h"
#include "engine/InstallEngine.h"
#include "engine/InstallerSettings.h"
#include "engine/ProductTable.h"
#include "engine/RunLog.h"
#include "net/WebHTTPGet.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"
#include "profile/PrivateProfile.h"
#include "store/Recovery.h"

#include <QFile>
#include <QFileInfo>
#include <functional>

namespace selvanix::cli {

namespace {

constexpr qint64 kMaxPasswordFileBytes = 64 * 1024;

// A settings file is text: bytes no editor writes mean it is something else, and the run
// would take defaults it was never asked for.
std::optional<QString> settingsProblem() {
    const QString path = platform::installerFolder() + QString::fromUtf16(kSettingsFileName);
    QFile file(platform::toHostPath(path));
    if (!file.exists()) {
        return std::nullopt;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        return say(u"cannot read the settings file %1: %2",
                   u"soubor nastavení %1 nelze přečíst: %2")
            .arg(path, file.errorString());
    }
    // Read within the bound, not by the size seen a moment before.
    const QByteArray bytes = file.read(kMaxProfileBytes + 1);
    if (bytes.size() > kMaxProfileBytes) {
        return say(u"the settings file %1 is larger than 1 MiB",
                   u"soubor nastavení %1 je větší než 1 MiB")
            .arg(path);
    }
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x20 && c != '\t' && c != '\r' && c != '\n') {
            return say(u"the settings file %1 holds a control byte 0x%2 at offset %3",
                       u"soubor nastavení %1 obsahuje řídicí bajt 0x%2 na pozici %3")
                .arg(path, QString::number(c, 16).rightJustified(2, u'0'), QString::number(i));
        }
    }
    return std::nullopt;
}

std::variant<std::optional<QString>, QString> readPassword(const std::optional<QString>& path) {
    if (!path) {
        return std::optional<QString>();
    }
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly)) {
        return say(u"cannot read the password file %1: %2", u"soubor s heslem %1 nelze přečíst: %2")
            .arg(*path, file.errorString());
    }
    QByteArray line = file.read(kMaxPasswordFileBytes);
    line = line.left(line.indexOf('\n') < 0 ? line.size() : line.indexOf('\n'));
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    return std::optional<QString>(QString::fromUtf8(line));
}

// The run the window would make with these fields: what the options leave out is taken
// from the settings beside the program.
std::variant<RunRequest, QString> requestFrom(const CliOptions& o, const InstallerSettings& s) {
    const StoredSettings& stored = s.stored;
    RunRequest r;
    r.product = o.product ? *productCodeOf(*o.product) : stored.program.value_or(1);
    if (r.product == 0) {
        r.product = 1;
    }
    if (!productByCode(r.product)) {
        return say(u"the settings choose no product: use --product",
                   u"nastavení nevybírá žádný program: použijte --product");
    }
    r.source = static_cast<PackageSource>(stored.source.value_or(1));
    r.packageFolder = stored.packageFolder.value_or(QString());
    if (o.source == u"internet") {
        r.source = PackageSource::Internet;
    } else if (o.source) {
        r.source = PackageSource::Folder;
        r.packageFolder = *o.source;
    }
    r.targetMode = static_cast<TargetMode>(stored.targetMode.value_or(0));
    for (int i = 0; i < kTargetCount; ++i) {
        r.fields[i] = stored.targets[i].value_or(QString());
    }
    if (!o.targets.isEmpty()) {
        // One folder named twice (another spelling, a link to it) is one target.
        const QStringList targets = sameFolders(o.targets).once;
        r.targetMode = TargetMode::Fields;
        r.fields = {};
        for (qsizetype i = 0; i < targets.size(); ++i) {
            r.fields[i] = targets[i];
        }
    } else if (o.search) {
        r.targetMode = r.targetMode == TargetMode::Fields ? TargetMode::Search : r.targetMode;
    }
    r.koukani = stored.koukani == u"Y";
    r.automaticky = stored.automaticky == u"Y";
    r.baseUrl = s.baseUrl;
    r.channel = s.channel;
    r.publicKey = s.publicKey;
    r.keepUnchanged = true;
    return r;
}

// Every named target must be a folder before anything is fetched or written anywhere, and
// there must be one: the command line never picks a folder of its own.
std::optional<QString> targetProblem(const RunRequest& r) {
    if (r.targetMode != TargetMode::Fields) {
        return std::nullopt;
    }
    if (std::all_of(r.fields.begin(), r.fields.end(),
                    [](const QString& field) { return field.isEmpty(); })) {
        return say(u"no target: give --target, or name targets in the settings",
                   u"žádný cíl: zadejte --target, nebo cíle uveďte v nastavení");
    }
    for (const QString& target : r.fields) {
        if (target.isEmpty()) {
            continue;
        }
        const QFileInfo info(platform::toHostPath(target));
        if (!info.exists()) {
            return say(u"the target %1 does not exist", u"cíl %1 neexistuje").arg(target);
        }
        if (!info.isDir()) {
            return say(u"the target %1 is not a folder", u"cíl %1 není složka").arg(target);
        }
    }
    return std::nullopt;
}

}  // namespace

int withEngine(const CliOptions& options, StopSignals& stops, bool checkTargets,
               const EngineBody& body) {
    ConsoleReport report(options.json, stdout);
    const auto refuse = [&](ExitCode code, const QString& problem) {
        return refuseCommand(report, code, problem);
    };
    if (const std::optional<QString> problem = settingsProblem()) {
        return refuse(kUsage, *problem);
    }
    const auto password = readPassword(options.passwordFile);
    if (const QString* problem = std::get_if<QString>(&password)) {
        return refuse(kUsage, *problem);
    }
    net::WebHTTPGet get;
    TPakovna archiver;
    FolderListings listings;
    const auto loaded = commandSettings(options, get.InternetOptions());
    if (const QString* problem = std::get_if<QString>(&loaded)) {
        return refuse(kUsage, *problem);
    }
    const InstallerSettings& settings = std::get<InstallerSettings>(loaded);
    const auto request = requestFrom(options, settings);
    if (const QString* problem = std::get_if<QString>(&request)) {
        return refuse(kUsage, *problem);
    }
    const RunRequest& r = std::get<RunRequest>(request);
    if (const std::optional<QString> problem = checkTargets ? targetProblem(r) : std::nullopt) {
        return refuse(kNoTarget, *problem);
    }
    // Nothing may wait for a person: a dialog that is not a run's question gets no.
    platform::setDialogs(std::make_shared<AnswerDialogs>());
    CommandAnswers answers({options.onFailure, std::get<std::optional<QString>>(password),
                            options.allowDowngrade, options.allowOtherProduct});

    ConsoleFetcher fetcher(get, stops.stopped());
    InstallEngine engine(report, answers, fetcher, archiver, listings);
    const RunLog log = commandLog(options);
    engine.setLog(&log);
    logProxy(log, settings.proxy);
    stops.onStop([&engine] { engine.requestStop(); });
    const int code = body(engine, r, report);
    stops.onStop({});
    return code;
}

namespace {

// A run that installs: its result as the outcome line and the exit code.
int reportRun(InstallEngine& engine, ConsoleReport& report, const std::function<RunResult()>& run) {
    RunResult result;
    try {
        result = run();
    } catch (const std::exception& error) {
        result.outcome = RunOutcome::TargetFailed;
        result.reason =
            report.lastFailure().isEmpty() ? QString::fromUtf8(error.what()) : report.lastFailure();
    }
    // A stop that came once the commit began changed nothing of what it did; the engine has
    // said so, and kept the programs from starting.
    if (engine.stopRequested() && !result.changed()) {
        result.outcome = RunOutcome::Interrupted;
        result.reason = QStringLiteral("Instalace byla přerušena.");
    }
    const ExitCode code = exitCodeOf(result.outcome);
    report.outcome(outcomeName(result.outcome), code, result.reason, result.changed(),
                   ConsoleReport::where(result));
    return code;
}

}  // namespace

int runInstall(const CliOptions& options, StopSignals& stops) {
    return withEngine(options, stops, true,
                      [](InstallEngine& engine, const RunRequest& r, ConsoleReport& report) {
                          return reportRun(engine, report, [&] { return engine.run(r); });
                      });
}

// The product comes from the target's record unless the command names one.
int runRepair(const CliOptions& options, StopSignals& stops) {
    const QString target = options.targets.first();
    CliOptions o = options;
    o.targets.clear();
    // Read before the run takes the target: a record being replaced reads whole, old or new.
    if (const std::optional<platform::FolderHandle> folder = platform::FolderHandle::open(target)) {
        if (const std::optional<Manifest> record = readManifest(*folder); record && !o.product) {
            o.product = record->stem;
        }
    }
    if (o.product && !productCodeOf(*o.product)) {
        o.product.reset();
    }
    return withEngine(o, stops, false,
                      [&target](InstallEngine& engine, const RunRequest& r, ConsoleReport& report) {
                          return reportRun(engine, report, [&] {
                              QStringList repaired;
                              const RunResult result = engine.repair(r, target, repaired);
                              for (const QString& path : repaired) {
                                  report.event(QStringLiteral("repaired"),
                                               {{QStringLiteral("path"), path}},
                                               say(u"repaired %1", u"opraven %1").arg(path));
                              }
                              return result;
                          });
                      });
}

}  // namespace selvanix::cli
