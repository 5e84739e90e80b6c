#include "display/DisplayFormat.h"

#include "display/ChartColours.h"
#include "resources/ZynStrings.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr double kSecond = 1.0 / 86400;
constexpr double kMinute = 1.0 / 1440;
constexpr double kHour = 1.0 / 24;

std::string Dur(double d, int style) {
    return FormatDuration(d, style).toStdString();
}

TEST(DisplayFormat, DurationStyles) {
    const double d = 1 + 2 * kHour + 3 * kMinute + 4 * kSecond;
    EXPECT_EQ(Dur(d, 0), "26:03:04");
    EXPECT_EQ(Dur(d, 1), "1563:04");
    EXPECT_EQ(Dur(d, 2), "93784");
    EXPECT_EQ(Dur(d, 3), "1 day, 2-hours, 3 minutes, 4 seconds");
    EXPECT_EQ(Dur(-d, 0), "26:03:04");
    EXPECT_EQ(Dur(d, 4), "");
    EXPECT_EQ(Dur(d, -1), "");
    QString out = "x";
    EXPECT_TRUE(FormatDuration(d, 9, out));
    EXPECT_TRUE(out.isEmpty());
}

TEST(DisplayFormat, DurationWords) {
    EXPECT_EQ(Dur(0, 3), "0 sec");
    EXPECT_EQ(Dur(kSecond, 3), "1 second");
    EXPECT_EQ(Dur(2, 3), "2 days");
    EXPECT_EQ(Dur(1 + 2 * kHour, 3), "1 day, 2-hours");
    EXPECT_EQ(Dur(kHour, 3), "1-hour");
    // Exact fractions of a day must not lose a unit to binary rounding.
    EXPECT_EQ(Dur(10 * kMinute, 0), "0:10:00");
    EXPECT_EQ(Dur(3 * kMinute, 1), "3:00");
    // A difference of two dates loses about a microsecond to rounding; whole seconds stay whole.
    const double start = 45000.5, stop = start + 10 * kSecond;
    ASSERT_LT((stop - start) * 86400, 10.0);
    EXPECT_EQ(Dur(stop - start, 3), "10 seconds");
    EXPECT_EQ(Dur((start + 5 * kSecond) - start, 1), "0:05");
    EXPECT_EQ(Dur(0.4 / 86400000, 3), "0 sec");
    // Non-finite durations write zero rather than undefined conversions.
    EXPECT_EQ(Dur(std::numeric_limits<double>::infinity(), 0), "0:00:00");
}

TEST(DisplayFormat, Spans) {
    EXPECT_EQ(FormatSpan(3 * kMinute).toStdString(), "3.00 minutes");
    EXPECT_EQ(FormatSpan(kHour).toStdString(), "1.00 hour");
    EXPECT_EQ(FormatSpan(15).toStdString(), "15.00 days");
    EXPECT_EQ(FormatSpan(kMinute).toStdString(), "1.00 minute");
    EXPECT_EQ(FormatSpan(90 * kSecond).toStdString(), "1.50 minutes");
    EXPECT_EQ(FormatSpan(-1).toStdString(), "1.00 day");
    EXPECT_EQ(FormatSpan(30 * kSecond).toStdString(), "30.00 seconds");
}

TEST(DisplayFormat, NumbersAndTrimming) {
    EXPECT_EQ(FormatNumber(1000).toStdString(), "1,000");
    EXPECT_EQ(FormatNumber(999).toStdString(), "999");
    EXPECT_EQ(FormatNumber(-0.5).toStdString(), "-0.500");
    QString s = "keep";
    SetTrimmed(s, nullptr);
    EXPECT_TRUE(s.isEmpty());
    const QString text = "  a b \t\n";
    SetTrimmed(s, &text);
    EXPECT_EQ(s.toStdString(), "a b");
}

TEST(DisplayFormat, TimesUseTheLocaleTexts) {
    // 1 January 2000 12:34:56: not today, so time and date.
    const double t = 36526.0 + (12 * 3600 + 34 * 60 + 56) * kSecond;
    const QString both = FormatTimeOrDateTime(t);
    EXPECT_TRUE(both.contains("12:34:56")) << both.toStdString();
    EXPECT_EQ(both, FormatTimeDate(t));
    EXPECT_GT(both.size(), 8);
}

TEST(ChartColoursMath, ShiftsMasksAndBlends) {
    EXPECT_EQ(ContrastShift(ZynRGB(0, 0, 0), 80), ZynRGB(80, 80, 80));
    EXPECT_EQ(ContrastShift(ZynRGB(255, 255, 255), 80), ZynRGB(175, 175, 175));
    EXPECT_EQ(ContrastShift(ZynRGB(126, 127, 0), 16), ZynRGB(142, 111, 16));
    EXPECT_EQ(AutoTextColour(0x000000), 0xFFFFFFu);
    EXPECT_EQ(AutoTextColour(0xFFFFFF), 0x000000u);
    EXPECT_EQ(AutoTextColour(ZynRGB(127, 128, 10)), ZynRGB(128, 0, 245));
    EXPECT_EQ(MaskColour(0xFFFFFF, 0x7f), 0x7F7F7Fu);
    EXPECT_EQ(Blend(ZynRGB(200, 0, 100), ZynRGB(0, 255, 100), 50), ZynRGB(100, 127, 100));
    EXPECT_EQ(Blend(ZynRGB(10, 20, 30), ZynRGB(0, 255, 0), 150), ZynRGB(0, 255, 0));
    EXPECT_EQ(Blend(ZynRGB(10, 20, 30), ZynRGB(0, 255, 0), -5), ZynRGB(10, 20, 30));
    // Truncation toward zero on the way down: 5 + (0 - 5) * 50 / 100 = 5 - 2 = 3.
    EXPECT_EQ(ZynRed(Blend(ZynRGB(5, 0, 0), 0, 50)), 3);
}

TEST(ZynStringTable, IsSortedAndHoldsTheUnitWords) {
    EXPECT_TRUE(ZynStringTableIsSorted());
    EXPECT_EQ(LoadZynString(50090).split('\n').size(), 6);
    EXPECT_TRUE(LoadZynString(1).isEmpty());
}

} // namespace
