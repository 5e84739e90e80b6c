// A save killed at any moment (kill -9, a crash, a power cut as far as the process can tell) leaves
// the chart file as it was before or as it is after, never anything between; and what a killed
// save left behind goes with the next save of the same file. A helper process saves a large chart
// over and over, alternating between two versions of it, and is killed at random moments.
//
// The run CI makes is small and quick. ZYN_KILL_LOOP_FULL=1 runs the full one: 50 kills while saving
// a chart of 10 channels of 1,000,000 samples each.

#include "exchange/ChartFile.h"

#include "com/ccombstr.h"
#include "testing/SpawnSelf.h"
#include "testing/TempSettingsStore.h"
#include "testing/TestObjectLibrary.h"
#include "utils/ZynFiles.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

// A chart of `channels` static channels of `samples` values 100 ms apart; `version` names it, so
// that the two versions differ.
CComPtr<IZynChart> MakeChart(IZynApp* app, int channels, int samples, const char16_t* version) {
    CComPtr<IZynChart> chart;
    if (FAILED(app->AddChart(&chart))) return {};
    chart->put_Name(CComBSTR(version));
    CComVariant start(45000.25);
    chart->put_StartTime(start);
    for (int c = 0; c < channels; ++c) {
        CComPtr<IZynChannel> channel;
        if (FAILED(chart->AddStaticChannel(&channel))) return {};
        LONG count = 0;
        for (int i = 0; i < samples; ++i)
            channel->AddValueRelTime(std::sin(i * 0.001 * (c + 1)) * 100.0 + (i * 7919 % 1000) * 0.01,
                                     i * 100, &count);
    }
    return chart;
}

Bytes FileOf(IZynChart* chart) {
    Bytes packed;
    if (!zyn::chartfile::SaveChartBytes(chart, packed)) return {};
    const std::array<std::uint8_t, zyn::chartfile::kSettingsBytes> settings{};
    return zyn::chartfile::ComposeChartFile(packed, settings);
}

Bytes Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// --save-loop FOLDER CHANNELS SAMPLES: saves the two versions of the chart to FOLDER/chart.tlon in
// turn until killed. Before the loop it writes both versions whole (FOLDER/a.tlon, b.tlon) for
// the test to compare with, and FOLDER/ready with the milliseconds one save takes.
// --save-once FOLDER CHANNELS SAMPLES: one save of version A, to its end.
int SaveLoop(int argc, char** argv, bool once) {
    if (argc < 5) return 2;
    const std::string folder = argv[2];
    const int channels = std::atoi(argv[3]), samples = std::atoi(argv[4]);
    CComPtr<IZynApp> app = zyn::test::NewApp();
    if (!app) return 3;
    CComPtr<IZynChart> a = MakeChart(app, channels, samples, u"Version A");
    CComPtr<IZynChart> b = MakeChart(app, channels, samples, u"Version B");
    if (!a || !b) return 3;
    const std::string target = folder + "/chart.tlon";
    if (once) return ZynSaveFile(target, FileOf(a)) ? 0 : 4;
    const auto t0 = Clock::now();
    if (!ZynSaveFile(folder + "/a.tlon", FileOf(a)) || !ZynSaveFile(folder + "/b.tlon", FileOf(b))) return 4;
    const std::string ms =
        std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count() / 2);
    if (!ZynSaveFile(folder + "/ready", Bytes(ms.begin(), ms.end()))) return 4;
    for (int round = 0;; ++round) {
        // The whole save, as the program does it: the chart's saved form, the file around it, the file.
        IZynChart* chart = round % 2 ? b.p : a.p;
        if (!ZynSaveFile(target, FileOf(chart))) return 5;
    }
}

const zyn::test::HelperMode kSaveLoop("--save-loop",
                                      [](int argc, char** argv) { return SaveLoop(argc, argv, false); });
const zyn::test::HelperMode kSaveOnce("--save-once",
                                      [](int argc, char** argv) { return SaveLoop(argc, argv, true); });

