#pragma once

#include "engine/RunRequest.h"

namespace selvanix::cli {

// What a finished command tells the shell; scripts and later commands rely on these.
enum ExitCode : int {
    kInstalled = 0,         // installed, or every target already held this package
    kUsage = 2,             // a bad command line, option or input file
    kNoPackage = 3,         // package not found or not fetched
    kRefused = 4,           // package refused: its signature
    kNoTarget = 5,          // no target, or a target that fails its check before the run
    kTargetFailed = 6,      // a target failed
    kSkipped = 7,           // installed, but entries were skipped
    kDifferences = 8,       // verify found differences
    kInterrupted = 9,       // stopped by SIGINT or SIGTERM
    kBusy = 10,             // another run held a target or the product's downloads
    kUpdateAvailable = 11,  // check: a newer release for a remembered target
};

ExitCode exitCodeOf(RunOutcome outcome);

}  // namespace selvanix::cli
