// The pace of a run's extraction: how long the rest takes, and how often it is told.
#include "engine/RunProgress.h"

#include <gtest/gtest.h>

namespace selvanix::test {
namespace {

using namespace std::chrono_literals;
using Clock = RunProgress::Clock;

TEST(RunProgress, TheRestTakesAsLongAsThePaceSoFarSays) {
    const Clock::time_point start{};
    RunProgress progress(2, start);
    // A first second or a first hundredth tells no pace.
    EXPECT_EQ(RunProgress(2, start).secondsLeft(90, start + 900ms), std::nullopt);
    EXPECT_EQ(RunProgress(2, start).secondsLeft(1, start + 30s), std::nullopt);
    // Half of the first of two targets in 10 s: a quarter done, 30 s to go.
    EXPECT_EQ(progress.secondsLeft(50, start + 10s), 30);
    // The target's second pass starts from 0 %: the run is still a quarter done.
    EXPECT_EQ(progress.secondsLeft(0, start + 12s), 36);
    progress.startTarget(1);
    EXPECT_EQ(progress.secondsLeft(50, start + 30s), 10);
    EXPECT_EQ(progress.secondsLeft(100, start + 40s), 0);
    // A percent out of range is taken at its bound.
    EXPECT_EQ(progress.secondsLeft(250, start + 40s), 0);
    // Without a start there is no pace.
    EXPECT_EQ(RunProgress().secondsLeft(50, start + 10s), std::nullopt);
}

TEST(RunProgress, ReportsComeAtMostEveryQuarterSecond) {
    RunProgress progress(1, Clock::time_point{});
    const Clock::time_point t{5s};
    EXPECT_TRUE(progress.reportDue(t));
    EXPECT_FALSE(progress.reportDue(t + 249ms));
    EXPECT_TRUE(progress.reportDue(t + 250ms));
    EXPECT_FALSE(progress.reportDue(t + 499ms));
    EXPECT_TRUE(progress.reportDue(t + 2s));
}

TEST(RunProgress, TimeLeftInSecondsMinutesAndHours) {
    EXPECT_EQ(timeLeftText(0), QStringLiteral("zbývá asi 1 s"));
    EXPECT_EQ(timeLeftText(59), QStringLiteral("zbývá asi 59 s"));
    EXPECT_EQ(timeLeftText(60), QStringLiteral("zbývá asi 1 min"));
    EXPECT_EQ(timeLeftText(61), QStringLiteral("zbývá asi 2 min"));
    EXPECT_EQ(timeLeftText(3540), QStringLiteral("zbývá asi 59 min"));
    EXPECT_EQ(timeLeftText(3599), QStringLiteral("zbývá asi 1 h"));
    EXPECT_EQ(timeLeftText(3601), QStringLiteral("zbývá asi 1 h 1 min"));
}

}  // namespace
}  // namespace selvanix::test
