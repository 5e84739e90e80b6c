// The figures of event windows: read through the block summary they must equal a plain walk of
// every sample, ties included (the first sample reaching an extreme keeps it), for windows that
// start and end inside, on and across block edges.

#include "ReportTestChart.h"
#include "document/AppContext.h"
#include "report/EventStatistics.h"

#include <gtest/gtest.h>

#include <random>

using namespace reporttest;

namespace {

constexpr LONG B = CValueSummary::kBlock;

class EventStatisticsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Chart c;
        const int n = 3 * B + 123;
        c.times = Seconds(n);
        Channel ch;
        ch.name = u"Noise";
        std::mt19937 rng(7);
        // Few distinct values, so that extremes repeat within and across blocks.
        for (int i = 0; i < n; ++i)
            ch.values.push_back(double(int(rng() % 9)) - 4.0);
        values = ch.values;
        c.channels.push_back(ch);
        chart = LoadChart(ctx.App(), c);
        ASSERT_TRUE(chart);
        CComPtr<IZynChannelIter> it;
        chart->get_Channels(&it);
        it->GetNext(&channel);
        ASSERT_TRUE(channel);
    }

    SampleWindowStats Plain(LONG first, LONG last) const {
        SampleWindowStats s;
        s.first = first;
        s.last = last;
        s.firstValue = s.min = s.max = values[std::size_t(first)];
        s.indexMin = s.indexMax = first;
        for (LONG i = first; i <= last; ++i) {
            const double v = values[std::size_t(i)];
            s.sum += v;
            if (v < s.min) s.min = v, s.indexMin = i;
            if (v > s.max) s.max = v, s.indexMax = i;
        }
        s.lastValue = values[std::size_t(last)];
        return s;
    }

    CAppContext ctx;
    CComPtr<IZynChart> chart;
    CComPtr<IZynChannel> channel;
    std::vector<double> values;
};

void ExpectSame(const SampleWindowStats& a, const SampleWindowStats& b) {
    EXPECT_EQ(a.first, b.first);
    EXPECT_EQ(a.last, b.last);
    EXPECT_EQ(a.firstValue, b.firstValue);
    EXPECT_EQ(a.lastValue, b.lastValue);
    EXPECT_EQ(a.min, b.min);
    EXPECT_EQ(a.indexMin, b.indexMin);
    EXPECT_EQ(a.max, b.max);
    EXPECT_EQ(a.indexMax, b.indexMax);
    EXPECT_EQ(a.sum, b.sum);
    EXPECT_EQ(a.Count(), b.Count());
}

} // namespace

TEST_F(EventStatisticsTest, SummaryAnswersEqualAWalkOfEverySample) {
    const CChannelValues reader(channel);
    CValueSummary summary;
    ASSERT_EQ(summary.Build(reader, LONG(values.size())), S_OK);
    EXPECT_EQ(summary.Covered(), 3 * B);
    const LONG n = LONG(values.size());
    const std::pair<LONG, LONG> windows[] = {
        {0, n - 1},         {0, B - 1},         {B, 2 * B - 1},
        {B, 2 * B},         {B - 1, 2 * B},     {5, 3 * B + 7},
        {B + 1, 3 * B - 2}, {3 * B, n - 1},     {2 * B - 3, 2 * B + 3},
        {17, 18},           {2 * B - 1, 3 * B}, {0, 2 * B - 1},
    };
    for (const auto& [first, last] : windows) {
        SCOPED_TRACE(std::to_string(first) + ".." + std::to_string(last));
        SampleWindowStats viaSummary, walked;
        ASSERT_EQ(summary.Window(reader, {first, last}, viaSummary), S_OK);
        ASSERT_EQ(WalkSamples(reader, {first, last}, walked), S_OK);
        ExpectSame(viaSummary, Plain(first, last));
        ExpectSame(walked, Plain(first, last));
    }
}

TEST_F(EventStatisticsTest, OverlappingEventsReadTheChannelOnceAndAgreeWithAWalk) {
    CEventStatistics stats;
    const LONG n = LONG(values.size());
    const SampleWindow a{10, n - 10}, b{B / 2, n - 1};
    stats.Plan(channel, a);
    stats.Plan(channel, b);
    SampleWindowStats sa, sb;
    ASSERT_EQ(stats.Stats(channel, a, sa), S_OK);
    ASSERT_EQ(stats.Stats(channel, b, sb), S_OK);
    ExpectSame(sa, Plain(a.first, a.last));
    ExpectSame(sb, Plain(b.first, b.last));
    // A window past the values is refused, not read beyond them.
    SampleWindowStats bad;
    EXPECT_TRUE(FAILED(WalkSamples(CChannelValues(channel), {n - 2, n}, bad)));
}

TEST_F(EventStatisticsTest, WindowsOfAnEventEndAtTheLastSample) {
    CComPtr<IZynDataSet> data;
    channel->get_Data(&data);
    SampleWindow w;
    ASSERT_EQ(EventWindow(data, kStart + 2.5 * kSecond, kStart + 1e6 * kSecond, w), S_OK);
    EXPECT_EQ(w.first, 3);
    EXPECT_EQ(w.last, LONG(values.size()) - 1);
    ASSERT_EQ(EventWindow(data, kStart - 10 * kSecond, kStart + 2 * kSecond, w), S_OK);
    EXPECT_EQ(w.first, 0);
    EXPECT_EQ(w.last, 2);
}

// A summary kept from one build to the next must follow the channel: appended samples join it,
// an edit to a sample it covers or a clear makes it start again, never answer with old values.
TEST_F(EventStatisticsTest, SummariesKeptAcrossBuildsFollowAppendsEditsAndClears) {
    CEventStatistics stats;
    auto build = [&](const SampleWindow& w) {
        stats.BeginBuild();
        stats.Plan(channel, w);
        stats.Plan(channel, w); // twice the window: summarising is the cheaper read
        SampleWindowStats s;
        EXPECT_EQ(stats.Stats(channel, w, s), S_OK);
        stats.EndBuild();
        return s;
    };
    LONG n = LONG(values.size());
    ExpectSame(build({0, n - 1}), Plain(0, n - 1));

    // Enough appended samples to complete a block the summary did not cover.
    for (int i = 0; i < B; ++i) {
        const double v = (i == B / 2) ? 100.0 : double(i % 5);
        LONG count = 0;
        ASSERT_EQ(channel->AddValueRelTime(v, (n + i) * 1000, &count), S_OK);
        values.push_back(v);
    }
    n = LONG(values.size());
    ExpectSame(build({0, n - 1}), Plain(0, n - 1));

    // An edit inside a block the summary already covers.
    CComPtr<IZynDataSet> data;
    ASSERT_EQ(channel->get_Data(&data), S_OK);
    ASSERT_EQ(data->SetValueAt(B + 3, -50.0), S_OK);
    values[std::size_t(B + 3)] = -50.0;
    ExpectSame(build({0, n - 1}), Plain(0, n - 1));
    ExpectSame(build({B, 2 * B + 5}), Plain(B, 2 * B + 5));

    // Cleared and filled again with as many samples, all different from before.
    ASSERT_EQ(channel->Clear(), S_OK);
    for (LONG i = 0; i < n; ++i) {
        LONG count = 0;
        values[std::size_t(i)] = 1000.0 - double(i % 97);
        ASSERT_EQ(channel->AddValueRelTime(values[std::size_t(i)], i * 1000, &count), S_OK);
    }
    ExpectSame(build({0, n - 1}), Plain(0, n - 1));
}
