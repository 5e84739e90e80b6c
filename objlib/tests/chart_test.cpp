// The chart and sampling engine, the application object and the object factory.

#include "ChannelProbes.h"

#include "objlib/ZynApp.h"
#include "objlib/ZynChart.h"
#include "objlib/ZynObjFactory.h"

#include "com/ccombstr.h"
#include "sync/event.h"
#include "sync/handle.h"
#include "testing/ComChecks.h"
#include "testing/ManualClock.h"

#include <chrono>
#include <thread>

namespace {

using zyn::test::LeakCheckedTest;
using zyn::test::ManualClock;
using zyn::test::TakeError;

using ChartTest = LeakCheckedTest;

// A chart whose period and relative times come from `clock`.
CComPtr<CZynChart> ChartOn(ManualClock& clock) {
    auto chart = CZynChart::Create();
    chart->int_SetClock(clock);
    return chart;
}

// Starts `chart` and takes it through the thread's first pause to its first sample: afterwards the
// thread waits for the end of its first period.
void RunToFirstSample(CZynChart* chart, ManualClock& clock) {
    ASSERT_EQ(chart->put_Run(1), S_OK);
    ASSERT_TRUE(clock.AwaitWaiters(1)) << "the thread's first pause";
    ASSERT_TRUE(clock.Advance(20, 1)) << "the first sample and the wait after it";
}

TEST_F(ChartTest, RateIsClampedAndDefaultsAreAsDocumented) {
    auto chart = CZynChart::Create();
    LONG rate = 0;
    chart->get_Rate(&rate);
    EXPECT_EQ(rate, 1000);
    chart->put_Rate(50);
    chart->get_Rate(&rate);
    EXPECT_EQ(rate, 200);
    chart->put_Rate(100000000);
    chart->get_Rate(&rate);
    EXPECT_EQ(rate, 86400000);
    CComBSTR name, id;
    chart->get_Name(&name);
    chart->get_Identifier(&id);
    EXPECT_EQ(name, u"Chart");
    EXPECT_EQ(id.Length(), 38u);
    EXPECT_EQ(Date(&IZynChart::get_StartTime, chart), 0.0);
}

TEST_F(ChartTest, ManualSamplesShareOneTimeEntryAndLeaveGapsAfterAPause) {
    ManualClock clock;
    auto chart = ChartOn(clock);
    CComPtr<IZynChannel> a, b;
    CComBSTR path(u"\\Processor(_Total)\\% Processor Time"), path2(u"\\Memory\\Available MBytes");
    ASSERT_EQ(chart->AddChannel(path, &a), S_OK);
    ASSERT_EQ(chart->AddChannel(path2, &b), S_OK);
    EXPECT_EQ(TypeOf(a), typeDynamic);
    ASSERT_EQ(chart->Sample(), S_OK); // the timer starts on its first reading
    ASSERT_TRUE(clock.Advance(150));
    ASSERT_EQ(chart->Sample(), S_OK);
    ASSERT_TRUE(clock.Advance(60000)); // a pause: the timer runs on
    ASSERT_EQ(chart->Sample(), S_OK);
    EXPECT_EQ(Rels(chart), (std::vector<std::uint32_t>{0, 150, 60150}));
    EXPECT_EQ(Count(a), 3);
    EXPECT_EQ(Count(b), 3);
    const double start = Date(&IZynChart::get_StartTime, chart);
    EXPECT_GT(start, 45000.0);
    const double ms = CZynTimeBase::kDaysPerMs;
    EXPECT_THAT(Times(a), DatesAre({start, start + 150 * ms, start + 60150 * ms}));
    EXPECT_EQ(Times(b), Times(a));
    EXPECT_GT(Values(b)[1], 0.0);
    EXPECT_TRUE(clock.Waits().empty()) << "a sample on the caller's thread waits on no clock";
}

TEST_F(ChartTest, AnInvalidPathGivesADynamicChannelThatNeverGetsValues) {
    auto chart = CZynChart::Create();
    CComPtr<IZynChannel> c;
    CComBSTR path(u"\\No Such Object\\Nothing");
    ASSERT_EQ(chart->AddChannel(path, &c), S_OK);
    ASSERT_TRUE(c);
    ZynChannelType type{};
    c->get_ChannelType(&type);
    EXPECT_EQ(type, typeDynamic);
    CComBSTR counter;
    c->get_Counter(&counter);
    EXPECT_EQ(counter, path.View());
    chart->Sample();
    chart->Sample();
    EXPECT_EQ(Count(c), 0);
}

TEST_F(ChartTest, RunningSamplesAtTheRateAndRefusesManualSamples) {
    ManualClock clock;
    auto chart = ChartOn(clock);
    CComPtr<IZynChannel> c;
    CComBSTR path(u"\\System\\Processes");
    chart->AddChannel(path, &c);
    chart->put_Rate(200);
    ASSERT_EQ(chart->put_Run(1), S_OK);
    LONG running = 0;
    chart->get_Run(&running);
    EXPECT_EQ(running, 1);
    EXPECT_EQ(chart->Sample(), S_FALSE);
    ASSERT_TRUE(clock.AwaitWaiters(1));
    EXPECT_EQ(Count(c), 0) << "nothing before the thread's first pause ends";
    ASSERT_TRUE(clock.Advance(20, 1));
    // The first sample is at relative time 0, dated at the start that Run set, although the
    // thread took it 20 ms later.
    EXPECT_EQ(Rels(chart), (std::vector<std::uint32_t>{0}));
    EXPECT_EQ(Date(&IZynChart::get_LastSampleTime, chart), Date(&IZynChart::get_StartTime, chart));
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(clock.Advance(200, 1));
    EXPECT_EQ(Rels(chart), (std::vector<std::uint32_t>{0, 200, 400, 600, 800}));
    EXPECT_EQ(Count(c), 5);

    // A new rate applies from the wait after the one in progress.
    chart->put_Rate(500);
    ASSERT_TRUE(clock.Advance(200, 1));
    ASSERT_TRUE(clock.Advance(499, 1));
    EXPECT_EQ(Count(c), 6);
    ASSERT_TRUE(clock.Advance(1, 1));
    EXPECT_EQ(Rels(chart), (std::vector<std::uint32_t>{0, 200, 400, 600, 800, 1000, 1500}));
    EXPECT_EQ(clock.Waits(), (std::vector<DWORD>{20, 200, 200, 200, 200, 200, 500, 500}));

    chart->put_Run(0);
    ASSERT_TRUE(clock.Advance(10000));
    EXPECT_EQ(Count(c), 7); // stopped means stopped
    EXPECT_EQ(clock.Waits().size(), 8u) << "a stopped chart waits no more";
}

// The relative axis holds 32-bit milliseconds: a chart that has run for 49.7 days stops rather
// than store samples under times that wrapped onto earlier ones.
TEST_F(ChartTest, ARunningChartStopsBeforeItsRelativeTimesWrap) {
    constexpr LONG kDay = 86400000;
    ManualClock clock;
    auto chart = ChartOn(clock);
    chart->put_Rate(kDay);
    RunToFirstSample(chart, clock);
    for (int day = 1; day <= 49; ++day)
        ASSERT_TRUE(clock.Advance(kDay, 1)) << day;
    ASSERT_EQ(chart->int_TimeBase()->GetCount(), 50u);
    EXPECT_EQ(Rels(chart).back(), 49u * kDay);
    ASSERT_TRUE(clock.Advance(kDay)); // day 50 lies beyond 2^32 ms
    chart->put_Run(0);                // joins the thread, whatever it did
    EXPECT_EQ(chart->int_TimeBase()->GetCount(), 50u);
    EXPECT_EQ(clock.Waits().size(), 51u) << "the thread ended instead of waiting again";
}

TEST_F(ChartTest, StoppingEndsEveryEventAtOneTime) {
    auto chart = CZynChart::Create();
    CComPtr<IZynEvent> e1, e2;
    CComBSTR n1(u"one"), n2(u"two");
    chart->put_Rate(200);
    chart->put_Run(1);
    chart->AddEvent(n1, &e1);
    chart->AddEvent(n2, &e2);
    chart->put_Run(0);
    CComVariant s1, s2;
    e1->get_StopTime(&s1);
    e2->get_StopTime(&s2);
    EXPECT_NE(s1.date, 0.0);
    EXPECT_NEAR(s1.date, s2.date, 2e-8); // within a couple of milliseconds
    LONG changed = 0;
    chart->GetChangedProperty(&changed);
    EXPECT_TRUE(changed & CZynChart::kEventStopped);
    EXPECT_TRUE(changed & CZynChart::kEventAdded);
}

TEST_F(ChartTest, DetachEventMatchesIdentifiersNotNames) {
    auto chart = CZynChart::Create();
    CComPtr<IZynEvent> e;
    CComBSTR name(u"marker");
    chart->AddEvent(name, &e);
    LONG found = -1;
    chart->DetachEvent(name, &found);
    EXPECT_EQ(found, 0);
    CComBSTR id;
    e->get_Identifier(&id);
    chart->DetachEvent(id, &found);
    EXPECT_EQ(found, 1);
    CComPtr<IZynEventIter> it;
    chart->get_Events(&it);
    LONG count = -1;
    it->get_Count(&count);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(e->Stop(), S_OK); // a detached event no longer reaches the chart
}

TEST_F(ChartTest, ClearOnARunningChartRestartsWithANewStartAndKeepsStaticData) {
    ManualClock clock;
    auto chart = ChartOn(clock);
    CComPtr<IZynChannel> dynamic, stat;
    CComBSTR path(u"\\System\\Threads");
    chart->AddChannel(path, &dynamic);
    chart->AddStaticChannel(&stat);
    LONG n = 0;
    stat->AddValueRelTime(5.0, 100, &n);
    ASSERT_EQ(chart->put_StartTime(CComVariant::Date(45000.0)), S_OK);
    chart->put_Rate(200);
    RunToFirstSample(chart, clock);
    ASSERT_TRUE(clock.Advance(200, 1));
    ASSERT_EQ(Count(dynamic), 2);
    CComPtr<IZynEvent> e;
    CComBSTR name(u"cleared away");
    chart->AddEvent(name, &e);

    ASSERT_EQ(chart->Clear(), S_OK);
    LONG running = 0;
    chart->get_Run(&running);
    EXPECT_EQ(running, 1);
    EXPECT_GT(Date(&IZynChart::get_StartTime, chart), 45000.0) << "restarting set a new start";
    EXPECT_EQ(Count(dynamic), 0);
    EXPECT_EQ(Count(stat), 1);
    CComPtr<IZynEventIter> it;
    chart->get_Events(&it);
    LONG count = -1;
    it->get_Count(&count);
    EXPECT_EQ(count, 0);

    // The relative timer starts again with the restarted thread's first sample.
    ASSERT_TRUE(clock.AwaitWaiters(1));
    ASSERT_TRUE(clock.Advance(20, 1));
    EXPECT_EQ(Rels(chart), (std::vector<std::uint32_t>{0}));
    EXPECT_EQ(Count(dynamic), 1);
    EXPECT_EQ(Date(&IZynChart::get_LastSampleTime, chart), Date(&IZynChart::get_StartTime, chart));
    chart->put_Run(0);
}

// A client holding the whole tree through LockObject and stopping the chart must not wait for a
// sample that needs that lock.
TEST_F(ChartTest, StoppingWhileHoldingTheTreeLockDoesNotWaitForTheSample) {
    ManualClock clock;
    auto chart = ChartOn(clock);
    chart->put_Rate(200);
    RunToFirstSample(chart, clock);
    CComPtr<IZynObjLock> lock;
    ASSERT_EQ(chart->LockObject(&lock), S_OK);
    const std::size_t ended = clock.Waits().size();
    ASSERT_TRUE(clock.Advance(200));
    ASSERT_TRUE(clock.AwaitWaitsEnded(ended)) << "the thread now needs the tree this test holds";
    auto t0 = std::chrono::steady_clock::now();
    chart->Clear(); // stops and restarts under the held lock
    // The restarted thread, too, comes to need the tree after its first pause.
    ASSERT_TRUE(clock.AwaitWaiters(1));
    ASSERT_TRUE(clock.Advance(20));
    ASSERT_TRUE(clock.AwaitWaitsEnded(ended + 1));
    chart->put_Run(0);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3));
    lock->Unlock();
}

