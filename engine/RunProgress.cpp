#include "RunProgress.h"

#include <algorithm>
#include <cmath>

namespace selvanix {

RunProgress::RunProgress(int targets, Clock::time_point start)
    : targets_(std::max(targets, 1)), start_(start) {}

std::optional<int> RunProgress::secondsLeft(double percent, Clock::time_point now) {
    if (!start_) {
        return std::nullopt;
    }
    const double target =
        std::min(target_ + std::clamp(percent, 0.0, 100.0) / 100.0, static_cast<double>(targets_));
    done_ = std::max(done_, target / targets_);
    const double elapsed = std::chrono::duration<double>(now - *start_).count();
    if (elapsed < 1.0 || done_ < 0.01) {
        return std::nullopt;
    }
    return static_cast<int>(std::ceil(elapsed * (1.0 - done_) / done_));
}

bool RunProgress::reportDue(Clock::time_point now) {
    if (lastReport_ && now - *lastReport_ < kInterval) {
        return false;
    }
    lastReport_ = now;
    return true;
}

QString timeLeftText(int seconds) {
    const QString about = QStringLiteral("zbývá asi ");
    if (seconds < 60) {
        return about + QString::number(std::max(seconds, 1)) + QStringLiteral(" s");
    }
    const int minutes = (seconds + 59) / 60;
    if (minutes < 60) {
        return about + QString::number(minutes) + QStringLiteral(" min");
    }
    const QString hours = about + QString::number(minutes / 60) + QStringLiteral(" h");
    return minutes % 60 == 0
               ? hours
               : hours + u' ' + QString::number(minutes % 60) + QStringLiteral(" min");
}

}  // namespace selvanix
