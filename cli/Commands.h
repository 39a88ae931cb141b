#pragma once

#include "CommandLine.h"
#include "ExitCode.h"
#include "engine/InstallerSettings.h"
#include "engine/Manifest.h"
#include "engine/RunLog.h"
#include "net/InternetOptions.h"

namespace selvanix::cli {

class ConsoleReport;
class StopSignals;

// Each returns the command's exit code.
int runInstall(const CliOptions& options, StopSignals& stops);
int runUpgrade(const CliOptions& options, StopSignals& stops);
int runVerify(const CliOptions& options);
int runUninstall(const CliOptions& options);
int runRollback(const CliOptions& options);
int runRepair(const CliOptions& options, StopSignals& stops);

// The settings beside the program with the command line's proxy over the file's; an error
// text when either proxy is none.
std::variant<InstallerSettings, QString> commandSettings(const CliOptions& options,
                                                         net::TInternetOptions& downloads);

// Which way the downloads go, in the log; credentials never.
void logProxy(const RunLog& log, const ProxySetting& proxy);

// The folder of a command's one target and its record; the exit code (said already) when
// either is missing.
std::variant<std::pair<platform::FolderHandle, Manifest>, ExitCode> recordedTarget(
    const QString& target, ConsoleReport& report, const RunLog& log, const QString& command);

// Prints "selvanix: message" on standard error.
void complain(const QString& message);

// The command line's entry: nothing when there are no arguments (the window opens).
std::optional<int> runCommandLine(int argc, char** argv);

}  // namespace selvanix::cli
