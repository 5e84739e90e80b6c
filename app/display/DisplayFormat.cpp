#include "DisplayFormat.h"

#include "resources/ZynStrings.h"

#include "utils/ZynNumber.h"
#include "utils/ZynTime.h"

#include <QStringList>

#include <cmath>

namespace {

constexpr int kUnitWordsId = 50090;

struct DurationParts {
    long long days = 0;
    long long hours = 0;
    long long minutes = 0;
    long long seconds = 0;
};

// Whole days, hours, minutes and seconds; the tiny nudge keeps values like 1/24 from falling a
// unit short through binary rounding.
DurationParts SplitDuration(double d) {
    DurationParts p;
    d = std::fabs(d);
    if (!std::isfinite(d) || d > 1e12) return p;
    // Durations are differences of dates near 45,000 days, whose rounding error (about a
    // microsecond) is far beyond the nudge: ten seconds between two sample times came out as nine.
    // Times are whole milliseconds, so the duration is taken to the nearest one first.
    d = std::round(d * 86400000.0) / 86400000.0;
    p.days = static_cast<long long>(std::trunc(d + 1e-10));
    double r = d - double(p.days);
    p.hours = static_cast<long long>(std::trunc(r * 24 + 1e-10));
    r -= double(p.hours) / 24;
    if (r <= 0) r = 0;
    p.minutes = static_cast<long long>(std::trunc(r * 1440 + 1e-10));
    r -= double(p.minutes) / 1440;
    if (r <= 0) r = 0;
    p.seconds = static_cast<long long>(std::trunc(r * 86400 + 1e-10));
    return p;
}

QString WithPlural(long long count, const QString& word) {
    return count > 1 ? word + UnitWord(5) : word;
}

} // namespace

QString UnitWord(int index) {
    const QStringList words = LoadZynString(kUnitWordsId).split(u'\n');
    return index >= 0 && index < words.size() ? words[index] : QString();
}

bool FormatDuration(double days, int style, QString& out) {
    const DurationParts p = SplitDuration(days);
    const long long totalHours = p.days * 24 + p.hours;
    const long long totalMinutes = totalHours * 60 + p.minutes;
    const long long totalSeconds = totalMinutes * 60 + p.seconds;
    switch (style) {
    case 0:
        out = QString::asprintf("%lld:%02lld:%02lld", totalHours, p.minutes, p.seconds);
        break;
    case 1:
        out = QString::asprintf("%lld:%02lld", totalMinutes, p.seconds);
        break;
    case 2:
        out = QString::asprintf("%lld", totalSeconds);
        break;
    case 3: {
        QStringList parts;
        if (p.days > 0) parts << QString::asprintf("%lld ", p.days) + WithPlural(p.days, UnitWord(0));
        if (p.hours > 0) parts << QString::asprintf("%lld-", p.hours) + WithPlural(p.hours, UnitWord(1));
        if (p.minutes > 0)
            parts << QString::asprintf("%lld ", p.minutes) + WithPlural(p.minutes, UnitWord(2));
        if (p.seconds > 0)
            parts << QString::asprintf("%lld ", p.seconds) + WithPlural(p.seconds, UnitWord(3));
        out = parts.isEmpty() ? QStringLiteral("0 sec") : parts.join(QStringLiteral(", "));
        break;
    }
    default:
        out.clear();
        break;
    }
    return true;
}

QString FormatDuration(double days, int style) {
    QString s;
    FormatDuration(days, style, s);
    return s;
}

QString FormatSpan(double days) {
    const double d = std::fabs(days);
    int unit;
    double value;
    if (d >= 1) {
        unit = 0;
        value = d;
    } else if (d >= 1.0 / 24) {
        unit = 1;
        value = d * 24;
    } else if (d >= 1.0 / 1440) {
        unit = 2;
        value = d * 1440;
    } else {
        unit = 3;
        value = d * 86400;
    }
    const double exactlyOne[] = {1.0, 1.0 / 24, 1.0 / 1440, 1.0 / 86400};
    const QString suffix = d == exactlyOne[unit] ? QString() : UnitWord(5);
    return QString::asprintf("%1.2f ", value) + UnitWord(unit) + suffix;
}

QString FormatTimeOrDateTime(double t) {
    char16_t buf[128] = {};
    const bool today = std::isfinite(t) && std::trunc(t) == std::trunc(GetTimeAsDouble());
    const int n = today ? GetLocaleTime(t, buf, 128) : GetLocaleTimeDate(t, buf, 128);
    return n > 0 ? QString::fromUtf16(buf) : QString();
}

QString FormatTimeDate(double t) {
    char16_t buf[256] = {};
    return GetLocaleTimeDate(t, buf, 256) > 0 ? QString::fromUtf16(buf) : QString();
}

QString FormatNumber(double v) {
    char16_t buf[256] = {};
    return CommaNumber(v, buf, 256, nullptr) ? QString::fromUtf16(buf) : QString();
}

QString FormatNumberWithUnits(double v, const QString& units) {
    const QString number = FormatNumber(v);
    return units.isEmpty() ? number : number + u' ' + units;
}

void SetTrimmed(QString& s, const QString* text) {
    if (!text) {
        s.clear();
        return;
    }
    s = text->trimmed();
}
