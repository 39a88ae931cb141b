#pragma once

#include <QString>
#include <chrono>
#include <optional>

namespace selvanix {

// How far the extraction of a run's targets has come, and how long the rest will take at the
// pace so far. Targets are taken as equal in size, as each holds the same package.
class RunProgress {
public:
    using Clock = std::chrono::steady_clock;

    RunProgress() = default;  // knows no pace
    RunProgress(int targets, Clock::time_point start);

    // The extraction of target index (from 0) begins.
    void startTarget(int index) { target_ = index; }
    // The current target is percent extracted at now; the seconds the run still needs, once the
    // pace is known (after a second and a hundredth of the work). A percent that starts again,
    // as a target's second pass does, keeps the furthest point reached.
    std::optional<int> secondsLeft(double percent, Clock::time_point now);
    // Whether a report at now would come at least kInterval after the last one; if so, now is
    // taken as the last report.
    bool reportDue(Clock::time_point now);

    static constexpr std::chrono::milliseconds kInterval{250};

private:
    int targets_ = 1;
    int target_ = 0;
    std::optional<Clock::time_point> start_;
    double done_ = 0;  // of the whole run
    std::optional<Clock::time_point> lastReport_;
};

// "zbývá asi 40 s", "zbývá asi 3 min", "zbývá asi 1 h 5 min".
QString timeLeftText(int seconds);

}  // namespace selvanix
