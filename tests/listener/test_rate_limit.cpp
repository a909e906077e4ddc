#include "listener/rate_limit.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;
const RateLimit::Clock::time_point start{};

TEST(RateLimit, ABurstIsTakenThenRefusedUntilTheBucketRefills) {
    RateLimit limit(2, 3); // two a second, three at once
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(limit.allow("crm", start)) << i;
    }
    EXPECT_FALSE(limit.allow("crm", start));
    EXPECT_EQ(limit.seconds_until_allowed("crm", start), 1);
    EXPECT_FALSE(limit.allow("crm", start + 499ms));
    EXPECT_TRUE(limit.allow("crm", start + 500ms));
    // A long quiet spell refills no more than the burst.
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(limit.allow("crm", start + 1h)) << i;
    }
    EXPECT_FALSE(limit.allow("crm", start + 1h));
}

TEST(RateLimit, EachTokenHasItsOwnBucket) {
    RateLimit limit(1, 1);
    EXPECT_TRUE(limit.allow("a", start));
    EXPECT_FALSE(limit.allow("a", start));
    EXPECT_TRUE(limit.allow("b", start));
}

TEST(RateLimit, RetryAfterRoundsUpToWholeSeconds) {
    RateLimit limit(0.25, 1); // one every four seconds
    EXPECT_TRUE(limit.allow("crm", start));
    EXPECT_EQ(limit.seconds_until_allowed("crm", start), 4);
    EXPECT_EQ(limit.seconds_until_allowed("crm", start + 3500ms), 1);
    EXPECT_EQ(limit.seconds_until_allowed("crm", start + 4s), 0);
}

TEST(RateLimit, ATimeThatGoesBackRefillsNothing) {
    RateLimit limit(1, 1);
    EXPECT_TRUE(limit.allow("crm", start + 10s));
    EXPECT_FALSE(limit.allow("crm", start + 5s));
    EXPECT_FALSE(limit.allow("crm", start + 10s));
}

TEST(RateLimit, RateZeroRefusesNothing) {
    RateLimit limit(0, 0);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(limit.allow("crm", start));
    }
    EXPECT_EQ(limit.seconds_until_allowed("crm", start), 0);
}

} // namespace
