#include "Commands.h"
#include "ConsoleReport.h"
#include "ExitCode.h"
#include "Language.h"
#include "engine/CzechPlural.h"
#include "engine/RunLog.h"
#include "store/Uninstall.h"

namespace selvanix::cli {

int runUninstall(const CliOptions& options) {
    const QString target = options.targets.first();
    ConsoleReport report(options.json, stdout);
    const RunLog log = commandLog(options);
    auto opened = recordedTarget(target, report, log, QStringLiteral("uninstall"),
                                 platform::FileLock::Access::Write);
    if (const ExitCode* code = std::get_if<ExitCode>(&opened)) {
        return *code;
    }
    const platform::FolderHandle& folder = std::get<RecordedTarget>(opened).held.folder;
    const Manifest& record = std::get<RecordedTarget>(opened).record;
    const UninstallResult result = uninstallTarget(folder, record);
    for (const QString& path : result.kept) {
        report.event(
            QStringLiteral("kept"), {{QStringLiteral("path"), path}},
            say(u"kept %1: changed since it was installed", u"ponechán %1: od instalace změněn")
                .arg(path));
    }
    log.line(QStringLiteral("uninstall %1: %2 %3, removed %4, kept %5, missing %6")
                 .arg(target, record.name, record.version)
                 .arg(result.removed.size())
                 .arg(result.kept.size())
                 .arg(result.missing.size()));
    const ExitCode code = result.kept.isEmpty() ? kInstalled : kSkipped;
    report.outcome(
        QStringLiteral("uninstalled"), code,
        result.kept.isEmpty()
            ? QString()
            : czechPlural(result.kept.size(), u"%1 změněný soubor zůstal.",
                          u"%1 změněné soubory zůstaly.", u"%1 změněných souborů zůstalo."),
        !result.removed.isEmpty());
    return code;
}

}  // namespace selvanix::cli
