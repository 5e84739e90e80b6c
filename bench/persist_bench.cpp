// Saving and loading a big chart against the floor that packing alone sets, in one run on the same
// bytes: a chart of 10 dynamic channels x 1,000,000 samples (counter-like doubles with full
// mantissas, on one shared axis).
//  - SaveChart (records, Compress(3), byte array) versus zlib compress2 at level 3 of the raw records;
//  - LoadChart (unpack, decompress, read 10 channels made static) versus zlib uncompress of them;
//  - the peak resident memory that LoadChart adds, against the size of the records it loads and
//    against the memory the loaded chart keeps.
// Prints times and ratios; exits non-zero if the loaded chart does not hold what was saved.

#include "objlib/ZynApp.h"
#include "objlib/ZynChart.h"
#include "objlib/ZynRecords.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kChannels = 10;
constexpr std::uint32_t kSamples = 1000000;

template <class F> double BestMs(int runs, F&& f) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        auto t0 = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return best;
}

// Resident and high-water memory of this process in KiB.
long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
    return -1;
}

// Resets the high-water mark to the current resident size (Linux 4.0 and later).
bool ResetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return bool(clear);
}

// A counter-like value: a slow wave with noise in every bit of the mantissa.
double Reading(int channel, std::uint32_t i, std::uint64_t& seed) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    const double noise = double(seed >> 11) * 0x1.0p-53;
    return 50.0 + 40.0 * std::sin(i * 0.0007 + channel) + 5.0 * noise;
}

CComPtr<CZynChart> RecordedChart(CZynApp* app) {
    CComPtr<IZynChart> added;
    app->AddChart(&added);
    CComPtr<CZynChart> chart(static_cast<CZynChart*>(added.p));
    std::vector<CComPtr<CZynChannel>> channels;
    for (int c = 0; c < kChannels; ++c) {
        CComPtr<IZynChannel> channel;
        chart->AddChannel(
            CComBSTR(u"\\\\bench\\Nothing(" + std::u16string(1, char16_t(u'0' + c)) + u")\\Value"), &channel);
        channels.emplace_back(static_cast<CZynChannel*>(channel.p));
    }
    CZynLockList locks;
    chart->int_LockTree(locks);
    CZynTimeBase* axis = chart->int_TimeBase();
    axis->SetStart(45000.0);
    std::uint64_t seed = 42;
    for (std::uint32_t i = 0; i < kSamples; ++i) {
        (void)axis->AppendRel(i * 1000);
        for (int c = 0; c < kChannels; ++c)
            (void)channels[c]->int_AppendValue(Reading(c, i, seed));
    }
    return chart;
}

std::size_t ChartBytes(CZynChart* chart) {
    std::size_t bytes = chart->int_TimeBase()->AllocatedBytes();
    for (CZynChannel* channel : chart->int_Channels())
        bytes += channel->int_DataSet()->int_AllocatedBytes() + channel->int_TimeBase()->AllocatedBytes();
    return bytes;
}

} // namespace

int main() {
    int status = 0;
    CComPtr<CZynApp> app = zyn::com::MakeObject<CZynApp>();
    CComPtr<CZynChart> chart = RecordedChart(app);

    // SaveChart against compress2 of the raw records.
    CComVariant saved;
    const double saveMs = BestMs(3, [&] {
        saved.Clear();
        chart->SaveChart(&saved);
    });
    CZynGrowBuff raw;
    {
        CZynLockList locks;
        chart->int_LockTree(locks);
        if (!zyn::obj::records::WriteChart(raw, *chart)) return 1;
    }
    std::vector<unsigned char> packed(compressBound(raw.GetSize()));
    uLongf packedSize = 0;
    const double compressMs = BestMs(3, [&] {
        packedSize = packed.size();
        compress2(packed.data(), &packedSize, raw.GetBuffer(), raw.GetSize(), 3);
    });
    std::vector<unsigned char> unpacked(raw.GetSize());
    const double uncompressMs = BestMs(3, [&] {
        uLongf n = unpacked.size();
        uncompress(unpacked.data(), &n, packed.data(), packedSize);
    });
    const std::vector<double> firstValues = [&] {
        std::vector<double> v;
        for (CZynChannel* c : chart->int_Channels())
            v.push_back(c->int_DataSet()->int_ValueAt(kSamples - 1));
        return v;
    }();
    const std::uint32_t recordBytes = raw.GetSize();
    raw.Release();
    unpacked.clear();
    unpacked.shrink_to_fit();
    chart->Detach();
    chart.Release();

    // One load alone, for its peak memory; then the timed loads.
    const long before = StatusKiB("VmRSS:");
    const bool peakReset = ResetPeak();
    CComPtr<IZynChart> loaded;
    auto t0 = Clock::now();
    app->LoadChart(saved, &loaded);
    double loadMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    const long peak = StatusKiB("VmHWM:");
    auto* loadedChart = static_cast<CZynChart*>(loaded.p);
    const std::size_t keptBytes = ChartBytes(loadedChart);
    const auto channels = loadedChart->int_Channels();
    if (channels.size() != std::size_t(kChannels)) status = 1;
    for (std::size_t c = 0; c < channels.size() && c < firstValues.size(); ++c)
        if (channels[c]->int_DataSet()->int_Count() != kSamples ||
            channels[c]->int_DataSet()->int_ValueAt(kSamples - 1) != firstValues[c])
            status = 1;
    loaded->Detach();
    loaded.Release();
    loadMs = std::min(loadMs, BestMs(2, [&] {
                          CComPtr<IZynChart> again;
                          app->LoadChart(saved, &again);
                          again->Detach();
                      }));

    const double peakMiB = (peak - before) / 1024.0;
    LONG upper = -1;
    SafeArrayGetUBound(saved.parray, 1, &upper);
    std::printf(
        "chart: %d channels x %u samples; records %.1f MiB, saved blob %.1f MiB (zlib level 3: %.1f MiB)\n",
        kChannels, kSamples, recordBytes / 1048576.0, (upper + 1) / 1048576.0, packedSize / 1048576.0);
    std::printf("SaveChart          %8.1f ms   compress2(3)  %8.1f ms   ratio %.2f\n", saveMs, compressMs,
                saveMs / compressMs);
    std::printf("LoadChart          %8.1f ms   uncompress    %8.1f ms   ratio %.2f\n", loadMs, uncompressMs,
                loadMs / uncompressMs);
    if (peakReset)
        std::printf(
            "LoadChart peak     %8.1f MiB  = %.2f x records, %.2f x the %.1f MiB the loaded chart keeps\n",
            peakMiB, peakMiB * 1048576.0 / recordBytes, peakMiB * 1048576.0 / keptBytes,
            keptBytes / 1048576.0);
    else
        std::printf("LoadChart peak: cannot reset the high-water mark here\n");
    if (status) std::printf("FAILED: the loaded chart differs from the saved one\n");
    return status;
}
