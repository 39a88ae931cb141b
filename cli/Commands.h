#pragma once

#include "CommandLine.h"
#include "ExitCode.h"
#include "engine/InstallerSettings.h"
#include "engine/RunLog.h"
#include "engine/UpdateCheck.h"
#include "net/InternetOptions.h"
#include "store/InstalledTargets.h"
#include "store/Manifest.h"
#include "store/TargetLock.h"

#include <QJsonObject>
#include <functional>

namespace selvanix {
class InstallEngine;
}

namespace selvanix::cli {

class ConsoleReport;
class StopSignals;

// The engine a command drives, set up as install sets it up from the options and the
// settings beside the program; body returns the exit code and says the outcome.
using EngineBody = std::function<int(InstallEngine&, const RunRequest&, ConsoleReport&)>;
int withEngine(const CliOptions& options, StopSignals& stops, bool checkTargets,
               const EngineBody& body);

// Each returns the command's exit code.
int runInstall(const CliOptions& options, StopSignals& stops);
int runUpgrade(const CliOptions& options, StopSignals& stops);
int runVerify(const CliOptions& options);
int runUninstall(const CliOptions& options);
int runRollback(const CliOptions& options);
int runRepair(const CliOptions& options, StopSignals& stops);
int runList(const CliOptions& options);
// A remembered target as list shows it in JSON: the path, and what its record says now.
QJsonObject targetFields(const InstalledTarget& target, TargetNow::State state,
                         const std::optional<Manifest>& record);
// A check's targets as events, and its outcome: exit 0, 11 or the first failure's code.
int reportCheck(const AvailableUpdates& check, ConsoleReport& report);
// The installed targets the data folder remembers.
std::vector<InstalledTarget> rememberedTargets();
int runCheck(const CliOptions& options, StopSignals& stops);
int runNotify(const CliOptions& options, StopSignals& stops);
int runUpdateAll(const CliOptions& options, StopSignals& stops);

// The settings beside the program with the command line's proxy over the file's; an error
// text when either proxy is none.
std::variant<InstallerSettings, QString> commandSettings(const CliOptions& options,
                                                         net::TInternetOptions& downloads);

// The log a command writes, as --log names it or by default; a --log that cannot be kept is
// said once on standard error, and the command goes on without it.
RunLog commandLog(const CliOptions& options);
// Which way the downloads go, in the log; credentials never.
void logProxy(const RunLog& log, const ProxySetting& proxy);

// A command's one target, held against other runs and recovered.
struct HeldTarget {
    platform::FolderHandle folder;
    std::optional<TargetLock> lock;  // none for a reader that may not open it
};
// The exit code (said already) when the folder is missing, another run holds it, its lock
// is not to be trusted, or its journal cannot be finished.
std::variant<HeldTarget, ExitCode> heldTarget(const QString& target, ConsoleReport& report,
                                              const RunLog& log, const QString& command,
                                              platform::FileLock::Access access);
// The same with the target's record, which must be there.
struct RecordedTarget {
    HeldTarget held;
    Manifest record;
};
std::variant<RecordedTarget, ExitCode> recordedTarget(const QString& target, ConsoleReport& report,
                                                      const RunLog& log, const QString& command,
                                                      platform::FileLock::Access access);

// Prints "selvanix: message" on standard error.
void complain(const QString& message);
// A command that ends before its run: the problem on standard error and, with --json, the
// outcome on standard output, so a script reading JSON always gets one. Returns code.
int refuseCommand(ConsoleReport& report, ExitCode code, const QString& problem);

// The command line's entry: nothing when there are no arguments (the window opens).
std::optional<int> runCommandLine(int argc, char** argv);

}  // namespace selvanix::cli
