// The option pages' rules on their own: the rate slider and edit, the view-size slider and span
// text, the time formats, and the two colour palettes.

#include "display/ChartColours.h"
#include "display/ChartRenderer.h"
#include "options/ColourPalette.h"
#include "options/DisplayPage.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace zyn::options;

namespace {
constexpr double kMinute = 1.0 / 1440;
}

TEST(RateRules, SliderPositionsSelectTheSeventeenSteps) {
    EXPECT_EQ(RateSecondsAtSlider(0), 0.5) << "step 0 stands for half a second";
    EXPECT_EQ(RateSecondsAtSlider(6), 0.5);
    EXPECT_EQ(RateSecondsAtSlider(7), 1.0);
    EXPECT_EQ(RateSecondsAtSlider(50), 30.0);
    EXPECT_EQ(RateSecondsAtSlider(63), 60.0);
    EXPECT_EQ(RateSecondsAtSlider(99), 500.0);
    EXPECT_EQ(RateSecondsAtSlider(100), 1000.0);
    EXPECT_EQ(RateSecondsAtSlider(-5), 0.5);
    EXPECT_EQ(RateSecondsAtSlider(250), 1000.0);
}

// A value typed in the edit moves the slider to a position that reads the same step back; a
// slider placed at step * 100 / 17 would read one step lower (10 s showing as 5 s).
TEST(RateRules, TheSliderSetFromAValueReadsThatValueBack) {
    for (std::size_t i = 1; i < RateTable().size(); ++i) {
        const double seconds = RateTable()[i];
        EXPECT_EQ(RateSecondsAtSlider(RateSliderPosition(seconds)), seconds) << seconds << " s";
    }
    EXPECT_EQ(RateSliderPosition(0.7), 0) << "below one second";
    EXPECT_EQ(RateSecondsAtSlider(RateSliderPosition(7.0)), 10.0) << "the first step not below";
    EXPECT_EQ(RateSliderPosition(5000.0), 100);
}

TEST(RateRules, TypedRatesAreClampedAndTruncatedToMilliseconds) {
    EXPECT_EQ(RateMilliseconds(0.05), 200u);
    EXPECT_EQ(RateMilliseconds(100000.0), 86400000u);
    EXPECT_EQ(RateMilliseconds(1.2349), 1234u);
    EXPECT_EQ(RateMilliseconds(-3.0), 200u);
    EXPECT_EQ(RateMilliseconds(std::nan("")), 200u);
    EXPECT_EQ(RateMilliseconds(INFINITY), 86400000u);
    EXPECT_DOUBLE_EQ(RateSecondsOf(1000), 1.0);
    EXPECT_DOUBLE_EQ(RateSecondsOf(50), 0.2) << "a stored rate below the range shows clamped";
    EXPECT_EQ(FormatRateSeconds(0.2), QStringLiteral("0.2"));
    EXPECT_EQ(FormatRateSeconds(86400), QStringLiteral("86400"));
}

TEST(ViewSizeRules, SliderCoversTheZoomLevelsAndOptionallyAllData) {
    const int levels = int(CChartRenderer::SpanTable().size());
    EXPECT_EQ(ViewLevelAtSlider(0, levels), 0);
    EXPECT_EQ(ViewLevelAtSlider(100, levels), levels - 1);
    EXPECT_EQ(ViewLevelAtSlider(100, levels + 1), levels) << "the extra last level is all data";
    for (int n : {levels, levels + 1})
        for (int level = 0; level < n; ++level)
            EXPECT_EQ(ViewLevelAtSlider(ViewSliderPosition(level, n), n), level) << level << " of " << n;
    EXPECT_EQ(ViewLevelOf(3 * kMinute), 2);
    EXPECT_EQ(ViewLevelOf(4 * kMinute), 3) << "a span between levels shows the next wider one";
    EXPECT_EQ(ViewLevelOf(100.0), levels - 1);
}

