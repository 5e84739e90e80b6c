#pragma once
// How the chart display writes durations, spans, clock times and numbers.

#include <QString>

// Duration styles: 0 "h:mm:ss" in total hours, 1 "m:ss" in total minutes, 2 total seconds,
// 3 words ("1 day, 2-hours, 3 minutes, 4 seconds"); any other style writes an empty text.
// The sign of the duration is ignored. Always true.
bool FormatDuration(double days, int style, QString& out);
QString FormatDuration(double days, int style);

// A span in its largest whole unit with two decimals: "3.00 minutes", "1.00 hour", "15.00 days".
QString FormatSpan(double days);

// The locale time alone for a time today, else the locale time and date.
QString FormatTimeOrDateTime(double t);
// The locale time and date.
QString FormatTimeDate(double t);

// The number with thousands separators in the automatic format by magnitude ("1,234.5" style).
QString FormatNumber(double v);
// FormatNumber followed by the units when there are any: "12.50 %", "1,024.00 MBytes".
QString FormatNumberWithUnits(double v, const QString& units);

// Null empties `s`; otherwise `s` is the text without leading and trailing white space.
void SetTrimmed(QString& s, const QString* text);

// The unit words of string 50090: 0 day, 1 hour, 2 minute, 3 second, 4 mSec, 5 the plural suffix.
QString UnitWord(int index);
