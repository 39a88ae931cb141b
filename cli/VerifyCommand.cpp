#include "Commands.h"
#include "ConsoleReport.h"
#include "ExitCode.h"
#include "engine/FailureDetail.h"
#include "engine/Manifest.h"
#include "engine/Recovery.h"
#include "engine/RunLog.h"
#include "platform/FolderHandle.h"

#include <QFileInfo>
#include <variant>

namespace selvanix::cli {

std::variant<std::pair<platform::FolderHandle, Manifest>, ExitCode> recordedTarget(
    const QString& target, ConsoleReport& report, const RunLog& log, const QString& command) {
    std::optional<platform::FolderHandle> folder =
        QFileInfo(target).isDir() ? platform::FolderHandle::open(target) : std::nullopt;
    if (!folder) {
        complain(QStringLiteral("the target %1 is not a folder").arg(target));
        return kNoTarget;
    }
    recoverTarget(*folder);  // a killed run's journal is finished before the target is read
    std::optional<Manifest> record = readManifest(*folder);
    if (!record) {
        log.line(QStringLiteral("%1 %2: no record").arg(command, target));
        report.outcome(QStringLiteral("no record"), kNoTarget, noRecord(target), false);
        return kNoTarget;
    }
    return std::pair{std::move(*folder), std::move(*record)};
}

// Every recorded file is looked at: the list of what differs is the answer, not just its
// first entry.
int runVerify(const CliOptions& options) {
    const QString target = options.targets.first();
    ConsoleReport report(options.json, stdout);
    const RunLog log(options.logFile.value_or(QString()));
    auto opened = recordedTarget(target, report, log, QStringLiteral("verify"));
    if (const ExitCode* code = std::get_if<ExitCode>(&opened)) {
        return *code;
    }
    const auto& [folder, record] = std::get<0>(opened);
    int missing = 0;
    int changed = 0;
    for (const Manifest::Entry& entry : record.files) {
        const FileCheck check = checkFile(folder, entry);
        if (check == FileCheck::Matches) {
            continue;
        }
        const bool gone = check == FileCheck::Missing;
        (gone ? missing : changed) += 1;
        const QString state = gone ? QStringLiteral("missing") : QStringLiteral("changed");
        report.event(QStringLiteral("difference"),
                     {{QStringLiteral("path"), entry.path}, {QStringLiteral("state"), state}},
                     state + u' ' + entry.path);
    }
    const bool same = missing == 0 && changed == 0;
    const QString reason =
        same ? QString()
             : QStringLiteral("%1 souborů chybí, %2 se liší.").arg(missing).arg(changed);
    log.line(QStringLiteral("verify %1: %2 %3, %4 files, missing %5, changed %6")
                 .arg(target, record.name, record.version)
                 .arg(record.files.size())
                 .arg(missing)
                 .arg(changed));
    const ExitCode code = same ? kInstalled : kDifferences;
    report.outcome(same ? QStringLiteral("verified") : QStringLiteral("differences"), code, reason,
                   false);
    return code;
}

}  // namespace selvanix::cli
