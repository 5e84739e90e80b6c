// The data set's two hot paths against plain baselines, in one run on the same data:
//  - GetDataEx over 1,000,000 values versus a loop computing the same pixel rows from a vector;
//  - 10,000,000 appends (the sampling engine holds the lock list across its appends) versus
//    std::vector<double>::push_back, with the bytes of memory per value, worst and average.
// Prints times and ratios; exits non-zero if the pixel rows differ from the baseline's.

#include "objlib/ZynDataSet.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

template <class F> double BestMs(int runs, F&& f) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        auto t0 = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return best;
}

double Wave(int i) {
    return 50.0 + 45.0 * std::sin(i * 0.001) + (i % 7);
}

} // namespace

int main() {
    int status = 0;

    // GetDataEx.
    constexpr int kPoints = 1000000;
    constexpr LONG kTall = 600;
    constexpr double kMin = 0.0, kMax = 100.0, kOffset = 2.5;
    CComPtr<CZynDataSet> set = CZynDataSet::Create();
    std::vector<double> plain;
    plain.reserve(kPoints);
    for (int i = 0; i < kPoints; ++i) {
        (void)set->int_Append(Wave(i));
        plain.push_back(Wave(i));
    }
    std::vector<LONG> fromSet(2 * std::size_t(kPoints)), fromLoop(2 * std::size_t(kPoints));
    const double getDataMs = BestMs(15, [&] {
        LONG many = 0;
        set->GetDataEx(0, kPoints, kMin, kMax, kOffset, kTall, fromSet.data(), &many);
    });
    const double loopMs = BestMs(15, [&] {
        const double scale = 1.0 / (kMax - kMin);
        const LONG base = -1;
        for (int k = 0; k < kPoints; ++k) {
            fromLoop[2 * std::size_t(k)] = base + k;
            fromLoop[2 * std::size_t(k) + 1] =
                kTall - static_cast<LONG>(((plain[std::size_t(k)] + kOffset) - kMin) * scale * kTall);
        }
    });
    if (fromSet != fromLoop) {
        std::printf("GetDataEx rows differ from the baseline\n");
        status = 1;
    }
    std::printf("GetDataEx 1,000,000 values: %.3f ms, plain loop %.3f ms, ratio %.2fx (target <= 1.5x)\n",
                getDataMs, loopMs, getDataMs / loopMs);
    set.Release();

    // Appends.
    constexpr int kAppends = 10000000;
    double worstBytes = 0, sumBytes = 0, worstWithTime = 0;
    const double appendMs = BestMs(3, [&] {
        CComPtr<CZynDataSet> target = CZynDataSet::Create();
        CZynLockList locks;
        target->int_LockInto(locks);
        for (int i = 0; i < kAppends; ++i)
            (void)target->int_Append(double(i));
    });
    const double pushMs = BestMs(3, [&] {
        std::vector<double> v;
        for (int i = 0; i < kAppends; ++i)
            v.push_back(double(i)); // NOLINT(performance-inefficient-vector-operation): growth is measured
        if (v.size() != std::size_t(kAppends)) std::printf("?");
    });
    const double lockedEachMs = BestMs(1, [&] {
        CComPtr<CZynDataSet> target = CZynDataSet::Create();
        for (int i = 0; i < kAppends; ++i) {
            CZynLockList locks;
            target->int_LockInto(locks, false);
            (void)target->int_Append(double(i));
        }
    });
    {
        // Memory, measured after every append, with the chart's time axis growing alongside.
        CComPtr<CZynTimeBase> axis = CZynTimeBase::Create();
        CComPtr<CZynDataSet> target = CZynDataSet::Create(axis);
        for (int i = 0; i < kAppends; ++i) {
            (void)axis->AppendRel(std::uint32_t(i));
            (void)target->int_Append(double(i));
            const double n = double(i + 1);
            const double bytes = double(target->int_AllocatedBytes()) / n;
            worstBytes = std::max(worstBytes, bytes);
            sumBytes += bytes;
            worstWithTime =
                std::max(worstWithTime, double(target->int_AllocatedBytes() + axis->AllocatedBytes()) / n);
        }
    }
    std::printf(
        "append 10,000,000 values: %.2f ns each (lock list held), push_back %.2f ns, ratio %.2fx (target <= "
        "1.5x); taking the lock list per append: %.2f ns\n",
        appendMs * 1e6 / kAppends, pushMs * 1e6 / kAppends, appendMs / pushMs, lockedEachMs * 1e6 / kAppends);
    std::printf("memory per value: worst %.2f bytes, average %.2f bytes (bound 12); with the 4-byte time "
                "entry: worst "
                "%.2f bytes\n",
                worstBytes, sumBytes / kAppends, worstWithTime);
    return status;
}
