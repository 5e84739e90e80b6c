#include "ZynTime.h"

#include "com/bstr.h"

#include <langinfo.h>

#include <ctime>

namespace {

bool ValidClock(const SYSTEMTIME& st) {
    return st.wHour < 24 && st.wMinute < 60 && st.wSecond < 60;
}

std::tm ToTm(const SYSTEMTIME& st) {
    std::tm tm{};
    tm.tm_year = st.wYear - 1900;
    tm.tm_mon = st.wMonth - 1;
    tm.tm_mday = st.wDay;
    tm.tm_hour = st.wHour;
    tm.tm_min = st.wMinute;
    tm.tm_sec = st.wSecond;
    tm.tm_wday = st.wDayOfWeek % 7;
    tm.tm_isdst = -1;
    return tm;
}

// Writes the text with its terminator when it fits; returns the count written or 0.
int Emit(const std::u16string& text, char16_t* dst, int cch) {
    if (!dst || cch <= 0) return 0;
    if (text.size() + 1 > std::size_t(cch)) {
        dst[0] = u'\0';
        return 0;
    }
    text.copy(dst, text.size());
    dst[text.size()] = u'\0';
    return int(text.size() + 1);
}

int FormatWithLocale(const std::tm& tm, nl_item form, char16_t* dst, int cch) {
    char text[256];
    std::size_t n = std::strftime(text, sizeof text, nl_langinfo(form), &tm);
    if (n == 0) return 0;
    return Emit(zyn::com::Utf8ToUtf16(std::string_view(text, n)), dst, cch);
}

} // namespace

double GetTimeAsDouble(const SYSTEMTIME* st) {
    SYSTEMTIME now;
    if (!st) {
        GetLocalTime(&now);
        st = &now;
    }
    double t = 0.0;
    if (!SystemTimeToVariantTime(st, &t)) return 0.0;
    // Before the epoch the whole part is negative while the fraction still counts forward from
    // midnight, so the milliseconds move the value the other way.
    const double ms = st->wMilliseconds * kZynOneMillisecond;
    return t < 0 ? t - ms : t + ms;
}

bool DoubleToSysTime(double t, SYSTEMTIME* st, bool) {
    return st && VariantTimeToSystemTime(t, st) != FALSE;
}

int GetLocaleTime(const SYSTEMTIME* st, char16_t* dst, int cch) {
    if (!st || !ValidClock(*st)) return 0;
    return FormatWithLocale(ToTm(*st), T_FMT, dst, cch);
}

int GetLocaleDate(const SYSTEMTIME* st, char16_t* dst, int cch) {
    if (!st) return 0;
    // Validates the date and recomputes the weekday, which callers seldom fill in.
    SYSTEMTIME date = *st;
    date.wHour = date.wMinute = date.wSecond = 0;
    double day = 0.0;
    if (!SystemTimeToVariantTime(&date, &day) || !VariantTimeToSystemTime(day, &date)) return 0;
    return FormatWithLocale(ToTm(date), D_FMT, dst, cch);
}

int GetLocaleTimeDate(const SYSTEMTIME* st, char16_t* dst, int cch) {
    const int timeCount = GetLocaleTime(st, dst, cch);
    if (timeCount == 0) return 0;
    // The time's terminator and the next character become the two spaces.
    const int dateAt = timeCount + 1;
    const int dateCount = cch > dateAt ? GetLocaleDate(st, dst + dateAt, cch - dateAt) : 0;
    if (dateCount == 0) {
        dst[0] = u'\0';
        return 0;
    }
    dst[timeCount - 1] = u' ';
    dst[timeCount] = u' ';
    return timeCount + dateCount;
}

int GetLocaleTime(double t, char16_t* dst, int cch) {
    SYSTEMTIME st;
    return DoubleToSysTime(t, &st) ? GetLocaleTime(&st, dst, cch) : 0;
}

int GetLocaleDate(double t, char16_t* dst, int cch) {
    SYSTEMTIME st;
    return DoubleToSysTime(t, &st) ? GetLocaleDate(&st, dst, cch) : 0;
}

int GetLocaleTimeDate(double t, char16_t* dst, int cch) {
    SYSTEMTIME st;
    return DoubleToSysTime(t, &st) ? GetLocaleTimeDate(&st, dst, cch) : 0;
}
