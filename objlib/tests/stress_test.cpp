// Many threads on a few running charts for a bounded time: readers, iterators, lockers, clearers,
// reruns, channel and event churn. Run under the thread sanitizer, this is where a lock-order
// mistake, a race on a list or a use after release shows up. Passing means no report, no hang and
// no leaked object.

#include "com/ccombstr.h"
#include "objlib/ZynApp.h"
#include "objlib/ZynChart.h"
#include "testing/ComChecks.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

namespace {

using zyn::test::ClearError;

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds StressDuration() {
    const char* env = std::getenv("ZYN_STRESS_MS");
    return std::chrono::milliseconds(env ? std::atoi(env) : 6000);
}

const char16_t* const kPaths[] = {
    u"\\Processor(_Total)\\% Processor Time", u"\\Memory\\Available MBytes",
    u"\\System\\Context Switches/sec",        u"\\System\\Processes",
    u"\\Processor(_Total)\\% User Time",      u"\\Memory\\Committed Bytes",
};

void ReadEverything(IZynChart* chart) {
    CComPtr<IZynChannelIter> it;
    if (FAILED(chart->get_Channels(&it))) return;
    LONG hasNext = 0;
    for (it->get_HasNext(&hasNext); hasNext; it->get_HasNext(&hasNext)) {
        CComPtr<IZynChannel> c;
        if (FAILED(it->GetNext(&c))) break;
        CComPtr<IZynDataSet> data;
        c->get_Data(&data);
        LONG n = 0;
        data->get_Count(&n);
        double v = 0, avg = 0;
        if (n > 0) data->GetValueAt(n - 1, &v);
        data->get_Average(&avg);
        CComVariant t;
        c->get_LastTime(&t);
        CComPtr<IZynDataSetPrivate> priv;
        if (SUCCEEDED(data.QueryInterface(&priv)) && n > 0) {
            LONG rows[64];
            LONG got = 0;
            priv->GetDataEx(0, n < 64 ? n : 64, 0, 100, 0, 100, rows, &got);
        }
    }
    CComVariant last;
    chart->get_LastTime(&last);
}

TEST(ChartStress, ConcurrentClientsAgainstRunningCharts) {
    const long live = zyn::com::LiveObjectCount();
    {
        auto app = zyn::com::MakeObject<CZynApp>();
        std::vector<CComPtr<IZynChart>> charts(3);
        for (auto& chart : charts) {
            ASSERT_EQ(app->AddChart(&chart), S_OK);
            for (int i = 0; i < 8; ++i) {
                CComPtr<IZynChannel> c;
                CComBSTR path(kPaths[i % std::size(kPaths)]);
                chart->AddChannel(path, &c);
            }
            CComPtr<IZynChannel> s;
            chart->AddStaticChannel(&s);
            chart->put_Rate(200);
            chart->put_Run(1);
        }

        std::atomic<bool> stop{false};
        std::atomic<long> operations{0};
        auto worker = [&](int kind) {
            std::mt19937 rng(static_cast<unsigned>(kind * 7919));
            while (!stop.load()) {
                IZynChart* chart = charts[rng() % charts.size()];
                switch (kind) {
                case 0: // readers
                case 1:
                    ReadEverything(chart);
                    break;
                case 2: { // lockers
                    CComPtr<IZynObjLock> lock;
                    if (SUCCEEDED(chart->LockObject(&lock))) {
                        LONG count = 0;
                        chart->get_ChannelCount(&count);
                        lock->Unlock();
                    }
                    break;
                }
                case 3: // clear, sometimes rerun
                    if (rng() % 4 == 0)
                        chart->Rerun();
                    else
                        chart->Clear();
                    break;
                case 4: { // channel churn
                    CComPtr<IZynChannel> c;
                    CComBSTR path(kPaths[rng() % std::size(kPaths)]);
                    chart->AddChannel(path, &c);
                    LONG n = 0;
                    c->AddValueRelTime(1.0, 10, &n);
                    c->Detach();
                    break;
                }
                case 5: { // event churn and notification reads
                    CComPtr<IZynEvent> e;
                    CComBSTR name(u"stress");
                    chart->AddEvent(name, &e);
                    e->Stop();
                    CComBSTR id;
                    e->get_Identifier(&id);
                    LONG found = 0;
                    chart->DetachEvent(id, &found);
                    CComPtr<IZynChartPrivate> priv;
                    if (SUCCEEDED(CComPtr<IZynChart>(chart).QueryInterface(&priv))) {
                        LONG agg = 0;
                        priv->GetAggregatePropChanges(&agg);
                        priv->ClearAggregatePropChanges(agg);
                    }
                    break;
                }
                default: { // stop and start
                    LONG run = 0;
                    chart->get_Run(&run);
                    chart->put_Run(run ? 0 : 1);
                    break;
                }
                }
                ++operations;
                std::this_thread::sleep_for(std::chrono::milliseconds(kind >= 3 ? 20 : 1));
            }
        };

        std::vector<std::thread> threads;
        for (int kind = 0; kind <= 6; ++kind)
            threads.emplace_back(worker, kind);
        std::this_thread::sleep_for(StressDuration());
        stop = true;
        for (auto& t : threads)
            t.join();
        EXPECT_GT(operations.load(), 100);
        for (auto& chart : charts)
            chart->put_Run(0);
    }
    ClearError();
    EXPECT_EQ(zyn::com::LiveObjectCount(), live);
}

} // namespace
