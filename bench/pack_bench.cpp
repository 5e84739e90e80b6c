// Packing and appending against their baselines, in one run on the same warmed data:
//  - Compress(3)+Decompress of a record stream versus zlib's compress2(level 3)+uncompress;
//  - CZynGrowBuff appends of doubles and 32-bit offsets versus std::vector<uint8_t>.
// Prints times, sizes and ratios; exits non-zero if a packed stream does not read back.

#include "utils/ZynGrowBuff.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
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

// What a chart's records hold: per sample a 32-bit millisecond offset (regular with jitter) and
// channel values that wander like real counters (percentages, byte rates, memory).
std::vector<unsigned char> MakeRecordStream(std::size_t samples) {
    std::mt19937 rng(42);
    std::normal_distribution<double> noise(0, 1);
    std::vector<unsigned char> out;
    out.reserve(samples * 12);
    std::uint32_t t = 0;
    double cpu = 20, mem = 4.0e9;
    for (std::size_t i = 0; i < samples; ++i) {
        t += 1000 + static_cast<std::uint32_t>(rng() % 5);
        double v;
        switch (i % 3) {
        case 0:
            cpu = std::clamp(cpu + noise(rng) * 3, 0.0, 100.0);
            v = std::round(cpu * 100) / 100;
            break;
        case 1:
            mem += std::round(noise(rng) * 4096) * 4096;
            v = mem;
            break;
        default:
            v = (rng() % 8 == 0) ? std::round(std::fabs(noise(rng)) * 1e6) : 0.0;
            break;
        }
        unsigned char bytes[12];
        std::memcpy(bytes, &t, 4);
        std::memcpy(bytes + 4, &v, 8);
        out.insert(out.end(), bytes, bytes + 12);
    }
    return out;
}

} // namespace

int main() {
    const std::vector<unsigned char> stream = MakeRecordStream(3'000'000); // 36 MB
    const auto n = static_cast<std::uint32_t>(stream.size());
    std::printf("record stream: %.1f MB of 32-bit offsets and doubles\n", n / 1e6);

    // zlib level 3, the baseline; buffers allocated and touched before timing.
    std::vector<unsigned char> zOut(compressBound(n)), zBack(n);
    std::fill(zOut.begin(), zOut.end(), 1);
    std::fill(zBack.begin(), zBack.end(), 1);
    uLongf zSize = 0;
    double zComp = BestMs(3, [&] {
        zSize = static_cast<uLongf>(zOut.size());
        compress2(zOut.data(), &zSize, stream.data(), n, 3);
    });
    double zDecomp = BestMs(3, [&] {
        uLongf back = n;
        uncompress(zBack.data(), &back, zOut.data(), zSize);
    });

    std::uint32_t packedSize = 0;
    bool intact = true;
    CZynGrowBuff warm;
    warm.Write(stream.data(), n);
    warm.Compress(3);
    warm.Decompress();
    double ourComp = 1e300;
    // A fresh buffer per run with the timer around Compress alone: the copy-in is not packing.
    for (int i = 0; i < 3; ++i) {
        CZynGrowBuff b;
        b.Write(stream.data(), n);
        auto t0 = Clock::now();
        b.Compress(3);
        ourComp = std::min(ourComp, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        packedSize = b.GetSize();
    }
    double ourDecomp = 1e300;
    for (int i = 0; i < 3; ++i) {
        CZynGrowBuff b;
        b.Write(stream.data(), n);
        b.Compress(3);
        auto t0 = Clock::now();
        b.Decompress();
        ourDecomp = std::min(ourDecomp, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        intact = intact && b.GetSize() == n && std::memcmp(b.GetBuffer(), stream.data(), n) == 0;
        // The stream must stay standard zlib.
        b.Compress(3);
        uLongf back = n;
        intact = intact && uncompress(zBack.data(), &back, b.GetBuffer() + 12, b.GetSize() - 12) == Z_OK &&
                 back == n && std::memcmp(zBack.data(), stream.data(), n) == 0;
    }

    std::printf("zlib compress2(3)+uncompress: %8.1f + %7.1f ms, %u bytes (%.2f:1)\n", zComp, zDecomp,
                unsigned(zSize), double(n) / zSize);
    std::printf("Compress(3)+Decompress:       %8.1f + %7.1f ms, %u bytes (%.2f:1)\n", ourComp, ourDecomp,
                packedSize, double(n) / packedSize);
    std::printf(
        "packing speed-up over zlib level 3: %.2fx (compress %.2fx, decompress %.2fx); size ratio %.3f\n",
        (zComp + zDecomp) / (ourComp + ourDecomp), zComp / ourComp, zDecomp / ourDecomp,
        double(packedSize) / double(zSize + 12));
    std::printf("packed stream reads back with zlib and Decompress: %s\n", intact ? "yes" : "NO");

    // Appends: 10,000,000 values alternating doubles and 32-bit offsets.
    const int values = 10'000'000;
    auto appendGrow = [&] {
        CZynGrowBuff b;
        for (int i = 0; i < values; i += 2) {
            b.Write(i * 0.5);
            b.Write(static_cast<unsigned long>(i));
        }
        return b.GetSize();
    };
    auto appendVector = [&] {
        std::vector<std::uint8_t> v;
        for (int i = 0; i < values; i += 2) {
            double d = i * 0.5;
            std::uint32_t u = static_cast<std::uint32_t>(i);
            const auto* pd = reinterpret_cast<const std::uint8_t*>(&d);
            const auto* pu = reinterpret_cast<const std::uint8_t*>(&u);
            v.insert(v.end(), pd, pd + 8);
            v.insert(v.end(), pu, pu + 4);
        }
        return v.size();
    };
    appendGrow();
    appendVector(); // warm the heap
    std::size_t sink = 0;
    double growMs = BestMs(3, [&] { sink += appendGrow(); });
    double vecMs = BestMs(3, [&] { sink += appendVector(); });
    std::printf(
        "appends of %d values: CZynGrowBuff %.1f ms, std::vector<uint8_t> %.1f ms, ratio %.2f (sink %zu)\n",
        values, growMs, vecMs, growMs / vecMs, sink % 10);
    return intact ? 0 : 1;
}