TEST_F(ChartTest, LastTimeIncludesLaterStaticChannels) {
    auto chart = CZynChart::Create();
    CComVariant start = CComVariant::Date(45000.0);
    ASSERT_EQ(chart->put_StartTime(start), S_OK);
    CComPtr<IZynChannel> stat;
    chart->AddStaticChannel(&stat);
    LONG n = 0;
    stat->AddValueRelTime(1.0, 60000, &n);
    EXPECT_NEAR(Date(&IZynChart::get_LastTime, chart), 45000.0 + 60000 / 86400000.0, 1e-9);
    EXPECT_EQ(Date(&IZynChart::get_LastSampleTime, chart), 45000.0);

    CComVariant bad(u"not a date");
    EXPECT_EQ(chart->put_StartTime(bad), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(TakeError().description, "Invalid time to IZynChart.StartDate");
}

TEST_F(ChartTest, NotificationSignalsFirstThenEverySeventhUntilRead) {
    auto chart = CZynChart::Create();
    HANDLE ev = CreateEventW(TRUE, FALSE, u"zyn-test-notify");
    CComBSTR name(u"zyn-test-notify"), missing(u"zyn-test-no-such-event");
    EXPECT_EQ(chart->SetNotification(missing), E_FAIL);
    ASSERT_EQ(chart->SetNotification(name), S_OK);
    std::vector<int> signalled;
    for (int i = 1; i <= 15; ++i) {
        chart->int_Poke();
        if (WaitForSingleObject(ev, 0) == WAIT_OBJECT_0) {
            signalled.push_back(i);
            ResetEvent(ev);
        }
    }
    EXPECT_EQ(signalled, (std::vector<int>{1, 8, 15}));
    LONG agg = 0;
    chart->GetAggregatePropChanges(&agg); // reading resets the throttle
    chart->int_Poke();
    EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_OBJECT_0);
    CloseHandle(ev);
}