TEST(ViewSizeRules, SpansAreTypedAsDurations) {
    EXPECT_NEAR(*ParseSpan(QStringLiteral("3.00 minutes")), 3 * kMinute, 1e-15);
    EXPECT_NEAR(*ParseSpan(QStringLiteral("1.00 hour")), 60 * kMinute, 1e-15);
    EXPECT_NEAR(*ParseSpan(QStringLiteral("15.00 days")), 15.0, 1e-12);
    EXPECT_NEAR(*ParseSpan(QStringLiteral(" 90 seconds ")), 1.5 * kMinute, 1e-15);
    EXPECT_NEAR(*ParseSpan(QStringLiteral("2h")), 120 * kMinute, 1e-15);
    EXPECT_NEAR(*ParseSpan(QStringLiteral("10")), 10 * kMinute, 1e-15) << "a bare number is minutes";
    EXPECT_NEAR(*ParseSpan(QStringLiteral("5 sec")), kMinute, 1e-15) << "clamped to the shortest zoom";
    EXPECT_NEAR(*ParseSpan(QStringLiteral("40 days")), 15.0, 1e-12) << "clamped to the widest zoom";
    EXPECT_FALSE(ParseSpan(QStringLiteral("soon")));
    EXPECT_FALSE(ParseSpan(QStringLiteral("3 ms")));
    EXPECT_FALSE(ParseSpan(QStringLiteral("3 minutes later")));
    EXPECT_FALSE(ParseSpan(QString()));
}

TEST(TimeFormatRules, EachModeHasItsListAndClamp) {
    EXPECT_EQ(TimeFormats(0), (QStringList{"hh:mm:ss", "hh:mm"}));
    EXPECT_EQ(TimeFormats(1), (QStringList{"hh:mm:ss", "mm:ss", "ss"}));
    EXPECT_EQ(ClampTimeFormat(0, 5), 1);
    EXPECT_EQ(ClampTimeFormat(1, 5), 2);
    EXPECT_EQ(ClampTimeFormat(1, -1), 0);
    EXPECT_EQ(ClampTimeFormat(1, 0xFFFFFFFFll), 2);
}

TEST(Palettes, ChartAndReportPalettesTakeTheirNamesFromTheTextLists) {
    const Palette chart = LoadPalette(PaletteKind::Chart);
    const Palette report = LoadPalette(PaletteKind::Report);
    EXPECT_EQ(chart[2].name, QStringLiteral("Burl Wood"));
    EXPECT_EQ(chart[2].colour, ZynRGB(222, 184, 135));
    EXPECT_EQ(chart[4].colour, ZynRGB(47, 79, 69));
    EXPECT_EQ(chart[11].name, QStringLiteral("Plum"));
    EXPECT_EQ(chart[12].name, QStringLiteral("None - Windows Default"));
    EXPECT_EQ(chart[13].name, QStringLiteral("Custom  (Double click to Edit)"));
    EXPECT_EQ(report[2].name, QStringLiteral("Just Peachy"));
    EXPECT_EQ(report[9].colour, ZynRGB(138, 176, 238));
    EXPECT_EQ(report[11].name, QStringLiteral("Midnight"));
    EXPECT_EQ(report[11].colour, ZynRGB(64, 0, 64));
    EXPECT_EQ(report[12].name, QStringLiteral("None (Windows Default)"));
    EXPECT_EQ(report[13].name, QStringLiteral("Custom (Double click to Edit)"));
    for (int i = 0; i < kPaletteSize; ++i) {
        EXPECT_EQ(chart[std::size_t(i)].index, i);
        EXPECT_FALSE(chart[std::size_t(i)].name.isEmpty());
        EXPECT_FALSE(report[std::size_t(i)].name.isEmpty());
    }
    EXPECT_EQ(chart[12].colour, 0xFFFFFFu) << "white until chosen";
    EXPECT_EQ(report[13].colour, 0xFFFFFFu);
}

TEST(Palettes, StoredIndexesAreClampedToTheFourteenEntries) {
    EXPECT_EQ(ClampPaletteIndex(0), 0);
    EXPECT_EQ(ClampPaletteIndex(13), 13);
    EXPECT_EQ(ClampPaletteIndex(20), 13);
    EXPECT_EQ(ClampPaletteIndex(0xFFFFFFFFu), 13);
}
