#include "monitor/rate_history.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(RateHistory, PushingBeforeTheFirstResetIsAnError) {
    CRateHistory history;
    EXPECT_THROW(history.Push(1.0), std::logic_error);
    EXPECT_TRUE(history.IsEmpty());
}

TEST(RateHistory, KeepsTheLastHundredNewestFirst) {
    CRateHistory history;
    history.Reset();
    EXPECT_EQ(history.capacity(), 100);
    EXPECT_TRUE(history.IsEmpty());
    EXPECT_FALSE(history.IsFull());

    for (int i = 1; i <= 3; ++i) history.Push(i);
    EXPECT_EQ(history.Newest(0), 3.0);
    EXPECT_EQ(history.Newest(2), 1.0);
    EXPECT_EQ(history.Newest(3), 0.0) << "an empty slot";
    EXPECT_FALSE(history.IsEmpty());
    EXPECT_FALSE(history.IsFull());

    // 250 samples: the ring wrapped twice and holds 151..250.
    for (int i = 4; i <= 250; ++i) history.Push(i);
    EXPECT_TRUE(history.IsFull());
    EXPECT_EQ(history.Newest(0), 250.0);
    EXPECT_EQ(history.Newest(99), 151.0);
    EXPECT_EQ(history.Newest(100), 0.0) << "past the capacity";

    history.Reset();
    EXPECT_TRUE(history.IsEmpty());
    EXPECT_EQ(history.Newest(0), 0.0);
}

}  // namespace
