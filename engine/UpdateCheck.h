#pragma once

#include "RunRequest.h"
#include "config/PackageDescriptor.h"
#include "store/InstalledTargets.h"

#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

namespace selvanix {

// The newest release of a product as its descriptor tells it, or why it could not be read
// or trusted.
struct ProductRelease {
    QString stem;
    std::optional<PackageDescriptor> descriptor{};  // read, and verified when keys were given
    RunOutcome failure = RunOutcome::Installed;     // NoPackage or Refused when none
    QString problem{};
    QDateTime releasedAt{};  // the later of its date and when this copy first saw it
    int rollout = 100;       // the share of installations offered it unattended
};

// What a check says of one remembered target.
struct TargetUpdate {
    enum class Status {
        Current,  // the release is not newer than what the target holds
        Newer,    // a newer release
        Rollout,  // a newer release its staged rollout does not offer this installation yet
        Unknown,  // the release could not be read or trusted
        Gone,     // vanished or replaced: nothing was fetched for it
    };
    InstalledTarget target;
    TargetNow::State state = TargetNow::State::Vanished;
    std::optional<Manifest> record{};
    Status status = Status::Unknown;
    QString availableVersion{};
    QString availableDate{};
    QDateTime releasedAt{};
    int rollout = 100;
    QString problem{};
};

// A whole check: every remembered target, and whether a publisher key verified what was read.
struct AvailableUpdates {
    std::vector<TargetUpdate> targets;
    bool verified = false;
    // The outcome of the first product that failed, or Installed, and why it failed.
    RunOutcome failure = RunOutcome::Installed;
    QString problem{};
};

// What a release means for a target that holds record, this installation being in bucket.
TargetUpdate::Status updateStatus(const Manifest& record, const ProductRelease& release,
                                  int bucket);

}  // namespace selvanix
