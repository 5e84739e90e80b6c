#include "objlib/ZynGrowArray.h"

#include <gtest/gtest.h>

TEST(GrowArray, GrowsByHalfBelowTheLinearThresholdAndByRoundedHalfAbove) {
    EXPECT_EQ(CZynGrowArray<double>::NextCapacity(0, 0), 1u);
    EXPECT_EQ(CZynGrowArray<double>::NextCapacity(1, 1), 2u);
    EXPECT_EQ(CZynGrowArray<double>::NextCapacity(100, 100), 150u);
    EXPECT_EQ(CZynGrowArray<double>::NextCapacity(8191, 8191), 8191u + 4095u);
    EXPECT_EQ(CZynGrowArray<double>::NextCapacity(8192, 8192), 8192u + 4096u);
    // Half of 10000 is 5000, rounded down to a multiple of 32: 4992.
    EXPECT_EQ(CZynGrowArray<double>::NextCapacity(10000, 10000), 14992u);
    EXPECT_EQ(CZynGrowArray<double>::NextCapacity(0x7FFFFFF0, 0x7FFFFFF0), 0x7FFFFFFFu);
}

TEST(GrowArray, AppendKeepsEveryValueAndCapacityFollowsTheRule) {
    CZynGrowArray<std::uint32_t> a;
    std::uint32_t capacity = 0;
    for (std::uint32_t i = 0; i < 100000; ++i) {
        if (a.Count() == a.Capacity())
            capacity = CZynGrowArray<std::uint32_t>::NextCapacity(a.Count(), capacity);
        ASSERT_TRUE(a.Append(i));
        ASSERT_EQ(a.Capacity(), capacity);
    }
    for (std::uint32_t i = 0; i < 100000; i += 997)
        ASSERT_EQ(a[i], i);

    CZynGrowArray<std::uint32_t> b;
    ASSERT_TRUE(b.CopyFrom(a));
    EXPECT_EQ(b.Count(), a.Count());
    EXPECT_EQ(b[99999], 99999u);
    b.RemoveAll();
    EXPECT_EQ(b.Count(), 0u);
    EXPECT_EQ(b.AllocatedBytes(), 0u);
}
