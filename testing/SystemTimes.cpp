#include "SystemTimes.h"

#include <gtest/gtest.h>

namespace zyn::test {

SYSTEMTIME MakeSystemTime(int year, int month, int day, int hour, int minute, int second, int ms) {
    SYSTEMTIME st{};
    st.wYear = WORD(year);
    st.wMonth = WORD(month);
    st.wDay = WORD(day);
    st.wHour = WORD(hour);
    st.wMinute = WORD(minute);
    st.wSecond = WORD(second);
    st.wMilliseconds = WORD(ms);
    return st;
}

double OleDate(int year, int month, int day, int hour, int minute, int second, int ms) {
    const SYSTEMTIME st = MakeSystemTime(year, month, day, hour, minute, second);
    double date = 0;
    EXPECT_TRUE(SystemTimeToVariantTime(&st, &date))
        << year << "-" << month << "-" << day << " " << hour << ":" << minute << ":" << second;
    // Before the epoch the fraction counts away from zero, as the conversion writes it.
    const double fraction = ms / 86400000.0;
    return date < 0 ? date - fraction : date + fraction;
}

} // namespace zyn::test
