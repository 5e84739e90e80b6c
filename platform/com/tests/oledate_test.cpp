#include "com/oledate.h"
#include "com/variant.h"
#include "testing/SystemTimes.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using zyn::test::MakeSystemTime;
using zyn::test::OleDate;

struct Fields {
    int y, mo, d, h, mi, s, dow;
};

Fields FromDate(double t) {
    SYSTEMTIME st{};
    EXPECT_TRUE(VariantTimeToSystemTime(t, &st)) << t;
    EXPECT_EQ(st.wMilliseconds, 0);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wDayOfWeek};
}

#define EXPECT_FIELDS(f, Y, MO, D, H, MI, S)                                                                 \
    do {                                                                                                     \
        Fields got_ = (f);                                                                                   \
        EXPECT_EQ(got_.y, Y);                                                                                \
        EXPECT_EQ(got_.mo, MO);                                                                              \
        EXPECT_EQ(got_.d, D);                                                                                \
        EXPECT_EQ(got_.h, H);                                                                                \
        EXPECT_EQ(got_.mi, MI);                                                                              \
        EXPECT_EQ(got_.s, S);                                                                                \
    } while (0)

TEST(AutomationDate, DaysAroundTheEpoch) {
    EXPECT_EQ(OleDate(1899, 12, 30), 0.0);
    EXPECT_EQ(OleDate(1899, 12, 31, 6), 1.25);
    EXPECT_EQ(OleDate(1899, 12, 29), -1.0);
    EXPECT_EQ(OleDate(1899, 12, 29, 6), -1.25); // the fraction counts forward from midnight
    EXPECT_EQ(OleDate(1899, 12, 28, 18), -2.75);
    EXPECT_EQ(OleDate(1900, 1, 1), 2.0);
    EXPECT_EQ(OleDate(1900, 3, 1), 61.0); // 1900 was not a leap year

    EXPECT_FIELDS(FromDate(0.0), 1899, 12, 30, 0, 0, 0);
    EXPECT_FIELDS(FromDate(-1.25), 1899, 12, 29, 6, 0, 0);
    EXPECT_FIELDS(FromDate(-0.25), 1899, 12, 30, 6, 0, 0); // -0.25 and 0.25 are the same moment
    EXPECT_FIELDS(FromDate(-2.75), 1899, 12, 28, 18, 0, 0);
    EXPECT_EQ(FromDate(0.0).dow, 6);  // Saturday
    EXPECT_EQ(FromDate(-1.5).dow, 5); // Friday
    EXPECT_EQ(FromDate(-7.0).dow, 6);
}

TEST(AutomationDate, MillenniumAndLeapDays) {
    EXPECT_EQ(OleDate(2000, 1, 1), 36526.0);
    EXPECT_EQ(OleDate(2000, 1, 1, 12), 36526.5);
    EXPECT_EQ(OleDate(2000, 2, 29), 36585.0);
    EXPECT_EQ(OleDate(1999, 12, 31, 23, 59, 59), 36526.0 - 1.0 / 86400);
    EXPECT_FIELDS(FromDate(36526.5), 2000, 1, 1, 12, 0, 0);
    EXPECT_FIELDS(FromDate(36585.0), 2000, 2, 29, 0, 0, 0);
    EXPECT_FIELDS(FromDate(36526.0 - 1.0 / 86400), 1999, 12, 31, 23, 59, 59);
    SYSTEMTIME st = MakeSystemTime(2100, 2, 29);
    double t;
    EXPECT_FALSE(SystemTimeToVariantTime(&st, &t));
}

TEST(AutomationDate, SubSecondsRoundToTheNearestSecondAcrossMidnight) {
    const double halfSecond = 0.5 / 86400, almost = 0.4 / 86400;
    EXPECT_FIELDS(FromDate(36526.0 - almost), 2000, 1, 1, 0, 0, 0);
    EXPECT_FIELDS(FromDate(36526.5 + halfSecond * 0.98), 2000, 1, 1, 12, 0, 0);
    EXPECT_FIELDS(FromDate(36526.5 + halfSecond * 1.02), 2000, 1, 1, 12, 0, 1);
    // Before the epoch: 29 December 23:59:59.6 rounds up to 30 December, not back to the 28th.
    EXPECT_FIELDS(FromDate(-1.0 - (1.0 - almost)), 1899, 12, 30, 0, 0, 0);
    EXPECT_FIELDS(FromDate(-2.0 - (1.0 - almost)), 1899, 12, 29, 0, 0, 0);
    // Between -1 and 0 the value is 30 December, so rounding up reaches the 31st.
    EXPECT_FIELDS(FromDate(-(1.0 - almost)), 1899, 12, 31, 0, 0, 0);
}