TEST_F(ChartTest, FindChannelByIdentifierOrName) {
    auto chart = CZynChart::Create();
    CComPtr<IZynChannel> c1, c2, found;
    chart->AddStaticChannel(&c1);
    chart->AddStaticChannel(&c2);
    CComBSTR second(u"Channel-2"), none(u"Channel-9"), id;
    ASSERT_EQ(chart->FindChannel(second, &found), S_OK);
    EXPECT_EQ(found.p, c2.p);
    found.Release();
    c1->get_Identifier(&id);
    ASSERT_EQ(chart->FindChannel(id, &found), S_OK);
    EXPECT_EQ(found.p, c1.p);
    found.Release();
    EXPECT_EQ(chart->FindChannel(none, &found), S_FALSE);
    EXPECT_EQ(found.p, nullptr);
    LONG count = 0;
    c1->Detach();
    chart->get_ChannelCount(&count);
    EXPECT_EQ(count, 1);
}

TEST_F(ChartTest, ApplicationNamesAdoptedChartsAndIteratesASnapshot) {
    auto app = zyn::com::MakeObject<CZynApp>();
    CComPtr<IZynChart> c1, c2, found;
    app->AddChart(&c1);
    CComPtr<IZynChartIter> before;
    app->get_Charts(&before);
    app->AddChart(&c2);
    CComBSTR name;
    c2->get_Name(&name);
    EXPECT_EQ(name, u"Chart-2");
    LONG count = 0;
    before->get_Count(&count);
    EXPECT_EQ(count, 1); // made before the second chart
    CComBSTR key(u"Chart-1");
    ASSERT_EQ(app->FindChart(key, &found), S_OK);
    EXPECT_EQ(found.p, c1.p);
    found.Release();
    EXPECT_EQ(app->FindChart(nullptr, &found), S_FALSE);
    c1->Detach();
    EXPECT_EQ(app->FindChart(key, &found), S_FALSE);
}

