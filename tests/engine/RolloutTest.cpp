// A machine's bucket for a release: stable, spread over 0-99, and not the same machines first
// for every release.
#include "engine/Rollout.h"

#include <gtest/gtest.h>
#include <set>

namespace selvanix::test {
namespace {

QByteArray machine(int n) {
    return QByteArray::number(n, 16).rightJustified(32, '0');
}

TEST(Rollout, BucketsAreStableSpreadAndDifferByRelease) {
    EXPECT_EQ(rolloutBucket(machine(1), "brodelik", "14,25"),
              rolloutBucket(machine(1), "brodelik", "14,25"));
    int below = 0;
    int sameNextRelease = 0;
    std::set<int> seen;
    for (int n = 0; n < 1000; ++n) {
        const int bucket = rolloutBucket(machine(n), "brodelik", "14,25");
        ASSERT_GE(bucket, 0);
        ASSERT_LT(bucket, 100);
        seen.insert(bucket);
        below += bucket < 50 ? 1 : 0;
        // Another release, or another product, draws again.
        const bool firstAgain = rolloutBucket(machine(n), "brodelik", "14,26") < 50;
        sameNextRelease += (bucket < 50) == firstAgain ? 1 : 0;
    }
    EXPECT_GT(seen.size(), 95u);
    EXPECT_NEAR(below, 500, 60);
    EXPECT_NEAR(sameNextRelease, 500, 60) << "the first half of one release is not the next's";
}

TEST(Rollout, AShareOfZeroReachesNobodyAndAHundredEveryone) {
    for (int bucket = 0; bucket < 100; ++bucket) {
        EXPECT_FALSE(inRollout(bucket, 0));
        EXPECT_TRUE(inRollout(bucket, 100));
        EXPECT_EQ(inRollout(bucket, 50), bucket < 50);
    }
}

}  // namespace
}  // namespace selvanix::test