TEST(KillDuringSave, EveryKillLeavesTheOldOrTheNewChartAndTheNextSaveCleansUp) {
    const bool full = std::getenv("ZYN_KILL_LOOP_FULL") != nullptr;
    const zyn::test::TempSettingsStore store; // the helpers share it
    const int channels = 10, samples = full ? 1000000 : 20000, kills = full ? 50 : 8;
    std::string pattern = (fs::temp_directory_path() / "zyn-kill-XXXXXX").string();
    ASSERT_TRUE(::mkdtemp(pattern.data()));
    const std::string folder = pattern, target = folder + "/chart.tlon";
    const std::vector<std::string> args{folder, std::to_string(channels), std::to_string(samples)};
    auto with = [&](const char* mode) {
        std::vector<std::string> all{mode};
        all.insert(all.end(), args.begin(), args.end());
        return all;
    };
    ASSERT_EQ(zyn::test::RunSelf(with("--save-once")), 0);

    std::mt19937 random(12345);
    Bytes versionA, versionB;
    int killedMidWrite = 0, asA = 0, asB = 0;
    for (int kill = 0; kill < kills; ++kill) {
        fs::remove(folder + "/ready");
        const pid_t pid = zyn::test::SpawnSelf(with("--save-loop"));
        ASSERT_GT(pid, 0);
        // Wait until the helper saves in its loop; then a random moment within the next two saves.
        const auto deadline = Clock::now() + std::chrono::minutes(5);
        while (!fs::exists(folder + "/ready") && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(fs::exists(folder + "/ready")) << "the helper never got ready";
        const Bytes said = Read(folder + "/ready");
        const int saveMs = std::max(1, std::atoi(std::string(said.begin(), said.end()).c_str()));
        std::this_thread::sleep_for(std::chrono::microseconds(random() % (2000UL * unsigned(saveMs))));
        ASSERT_EQ(::kill(pid, SIGKILL), 0);
        EXPECT_EQ(zyn::test::Reap(pid), 128 + SIGKILL) << "the helper ended by itself";
        if (versionA.empty()) {
            versionA = Read(folder + "/a.tlon");
            versionB = Read(folder + "/b.tlon");
            ASSERT_NE(versionA, versionB);
        }

        const Bytes now = Read(target);
        const bool isA = now == versionA, isB = now == versionB;
        ASSERT_TRUE(isA || isB) << "kill " << kill << " left " << now.size()
                                << " bytes that are neither version";
        asA += isA;
        asB += isB;
        for (const auto& e : fs::directory_iterator(folder))
            killedMidWrite += e.path().filename().string().rfind(ZynSaveTempPrefix("chart.tlon"), 0) == 0;
    }
    // Both versions really were written and loaded back, and they load as charts.
    ASSERT_EQ(zyn::test::RunSelf(with("--save-once")), 0);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name != "chart.tlon" && name != "a.tlon" && name != "b.tlon" && name != "ready")
            left.push_back(name);
    }
    EXPECT_TRUE(left.empty()) << left.size() << " files left after the last save, e.g. " << left.front();
    EXPECT_EQ(Read(target), versionA);
    zyn::chartfile::ChartFileParts parts;
    ASSERT_EQ(zyn::chartfile::ParseChartFile(versionB, parts), zyn::chartfile::ChartFileError::None);
    CComPtr<IZynApp> app = zyn::test::NewApp();
    ASSERT_TRUE(app);
    std::string partial;
    CComPtr<IZynChart> loaded = zyn::chartfile::LoadChartBytes(app, parts.chart, &partial);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(partial, "");
    LONG count = 0;
    loaded->get_ChannelCount(&count);
    EXPECT_EQ(count, channels);
    loaded->Detach();
    std::printf(
        "[ kill -9 ] %d kills while saving %d x %d samples (%zu bytes): %d left version A, %d version B; "
        "%d kills found a temporary file of the save; %zu left after the next save\n",
        kills, channels, samples, versionA.size(), asA, asB, killedMidWrite, left.size());
    fs::remove_all(folder);
}

} // namespace
