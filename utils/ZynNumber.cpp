#include "ZynNumber.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <system_error>

namespace {

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// The one printf conversion a caller may choose: '%', flags, width, precision, an optional 'l',
// and a floating conversion, with nothing before or after it. Width and precision are limited to
// three digits so that printing stays cheap; longer results are refused by length anyway.
bool IsSafeFloatFormat(const char16_t* fmt, std::string& narrow) {
    narrow.clear();
    const char16_t* p = fmt;
    if (*p++ != u'%') return false;
    while (*p == u'-' || *p == u'+' || *p == u' ' || *p == u'#' || *p == u'0')
        ++p;
    int digits = 0;
    while (IsDigit(*p)) {
        if (++digits > 3) return false;
        ++p;
    }
    if (*p == u'.') {
        ++p;
        digits = 0;
        while (IsDigit(*p)) {
            if (++digits > 3) return false;
            ++p;
        }
    }
    if (*p == u'l') ++p;
    switch (*p) {
    case u'f':
    case u'F':
    case u'e':
    case u'E':
    case u'g':
    case u'G':
        break;
    default:
        return false;
    }
    if (*++p != u'\0') return false;
    for (const char16_t* q = fmt; q != p; ++q)
        narrow.push_back(static_cast<char>(*q));
    return true;
}

const char* AutomaticFormat(double x) {
    const double a = std::fabs(x);
    if (a == 0.0) return "%2.2lf";
    if (a < 0.1) return "%lf";
    if (a < 1.0) return "%2.3lf";
    if (a < 10.0) return "%2.2lf";
    if (a < 100.0) return "%2.1lf";
    return "%3.0lf";
}

} // namespace

double StringToDouble(const char16_t* s) {
    if (!s) return 0.0;
    char kept[512] = {};
    int n = 0;
    bool havePoint = false;
    for (; *s && n < 511; ++s) {
        const char16_t c = *s;
        if (IsDigit(c)) {
            kept[n++] = static_cast<char>(c);
        } else if (c == u'.' && !havePoint) {
            kept[n++] = '.';
            havePoint = true;
        } else if (c == u'-' && n == 0) {
            kept[n++] = '-';
        }
    }
    double value = 0.0;
    auto [end, ec] = std::from_chars(kept, kept + n, value);
    (void)end;
    if (ec != std::errc() || !std::isfinite(value)) return 0.0;
    return value;
}

bool CommaNumber(double x, char16_t* dst, int cch, const char16_t* fmt) {
    if (!dst || cch < 64) return false;
    std::string format;
    if (!fmt || fmt[0] == u'\0' || fmt[1] == u'\0')
        format = AutomaticFormat(x);
    else if (!IsSafeFloatFormat(fmt, format))
        return false;

    char text[64];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const int len = std::snprintf(text, sizeof text, format.c_str(), x);
#pragma GCC diagnostic pop
    if (len < 0 || len >= int(sizeof text)) return false;

    // Padding and sign stay in front; only the run of integer digits is grouped; the decimals,
    // an exponent or trailing padding follow unchanged.
    int i = 0;
    while (i < len && text[i] == ' ')
        ++i;
    if (i < len && (text[i] == '-' || text[i] == '+')) ++i;
    const int digitsAt = i;
    while (i < len && text[i] >= '0' && text[i] <= '9')
        ++i;
    const int digits = i - digitsAt;
    const int separators = digits > 0 ? (digits - 1) / 3 : 0;
    if (len + separators + 1 > cch) return false;

    for (int k = 0; k < cch; ++k)
        dst[k] = u'\0';
    int out = 0;
    for (int k = 0; k < digitsAt; ++k)
        dst[out++] = static_cast<char16_t>(text[k]);
    const int lead = digits % 3;
    for (int k = 0; k < lead; ++k)
        dst[out++] = static_cast<char16_t>(text[digitsAt + k]);
    for (int k = lead; k < digits; k += 3) {
        if (k > 0) dst[out++] = u',';
        for (int m = 0; m < 3; ++m)
            dst[out++] = static_cast<char16_t>(text[digitsAt + k + m]);
    }
    for (int k = digitsAt + digits; k < len; ++k)
        dst[out++] = static_cast<char16_t>(text[k]);
    return true;
}

namespace {

// Scales down by 10^g, steps to the even neighbour beyond in direction d, scales back up. The
// bound is cut to 32 bits first; the steps run in 64 bits so that the scaled-up result cannot
// overflow when a bound lies near the end of the 32-bit range.
double RoundBound(double value, int g, int d) {
    std::int64_t n = static_cast<std::int32_t>(value);
    for (int k = 0; k < g; ++k)
        n /= 10;
    std::int64_t c = n + d;
    if (c % 2 != 0) c += d;
    for (int k = 0; k < g; ++k)
        c *= 10;
    return static_cast<double>(c);
}

} // namespace

void AutoScale(double& lo, double& hi) {
    double a = lo, b = hi;
    if (!std::isfinite(a) || !std::isfinite(b)) return;
    if (a == b) {
        a -= 1;
        b += 1;
    }
    const double mn = a < b ? a : b;
    const double mx = a < b ? b : a;
    const double range = mx - mn;
    constexpr double kLowest = -2147483648.0, kHighest = 2147483647.0;
    if (mn < kLowest || mn > kHighest || mx < kLowest || mx > kHighest) return;

    const int g = range > 10 ? static_cast<int>(std::log10(range)) : 0;
    double newLo = RoundBound(mn, g, -1);
    const double newHi = RoundBound(mx, g, +1);
    if ((mn >= 0 && newLo < 0) || (newLo > 0 && mn - range <= 0)) newLo = 0;
    lo = newLo;
    hi = newHi;
}