TEST_F(ChartTest, ObjectFactoryMakesAppsChartsAndChannels) {
    auto factory = zyn::com::MakeObject<CZynObjFactory>();
    CComPtr<IUnknown> obj;
    ASSERT_EQ(factory->Create(1, 0, 0, &obj), S_OK);
    CComPtr<IZynApp> app;
    EXPECT_EQ(obj.QueryInterface(&app), S_OK);
    obj.Release();
    ASSERT_EQ(factory->Create(2, 5, 0, &obj), S_OK);
    CComPtr<IZynChart> chart;
    EXPECT_EQ(obj.QueryInterface(&chart), S_OK);
    obj.Release();
    ASSERT_EQ(factory->Create(3, 0, 0, &obj), S_OK);
    CComPtr<IZynChannel> channel;
    ASSERT_EQ(obj.QueryInterface(&channel), S_OK);
    CComBSTR name;
    channel->get_Name(&name);
    EXPECT_EQ(name, u"Channel");
    obj.Release();
    EXPECT_EQ(factory->Create(4, 0, 0, &obj), E_FAIL);
    EXPECT_EQ(obj.p, nullptr);
}

TEST_F(ChartTest, AChartReleasedWhileRunningStopsAndDies) {
    ManualClock clock;
    {
        auto chart = ChartOn(clock);
        CComPtr<IZynChannel> c;
        CComBSTR path(u"\\Processor(_Total)\\% Processor Time");
        chart->AddChannel(path, &c);
        chart->put_Rate(200);
        RunToFirstSample(chart, clock);
        ASSERT_TRUE(clock.Advance(200, 1));
    } // the last references go while the thread waits for its next period
    // The fixture's leak check proves the chart, its thread's reference and its channel are gone;
    // a clock that no thread waits on any more shows that the thread ended with it.
    EXPECT_TRUE(clock.Advance(200, 0));
    EXPECT_EQ(clock.Waits().size(), 3u);
}

} // namespace

