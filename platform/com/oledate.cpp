#include "oledate.h"

#include "bstr.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace zyn::com {
namespace {

constexpr long kMinDay = -657434; // 1 January 100
constexpr long kMaxDay = 2958465; // 31 December 9999

// Howard Hinnant's civil-from-days, shifted to the automation epoch.
constexpr long kUnixEpochDay = 25569; // 1 January 1970

void CivilFromDays(long z, int& y, unsigned& m, unsigned& d) {
    z -= kUnixEpochDay;
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long yy = static_cast<long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(yy + (m <= 2));
}

unsigned DaysInMonth(int y, unsigned m) {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

void FillFromTm(const std::tm& tm, long nsec, SYSTEMTIME* st) {
    st->wYear = static_cast<WORD>(tm.tm_year + 1900);
    st->wMonth = static_cast<WORD>(tm.tm_mon + 1);
    st->wDayOfWeek = static_cast<WORD>(tm.tm_wday);
    st->wDay = static_cast<WORD>(tm.tm_mday);
    st->wHour = static_cast<WORD>(tm.tm_hour);
    st->wMinute = static_cast<WORD>(tm.tm_min);
    st->wSecond = static_cast<WORD>(tm.tm_sec > 59 ? 59 : tm.tm_sec);
    st->wMilliseconds = static_cast<WORD>(nsec / 1000000);
}

} // namespace

long DaysFromCivil(int y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long>(doe) - 719468 + kUnixEpochDay;
}

std::u16string FormatVariantDate(double t) {
    SYSTEMTIME st;
    if (!VariantTimeToSystemTime(t, &st)) return {};
    char text[64];
    int n = 0;
    bool hasDate = std::trunc(t) != 0;
    bool hasTime = st.wHour || st.wMinute || st.wSecond;
    if (hasDate || !hasTime) n = std::snprintf(text, sizeof text, "%u/%u/%u", st.wMonth, st.wDay, st.wYear);
    if (hasTime) {
        unsigned h12 = st.wHour % 12 == 0 ? 12 : st.wHour % 12;
        n += std::snprintf(text + n, sizeof text - std::size_t(n), "%s%u:%02u:%02u %s", n ? " " : "", h12,
                           st.wMinute, st.wSecond, st.wHour < 12 ? "AM" : "PM");
    }
    return std::u16string(text, text + n);
}

std::optional<double> ParseVariantDate(std::u16string_view text) {
    std::string s = Utf16ToUtf8(text);
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0, used = 0;
    char ampm[3] = {};
    double datePart = 0;
    const char* p = s.c_str();
    bool haveDate = false;
    if (std::sscanf(p, "%4d-%2d-%2d%n", &y, &mo, &d, &used) == 3 ||
        std::sscanf(p, "%2d/%2d/%4d%n", &mo, &d, &y, &used) == 3) {
        if (mo < 1 || mo > 12 || d < 1 || y < 100 || y > 9999 || unsigned(d) > DaysInMonth(y, unsigned(mo)))
            return std::nullopt;
        datePart = double(DaysFromCivil(y, unsigned(mo), unsigned(d)));
        haveDate = true;
        p += used;
        while (*p == ' ' || *p == 'T')
            ++p;
    }
    if (*p) {
        used = 0;
        int got = std::sscanf(p, "%2d:%2d%n", &h, &mi, &used);
        if (got != 2) {
            if (haveDate) return std::nullopt;
            char* end = nullptr;
            double v = std::strtod(s.c_str(), &end);
            if (end == s.c_str() || *end || !std::isfinite(v)) return std::nullopt;
            return v;
        }
        p += used;
        if (*p == ':') {
            used = 0;
            if (std::sscanf(p, ":%2d%n", &sec, &used) != 1) return std::nullopt;
            p += used;
        }
        while (*p == ' ')
            ++p;
        if (std::sscanf(p, "%2[AaPpMm]", ampm) == 1) {
            bool pm = ampm[0] == 'P' || ampm[0] == 'p';
            if (h < 1 || h > 12) return std::nullopt;
            h = h % 12 + (pm ? 12 : 0);
            p += std::strlen(ampm); // one letter may have matched: never step over the terminator
        }
        while (*p == ' ')
            ++p;
        if (*p || h > 23 || mi > 59 || sec > 59 || h < 0 || mi < 0 || sec < 0) return std::nullopt;
    } else if (!haveDate) {
        return std::nullopt;
    }
    double frac = (h * 3600 + mi * 60 + sec) / 86400.0;
    return datePart < 0 ? datePart - frac : datePart + frac;
}

} // namespace zyn::com

void GetLocalTime(SYSTEMTIME* st) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    localtime_r(&ts.tv_sec, &tm);
    zyn::com::FillFromTm(tm, ts.tv_nsec, st);
}

void GetSystemTime(SYSTEMTIME* st) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    gmtime_r(&ts.tv_sec, &tm);
    zyn::com::FillFromTm(tm, ts.tv_nsec, st);
}

BOOL SystemTimeToVariantTime(const SYSTEMTIME* st, double* out) {
    using namespace zyn::com;
    if (!st || !out) return FALSE;
    if (st->wYear < 100 || st->wYear > 9999 || st->wMonth < 1 || st->wMonth > 12 || st->wDay < 1 ||
        st->wDay > DaysInMonth(st->wYear, st->wMonth) || st->wHour > 23 || st->wMinute > 59 ||
        st->wSecond > 59)
        return FALSE;
    double days = double(DaysFromCivil(st->wYear, st->wMonth, st->wDay));
    double frac = (st->wHour * 3600.0 + st->wMinute * 60.0 + st->wSecond) / 86400.0;
    *out = days < 0 ? days - frac : days + frac;
    return TRUE;
}

BOOL VariantTimeToSystemTime(double t, SYSTEMTIME* st) {
    using namespace zyn::com;
    if (!st || !std::isfinite(t) || t < double(kMinDay) - 1 || t > double(kMaxDay) + 1) return FALSE;
    double whole = std::trunc(t);
    double frac = std::fabs(t - whole);
    long day = static_cast<long>(whole);
    long seconds = std::lround(frac * 86400.0);
    // A negative value with a fraction lies in the day named by its whole part, counting forward,
    // so a time that rounds up to midnight moves to the next calendar day whatever the sign.
    if (seconds >= 86400) {
        seconds -= 86400;
        day += 1;
    }
    if (day < kMinDay || day > kMaxDay) return FALSE;
    int y;
    unsigned m, d;
    CivilFromDays(day, y, m, d);
    st->wYear = static_cast<WORD>(y);
    st->wMonth = static_cast<WORD>(m);
    st->wDay = static_cast<WORD>(d);
    long dow = (day + 6) % 7; // 30 December 1899 was a Saturday
    st->wDayOfWeek = static_cast<WORD>(dow < 0 ? dow + 7 : dow);
    st->wHour = static_cast<WORD>(seconds / 3600);
    st->wMinute = static_cast<WORD>(seconds / 60 % 60);
    st->wSecond = static_cast<WORD>(seconds % 60);
    st->wMilliseconds = 0;
    return TRUE;
}
