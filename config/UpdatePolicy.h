#pragma once

#include <QString>

namespace selvanix {

// What the daily check may do without a user, from section "SERVER":
//   unattended=notify|install   whether it only tells of a release or also installs it
//   cooldowndays=N              days a release must be known before it installs unattended
//   metered=wait|install        whether it installs over a metered connection
// Unlike every other key, the all-users file decides these where it names them: a user
// cannot widen what the administrator allows.
struct UpdatePolicy {
    bool install = false;
    int coolDownDays = 0;
    bool onMetered = false;
    // A value that is none of the above; an unattended run then installs nothing.
    QString problem{};
};

inline constexpr int kMaxCoolDownDays = 3650;

// The policy of the user's file and the all-users file (empty for a portable copy).
UpdatePolicy readUpdatePolicy(const QString& ownFile, const QString& systemFile);

}  // namespace selvanix
