// CSV export and import of 10 channels x 1,000,000 samples against a floor that writes and reads
// the same numbers with to_chars/from_chars, and opening a chart file against LoadChart of the
// same bytes. Prints the ratios measured in this run.

#include "exchange/ChartFile.h"
#include "exchange/CsvExport.h"
#include "exchange/CsvImport.h"

#include "com/ccombstr.h"
#include "com/variant.h"
#include "testing/TempSettingsStore.h"
#include "testing/TestObjectLibrary.h"
#include "utils/ZynFiles.h"
#include "utils/ZynGrowBuff.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

constexpr int kChannels = 10;
constexpr int kSamples = 1000000;

double ValueOf(int c, int i) {
    return (i % 1000) * 0.125 + c * 1000.5;
}

// Resident and high-water memory of this process in KiB.
long StatusKiB(const char* field) {
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) return -1;
    char line[256];
    long value = -1;
    const std::size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, status))
        if (std::strncmp(line, field, length) == 0) value = std::atol(line + length);
    std::fclose(status);
    return value;
}

// The child of --open-peak: opens the chart file as the document does, in a fresh process, and
// prints its resident memory before, its high-water mark while opening and its resident memory
// with the chart open (KiB).
int OpenPeak(const char* path) {
    zyn::test::TempSettingsStore store;
    CComPtr<IZynApp> app = zyn::test::NewApp();
    if (!app) return 1;
    const long before = StatusKiB("VmRSS:");
    {
        std::ofstream clear("/proc/self/clear_refs");
        clear << "5"; // the high-water mark starts again from what is resident now
    }
    CComPtr<IZynChart> opened;
    {
        std::vector<std::uint8_t> bytes;
        zyn::chartfile::ChartFileParts parts;
        if (ZynReadRegularFile(path, bytes, zyn::chartfile::kMaxFileBytes) &&
            zyn::chartfile::ParseChartFile(bytes, parts) == zyn::chartfile::ChartFileError::None)
            opened = zyn::chartfile::LoadChartBytes(app, parts.chart);
    }
    if (!opened) return 1;
    std::printf("%ld %ld %ld\n", before, StatusKiB("VmHWM:"), StatusKiB("VmRSS:"));
    opened->Detach();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C.UTF-8");
    if (argc > 2 && std::strcmp(argv[1], "--open-peak") == 0) return OpenPeak(argv[2]);
    const int samples = argc > 1 ? std::atoi(argv[1]) : kSamples;
    // The objects come from the object library as the program gets them, registered in a settings
    // store of the benchmark's own.
    zyn::test::TempSettingsStore store;
    CComPtr<IZynApp> app = zyn::test::NewApp();
    if (!app) return 1;
    CComPtr<IZynChart> chart;
    app->AddChart(&chart);
    CComVariant start(45000.25);
    chart->put_StartTime(start);
    for (int c = 0; c < kChannels; ++c) {
        CComPtr<IZynChannel> ch;
        chart->AddStaticChannel(&ch);
        LONG n = 0;
        for (int i = 0; i < samples; ++i)
            ch->AddValueRelTime(ValueOf(c, i), i * 1000, &n);
    }

    // Floor: the same numbers (the time as a double, ten values) written and read back.
    std::string floorText;
    floorText.reserve(std::size_t(samples) * 120);
    auto t0 = Clock::now();
    char buf[64];
    for (int i = 0; i < samples; ++i) {
        auto r = std::to_chars(buf, buf + sizeof buf, 45000.25 + i / 86400.0, std::chars_format::fixed, 6);
        floorText.append(buf, r.ptr);
        for (int c = 0; c < kChannels; ++c) {
            floorText += ',';
            r = std::to_chars(buf, buf + sizeof buf, ValueOf(c, i), std::chars_format::fixed, 6);
            floorText.append(buf, r.ptr);
        }
        floorText += "\r\n";
    }
    auto t1 = Clock::now();
    std::vector<double> back;
    back.reserve(std::size_t(samples) * (kChannels + 1));
    for (const char* p = floorText.data(); p < floorText.data() + floorText.size();) {
        double v = 0;
        auto r = std::from_chars(p, floorText.data() + floorText.size(), v);
        back.push_back(v);
        p = r.ptr;
        while (p < floorText.data() + floorText.size() && (*p == ',' || *p == '\r' || *p == '\n'))
            ++p;
    }
    auto t2 = Clock::now();

    std::string csv;
    auto t3 = Clock::now();
    if (!zyn::csv::WriteChartCsv(chart, csv)) return 1;
    auto t4 = Clock::now();
    // The import reads the text as the program gets it (UTF-16), so the conversion is part of it.
    const std::u16string wide(csv.begin(), csv.end());
    CComPtr<IZynChart> imported;
    app->AddChart(&imported);
    auto t5 = Clock::now();
    if (!zyn::csv::ImportText(imported, wide)) return 1;
    auto t6 = Clock::now();

    const double floorWrite = Seconds(t0, t1), floorRead = Seconds(t1, t2);
    const double exportS = Seconds(t3, t4), importS = Seconds(t5, t6);
    std::printf("samples %d x %d channels, CSV %.1f MB\n", samples, kChannels, csv.size() / 1e6);
    std::printf("floor write %.3f s, export %.3f s, ratio %.2f\n", floorWrite, exportS, exportS / floorWrite);
    std::printf("floor read  %.3f s, import %.3f s, ratio %.2f\n", floorRead, importS, importS / floorRead);

    // Chart file: opening as the document does it (read the file, check its parts, load the chart
    // bytes) against LoadChart of the same bytes handed to it as the byte-array value it takes.
    // Rounds alternate which goes first, best of each, so that neither side gets the warmer heap.
    std::vector<std::uint8_t> chartBytes;
    if (!zyn::chartfile::SaveChartBytes(chart, chartBytes)) {
        std::printf("chart file: the object library cannot save charts yet; no ratio\n");
    } else {
        std::array<std::uint8_t, zyn::chartfile::kSettingsBytes> settings{};
        const std::string path = (std::filesystem::temp_directory_path() /
                                  ("chartfile_bench." + std::to_string(::getpid()) + ".tlon"))
                                     .string();
        if (!ZynSaveFile(path, zyn::chartfile::ComposeChartFile(chartBytes, settings))) return 1;
        CZynGrowBuff buffer;
        if (!buffer.Write(chartBytes.data(), static_cast<unsigned long>(chartBytes.size()))) return 1;
        CComVariant value;
        if (!buffer.ToVariant(&value)) return 1;
        buffer.Release();
        double loadS = 1e9, openS = 1e9;
        auto loadDirect = [&](double& best) {
            auto a = Clock::now();
            CComPtr<IZynChart> direct;
            const bool ok = SUCCEEDED(app->LoadChart(value, &direct)) && direct;
            best = std::min(best, Seconds(a, Clock::now()));
            if (direct) direct->Detach();
            return ok;
        };
        auto openFile = [&](double& best) {
            auto a = Clock::now();
            std::vector<std::uint8_t> bytes;
            zyn::chartfile::ChartFileParts parts;
            CComPtr<IZynChart> viaFile;
            if (ZynReadRegularFile(path, bytes, zyn::chartfile::kMaxFileBytes) &&
                zyn::chartfile::ParseChartFile(bytes, parts) == zyn::chartfile::ChartFileError::None)
                viaFile = zyn::chartfile::LoadChartBytes(app, parts.chart);
            best = std::min(best, Seconds(a, Clock::now()));
            if (viaFile) viaFile->Detach();
            return bool(viaFile);
        };
        for (int round = 0; round < 4; ++round) {
            const bool ok =
                round % 2 ? openFile(openS) && loadDirect(loadS) : loadDirect(loadS) && openFile(openS);
            if (!ok) return 1;
        }
        std::printf("chart %.1f MB: LoadChart %.3f s, open chart file %.3f s, ratio %.2f\n",
                    chartBytes.size() / 1e6, loadS, openS, openS / loadS);
        // Peak memory of opening the file in a process of its own, against what the open chart
        // then holds.
        const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
        const std::string command = "'" + self + "' --open-peak '" + path + "'";
        long before = 0, peak = 0, open = 0;
        FILE* child = popen(command.c_str(), "r");
        const bool measured = child && std::fscanf(child, "%ld %ld %ld", &before, &peak, &open) == 3;
        if (child) pclose(child);
        if (measured && open > before)
            std::printf(
                "open chart file peak %.1f MiB = %.2f x the %.1f MiB the open chart holds (target <= 1.3)\n",
                (peak - before) / 1024.0, double(peak - before) / double(open - before),
                (open - before) / 1024.0);
        else
            std::printf("open chart file peak: not measured\n");
        std::remove(path.c_str());
    }
    chart->Detach();
    imported->Detach();
    return 0;
}