TEST(AutomationDate, RangeAndBadInput) {
    EXPECT_FIELDS(FromDate(OleDate(100, 1, 1)), 100, 1, 1, 0, 0, 0);
    EXPECT_FIELDS(FromDate(OleDate(9999, 12, 31, 23, 59, 59)), 9999, 12, 31, 23, 59, 59);
    SYSTEMTIME st{};
    EXPECT_FALSE(VariantTimeToSystemTime(OleDate(9999, 12, 31) + 1.0, &st));
    EXPECT_FALSE(
        VariantTimeToSystemTime(OleDate(9999, 12, 31) + 1.0 - 0.1 / 86400, &st)); // rounds past the end
    EXPECT_FALSE(VariantTimeToSystemTime(NAN, &st));
    EXPECT_FALSE(VariantTimeToSystemTime(INFINITY, &st));
    EXPECT_FALSE(VariantTimeToSystemTime(0.0, nullptr));
    double t;
    SYSTEMTIME bad = MakeSystemTime(99, 12, 31);
    EXPECT_FALSE(SystemTimeToVariantTime(&bad, &t));
    bad = MakeSystemTime(2000, 13, 1);
    EXPECT_FALSE(SystemTimeToVariantTime(&bad, &t));
    bad = MakeSystemTime(2000, 1, 1, 0, 60);
    EXPECT_FALSE(SystemTimeToVariantTime(&bad, &t));
    EXPECT_FALSE(SystemTimeToVariantTime(nullptr, &t));
}

TEST(AutomationDate, EveryDayOfFourCenturiesRoundTrips) {
    for (long day = OleDate(1800, 1, 1); day <= OleDate(2200, 1, 1); day += 1) {
        const double t = double(day) + (day < 0 ? -0.75 : 0.75); // 18:00 on that day
        SYSTEMTIME st{};
        ASSERT_TRUE(VariantTimeToSystemTime(t, &st)) << day;
        ASSERT_EQ(st.wHour, 18) << day;
        double back = 0;
        ASSERT_TRUE(SystemTimeToVariantTime(&st, &back)) << day;
        ASSERT_EQ(back, t) << day;
    }
}

TEST(AutomationDate, LocalTimeIsTheZoneTime) {
    // Tests run with TZ=UTC: local time and UTC agree to within the two readings' gap.
    SYSTEMTIME local, utc;
    GetLocalTime(&local);
    GetSystemTime(&utc);
    double a, b;
    ASSERT_TRUE(SystemTimeToVariantTime(&local, &a));
    ASSERT_TRUE(SystemTimeToVariantTime(&utc, &b));
    EXPECT_NEAR(a, b, 2.0 / 86400);
    EXPECT_LT(local.wMilliseconds, 1000);
}

TEST(VariantDate, ConvertsToTextAndBack) {
    EXPECT_EQ(zyn::com::FormatVariantDate(36526.5), u"1/1/2000 12:00:00 PM");
    EXPECT_EQ(zyn::com::FormatVariantDate(0.0), u"12/30/1899");
    EXPECT_EQ(zyn::com::FormatVariantDate(0.25), u"6:00:00 AM");
    EXPECT_EQ(zyn::com::FormatVariantDate(-1.25), u"12/29/1899 6:00:00 AM");
    EXPECT_EQ(zyn::com::ParseVariantDate(u"1/1/2000 12:00:00 PM"), 36526.5);
    EXPECT_EQ(zyn::com::ParseVariantDate(u"1899-12-29 06:00"), -1.25);
    EXPECT_EQ(zyn::com::ParseVariantDate(u"2001-02-29"), std::nullopt);
    EXPECT_EQ(zyn::com::ParseVariantDate(u"12:61"), std::nullopt);

    VARIANT v, s;
    VariantInit(&v);
    VariantInit(&s);
    v.vt = VT_DATE;
    v.date = -1.25;
    ASSERT_EQ(VariantChangeType(&s, &v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(zyn::com::BstrView(s.bstrVal), u"12/29/1899 6:00:00 AM");
    VARIANT back;
    VariantInit(&back);
    ASSERT_EQ(VariantChangeType(&back, &s, 0, VT_DATE), S_OK);
    EXPECT_EQ(back.date, -1.25);
    VariantClear(&s);
    VariantClear(&back);
}

} // namespace
