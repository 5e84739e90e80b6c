#include "objlib/ZynGrowArray.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

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

// Runs of appends grow by the rule of single appends (or to what a run needs), so that a writer
// appending in runs neither reallocates per run nor holds more than single appends would.
TEST(GrowArray, RunsOfAppendsKeepEveryValueAndGrowByTheSameRule) {
    CZynGrowArray<std::uint32_t> a;
    std::vector<std::uint32_t> run(4096);
    std::uint32_t next = 0, grown = 0, capacity = 0;
    while (next < 200000) {
        for (std::uint32_t& v : run)
            v = next++;
        ASSERT_TRUE(a.AppendMany(run.data(), std::uint32_t(run.size())));
        if (a.Capacity() != capacity) {
            ++grown;
            const std::uint32_t rule = CZynGrowArray<std::uint32_t>::NextCapacity(capacity, capacity);
            EXPECT_EQ(a.Capacity(), std::max(rule, a.Count()));
            capacity = a.Capacity();
        }
    }
    EXPECT_EQ(a.Count(), next);
    for (std::uint32_t i = 0; i < next; i += 991)
        ASSERT_EQ(a[i], i);
    EXPECT_LT(grown, 20u) << "grows geometrically, not per run";

    // A run beyond the largest count is refused and changes nothing.
    EXPECT_FALSE(a.ReserveForAppends(0x7FFFFFFFu));
    EXPECT_EQ(a.Count(), next);
    EXPECT_TRUE(a.AppendMany(nullptr, 0));
}
