// Channels that become live: Rerun turning a loaded chart's static channels back into counters, and
// CopyChannel from a dynamic source, which carries the source's values onto the target's time base
// and binds the counter there. Time comes from manual clocks, so every date is exact.

#include "ChannelProbes.h"

#include "objlib/ZynApp.h"
#include "objlib/ZynChart.h"

#include "com/ccombstr.h"
#include "testing/ComChecks.h"
#include "testing/ManualClock.h"

#include <string>
#include <vector>

namespace {

using zyn::test::LeakCheckedTest;
using zyn::test::ManualClock;

using LiveChannelTest = LeakCheckedTest;

constexpr double kMs = CZynTimeBase::kDaysPerMs;
constexpr double kStart = 45000.5; // 15 March 2023, 12:00
const char16_t* const kProcesses = u"\\System\\Processes";
const char16_t* const kThreads = u"\\System\\Threads";

std::u16string Text(IZynChannel* channel, HRESULT (IZynChannel::*get)(BSTR*)) {
    CComBSTR s;
    EXPECT_EQ((channel->*get)(&s), S_OK);
    return std::u16string(s.View());
}

CComPtr<CZynChart> AddChart(CZynApp* app, ManualClock& clock, double start) {
    CComPtr<IZynChart> added;
    EXPECT_EQ(app->AddChart(&added), S_OK);
    CComPtr<CZynChart> chart(static_cast<CZynChart*>(added.p));
    chart->int_SetClock(clock);
    EXPECT_EQ(chart->put_StartTime(CComVariant::Date(start)), S_OK);
    return chart;
}

CComPtr<IZynChannel> AddCounter(IZynChart* chart, const char16_t* path) {
    CComPtr<IZynChannel> channel;
    EXPECT_EQ(chart->AddChannel(CComBSTR(path), &channel), S_OK);
    EXPECT_EQ(TypeOf(channel), typeDynamic);
    return channel;
}

// Manual samples of `chart`, `stepMs` apart on `clock`.
void SampleTimes(IZynChart* chart, ManualClock& clock, int count, std::uint64_t stepMs) {
    ASSERT_EQ(chart->Sample(), S_OK);
    for (int i = 1; i < count; ++i) {
        ASSERT_TRUE(clock.Advance(stepMs));
        ASSERT_EQ(chart->Sample(), S_OK);
    }
}

std::vector<CComPtr<CZynChannel>> ChannelsOf(CZynChart* chart) {
    return chart->int_Channels();
}

LONG Running(IZynChart* chart) {
    LONG run = -1;
    chart->get_Run(&run);
    return run;
}

// What a channel shows, as Rerun must carry it over.
struct Display {
    std::u16string name, comment, units;
    OLE_COLOR color = 0;
    LONG width = 0, visible = 0;
    double scaleMin = 0, scaleMax = 0;
    bool operator==(const Display&) const = default;
};

Display DisplayOf(IZynChannel* c) {
    Display d;
    d.name = Text(c, &IZynChannel::get_Name);
    d.comment = Text(c, &IZynChannel::get_Comment);
    d.units = Text(c, &IZynChannel::get_Units);
    c->get_Color(&d.color);
    c->get_Width(&d.width);
    c->get_Visible(&d.visible);
    c->get_ScaleMin(&d.scaleMin);
    c->get_ScaleMax(&d.scaleMax);
    return d;
}

void SetDisplay(IZynChannel* c, const Display& d) {
    c->put_Name(CComBSTR(d.name.c_str()));
    c->put_Comment(CComBSTR(d.comment.c_str()));
    c->put_Units(CComBSTR(d.units.c_str()));
    c->put_Color(d.color);
    c->put_Width(d.width);
    c->put_Visible(d.visible);
    c->put_ScaleMin(d.scaleMin);
    c->put_ScaleMax(d.scaleMax);
}

// A chart as a chart file gives it back: two counters with display settings of their own, a channel
// of imported values and a channel whose path names no counter, recorded and loaded again (every
// channel static).
CComPtr<CZynChart> LoadedRecording(CZynApp* app, ManualClock& clock) {
    CComPtr<CZynChart> recorded = AddChart(app, clock, kStart);
    CComPtr<IZynChannel> imported;
    recorded->AddStaticChannel(&imported);
    imported->put_Name(CComBSTR(u"Imported"));
    LONG n = 0;
    imported->AddValueRelTime(7.0, 50, &n);
    SetDisplay(AddCounter(recorded, kProcesses),
               {u"Processes", u"all of them", u"tasks", 0x0000FF, 3, 0, 500.0, 1000.0});
    SetDisplay(AddCounter(recorded, kThreads), {u"Threads", u"", u"", 0x00FF00, 0, 1, -5.0, 5.0});
    CComPtr<IZynChannel> nothing;
    recorded->AddChannel(CComBSTR(u"\\No Such Object\\Nothing"), &nothing);
    SampleTimes(recorded, clock, 3, 100);

    CComVariant saved;
    EXPECT_EQ(recorded->SaveChart(&saved), S_OK);
    recorded->Detach();
    CComPtr<IZynChart> loaded;
    EXPECT_EQ(app->LoadChart(saved, &loaded), S_OK);
    CComPtr<CZynChart> chart(static_cast<CZynChart*>(loaded.p));
    chart->int_SetClock(clock);
    return chart;
}

TEST_F(LiveChannelTest, RerunReplacesEachCounterChannelWithALiveOneShowingTheSame) {
    ManualClock clock;
    auto app = zyn::com::MakeObject<CZynApp>();
    CComPtr<CZynChart> chart = LoadedRecording(app, clock);
    const auto before = ChannelsOf(chart);
    ASSERT_EQ(before.size(), 4u);
    for (CZynChannel* c : before)
        ASSERT_EQ(TypeOf(c), typeStatic);
    std::vector<Display> shown;
    for (CZynChannel* c : before)
        shown.push_back(DisplayOf(c));

    ASSERT_EQ(chart->Rerun(), S_OK);
    EXPECT_EQ(Running(chart), 1);
    // The channels without a counter stay as they were, the counters' channels follow in their order.
    const auto after = ChannelsOf(chart);
    ASSERT_EQ(after.size(), 4u);
    EXPECT_EQ(after[0].p, before[0].p);
    EXPECT_EQ(after[1].p, before[3].p);
    EXPECT_EQ(Values(after[0]), (std::vector<double>{7.0})) << "imported values survive";
    for (int i : {1, 2}) {
        CZynChannel* fresh = after[std::size_t(i) + 1];
        SCOPED_TRACE(i);
        EXPECT_EQ(TypeOf(fresh), typeDynamic);
        EXPECT_EQ(Text(fresh, &IZynChannel::get_CounterPath),
                  Text(before[std::size_t(i)], &IZynChannel::get_CounterPath));
        EXPECT_EQ(DisplayOf(fresh), shown[std::size_t(i)]);
        EXPECT_EQ(Count(fresh), 0);
        // The replaced channel is out of the chart, static, with its recording.
        CComPtr<IZynChart> owner;
        before[std::size_t(i)]->get_Chart(&owner);
        EXPECT_EQ(owner.p, nullptr);
        EXPECT_EQ(TypeOf(before[std::size_t(i)]), typeStatic);
        EXPECT_EQ(Count(before[std::size_t(i)]), 3);
    }

    // Live: the restarted thread samples the new channels on a cleared time axis.
    ASSERT_TRUE(clock.AwaitWaiters(1));
    ASSERT_TRUE(clock.Advance(20, 1));
    EXPECT_EQ(Rels(chart), (std::vector<std::uint32_t>{0}));
    EXPECT_EQ(Count(after[2]), 1);
    EXPECT_EQ(Count(after[3]), 1);
    chart->put_Run(0);
    chart->Detach();
}

// The target has sampled at 50, 150 and 250 ms; the source at 0, 100 and 200 ms. The copy takes, for
// each of the target's times, the source's first value at or after it (the last one past its end).
TEST_F(LiveChannelTest, CopyingADynamicChannelPutsItsValuesOnTheLiveTimeBase) {
    ManualClock clock;
    auto app = zyn::com::MakeObject<CZynApp>();
    CComPtr<CZynChart> from = AddChart(app, clock, kStart);
    CComPtr<CZynChart> to = AddChart(app, clock, kStart + 50 * kMs);
    CComPtr<IZynChannel> source = AddCounter(from, kProcesses);
    CComPtr<IZynChannel> own;
    to->AddStaticChannel(&own); // the target has a channel already: it is not started
    SampleTimes(from, clock, 3, 100);
    SampleTimes(to, clock, 3, 100);
    const std::vector<double> sourceValues = Values(source);
    ASSERT_EQ(sourceValues.size(), 3u);

    LONG ok = 0;
    ASSERT_EQ(to->CopyChannel(CComBSTR(u"Chart-1"), CComBSTR(u"Channel-1"), &ok), S_OK);
    EXPECT_EQ(ok, 1);
    ASSERT_EQ(ChannelsOf(to).size(), 2u);
    CZynChannel* copy = ChannelsOf(to)[1];
    EXPECT_EQ(TypeOf(copy), typeDynamic);
    EXPECT_EQ(Text(copy, &IZynChannel::get_CounterPath), kProcesses);
    EXPECT_EQ(Values(copy), (std::vector<double>{sourceValues[1], sourceValues[2], sourceValues[2]}));
    EXPECT_THAT(Times(copy), DatesAre({kStart + 50 * kMs, kStart + 150 * kMs, kStart + 250 * kMs}));
    EXPECT_EQ(Running(to), 0);

    // The counter is bound: the target's next sample adds the copy's next value at that sample's time.
    ASSERT_TRUE(clock.Advance(100));
    ASSERT_EQ(to->Sample(), S_OK);
    EXPECT_EQ(Count(copy), 4);
    EXPECT_NEAR(Times(copy).back(), kStart + 350 * kMs, 1e-10);
    EXPECT_EQ(Count(source), 3) << "the source is left alone";
    from->Detach();
    to->Detach();
}

// A source that joined its chart late (its values start at the chart's second entry) copied to a
// target that sampled before the source's first value: the copy starts at the target's first time
// at or after the source's first value.
TEST_F(LiveChannelTest, ACopyStartsAtTheTargetsFirstTimeWithinTheSource) {
    ManualClock clock;
    auto app = zyn::com::MakeObject<CZynApp>();
    CComPtr<CZynChart> from = AddChart(app, clock, kStart);
    CComPtr<CZynChart> to = AddChart(app, clock, kStart);
    CComPtr<IZynChannel> own;
    to->AddStaticChannel(&own);
    ASSERT_EQ(from->Sample(), S_OK); // 0 ms, before the channel exists
    ASSERT_TRUE(clock.Advance(150));
    CComPtr<IZynChannel> source = AddCounter(from, kProcesses);
    ASSERT_EQ(from->Sample(), S_OK); // 150 ms
    ASSERT_TRUE(clock.Advance(100));
    ASSERT_EQ(from->Sample(), S_OK); // 250 ms
    ASSERT_THAT(Times(source), DatesAre({kStart + 150 * kMs, kStart + 250 * kMs}));
    const std::vector<double> sourceValues = Values(source);
    SampleTimes(to, clock, 4, 100); // 0, 100, 200, 300 ms

    LONG ok = 0;
    ASSERT_EQ(to->CopyChannel(CComBSTR(u"Chart-1"), CComBSTR(u"Channel-1"), &ok), S_OK);
    CZynChannel* copy = ChannelsOf(to).back();
    EXPECT_THAT(Times(copy), DatesAre({kStart + 200 * kMs, kStart + 300 * kMs}));
    EXPECT_EQ(Values(copy), (std::vector<double>{sourceValues[1], sourceValues[1]}));
    ASSERT_TRUE(clock.Advance(100));
    ASSERT_EQ(to->Sample(), S_OK);
    EXPECT_NEAR(Times(copy).back(), kStart + 400 * kMs, 1e-10);
    from->Detach();
    to->Detach();
}

// Copied into an empty chart, the live channel is the chart's only one: the chart starts.
TEST_F(LiveChannelTest, ALiveCopyThatIsTheOnlyChannelStartsTheChart) {
    ManualClock clock;
    auto app = zyn::com::MakeObject<CZynApp>();
    CComPtr<CZynChart> from = AddChart(app, clock, kStart);
    CComPtr<IZynChart> added;
    ASSERT_EQ(app->AddChart(&added), S_OK);
    CComPtr<CZynChart> to(static_cast<CZynChart*>(added.p));
    to->int_SetClock(clock);
    AddCounter(from, kThreads);
    SampleTimes(from, clock, 2, 100);

    LONG ok = 0;
    ASSERT_EQ(to->CopyChannel(CComBSTR(u"Chart-1"), CComBSTR(u"Channel-1"), &ok), S_OK);
    EXPECT_EQ(ok, 1);
    ASSERT_EQ(Running(to), 1);
    EXPECT_GT(Date(&IZynChart::get_StartTime, to), 45000.0) << "a chart without a start gets one";
    CZynChannel* copy = ChannelsOf(to)[0];
    EXPECT_EQ(TypeOf(copy), typeDynamic);
    EXPECT_EQ(Count(copy), 0) << "an empty time base takes no values";
    ASSERT_TRUE(clock.AwaitWaiters(1));
    ASSERT_TRUE(clock.Advance(20, 1));
    EXPECT_EQ(Count(copy), 1);
    EXPECT_THAT(Times(copy), DatesAre({Date(&IZynChart::get_LastSampleTime, to)}));
    to->put_Run(0);
    from->Detach();
    to->Detach();
}

} // namespace
