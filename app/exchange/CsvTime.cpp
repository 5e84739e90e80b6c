#include "CsvTime.h"

#include "com/bstr.h"
#include "com/oledate.h"
#include "utils/ZynTime.h"
#include "utils/ZynWhiteSpace.h"

#include <langinfo.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace zyn::csv {

namespace {

// True when a strftime form reads nothing but the clock (hours, minutes, seconds, AM/PM), so
// that its text depends on the second of the day alone.
bool OnlyClockFields(const char* form) {
    for (const char* p = form; *p; ++p) {
        if (*p != '%') continue;
        ++p;
        if (!*p || !std::strchr("HIMSpPTRrlknt%", *p)) return false;
    }
    return true;
}

// strptime over the whole text: everything must be consumed but trailing white space.
bool ParseWhole(const std::string& text, const std::string& form, std::tm& tm) {
    tm = std::tm{};
    tm.tm_mday = 0;
    const char* end = ::strptime(text.c_str(), form.c_str(), &tm);
    if (!end) return false;
    while (IsAsciiSpace(*end))
        ++end;
    return *end == '\0';
}

bool ClockFrom(const std::tm& tm, double& frac) {
    if (tm.tm_hour < 0 || tm.tm_hour > 23 || tm.tm_min < 0 || tm.tm_min > 59 || tm.tm_sec < 0 ||
        tm.tm_sec > 60)
        return false;
    frac = (tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec) / 86400.0;
    return true;
}

bool DateFrom(const std::tm& tm, double& day) {
    const int year = tm.tm_year + 1900;
    if (year < 100 || year > 9999 || tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_mday > 31)
        return false;
    SYSTEMTIME st{};
    st.wYear = WORD(year);
    st.wMonth = WORD(tm.tm_mon + 1);
    st.wDay = WORD(tm.tm_mday);
    return SystemTimeToVariantTime(&st, &day) != FALSE;
}

// "H:MM:SS" with one or two hour digits; the length read, or 0.
std::size_t ReadPlainClock(std::string_view s, double& frac) {
    auto digit = [&](std::size_t i) { return i < s.size() && s[i] >= '0' && s[i] <= '9'; };
    std::size_t i = 0;
    int h = 0;
    if (!digit(0)) return 0;
    h = s[i++] - '0';
    if (digit(i)) h = h * 10 + (s[i++] - '0');
    if (i >= s.size() || s[i] != ':' || !digit(i + 1) || !digit(i + 2)) return 0;
    const int m = (s[i + 1] - '0') * 10 + (s[i + 2] - '0');
    i += 3;
    if (i >= s.size() || s[i] != ':' || !digit(i + 1) || !digit(i + 2)) return 0;
    const int sec = (s[i + 1] - '0') * 10 + (s[i + 2] - '0');
    i += 3;
    if (h > 23 || m > 59 || sec > 59) return 0;
    frac = (h * 3600 + m * 60 + sec) / 86400.0;
    return i;
}

constexpr double kMsPerDay = 86400000.0;

// The date of a time value's day: its whole part, whatever the sign (the fraction counts forward
// from that day's midnight).
bool DayOf(double whole, SYSTEMTIME& st) {
    return VariantTimeToSystemTime(whole, &st) != FALSE && st.wHour == 0 && st.wMinute == 0 &&
           st.wSecond == 0;
}

bool Digits(std::string_view s, std::size_t at, std::size_t count, int& value) {
    if (at + count > s.size()) return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

} // namespace

bool CCsvTimeWriter::AppendMilliseconds(double t, std::string& out) {
    if (!std::isfinite(t)) return false;
    double whole = std::trunc(t);
    long long ms = std::llround(std::fabs(t - whole) * kMsPerDay);
    if (ms >= static_cast<long long>(kMsPerDay)) {
        ms -= static_cast<long long>(kMsPerDay);
        whole += 1;
    }
    SYSTEMTIME day{};
    if (!DayOf(whole, day)) return false;
    char text[40];
    const int n = std::snprintf(text, sizeof text, "%04u-%02u-%02u %02lld:%02lld:%02lld.%03lld",
                                unsigned(day.wYear), unsigned(day.wMonth), unsigned(day.wDay), ms / 3600000,
                                ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
    out.append(text, std::size_t(n));
    return true;
}

bool CCsvTimeReader::ParseMilliseconds(std::string_view s, double& t) {
    // YYYY-MM-DD HH:MM:SS.fff (a 'T' may stand for the space; one to three decimals)
    int y, mo, d, h, mi, sec;
    if (s.size() < 21 || !Digits(s, 0, 4, y) || s[4] != '-' || !Digits(s, 5, 2, mo) || s[7] != '-' ||
        !Digits(s, 8, 2, d) || (s[10] != ' ' && s[10] != 'T') || !Digits(s, 11, 2, h) || s[13] != ':' ||
        !Digits(s, 14, 2, mi) || s[16] != ':' || !Digits(s, 17, 2, sec) || s[19] != '.')
        return false;
    const std::size_t decimals = s.size() - 20;
    int fraction = 0;
    if (decimals < 1 || decimals > 3 || !Digits(s, 20, decimals, fraction)) return false;
    for (std::size_t i = decimals; i < 3; ++i)
        fraction *= 10;
    if (h > 23 || mi > 59 || sec > 59) return false;
    SYSTEMTIME st{};
    st.wYear = WORD(y);
    st.wMonth = WORD(mo);
    st.wDay = WORD(d);
    double day = 0;
    if (y < 100 || !SystemTimeToVariantTime(&st, &day)) return false;
    const double frac = (((h * 60.0 + mi) * 60.0 + sec) * 1000.0 + fraction) / kMsPerDay;
    t = day >= 0 ? day + frac : day - frac;
    return true;
}

CCsvTimeWriter::CCsvTimeWriter() {
    m_cacheable = OnlyClockFields(nl_langinfo(T_FMT));
    if (m_cacheable) {
        m_seconds.resize(86400);
        m_haveSecond.assign(86400, false);
    }
}

bool CCsvTimeWriter::Append(double t, std::string& out) {
    SYSTEMTIME st{};
    if (!DoubleToSysTime(t, &st)) return false;
    if (!m_cacheable) {
        char16_t text[256];
        const int n = GetLocaleTimeDate(&st, text, 256);
        if (n <= 0) return false;
        out += zyn::com::Utf16ToUtf8(std::u16string_view(text, std::size_t(n)));
        return true;
    }
    const int second = st.wHour * 3600 + st.wMinute * 60 + st.wSecond;
    if (!m_haveSecond[std::size_t(second)]) {
        char16_t text[128];
        const int n = GetLocaleTime(&st, text, 128);
        if (n <= 0) return false;
        m_seconds[std::size_t(second)] = zyn::com::Utf16ToUtf8(std::u16string_view(text, std::size_t(n - 1)));
        m_haveSecond[std::size_t(second)] = true;
    }
    const long day = zyn::com::DaysFromCivil(st.wYear, st.wMonth, st.wDay);
    if (day != m_day) {
        char16_t text[128];
        const int n = GetLocaleDate(&st, text, 128);
        if (n <= 0) return false;
        m_dayText = zyn::com::Utf16ToUtf8(std::u16string_view(text, std::size_t(n - 1)));
        m_day = day;
    }
    out += m_seconds[std::size_t(second)];
    out += "  ";
    out += m_dayText;
    return true;
}

CCsvTimeReader::CCsvTimeReader() : m_timeForm(nl_langinfo(T_FMT)), m_dateForm(nl_langinfo(D_FMT)) {
    m_plainClock = m_timeForm == "%H:%M:%S" || m_timeForm == "%T";
}

double CCsvTimeReader::MoveToToday(double t) const {
    if (t >= kEarliestDate) return t;
    const double today = m_today >= 0 ? m_today : std::trunc(GetTimeAsDouble());
    double whole = 0;
    return today + std::modf(t, &whole);
}

bool CCsvTimeReader::ParseDate(std::string_view text, double& day) {
    if (!m_lastDateText.empty() && text == m_lastDateText) {
        day = m_lastDate;
        return true;
    }
    std::tm tm{};
    if (!ParseWhole(std::string(text), m_dateForm, tm) || !DateFrom(tm, day)) return false;
    m_lastDateText.assign(text);
    m_lastDate = day;
    return true;
}

double CCsvTimeReader::Parse(std::u16string_view text) {
    // Most date-time texts are ASCII: convert without a detour through the converter.
    m_scratch.clear();
    bool ascii = true;
    for (char16_t c : text) {
        if (c >= 0x80) {
            ascii = false;
            break;
        }
        m_scratch.push_back(char(c));
    }
    if (!ascii) m_scratch = zyn::com::Utf16ToUtf8(text);
    return ParseUtf8(TrimAsciiSpace(m_scratch));
}

double CCsvTimeReader::ParseUtf8(std::string_view text) {
    if (text.empty()) return 0.0;
    double frac = 0, day = 0;
    // The form of an export to the millisecond.
    if (double t = 0; ParseMilliseconds(text, t)) return MoveToToday(t);
    // The form this program writes: the clock, white space, the date.
    if (m_plainClock) {
        const std::size_t used = ReadPlainClock(text, frac);
        if (used) {
            std::string_view rest = text.substr(used);
            if (rest.empty()) return MoveToToday(frac);
            if (IsAsciiSpace(rest.front()) && ParseDate(TrimAsciiSpace(rest), day))
                return MoveToToday(day + frac);
        }
    }
    const std::string whole(text);
    std::tm tm{};
    if (ParseWhole(whole, m_timeForm + " " + m_dateForm, tm) && ClockFrom(tm, frac) && DateFrom(tm, day))
        return MoveToToday(day + frac);
    if (ParseWhole(whole, m_dateForm + " " + m_timeForm, tm) && ClockFrom(tm, frac) && DateFrom(tm, day))
        return MoveToToday(day + frac);
    if (ParseWhole(whole, m_timeForm, tm) && ClockFrom(tm, frac)) return MoveToToday(frac);
    // The automation forms: "M/D/YYYY h:mm:ss AM", ISO dates, times alone.
    if (auto v = zyn::com::ParseVariantDate(zyn::com::Utf8ToUtf16(whole));
        v && std::isfinite(*v) && *v != 0.0)
        return MoveToToday(*v);
    return 0.0;
}

double StringToTime(std::u16string_view text) {
    CCsvTimeReader reader;
    return reader.Parse(text);
}

} // namespace zyn::csv
