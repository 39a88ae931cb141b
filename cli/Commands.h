#pragma once

#include "CommandLine.h"

namespace selvanix::cli {

class StopSignals;

// Each returns the command's exit code.
int runInstall(const CliOptions& options, StopSignals& stops);
int runUpgrade(const CliOptions& options, StopSignals& stops);

// Prints "selvanix: message" on standard error.
void complain(const QString& message);

// The command line's entry: nothing when there are no arguments (the window opens).
std::optional<int> runCommandLine(int argc, char** argv);

}  // namespace selvanix::cli
