#include "utils/ZynHighResTimer.h"
#include "utils/ZynRelTime.h"
#include "utils/ZynTime.h"

#include "sync/tick.h"
#include "testing/SystemTimes.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>
#include <thread>

namespace {

using zyn::test::MakeSystemTime;

std::string Narrow(const char16_t* s) {
    std::string out;
    while (*s)
        out.push_back(static_cast<char>(*s++));
    return out;
}

TEST(TimeValue, EpochAndMillenniumWithMilliseconds) {
    SYSTEMTIME epoch = MakeSystemTime(1899, 12, 30);
    EXPECT_EQ(GetTimeAsDouble(&epoch), 0.0);
    SYSTEMTIME noon = MakeSystemTime(2000, 1, 1, 12, 0, 0, 500);
    EXPECT_DOUBLE_EQ(GetTimeAsDouble(&noon), 36526.5 + 500 * 1.1574074074074074e-08);
    SYSTEMTIME dayAfter = MakeSystemTime(1899, 12, 31, 6);
    EXPECT_DOUBLE_EQ(GetTimeAsDouble(&dayAfter), 1.25);
}

TEST(TimeValue, MillisecondsBeforeTheEpochMoveTheTimeForward) {
    // 29 December 1899 06:00:00.500 is -1.25 minus half a second: the fraction counts forward.
    SYSTEMTIME st = MakeSystemTime(1899, 12, 29, 6, 0, 0, 500);
    double t = GetTimeAsDouble(&st);
    EXPECT_DOUBLE_EQ(t, -1.25 - 500 * kZynOneMillisecond);
    SYSTEMTIME back{};
    ASSERT_TRUE(DoubleToSysTime(t, &back));
    EXPECT_EQ(back.wDay, 29);
    EXPECT_EQ(back.wHour, 6);
    EXPECT_EQ(back.wMinute, 0);
    EXPECT_EQ(back.wSecond, 1); // rounded to the nearest second, not back to 05:59:59
}

TEST(TimeValue, InvalidFieldsGiveZero) {
    SYSTEMTIME bad = MakeSystemTime(2023, 2, 29);
    EXPECT_EQ(GetTimeAsDouble(&bad), 0.0);
}

TEST(TimeValue, NowIsLocalTime) {
    SYSTEMTIME before;
    GetLocalTime(&before);
    double now = GetTimeAsDouble(nullptr);
    // Tests run with TZ=UTC, so the local date is today's in UTC.
    EXPECT_NEAR(now, GetTimeAsDouble(&before), 2.0 / 86400);
    EXPECT_GT(now, 45000.0); // after 2023
}

TEST(TimeValue, DoubleToSysTimeDropsTheSubSecondPart) {
    SYSTEMTIME st{};
    ASSERT_TRUE(DoubleToSysTime(36526.5 + 250 * kZynOneMillisecond, &st));
    EXPECT_EQ(st.wYear, 2000);
    EXPECT_EQ(st.wMonth, 1);
    EXPECT_EQ(st.wDay, 1);
    EXPECT_EQ(st.wDayOfWeek, 6); // Saturday
    EXPECT_EQ(st.wHour, 12);
    EXPECT_EQ(st.wSecond, 0);
    EXPECT_EQ(st.wMilliseconds, 0);
    EXPECT_FALSE(DoubleToSysTime(NAN, &st));
    EXPECT_FALSE(DoubleToSysTime(1e9, &st));
    EXPECT_FALSE(DoubleToSysTime(0.0, nullptr));
}

class LocaleText : public ::testing::Test {
protected:
    void SetUp() override { std::setlocale(LC_ALL, "C.UTF-8"); }
};

TEST_F(LocaleText, TimeAndDateCountTheirTerminators) {
    SYSTEMTIME st = MakeSystemTime(2000, 1, 1, 13, 5, 9);
    char16_t buf[64];
    EXPECT_EQ(GetLocaleTime(&st, buf, 64), 9);
    EXPECT_EQ(Narrow(buf), "13:05:09");
    EXPECT_EQ(GetLocaleDate(&st, buf, 64), 9);
    EXPECT_EQ(Narrow(buf), "01/01/00");
    EXPECT_EQ(GetLocaleTimeDate(&st, buf, 64), 18);
    EXPECT_EQ(Narrow(buf), "13:05:09  01/01/00");
}

TEST_F(LocaleText, DoubleOverloadsConvertFirst) {
    char16_t buf[64];
    EXPECT_EQ(GetLocaleTimeDate(1.75, buf, 64), 18);
    EXPECT_EQ(Narrow(buf), "18:00:00  12/31/99");
    EXPECT_EQ(GetLocaleTime(NAN, buf, 64), 0);
    EXPECT_EQ(GetLocaleDate(-1e7, buf, 64), 0);
    EXPECT_EQ(GetLocaleTimeDate(INFINITY, buf, 64), 0);
}

TEST_F(LocaleText, TooSmallBuffersAndBadFieldsFail) {
    SYSTEMTIME st = MakeSystemTime(2000, 1, 1, 13, 5, 9);
    char16_t buf[32];
    EXPECT_EQ(GetLocaleTime(&st, buf, 8), 0); // 8 characters and the terminator do not fit
    EXPECT_EQ(GetLocaleTime(&st, buf, 9), 9);
    // Time (9) + one more space + date (9) needs 19 in all.
    EXPECT_EQ(GetLocaleTimeDate(&st, buf, 18), 0);
    EXPECT_EQ(GetLocaleTimeDate(&st, buf, 19), 18);
    EXPECT_EQ(GetLocaleTime(&st, nullptr, 32), 0);
    SYSTEMTIME badClock = MakeSystemTime(2000, 1, 1, 24);
    EXPECT_EQ(GetLocaleTime(&badClock, buf, 32), 0);
    SYSTEMTIME badDate = MakeSystemTime(2001, 2, 29);
    EXPECT_EQ(GetLocaleDate(&badDate, buf, 32), 0);
}

TEST(RelTime, FirstReadingStartsTheTimer) {
    CZynRelTime t;
    EXPECT_FALSE(t.IsRunning());
    EXPECT_LT(t.GetRelTime(), 50u);
    EXPECT_TRUE(t.IsRunning());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    DWORD r = t.GetRelTime();
    EXPECT_GE(r, 20u);
    EXPECT_LT(r, 2000u);
    t.Reset();
    EXPECT_FALSE(t.IsRunning());
}

TEST(RelTime, SeededOffsetCrossesTheWrap) {
    CZynRelTime t;
    t.SeedTickCount(0xFFFFFFFFu - CZynRelTime::int_GetTickCount() - 5); // 5 ms before the wrap
    t.Start();
    EXPECT_GT(t.TickCount(), 0xFFFFFF00u);
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
    EXPECT_LT(t.TickCount(), 0x1000u); // wrapped
    DWORD r = t.GetRelTime();
    EXPECT_GE(r, 25u);
    EXPECT_LT(r, 2000u);
    CZynRelTime copy;
    copy = t;
    EXPECT_TRUE(copy.IsRunning());
    EXPECT_GE(copy.GetRelTime(), r);
    t.Reset();
    EXPECT_LT(t.TickCount() - CZynRelTime::int_GetTickCount(), 5u); // the offset went too
}

TEST(RelTime, ProcessTickWrapIsInvisibleToTheDifference) {
    zyn::sync::SetTickCountOffset(0xFFFFFFFFu - DWORD(GetTickCount64()) - 5);
    CZynRelTime t;
    t.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
    DWORD r = t.GetRelTime();
    zyn::sync::SetTickCountOffset(0);
    EXPECT_GE(r, 25u);
    EXPECT_LT(r, 2000u);
}

TEST(HighResTimer, ElapsedFreezesAtStop) {
    CZynHighResTimer t;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    LONGLONG e = t.Elapsed();
    EXPECT_GT(e, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(t.Elapsed(), e);
    LONGLONG later = t.Stop();
    EXPECT_GT(later, e);
    t.Start();
    EXPECT_LT(t.Elapsed(), 0); // the stop count is older than the new start
}

} // namespace
