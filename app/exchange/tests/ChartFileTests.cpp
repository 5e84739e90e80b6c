#include "exchange/ChartFile.h"

#include "com/ccombstr.h"
#include "testing/TempSettingsStore.h"
#include "testing/TestObjectLibrary.h"
#include "utils/ZynFiles.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace zyn::chartfile;

namespace {

std::vector<std::uint8_t> Bytes(std::initializer_list<int> list) {
    std::vector<std::uint8_t> v;
    for (int b : list)
        v.push_back(std::uint8_t(b));
    return v;
}

std::array<std::uint8_t, kSettingsBytes> Pattern() {
    std::array<std::uint8_t, kSettingsBytes> s{};
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = std::uint8_t(i * 7 + 1);
    return s;
}

void Append(std::vector<std::uint8_t>& v, std::span<const std::uint8_t> more) {
    v.insert(v.end(), more.begin(), more.end());
}

std::filesystem::path TempDir() {
    auto dir = std::filesystem::temp_directory_path() / ("tlon-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir;
}

} // namespace

TEST(ChartFile, WritesVersionThreeByteForByte) {
    const auto settings = Pattern();
    const auto file = ComposeChartFile(Bytes({0xAA, 0xBB, 0xCC}), settings);
    auto expected = Bytes({0x03, 0x00, 0x00, 0x00, 0x5A, 0x79, 0x6E, 0x20, 0x03, 0x00, 0x00, 0x00, 0xAA, 0xBB,
                           0xCC, 0x44, 0x01, 0x00, 0x00});
    Append(expected, settings);
    EXPECT_EQ(file, expected);
}

TEST(ChartFile, ReadsAllThreeVersions) {
    const auto settings = Pattern();
    ChartFileParts parts;

    auto v3 = ComposeChartFile(Bytes({1, 2}), settings);
    ASSERT_EQ(ParseChartFile(v3, parts), ChartFileError::None);
    EXPECT_EQ(parts.version, 3u);
    EXPECT_EQ(std::vector<std::uint8_t>(parts.chart.begin(), parts.chart.end()), Bytes({1, 2}));
    ASSERT_TRUE(parts.hasSettings);
    EXPECT_TRUE(std::equal(parts.settings.begin(), parts.settings.end(), settings.begin(), settings.end()));

    // Version 2: no signature; a settings part shorter than the record is accepted as it stands.
    auto v2 = Bytes({2, 0, 0, 0, 1, 0, 0, 0, 0x7F, 4, 0, 0, 0, 9, 8, 7, 6});
    ASSERT_EQ(ParseChartFile(v2, parts), ChartFileError::None);
    EXPECT_EQ(parts.version, 2u);
    EXPECT_EQ(parts.chart.size(), 1u);
    EXPECT_EQ(parts.settings.size(), 4u);
    EXPECT_EQ(parts.settings[0], 9);

    // Version 1: neither signature nor settings.
    auto v1 = Bytes({1, 0, 0, 0, 2, 0, 0, 0, 5, 6});
    ASSERT_EQ(ParseChartFile(v1, parts), ChartFileError::None);
    EXPECT_EQ(parts.version, 1u);
    EXPECT_FALSE(parts.hasSettings);
    EXPECT_EQ(parts.chart.size(), 2u);
}

TEST(ChartFile, RejectsMalformedFiles) {
    ChartFileParts parts;
    EXPECT_EQ(ParseChartFile({}, parts), ChartFileError::Truncated);
    EXPECT_EQ(ParseChartFile(Bytes({4, 0, 0, 0, 0x5A, 0x79, 0x6E, 0x20, 0, 0, 0, 0}), parts),
              ChartFileError::BadVersion);
    EXPECT_EQ(ParseChartFile(Bytes({0, 0, 0, 0}), parts), ChartFileError::BadVersion);
    EXPECT_EQ(ParseChartFile(Bytes({3, 0, 0, 0, 0x5A, 0x79, 0x6E, 0x21, 0, 0, 0, 0}), parts),
              ChartFileError::BadSignature);
    EXPECT_EQ(ParseChartFile(Bytes({3, 0, 0, 0, 0x5A, 0x79}), parts), ChartFileError::Truncated);
    // An announced length far beyond the file is refused without reserving it.
    EXPECT_EQ(ParseChartFile(Bytes({3, 0, 0, 0, 0x5A, 0x79, 0x6E, 0x20, 0xFF, 0xFF, 0xFF, 0xFF, 1}), parts),
              ChartFileError::ShortChart);
    EXPECT_EQ(ParseChartFile(Bytes({2, 0, 0, 0, 1, 0, 0, 0, 1}), parts), ChartFileError::Truncated);
    EXPECT_EQ(ParseChartFile(Bytes({2, 0, 0, 0, 0, 0, 0, 0, 0x45, 0x01, 0, 0}), parts),
              ChartFileError::SettingsTooLong);
    EXPECT_EQ(ParseChartFile(Bytes({2, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 1, 2}), parts),
              ChartFileError::Truncated);
    EXPECT_EQ(parts.version, 0u) << "a rejected file hands out nothing";
}

TEST(ChartFile, NamesTheChartAfterTheFile) {
    EXPECT_EQ(ChartNameFromPath("/tmp/x/disk.tlon"), u"disk");
    EXPECT_EQ(ChartNameFromPath("a.csv.tlon"), u"a.csv");
    EXPECT_EQ(ChartNameFromPath("/tmp/noext"), u"noext");
    EXPECT_EQ(ChartNameFromPath("/tmp/.tlon"), u"");
}

TEST(ChartFile, AtomicWriteReplacesAndKeepsOnFailure) {
    const auto dir = TempDir();
    const auto path = (dir / "chart.tlon").string();
    ASSERT_TRUE(ZynSaveFile(path, Bytes({1, 2, 3})));
    ASSERT_TRUE(ZynSaveFile(path, Bytes({4, 5})));
    std::vector<std::uint8_t> back;
    ASSERT_TRUE(ZynReadRegularFile(path, back, kMaxFileBytes));
    EXPECT_EQ(back, Bytes({4, 5}));
    // A folder that does not exist: the write fails and leaves no temporary file behind.
    EXPECT_FALSE(ZynSaveFile((dir / "missing" / "x.tlon").string(), Bytes({1})));
    std::size_t entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir))
        ++entries;
    EXPECT_EQ(entries, 1u);
    EXPECT_FALSE(ZynReadRegularFile((dir / "none").string(), back, kMaxFileBytes));
    EXPECT_FALSE(ZynReadRegularFile(path, back, 1)) << "a file above the limit is not read";
    std::filesystem::remove_all(dir);
}

TEST(ChartFile, ChartBytesRoundTripThroughTheApplication) {
    zyn::test::TempSettingsStore store;
    CComPtr<IZynApp> app = zyn::test::NewApp();
    ASSERT_TRUE(app);
    CComPtr<IZynChart> chart;
    ASSERT_EQ(app->AddChart(&chart), S_OK);
    chart->put_Name(CComBSTR(u"Saved"));
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(SaveChartBytes(chart, bytes));
    ASSERT_FALSE(bytes.empty());
    CComPtr<IZynChart> loaded = LoadChartBytes(app, bytes);
    ASSERT_TRUE(loaded);
    CComBSTR name;
    ASSERT_EQ(loaded->get_Name(&name), S_OK);
    EXPECT_EQ(name.View(), std::u16string_view(u"Saved"));
    EXPECT_FALSE(LoadChartBytes(app, Bytes({1, 2, 3, 4})));
    chart->Detach();
    loaded->Detach();
}