namespace {

// This machine's real counters for about two seconds: plausible values at regular times.
TEST_F(ChartTest, RealCountersForTwoSecondsArePlausibleAndRegular) {
    auto chart = CZynChart::Create();
    CComPtr<IZynChannel> cpu, mem;
    CComBSTR cpuPath(u"\\Processor(_Total)\\% Processor Time"), memPath(u"\\Memory\\Available MBytes");
    chart->AddChannel(cpuPath, &cpu);
    chart->AddChannel(memPath, &mem);
    chart->put_Rate(200);
    chart->put_Run(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    chart->put_Run(0);

    CComPtr<IZynDataSet> cpuData, memData;
    cpu->get_Data(&cpuData);
    mem->get_Data(&memData);
    LONG n = 0;
    cpuData->get_Count(&n);
    ASSERT_GE(n, 6);
    for (LONG i = 1; i < n; ++i) { // the first CPU value comes from the paired first collection too
        double v = -1;
        cpuData->GetValueAt(i, &v);
        EXPECT_GE(v, 0.0);
        EXPECT_LE(v, 100.0);
        double mb = -1;
        memData->GetValueAt(i, &mb);
        EXPECT_GT(mb, 0.0);
    }
    // The period is the rate plus one sample's duration; the first sample adds the 200 ms pause of
    // the paired first collection.
    CZynTimeBase* axis = chart->int_TimeBase();
    for (std::uint32_t i = 2; i < axis->GetCount(); ++i) {
        const std::uint32_t gap = axis->GetRel(i) - axis->GetRel(i - 1);
        EXPECT_GE(gap, 195u);
        EXPECT_LE(gap, 600u); // generous: sanitizer builds and a loaded CI machine stretch a sample
    }
    CComVariant first, last;
    cpu->get_FirstTime(&first);
    cpu->get_LastTime(&last);
    EXPECT_NEAR((last.date - first.date) * 86400.0,
                (axis->GetRel(axis->GetCount() - 1) - axis->GetRel(0)) / 1000.0, 0.002);
}

} // namespace

namespace {

// A chart holding only static channels has no entries of its own and its record no start: loaded
// again it must still start where its data does, not at the load time.
TEST_F(ChartTest, ALoadedChartOfStaticChannelsStartsAtItsData) {
    auto app = zyn::com::MakeObject<CZynApp>();
    CComPtr<IZynChart> chart;
    app->AddChart(&chart);
    CComPtr<IZynChannel> stat;
    chart->AddStaticChannel(&stat);
    LONG n = 0;
    CComVariant when = CComVariant::Date(44000.5);
    ASSERT_EQ(stat->AddValueAbsTime(3.0, when, &n), S_OK);
    CComVariant later = CComVariant::Date(44000.5 + 1.0 / 1440);
    ASSERT_EQ(stat->AddValueAbsTime(4.0, later, &n), S_OK);
    ASSERT_EQ(chart->put_StartTime(CComVariant::Date(0.0)), S_OK); // as an import leaves it: no own start
    CComBSTR text;
    ASSERT_EQ(chart->SaveChartAsString(&text), S_OK);
    CComPtr<IZynChart> loaded;
    ASSERT_EQ(app->LoadChartFromString(text, &loaded), S_OK);
    EXPECT_NEAR(Date(&IZynChart::get_StartTime, loaded), 44000.5, 1e-9);
    EXPECT_NEAR(Date(&IZynChart::get_LastTime, loaded), 44000.5 + 1.0 / 1440, 1e-8);
}

} // namespace
