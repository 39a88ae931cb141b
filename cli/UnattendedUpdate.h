#pragma once

#include "MeteredConnection.h"
#include "config/UpdatePolicy.h"
#include "engine/InstallEngine.h"

#include <QString>
#include <optional>
#include <vector>

namespace selvanix::cli {

class ConsoleReport;

// What an unattended update does with one checked target.
struct UnattendedStep {
    TargetUpdate update;
    std::optional<QString> held{};      // why it waits, when it does
    std::optional<RunResult> result{};  // its installation, when it was installed
};

// Why a newer release must wait for a user: no publisher key, a metered connection the
// policy does not allow, or a cool-down not yet over. Nothing when it may install now.
std::optional<QString> heldBack(const TargetUpdate& update, bool verified,
                                const UpdatePolicy& policy, Metered metered, const QDateTime& now);

// Installs every newer release the rules let through, each product fetched once and each
// target in its own transaction; every target of the check, with what became of it.
std::vector<UnattendedStep> updateUnattended(InstallEngine& engine, const RunRequest& request,
                                             const AvailableUpdates& check,
                                             const UpdatePolicy& policy, Metered metered);

// The steps as events and the outcome: 6 when a target failed, else the check's failure,
// else 11 when a release still waits, else 0.
int reportUnattended(const std::vector<UnattendedStep>& steps, const AvailableUpdates& check,
                     ConsoleReport& report);

// The policy of this copy's settings and the all-users settings.
UpdatePolicy ownPolicy();

}  // namespace selvanix::cli
